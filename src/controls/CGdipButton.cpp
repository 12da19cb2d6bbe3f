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
#include "controls/CGdiPlusBitmap.h"
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

namespace {

std::size_t Index(CGdipButton::Face face) { return static_cast<std::size_t>(face); }

}  // namespace

bool CGdipButton::SetImage(Face face, int id) {
  Picture& picture = pictures_[Index(face)];
  picture = Picture();
  picture.id = id;
  picture.set = true;
  const QSize size = CGdiPlusBitmapResource::PictureSize(id, devicePixelRatioF());
  if (face == Face::Normal) normalSize_ = size;
  return !size.isEmpty();
}

bool CGdipButton::SetNormalImage(int id) { return SetImage(Face::Normal, id); }
bool CGdipButton::SetPressedImage(int id) { return SetImage(Face::Pressed, id); }
bool CGdipButton::SetHoverImage(int id) { return SetImage(Face::Hover, id); }
bool CGdipButton::SetDisabledImage(int id) { return SetImage(Face::Disabled, id); }

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

QImage CGdipButton::FaceImage(Face face) const { return BuiltFace(face); }

QImage CGdipButton::NormalPicture() const {
  return DecodedAt(Face::Normal, facesReady_ ? facesRatio_ : devicePixelRatioF());
}

QSize CGdipButton::sizeHint() const {
  if (!normalSize_.isEmpty()) return normalSize_;
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

void CGdipButton::PrepareFaces() {
  const qreal ratio = devicePixelRatioF();
  if ((facesReady_ && facesRatio_ == ratio) || !pictures_[Index(Face::Normal)].set) return;
  faces_ = {};
  facesReady_ = true;
  facesRatio_ = ratio;
}

const QImage& CGdipButton::DecodedAt(Face face, qreal ratio) const {
  Picture& picture = pictures_[Index(face)];
  if (picture.set && (!picture.decoded || picture.ratio != ratio)) {
    picture.image = CGdiPlusBitmapResource(picture.id, ratio).Image();
    picture.decoded = true;
    picture.ratio = ratio;
  }
  return picture.image;
}

const QImage& CGdipButton::BuiltFace(Face face) const {
  QImage& built = faces_[Index(face)];
  if (!facesReady_ || !built.isNull()) return built;
  // The parent's pixels under the button with the picture on top.
  // The copy of the parent is not kept: the parent's pixels under a button
  // stay as they are, and a face that never shows never needs them.
  auto compose = [this](const QImage& picture, QPoint at) {
    QImage out = CaptureBackground();
    if (!picture.isNull()) QPainter(&out).drawImage(at, picture);
    return out;
  };
  Picture& own = pictures_[Index(face)];
  if (face == Face::Normal || own.set) {
    built = compose(DecodedAt(face, facesRatio_), {0, 0});
    // A face's own picture is not needed again at this ratio; the normal one
    // stays for the faces made from it.
    if (face != Face::Normal) own.image = QImage();
    return built;
  }
  const QImage& normal = DecodedAt(Face::Normal, facesRatio_);
  switch (face) {
    case Face::Pressed: built = compose(normal, {1, 1}); break;
    case Face::Hover:
      built = compose(normal.isNull() ? normal : skin::ApplyColorMatrix(skin::kBrighteningMatrix, normal), {0, 0});
      break;
    case Face::Disabled:
      built = compose(normal.isNull() ? normal : skin::ApplyColorMatrix(skin::kGreyMatrix, normal), {0, 0});
      break;
    case Face::Normal: break;
  }
  return built;
}

void CGdipButton::paintEvent(QPaintEvent*) {
  PrepareFaces();
  QPainter p(this);
  if (facesReady_) p.drawImage(0, 0, BuiltFace(CurrentFace()));
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
