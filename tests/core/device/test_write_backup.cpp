// The backups kept before writes: their names, their order, what is kept,
// and IMEIs that cannot name a folder.
#include <gtest/gtest.h>

#include "../settings/temp_dir.h"
#include "device/write_backup.h"

namespace zd573 {
namespace {

namespace fs = std::filesystem;
using settings::testing::ScopedEnv;
using settings::testing::TempDir;

// The data folder's variable: the backups go to the test's own folder.
#ifdef _WIN32
constexpr const char* kDataHome = "LOCALAPPDATA";
#else
constexpr const char* kDataHome = "XDG_DATA_HOME";
#endif
constexpr std::time_t kNoon = 1796818394;  // 2026-12-09 12:13:14 UTC

DeviceValues Tracker(const std::string& imei, const std::string& apn) {
  DeviceValues v;
  v.SetText("B2", imei);
  v.SetText("D1", apn);
  return v;
}

std::string Name(const std::string& path) { return files::PathToUtf8(files::PathFromUtf8(path).filename()); }

TEST(WriteBackup, NamedByTimeNewestLastTheOneJustSavedKept) {
  TempDir dir;
  ScopedEnv data(kDataHome, dir.path());
  const std::string imei = "356938035643809";
  EXPECT_FALSE(NewestBackup(imei).ok());

  auto first = SaveWriteBackup(Tracker(imei, "a"), {"D1"}, 1252, kNoon);
  auto second = SaveWriteBackup(Tracker(imei, "b"), {"D1"}, 1252, kNoon);
  ASSERT_TRUE(first.ok() && second.ok()) << (first ? second.error() : first.error());
  EXPECT_EQ(Name(*first), "20261209T121314Z.ini");
  EXPECT_EQ(Name(*second), "20261209T121314Z-2.ini") << "the same second keeps both";
  EXPECT_EQ(fs::path(*first).parent_path(), dir.path() / "zd573" / "backups" / imei);
  EXPECT_EQ(*NewestBackup(imei), *second);
  EXPECT_EQ(settings::testing::ReadFile(*second), "[DEVICE]\nIMEI=" + imei + "\nB2=" + imei + "\nD1=b\n");

  // A clock set back makes the new one look oldest: it stays, and 50 are left.
  for (int i = 1; i <= 60; ++i) ASSERT_TRUE(SaveWriteBackup(Tracker(imei, "c"), {"D1"}, 1252, kNoon + i).ok());
  auto early = SaveWriteBackup(Tracker(imei, "d"), {"D1"}, 1252, kNoon - 3600);
  ASSERT_TRUE(early.ok()) << early.error();
  const std::vector<std::string> kept = ListBackups(imei);
  ASSERT_EQ(kept.size(), kBackupsKept);
  EXPECT_EQ(kept.front(), *early);
  EXPECT_EQ(Name(kept[1]), BackupFileName(kNoon + 12));
  EXPECT_EQ(Name(kept.back()), BackupFileName(kNoon + 60));
}

TEST(WriteBackup, AnImeiThatCannotNameAFolderSavesNothing) {
  TempDir dir;
  ScopedEnv data(kDataHome, dir.path());
  for (const char* imei : {"", "..", "../356938035643809", "3569/3803", "35693803 5643809"}) {
    auto saved = SaveWriteBackup(Tracker(imei, "a"), {"D1"}, 1252, kNoon);
    EXPECT_EQ(saved.code(), ErrorCode::BadValue) << imei;
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
}  // namespace zd573
