#pragma once
// An off-screen drawing surface over a target painter. Everything drawn
// through it lands in a private image, which is copied to the same place of
// the target in one step when the object ends, so the target never shows a
// half-drawn state. On a printer it draws straight into the target.
#include <QImage>
#include <QPainter>
#include <QRect>

namespace zd573 {

class CMemDC {
 public:
  // `rect` is in target coordinates; an empty rectangle means the target's
  // clip box (or its whole device without clipping). Drawing coordinates
  // stay those of the target.
  explicit CMemDC(QPainter* target, const QRect& rect = QRect());
  ~CMemDC();
  CMemDC(const CMemDC&) = delete;
  CMemDC& operator=(const CMemDC&) = delete;

  QPainter* operator->() { return painter_; }
  QPainter& operator*() { return *painter_; }

  bool IsOffScreen() const { return offScreen_; }
  const QRect& Rect() const { return rect_; }

 private:
  QPainter* target_;
  QRect rect_;
  bool offScreen_ = true;
  QImage surface_;
  QPainter memory_;
  QPainter* painter_;
};

}  // namespace zd573
