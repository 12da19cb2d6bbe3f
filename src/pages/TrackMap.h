#pragma once
// The track view's map: the track over raster tiles, or over a plain
// background in the same projection while the map is off; the line coloured
// by speed with its legend, the start and end marked, a scale, the tiles'
// attribution, and the point picked here or on the chart with its details.
// The wheel and + and - zoom, dragging and the arrow keys pan, 0 fits the
// track; a click picks the nearest fix.
#include <QPointF>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <vector>

#include "pages/TrackData.h"

class QToolButton;

namespace zd573 {

class TileSource;

class TrackMap : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMinZoom = 1;
  static constexpr int kMaxZoom = 19;
  static constexpr int kTileSize = 256;
  static constexpr int kSpeedClasses = 8;

  // The words the map shows, in the current language; the formats take %1.
  struct Texts {
    QString speed = QStringLiteral("Speed");
    QString kmh = QStringLiteral("%1 km/h");
    QString metres = QStringLiteral("%1 m");
    QString kilometres = QStringLiteral("%1 km");
    QString start = QStringLiteral("Start");
    QString end = QStringLiteral("End");
    QString tileMissing = QStringLiteral("No map here");
    QString mapOff = QStringLiteral("Map off");
    QString zoomIn = QStringLiteral("Zoom in");
    QString zoomOut = QStringLiteral("Zoom out");
    QString fit = QStringLiteral("Fit to track");
  };

  explicit TrackMap(QWidget* parent = nullptr);

  void SetTexts(const Texts& texts);
  // The points to draw, kept by the caller while they show; the view fits them.
  void SetPoints(const std::vector<TrackPoint>* points);
  // Tiles under the track with their attribution, or none: the plain background.
  void SetTiles(TileSource* tiles, const QString& attribution);
  // The picked point (an index of the points; -1: none) and its details, a
  // line each. The map follows a point out of view.
  void SetPicked(int index, const QStringList& details);
  int Picked() const { return picked_; }

  void FitToTrack();
  // Zooms in (steps > 0) or out, keeping the place under `around` (the
  // middle when unset) where it is.
  void ZoomBy(int steps, std::optional<QPointF> around = {});
  void PanBy(const QPointF& pixels);
  // Zoom and the world point (Web Mercator) in the middle.
  void SetView(int zoom, double x, double y);
  int Zoom() const { return zoom_; }
  QPointF Centre() const { return centre_; }
  // Where a world point is drawn, in the map's pixels.
  QPointF ToScreen(double x, double y) const;
  // The top speed of the legend, km/h.
  int LegendTop() const { return legendTop_; }

  QToolButton* ZoomInButton() const { return zoomIn_; }
  QToolButton* ZoomOutButton() const { return zoomOut_; }
  QToolButton* FitButton() const { return fit_; }

 signals:
  void pointPicked(int index);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  double WorldSize() const { return kTileSize * double(1 << zoom_); }
  // Added to world pixels to give the map's: whole pixels, so tiles stay sharp.
  QPointF Offset() const;
  void Changed();
  void WantTiles();
  int SpeedClass(uint16_t speed) const;
  void DrawTiles(QPainter& p);
  void DrawTrack(QPainter& p);
  void DrawPicked(QPainter& p);
  void DrawLegend(QPainter& p);
  void DrawScale(QPainter& p);
  void DrawAttribution(QPainter& p);
  void PlaceButtons();

  Texts texts_;
  const std::vector<TrackPoint>* points_ = nullptr;
  QPointer<TileSource> tiles_;
  QString attribution_;
  int zoom_ = 3;
  QPointF centre_{0.5, 0.5};
  int legendTop_ = 10;
  int picked_ = -1;
  QStringList details_;
  QPoint pressAt_;
  QPoint lastDrag_;
  bool dragged_ = false;
  bool pressed_ = false;
  QToolButton* zoomIn_ = nullptr;
  QToolButton* zoomOut_ = nullptr;
  QToolButton* fit_ = nullptr;
};

// The colour of a speed class, slow (blue) to fast (red).
QColor SpeedColour(int speedClass);

}  // namespace zd573
