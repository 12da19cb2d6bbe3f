#include "pages/TrackPreview.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "logger/log_record.h"

namespace zd573 {

namespace {
// A line through more points than the box has pixels only costs time.
constexpr std::size_t kMaxPoints = 4000;
const QColor kFrame{0xC9, 0xD6, 0xDD};
const QColor kFill{255, 255, 255};
const QColor kLine{0x1B, 0x8A, 0x8A};
const QColor kStart{0x2E, 0x9E, 0x4F};
const QColor kEnd{0xC6, 0x3B, 0x3B};
}  // namespace

TrackPreview::TrackPreview(QWidget* parent) : QWidget(parent) {}

void TrackPreview::SetTrack(const logger::RawLog& log) {
  points_.clear();
  std::size_t fixes = 0;
  for (std::size_t i = 0; i < log.size(); ++i) fixes += log[i].FixCode() != 0;
  const std::size_t step = std::max<std::size_t>(1, (fixes + kMaxPoints - 1) / kMaxPoints);
  std::size_t seen = 0;
  for (std::size_t i = 0; i < log.size(); ++i) {
    const logger::LogRecord r = log[i];
    if (r.FixCode() == 0) continue;
    // Every step-th fix, and always the last one so the end marker is right.
    if (seen++ % step == 0 || seen == fixes) points_.emplace_back(r.LongitudeDegrees(), r.LatitudeDegrees());
  }
  update();
}

void TrackPreview::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  p.setPen(kFrame);
  p.setBrush(kFill);
  p.drawRoundedRect(box, 6, 6);
  if (points_.empty()) return;

  double west = points_[0].x(), east = west, south = points_[0].y(), north = south;
  for (const QPointF& pt : points_) {
    west = std::min(west, pt.x());
    east = std::max(east, pt.x());
    south = std::min(south, pt.y());
    north = std::max(north, pt.y());
  }
  // A degree of longitude shrinks towards the poles; keep the track's shape.
  const double squeeze = std::cos((north + south) / 2 * M_PI / 180.0);
  const double width = std::max((east - west) * squeeze, 1e-9);
  const double height = std::max(north - south, 1e-9);
  const QRectF inner = box.adjusted(10, 10, -10, -10);
  const double scale = std::min(inner.width() / width, inner.height() / height);
  const double left = inner.center().x() - width * scale / 2;
  const double top = inner.center().y() - height * scale / 2;
  auto at = [&](const QPointF& pt) {
    return QPointF(left + (pt.x() - west) * squeeze * scale, top + (north - pt.y()) * scale);
  };

  QPainterPath path(at(points_.front()));
  for (std::size_t i = 1; i < points_.size(); ++i) path.lineTo(at(points_[i]));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(kLine, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(path);
  p.setPen(Qt::NoPen);
  p.setBrush(kStart);
  p.drawEllipse(at(points_.front()), 3.5, 3.5);
  p.setBrush(kEnd);
  p.drawEllipse(at(points_.back()), 3.5, 3.5);
}

}  // namespace zd573
