// The track's figures and filters on small tracks whose answers are known by
// hand: along a meridian (whose length per degree is known), with a stop, over
// local midnight, across a gap, with jumps, hidden places and hills.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "logger/track_stats.h"

namespace zd573::logger {
namespace {

// The meridian arc from the equator to 1 degree north on WGS84, in metres.
constexpr double kMetresPerDegreeAtEquator = 110574.3886;
// 2024-05-01 00:00:00 UTC in GPS seconds.
constexpr uint32_t kMay1 = 767836800;

LogRecord Fix(uint32_t t, int32_t latMicro, uint16_t speed = 3600, uint16_t altitude = 100, int fixCode = 2,
              uint8_t hdop = 12) {
  LogRecord r;
  r.gpsTime = t;
  r.latitude = latMicro;
  r.longitude = 0;
  r.speed = speed;
  r.altitude = altitude;
  r.status = static_cast<uint8_t>((fixCode << 6) | 8);
  r.hdop = hdop;
  return r;
}

// `count` fixes northward along the meridian from `lat`, `step` millionths of
// a degree and `seconds` apart.
void North(std::vector<LogRecord>& out, uint32_t t, int32_t lat, int count, int32_t step, uint32_t seconds,
           uint16_t speed = 3600) {
  for (int i = 0; i < count; ++i) out.push_back(Fix(t + i * seconds, lat + i * step, speed));
}

struct Expect {
  std::size_t records, fixes, segments;
  double distance;  // metres, to within half a metre
  long movingSeconds;
  std::size_t stops;
  std::vector<std::size_t> fixesPerDay;
  LeftOut leftOut{};
  long climb = 0, descent = 0;
};

struct Case {
  const char* name;
  std::function<std::vector<LogRecord>()> track;
  TrackFilterOptions filter;
  Expect want;
};

class Figures : public ::testing::TestWithParam<Case> {};

TEST_P(Figures, MatchTheHandCount) {
  const Case& c = GetParam();
  const TrackStats s = ComputeTrackStats(RawLog::FromRecords(c.track()), {c.filter, 8 * 3600});
  EXPECT_EQ(s.total.records, c.want.records);
  EXPECT_EQ(s.total.fixes, c.want.fixes);
  EXPECT_EQ(s.segments, c.want.segments);
  EXPECT_NEAR(s.total.distanceMetres, c.want.distance, 0.5);
  EXPECT_NEAR(s.total.movingSeconds, c.want.movingSeconds, 1e-6);
  EXPECT_EQ(s.stops.size(), c.want.stops);
  EXPECT_EQ(s.leftOut, c.want.leftOut);
  EXPECT_EQ(s.total.climbMetres, c.want.climb);
  EXPECT_EQ(s.total.descentMetres, c.want.descent);
  std::vector<std::size_t> perDay;
  double dayDistance = 0, dayMoving = 0;
  for (const DayFigures& d : s.days) perDay.push_back(d.fixes), dayDistance += d.distanceMetres, dayMoving += d.movingSeconds;
  EXPECT_EQ(perDay, c.want.fixesPerDay);
  EXPECT_NEAR(dayDistance, s.total.distanceMetres, 1e-6) << "the days add up to the whole";
  EXPECT_NEAR(dayMoving, s.total.movingSeconds, 1e-6);
}

const double kStep = kMetresPerDegreeAtEquator / 1000;  // 1000 millionths of a degree

INSTANTIATE_TEST_SUITE_P(
    Tracks, Figures,
    ::testing::Values(
        // 1001 fixes from 0 to 1 degree north, 10 s apart at 36 km/h.
        Case{"meridian", [] { std::vector<LogRecord> v; North(v, kMay1, 0, 1001, 1000, 10); return v; }, {},
             {1001, 1001, 1, kMetresPerDegreeAtEquator, 10000, 0, {1001}}},
        // Moving, 40 fixes standing still, moving on: the stop runs from the
        // last moving fix to the last still one (400 s).
        Case{"stop",
             [] {
               std::vector<LogRecord> v;
               North(v, kMay1, 0, 10, 1800, 10);
               North(v, kMay1 + 100, 9 * 1800, 40, 0, 10, 0);
               North(v, kMay1 + 500, 10 * 1800, 10, 1800, 10);
               return v;
             },
             {}, {60, 60, 1, 19 * 1.8 * kStep, 180, 1, {60}}},
        // Local midnight (UTC+8) falls halfway between two fixes: 12 fixes on
        // each side, the interval across shared.
        Case{"midnight",
             [] { std::vector<LogRecord> v; North(v, kMay1 + 16 * 3600 - 115, 0, 24, 900, 10); return v; }, {},
             {24, 24, 1, 23 * 0.9 * kStep, 230, 0, {12, 12}}},
        // Two hours without a fix: a new segment; the way across is no distance.
        Case{"gap",
             [] {
               std::vector<LogRecord> v;
               North(v, kMay1, 0, 5, 1000, 10);
               North(v, kMay1 + 40 + 7200, 100000, 5, 1000, 10);
               return v;
             },
             {}, {10, 10, 2, 8 * kStep, 80, 0, {10}}},
        // An hour exactly is still the same segment (not moving, but a distance).
        Case{"hour",
             [] {
               std::vector<LogRecord> v;
               North(v, kMay1, 0, 5, 1000, 10);
               North(v, kMay1 + 40 + 3600, 10000, 5, 1000, 10);
               return v;
             },
             {}, {10, 10, 1, 14 * kStep, 80, 0, {10}}},
        // A fix 50 km off the line counts without --drop-jumps...
        Case{"jump kept",
             [] {
               std::vector<LogRecord> v;
               North(v, kMay1, 0, 11, 1000, 10);
               v[5].latitude += 450000;
               return v;
             },
             {}, {11, 11, 1, 8 * kStep + 2 * (450 * kStep), 100, 0, {11}}},
        // ...and is left out with it, as is a fix with an HDOP over 10 (not one of 10.0).
        Case{"jump dropped",
             [] {
               std::vector<LogRecord> v;
               North(v, kMay1, 0, 11, 1000, 10);
               v[5].latitude += 450000;
               v[7].hdop = 101;
               v[8].hdop = 100;
               return v;
             },
             {.dropJumps = true}, {9, 9, 1, 10 * kStep, 100, 0, {9}, {.jumps = 2}}},
        // A bad first fix costs five fixes, not the whole trip.
        Case{"bad first fix",
             [] {
               std::vector<LogRecord> v;
               North(v, kMay1, 0, 21, 1000, 10);
               v[0].latitude = 500000;
               return v;
             },
             {.dropJumps = true}, {16, 16, 1, 494 * kStep + 14 * kStep, 200, 0, {16}, {.jumps = 5}}},
        // Within 250 m of the start: the first three fixes, and a record
        // without a fix there (it carries that position).
        Case{"hidden",
             [] {
               std::vector<LogRecord> v;
               North(v, kMay1, 0, 11, 1000, 10);
               v.insert(v.begin() + 1, Fix(kMay1 + 5, 0, 0, 100, 0));
               return v;
             },
             {.hideAround = {{0, 0, 250}}}, {8, 8, 1, 7 * kStep, 70, 0, {8}, {.hidden = 4}}},
        Case{"hidden, no fix dropped first",
             [] {
               std::vector<LogRecord> v;
               North(v, kMay1, 0, 11, 1000, 10);
               v.insert(v.begin() + 1, Fix(kMay1 + 5, 0, 0, 100, 0));
               return v;
             },
             {.dropNoFix = true, .hideAround = {{0, 0, 250}}},
             {8, 8, 1, 7 * kStep, 70, 0, {8}, {.noFix = 1, .hidden = 3}}},
        // Ups and downs under 5 m do not count; a 2D fix's altitude is none.
        Case{"hills",
             [] {
               std::vector<LogRecord> v;
               const uint16_t alt[] = {100, 102, 104, 103, 106, 110, 108, 104, 103};
               for (int i = 0; i < 9; ++i) v.push_back(Fix(kMay1 + i * 10, 0, 0, alt[i]));
               v.insert(v.begin() + 5, Fix(kMay1 + 45, 0, 0, 500, 1));
               return v;
             },
             {}, {10, 10, 1, 0, 0, 0, {10}, {}, 10, 7}}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
      return n;
    });

TEST(Figures, StopTimePlaceAndSpeeds) {
  std::vector<LogRecord> v;
  North(v, kMay1, 0, 10, 1800, 10);
  North(v, kMay1 + 100, 9 * 1800, 40, 0, 10, 0);
  v[3].speed = 8888;
  const TrackStats s = ComputeTrackStats(RawLog::FromRecords(v), {{}, 0});
  ASSERT_EQ(s.stops.size(), 1u);
  EXPECT_EQ(s.stops[0], (TrackStop{kMay1 + 90, kMay1 + 490, 9 * 1800, 0}));
  EXPECT_EQ(s.total.maxSpeed, 8888);
  EXPECT_EQ(s.days.at(0).stops, 1u);
  EXPECT_EQ(s.days.at(0).date, (LogDateTime{2024, 5, 1, 0, 0, 0}));
  EXPECT_EQ(*s.total.first, kMay1);
  EXPECT_EQ(*s.total.last, kMay1 + 490);
  // 9 intervals of 1.8 * kStep in 90 s.
  EXPECT_NEAR(s.total.AverageMovingSpeedKmh(), 9 * 1.8 * kStep / 90 * 3.6, 0.01);
}

TEST(HiddenCircle, ParsesOnlyPlacesAndRadii) {
  EXPECT_EQ(ParseHiddenCircle("25.0330,121.5654,300"), (HiddenCircle{25.033, 121.5654, 300}));
  EXPECT_EQ(ParseHiddenCircle("-33.9,+151.2,0.5"), (HiddenCircle{-33.9, 151.2, 0.5}));
  for (const char* bad : {"", "1,2", "1,2,3,4", "91,0,10", "0,181,10", "0,0,0", "0,0,-5", "a,0,10", "0,0,nan", "0,0,inf"})
    EXPECT_FALSE(ParseHiddenCircle(bad)) << bad;
}

}  // namespace
}  // namespace zd573::logger
