#include "controls/CGdiPlusBitmap.h"

#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QWidget>

#include "controls/ColorMath.h"

namespace zd573 {

QString CGdiPlusBitmapResource::ResourcePath(int id) {
  return QStringLiteral(":/png/%1").arg(id);
}

QString CGdiPlusBitmapResource::HighDensityPath(int id) {
  return QStringLiteral(":/png/%1@2x").arg(id);
}

qreal CGdiPlusBitmapResource::ScreenRatio() {
  return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

void CGdiPlusBitmapResource::Empty() {
  image_ = QImage();
  buffer_.clear();
}

namespace {

// The PNG's bytes and its decoded image; false when missing or undecodable.
bool Decode(const QString& path, QByteArray& bytes, QImage& image) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  bytes = file.readAll();
  if (bytes.isEmpty()) return false;
  return image.loadFromData(bytes, "PNG") && !image.isNull();
}

}  // namespace

bool CGdiPlusBitmapResource::LoadFromResource(int id) { return LoadFromResource(id, ScreenRatio()); }

bool CGdiPlusBitmapResource::LoadFromResource(int id, qreal devicePixelRatio) {
  Empty();
  id_ = id;
  requestedRatio_ = devicePixelRatio;
  QByteArray bytes;
  QImage decoded;
  qreal scale = 1.0;
  if (devicePixelRatio > 1.0 && Decode(HighDensityPath(id), bytes, decoded)) {
    scale = 2.0;
  } else if (!Decode(ResourcePath(id), bytes, decoded)) {
    return false;
  }
  decoded = decoded.convertToFormat(QImage::Format_ARGB32);
  if (scale != 1.0 && devicePixelRatio != scale) {
    // A fractional scale gets the screen's own pixels, smoothly resampled
    // from the finer picture, rather than a blocky scaling at every paint.
    const QSize units(qRound(decoded.width() / scale), qRound(decoded.height() / scale));
    decoded = decoded
                  .scaled(qRound(units.width() * devicePixelRatio), qRound(units.height() * devicePixelRatio),
                          Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                  .convertToFormat(QImage::Format_ARGB32);
    scale = devicePixelRatio;
  }
  decoded.setDevicePixelRatio(scale);
  buffer_ = std::move(bytes);
  image_ = std::move(decoded);
  return true;
}

namespace {

void ShowFailureBox(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, parent);
  box.exec();
}

ImageFailureNotifier& Notifier() {
  static ImageFailureNotifier notifier = ShowFailureBox;
  return notifier;
}

}  // namespace

ImageFailureNotifier SetImageFailureNotifier(ImageFailureNotifier notifier) {
  ImageFailureNotifier previous = Notifier();
  Notifier() = notifier ? std::move(notifier) : ImageFailureNotifier(ShowFailureBox);
  return previous;
}

bool LoadPngAsBitmap(int id, QPixmap& bitmap, QWidget* parent) {
  SkinPicture picture(id);
  const bool loaded = picture.Load(parent);
  bitmap = picture.Current();
  return loaded;
}

bool SkinPicture::Load(QWidget* widget) {
  const qreal ratio = widget ? widget->devicePixelRatioF() : CGdiPlusBitmapResource::ScreenRatio();
  if (!At(ratio).isNull()) return true;
  Notifier()(widget, QString::fromLatin1(kFailureLoadingImage));
  return false;
}

const QPixmap& SkinPicture::For(const QWidget* widget) {
  // A picture that failed once is not retried from a paint.
  if (pixmap_.isNull() && ratio_ != 0) return pixmap_;
  return At(widget->devicePixelRatioF());
}

const QPixmap& SkinPicture::At(qreal ratio) {
  if (ratio == ratio_) return pixmap_;
  ratio_ = ratio;
  CGdiPlusBitmapResource picture;
  if (!picture.LoadFromResource(id_, ratio)) {
    pixmap_ = QPixmap();
  } else {
    const QImage& image = picture.Image();
    pixmap_ = QPixmap::fromImage(backing_ == Backing::White ? skin::ComposeOverWhite(image) : image);
  }
  return pixmap_;
}

}  // namespace zd573
