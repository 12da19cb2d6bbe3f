#pragma once
// The ring around a control that has the keyboard focus: dark, with a white
// halo, so it shows on the teal buttons and on the light panels alike.
#include <QColor>
#include <QPainter>
#include <QPen>
#include <QRectF>

namespace zd573 {

inline const QColor kFocusRingColour{0x17, 0x24, 0x32};

inline void DrawFocusRing(QPainter& p, const QRectF& bounds, qreal radius) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF ring = bounds.adjusted(1.5, 1.5, -1.5, -1.5);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(255, 255, 255, 200), 3));
  p.drawRoundedRect(ring, radius, radius);
  p.setPen(QPen(kFocusRingColour, 2));
  p.drawRoundedRect(ring, radius, radius);
  p.restore();
}

}  // namespace zd573
