#include "logger/track_filter.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "logger/geodesic.h"

namespace zd573::logger {
namespace {

// Jumps in a row that agree with each other, after which the kept fix they
// disagreed with is taken for the bad one.
constexpr std::size_t kJumpsToMoveOn = 5;

std::optional<double> ParseNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

// The distance on a sphere of the mean radius: within 0.6 % of the
// geodesic, good enough to rule out what is clearly near or clearly far, at a
// fraction of its cost.
constexpr double kRoughMargin = 1.01;
// The shortest degree of latitude, at the equator.
constexpr double kMinMetresPerDegree = 110574.0;

double RoughMetres(double lat1, double lon1, double lat2, double lon2) {
  constexpr double kRad = 3.14159265358979323846 / 180;
  const double s1 = std::sin((lat2 - lat1) * kRad / 2), s2 = std::sin((lon2 - lon1) * kRad / 2);
  const double h = s1 * s1 + std::cos(lat1 * kRad) * std::cos(lat2 * kRad) * s2 * s2;
  return 2 * 6371008.8 * std::asin(std::min(1.0, std::sqrt(h)));
}

// Whether the speed needed to get from `a` to `b` in the time between them
// exceeds the jump speed; fixes in the same second count as a second apart.
bool TooFast(const LogRecord& a, const LogRecord& b) {
  const uint32_t seconds = std::max<uint32_t>(a.gpsTime > b.gpsTime ? a.gpsTime - b.gpsTime : b.gpsTime - a.gpsTime, 1);
  const double reach = kJumpSpeedKmh / 3.6 * seconds;
  const double rough = RoughMetres(a.LatitudeDegrees(), a.LongitudeDegrees(), b.LatitudeDegrees(), b.LongitudeDegrees());
  if (rough * kRoughMargin < reach) return false;
  if (rough > reach * kRoughMargin) return true;
  return DistanceMetres(a, b) > reach;
}

}  // namespace

std::optional<HiddenCircle> ParseHiddenCircle(std::string_view text) {
  const std::size_t c1 = text.find(',');
  const std::size_t c2 = c1 == std::string_view::npos ? c1 : text.find(',', c1 + 1);
  if (c2 == std::string_view::npos || text.find(',', c2 + 1) != std::string_view::npos) return std::nullopt;
  const auto lat = ParseNumber(text.substr(0, c1));
  const auto lon = ParseNumber(text.substr(c1 + 1, c2 - c1 - 1));
  const auto metres = ParseNumber(text.substr(c2 + 1));
  if (!lat || !lon || !metres || std::fabs(*lat) > 90 || std::fabs(*lon) > 180 || !(*metres > 0)) return std::nullopt;
  return HiddenCircle{*lat, *lon, *metres};
}

std::string DescribeLeftOut(const LeftOut& l) {
  if (l.Total() == 0) return {};
  std::string text = std::to_string(l.Total()) + " left out:";
  const char* sep = " ";
  auto part = [&](std::size_t n, const char* one, const char* many) {
    if (n == 0) return;
    text += sep + std::to_string(n) + " " + (n == 1 ? one : many);
    sep = ", ";
  };
  part(l.noFix, "without a fix", "without a fix");
  part(l.hidden, "hidden", "hidden");
  part(l.jumps, "jump", "jumps");
  return text;
}

double DistanceMetres(const LogRecord& a, const LogRecord& b) {
  if (a.latitude == b.latitude && a.longitude == b.longitude) return 0;
  return GeodesicDistance(a.LatitudeDegrees(), a.LongitudeDegrees(), b.LatitudeDegrees(), b.LongitudeDegrees());
}

bool TrackFilter::IsHidden(const LogRecord& r) const {
  const double lat = r.LatitudeDegrees(), lon = r.LongitudeDegrees();
  for (const HiddenCircle& c : options_.hideAround) {
    // No way between two parallels is shorter than the meridian between them.
    if (std::fabs(lat - c.latitude) * kMinMetresPerDegree > c.metres) continue;
    const double rough = RoughMetres(c.latitude, c.longitude, lat, lon);
    if (rough > c.metres * kRoughMargin) continue;
    if (rough * kRoughMargin < c.metres || GeodesicDistance(c.latitude, c.longitude, lat, lon) <= c.metres) return true;
  }
  return false;
}

bool TrackFilter::IsJump(const LogRecord& r) {
  if (r.hdop > kJumpHdopTenths) return true;
  if (lastKept_ && !StartsNewSegment(lastKept_->gpsTime, r.gpsTime) &&
      TooFast(*lastKept_, r)) {
    const bool agrees = !rejected_.empty() && !StartsNewSegment(rejected_.back().gpsTime, r.gpsTime) &&
                        !TooFast(rejected_.back(), r);
    if (!agrees) rejected_.clear();
    rejected_.push_back(r);
    if (rejected_.size() >= kJumpsToMoveOn) {
      lastKept_ = r;
      rejected_.clear();
    }
    return true;
  }
  lastKept_ = r;
  rejected_.clear();
  return false;
}

Verdict TrackFilter::Judge(const LogRecord& r) {
  if (r.FixCode() == 0 && options_.dropNoFix) {
    ++leftOut_.noFix;
    return Verdict::NoFix;
  }
  if (!options_.hideAround.empty() && IsHidden(r)) {
    ++leftOut_.hidden;
    return Verdict::Hidden;
  }
  if (r.FixCode() != 0 && options_.dropJumps && IsJump(r)) {
    ++leftOut_.jumps;
    return Verdict::Jump;
  }
  return Verdict::Kept;
}

RawLog FilterLog(const RawLog& log, const TrackFilterOptions& options, LeftOut* leftOut) {
  TrackFilter filter(options);
  std::vector<LogRecord> kept;
  kept.reserve(log.size());
  for (std::size_t i = 0; i < log.size(); ++i) {
    const LogRecord r = log[i];
    if (filter.Judge(r) == Verdict::Kept) kept.push_back(r);
  }
  if (leftOut) *leftOut = filter.leftOut();
  return RawLog::FromRecords(kept);
}

}  // namespace zd573::logger
