#pragma once
// Pictures of the skin: decoded images loaded from the PNG resources by id.
#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QString>

#include <functional>

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
  // Unpremultiplied ARGB32, or a null image.
  const QImage& Image() const { return image_; }
  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }

 protected:
  QImage image_;
};

// A picture decoded from the PNG resource ":/png/<id>". The PNG bytes are
// kept alongside the image for as long as it exists.
class CGdiPlusBitmapResource : public CGdiPlusBitmap {
 public:
  CGdiPlusBitmapResource() = default;
  explicit CGdiPlusBitmapResource(int id) { LoadFromResource(id); }
  ~CGdiPlusBitmapResource() override { Empty(); }

  // Empties the object, then loads and decodes the PNG with this id.
  // False, leaving the object empty, when the resource is missing, empty
  // or not a decodable PNG.
  bool LoadFromResource(int id);
  void Empty();

  static QString ResourcePath(int id);

 private:
  QByteArray buffer_;
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
// that draw pictures themselves. On failure tells the user "Failure loading
// image", leaves `bitmap` null and returns false.
bool LoadPngAsBitmap(int id, QPixmap& bitmap, QWidget* parent = nullptr);

}  // namespace zd573
