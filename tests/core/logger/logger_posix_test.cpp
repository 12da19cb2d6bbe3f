// What only POSIX files have: a file size limit (as a full disk), modes,
// symbolic links, pipes and device nodes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "logger/log_export.h"
#include "logger/log_record.h"
#include "logger/replacing_file.h"
#include "test_support.h"

namespace zd573::logger {
namespace {

using test::ReadFile;
using test::TempDir;
using test::Names;
using test::WriteFile;


class ReplacePosix : public test::ExportWriter {};

// The file system refuses more data half-way through (here a file size limit,
// as a full disk would): the old file must survive whole, with no leftovers.
TEST_P(ReplacePosix, FailureHalfWayLeavesOldFileAndNoTemporary) {
  TempDir dir;
  const std::string target = dir / "export.out";
  const std::string old = "the previous export\r\n";
  WriteFile(target, old);
  const RawLog log = GenerateTrack(20000, 3);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    const Status st = Write(target, log);
    _exit(!st.ok() && st.error() == "Can't generate output file." ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the export did not report the failure";
  EXPECT_EQ(ReadFile(target), old);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"export.out"});

  // Without the limit the same export goes through and replaces the file.
  ASSERT_TRUE(Write(target, log).ok());
  EXPECT_GT(ReadFile(target).size(), 64u * 1024u);
  EXPECT_EQ(ReadFile(target).find(old), std::string::npos);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"export.out"});
}

// A new file gets what the umask allows; a replaced one keeps its mode.
TEST_P(ReplacePosix, SetsPermissionsAndReplacesRatherThanAppends) {
  TempDir dir;
  const std::string target = dir / "out";
  const RawLog log = GenerateTrack(50, 2);
  const mode_t saved = umask(027);
  const Status created = Write(dir / "reference", log);
  umask(saved);
  ASSERT_TRUE(created.ok());
  struct stat st {};
  ASSERT_EQ(stat((dir / "reference").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  WriteFile(target, std::string(100000, 'x'));
  ASSERT_EQ(chmod(target.c_str(), 0604), 0);
  ASSERT_TRUE(Write(target, log).ok());
  EXPECT_EQ(ReadFile(target), ReadFile(dir / "reference"));
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
}

TEST_P(ReplacePosix, WritesThroughASymbolicLinkAndKeepsIt) {
  TempDir dir;
  const std::string real = dir / "real";
  const std::string link = dir / "link";
  WriteFile(real, "old");
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  ASSERT_TRUE(Write(link, GenerateTrack(5, 1)).ok());
  struct stat st {};
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(ReadFile(real), "old");
  EXPECT_EQ(ReadFile(real), ReadFile(link));
}

// A pipe or a device cannot be replaced, and writing into one could wait for
// ever (a FIFO nobody reads): the export is refused at once, naming why, and
// the thing stays as it was.
struct NotAFile {
  const char* name;
  std::function<std::string(const TempDir&)> make;  // returns the target
};

TEST_P(ReplacePosix, RefusesAPipeOrADevice) {
  const NotAFile cases[] = {
      {"fifo",
       [](const TempDir& dir) {
         const std::string fifo = dir / "fifo";
         EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
         return fifo;
       }},
      {"device", [](const TempDir&) { return std::string("/dev/null"); }},
      {"link to a fifo",
       [](const TempDir& dir) {
         const std::string fifo = dir / "fifo2", link = dir / "link";
         EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
         EXPECT_EQ(symlink(fifo.c_str(), link.c_str()), 0);
         return link;
       }},
  };
  for (const NotAFile& c : cases) {
    TempDir dir;
    const std::string target = c.make(dir);
    const auto before = Names(dir.path());
    const Status st = Write(target, GenerateTrack(5, 4));
    ASSERT_FALSE(st.ok()) << c.name;
    EXPECT_EQ(st.error(), kCantGenerateOutput) << c.name;
    EXPECT_NE(st.failure().detail.find("not a regular file"), std::string::npos) << c.name << ": " << st.failure().detail;
    EXPECT_FALSE(CheckExportTarget(target).ok()) << c.name;
    EXPECT_EQ(Names(dir.path()), before) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ReplacePosix,
                         ::testing::Values(ExportFormat::Csv, ExportFormat::Kml, ExportFormat::Gpx),
                         [](const auto& info) { return std::string(ExportFormatName(info.param)); });

struct ZoneCase {
  const char* name;
  const char* tz;
  int32_t standardOffset;
};

class LocalOffset : public ::testing::TestWithParam<ZoneCase> {
 protected:
  void SetUp() override {
    if (const char* old = getenv("TZ")) saved_ = old;
  }
  void TearDown() override {
    if (saved_) setenv("TZ", saved_->c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
  std::optional<std::string> saved_;
};

// Zones with daylight saving in either hemisphere give their standard offset
// whatever the date the test runs on.
TEST_P(LocalOffset, IsTheStandardOffsetOfTz) {
  setenv("TZ", GetParam().tz, 1);
  EXPECT_EQ(LocalStandardOffsetSeconds(), GetParam().standardOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, LocalOffset,
    ::testing::Values(ZoneCase{"Utc", "UTC0", 0}, ZoneCase{"EastNoDst", "CST-8", 28800},
                      ZoneCase{"HalfHour", "IST-5:30", 19800},
                      ZoneCase{"NorthDst", "EST5EDT,M3.2.0,M11.1.0", -18000},
                      ZoneCase{"SouthDst", "NZST-12NZDT,M9.5.0,M4.1.0/3", 43200},
                      ZoneCase{"ZoneFileWithDst", "Europe/Berlin", 3600},
                      ZoneCase{"ZoneFileNegativeHalfHour", "America/St_Johns", -12600},
                      // tzdata calls Irish winter time the daylight one.
                      ZoneCase{"ZoneFileNegativeDst", "Europe/Dublin", 0},
                      ZoneCase{"ZoneFileSouth", "Australia/Sydney", 36000},
                      ZoneCase{"ZoneFileNoDst", "Asia/Taipei", 28800}),
    [](const auto& info) { return std::string(info.param.name); });

// A pipe or a device file is not a log: refused before memory runs out.
TEST(ExportFailure, AnEndlessInputIsNotALog) {
  auto log = LoadRawLog("/dev/zero");
  ASSERT_FALSE(log.ok());
  EXPECT_EQ(log.error(), kErrorDataInRawFile);
  EXPECT_NE(log.failure().detail.find("MiB"), std::string::npos);
}

}  // namespace
}  // namespace zd573::logger
