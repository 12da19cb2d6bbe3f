#include "skin_painter.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPathStroker>

#include <algorithm>
#include <vector>

namespace skingen {

namespace {
int g_scale = 1;
}  // namespace

void SetScale(int scale) { g_scale = scale; }
int Scale() { return g_scale; }

QImage Canvas(int width, int height) {
  QImage image(width * g_scale, height * g_scale, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(g_scale);
  image.fill(Qt::transparent);
  return image;
}

void PixelLine(QPainter& p, QPoint from, QPoint to, const QColor& colour) {
  p.fillRect(QRect(from, to).normalized(), colour);
}

void PixelFrame(QPainter& p, const QRect& r, const QColor& colour) {
  PixelLine(p, r.topLeft(), r.topRight(), colour);
  PixelLine(p, r.bottomLeft(), r.bottomRight(), colour);
  PixelLine(p, r.topLeft() + QPoint(0, 1), r.bottomLeft() - QPoint(0, 1), colour);
  PixelLine(p, r.topRight() + QPoint(0, 1), r.bottomRight() - QPoint(0, 1), colour);
}

QColor Mix(const QColor& a, const QColor& b, double t) {
  auto lerp = [t](int x, int y) { return static_cast<int>(x + (y - x) * t + 0.5); };
  return QColor(lerp(a.red(), b.red()), lerp(a.green(), b.green()), lerp(a.blue(), b.blue()),
                lerp(a.alpha(), b.alpha()));
}

QColor WithAlpha(QColor c, int alpha) {
  c.setAlpha(alpha);
  return c;
}

QPainterPath RoundedRect(const QRectF& r, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(r, radius, radius);
  return path;
}

QBrush Vertical(const QRectF& r, const QColor& top, const QColor& bottom) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0.0, top);
  g.setColorAt(1.0, bottom);
  return QBrush(g);
}

namespace {

// One pass of a running-sum box blur along rows (or columns) of an 8-bit plane.
void BoxBlur(std::vector<int>& plane, int w, int h, int radius, bool horizontal) {
  if (radius <= 0) return;
  std::vector<int> out(plane.size());
  const int lines = horizontal ? h : w;
  const int length = horizontal ? w : h;
  const int window = 2 * radius + 1;
  for (int l = 0; l < lines; ++l) {
    auto at = [&](int i) -> int {
      i = std::clamp(i, 0, length - 1);
      return horizontal ? plane[static_cast<std::size_t>(l * w + i)] : plane[static_cast<std::size_t>(i * w + l)];
    };
    int sum = 0;
    for (int i = -radius; i <= radius; ++i) sum += at(i);
    for (int i = 0; i < length; ++i) {
      const std::size_t idx = horizontal ? static_cast<std::size_t>(l * w + i) : static_cast<std::size_t>(i * w + l);
      out[idx] = sum / window;
      sum += at(i + radius + 1) - at(i - radius);
    }
  }
  plane.swap(out);
}

}  // namespace

void DropShadow(QImage& image, const QPainterPath& shape, QPointF offset, int blur, const QColor& colour) {
  // Works on device pixels; the shape and the offset are in units.
  const int w = image.width();
  const int h = image.height();
  const qreal scale = image.devicePixelRatio();
  QImage mask(w, h, QImage::Format_ARGB32_Premultiplied);
  mask.setDevicePixelRatio(scale);
  mask.fill(Qt::transparent);
  {
    QPainter p(&mask);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(offset);
    p.fillPath(shape, Qt::white);
  }
  std::vector<int> alpha(static_cast<std::size_t>(w * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) alpha[static_cast<std::size_t>(y * w + x)] = qAlpha(mask.pixel(x, y));
  const int r = std::max(1, blur / 2) * qRound(scale);
  for (int pass = 0; pass < 3; ++pass) {
    BoxBlur(alpha, w, h, r, true);
    BoxBlur(alpha, w, h, r, false);
  }
  QImage shadow(w, h, QImage::Format_ARGB32);
  shadow.setDevicePixelRatio(scale);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int a = alpha[static_cast<std::size_t>(y * w + x)] * colour.alpha() / 255;
      shadow.setPixel(x, y, qRgba(colour.red(), colour.green(), colour.blue(), a));
    }
  }
  QPainter p(&image);
  p.drawImage(0, 0, shadow);
}

namespace {

QPen Stroke(const QColor& c, qreal width) {
  QPen pen(c, width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

QPainterPath Circle(QPointF c, qreal r) {
  QPainterPath path;
  path.addEllipse(c, r, r);
  return path;
}

void Polyline(QPainter& p, std::initializer_list<QPointF> points, const QPen& pen) {
  QPainterPath path;
  auto it = points.begin();
  path.moveTo(*it);
  for (++it; it != points.end(); ++it) path.lineTo(*it);
  p.strokePath(path, pen);
}

void Arc(QPainter& p, QPointF c, qreal r, qreal startDeg, qreal spanDeg, const QPen& pen) {
  QPainterPath path;
  const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
  path.arcMoveTo(box, startDeg);
  path.arcTo(box, startDeg, spanDeg);
  p.strokePath(path, pen);
}

QPainterPath PinShape(QPointF c, qreal r, qreal tipY) {
  QPainterPath tri;
  tri.moveTo(c.x() - r * 0.86, c.y() + r * 0.5);
  tri.lineTo(c.x() + r * 0.86, c.y() + r * 0.5);
  tri.lineTo(c.x(), tipY);
  tri.closeSubpath();
  return Circle(c, r).united(tri);
}

}  // namespace

void DrawGlyph(QPainter& p, Glyph glyph, const QRectF& box, const QColor& inkColour, const QColor& cut) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(box.topLeft());
  p.scale(box.width() / 100.0, box.height() / 100.0);
  p.setPen(Qt::NoPen);
  switch (glyph) {
    case Glyph::Device: {
      p.fillPath(RoundedRect({58, 4, 8, 12}, 3), inkColour);
      p.fillPath(RoundedRect({29, 10, 42, 80}, 13), inkColour);
      p.fillPath(Circle({50, 33}, 6.5), cut);
      p.fillPath(RoundedRect({44.5, 45, 11, 30}, 4.5), cut);
      break;
    }
    case Glyph::Contacts: {
      p.fillPath(Circle({36, 44}, 15), inkColour);
      QPainterPath body;
      body.moveTo(8, 90);
      body.cubicTo(8, 70, 20, 63, 36, 63);
      body.cubicTo(52, 63, 64, 70, 64, 90);
      body.closeSubpath();
      p.fillPath(body, inkColour);
      QPainterPath bubble = RoundedRect({52, 8, 42, 31}, 10);
      QPainterPath tail;
      tail.moveTo(60, 34);
      tail.lineTo(57, 50);
      tail.lineTo(74, 36);
      tail.closeSubpath();
      bubble = bubble.united(tail);
      p.strokePath(bubble, Stroke(cut, 7));
      p.fillPath(bubble, inkColour);
      for (int i = 0; i < 3; ++i) p.fillPath(Circle({63.0 + i * 10.0, 23.5}, 3.4), cut);
      break;
    }
    case Glyph::Gprs: {
      const QPen pen = Stroke(inkColour, 7.5);
      Polyline(p, {{50, 46}, {33, 92}}, pen);
      Polyline(p, {{50, 46}, {67, 92}}, pen);
      Polyline(p, {{40, 74}, {60, 74}}, pen);
      p.fillPath(Circle({50, 38}, 9), inkColour);
      Arc(p, {50, 38}, 21, -42, 84, pen);
      Arc(p, {50, 38}, 21, 138, 84, pen);
      Arc(p, {50, 38}, 36, -38, 76, pen);
      Arc(p, {50, 38}, 36, 142, 76, pen);
      break;
    }
    case Glyph::Bell: {
      QPainterPath bell;
      bell.moveTo(16, 74);
      bell.cubicTo(25, 66, 27, 60, 27, 48);
      bell.cubicTo(27, 31, 37, 21, 50, 21);
      bell.cubicTo(63, 21, 73, 31, 73, 48);
      bell.cubicTo(73, 60, 75, 66, 84, 74);
      bell.closeSubpath();
      p.fillPath(RoundedRect({14, 70, 72, 9}, 4.5).united(bell), inkColour);
      p.fillPath(Circle({50, 16}, 6.5), inkColour);
      p.fillPath(Circle({50, 86}, 8), inkColour);
      const QPen pen = Stroke(inkColour, 6);
      Arc(p, {50, 46}, 44, 122, 30, pen);
      Arc(p, {50, 46}, 44, 28, 30, pen);
      break;
    }
    case Glyph::Logger: {
      const QPainterPath pin = PinShape({60, 36}, 24, 92);
      p.strokePath(pin, Stroke(cut, 6));
      p.fillPath(pin, inkColour);
      p.fillPath(Circle({60, 36}, 9), cut);
      p.fillPath(Circle({14, 86}, 5.5), inkColour);
      p.fillPath(Circle({27, 78}, 4.5), inkColour);
      p.fillPath(Circle({39, 86}, 4), inkColour);
      break;
    }
    case Glyph::Gear: {
      QPainterPath gear = Circle({50, 50}, 30);
      for (int k = 0; k < 8; ++k) {
        QTransform t;
        t.translate(50, 50);
        t.rotate(k * 45.0);
        gear = gear.united(t.map(RoundedRect({-8.5, -45, 17, 22}, 4)));
      }
      p.fillPath(gear, inkColour);
      p.fillPath(Circle({50, 50}, 13), cut);
      break;
    }
    case Glyph::Map: {
      QPainterPath map;
      map.moveTo(10, 22);
      map.lineTo(37, 11);
      map.lineTo(63, 22);
      map.lineTo(90, 11);
      map.lineTo(90, 78);
      map.lineTo(63, 89);
      map.lineTo(37, 78);
      map.lineTo(10, 89);
      map.closeSubpath();
      p.fillPath(map, inkColour);
      const QPen fold = Stroke(cut, 3.5);
      Polyline(p, {{37, 15}, {37, 75}}, fold);
      Polyline(p, {{63, 26}, {63, 85}}, fold);
      break;
    }
    case Glyph::Help: {
      QPainterPath q;
      q.moveTo(33, 36);
      q.cubicTo(33, 19, 67, 17, 67, 36);
      q.cubicTo(67, 50, 50, 50, 50, 64);
      p.strokePath(q, Stroke(inkColour, 12));
      p.fillPath(Circle({50, 84}, 7.5), inkColour);
      break;
    }
    case Glyph::Lock: {
      QPainterPath shackle;
      shackle.moveTo(31, 48);
      shackle.lineTo(31, 34);
      shackle.arcTo(QRectF(31, 15, 38, 38), 180, -180);
      shackle.lineTo(69, 48);
      p.strokePath(shackle, Stroke(inkColour, 9));
      p.fillPath(RoundedRect({19, 44, 62, 48}, 10), inkColour);
      p.fillPath(Circle({50, 63}, 7.5), cut);
      p.fillPath(RoundedRect({46.5, 64, 7, 16}, 3), cut);
      break;
    }
    case Glyph::Login:
    case Glyph::Logout: {
      const bool in = glyph == Glyph::Login;
      const QPen pen = Stroke(inkColour, 9);
      if (in) {
        Polyline(p, {{58, 14}, {84, 14}, {84, 86}, {58, 86}}, pen);
        Polyline(p, {{10, 50}, {58, 50}}, pen);
        Polyline(p, {{40, 30}, {60, 50}, {40, 70}}, pen);
      } else {
        Polyline(p, {{44, 14}, {16, 14}, {16, 86}, {44, 86}}, pen);
        Polyline(p, {{40, 50}, {88, 50}}, pen);
        Polyline(p, {{68, 30}, {88, 50}, {68, 70}}, pen);
      }
      break;
    }
    case Glyph::Save:
    case Glyph::Open: {
      // An open tray with an arrow going down into it, or up out of it.
      const QPen pen = Stroke(inkColour, 9);
      Polyline(p, {{14, 58}, {14, 86}, {86, 86}, {86, 58}}, pen);
      Polyline(p, {{50, 10}, {50, 64}}, pen);
      if (glyph == Glyph::Save) {
        Polyline(p, {{30, 44}, {50, 64}, {70, 44}}, pen);
      } else {
        Polyline(p, {{30, 30}, {50, 10}, {70, 30}}, pen);
      }
      break;
    }
    case Glyph::Undo: {
      // An arrow going back: left along the top, the way it came round below.
      const QPen pen = Stroke(inkColour, 9);
      QPainterPath hook;
      hook.moveTo(20, 38);
      hook.lineTo(62, 38);
      hook.arcTo(QRectF(38, 38, 48, 48), 90, -180);
      hook.lineTo(32, 86);
      p.strokePath(hook, pen);
      Polyline(p, {{38, 20}, {20, 38}, {38, 56}}, pen);
      break;
    }
    case Glyph::ArrowLeft:
    case Glyph::ArrowRight: {
      const QPen pen = Stroke(inkColour, 12);
      if (glyph == Glyph::ArrowRight) {
        Polyline(p, {{16, 50}, {80, 50}}, pen);
        Polyline(p, {{54, 24}, {82, 50}, {54, 76}}, pen);
      } else {
        Polyline(p, {{84, 50}, {20, 50}}, pen);
        Polyline(p, {{46, 24}, {18, 50}, {46, 76}}, pen);
      }
      break;
    }
    case Glyph::Check:
      Polyline(p, {{20, 52}, {41, 73}, {80, 28}}, Stroke(inkColour, 12));
      break;
    case Glyph::Cross:
    case Glyph::Close: {
      const QPen pen = Stroke(inkColour, glyph == Glyph::Close ? 13 : 11);
      Polyline(p, {{26, 26}, {74, 74}}, pen);
      Polyline(p, {{74, 26}, {26, 74}}, pen);
      break;
    }
    case Glyph::Minus:
      Polyline(p, {{24, 54}, {76, 54}}, Stroke(inkColour, 13));
      break;
    case Glyph::ChevronUp:
      Polyline(p, {{22, 64}, {50, 36}, {78, 64}}, Stroke(inkColour, 12));
      break;
    case Glyph::ChevronDown:
      Polyline(p, {{22, 36}, {50, 64}, {78, 36}}, Stroke(inkColour, 12));
      break;
    case Glyph::Pin: {
      const QPainterPath pin = PinShape({50, 38}, 30, 96);
      p.fillPath(pin, inkColour);
      p.fillPath(Circle({50, 38}, 12), cut);
      break;
    }
  }
  p.restore();
}

void DrawCentredText(QPainter& p, const QString& text, QPointF centre, qreal pixelSize, const QColor& colour) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(static_cast<int>(pixelSize));
  font.setBold(true);
  QPainterPath path;
  path.addText(QPointF(0, 0), font, text);
  const QRectF bounds = path.boundingRect();
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(centre - bounds.center());
  p.fillPath(path, colour);
  p.restore();
}

}  // namespace skingen
