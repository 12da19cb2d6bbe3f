#include "controls/CGdiPlusBitmap.h"

#include <QBuffer>
#include <QPainter>
#include <QGuiApplication>
#include <QImageReader>
#include <QMessageBox>
#include <QPointer>
#include <QResource>
#include <QTimer>
#include <QWidget>

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "controls/ColorMath.h"
#include "controls/SkinCatalogue.h"

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

void CGdiPlusBitmapResource::Empty() { image_ = QImage(); }

namespace {

// The resource's bytes, without a copy when it is stored as it is.
QByteArray ResourceBytes(const QString& path) {
  const QResource resource(path);
  if (!resource.isValid() || resource.size() <= 0) return {};
  if (resource.compressionAlgorithm() != QResource::NoCompression) return resource.uncompressedData();
  return QByteArray::fromRawData(reinterpret_cast<const char*>(resource.data()), resource.size());
}

// Reads PNG and nothing else: with the format fixed, no image plugin is
// loaded to be asked whether it knows the bytes.
struct PngReader {
  explicit PngReader(const QString& path) : bytes(ResourceBytes(path)) {
    buffer.setBuffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    reader.setDevice(&buffer);
    reader.setFormat("png");
    reader.setAutoDetectImageFormat(false);
  }
  bool Usable() { return !bytes.isEmpty() && reader.canRead(); }

  QByteArray bytes;
  QBuffer buffer;
  QImageReader reader;
};

// The decoded image; false when missing or undecodable.
bool Decode(const QString& path, QImage& image) {
  PngReader png(path);
  return png.Usable() && png.reader.read(&image) && !image.isNull();
}

// The size in pixels from the header alone; empty when it is no PNG.
QSize HeaderSize(const QString& path) {
  PngReader png(path);
  return png.Usable() ? png.reader.size() : QSize();
}

}  // namespace

QSize CGdiPlusBitmapResource::PictureSize(int id, qreal devicePixelRatio) {
  // The skin's own pictures are known without touching their bytes (the skin
  // test holds each to its size at both densities).
  if (const skin::Picture* known = skin::FindPicture(id)) return {known->width, known->height};
  if (devicePixelRatio > 1.0) {
    const QSize fine = HeaderSize(HighDensityPath(id));
    if (!fine.isEmpty()) return {qRound(fine.width() / 2.0), qRound(fine.height() / 2.0)};
  }
  return HeaderSize(ResourcePath(id));
}

bool CGdiPlusBitmapResource::LoadFromResource(int id) { return LoadFromResource(id, ScreenRatio()); }

bool CGdiPlusBitmapResource::LoadFromResource(int id, qreal devicePixelRatio) {
  Empty();
  QImage decoded;
  qreal scale = 1.0;
  if (devicePixelRatio > 1.0 && Decode(HighDensityPath(id), decoded)) {
    scale = 2.0;
  } else if (!Decode(ResourcePath(id), decoded)) {
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

namespace {

void TellFailure(QWidget* widget) { Notifier()(widget, QString::fromLatin1(kFailureLoadingImage)); }

qreal RatioOf(const QWidget* widget) {
  return widget ? widget->devicePixelRatioF() : CGdiPlusBitmapResource::ScreenRatio();
}

}  // namespace

bool LoadPngAsBitmap(int id, QPixmap& bitmap, QWidget* parent) {
  bitmap = SkinPicture(id).At(RatioOf(parent));
  if (!bitmap.isNull()) return true;
  TellFailure(parent);
  return false;
}

bool SkinPicture::Load(QWidget* widget) {
  const qreal ratio = RatioOf(widget);
  if (!CGdiPlusBitmapResource::PictureSize(id_, ratio).isEmpty()) {
    if (state_ == State::None) state_ = State::Checked;
    return true;
  }
  state_ = State::Failed;
  ratio_ = ratio;
  pixmap_ = QPixmap();
  TellFailure(widget);
  return false;
}

void SkinPicture::TellLateFailure(const QWidget* widget) {
  // Its header was fine but its pixels are not; told after the paint, not
  // from inside it.
  QTimer::singleShot(0, qApp, [target = QPointer<QWidget>(const_cast<QWidget*>(widget))] { TellFailure(target); });
}

const QPixmap& SkinPicture::For(const QWidget* widget) {
  // A picture that failed once is not retried from a paint.
  if (state_ == State::Failed) return pixmap_;
  const bool checked = state_ == State::Checked;
  At(widget->devicePixelRatioF());
  if (checked && state_ == State::Failed) TellLateFailure(widget);
  return pixmap_;
}

bool SkinPicture::Decode(qreal ratio, QImage& image) {
  ratio_ = ratio;
  CGdiPlusBitmapResource picture;
  if (!picture.LoadFromResource(id_, ratio)) {
    state_ = State::Failed;
    pixmap_ = QPixmap();
    return false;
  }
  image = picture.Image();
  picture.Empty();
  state_ = State::Decoded;
  // Opaque over white: three bytes a pixel hold it whole.
  if (backing_ == Backing::White) image = skin::ComposeOverWhite(std::move(image)).convertToFormat(QImage::Format_RGB888);
  return true;
}

const QPixmap& SkinPicture::At(qreal ratio) {
  if (ratio == ratio_ && !pixmap_.isNull()) return pixmap_;
  if (ratio == ratio_ && state_ == State::Failed) return pixmap_;
  QImage image;
  if (Decode(ratio, image)) {
    pixmap_ = backing_ == Backing::White ? QPixmap::fromImage(std::move(image), Qt::NoFormatConversion)
                                         : QPixmap::fromImage(std::move(image));
  }
  return pixmap_;
}

void SkinPicture::Draw(QPainter& painter, QPoint at, const QRect& area, const QWidget* widget) {
  if (state_ == State::Failed) return;
  if (widget->devicePixelRatioF() != 1.0 || backing_ != Backing::White) {
    if (const QPixmap& picture = For(widget); !picture.isNull()) painter.drawPixmap(at, picture);
    return;
  }
  if (rows_.isNull()) {
    const bool checked = state_ == State::Checked;
    QImage image;
    if (!Decode(1.0, image)) {
      if (checked) TellLateFailure(widget);
      return;
    }
    // Each distinct row once, in the order they first appear.
    std::unordered_map<std::string_view, int> seen;
    rowOf_.resize(static_cast<std::size_t>(image.height()));
    std::vector<int> firsts;
    for (int y = 0; y < image.height(); ++y) {
      const std::string_view row(reinterpret_cast<const char*>(image.constScanLine(y)),
                                 static_cast<std::size_t>(image.width()) * 3);
      const auto [it, added] = seen.try_emplace(row, static_cast<int>(firsts.size()));
      if (added) firsts.push_back(y);
      rowOf_[static_cast<std::size_t>(y)] = it->second;
    }
    rows_ = QImage(image.width(), static_cast<int>(firsts.size()), QImage::Format_RGB888);
    for (std::size_t i = 0; i < firsts.size(); ++i)
      std::memcpy(rows_.scanLine(static_cast<int>(i)), image.constScanLine(firsts[i]),
                  static_cast<std::size_t>(image.width()) * 3);
  }
  const QRect shown = area.intersected(QRect(at, QSize(rows_.width(), static_cast<int>(rowOf_.size()))));
  for (int y = shown.top(); y <= shown.bottom(); ++y) {
    painter.drawImage(QPoint(shown.left(), y), rows_,
                      QRect(shown.left() - at.x(), rowOf_[static_cast<std::size_t>(y - at.y())], shown.width(), 1));
  }
}

}  // namespace zd573
