#include "controls/CGdipButton.h"

#include <algorithm>

#include <QApplication>
#include <QPen>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include "controls/Caption.h"
#include "controls/FocusRing.h"
#include "controls/CMemDC.h"
#include "controls/ColorMath.h"

namespace zd573 {

namespace {

// Whether the user is working with the keyboard: the focus ring shows then,
// and not after a click, as on the web's focus-visible.
class FocusVisibility : public QObject {
 public:
  static FocusVisibility& Instance() {
    static FocusVisibility* instance = [] {
      auto* f = new FocusVisibility;
      qApp->installEventFilter(f);
      return f;
    }();
    return *instance;
  }
  bool Keyboard() const { return keyboard_; }

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      Set(true);
    } else if (event->type() == QEvent::MouseButtonPress) {
      Set(false);
    }
    return false;
  }

 private:
  FocusVisibility() : QObject(qApp) {}
  void Set(bool keyboard) {
    if (keyboard_ == keyboard) return;
    keyboard_ = keyboard;
    if (auto* button = qobject_cast<CGdipButton*>(QApplication::focusWidget())) button->update();
  }
  bool keyboard_ = false;
};

}  // namespace

CGdipButton::CGdipButton(QWidget* parent) : QAbstractButton(parent) {
  captionColour_ = palette().color(QPalette::WindowText);
  setMouseTracking(true);
  setAttribute(Qt::WA_Hover);
  // Reached with Tab; a click does not move the focus.
  setFocusPolicy(Qt::TabFocus);
  if (qApp) FocusVisibility::Instance();
}

void CGdipButton::SetSpokenName(const QString& name) {
  spokenName_ = true;
  setAccessibleName(PlainCaption(name).trimmed());
}

bool CGdipButton::FocusRingShown() const {
  return hasFocus() && qApp && FocusVisibility::Instance().Keyboard();
}

void CGdipButton::keyPressEvent(QKeyEvent* event) {
  // Enter presses the focused button as Space does.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
    event->accept();
    if (!disabledState_) animateClick();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

CGdipButton::~CGdipButton() = default;

bool CGdipButton::Load(std::unique_ptr<CGdiPlusBitmapResource>& slot, int id) {
  slot = std::make_unique<CGdiPlusBitmapResource>();
  return slot->LoadFromResource(id, devicePixelRatioF());
}

bool CGdipButton::SetNormalImage(int id) { return Load(normalImage_, id); }

bool CGdipButton::SetPressedImage(int id) {
  hasPressedImage_ = true;
  return Load(pressedImage_, id);
}

bool CGdipButton::SetHoverImage(int id) {
  hasHoverImage_ = true;
  return Load(hoverImage_, id);
}

bool CGdipButton::SetDisabledImage(int id) {
  hasDisabledImage_ = true;
  return Load(disabledImage_, id);
}

void CGdipButton::SetCaption(const QString& text) {
  if (text.isEmpty()) {
    hasCaption_ = false;
  } else {
    caption_ = text;
    hasCaption_ = true;
    // The caption is what a screen reader says, unless the owner named the button.
    if (!spokenName_) setAccessibleName(PlainCaption(text).trimmed());
  }
  update();
}

void CGdipButton::SetCaptionColor(const QColor& colour) {
  captionColour_ = colour;
  repaint();
}

void CGdipButton::SetCaptionPointSize(int points) {
  QFont f = font();
  f.setPointSize(points);
  setFont(f);
  repaint();
}

void CGdipButton::SetCaptionOffset(int x, int y) {
  captionOffsetX_ = x;
  captionOffsetY_ = y;
  update();
}

void CGdipButton::SetTooltip(const QString& text, bool activate) {
  if (text.isEmpty()) return;
  tooltipText_ = text;
  setToolTip(activate ? text : QString());
}

void CGdipButton::SetDisabledState(bool disabled) {
  disabledState_ = disabled;
  setEnabled(!disabled);
  update();
}

CGdipButton::Face CGdipButton::CurrentFace() const {
  if (disabledState_) return Face::Disabled;
  if (isDown()) return Face::Pressed;
  if (hovering_) return Face::Hover;
  return Face::Normal;
}

QImage CGdipButton::FaceImage(Face face) const {
  switch (face) {
    case Face::Normal: return normalFace_;
    case Face::Pressed: return pressedFace_;
    case Face::Hover: return hoverFace_;
    case Face::Disabled: return disabledFace_;
  }
  return {};
}

QSize CGdipButton::sizeHint() const {
  if (normalImage_ && normalImage_->HasImage()) return normalImage_->Size();
  return {65, 50};
}

QImage CGdipButton::CaptureBackground() const {
  const qreal dpr = devicePixelRatioF();
  QImage copy(size() * dpr, QImage::Format_ARGB32_Premultiplied);
  copy.setDevicePixelRatio(dpr);
  copy.fill(Qt::transparent);
  // Only the parent's own pixels: its children (this button included) are
  // not part of the background.
  if (QWidget* parent = parentWidget()) {
    parent->render(&copy, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
  }
  return copy;
}

void CGdipButton::BuildFaces() {
  const qreal ratio = devicePixelRatioF();
  if ((facesReady_ && facesRatio_ == ratio) || !normalImage_) return;
  for (auto* slot : {&normalImage_, &pressedImage_, &hoverImage_, &disabledImage_}) {
    if (*slot && (*slot)->RequestedRatio() != ratio) (*slot)->LoadFromResource((*slot)->Id(), ratio);
  }
  if (background_.isNull() || background_.devicePixelRatio() != ratio) background_ = CaptureBackground();

  const QImage& normal = normalImage_->Image();
  auto compose = [this](auto drawPicture) {
    QImage face(background_.size(), QImage::Format_ARGB32_Premultiplied);
    face.setDevicePixelRatio(background_.devicePixelRatio());
    QPainter out(&face);
    {
      CMemDC memory(&out, rect());
      memory->setCompositionMode(QPainter::CompositionMode_Source);
      memory->drawImage(0, 0, background_);
      memory->setCompositionMode(QPainter::CompositionMode_SourceOver);
      drawPicture(*memory);
    }
    return face;
  };
  auto picture = [](const std::unique_ptr<CGdiPlusBitmapResource>& image, QPoint at) {
    return [&image, at](QPainter& p) {
      if (image && image->HasImage()) p.drawImage(at, image->Image());
    };
  };

  normalFace_ = compose(picture(normalImage_, {0, 0}));
  pressedFace_ = compose(hasPressedImage_ ? picture(pressedImage_, {0, 0}) : picture(normalImage_, {1, 1}));
  if (hasHoverImage_) {
    hoverFace_ = compose(picture(hoverImage_, {0, 0}));
  } else {
    const QImage bright = normal.isNull() ? normal : skin::ApplyColorMatrix(skin::kBrighteningMatrix, normal);
    hoverFace_ = compose([&bright](QPainter& p) { p.drawImage(QPoint(), bright); });
  }
  if (hasDisabledImage_) {
    disabledFace_ = compose(picture(disabledImage_, {0, 0}));
  } else {
    const QImage grey = normal.isNull() ? normal : skin::ApplyColorMatrix(skin::kGreyMatrix, normal);
    disabledFace_ = compose([&grey](QPainter& p) { p.drawImage(QPoint(), grey); });
  }
  facesReady_ = true;
  facesRatio_ = ratio;
}

void CGdipButton::paintEvent(QPaintEvent*) {
  BuildFaces();
  QPainter p(this);
  if (facesReady_) {
    const QImage face = FaceImage(CurrentFace());
    p.drawImage(0, 0, face);
  }
  if (hasCaption_) {
    p.setPen(captionColour_);
    p.setFont(font());
    const QRect box = rect().adjusted(captionOffsetX_, captionOffsetY_, 0, 0);
    p.drawText(box, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, caption_);
  }
  if (FocusRingShown()) DrawFocusRing(p, rect(), std::min(8.0, std::min(width(), height()) / 4.0));
}

void CGdipButton::SetHovering(bool on) {
  if (hovering_ == on) return;
  hovering_ = on;
  update();
}

void CGdipButton::enterEvent(QEnterEvent* event) {
  SetHovering(true);
  QAbstractButton::enterEvent(event);
}

void CGdipButton::leaveEvent(QEvent* event) {
  SetHovering(false);
  QAbstractButton::leaveEvent(event);
}

void CGdipButton::mouseMoveEvent(QMouseEvent* event) {
  if (rect().contains(event->position().toPoint())) SetHovering(true);
  QAbstractButton::mouseMoveEvent(event);
}

void CGdipButton::mouseDoubleClickEvent(QMouseEvent* event) {
  // A quick second click presses the button again.
  QAbstractButton::mousePressEvent(event);
}

}  // namespace zd573
