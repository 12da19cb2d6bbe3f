#pragma once
// Pictures of the skin: decoded images loaded from the PNG resources by id.
#include <QImage>
#include <QPixmap>
#include <QString>

#include <functional>
#include <vector>

class QPainter;
class QWidget;

namespace zd573 {

// A decoded picture; may hold no image.
class CGdiPlusBitmap {
 public:
  CGdiPlusBitmap() = default;
  virtual ~CGdiPlusBitmap() = default;
  CGdiPlusBitmap(const CGdiPlusBitmap&) = delete;
  CGdiPlusBitmap& operator=(const CGdiPlusBitmap&) = delete;

  bool HasImage() const { return !image_.isNull(); }
  // Unpremultiplied ARGB32 carrying the device pixel ratio it was made for,
  // or a null image. QPainter draws it at its size in window units.
  const QImage& Image() const { return image_; }
  // The size in window units, whatever the pixels behind it.
  QSize Size() const { return image_.deviceIndependentSize().toSize(); }

 protected:
  QImage image_;
};

// A picture decoded from the PNG resource ":/png/<id>", or on a
// high-density screen from its variant with twice the pixels,
// ":/png/<id>@2x".
class CGdiPlusBitmapResource : public CGdiPlusBitmap {
 public:
  CGdiPlusBitmapResource() = default;
  explicit CGdiPlusBitmapResource(int id) { LoadFromResource(id); }
  CGdiPlusBitmapResource(int id, qreal devicePixelRatio) { LoadFromResource(id, devicePixelRatio); }
  ~CGdiPlusBitmapResource() override { Empty(); }

  // Empties the object, then loads and decodes the PNG with this id for
  // screens of `devicePixelRatio` (by default the highest of the
  // application's screens). At 1 or less the picture is the PNG itself,
  // pixel for pixel. Above 1 it is the @2x variant, resampled to the ratio
  // unless that is 2, so that it covers the same place in window units with
  // the screen's own pixels; a picture without a variant is used as it is.
  // False, leaving the object empty, when the resource is missing, empty
  // or not a decodable PNG.
  bool LoadFromResource(int id);
  bool LoadFromResource(int id, qreal devicePixelRatio);
  void Empty();

  // Whether LoadFromResource(id, devicePixelRatio) would find a PNG: the
  // size in window units from the skin's catalogue or else the PNG's header,
  // without decoding its pixels; empty when there is no PNG.
  static QSize PictureSize(int id, qreal devicePixelRatio);

  static QString ResourcePath(int id);
  static QString HighDensityPath(int id);
  // The highest device pixel ratio of the application's screens, 1 without
  // a GUI application.
  static qreal ScreenRatio();
};

// The message a page shows when one of its pictures cannot be loaded.
inline constexpr const char* kFailureLoadingImage = "Failure loading image";

// How a load failure is told to the user. The default shows a plain OK
// message box without an icon; tests replace it so nothing blocks.
using ImageFailureNotifier = std::function<void(QWidget* parent, const QString& text)>;
// Installs `notifier` (an empty one restores the default) and returns the
// previous one.
ImageFailureNotifier SetImageFailureNotifier(ImageFailureNotifier notifier);

// Loads the picture `id` composed over opaque white into `bitmap`, for pages
// that draw pictures themselves, made for the screen of `parent` (without a
// parent, for the application's highest ratio); see LoadFromResource. On
// failure tells the user "Failure loading image", leaves `bitmap` null and
// returns false.
bool LoadPngAsBitmap(int id, QPixmap& bitmap, QWidget* parent = nullptr);

// A picture a widget draws itself, decoded at its first paint and kept at
// the density of the widget's screen: a window moved to a screen of another
// density draws it with that screen's pixels from its next paint on.
class SkinPicture {
 public:
  enum class Backing { White, Transparent };
  explicit SkinPicture(int id = 0, Backing backing = Backing::White) : id_(id), backing_(backing) {}

  // Checks that the picture is there for `widget`'s screen (see
  // PictureSize); when it is not, tells the user "Failure loading image" and
  // stays null. The pixels wait for the first For() or Draw().
  bool Load(QWidget* widget);
  // The picture for `widget`'s screen now (decoded again when its density
  // changed); null when a load failed.
  const QPixmap& For(const QWidget* widget);
  const QPixmap& At(qreal ratio);
  // Draws the picture with its top left corner at `at` over `area` (both in
  // `widget`'s units), as drawing For(widget) there would. At one device
  // pixel per unit a picture over white keeps each distinct row once instead
  // of the whole picture (a window's background repeats most of its rows).
  void Draw(QPainter& painter, QPoint at, const QRect& area, const QWidget* widget);
  // Nothing to draw: never loaded, or the load failed.
  bool IsNull() const { return state_ == State::None || state_ == State::Failed; }

 private:
  enum class State { None, Checked, Decoded, Failed };
  int id_;
  Backing backing_;
  bool Decode(qreal ratio, QImage& image);
  void TellLateFailure(const QWidget* widget);

  State state_ = State::None;
  qreal ratio_ = 0;
  QPixmap pixmap_;
  // At one device pixel per unit: the distinct rows, and the distinct row of
  // each row of the picture.
  QImage rows_;
  std::vector<int> rowOf_;
};

}  // namespace zd573
