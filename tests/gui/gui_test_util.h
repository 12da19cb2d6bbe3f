#pragma once
// Helpers shared by the GUI tests: a parent that paints a known pattern, and
// pixel queries on grabbed images.
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QWidget>

#include <cstdlib>
#include <functional>

namespace guitest {

// A parent whose pixels are a known function of position (or one colour).
class Backdrop : public QWidget {
 public:
  explicit Backdrop(QColor solid = QColor(), QWidget* parent = nullptr) : QWidget(parent), solid_(solid) {
    resize(200, 120);
  }
  static QRgb PatternAt(int x, int y) { return qRgb((x * 2) % 256, (y * 3) % 256, 90); }
  void SetSolid(QColor c) {
    solid_ = c;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    if (solid_.isValid()) {
      p.fillRect(rect(), solid_);
      return;
    }
    QImage img(size(), QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) img.setPixel(x, y, PatternAt(x, y));
    p.drawImage(0, 0, img);
  }

 private:
  QColor solid_;
};

inline bool Near(QRgb a, QRgb b, int tolerance = 1) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

inline QString Describe(QRgb c) {
  return QStringLiteral("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

// Bounding box of the pixels for which `match` holds.
inline QRect InkBox(const QImage& image, const std::function<bool(QRgb)>& match) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (match(image.pixel(x, y))) box = box.united(QRect(x, y, 1, 1));
  return box;
}

inline int Count(const QImage& image, const std::function<bool(QRgb)>& match) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (match(image.pixel(x, y))) ++n;
  return n;
}

// Dark pixels: text drawn in black.
inline bool IsDark(QRgb c) { return qRed(c) < 100 && qGreen(c) < 100 && qBlue(c) < 100; }

}  // namespace guitest
