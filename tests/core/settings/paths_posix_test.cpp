// Where the files go under the XDG rules, with POSIX paths and modes.
#include <gtest/gtest.h>

#include "settings/paths.h"
#include "temp_dir.h"

namespace zd573::settings {
namespace {

namespace fs = std::filesystem;
using testing::MakeInstalledLayout;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

TEST(Paths, SystemIniNeverBesideAnInstalledProgram) {
  // Run as root, /usr/bin is writable; settings must still not land there.
  TempDir dir;
  MakeInstalledLayout(dir.path());
  EXPECT_EQ(ChooseSystemIni(dir / "bin", "/xdg", "/home/u"), fs::path("/xdg/zd573/system.ini"));
  WriteFile(dir / "bin/Languages.lng", "");
  EXPECT_EQ(ChooseSystemIni(dir / "bin", "/xdg", "/home/u"), dir / "bin/system.ini")
      << "a program that carries its languages beside it is a portable one";
}

TEST(Paths, SystemIniInConfigFolderOtherwise) {
  TempDir dir;
  const fs::path gone = dir / "no-such-folder";
  EXPECT_EQ(ChooseSystemIni(gone, "/xdg", "/home/u"), fs::path("/xdg/zd573/system.ini"));
  EXPECT_EQ(ChooseSystemIni(gone, "", "/home/u"), fs::path("/home/u/.config/zd573/system.ini"));
  EXPECT_EQ(ChooseSystemIni(gone, "relative", "/home/u"),
            fs::path("/home/u/.config/zd573/system.ini"))
      << "a relative XDG_CONFIG_HOME is ignored";
}

// temp.log goes to the user's cache folder, never the working directory.
TEST(Paths, RawLogInTheUserCacheFolder) {
  struct Row {
    const char* xdg;
    const char* home;
    const char* expected;
  };
  const Row rows[] = {
      {"/xdg", "/home/u", "/xdg/zd573"},
      {"", "/home/u", "/home/u/.cache/zd573"},
      {"relative", "/home/u", "/home/u/.cache/zd573"},  // a relative XDG_CACHE_HOME is ignored
      {"", "", ""},
  };
  for (const Row& r : rows) EXPECT_EQ(ChooseCacheDir(r.xdg, r.home), fs::path(r.expected)) << r.xdg << " " << r.home;
  // The backups' data folder follows the same rule.
  const Row data[] = {
      {"/xdg", "/home/u", "/xdg/zd573"},
      {"", "/home/u", "/home/u/.local/share/zd573"},
      {"relative", "/home/u", "/home/u/.local/share/zd573"},
      {"", "", ""},
  };
  for (const Row& r : data) EXPECT_EQ(ChooseDataDir(r.xdg, r.home), fs::path(r.expected)) << r.xdg << " " << r.home;

  TempDir dir;
  ScopedEnv cache("XDG_CACHE_HOME", dir / "cache");
  auto raw = RawLogPath();
  ASSERT_TRUE(raw.ok()) << raw.error();
  EXPECT_EQ(fs::path(*raw), dir / "cache/zd573/temp.log");
  for (const char* made : {"cache", "cache/zd573"})
    EXPECT_EQ(fs::status(dir / made).permissions() & fs::perms::all, fs::perms::owner_all) << made;
  EXPECT_FALSE(fs::exists(*raw)) << "only the folder is made";
  WriteFile(dir / "file", "");
  ScopedEnv blocked("XDG_CACHE_HOME", dir / "file");
  EXPECT_EQ(RawLogPath().code(), ErrorCode::File);
}

}  // namespace
}  // namespace zd573::settings
