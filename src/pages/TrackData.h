#pragma once
// A track as the track view draws it: each kept record with its place in the
// map's projection and the fixes that start a segment, beside the figures the
// core computes for the same records.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "logger/log_record.h"
#include "logger/track_filter.h"
#include "logger/track_stats.h"

namespace zd573 {

// Web Mercator, the projection of the map tiles: the world as the unit square,
// x to the east from 180° W, y to the south from 85.0511° N.
inline constexpr double kMaxMercatorLatitude = 85.0511287798;
double MercatorX(double longitude);
double MercatorY(double latitude);
double LongitudeOf(double x);
double LatitudeOf(double y);

struct TrackPoint {
  double x = 0;  // Web Mercator
  double y = 0;
  uint32_t time = 0;  // GPS seconds
  int32_t latitude = 0;   // millionths of a degree
  int32_t longitude = 0;
  uint16_t speed = 0;  // hundredths of a km/h
  uint16_t altitude = 0;
  uint8_t satellites = 0;
  uint8_t hdop = 0;  // tenths
  uint8_t battery = 0;
  bool fix = false;
  // The first fix of a segment among the points shown: the line is not
  // drawn to it from the fix before.
  bool startsSegment = false;
};

struct TrackData {
  logger::TrackStats stats;
  std::vector<TrackPoint> points;  // the kept records, in the file's order
  bool figured = false;            // `stats` holds the figures, not only what was left out
};

// Leaves out of `log` what `filter` leaves out and figures the rest, days
// split `offset` seconds east of UTC. The points come first, to be drawn
// while the figures, which take longer, are computed.
TrackData BuildTrackData(const logger::RawLog& log, const logger::TrackFilterOptions& filter, int32_t offset,
                         const std::function<void(const TrackData& points)>& pointsReady = {});

// The points of one local day, or all of them, with their segment starts
// marked among themselves.
std::vector<TrackPoint> PointsOfDay(const std::vector<TrackPoint>& all, std::optional<uint32_t> day,
                                    int32_t offset);

}  // namespace zd573
