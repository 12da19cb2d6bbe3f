// Where the files go on Windows: system.ini under %APPDATA%\zd573, the raw
// log under %LOCALAPPDATA%\zd573, unless the program is a portable one.
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

TEST(Paths, SystemIniInTheRoamingAppDataFolder) {
  TempDir dir;
  const fs::path gone = dir / "no-such-folder";
  EXPECT_EQ(ChooseSystemIni(gone, "C:\\Users\\u\\AppData\\Roaming", "C:\\Users\\u"),
            fs::path("C:\\Users\\u\\AppData\\Roaming\\zd573\\system.ini"));
  EXPECT_EQ(ChooseSystemIni(gone, "", "C:\\Users\\u"), fs::path("C:\\Users\\u\\.config\\zd573\\system.ini"));
  // An installed program (its languages in ..\share\zd573) never keeps them beside itself.
  MakeInstalledLayout(dir.path());
  EXPECT_EQ(ChooseSystemIni(dir / "bin", "C:\\Users\\u\\AppData\\Roaming", ""),
            fs::path("C:\\Users\\u\\AppData\\Roaming\\zd573\\system.ini"));
}

TEST(Paths, RawLogInTheLocalAppDataFolder) {
  TempDir dir;
  ScopedEnv local("LOCALAPPDATA", dir / "Local");
  EXPECT_EQ(CacheDir(), dir / "Local" / "zd573");
  EXPECT_EQ(DataDir(), dir / "Local" / "zd573") << "the backups made before writes go beside it";
  auto raw = RawLogPath();
  ASSERT_TRUE(raw.ok()) << raw.error();
  EXPECT_EQ(files::PathFromUtf8(*raw), dir / "Local" / "zd573" / "temp.log");
  EXPECT_TRUE(fs::is_directory(dir / "Local" / "zd573"));
  WriteFile(dir / "file", "");
  ScopedEnv blocked("LOCALAPPDATA", dir / "file");
  EXPECT_EQ(RawLogPath().code(), ErrorCode::File);
}

TEST(Paths, NonAsciiFolderNamesSurvive) {
  TempDir dir;
  const fs::path local = dir.path() / files::PathFromUtf8("\xE4\xB8\xAD\xE6\x96\x87 Local");  // "中文 Local"
  ScopedEnv env("LOCALAPPDATA", local);
  auto raw = RawLogPath();
  ASSERT_TRUE(raw.ok()) << raw.error();
  EXPECT_TRUE(fs::is_directory(local / "zd573"));
  EXPECT_NE(raw->find("\xE4\xB8\xAD\xE6\x96\x87"), std::string::npos) << *raw;
}

}  // namespace
}  // namespace zd573::settings
