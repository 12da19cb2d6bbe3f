#pragma once
// The track view's chart: speed, altitude or battery against local time. A
// click, or Left and Right (Home and End, Page Up and Page Down for bigger
// steps), picks a point; the picked point's details show over the chart.
#include <QPainterPath>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "pages/TrackData.h"

namespace zd573 {

class TrackChart : public QWidget {
  Q_OBJECT

 public:
  enum class Series { Speed, Altitude, Battery };

  // The chart's words in the current language; the formats take %1.
  struct Texts {
    QString kmh = QStringLiteral("%1 km/h");
    QString metres = QStringLiteral("%1 m");
    QString percent = QStringLiteral("%1 %");
    QString empty = QStringLiteral("No points");
  };

  explicit TrackChart(QWidget* parent = nullptr);

  void SetTexts(const Texts& texts);
  // The points to draw (kept by the caller while they show), local times
  // `offset` seconds east of UTC.
  void SetPoints(const std::vector<TrackPoint>* points, int32_t offset);
  void SetSeries(Series series);
  Series CurrentSeries() const { return series_; }
  // The picked point (an index of the points; -1: none) and its details.
  void SetPicked(int index, const QString& details);
  int Picked() const { return picked_; }
  QString PickedDetails() const { return details_; }
  // Picks the point `steps` after (or before) the picked one among those
  // the series shows, in time order.
  void Step(int steps);

 signals:
  void pointPicked(int index);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool Shows(const TrackPoint& p) const;
  double Value(const TrackPoint& p) const;
  void Order();
  QRectF Plot() const;
  QString ValueText(double value) const;
  QString Unit() const;
  template <class X, class Y>
  void BuildPaths(const X& xOf, const Y& yOf);

  Texts texts_;
  const std::vector<TrackPoint>* points_ = nullptr;
  int32_t offset_ = 0;
  Series series_ = Series::Speed;
  std::vector<int> order_;  // the series' points by time
  double low_ = 0;
  double high_ = 1;
  int left_ = 50;  // the plot's left edge
  int picked_ = -1;
  QString details_;
  // The line and the area under it, as last drawn.
  QPainterPath line_;
  QPainterPath area_;
  QSize pathsSize_;
  bool pathsDirty_ = true;
};

}  // namespace zd573
