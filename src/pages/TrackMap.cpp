#include "pages/TrackMap.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "frame/Messages.h"
#include "pages/TileSource.h"

namespace zd573 {

namespace {

const QColor kPlain{0xEE, 0xF2, 0xF4};
const QColor kMissing{0xE2, 0xE7, 0xEA};
const QColor kInk{0x17, 0x24, 0x32};
const QColor kFaint{0x6B, 0x7C, 0x8A};
const QColor kFocus{0x0E, 0x7C, 0x86};
const QColor kStart{0x2E, 0x9E, 0x4F};
const QColor kEnd{0xC6, 0x3B, 0x3B};
constexpr double kEarthCircumference = 40075016.686;
// A click picks the nearest fix within this many pixels.
constexpr double kPickPixels = 12;
constexpr int kArrowStep = 96;

// The legend's top: the fastest fix, rounded up to a number easy to read.
int LegendTopFor(uint16_t maxSpeed) {
  const double kmh = maxSpeed / 100.0;
  for (int top : {10, 20, 30, 50, 80, 120, 160, 200, 300, 500})
    if (kmh <= top) return top;
  return 1000;
}

QString Number(double value, int decimals) { return QLocale().toString(value, 'f', decimals); }

// A white box behind text drawn over tiles.
void DrawTextBox(QPainter& p, const QRectF& box, const QStringList& lines, const QFontMetrics& fm) {
  p.setPen(QColor(0x9F, 0xB3, 0xC0));
  p.setBrush(QColor(255, 255, 255, 235));
  p.drawRoundedRect(box, 4, 4);
  p.setPen(kInk);
  double y = box.top() + 4 + fm.ascent();
  for (const QString& line : lines) {
    p.drawText(QPointF(box.left() + 6, y), line);
    y += fm.height();
  }
}

}  // namespace

QColor SpeedColour(int speedClass) {
  // Blue through green and yellow to red, evenly in hue.
  const double f = double(std::clamp(speedClass, 0, TrackMap::kSpeedClasses - 1)) / (TrackMap::kSpeedClasses - 1);
  return QColor::fromHsvF(float(0.64 * (1.0 - f)), 0.85f, 0.88f);
}

TrackMap::TrackMap(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(false);
  auto button = [this](const QString& text) {
    auto* b = new QToolButton(this);
    b->setText(text);
    b->setFocusPolicy(Qt::TabFocus);
    b->setStyleSheet(QStringLiteral(
        "QToolButton { background: rgba(255,255,255,235); border: 1px solid #9FB3C0; border-radius: 4px;"
        " color: #172432; font-weight: bold; }"
        "QToolButton:focus { border: 2px solid #0E7C86; } QToolButton:pressed { background: #DCE6EC; }"));
    return b;
  };
  zoomIn_ = button(QStringLiteral("+"));
  zoomOut_ = button(QStringLiteral("\u2212"));
  fit_ = button(QStringLiteral("\u2922"));
  connect(zoomIn_, &QToolButton::clicked, this, [this] { ZoomBy(1); });
  connect(zoomOut_, &QToolButton::clicked, this, [this] { ZoomBy(-1); });
  connect(fit_, &QToolButton::clicked, this, &TrackMap::FitToTrack);
  SetTexts(texts_);
}

void TrackMap::SetTexts(const Texts& texts) {
  texts_ = texts;
  zoomIn_->setAccessibleName(texts_.zoomIn);
  zoomIn_->setToolTip(texts_.zoomIn);
  zoomOut_->setAccessibleName(texts_.zoomOut);
  zoomOut_->setToolTip(texts_.zoomOut);
  fit_->setAccessibleName(texts_.fit);
  fit_->setToolTip(texts_.fit);
  update();
}

void TrackMap::PlaceButtons() {
  const int x = width() - 34;
  zoomIn_->setGeometry(x, 8, 26, 26);
  zoomOut_->setGeometry(x, 36, 26, 26);
  fit_->setGeometry(x, 68, 26, 26);
}

void TrackMap::resizeEvent(QResizeEvent*) {
  PlaceButtons();
  Changed();
}

void TrackMap::SetPoints(const std::vector<TrackPoint>* points) {
  points_ = points;
  picked_ = -1;
  details_.clear();
  uint16_t top = 0;
  if (points_)
    for (const TrackPoint& p : *points_)
      if (p.fix) top = std::max(top, p.speed);
  legendTop_ = LegendTopFor(top);
  FitToTrack();
}

void TrackMap::SetTiles(TileSource* tiles, const QString& attribution) {
  if (tiles_) disconnect(tiles_, nullptr, this, nullptr);
  tiles_ = tiles;
  attribution_ = attribution;
  if (tiles_) connect(tiles_, &TileSource::tileChanged, this, qOverload<>(&QWidget::update));
  Changed();
}

void TrackMap::SetPicked(int index, const QStringList& details) {
  picked_ = points_ && index >= 0 && index < int(points_->size()) ? index : -1;
  details_ = details;
  if (picked_ >= 0) {
    const TrackPoint& t = (*points_)[std::size_t(picked_)];
    const QPointF at = ToScreen(t.x, t.y);
    if (!QRectF(rect()).adjusted(20, 20, -20, -20).contains(at)) {
      centre_ = QPointF(t.x, t.y);
      Changed();
      return;
    }
  }
  update();
}

void TrackMap::FitToTrack() {
  double west = 1, east = 0, north = 1, south = 0;
  bool any = false;
  if (points_)
    for (const TrackPoint& p : *points_) {
      if (!p.fix) continue;
      any = true;
      west = std::min(west, p.x), east = std::max(east, p.x);
      north = std::min(north, p.y), south = std::max(south, p.y);
    }
  if (!any) {
    SetView(2, 0.5, 0.5);
    return;
  }
  // The largest zoom at which the track fits with a margin.
  const double w = std::max(40, width() - 60), h = std::max(40, height() - 36);
  int zoom = kMinZoom;
  for (int z = kMaxZoom - 2; z >= kMinZoom; --z) {
    const double size = kTileSize * double(1 << z);
    if ((east - west) * size <= w && (south - north) * size <= h) {
      zoom = z;
      break;
    }
  }
  SetView(zoom, (west + east) / 2, (north + south) / 2);
}

void TrackMap::SetView(int zoom, double x, double y) {
  zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
  centre_ = QPointF(std::clamp(x, 0.0, 1.0), std::clamp(y, 0.0, 1.0));
  Changed();
}

void TrackMap::ZoomBy(int steps, std::optional<QPointF> around) {
  const int zoom = std::clamp(zoom_ + steps, kMinZoom, kMaxZoom);
  if (zoom == zoom_) return;
  const QPointF middle(width() / 2.0, height() / 2.0);
  const QPointF at = around.value_or(middle);
  const QPointF off = Offset();
  // The world point under `at` stays under it.
  const QPointF world((at.x() - off.x()) / WorldSize(), (at.y() - off.y()) / WorldSize());
  const double size = kTileSize * double(1 << zoom);
  SetView(zoom, world.x() - (at.x() - middle.x()) / size, world.y() - (at.y() - middle.y()) / size);
}

void TrackMap::PanBy(const QPointF& pixels) {
  SetView(zoom_, centre_.x() - pixels.x() / WorldSize(), centre_.y() - pixels.y() / WorldSize());
}

QPointF TrackMap::Offset() const {
  const double size = WorldSize();
  return QPointF(std::floor(width() / 2.0 - centre_.x() * size + 0.5),
                 std::floor(height() / 2.0 - centre_.y() * size + 0.5));
}

QPointF TrackMap::ToScreen(double x, double y) const {
  const QPointF off = Offset();
  return QPointF(x * WorldSize() + off.x(), y * WorldSize() + off.y());
}

void TrackMap::Changed() {
  WantTiles();
  update();
}

void TrackMap::WantTiles() {
  if (!tiles_ || width() <= 0 || height() <= 0) return;
  // Before a track has come there is nothing to look at: nothing is fetched.
  if (!points_ || points_->empty()) {
    tiles_->Want({});
    return;
  }
  const QPointF off = Offset();
  const int n = 1 << zoom_;
  const int x0 = std::max(0, int(std::floor(-off.x() / kTileSize)));
  const int x1 = std::min(n - 1, int(std::floor((width() - 1 - off.x()) / kTileSize)));
  const int y0 = std::max(0, int(std::floor(-off.y() / kTileSize)));
  const int y1 = std::min(n - 1, int(std::floor((height() - 1 - off.y()) / kTileSize)));
  std::vector<TileKey> keys;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) keys.push_back({zoom_, x, y});
  // The middle of the view first.
  const QPointF middle(width() / 2.0, height() / 2.0);
  auto distance = [&](const TileKey& k) {
    const QPointF c(k.x * kTileSize + off.x() + kTileSize / 2.0, k.y * kTileSize + off.y() + kTileSize / 2.0);
    return std::hypot(c.x() - middle.x(), c.y() - middle.y());
  };
  std::stable_sort(keys.begin(), keys.end(), [&](const TileKey& a, const TileKey& b) { return distance(a) < distance(b); });
  tiles_->Want(keys);
}

int TrackMap::SpeedClass(uint16_t speed) const {
  const int c = int(speed / 100.0 / legendTop_ * kSpeedClasses);
  return std::clamp(c, 0, kSpeedClasses - 1);
}

void TrackMap::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kPlain);
  if (tiles_ && points_ && !points_->empty()) DrawTiles(p);
  p.setRenderHint(QPainter::Antialiasing);
  DrawTrack(p);
  DrawPicked(p);
  QFont small = font();
  small.setPointSize(8);
  p.setFont(small);
  DrawLegend(p);
  DrawScale(p);
  DrawAttribution(p);
  if (hasFocus()) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(kFocus, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
  }
}

void TrackMap::DrawTiles(QPainter& p) {
  const QPointF off = Offset();
  const int n = 1 << zoom_;
  const int x0 = std::max(0, int(std::floor(-off.x() / kTileSize)));
  const int x1 = std::min(n - 1, int(std::floor((width() - 1 - off.x()) / kTileSize)));
  const int y0 = std::max(0, int(std::floor(-off.y() / kTileSize)));
  const int y1 = std::min(n - 1, int(std::floor((height() - 1 - off.y()) / kTileSize)));
  QFont small = font();
  small.setPointSize(8);
  p.setFont(small);
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      const TileKey key{zoom_, x, y};
      const QRect box(int(off.x()) + x * kTileSize, int(off.y()) + y * kTileSize, kTileSize, kTileSize);
      if (const QPixmap* tile = tiles_->Tile(key)) {
        p.drawPixmap(box, *tile);
        continue;
      }
      // While a tile comes, the one a zoom level up stands in for it, enlarged.
      if (zoom_ > 0) {
        if (const QPixmap* parent = tiles_->Tile({zoom_ - 1, x / 2, y / 2})) {
          const double half = parent->width() / 2.0;
          p.drawPixmap(QRectF(box), *parent, QRectF((x % 2) * half, (y % 2) * half, half, half));
          continue;
        }
      }
      if (tiles_->StateOf(key) == TileSource::State::Failed) {
        p.fillRect(box, kMissing);
        p.setPen(kFaint);
        p.drawText(box, Qt::AlignCenter, texts_.tileMissing);
      }
    }
  }
}

void TrackMap::DrawTrack(QPainter& p) {
  if (!points_) return;
  const double size = WorldSize();
  const QPointF off = Offset();
  const QRectF area = QRectF(rect()).adjusted(-8, -8, 8, 8);
  std::array<QList<QLineF>, kSpeedClasses> lines;
  const TrackPoint* first = nullptr;
  const TrackPoint* last = nullptr;
  QPointF from;
  for (const TrackPoint& t : *points_) {
    if (!t.fix) continue;
    const QPointF at(t.x * size + off.x(), t.y * size + off.y());
    if (!first) first = &t;
    last = &t;
    if (t.startsSegment || last == first) {
      from = at;
      continue;
    }
    // Fixes closer than a pixel or two add nothing a person can see.
    if (std::abs(at.x() - from.x()) + std::abs(at.y() - from.y()) < 1.5) continue;
    const bool outside = (at.x() < area.left() && from.x() < area.left()) ||
                         (at.x() > area.right() && from.x() > area.right()) ||
                         (at.y() < area.top() && from.y() < area.top()) ||
                         (at.y() > area.bottom() && from.y() > area.bottom());
    if (!outside) lines[std::size_t(SpeedClass(t.speed))].append(QLineF(from, at));
    from = at;
  }
  if (!first) return;
  p.setBrush(Qt::NoBrush);
  // Opaque: a translucent wide line costs three times as much to draw.
  p.setPen(QPen(QColor(255, 255, 255), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  for (const auto& group : lines) p.drawLines(group);
  for (int c = 0; c < kSpeedClasses; ++c) {
    p.setPen(QPen(SpeedColour(c), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLines(lines[std::size_t(c)]);
  }
  // A white ring with a dark rim: the marks stand out on any map.
  for (const auto& [t, colour] : {std::pair{last, kEnd}, std::pair{first, kStart}}) {
    const QPointF at = ToScreen(t->x, t->y);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawEllipse(at, 8, 8);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(colour);
    p.drawEllipse(at, 6, 6);
  }
}

void TrackMap::DrawPicked(QPainter& p) {
  if (picked_ < 0 || !points_) return;
  const TrackPoint& t = (*points_)[std::size_t(picked_)];
  const QPointF at = ToScreen(t.x, t.y);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, 5));
  p.drawEllipse(at, 8, 8);
  p.setPen(QPen(kInk, 2.5));
  p.drawEllipse(at, 8, 8);
  if (details_.isEmpty()) return;
  QFont f = font();
  f.setPointSize(9);
  p.setFont(f);
  const QFontMetrics fm(f);
  int w = 0;
  for (const QString& line : details_) w = std::max(w, fm.horizontalAdvance(line));
  QRectF box(0, 0, w + 12, fm.height() * details_.size() + 8);
  // Beside the point, on whichever side has room.
  box.moveBottomLeft(at + QPointF(12, -12));
  if (box.right() > width() - 40) box.moveRight(at.x() - 12);
  if (box.top() < 4) box.moveTop(at.y() + 12);
  DrawTextBox(p, box, details_, fm);
}

void TrackMap::DrawLegend(QPainter& p) {
  if (!points_ || points_->empty()) return;
  const QFontMetrics fm(p.font());
  const QString top = FillIn(texts_.kmh, {QString::number(legendTop_)});
  const int bar = 96;
  const int w = std::max({bar + fm.horizontalAdvance(top) + 28, fm.horizontalAdvance(texts_.speed) + 12,
                          fm.horizontalAdvance(texts_.start + texts_.end) + 48});
  const QRectF box(8, 8, w, fm.height() * 3 + 14);
  p.setPen(QColor(0x9F, 0xB3, 0xC0));
  p.setBrush(QColor(255, 255, 255, 235));
  p.drawRoundedRect(box, 4, 4);
  p.setPen(kInk);
  const double x = box.left() + 6;
  double y = box.top() + 4 + fm.ascent();
  p.drawText(QPointF(x, y), texts_.speed);
  y += fm.height();
  p.drawText(QPointF(x, y), QStringLiteral("0"));
  const double barX = x + fm.horizontalAdvance(QStringLiteral("0")) + 4;
  const double step = double(bar) / kSpeedClasses;
  p.setPen(Qt::NoPen);
  for (int c = 0; c < kSpeedClasses; ++c) {
    p.setBrush(SpeedColour(c));
    p.drawRect(QRectF(barX + c * step, y - fm.ascent() + 2, step + 0.5, fm.ascent() - 3));
  }
  p.setPen(kInk);
  p.drawText(QPointF(barX + bar + 4, y), top);
  y += fm.height() + 2;
  const double r = 4.5;
  p.setPen(QPen(Qt::white, 1.5));
  p.setBrush(kStart);
  p.drawEllipse(QPointF(x + r, y - fm.ascent() / 2.0 + 1), r, r);
  p.setPen(kInk);
  p.drawText(QPointF(x + 2 * r + 4, y), texts_.start);
  const double endX = x + 2 * r + 16 + fm.horizontalAdvance(texts_.start);
  p.setPen(QPen(Qt::white, 1.5));
  p.setBrush(kEnd);
  p.drawEllipse(QPointF(endX + r, y - fm.ascent() / 2.0 + 1), r, r);
  p.setPen(kInk);
  p.drawText(QPointF(endX + 2 * r + 4, y), texts_.end);
}

void TrackMap::DrawScale(QPainter& p) {
  const double latitude = LatitudeOf(centre_.y());
  const double metresPerPixel = std::cos(latitude * std::numbers::pi / 180.0) * kEarthCircumference / WorldSize();
  if (!(metresPerPixel > 0)) return;
  // The longest 1, 2 or 5 times a power of ten that fits in 100 pixels.
  double metres = std::pow(10.0, std::floor(std::log10(100 * metresPerPixel)));
  for (double m : {5.0, 2.0, 1.0})
    if (metres * m <= 100 * metresPerPixel) {
      metres *= m;
      break;
    }
  const double length = metres / metresPerPixel;
  const QString label = metres >= 1000 ? FillIn(texts_.kilometres, {Number(metres / 1000, 0)})
                                       : FillIn(texts_.metres, {Number(metres, 0)});
  const QFontMetrics fm(p.font());
  const QRectF box(8, height() - fm.height() - 18, std::max(length, double(fm.horizontalAdvance(label))) + 12,
                   fm.height() + 12);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 200));
  p.drawRoundedRect(box, 3, 3);
  p.setPen(QPen(kInk, 1.5));
  const double y = box.bottom() - 4;
  p.drawLine(QPointF(box.left() + 6, y), QPointF(box.left() + 6 + length, y));
  p.drawLine(QPointF(box.left() + 6, y - 4), QPointF(box.left() + 6, y));
  p.drawLine(QPointF(box.left() + 6 + length, y - 4), QPointF(box.left() + 6 + length, y));
  p.drawText(QPointF(box.left() + 6, box.top() + 2 + fm.ascent()), label);
}

void TrackMap::DrawAttribution(QPainter& p) {
  const QString text = tiles_ ? attribution_ : texts_.mapOff;
  if (text.isEmpty()) return;
  const QFontMetrics fm(p.font());
  const QRectF box(width() - fm.horizontalAdvance(text) - 10, height() - fm.height() - 4,
                   fm.horizontalAdvance(text) + 10, fm.height() + 4);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 210));
  p.drawRect(box);
  p.setPen(tiles_ ? kInk : kFaint);
  p.drawText(box, Qt::AlignCenter, text);
}

void TrackMap::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
  pressed_ = true;
  dragged_ = false;
  pressAt_ = lastDrag_ = event->position().toPoint();
  event->accept();
}

void TrackMap::mouseMoveEvent(QMouseEvent* event) {
  if (!pressed_) return QWidget::mouseMoveEvent(event);
  const QPoint at = event->position().toPoint();
  if (!dragged_ && (at - pressAt_).manhattanLength() < 4) return;
  if (!dragged_) setCursor(Qt::ClosedHandCursor);
  dragged_ = true;
  PanBy(at - lastDrag_);
  lastDrag_ = at;
}

void TrackMap::mouseReleaseEvent(QMouseEvent* event) {
  if (!pressed_ || event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  pressed_ = false;
  if (dragged_) {
    unsetCursor();
    return;
  }
  // A click: the nearest fix, if it is near.
  if (!points_) return;
  const QPointF at = event->position();
  int best = -1;
  double bestDistance = kPickPixels;
  for (std::size_t i = 0; i < points_->size(); ++i) {
    const TrackPoint& t = (*points_)[i];
    if (!t.fix) continue;
    const QPointF s = ToScreen(t.x, t.y);
    const double d = std::hypot(s.x() - at.x(), s.y() - at.y());
    if (d < bestDistance) bestDistance = d, best = int(i);
  }
  if (best >= 0) emit pointPicked(best);
}

void TrackMap::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  if (steps != 0) ZoomBy(steps, event->position());
  event->accept();
}

void TrackMap::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: ZoomBy(1); break;
    case Qt::Key_Minus: ZoomBy(-1); break;
    case Qt::Key_0:
    case Qt::Key_Home: FitToTrack(); break;
    case Qt::Key_Left: PanBy(QPointF(kArrowStep, 0)); break;
    case Qt::Key_Right: PanBy(QPointF(-kArrowStep, 0)); break;
    case Qt::Key_Up: PanBy(QPointF(0, kArrowStep)); break;
    case Qt::Key_Down: PanBy(QPointF(0, -kArrowStep)); break;
    default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
}

}  // namespace zd573
