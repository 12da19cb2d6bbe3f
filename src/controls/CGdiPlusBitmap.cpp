#include "controls/CGdiPlusBitmap.h"

#include <QFile>
#include <QMessageBox>
#include <QWidget>

#include "controls/ColorMath.h"

namespace zd573 {

QString CGdiPlusBitmapResource::ResourcePath(int id) {
  return QStringLiteral(":/png/%1").arg(id);
}

void CGdiPlusBitmapResource::Empty() {
  image_ = QImage();
  buffer_.clear();
}

bool CGdiPlusBitmapResource::LoadFromResource(int id) {
  Empty();
  QFile file(ResourcePath(id));
  if (!file.open(QIODevice::ReadOnly)) return false;
  QByteArray bytes = file.readAll();
  if (bytes.isEmpty()) return false;

  QImage decoded;
  if (!decoded.loadFromData(bytes, "PNG") || decoded.isNull()) return false;
  buffer_ = std::move(bytes);
  image_ = decoded.convertToFormat(QImage::Format_ARGB32);
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
  CGdiPlusBitmapResource picture;
  if (!picture.LoadFromResource(id)) {
    bitmap = QPixmap();
    Notifier()(parent, QString::fromLatin1(kFailureLoadingImage));
    return false;
  }
  bitmap = QPixmap::fromImage(skin::ComposeOverWhite(picture.Image()));
  return true;
}

}  // namespace zd573
