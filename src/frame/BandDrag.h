#pragma once
// Moving the frameless window: a left press in its top band hands the move to
// the window system, which works the same on X11, Wayland, Windows and macOS.
// Nothing here computes or sets a window position.
#include <QMouseEvent>
#include <QRect>
#include <QWidget>

#include "frame/AppContext.h"

namespace zd573 {

struct BandDrag {
  static constexpr QRect kBand{0, 0, 800, 80};

  // True when the press started a move.
  static bool Press(const AppContext& context, QWidget* view, QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !kBand.contains(event->position().toPoint())) return false;
    event->accept();
    context.StartWindowMove(view->window());
    return true;
  }
};

}  // namespace zd573
