#pragma once
// A push button drawn from pictures of the skin. Its four faces (normal,
// pressed, hover, disabled) are each composed from a copy of the parent's
// pixels under the button plus the picture, at the screen's device pixel
// ratio, the first time the face shows (its picture is decoded then too); a
// paint only copies the current face and draws the caption. Faces are built
// again only when the window lands on a screen of another ratio, from the
// pictures made for it.
#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QString>

#include <array>

namespace zd573 {

class CGdipButton : public QAbstractButton {
  Q_OBJECT

 public:

  enum class Face { Normal, Pressed, Hover, Disabled };

  explicit CGdipButton(QWidget* parent = nullptr);
  ~CGdipButton() override;

  // Each replaces the picture of its face and returns whether it can be
  // loaded (read from its header: the pixels are decoded when a face needs
  // them).
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
  virtual void SetCaptionPointSize(int points);
  // Moves the caption's rectangle: its left edge right by x, top edge down by y.
  void SetCaptionOffset(int x, int y);

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
  // A face (null before the first paint), built now if it was not yet, for
  // inspection.
  QImage FaceImage(Face face) const;
  // The normal picture at the button's ratio, decoded once for the faces and
  // whoever else shows it (the window's icon).
  QImage NormalPicture() const;

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
  // A face's own picture: its id once set, and the pixels once a face needed
  // them, at the ratio of the faces.
  struct Picture {
    int id = 0;
    bool set = false;
    bool decoded = false;
    qreal ratio = 0;
    QImage image;
  };

  bool SetImage(Face face, int id);
  const QImage& DecodedAt(Face face, qreal ratio) const;
  const QImage& BuiltFace(Face face) const;
  QImage CaptureBackground() const;
  void PrepareFaces();
  void SetHovering(bool on);

  bool facesReady_ = false;
  qreal facesRatio_ = 0;
  bool disabledState_ = false;
  bool hovering_ = false;
  bool hasCaption_ = false;
  bool spokenName_ = false;
  int captionOffsetX_ = 0;
  int captionOffsetY_ = 0;
  // The size of the normal picture in window units, from its header.
  QSize normalSize_;
  // Indexed by Face; decoded and built on first use.
  mutable std::array<Picture, 4> pictures_;
  mutable std::array<QImage, 4> faces_;
  QString caption_;
  QColor captionColour_;
};

}  // namespace zd573
