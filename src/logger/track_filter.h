#pragma once
// Which records of a log a track keeps, and where its segments and days begin.
//
// The rules, applied in this order to each record:
// - no fix (fix code 0): left out with `dropNoFix` (as the exports always did);
// - hidden: its position lies within one of the `hideAround` circles. A
//   record without a fix still carries a position (the last one known), so it
//   is hidden too;
// - jump, with `dropJumps`: a fix whose HDOP exceeds 10, or whose implied
//   speed from the previous kept fix exceeds 300 km/h. Fixes more than an hour
//   apart are not compared (anything may have happened in between), and when
//   five fixes in a row were left out as jumps that agree with each other, the
//   kept fix they disagreed with was the bad one: the next comparison starts
//   from the last of them, so that one bad fix cannot drop the rest of a trip.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "logger/log_record.h"

namespace zd573::logger {

// Fixes more than this far apart belong to different segments of the track.
inline constexpr uint32_t kSegmentGapSeconds = 3600;
// Above these a fix is a jump.
inline constexpr double kJumpSpeedKmh = 300.0;
inline constexpr int kJumpHdopTenths = 100;

// A place to leave out: every record within `metres` of it.
struct HiddenCircle {
  double latitude = 0;   // degrees
  double longitude = 0;  // degrees
  double metres = 0;

  bool operator==(const HiddenCircle&) const = default;
};

// "LAT,LON,METRES" in degrees and metres; nullopt when it is not one (a
// latitude beyond +-90, a longitude beyond +-180, a radius not above 0).
std::optional<HiddenCircle> ParseHiddenCircle(std::string_view text);

struct TrackFilterOptions {
  bool dropNoFix = false;
  bool dropJumps = false;
  std::vector<HiddenCircle> hideAround{};
};

// How many records each rule left out.
struct LeftOut {
  std::size_t noFix = 0;
  std::size_t hidden = 0;
  std::size_t jumps = 0;

  std::size_t Total() const { return noFix + hidden + jumps; }
  bool operator==(const LeftOut&) const = default;
};

// "12 left out: 10 without a fix, 2 jumps" (only the rules that left something
// out); empty when nothing was.
std::string DescribeLeftOut(const LeftOut& leftOut);

enum class Verdict : uint8_t { Kept, NoFix, Hidden, Jump };

// Judges the records of a log one after another, in file order.
class TrackFilter {
 public:
  explicit TrackFilter(TrackFilterOptions options) : options_(std::move(options)) {}

  Verdict Judge(const LogRecord& record);
  const LeftOut& leftOut() const { return leftOut_; }

 private:
  bool IsHidden(const LogRecord& record) const;
  bool IsJump(const LogRecord& record);

  TrackFilterOptions options_;
  LeftOut leftOut_;
  std::optional<LogRecord> lastKept_;  // the previous kept fix
  std::vector<LogRecord> rejected_;    // jumps in a row since it, each agreeing with the one before
};

// The records `options` keep, in order.
RawLog FilterLog(const RawLog& log, const TrackFilterOptions& options, LeftOut* leftOut = nullptr);

// Whether a fix at `time` starts a new segment after the previous fix at
// `previous`: more than an hour later, or earlier (the clock went back).
inline bool StartsNewSegment(uint32_t previous, uint32_t time) {
  return time < previous || time - previous > kSegmentGapSeconds;
}

// The local day a GPS time falls in, as a day number (the exports' offset
// rule: `offset` seconds east of UTC, daylight saving never applied).
inline uint32_t LocalDay(uint32_t gpsTime, int32_t offset) {
  return (gpsTime + static_cast<uint32_t>(offset)) / 86400;
}

// Metres between two records' positions on the WGS84 ellipsoid.
double DistanceMetres(const LogRecord& a, const LogRecord& b);

}  // namespace zd573::logger
