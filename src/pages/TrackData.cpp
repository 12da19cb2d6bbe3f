#include "pages/TrackData.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zd573 {

double MercatorX(double longitude) { return (longitude + 180.0) / 360.0; }

double MercatorY(double latitude) {
  const double lat = std::clamp(latitude, -kMaxMercatorLatitude, kMaxMercatorLatitude) * std::numbers::pi / 180.0;
  return (1.0 - std::asinh(std::tan(lat)) / std::numbers::pi) / 2.0;
}

double LongitudeOf(double x) { return x * 360.0 - 180.0; }

double LatitudeOf(double y) { return std::atan(std::sinh(std::numbers::pi * (1.0 - 2.0 * y))) * 180.0 / std::numbers::pi; }

namespace {

// Marks the fixes that start a segment: the first, and each after a gap.
void MarkSegments(std::vector<TrackPoint>& points) {
  const TrackPoint* previous = nullptr;
  for (TrackPoint& p : points) {
    if (!p.fix) continue;
    p.startsSegment = !previous || logger::StartsNewSegment(previous->time, p.time);
    previous = &p;
  }
}

}  // namespace

TrackData BuildTrackData(const logger::RawLog& log, const logger::TrackFilterOptions& filter, int32_t offset,
                         const std::function<void(const TrackData& points)>& pointsReady) {
  TrackData data;
  logger::LeftOut leftOut;
  const logger::RawLog kept = logger::FilterLog(log, filter, &leftOut);
  data.stats.leftOut = leftOut;
  data.points.reserve(kept.size());
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const logger::LogRecord r = kept[i];
    TrackPoint p;
    p.x = MercatorX(r.LongitudeDegrees());
    p.y = MercatorY(r.LatitudeDegrees());
    p.time = r.gpsTime;
    p.latitude = r.latitude;
    p.longitude = r.longitude;
    p.speed = r.speed;
    p.altitude = r.altitude;
    p.satellites = static_cast<uint8_t>(r.Satellites());
    p.hdop = r.hdop;
    p.battery = r.battery;
    p.fix = r.FixCode() != 0;
    data.points.push_back(p);
  }
  MarkSegments(data.points);
  if (pointsReady) pointsReady(data);
  logger::StatsOptions options;
  options.localOffset = offset;
  data.stats = logger::ComputeTrackStats(kept, options);
  data.stats.leftOut = leftOut;
  data.figured = true;
  return data;
}

std::vector<TrackPoint> PointsOfDay(const std::vector<TrackPoint>& all, std::optional<uint32_t> day, int32_t offset) {
  if (!day) return all;
  std::vector<TrackPoint> points;
  for (const TrackPoint& p : all)
    if (logger::LocalDay(p.time, offset) == *day) points.push_back(p);
  MarkSegments(points);
  return points;
}

}  // namespace zd573
