// zd573-skin-gen: draws every picture of the skin and writes <id>.png and
// <id>@2x.png into the folder named on the command line. The committed
// resources/png/ is its output; change a recipe here, run it, look at the
// result, commit both.
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <QFile>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <numbers>

#include "controls/SkinCatalogue.h"
#include "skin_painter.h"

using namespace skingen;

namespace {

enum class State { Normal, Pressed, Disabled };

// ---------------------------------------------------------------------------
// Page buttons of the main window: a white card with a coloured disc and a
// white glyph.

QImage PageTile(Glyph glyph, const QColor& hue, State state) {
  QImage img = Canvas(115, 115);
  const qreal down = state == State::Pressed ? 1.0 : 0.0;
  const QRectF card(8.5, 5.5 + down, 98, 98);
  const QPainterPath shape = RoundedRect(card, 22);
  if (state == State::Normal) DropShadow(img, shape, {0, 3}, 6, WithAlpha(ink::k800, 64));
  if (state == State::Pressed) DropShadow(img, shape, {0, 1}, 4, WithAlpha(ink::k800, 60));

  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QColor top, bottom, border, disc;
  switch (state) {
    case State::Normal:
      top = kWhite, bottom = QColor(0xF6, 0xF9, 0xFA), border = QColor(0xD3, 0xDC, 0xE3), disc = hue;
      break;
    case State::Pressed:
      top = QColor(0xE6, 0xED, 0xF1), bottom = QColor(0xEE, 0xF3, 0xF5), border = ink::k200;
      disc = Mix(hue, ink::k900, 0.18);
      break;
    case State::Disabled:
      top = QColor(0xF3, 0xF6, 0xF8), bottom = top, border = QColor(0xDC, 0xE3, 0xE8), disc = ink::k300;
      break;
  }
  p.fillPath(shape, Vertical(card, top, bottom));
  p.setPen(QPen(border, 1));
  p.drawPath(shape);

  const QPointF c = card.center();
  const qreal r = 31;
  const QRectF discBox(c.x() - r, c.y() - r, 2 * r, 2 * r);
  QPainterPath discPath;
  discPath.addEllipse(discBox);
  p.setPen(Qt::NoPen);
  p.fillPath(discPath, Vertical(discBox, Mix(disc, kWhite, 0.14), Mix(disc, ink::k900, 0.08)));
  if (state != State::Disabled) {
    // A faint rim of light along the top of the disc.
    QLinearGradient rim(discBox.topLeft(), discBox.bottomLeft());
    rim.setColorAt(0, WithAlpha(kWhite, 70));
    rim.setColorAt(0.5, WithAlpha(kWhite, 0));
    p.setPen(QPen(QBrush(rim), 1.2));
    p.drawEllipse(discBox.adjusted(0.6, 0.6, -0.6, -0.6));
  }
  const qreal g = 36;
  DrawGlyph(p, glyph, QRectF(c.x() - g / 2, c.y() - g / 2, g, g),
            state == State::Disabled ? WithAlpha(kWhite, 235) : kWhite, disc);
  return img;
}

// Small page icon: a rounded square in the page's colour with a white glyph.
QImage PageIcon(Glyph glyph, const QColor& hue, int size) {
  QImage img = Canvas(size, size);
  const qreal m = size >= 48 ? 2.5 : 1.0;
  const QRectF box(m, m - (size >= 48 ? 0.5 : 0.0), size - 2 * m, size - 2 * m);
  const qreal radius = size * 0.24;
  const QPainterPath shape = RoundedRect(box, radius);
  if (size >= 48) DropShadow(img, shape, {0, 1}, 3, WithAlpha(ink::k800, 60));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillPath(shape, Vertical(box, Mix(hue, kWhite, 0.16), Mix(hue, ink::k900, 0.10)));
  const qreal g = size * 0.62;
  DrawGlyph(p, glyph, QRectF((size - g) / 2, (size - g) / 2 + (size >= 48 ? -0.5 : 0.0), g, g), kWhite, hue);
  return img;
}

// ---------------------------------------------------------------------------
// Wide buttons with a caption drawn by the button itself.

QImage PillButton(const QColor& face, Glyph glyph, State state, bool glyphOnLeft = true) {
  QImage img = Canvas(140, 40);
  const qreal down = state == State::Pressed ? 1.0 : 0.0;
  const QRectF body(1.5, 1.5 + down, 137, 35);
  const QPainterPath shape = RoundedRect(body, 17.5);
  if (state == State::Normal) DropShadow(img, shape, {0, 1.5}, 4, WithAlpha(ink::k800, 70));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QColor top, bottom;
  switch (state) {
    case State::Normal:
      top = Mix(face, kWhite, 0.10), bottom = Mix(face, ink::k900, 0.06);
      break;
    case State::Pressed:
      top = Mix(face, ink::k900, 0.22), bottom = Mix(face, ink::k900, 0.12);
      break;
    case State::Disabled:
      top = QColor(0x9F, 0xAC, 0xB8), bottom = QColor(0x93, 0xA1, 0xAE);
      break;
  }
  p.fillPath(shape, Vertical(body, top, bottom));
  p.setPen(QPen(Mix(bottom, ink::k900, 0.18), 1));
  p.drawPath(shape);
  if (state == State::Normal) {
    p.setPen(QPen(WithAlpha(kWhite, 60), 1));
    p.drawLine(QPointF(body.left() + 16, body.top() + 1.5), QPointF(body.right() - 16, body.top() + 1.5));
  }
  const QRectF glyphBox(glyphOnLeft ? 14 : 108, 11 + down, 18, 18);
  DrawGlyph(p, glyph, glyphBox, state == State::Disabled ? WithAlpha(kWhite, 190) : kWhite, top);
  return img;
}

// A white pill with a teal outline; the caption, in teal, is the button's.
// With a glyph, the glyph sits at the left in teal.
QImage SecondaryPill(int width, int height, State state, const Glyph* glyph = nullptr) {
  QImage img = Canvas(width, height);
  const qreal down = state == State::Pressed ? 1.0 : 0.0;
  const QRectF body(1.5, 1.5 + down, width - 3, height - 5);
  const qreal radius = body.height() / 2;
  const QPainterPath shape = RoundedRect(body, radius);
  DropShadow(img, shape, {0, state == State::Pressed ? 0.5 : 1.0}, state == State::Pressed ? 2 : 3,
             WithAlpha(ink::k800, 40));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor top = state == State::Pressed ? QColor(0xE1, 0xE9, 0xEE) : kWhite;
  const QColor bottom = state == State::Pressed ? QColor(0xEA, 0xF0, 0xF3) : QColor(0xF1, 0xF5, 0xF7);
  p.fillPath(shape, Vertical(body, top, bottom));
  p.setPen(QPen(kTeal, 1.5));
  p.drawPath(RoundedRect(body.adjusted(0.25, 0.25, -0.25, -0.25), radius - 0.25));
  if (glyph) {
    const qreal g = 16;
    DrawGlyph(p, *glyph, QRectF(14, body.center().y() - g / 2, g, g), kTeal, top);
  }
  return img;
}

QImage SecondaryWide() { return SecondaryPill(140, 40, State::Normal); }

// Save to file and Load from file on the main window, under Login.
QImage FileButton(Glyph glyph, State state) { return SecondaryPill(180, 36, state, &glyph); }

// Square-ish action buttons: Back, Apply and confirm, Cancel.
QImage ActionButton(Glyph glyph, State state, const QColor& face, const QColor& glyphColour, bool light) {
  QImage img = Canvas(65, 50);
  const qreal down = state == State::Pressed ? 1.0 : 0.0;
  const QRectF body(6.5, 4.5 + down, 52, 40);
  const QPainterPath shape = RoundedRect(body, 12);
  DropShadow(img, shape, {0, state == State::Pressed ? 0.5 : 2.0}, state == State::Pressed ? 3 : 6,
             WithAlpha(ink::k800, light ? 45 : 75));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QColor top = light ? kWhite : Mix(face, kWhite, 0.12);
  QColor bottom = light ? QColor(0xEE, 0xF3, 0xF6) : Mix(face, ink::k900, 0.06);
  if (state == State::Pressed) {
    top = light ? QColor(0xE1, 0xE9, 0xEE) : Mix(face, ink::k900, 0.22);
    bottom = light ? QColor(0xEA, 0xF0, 0xF3) : Mix(face, ink::k900, 0.12);
  }
  p.fillPath(shape, Vertical(body, top, bottom));
  p.setPen(QPen(light ? ink::k200 : Mix(bottom, ink::k900, 0.2), 1));
  p.drawPath(shape);
  if (!light && state == State::Normal) {
    p.setPen(QPen(WithAlpha(kWhite, 55), 1));
    p.drawLine(QPointF(body.left() + 10, body.top() + 1.5), QPointF(body.right() - 10, body.top() + 1.5));
  }
  const qreal g = 24;
  DrawGlyph(p, glyph, QRectF(body.center().x() - g / 2, body.center().y() - g / 2, g, g), glyphColour, top);
  return img;
}

QImage TextButton(State state) {
  QImage img = Canvas(105, 21);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF body(0.5, 0.5, 104, 20);
  const QPainterPath shape = RoundedRect(body, 5);
  if (state == State::Pressed) {
    p.fillPath(shape, Vertical(body, QColor(0xD9, 0xE3, 0xE9), QColor(0xE6, 0xED, 0xF1)));
    p.setPen(QPen(QColor(0x93, 0xA6, 0xB6), 1));
  } else {
    p.fillPath(shape, Vertical(body, kWhite, QColor(0xEA, 0xF0, 0xF3)));
    p.setPen(QPen(QColor(0xAE, 0xBD, 0xCA), 1));
  }
  p.drawPath(shape);
  return img;
}

QImage RoundButton(Glyph glyph, State state) {
  QImage img = Canvas(47, 47);
  const qreal down = state == State::Pressed ? 1.0 : 0.0;
  QPainterPath shape;
  const QRectF box(4.5, 3.5 + down, 38, 38);
  shape.addEllipse(box);
  DropShadow(img, shape, {0, state == State::Pressed ? 0.5 : 1.5}, state == State::Pressed ? 2 : 5,
             WithAlpha(ink::k800, 60));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  if (state == State::Pressed) {
    p.fillPath(shape, Vertical(box, Mix(kTeal, kWhite, 0.78), Mix(kTeal, kWhite, 0.86)));
    p.setPen(QPen(kTeal, 1.2));
  } else {
    p.fillPath(shape, Vertical(box, kWhite, QColor(0xEF, 0xF4, 0xF6)));
    p.setPen(QPen(ink::k200, 1));
  }
  p.drawPath(shape);
  const qreal g = 20;
  DrawGlyph(p, glyph, QRectF(box.center().x() - g / 2, box.center().y() - g / 2, g, g),
            state == State::Pressed ? kTealDark : ink::k600, kWhite);
  return img;
}

// Minimise and close, drawn over the dark title band.
QImage TitleButton(Glyph glyph, bool pressed) {
  QImage img = Canvas(16, 16);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const bool close = glyph == Glyph::Close;
  if (pressed) {
    p.setPen(Qt::NoPen);
    p.setBrush(close ? kCoral : WithAlpha(kWhite, 60));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
  }
  DrawGlyph(p, glyph, QRectF(3.5, 3.5, 9, 9), pressed ? kWhite : WithAlpha(QColor(0xE6, 0xEE, 0xF3), 225),
            Qt::transparent);
  return img;
}

QImage Badge(int number, const QColor& hue) {
  QImage img = Canvas(20, 20);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF box(0.5, 0.5, 19, 19);
  QPainterPath disc;
  disc.addEllipse(box);
  p.fillPath(disc, Vertical(box, Mix(hue, kWhite, 0.12), Mix(hue, ink::k900, 0.10)));
  DrawCentredText(p, QString::number(number), box.center() + QPointF(0, 0.2), 12, kWhite);
  return img;
}

// ---------------------------------------------------------------------------
// Progress bar.

QImage ProgressTrack() {
  QImage img = Canvas(502, 12);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF body(0.5, 0.5, 501, 11);
  const QPainterPath shape = RoundedRect(body, 5.5);
  p.fillPath(shape, Vertical(body, QColor(0xD3, 0xDD, 0xE4), QColor(0xE6, 0xEC, 0xF0)));
  p.setPen(QPen(QColor(0xBC, 0xCA, 0xD4), 1));
  p.drawPath(shape);
  return img;
}

QImage ProgressBar() {
  QImage img = Canvas(502, 12);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF body(0, 0, 502, 12);
  const QPainterPath shape = RoundedRect(body, 6);
  p.fillPath(shape, Vertical(body, kTealLight, kTeal));
  p.save();
  p.setClipPath(shape);
  QPainterPath stripes;
  for (int x = -12; x < 514; x += 16) {
    stripes.moveTo(x, 12);
    stripes.lineTo(x + 7, 12);
    stripes.lineTo(x + 19, 0);
    stripes.lineTo(x + 12, 0);
    stripes.closeSubpath();
  }
  p.fillPath(stripes, WithAlpha(kWhite, 30));
  p.setPen(QPen(WithAlpha(kWhite, 90), 1));
  p.drawLine(QPointF(4, 1.5), QPointF(498, 1.5));
  p.restore();
  p.setPen(QPen(WithAlpha(kTealDark, 160), 1));
  p.drawPath(RoundedRect(body.adjusted(0.5, 0.5, -0.5, -0.5), 5.5));
  return img;
}

// ---------------------------------------------------------------------------
// Table bands of the alarm page.

QPainterPath TopRounded(const QRectF& r, qreal radius) {
  QPainterPath path;
  path.moveTo(r.left(), r.bottom());
  path.lineTo(r.left(), r.top() + radius);
  path.arcTo(QRectF(r.left(), r.top(), 2 * radius, 2 * radius), 180, -90);
  path.lineTo(r.right() - radius, r.top());
  path.arcTo(QRectF(r.right() - 2 * radius, r.top(), 2 * radius, 2 * radius), 90, -90);
  path.lineTo(r.right(), r.bottom());
  path.closeSubpath();
  return path;
}

QImage HeaderBand(int height, bool dark) {
  QImage img = Canvas(670, height);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r(0.5, 0.5, 669, height - 0.5);
  const QPainterPath shape = TopRounded(r, 8);
  if (dark) {
    p.fillPath(shape, Vertical(r, ink::k600, ink::k700));
  } else {
    p.fillPath(shape, Vertical(r, QColor(0xDF, 0xE9, 0xEE), QColor(0xD4, 0xE1, 0xE8)));
    p.setPen(QPen(QColor(0xBC, 0xCB, 0xD6), 1));
    p.drawPath(shape);
  }
  PixelLine(p, {0, height - 1}, {669, height - 1}, dark ? kTeal : QColor(0xA9, 0xBB, 0xC8));
  return img;
}

QImage RowBand(int height, bool recurring) {
  QImage img = Canvas(670, height);
  QPainter p(&img);
  img.fill(kPanel);
  const QColor line(0xCF, 0xDA, 0xE2);
  PixelLine(p, {0, 0}, {0, height - 1}, line);
  PixelLine(p, {669, 0}, {669, height - 1}, line);
  PixelLine(p, {0, height - 1}, {669, height - 1}, line);
  if (recurring) {
    p.fillRect(QRect(1, 0, 3, height - 1), kTeal);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xB5, 0xD9, 0xD5), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(402.5, 5.5, 260, height - 12), 7, 7);
  }
  return img;
}

// ---------------------------------------------------------------------------
// Tabbed panels: the active tab is part of the panel, the other one dark.

QImage TabPanel(int width, int height, int tabWidth, int tabHeight, int gap, int active, const QColor& body) {
  QImage img = Canvas(width, height);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor border(0xBD, 0xCB, 0xD5);
  const QRectF tabs[2] = {QRectF(0.5, 0.5, tabWidth, tabHeight), QRectF(0.5 + tabWidth + gap, 0.5, tabWidth, tabHeight)};
  const QRectF inactive = tabs[1 - active].adjusted(0, 3, 0, -1);
  p.fillPath(TopRounded(inactive, 7), Vertical(inactive, ink::k600, ink::k700));

  QPainterPath panel = RoundedRect(QRectF(0.5, tabHeight - 0.5, width - 1, height - tabHeight), 8);
  panel = panel.united(TopRounded(tabs[active].adjusted(0, 0, 0, 6), 7));
  if (active == 0) {
    // Square the panel's corner under the active first tab.
    panel = panel.united(QPainterPath([&] {
      QPainterPath r;
      r.addRect(QRectF(0.5, tabHeight - 0.5, 12, 12));
      return r;
    }()));
  }
  p.fillPath(panel, body);
  p.setPen(QPen(border, 1));
  p.drawPath(panel.simplified());
  const QRectF a = tabs[active];
  p.fillPath(TopRounded(QRectF(a.left() + 0.5, a.top() + 0.5, a.width() - 1, 3), 2.5), kTeal);
  return img;
}

// ---------------------------------------------------------------------------
// The window backgrounds.

void TitleBand(QPainter& p, int width, int height) {
  const QRectF band(0, 0, width, height);
  p.fillRect(band, Vertical(band, ink::k800, ink::k700));
  QRadialGradient glow(QPointF(width * 0.18, -40), width * 0.55);
  glow.setColorAt(0, WithAlpha(kTeal, 46));
  glow.setColorAt(1, WithAlpha(kTeal, 0));
  p.fillRect(band, glow);

  // Faint contour lines, like a map of the ground under the tracker.
  p.save();
  p.setClipRect(band);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(width * 0.78, height * 0.55);
  p.rotate(-8);
  for (int i = 0; i < 9; ++i) {
    const qreal rx = 40 + i * 26;
    const qreal ry = rx * 0.42;
    QPainterPath contour;
    const int n = 72;
    for (int k = 0; k <= n; ++k) {
      const qreal t = 2 * std::numbers::pi * k / n;
      const qreal wobble = 1 + 0.06 * std::sin(3 * t + i * 0.7) + 0.04 * std::cos(5 * t - i);
      const QPointF pt(rx * wobble * std::cos(t), ry * wobble * std::sin(t));
      if (k == 0) {
        contour.moveTo(pt);
      } else {
        contour.lineTo(pt);
      }
    }
    p.setPen(QPen(WithAlpha(kWhite, 16 - i), 1));
    p.drawPath(contour);
  }
  p.restore();

  // A travelled route ending at a position mark.
  p.save();
  p.setClipRect(QRectF(0, 0, width, height - 2));
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath route;
  route.moveTo(width * 0.50, height + 6);
  route.cubicTo(width * 0.56, height * 0.35, width * 0.64, height * 0.95, width * 0.70, height * 0.45);
  route.cubicTo(width * 0.73, height * 0.20, width * 0.77, height * 0.30, width * 0.80, height * 0.48);
  QPen dash(WithAlpha(kTealLight, 110), 2);
  dash.setDashPattern({2, 3});
  dash.setCapStyle(Qt::RoundCap);
  p.setPen(dash);
  p.drawPath(route);
  const QPointF end(width * 0.80, height * 0.48);
  p.setPen(Qt::NoPen);
  p.setBrush(WithAlpha(kTealLight, 50));
  p.drawEllipse(end, 9, 9);
  p.setBrush(kTealLight);
  p.drawEllipse(end, 3.5, 3.5);
  p.restore();

  QLinearGradient accent(0, 0, width, 0);
  accent.setColorAt(0, kTeal);
  accent.setColorAt(0.6, kTealLight);
  accent.setColorAt(1, WithAlpha(kTeal, 120));
  p.fillRect(QRectF(0, height - 2, width, 2), accent);
}

QImage MainBackground() {
  QImage img = Canvas(800, 600);
  img.fill(kPanel);
  QPainter p(&img);
  TitleBand(p, 800, 80);

  // The device card at the left holds the logo and the Login button.
  const QRectF card(24.5, 112.5, 200, 214);
  const QPainterPath cardShape = RoundedRect(card, 18);
  p.end();
  DropShadow(img, cardShape, {0, 3}, 8, WithAlpha(ink::k800, 46));
  p.begin(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillPath(cardShape, Vertical(card, kWhite, QColor(0xF7, 0xFA, 0xFB)));
  p.setPen(QPen(QColor(0xD6, 0xDF, 0xE6), 1));
  p.drawPath(cardShape);
  p.setPen(QPen(QColor(0xE2, 0xE9, 0xEE), 1));
  p.drawLine(QPointF(52, 249.5), QPointF(196, 249.5));
  p.setRenderHint(QPainter::Antialiasing, false);

  const QRect footer(0, 536, 800, 64);
  p.fillRect(footer, Vertical(footer, QColor(0xE2, 0xEA, 0xEF), QColor(0xDA, 0xE4, 0xEA)));
  PixelLine(p, {0, 536}, {799, 536}, QColor(0xCB, 0xD7, 0xDF));
  PixelLine(p, {0, 537}, {799, 537}, WithAlpha(kWhite, 160));
  return img;
}

QImage PageBackground() {
  QImage img = Canvas(800, 600);
  img.fill(kPanel);
  QPainter p(&img);
  TitleBand(p, 800, 80);

  // The card that carries the device's name and IMEI in white.
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF card(588.5, 85.5, 205, 57);
  const QPainterPath cardShape = RoundedRect(card, 10);
  p.end();
  DropShadow(img, cardShape, {0, 2}, 6, WithAlpha(ink::k800, 60));
  p.begin(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillPath(cardShape, Vertical(card, ink::k600, ink::k700));
  p.fillPath(RoundedRect(QRectF(card.left() + 0.5, card.top() + 12, 3, card.height() - 24), 1.5), kTealLight);

  PixelLine(p, {16, 148}, {783, 148}, QColor(0xD4, 0xDE, 0xE5));
  PixelLine(p, {16, 149}, {783, 149}, WithAlpha(kWhite, 200));

  const QRect footer(0, 492, 800, 108);
  p.fillRect(footer, Vertical(footer, QColor(0xE3, 0xEB, 0xF0), QColor(0xDA, 0xE4, 0xEA)));
  PixelLine(p, {0, 492}, {799, 492}, QColor(0xCB, 0xD7, 0xDF));
  PixelLine(p, {0, 493}, {799, 493}, WithAlpha(kWhite, 160));
  return img;
}

// The body of the settings window and of the profile review sheet.
const QColor kSheetBody(0xE7, 0xEE, 0xF2);

// Small dialogs: a white header under a thin dark-and-teal top edge, a light
// body and a footer for the two buttons.
QImage DialogBackground(int width, int height, int headerHeight, int footerTop, const QColor& body) {
  QImage img = Canvas(width, height);
  img.fill(body);
  QPainter p(&img);
  const QRect header(0, 0, width, headerHeight);
  p.fillRect(header, Vertical(header, kWhite, QColor(0xF5, 0xF8, 0xFA)));
  p.fillRect(QRect(0, 0, width, 4), ink::k700);
  p.fillRect(QRect(0, 4, width, 2), kTeal);
  PixelLine(p, {0, headerHeight}, {width - 1, headerHeight}, QColor(0xD4, 0xDE, 0xE5));
  const QRect footer(0, footerTop, width, height - footerTop);
  p.fillRect(footer, Vertical(footer, QColor(0xE3, 0xEB, 0xF0), QColor(0xDA, 0xE4, 0xEA)));
  PixelLine(p, {0, footerTop}, {width - 1, footerTop}, QColor(0xCB, 0xD7, 0xDF));
  PixelFrame(p, QRect(0, 0, width, height), ink::k600);
  return img;
}

// The logo is drawn on a 96-unit grid; `size` scales it, so the desktop
// icons in every size are the same drawing and not a blurred copy of the
// 96-pixel picture.
QImage Logo(int size = 96) {
  const qreal s = size / 96.0;
  const QTransform scale = QTransform::fromScale(s, s);
  QImage img = Canvas(size, size);
  const QRectF box(4.5, 3.5, 87, 87);
  const QPainterPath shape = RoundedRect(box, 22);
  DropShadow(img, scale.map(shape), QPointF(0, 2) * s, std::max(1, qRound(6 * s)), WithAlpha(ink::k900, 90));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setTransform(scale);
  p.fillPath(shape, Vertical(box, ink::k600, ink::k800));
  QRadialGradient glow(QPointF(48, 78), 48);
  glow.setColorAt(0, WithAlpha(kTeal, 110));
  glow.setColorAt(1, WithAlpha(kTeal, 0));
  p.fillPath(shape, glow);
  p.setPen(QPen(WithAlpha(kWhite, 36), 1));
  p.drawPath(RoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 21.5));

  // Signal arcs over a position pin.
  QPen arc(WithAlpha(kTealLight, 150), 3.2);
  arc.setCapStyle(Qt::RoundCap);
  p.setPen(arc);
  for (int i = 0; i < 2; ++i) {
    const qreal r = 22 + i * 9;
    p.drawArc(QRectF(48 - r, 40 - r, 2 * r, 2 * r), 50 * 16, 80 * 16);
  }
  QImage pin = Canvas(size, size);
  {
    QPainter q(&pin);
    q.setTransform(scale);
    DrawGlyph(q, Glyph::Pin, QRectF(30, 32, 36, 44), kWhite, Qt::transparent);
  }
  QPainter(&pin).end();
  QLinearGradient pg(0, 32, 0, 76);
  pg.setColorAt(0, kTealLight);
  pg.setColorAt(1, kTeal);
  {
    QPainter q(&pin);
    q.setCompositionMode(QPainter::CompositionMode_SourceIn);
    q.setTransform(scale);
    q.fillRect(QRectF(0, 0, 96, 96), pg);
  }
  p.resetTransform();
  p.drawImage(0, 0, pin);
  p.setTransform(scale);
  p.setPen(Qt::NoPen);
  p.setBrush(kWhite);
  p.drawEllipse(QPointF(48, 48.5), 5, 5);
  return img;
}

using Recipe = std::function<QImage()>;

std::map<int, Recipe> Recipes() {
  std::map<int, Recipe> r;
  auto tiles = [&r](int normal, Glyph g, QColor hue) {
    r[normal] = [=] { return PageTile(g, hue, State::Normal); };
    r[normal + 1] = [=] { return PageTile(g, hue, State::Pressed); };
    r[normal + 2] = [=] { return PageTile(g, hue, State::Disabled); };
  };
  tiles(171, Glyph::Device, hue::kDevice);
  tiles(150, Glyph::Contacts, hue::kContacts);
  tiles(153, Glyph::Gprs, hue::kGprs);
  tiles(156, Glyph::Bell, hue::kRinging);
  tiles(159, Glyph::Logger, hue::kLogger);
  tiles(168, Glyph::Gear, hue::kSettings);
  tiles(162, Glyph::Map, hue::kMap);
  tiles(165, Glyph::Help, hue::kHelp);

  r[233] = MainBackground;
  r[234] = PageBackground;
  r[225] = [] { return Logo(); };

  r[178] = [] { return PillButton(kTeal, Glyph::Login, State::Normal); };
  r[179] = [] { return PillButton(kTeal, Glyph::Login, State::Pressed); };
  r[180] = [] { return PillButton(kTeal, Glyph::Login, State::Disabled); };
  r[256] = [] { return PillButton(kCoral, Glyph::Logout, State::Normal); };
  r[255] = [] { return PillButton(kCoral, Glyph::Logout, State::Pressed); };
  r[181] = SecondaryWide;
  r[257] = [] { return FileButton(Glyph::Save, State::Normal); };
  r[258] = [] { return FileButton(Glyph::Save, State::Pressed); };
  r[259] = [] { return FileButton(Glyph::Open, State::Normal); };
  r[260] = [] { return FileButton(Glyph::Open, State::Pressed); };
  r[264] = [] { return FileButton(Glyph::Undo, State::Normal); };
  r[265] = [] { return FileButton(Glyph::Undo, State::Pressed); };
  r[266] = [] { return FileButton(Glyph::Map, State::Normal); };
  r[267] = [] { return FileButton(Glyph::Map, State::Pressed); };

  r[176] = [] { return TitleButton(Glyph::Minus, false); };
  r[177] = [] { return TitleButton(Glyph::Minus, true); };
  r[174] = [] { return TitleButton(Glyph::Close, false); };
  r[175] = [] { return TitleButton(Glyph::Close, true); };

  r[183] = [] { return ActionButton(Glyph::ArrowRight, State::Normal, kTeal, kWhite, false); };
  r[184] = [] { return ActionButton(Glyph::ArrowRight, State::Pressed, kTeal, kWhite, false); };
  r[185] = [] { return ActionButton(Glyph::ArrowLeft, State::Normal, ink::k500, kWhite, false); };
  r[186] = [] { return ActionButton(Glyph::ArrowLeft, State::Pressed, ink::k500, kWhite, false); };
  r[213] = [] { return ActionButton(Glyph::Cross, State::Normal, kWhite, kCoral, true); };
  r[214] = [] { return ActionButton(Glyph::Cross, State::Pressed, kWhite, kCoralDark, true); };

  r[217] = [] { return PageIcon(Glyph::Device, hue::kDevice, 48); };
  r[218] = [] { return PageIcon(Glyph::Gprs, hue::kGprs, 48); };
  r[219] = [] { return PageIcon(Glyph::Logger, hue::kLogger, 48); };
  r[220] = [] { return PageIcon(Glyph::Contacts, hue::kContacts, 48); };
  r[222] = [] { return PageIcon(Glyph::Bell, hue::kRinging, 48); };
  r[268] = [] { return PageIcon(Glyph::Map, hue::kMap, 48); };
  r[221] = [] { return PageIcon(Glyph::Lock, hue::kPassword, 48); };
  r[224] = [] { return PageIcon(Glyph::Gear, hue::kSettings, 48); };
  r[215] = [] { return PageIcon(Glyph::Lock, kTeal, 24); };
  r[223] = [] { return PageIcon(Glyph::Gear, hue::kSettings, 24); };
  r[262] = [] { return PageIcon(Glyph::Save, kTeal, 24); };
  r[263] = [] { return PageIcon(Glyph::Open, kTeal, 24); };

  r[193] = [] { return TextButton(State::Normal); };
  r[194] = [] { return TextButton(State::Pressed); };
  r[203] = [] { return RoundButton(Glyph::ChevronUp, State::Normal); };
  r[204] = [] { return RoundButton(Glyph::ChevronUp, State::Pressed); };
  r[201] = [] { return RoundButton(Glyph::ChevronDown, State::Normal); };
  r[202] = [] { return RoundButton(Glyph::ChevronDown, State::Pressed); };

  r[249] = [] { return Badge(1, kTeal); };
  r[250] = [] { return Badge(2, hue::kDevice); };
  r[251] = [] { return Badge(3, hue::kRinging); };
  r[252] = [] { return Badge(4, hue::kContacts); };

  r[253] = ProgressTrack;
  r[254] = ProgressBar;
  r[238] = [] { return HeaderBand(36, false); };
  r[241] = [] { return HeaderBand(36, true); };
  r[239] = [] { return RowBand(54, true); };
  r[240] = [] { return RowBand(54, false); };
  r[242] = [] { return RowBand(90, false); };

  r[246] = [] { return DialogBackground(350, 250, 46, 188, kPanel); };
  r[245] = [] { return DialogBackground(450, 360, 46, 304, kSheetBody); };
  r[261] = [] { return DialogBackground(802, 602, 46, 544, kSheetBody); };
  r[243] = [] { return TabPanel(431, 253, 104, 30, 4, 0, kPanel); };
  r[244] = [] { return TabPanel(431, 253, 104, 30, 4, 1, kPanel); };
  r[247] = [] { return TabPanel(670, 325, 118, 32, 4, 0, kMessagePanel); };
  r[248] = [] { return TabPanel(670, 325, 118, 32, 4, 1, kMessagePanel); };
  return r;
}

// Writes beside the target and renames, so a failed run leaves the old file.
bool SavePng(const QImage& image, const QString& path) {
  const QString temp = path + QStringLiteral(".tmp");
  if (!image.convertToFormat(QImage::Format_ARGB32).save(temp, "PNG") ||
      (QFile::exists(path) && !QFile::remove(path)) || !QFile::rename(temp, path)) {
    QFile::remove(temp);
    std::fprintf(stderr, "zd573-skin-gen: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

// The application icon in the sizes desktops ask the hicolor theme for:
// <dir>/<N>x<N>/apps/<name>.png.
int WriteIcons(const QString& dir, const QString& name) {
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(dir).arg(size);
    if (!QDir().mkpath(folder)) {
      std::fprintf(stderr, "zd573-skin-gen: cannot create %s\n", qPrintable(folder));
      return 1;
    }
    if (!SavePng(Logo(size), QStringLiteral("%1/%2.png").arg(folder, name))) return 1;
  }
  std::printf("zd573-skin-gen: wrote the icons of %s to %s\n", qPrintable(name), qPrintable(dir));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Text is drawn as paths, which needs the font database but no screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() == 4 && args[1] == QLatin1String("--icons")) return WriteIcons(args[2], args[3]);
  if (args.size() != 2 || args[1].startsWith(QLatin1Char('-'))) {
    std::fprintf(stderr,
                 "usage: zd573-skin-gen OUTPUT_DIR\n"
                 "       zd573-skin-gen --icons HICOLOR_DIR NAME   (the logo as desktop icons)\n");
    return 2;
  }
  QDir out(args[1]);
  if (!out.exists() && !QDir().mkpath(args[1])) {
    std::fprintf(stderr, "zd573-skin-gen: cannot create %s\n", qPrintable(args[1]));
    return 1;
  }

  // Every picture twice: <id>.png for ordinary screens and <id>@2x.png, the
  // same recipe at twice the pixels, for screens at 200 % and between.
  const auto recipes = Recipes();
  int written = 0;
  for (const auto& picture : zd573::skin::kCatalogue) {
    const auto it = recipes.find(picture.id);
    if (it == recipes.end()) {
      std::fprintf(stderr, "zd573-skin-gen: no recipe for picture %d (%s)\n", picture.id, picture.role);
      return 1;
    }
    for (const int scale : {1, 2}) {
      SetScale(scale);
      const QImage image = it->second();
      if (image.width() != picture.width * scale || image.height() != picture.height * scale) {
        std::fprintf(stderr, "zd573-skin-gen: picture %d at %dx is %dx%d, expected %dx%d\n", picture.id, scale,
                     image.width(), image.height(), picture.width * scale, picture.height * scale);
        return 1;
      }
      const QString name = scale == 1 ? QStringLiteral("%1.png").arg(picture.id)
                                      : QStringLiteral("%1@%2x.png").arg(picture.id).arg(scale);
      if (!SavePng(image, out.filePath(name))) return 1;
      ++written;
    }
  }
  SetScale(1);
  std::printf("zd573-skin-gen: wrote %d pictures to %s\n", written, qPrintable(out.absolutePath()));
  return 0;
}
