#pragma once
// The figures of a track: distance, moving time, speeds, climb, stops, and the
// same per local day. Plain C++, for the command line and the window alike.
//
// Only the records the filter keeps count (track_filter.h). Records without a
// fix count as records and nothing else. Between two consecutive fixes of one
// segment (no more than an hour apart):
// - the distance is the geodesic on the WGS84 ellipsoid;
// - the interval is moving when both fixes recorded at least 2 km/h and they
//   are at most 60 s apart; the moving time and moving distance add up those;
// - an interval that crosses local midnight is shared between the two days in
//   proportion to the time on either side, so the days add up to the whole.
// Speeds are the records' own speed field. Climb and descent use the fixes
// with an altitude (fix code 2 and up) with a 5 m hysteresis: a change of
// direction counts once the altitude has gone 5 m the other way, and then in
// full; the count starts afresh in each segment. A stop is a stretch of a
// segment longer than 5 min without a moving interval whose fixes all stay
// within 100 m of its first; its place is that first fix's.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "logger/log_record.h"
#include "logger/track_filter.h"

namespace zd573::logger {

inline constexpr uint16_t kMovingSpeedHundredths = 200;  // 2 km/h
inline constexpr uint32_t kMovingGapSeconds = 60;
inline constexpr int kClimbHysteresisMetres = 5;
inline constexpr uint32_t kStopSeconds = 300;  // a stop lasts longer than this
inline constexpr double kStopRadiusMetres = 100;

struct TrackStop {
  uint32_t start = 0;  // GPS time of its first fix
  uint32_t end = 0;    // GPS time of its last fix
  int32_t latitude = 0;   // its first fix's position, millionths of a degree
  int32_t longitude = 0;

  uint32_t Seconds() const { return end - start; }
  bool operator==(const TrackStop&) const = default;
};

// The figures of the whole track or of one day.
struct TrackFigures {
  std::size_t records = 0;  // kept, with a fix or without
  std::size_t fixes = 0;
  // GPS times of the earliest and latest record kept; unset when none is.
  std::optional<uint32_t> first;
  std::optional<uint32_t> last;
  double distanceMetres = 0;
  double movingSeconds = 0;
  double movingMetres = 0;
  uint16_t maxSpeed = 0;  // hundredths of a km/h
  long climbMetres = 0;
  long descentMetres = 0;
  std::size_t stops = 0;  // stops that began in it

  double MaxSpeedKmh() const { return maxSpeed / 100.0; }
  // The moving distance over the moving time; 0 without moving time.
  double AverageMovingSpeedKmh() const;
};

struct DayFigures : TrackFigures {
  uint32_t day = 0;  // LocalDay()
  LogDateTime date;  // its local date (the time is 00:00:00)
};

struct TrackStats {
  TrackFigures total;
  std::size_t segments = 0;
  LeftOut leftOut;
  int32_t localOffset = 0;       // seconds east of UTC the days were split with
  std::vector<TrackStop> stops;  // in the order they began
  std::vector<DayFigures> days;  // by date
};

struct StatsOptions {
  TrackFilterOptions filter;
  // Seconds east of UTC for the days; unset: LocalStandardOffsetSeconds().
  std::optional<int32_t> localOffset;
};

TrackStats ComputeTrackStats(const RawLog& log, const StatsOptions& options = {});

}  // namespace zd573::logger
