#pragma once
// Drawing helpers of the skin generator: the palette, soft shadows, and the
// vector glyphs shared by page buttons, page icons and window icons.
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

namespace skingen {

// One calm palette for every picture.
namespace ink {
inline const QColor k900{0x10, 0x19, 0x24};
inline const QColor k800{0x17, 0x24, 0x32};
inline const QColor k700{0x1F, 0x31, 0x43};
inline const QColor k600{0x2B, 0x41, 0x57};
inline const QColor k500{0x4F, 0x64, 0x78};
inline const QColor k400{0x7D, 0x8F, 0xA0};
inline const QColor k300{0xA9, 0xB7, 0xC4};
inline const QColor k200{0xCB, 0xD6, 0xDF};
inline const QColor k150{0xD9, 0xE2, 0xE9};
inline const QColor k100{0xE4, 0xEB, 0xF0};
}  // namespace ink

inline const QColor kPanel{239, 245, 246};
inline const QColor kMessagePanel{223, 232, 237};
inline const QColor kWhite{255, 255, 255};
inline const QColor kTeal{0x17, 0xA5, 0x9B};
inline const QColor kTealDark{0x0F, 0x80, 0x79};
inline const QColor kTealLight{0x4E, 0xCF, 0xC4};
inline const QColor kCoral{0xD9, 0x5F, 0x4C};
inline const QColor kCoralDark{0xB8, 0x4A, 0x39};

// Accent of each page, equal in weight so the set reads as one family.
namespace hue {
inline const QColor kDevice{0x3A, 0x7B, 0xD5};
inline const QColor kContacts{0x6A, 0x5C, 0xD0};
inline const QColor kGprs{0x17, 0xA5, 0x9B};
inline const QColor kRinging{0xE0, 0x93, 0x2B};
inline const QColor kLogger{0x3B, 0xA5, 0x5C};
inline const QColor kSettings{0x5A, 0x6E, 0x84};
inline const QColor kMap{0x25, 0x9C, 0xC4};
inline const QColor kHelp{0x8E, 0x6B, 0xC9};
inline const QColor kPassword{0xC9, 0x6A, 0x3B};
}  // namespace hue

enum class Glyph {
  Device, Contacts, Gprs, Bell, Logger, Gear, Map, Help, Lock, Login, Logout,
  ArrowLeft, ArrowRight, Check, Cross, ChevronUp, ChevronDown, Minus, Close, Pin,
  Save, Open, Undo
};

// Device pixels per unit of the pictures being drawn: 1, or 2 for the
// variants of high-density screens. Recipes draw in units; Canvas makes an
// image of the scaled size that QPainter scales into by itself.
void SetScale(int scale);
int Scale();

// A transparent picture of width x height units.
QImage Canvas(int width, int height);
QColor Mix(const QColor& a, const QColor& b, double t);
QColor WithAlpha(QColor c, int alpha);
QPainterPath RoundedRect(const QRectF& r, qreal radius);
// A vertical gradient from `top` to `bottom` over `r`.
QBrush Vertical(const QRectF& r, const QColor& top, const QColor& bottom);

// The pixels an aliased one-pixel line from `from` to `to` covers (a row or
// a column), filled in `colour`. A scaled aliased line would straddle two
// units; a filled rectangle stays on the same unit at every scale.
void PixelLine(QPainter& p, QPoint from, QPoint to, const QColor& colour);
// The one-unit border just inside `r`.
void PixelFrame(QPainter& p, const QRect& r, const QColor& colour);

// Blurs the alpha of `shape` drawn in `colour` and lays it under what
// follows: a soft drop shadow.
void DropShadow(QImage& image, const QPainterPath& shape, QPointF offset, int blur, const QColor& colour);

// A glyph filling the box `box` in `ink`; details cut into the glyph are
// drawn in `cut` (the colour under the glyph).
void DrawGlyph(QPainter& p, Glyph glyph, const QRectF& box, const QColor& ink, const QColor& cut);

// Text as a filled path, centred on `centre`.
void DrawCentredText(QPainter& p, const QString& text, QPointF centre, qreal pixelSize, const QColor& colour);

}  // namespace skingen
