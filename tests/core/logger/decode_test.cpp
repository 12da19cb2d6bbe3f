// Record decoding, the calendar conversion and loading.
#include <gtest/gtest.h>

#include <chrono>
#include <array>
#include <optional>
#include <cstdio>
#include <set>

#include "logger/log_record.h"
#include "test_support.h"

namespace zd573::logger {
namespace {

using test::TempDir;

// The bytes of a record, laid out here independently of the library's encoder.
struct Fields {
  uint32_t time = 0;
  int32_t lat = 0, lon = 0;
  uint16_t alt = 0, speed = 0;
  uint8_t status = 0, course = 0, hdop = 0, battery = 0;
};

std::array<uint8_t, 20> Bytes(const Fields& f) {
  std::array<uint8_t, 20> b{};
  auto put = [&b](int at, uint32_t v, int size) {
    for (int i = 0; i < size; ++i) b[static_cast<std::size_t>(at + i)] = static_cast<uint8_t>(v >> (8 * i));
  };
  put(0, f.time, 4);
  put(4, static_cast<uint32_t>(f.lat), 4);
  put(8, static_cast<uint32_t>(f.lon), 4);
  put(12, f.alt, 2);
  put(14, f.speed, 2);
  b[16] = f.status, b[17] = f.course, b[18] = f.hdop, b[19] = f.battery;
  return b;
}

// Every derived value as the exports print it, joined with '|'.
std::string Printed(const LogRecord& r, int32_t offset) {
  const LogDateTime l = SecondsToDateTime(r.gpsTime, offset);
  const LogDateTime g = SecondsToDateTime(r.gpsTime, 0);
  char s[512];
  std::snprintf(s, sizeof s,
                "%d-%02d-%02d %02d:%02d:%02d|%d-%02d-%02d %02d:%02d:%02d|%d|%d|%.06f|%.06f|%d|%.2f|%d|%d.%d|%d",
                l.year, l.month, l.day, l.hour, l.minute, l.second, g.year, g.month, g.day, g.hour, g.minute,
                g.second, r.FixMode(), r.Satellites(), r.LatitudeDegrees(), r.LongitudeDegrees(), r.altitude,
                r.SpeedKmh(), r.CourseDegrees(), r.HdopWhole(), r.HdopTenths(), r.battery);
  return s;
}

struct ConversionCase {
  const char* name;
  Fields fields;
  int32_t offset;
  const char* printed;
};

class Conversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, DecodesAndDerivesPrintedValues) {
  const ConversionCase& c = GetParam();
  const auto bytes = Bytes(c.fields);
  const LogRecord r = DecodeLogRecord(bytes.data());
  EXPECT_EQ(r.gpsTime, c.fields.time);
  EXPECT_EQ(r.latitude, c.fields.lat);
  EXPECT_EQ(r.longitude, c.fields.lon);
  EXPECT_EQ(Printed(r, c.offset), c.printed);

  std::array<uint8_t, 20> again{};
  EncodeLogRecord(r, again.data());
  EXPECT_EQ(again, bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Records, Conversion,
    ::testing::Values(
        ConversionCase{"Epoch", {}, 0,
                       "2000-01-01 00:00:00|2000-01-01 00:00:00|1|0|0.000000|0.000000|0|0.00|0|0.0|0"},
        ConversionCase{"LeapDay2000", {.time = 5097600}, 0,
                       "2000-02-29 00:00:00|2000-02-29 00:00:00|1|0|0.000000|0.000000|0|0.00|0|0.0|0"},
        ConversionCase{"LastSecondOf2000", {.time = 31622399}, 0,
                       "2000-12-31 23:59:59|2000-12-31 23:59:59|1|0|0.000000|0.000000|0|0.00|0|0.0|0"},
        ConversionCase{"Century2100IsNotLeap", {.time = 3160857600u - 1}, 0,
                       "2100-02-28 23:59:59|2100-02-28 23:59:59|1|0|0.000000|0.000000|0|0.00|0|0.0|0"},
        ConversionCase{"LargestTime", {.time = 4294967295u}, 0,
                       "2136-02-07 06:28:15|2136-02-07 06:28:15|1|0|0.000000|0.000000|0|0.00|0|0.0|0"},
        ConversionCase{"NegativeOffsetWraps", {}, -3600,
                       "2136-02-07 05:28:16|2000-01-01 00:00:00|1|0|0.000000|0.000000|0|0.00|0|0.0|0"},
        ConversionCase{"PositiveOffsetWraps", {.time = 4294967295u}, 1,
                       "2000-01-01 00:00:00|2136-02-07 06:28:15|1|0|0.000000|0.000000|0|0.00|0|0.0|0"},
        ConversionCase{"FullExample",
                       {326257321, 25047123, 121532456, 35, 1234, 0x87, 90, 12, 80},
                       28800,
                       "2010-05-04 11:02:01|2010-05-04 03:02:01|3|7|25.047123|121.532456|35|12.34|180|1.2|80"},
        ConversionCase{"NoFixFiveSats", {.status = 0x05}, 0,
                       "2000-01-01 00:00:00|2000-01-01 00:00:00|1|5|0.000000|0.000000|0|0.00|0|0.0|0"},
        ConversionCase{"Fix2dSevenSats", {.status = 0x47}, 0,
                       "2000-01-01 00:00:00|2000-01-01 00:00:00|2|7|0.000000|0.000000|0|0.00|0|0.0|0"},
        ConversionCase{"FixCode3NoSats", {.status = 0xC0}, 0,
                       "2000-01-01 00:00:00|2000-01-01 00:00:00|4|0|0.000000|0.000000|0|0.00|0|0.0|0"},
        ConversionCase{"SouthWestAndSmallValues",
                       {.lat = -33456789, .lon = -1, .speed = 1234, .status = 0xBF, .course = 179, .hdop = 7},
                       0, "2000-01-01 00:00:00|2000-01-01 00:00:00|3|63|-33.456789|-0.000001|0|12.34|358|0.7|0"},
        ConversionCase{"LargestFieldValues",
                       {0, INT32_MIN, INT32_MAX, 65535, 65535, 0xFF, 255, 123, 255},
                       0,
                       "2000-01-01 00:00:00|2000-01-01 00:00:00|4|63|-2147.483648|2147.483647|65535|655.35|510|12.3|"
                       "255"}),
    [](const auto& info) { return std::string(info.param.name); });

// The closed-form calendar against the standard library's, for one time of
// every day the 32-bit range reaches, and with offsets that wrap.
TEST(SecondsToDateTime, AgreesWithStandardCalendarOverWholeRange) {
  using namespace std::chrono;
  const sys_days epoch = sys_days{year{2000} / January / 1};
  int mismatches = 0;
  for (uint32_t day = 0; day <= 49710; ++day) {
    const uint32_t t = day * 86400u + (day * 7919u) % 86400u;
    if (t < day * 86400u) break;  // past the 32-bit end
    const int32_t offset = static_cast<int32_t>(day * 2654435761u) / 3;
    const uint32_t wrapped = t + static_cast<uint32_t>(offset);
    const sys_seconds tp = epoch + seconds{wrapped};
    const sys_days dp = floor<days>(tp);
    const year_month_day ymd{dp};
    const hh_mm_ss hms{tp - dp};
    const LogDateTime got = SecondsToDateTime(t, offset);
    const LogDateTime want{static_cast<uint16_t>(static_cast<int>(ymd.year())),
                           static_cast<uint8_t>(static_cast<unsigned>(ymd.month())),
                           static_cast<uint8_t>(static_cast<unsigned>(ymd.day())),
                           static_cast<uint8_t>(hms.hours().count()),
                           static_cast<uint8_t>(hms.minutes().count()),
                           static_cast<uint8_t>(hms.seconds().count())};
    if (!(got == want) && ++mismatches <= 5) ADD_FAILURE() << "t=" << t << " offset=" << offset;
  }
  EXPECT_EQ(mismatches, 0);
}

struct LoadCase {
  const char* name;
  int size;  // bytes in the file; -1: no file; -2: a directory
  const char* error;  // nullptr: loads
  std::size_t records;
};

class Load : public ::testing::TestWithParam<LoadCase> {};

TEST_P(Load, AppliesSizeRules) {
  const LoadCase& c = GetParam();
  TempDir dir;
  const std::string path = dir / "temp.log";
  if (c.size >= 0) test::WriteFile(path, std::string(static_cast<std::size_t>(c.size), '\x5a'));
  if (c.size == -2) std::filesystem::create_directory(files::PathFromUtf8(path));

  const Expected<RawLog> log = LoadRawLog(path);
  if (c.error != nullptr) {
    ASSERT_FALSE(log.ok());
    EXPECT_EQ(log.error(), c.error);
  } else {
    ASSERT_TRUE(log.ok()) << log.error();
    EXPECT_EQ(log->size(), c.records);
    EXPECT_EQ(log->bytes(), std::vector<uint8_t>(static_cast<std::size_t>(c.size), 0x5a));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Load,
    ::testing::Values(LoadCase{"TwoRecords", 40, nullptr, 2}, LoadCase{"OneRecord", 20, nullptr, 1},
                      LoadCase{"LargeFile", 20 * 100000, nullptr, 100000},
                      LoadCase{"OneByteOver", 41, "Error data in raw file.", 0},
                      LoadCase{"ShortOfARecord", 19, "Error data in raw file.", 0},
                      LoadCase{"Empty", 0, "No valid GPS data in raw file.", 0},
                      LoadCase{"Missing", -1, "Can't open raw data file.", 0},
                      LoadCase{"Directory", -2, "Can't open raw data file.", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadRawLogInto, KeepsRecordsWhenFileIsMissingAndEmptiesThemOnBadData) {
  TempDir dir;
  const std::string path = dir / "temp.log";
  RawLog set = GenerateTrack(3, 1);

  EXPECT_EQ(LoadRawLogInto(dir / "absent.log", set).error(), "Can't open raw data file.");
  EXPECT_EQ(set.size(), 3u);

  test::WriteFile(path, std::string(41, '\0'));
  EXPECT_EQ(LoadRawLogInto(path, set).error(), "Error data in raw file.");
  EXPECT_TRUE(set.empty());

  test::WriteFile(path, std::string(60, '\0'));
  EXPECT_TRUE(LoadRawLogInto(path, set).ok());
  EXPECT_EQ(set.size(), 3u);
}

// The benchmarks and the export tests rely on a repeatable, mixed track.
TEST(GenerateTrack, IsRepeatableMovingAndMixesEveryFixCode) {
  const RawLog a = GenerateTrack(20000, 7);
  EXPECT_EQ(a.bytes(), GenerateTrack(20000, 7).bytes());
  EXPECT_NE(a.bytes(), GenerateTrack(20000, 8).bytes());
  ASSERT_EQ(a.size(), 20000u);

  std::set<int> fixCodes;
  std::set<int32_t> latitudes;
  for (std::size_t i = 0; i < a.size(); ++i) {
    fixCodes.insert(a[i].FixCode());
    latitudes.insert(a[i].latitude);
    if (i > 0) {
      EXPECT_GT(a[i].gpsTime, a[i - 1].gpsTime) << "record " << i;
    }
    EXPECT_LE(a[i].latitude, 90000000);
    EXPECT_GE(a[i].latitude, -90000000);
  }
  EXPECT_EQ(fixCodes, (std::set<int>{0, 1, 2, 3}));
  EXPECT_GT(latitudes.size(), 1000u);
}

}  // namespace
}  // namespace zd573::logger
