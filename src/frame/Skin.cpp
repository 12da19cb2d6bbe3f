#include "frame/Skin.h"

#include "controls/CGdipButton.h"
#include "controls/CLabel.h"

namespace zd573::skin {

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
