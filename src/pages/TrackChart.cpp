#include "pages/TrackChart.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "frame/Messages.h"
#include "logger/track_filter.h"

namespace zd573 {

namespace {
const QColor kPanel{255, 255, 255};
const QColor kFrame{0xC9, 0xD6, 0xDD};
const QColor kGrid{0xE6, 0xEC, 0xF0};
const QColor kInk{0x17, 0x24, 0x32};
const QColor kFaint{0x6B, 0x7C, 0x8A};
const QColor kLine{0x1B, 0x8A, 0x8A};
const QColor kFill{0x1B, 0x8A, 0x8A, 40};
const QColor kFocus{0x0E, 0x7C, 0x86};
constexpr int kPageStep = 20;

// A round step for about `lines` grid lines over `span`.
double NiceStep(double span, int lines) {
  const double raw = span / lines;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (raw <= m * power) return m * power;
  return 10 * power;
}
}  // namespace

TrackChart::TrackChart(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TrackChart::SetTexts(const Texts& texts) {
  texts_ = texts;
  update();
}

void TrackChart::SetPoints(const std::vector<TrackPoint>* points, int32_t offset) {
  points_ = points;
  offset_ = offset;
  picked_ = -1;
  details_.clear();
  Order();
}

void TrackChart::SetSeries(Series series) {
  series_ = series;
  Order();
  // The picked point stays when the new series shows it.
  if (picked_ >= 0 && !Shows((*points_)[std::size_t(picked_)])) picked_ = -1, details_.clear();
}

bool TrackChart::Shows(const TrackPoint& p) const { return series_ == Series::Battery || p.fix; }

double TrackChart::Value(const TrackPoint& p) const {
  switch (series_) {
    case Series::Speed: return p.speed / 100.0;
    case Series::Altitude: return p.altitude;
    case Series::Battery: return p.battery;
  }
  return 0;
}

void TrackChart::Order() {
  order_.clear();
  if (points_) {
    for (std::size_t i = 0; i < points_->size(); ++i)
      if (Shows((*points_)[i])) order_.push_back(int(i));
    std::stable_sort(order_.begin(), order_.end(),
                     [this](int a, int b) { return (*points_)[std::size_t(a)].time < (*points_)[std::size_t(b)].time; });
  }
  double lo = 0, hi = 0;
  bool any = false;
  for (int i : order_) {
    const double v = Value((*points_)[std::size_t(i)]);
    lo = any ? std::min(lo, v) : v, hi = any ? std::max(hi, v) : v, any = true;
  }
  // Speed and battery from 0; altitude around what it spans.
  if (series_ != Series::Altitude) lo = 0;
  if (series_ == Series::Battery) hi = std::max(hi, 100.0);
  if (hi - lo < 1) hi = lo + 1;
  const double step = NiceStep(hi - lo, 3);
  low_ = std::floor(lo / step) * step;
  high_ = std::ceil(hi / step) * step;
  // Room at the left for the values and their unit, written under them.
  QFont f = font();
  f.setPointSize(8);
  const QFontMetrics fm(f);
  int room = fm.horizontalAdvance(Unit());
  for (double v = low_; v <= high_ + step / 2; v += step) room = std::max(room, fm.horizontalAdvance(ValueText(v)));
  left_ = room + 10;
  pathsDirty_ = true;
  update();
}

QRectF TrackChart::Plot() const { return QRectF(rect()).adjusted(left_, 24, -10, -20); }

QString TrackChart::Unit() const {
  const QString& format = series_ == Series::Speed ? texts_.kmh : series_ == Series::Altitude ? texts_.metres : texts_.percent;
  return FillIn(format, {QString()}).trimmed();
}

QString TrackChart::ValueText(double v) const {
  return QLocale().toString(v, 'f', series_ == Series::Speed && high_ - low_ < 10 ? 1 : 0);
}

void TrackChart::SetPicked(int index, const QString& details) {
  picked_ = points_ && index >= 0 && index < int(points_->size()) ? index : -1;
  details_ = picked_ >= 0 ? details : QString();
  setAccessibleDescription(details_);
  update();
}

void TrackChart::Step(int steps) {
  if (order_.empty()) return;
  const auto at = std::find(order_.begin(), order_.end(), picked_);
  long position = at == order_.end() ? (steps > 0 ? -1 : long(order_.size())) : long(at - order_.begin());
  position = std::clamp(position + steps, 0L, long(order_.size()) - 1);
  emit pointPicked(order_[std::size_t(position)]);
}

void TrackChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kPanel);
  p.setPen(hasFocus() ? QPen(kFocus, 2) : QPen(kFrame, 1));
  p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
  QFont f = font();
  f.setPointSize(8);
  p.setFont(f);
  const QFontMetrics fm(f);
  const QRectF plot = Plot();
  if (order_.empty()) {
    p.setPen(kFaint);
    p.drawText(rect(), Qt::AlignCenter, texts_.empty);
    return;
  }
  const std::vector<TrackPoint>& pts = *points_;
  const uint32_t t0 = pts[std::size_t(order_.front())].time;
  const uint32_t t1 = std::max<uint32_t>(pts[std::size_t(order_.back())].time, t0 + 60);
  auto xOf = [&](uint32_t t) { return plot.left() + double(t - t0) / double(t1 - t0) * plot.width(); };
  auto yOf = [&](double v) { return plot.bottom() - (v - low_) / (high_ - low_) * plot.height(); };

  // Values across, times along the bottom.
  const double step = NiceStep(high_ - low_, 3);
  for (double v = low_; v <= high_ + step / 2; v += step) {
    const double y = yOf(v);
    p.setPen(kGrid);
    p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    p.setPen(kFaint);
    p.drawText(QRectF(2, y - fm.height() / 2.0, plot.left() - 6, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
               ValueText(v));
  }
  p.drawText(QRectF(2, plot.bottom() + 6, plot.left() - 6, fm.height()), Qt::AlignRight | Qt::AlignTop, Unit());
  const uint32_t span = t1 - t0;
  static constexpr uint32_t kSteps[] = {300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800};
  uint32_t tick = kSteps[std::size(kSteps) - 1];
  for (uint32_t s : kSteps)
    if (span / s <= 6) {
      tick = s;
      break;
    }
  const uint32_t localStart = t0 + uint32_t(offset_);
  for (uint32_t local = (localStart / tick + 1) * tick; local < t1 + uint32_t(offset_); local += tick) {
    const double x = xOf(local - uint32_t(offset_));
    p.setPen(kGrid);
    p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    const logger::LogDateTime d = logger::SecondsToDateTime(local - uint32_t(offset_), offset_);
    const QString label = tick >= 86400 ? QStringLiteral("%1-%2").arg(d.month, 2, 10, QLatin1Char('0')).arg(d.day, 2, 10, QLatin1Char('0'))
                                        : QStringLiteral("%1:%2").arg(d.hour, 2, 10, QLatin1Char('0')).arg(d.minute, 2, 10, QLatin1Char('0'));
    p.setPen(kFaint);
    p.drawText(QRectF(x - 40, plot.bottom() + 2, 80, fm.height()), Qt::AlignHCenter | Qt::AlignTop, label);
  }

  // The paths are made again only when the points, the series or the size
  // change. Their columns stand on whole pixels: the area needs no smoothing,
  // and the line a one-pixel pen, far quicker to draw than a wider one.
  if (pathsDirty_ || pathsSize_ != size()) BuildPaths(xOf, yOf);
  p.setPen(Qt::NoPen);
  p.setBrush(kFill);
  p.drawPath(area_);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(Qt::NoBrush);
  QPen pen(kLine, 1);
  pen.setCosmetic(true);
  p.setPen(pen);
  p.drawPath(line_);

  if (picked_ >= 0 && Shows(pts[std::size_t(picked_)])) {
    const TrackPoint& t = pts[std::size_t(picked_)];
    const QPointF at(xOf(t.time), yOf(Value(t)));
    p.setPen(QPen(kInk, 1, Qt::DashLine));
    p.drawLine(QPointF(at.x(), plot.top()), QPointF(at.x(), plot.bottom()));
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(kInk);
    p.drawEllipse(at, 4, 4);
  }
  if (!details_.isEmpty()) {
    QFont bold = f;
    bold.setPointSize(9);
    p.setFont(bold);
    p.setPen(kInk);
    p.drawText(QRectF(plot.left(), 2, plot.width(), 20), Qt::AlignLeft | Qt::AlignVCenter, details_);
  }
}

template <class X, class Y>
void TrackChart::BuildPaths(const X& xOf, const Y& yOf) {
  // One point per pixel column at most (its lowest and highest), the line
  // broken where the track has a gap.
  const QRectF plot = Plot();
  line_ = QPainterPath();
  area_ = QPainterPath();
  bool open = false;
  double columnX = -1e9, columnLow = 0, columnHigh = 0, areaStart = 0;
  auto flush = [&](bool end) {
    if (columnX < -1e8) return;
    const double lo = yOf(columnLow), hi = yOf(columnHigh);
    if (!open) {
      line_.moveTo(columnX, lo);
      area_.moveTo(columnX, plot.bottom());
      area_.lineTo(columnX, lo);
      areaStart = columnX;
      open = true;
    } else {
      line_.lineTo(columnX, lo);
      area_.lineTo(columnX, lo);
    }
    if (hi != lo) line_.lineTo(columnX, hi), area_.lineTo(columnX, hi);
    if (end) {
      area_.lineTo(columnX, plot.bottom());
      area_.lineTo(areaStart, plot.bottom());
      open = false;
    }
    columnX = -1e9;
  };
  const TrackPoint* previous = nullptr;
  for (int i : order_) {
    const TrackPoint& t = (*points_)[std::size_t(i)];
    const double v = Value(t);
    const double x = std::floor(xOf(t.time)) + 0.5;
    if (previous && logger::StartsNewSegment(previous->time, t.time)) flush(true);
    if (x != columnX) {
      flush(false);
      columnX = x, columnLow = v, columnHigh = v;
    } else {
      columnLow = std::min(columnLow, v), columnHigh = std::max(columnHigh, v);
    }
    previous = &t;
  }
  flush(true);
  pathsDirty_ = false;
  pathsSize_ = size();
}

void TrackChart::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (event->button() != Qt::LeftButton || order_.empty()) return;
  const QRectF plot = Plot();
  const std::vector<TrackPoint>& pts = *points_;
  const uint32_t t0 = pts[std::size_t(order_.front())].time;
  const uint32_t t1 = std::max<uint32_t>(pts[std::size_t(order_.back())].time, t0 + 60);
  const double f = std::clamp((event->position().x() - plot.left()) / plot.width(), 0.0, 1.0);
  const uint32_t t = t0 + uint32_t(std::llround(f * double(t1 - t0)));
  // The point nearest in time.
  const auto after = std::lower_bound(order_.begin(), order_.end(), t,
                                      [&pts](int i, uint32_t time) { return pts[std::size_t(i)].time < time; });
  auto best = after == order_.end() ? after - 1 : after;
  if (after != order_.begin() && after != order_.end() &&
      t - pts[std::size_t(*(after - 1))].time < pts[std::size_t(*after)].time - t)
    best = after - 1;
  emit pointPicked(*best);
}

void TrackChart::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Left: Step(-1); break;
    case Qt::Key_Right: Step(1); break;
    case Qt::Key_PageUp: Step(-kPageStep); break;
    case Qt::Key_PageDown: Step(kPageStep); break;
    case Qt::Key_Home: Step(-int(order_.size())); break;
    case Qt::Key_End: Step(int(order_.size())); break;
    default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
}

}  // namespace zd573
