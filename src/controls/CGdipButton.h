#pragma once
// A push button drawn from pictures of the skin. Its four faces (normal,
// pressed, hover, disabled) are composed once, on the first paint, from a
// copy of the parent's pixels under the button plus the picture, at the
// screen's device pixel ratio; a paint only copies the current face and
// draws the caption. They are built again only when the window lands on a
// screen of another ratio, from the pictures made for it.
#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QString>

#include <memory>

#include "controls/CGdiPlusBitmap.h"

namespace zd573 {

class CGdipButton : public QAbstractButton {
  Q_OBJECT

 public:

  enum class Face { Normal, Pressed, Hover, Disabled };

  explicit CGdipButton(QWidget* parent = nullptr);
  ~CGdipButton() override;

  // Each replaces the picture of its face and returns whether it loaded.
  // Without a pressed picture the pressed face is the normal picture moved
  // one pixel right and down; without a hover picture it is the normal one
  // brightened; without a disabled picture it is the normal one in grey.
  // A separate picture that fails to load leaves only the background.
  bool SetNormalImage(int id);
  bool SetPressedImage(int id);
  bool SetHoverImage(int id);
  bool SetDisabledImage(int id);

  // A non-empty text becomes the caption and shows it; an empty text hides
  // the caption and keeps the stored one.
  void SetCaption(const QString& text);
  QString Caption() const { return caption_; }
  bool HasCaption() const { return hasCaption_; }
  virtual void SetCaptionColor(const QColor& colour);
  QColor CaptionColor() const { return captionColour_; }
  virtual void SetCaptionPointSize(int points);
  // Moves the caption's rectangle: its left edge right by x, top edge down by y.
  void SetCaptionOffset(int x, int y);

  // An empty text does nothing; otherwise the text becomes the tooltip,
  // shown when `activate` is set.
  void SetTooltip(const QString& text, bool activate = true);

  // Set by the owner: shows the disabled face and refuses input.
  void SetDisabledState(bool disabled);
  bool DisabledState() const { return disabledState_; }

  bool FacesReady() const { return facesReady_; }
  // The device pixel ratio the faces were built at (0 before the first paint).
  qreal FacesRatio() const { return facesRatio_; }
  bool Hovering() const { return hovering_; }
  // The face a paint copies now, chosen in the order disabled, pressed,
  // hover, normal.
  Face CurrentFace() const;
  // A built face (null before the first paint), for inspection.
  QImage FaceImage(Face face) const;

  QSize sizeHint() const override;

  // What a screen reader says for the button; without it, its caption.
  void SetSpokenName(const QString& name);
  // Whether the ring shows: the button has the focus and the user works with the keyboard.
  bool FocusRingShown() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool Load(std::unique_ptr<CGdiPlusBitmapResource>& slot, int id);
  QImage CaptureBackground() const;
  void BuildFaces();
  void SetHovering(bool on);

  bool facesReady_ = false;
  qreal facesRatio_ = 0;
  bool hasPressedImage_ = false;
  bool hasHoverImage_ = false;
  bool hasDisabledImage_ = false;
  bool disabledState_ = false;
  bool hovering_ = false;
  bool hasCaption_ = false;
  bool spokenName_ = false;
  int captionOffsetX_ = 0;
  int captionOffsetY_ = 0;
  std::unique_ptr<CGdiPlusBitmapResource> normalImage_;
  std::unique_ptr<CGdiPlusBitmapResource> pressedImage_;
  std::unique_ptr<CGdiPlusBitmapResource> hoverImage_;
  std::unique_ptr<CGdiPlusBitmapResource> disabledImage_;
  QString tooltipText_;
  QString caption_;
  QColor captionColour_;
  QImage background_;
  QImage normalFace_;
  QImage pressedFace_;
  QImage hoverFace_;
  QImage disabledFace_;
};

}  // namespace zd573
