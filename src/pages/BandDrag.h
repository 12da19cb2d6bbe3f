#pragma once
// Moving a frameless window by dragging its top band.
#include <QMouseEvent>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <optional>

namespace zd573 {

class BandDrag {
 public:
  static constexpr QRect kBand{0, 0, 800, 80};

  // A left press inside the band starts a drag and captures the mouse.
  bool Press(QWidget* window, QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !kBand.contains(event->position().toPoint())) return false;
    dragging_ = true;
    grab_ = event->position().toPoint();
    window->grabMouse();
    event->accept();
    return true;
  }
  // Where the window's top-left goes while dragging.
  std::optional<QPoint> Move(QMouseEvent* event) const {
    if (!dragging_) return std::nullopt;
    event->accept();
    return event->globalPosition().toPoint() - grab_;
  }
  bool Release(QWidget* window, QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) return false;
    dragging_ = false;
    window->releaseMouse();
    event->accept();
    return true;
  }
  bool Dragging() const { return dragging_; }

 private:
  bool dragging_ = false;
  QPoint grab_;
};

}  // namespace zd573
