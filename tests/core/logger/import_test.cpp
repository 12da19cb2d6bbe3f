// Our own CSV and GPX exports read back into the records they were made from.
#include <gtest/gtest.h>

#include "logger/log_import.h"
#include "test_support.h"

namespace zd573::logger {
namespace {

using test::TempDir;

class ReadBack : public ::testing::TestWithParam<ExportFormat> {};

TEST_P(ReadBack, GivesTheRecordsBack) {
  TempDir dir;
  const RawLog log = GenerateTrack(2000, 5);
  const std::string path = dir / "track";
  ASSERT_TRUE(WriteExport(GetParam(), path, log, {.localOffset = -18000}).ok());
  const auto read = LoadTrackFile(path);
  ASSERT_TRUE(read) << Describe(read.failure());
  ASSERT_EQ(read->size(), log.size());
  for (std::size_t i = 0; i < log.size(); ++i) {
    LogRecord want = log[i];
    if (GetParam() == ExportFormat::Gpx) want.battery = 0;  // GPX has no place for it
    ASSERT_EQ((*read)[i], want) << "record " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ReadBack, ::testing::Values(ExportFormat::Csv, ExportFormat::Gpx),
                         [](const auto& info) { return std::string(ExportFormatName(info.param)); });

TEST(ReadBack, TellsFilesApartByContent) {
  TempDir dir;
  const RawLog log = GenerateTrack(10, 1);
  const std::string raw = dir / "track.gpx";  // a raw log, whatever its name
  test::WriteFile(raw, std::string(log.bytes().begin(), log.bytes().end()));
  const auto read = LoadTrackFile(raw);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->bytes(), log.bytes());

  const std::string bad = dir / "bad.csv";
  test::WriteFile(bad, "Local time,GPS time,Fix mode\r\n"
                       "=\"2010-05-04 11:02:01\",=\"2010-05-04 03:02:01\",=\"3\",\r\n");
  const auto refused = LoadTrackFile(bad);
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.failure().detail.find("line 2"), std::string::npos) << refused.failure().detail;
}

TEST(ReadBack, CalendarTimesInvertTheRecordsClock) {
  for (uint32_t t = 0; t < 4000000000u; t += 86400 * 37 + 3671) {
    ASSERT_EQ(DateTimeToSeconds(SecondsToDateTime(t, 0)), t) << t;
  }
  EXPECT_FALSE(DateTimeToSeconds({2023, 2, 29, 0, 0, 0}));
  EXPECT_TRUE(DateTimeToSeconds({2024, 2, 29, 0, 0, 0}));
  EXPECT_FALSE(DateTimeToSeconds({1999, 12, 31, 23, 59, 59}));
  EXPECT_FALSE(DateTimeToSeconds({2024, 4, 31, 0, 0, 0}));
}

}  // namespace
}  // namespace zd573::logger
