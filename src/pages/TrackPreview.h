#pragma once
// A small picture of a downloaded track: the fixes drawn as one line, scaled
// to the box with the map's proportions kept. No map tiles, only the shape.
#include <QPointF>
#include <QWidget>

#include <vector>

namespace zd573 {

namespace logger {
class RawLog;
}

class TrackPreview : public QWidget {
  Q_OBJECT

 public:
  explicit TrackPreview(QWidget* parent = nullptr);

  // Takes the fixes of `log` (records without a fix are left out).
  void SetTrack(const logger::RawLog& log);
  // Longitude, latitude in degrees, at most a few thousand of them.
  const std::vector<QPointF>& Points() const { return points_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<QPointF> points_;
};

}  // namespace zd573
