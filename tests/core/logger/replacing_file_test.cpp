// An export replaces the chosen file only with a complete new one. (What
// only POSIX has, modes, links, pipes and a size limit: logger_posix_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "logger/log_export.h"
#include "logger/replacing_file.h"
#include "test_support.h"

namespace zd573::logger {
namespace {

using test::ReadFile;
using test::TempDir;
using test::Names;
using test::WriteFile;


class Replace : public test::ExportWriter {};

TEST_P(Replace, ReportsTargetsThatCannotBeCreated) {
  TempDir dir;
  const RawLog log = GenerateTrack(10, 1);
  EXPECT_EQ(Write(dir / "no-such-folder/out", log).error(), "Can't generate output file.");
  EXPECT_EQ(Write(dir / "", log).error(), "Can't generate output file.");

  const std::string folder = dir / "taken";
  ASSERT_TRUE(std::filesystem::create_directory(files::PathFromUtf8(folder)));
  EXPECT_EQ(Write(folder, log).error(), "Can't generate output file.");
  EXPECT_TRUE(std::filesystem::is_directory(files::PathFromUtf8(folder)));
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"taken"});
}

INSTANTIATE_TEST_SUITE_P(Formats, Replace,
                         ::testing::Values(ExportFormat::Csv, ExportFormat::Kml, ExportFormat::Gpx),
                         [](const auto& info) { return std::string(ExportFormatName(info.param)); });

}  // namespace
}  // namespace zd573::logger
