#pragma once
// The track view: where a tracker has been, from a download or a saved file
// (the raw log, or this program's CSV and GPX exports), with no tracker
// needed. The map with the track coloured by speed, a chart of speed,
// altitude or battery against local time, the figures of the whole track or
// of one day with its stops, and jumps left out on request. The map's tiles
// are fetched only once the user has turned the map on and agreed to the
// server that serves them.
#include <QPointer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frame/BackgroundTask.h"
#include "frame/PageFrame.h"
#include "logger/log_record.h"
#include "pages/TileSource.h"
#include "pages/TrackData.h"

class QCheckBox;
class QComboBox;
class QListWidget;

namespace zd573 {

class TrackChart;
class TrackMap;

// A track to show: its records, what to call it, and its tracker when known.
struct TrackSource {
  logger::RawLog log;
  QString name;
  std::string imei;
};

class TrackView : public PageFrame {
  Q_OBJECT

 public:
  // The figures, in the order they are shown.
  enum Figure { kPoints, kFixes, kDistance, kMovingTime, kAverageSpeed, kMaxSpeed, kStops, kFigureCount };

  // Built and opened, empty; Show() or OpenPath() gives it a track.
  TrackView(AppContext& context, QWidget* window);
  ~TrackView() override;

  void Show(std::shared_ptr<const TrackSource> source);
  // Reads a raw log, CSV or GPX file off the window thread and shows it; a
  // file that cannot be read is told (and a view with no track then closes).
  void OpenPath(const QString& path, std::string imei = {}, QString name = {});
  // The Open button: the open dialog, then OpenPath.
  void OpenFile();
  // What Back returns to, as its caption says.
  void SetBackCaption(const QString& caption);

  // The records are being read or figured.
  bool Figuring() const { return figuring_.Running(); }
  bool HasTrack() const { return data_ != nullptr; }
  const TrackData* Data() const { return data_.get(); }
  // The points the map and the chart show (the day's, or all).
  const std::vector<TrackPoint>& Shown() const { return shown_; }

  TrackMap* Map() const { return map_; }
  TrackChart* Chart() const { return chart_; }
  QComboBox* DayList() const { return days_; }
  QComboBox* SeriesList() const { return series_; }
  QListWidget* StopList() const { return stops_; }
  QCheckBox* JumpsBox() const { return jumps_; }
  QCheckBox* MapBox() const { return mapOn_; }
  CGdipButton* MapSettingsButton() const { return mapSettings_; }
  CGdipButton* OpenButton() const { return open_; }
  CLabel* FigureValue(Figure figure) const { return values_[figure]; }
  CLabel* LeftOutLine() const { return leftOut_; }
  TileSource* Tiles() const { return tiles_; }

  // The map is turned on (asking first, when its server has not been agreed
  // to) or off; the answer and the choice are kept in system.ini.
  void SetMapShown(bool on);
  // The map settings sheet, over the view.
  void OpenMapSettings();

 protected:
  void CreatePageControls() override;
  std::vector<QWidget*> PageFocusOrder() const override;

 private:
  struct Figured;
  void Refigure();
  // Filters and figures `source` (or the file at `path`) off the window
  // thread; its points are drawn as soon as they are ready, its figures after.
  void Figure(std::shared_ptr<const TrackSource> source, std::string path = {}, std::string imei = {},
              QString name = {});
  void TakePoints(std::shared_ptr<const TrackSource> source, std::shared_ptr<const TrackData> points);
  void TakeFigures(Figured figured);
  // The day list from the figures, keeping the day chosen.
  void ListDays();
  void ShowDay();
  void ShowFigures();
  void ShowStops();
  void Pick(int index);
  void PickStop(int row);
  // Uses the map settings: tiles when the map is on and agreed to, else none.
  void UseMapSettings(const MapSettings& settings);
  void ShowTracker(const std::string& imei);
  QString LocalTime(uint32_t gpsTime, bool withDate) const;
  QString Distance(double metres) const;
  QString Minutes(uint32_t seconds) const;

  std::shared_ptr<const TrackSource> source_;
  std::shared_ptr<const TrackData> data_;
  bool pointsShown_ = false;  // the points being figured are drawn already
  bool refigure_ = false;     // "Leave out jumps" changed while figuring
  std::vector<TrackPoint> shown_;
  std::vector<logger::TrackStop> shownStops_;
  int32_t offset_ = 0;
  QString configured_;  // the tile template and cache the tiles were set up with

  TrackMap* map_ = nullptr;
  TrackChart* chart_ = nullptr;
  QComboBox* days_ = nullptr;
  QComboBox* series_ = nullptr;
  QListWidget* stops_ = nullptr;
  QCheckBox* jumps_ = nullptr;
  QCheckBox* mapOn_ = nullptr;
  CGdipButton* mapSettings_ = nullptr;
  CGdipButton* open_ = nullptr;
  CLabel* names_[kFigureCount] = {};
  CLabel* values_[kFigureCount] = {};
  CLabel* leftOut_ = nullptr;
  TileSource* tiles_ = nullptr;
  BackgroundTask figuring_{this};
};

}  // namespace zd573
