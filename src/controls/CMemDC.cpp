#include "controls/CMemDC.h"

#include <QPaintDevice>
#include <QtGlobal>

namespace zd573 {

namespace {

// The device's extent in the painter's (logical) coordinates.
QRect DeviceRect(const QPaintDevice* device) {
  if (device->devType() == QInternal::Widget) return {0, 0, device->width(), device->height()};
  const qreal dpr = device->devicePixelRatioF();
  return {0, 0, qRound(device->width() / dpr), qRound(device->height() / dpr)};
}

}  // namespace

CMemDC::CMemDC(QPainter* target, const QRect& rect) : target_(target), rect_(rect), painter_(target) {
  QPaintDevice* device = target_->device();
  if (device->devType() == QInternal::Printer) {
    offScreen_ = false;
    if (rect_.isEmpty()) rect_ = DeviceRect(device);
    return;
  }
  if (rect_.isEmpty()) {
    rect_ = target_->hasClipping() ? target_->clipBoundingRect().toAlignedRect() : DeviceRect(device);
  }
  const qreal dpr = device->devicePixelRatioF();
  surface_ = QImage(rect_.size() * dpr, QImage::Format_ARGB32_Premultiplied);
  surface_.setDevicePixelRatio(dpr);
  surface_.fill(Qt::transparent);
  memory_.begin(&surface_);
  memory_.translate(-rect_.topLeft());
  memory_.setFont(target_->font());
  memory_.setPen(target_->pen());
  memory_.setRenderHints(target_->renderHints());
  painter_ = &memory_;
}

CMemDC::~CMemDC() {
  if (!offScreen_) return;
  memory_.end();
  target_->save();
  target_->setCompositionMode(QPainter::CompositionMode_Source);
  target_->drawImage(rect_.topLeft(), surface_);
  target_->restore();
}

}  // namespace zd573
