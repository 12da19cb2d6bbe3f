// What only Windows has: the time zone from the system's settings, device
// names in the file namespace, the read-only mark.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "logger/log_export.h"
#include "logger/log_record.h"
#include "logger/replacing_file.h"
#include "test_support.h"

namespace zd573::logger {
namespace {

// Standard time all year: the zone's standard bias, daylight saving never applied.
TEST(LocalOffset, IsTheStandardBiasOfTheTimeZone) {
  TIME_ZONE_INFORMATION zone{};
  ASSERT_NE(::GetTimeZoneInformation(&zone), TIME_ZONE_ID_INVALID);
  EXPECT_EQ(LocalStandardOffsetSeconds(), -(zone.Bias + zone.StandardBias) * 60);
  EXPECT_EQ(LocalStandardOffsetSeconds() % 900, 0);
}

TEST(ExportTarget, ADeviceIsRefused) {
  for (const char* device : {"NUL", "CON"}) {
    EXPECT_FALSE(CheckExportTarget(device).ok()) << device;
    const Status st = WriteExport(ExportFormat::Csv, device, GenerateTrack(3, 1), {.localOffset = 0});
    ASSERT_FALSE(st.ok()) << device;
    EXPECT_NE(st.failure().detail.find("not a regular file"), std::string::npos) << st.failure().detail;
  }
}

TEST(ExportTarget, AReadOnlyFileReplacedOnRequestStaysReadOnly) {
  test::TempDir dir;
  const std::string path = dir / "kept.gpx";
  test::WriteFile(path, "old");
  ::SetFileAttributesW(files::PathFromUtf8(path).c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(IsReadOnlyFile(path));
  ASSERT_FALSE(WriteExport(ExportFormat::Gpx, path, GenerateTrack(3, 1), {.localOffset = 0}).ok());
  EXPECT_EQ(test::ReadFile(path), "old");
  ExportOptions force;
  force.localOffset = 0;
  force.replaceReadOnly = true;
  const Status st = WriteExport(ExportFormat::Gpx, path, GenerateTrack(3, 1), force);
  ASSERT_TRUE(st.ok()) << Describe(st.failure());
  EXPECT_NE(test::ReadFile(path), "old");
  EXPECT_TRUE(IsReadOnlyFile(path));
  ::SetFileAttributesW(files::PathFromUtf8(path).c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace zd573::logger
