#include "frame/Skin.h"

#include <QPainter>
#include <QPaintEvent>
#include <QWidget>

#include "controls/CGdiPlusBitmap.h"
#include "controls/CGdipButton.h"
#include "controls/CLabel.h"

namespace zd573::skin {

namespace {
class PictureView : public QWidget {
 public:
  PictureView(QWidget* parent, int id) : QWidget(parent), picture_(id) {
    // At the screen's pixel density; a missing picture is told once and the menu works without it.
    picture_.Load(this);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    picture_.Draw(p, {1, 1}, event->rect(), this);
  }

 private:
  SkinPicture picture_;
};

}  // namespace

QWidget* MakePictureView(QWidget* parent, int id) { return new PictureView(parent, id); }

CGdipButton* MakeButton(QWidget* parent, int normalId, int pressedId, const QRect& at) {
  auto* button = new CGdipButton(parent);
  button->setGeometry(at);
  button->SetNormalImage(normalId);
  if (pressedId != normalId) button->SetPressedImage(pressedId);
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

void StyleLabel(CLabel* label, const QColor& colour, int points, bool bold) {
  label->SetClearBackground(true);
  label->SetForeground(colour);
  label->SetPointSize(points);
  if (bold) label->SetBold(true);
}

}  // namespace zd573::skin
