// The archive of every download: merged in time order without duplicates,
// replaced whole, owner-only, and off when system.ini says so.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "logger/log_archive.h"
#include "settings/paths.h"
#include "test_support.h"

namespace zd573::logger {
namespace {

using test::TempDir;

// Record `t` of the tests: its time and, to tell two of one second apart, a tag.
LogRecord At(uint32_t t, uint8_t tag = 0) {
  LogRecord r;
  r.gpsTime = 700000000 + t;
  r.latitude = 25000000 + static_cast<int32_t>(t);
  r.status = 0x88;
  r.battery = tag;
  return r;
}

std::vector<LogRecord> Records(const RawLog& log) {
  std::vector<LogRecord> v;
  for (std::size_t i = 0; i < log.size(); ++i) v.push_back(log[i]);
  return v;
}

struct MergeCase {
  const char* name;
  std::vector<LogRecord> before;  // empty: no archive yet
  std::vector<LogRecord> download;
  std::vector<LogRecord> after;
  std::size_t added;
};

class Merge : public ::testing::TestWithParam<MergeCase> {};

TEST_P(Merge, KeepsEveryRecordOnceInTimeOrder) {
  const MergeCase& c = GetParam();
  TempDir dir;
  const std::string path = dir / "archive/356895037533210.log";
  if (!c.before.empty()) {
    ASSERT_TRUE(MergeIntoArchive(path, RawLog::FromRecords(c.before)));
  }
  const auto merged = MergeIntoArchive(path, RawLog::FromRecords(c.download));
  ASSERT_TRUE(merged) << Describe(merged.failure());
  EXPECT_EQ(merged->added, c.added);
  EXPECT_EQ(merged->total, c.after.size());
  const auto file = LoadRawLog(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(Records(*file), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Merge,
    ::testing::Values(MergeCase{"first", {}, {At(3), At(1), At(2)}, {At(1), At(2), At(3)}, 3},
                      MergeCase{"overlap", {At(1), At(2), At(3)}, {At(2), At(3), At(4), At(5)},
                                {At(1), At(2), At(3), At(4), At(5)}, 2},
                      MergeCase{"earlier", {At(4), At(5)}, {At(1), At(2)}, {At(1), At(2), At(4), At(5)}, 2},
                      MergeCase{"duplicate", {At(1)}, {At(2), At(2), At(1)}, {At(1), At(2)}, 1},
                      MergeCase{"same second", {At(1, 1)}, {At(1, 2)}, {At(1, 1), At(1, 2)}, 1},
                      MergeCase{"nothing new", {At(1), At(2)}, {At(2)}, {At(1), At(2)}, 0}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n) ch = ch == ' ' ? '_' : ch;
      return n;
    });

TEST(Archive, RefusesAndKeepsAFileThatIsNotWholeRecords) {
  TempDir dir;
  const std::string path = dir / "1.log";
  test::WriteFile(path, std::string(21, 'x'));
  EXPECT_FALSE(MergeIntoArchive(path, RawLog::FromRecords({At(1)})));
  EXPECT_EQ(test::ReadFile(path), std::string(21, 'x'));
}

TEST(Archive, FollowsTheSwitchAndNamesFilesByImeiOnly) {
  TempDir dir;
  const std::string folder = dir / "archive";
  const settings::IniFile on(dir / "on.ini");
  const settings::IniFile off(dir / "off.ini");
  ASSERT_TRUE(off.Write("SYSTEM", "Archive", "0"));
  const RawLog log = RawLog::FromRecords({At(1)});

  const auto skipped = ArchiveDownload(off, "356895037533210", log, folder);
  ASSERT_TRUE(skipped);
  EXPECT_FALSE(skipped->archived);
  EXPECT_EQ(files::KindOf(folder), files::Kind::Missing);

  for (const char* bad : {"", "../x", "a/b", "35689503753321\n", "x.log"})
    EXPECT_FALSE(ArchiveDownload(on, bad, log, folder)) << bad;
  ASSERT_TRUE(ArchiveDownload(on, "356895037533210", log, folder));
  ASSERT_TRUE(ArchiveDownload(on, "111", log, folder));
  EXPECT_EQ(ArchivedTrackers(folder), (std::vector<std::string>{"111", "356895037533210"}));
}

#ifndef _WIN32
TEST(Archive, IsReadableByItsOwnerAloneInAPrivateFolder) {
  TempDir dir;
  const std::string path = dir / "data/archive/111.log";
  ASSERT_TRUE(MergeIntoArchive(path, RawLog::FromRecords({At(1)})));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat((dir / "data/archive").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // One that someone opened up is private again after the next merge.
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  ASSERT_TRUE(MergeIntoArchive(path, RawLog::FromRecords({At(2)})));
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}
#endif

}  // namespace
}  // namespace zd573::logger
