#include "settings/paths.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace zd573::settings {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

TEST(Paths, LanguagesBesideExecutableFirst) {
  TempDir dir;
  fs::create_directories(dir / "bin");
  fs::create_directories(dir / "share/zd573");
  WriteFile(dir / "share/zd573/Languages.lng", "");
  EXPECT_EQ(FindLanguagesFile(dir / "bin"), dir / "share/zd573/Languages.lng");
  WriteFile(dir / "bin/Languages.lng", "");
  EXPECT_EQ(FindLanguagesFile(dir / "bin"), dir / "bin/Languages.lng");
}

TEST(Paths, LanguagesDefaultsBesideExecutableWhenNowhere) {
  TempDir dir;
  EXPECT_EQ(FindLanguagesFile(dir.path()), dir / "Languages.lng");
}

TEST(Paths, SystemIniBesideWritableExecutableFolder) {
  TempDir dir;
  EXPECT_EQ(ChooseSystemIni(dir.path(), "/xdg", "/home/u"), dir / "system.ini");
}

TEST(Paths, SystemIniNeverBesideAnInstalledProgram) {
  // Run as root, /usr/bin is writable; settings must still not land there.
  TempDir dir;
  fs::create_directories(dir / "bin");
  fs::create_directories(dir / "share/zd573");
  WriteFile(dir / "share/zd573/Languages.lng", "");
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

  TempDir dir;
  ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").c_str());
  auto raw = RawLogPath();
  ASSERT_TRUE(raw.ok()) << raw.error();
  EXPECT_EQ(fs::path(*raw), dir / "cache/zd573/temp.log");
  for (const char* made : {"cache", "cache/zd573"})
    EXPECT_EQ(fs::status(dir / made).permissions() & fs::perms::all, fs::perms::owner_all) << made;
  EXPECT_FALSE(fs::exists(*raw)) << "only the folder is made";
  WriteFile(dir / "file", "");
  ScopedEnv blocked("XDG_CACHE_HOME", (dir / "file").c_str());
  EXPECT_EQ(RawLogPath().code(), ErrorCode::File);
}

TEST(Paths, OverridesFromEnvironmentAndSetters) {
  TempDir dir;
  ScopedEnv config("ZD573_CONFIG_DIR", (dir / "cfg").c_str());
  ScopedEnv languages("ZD573_LANGUAGES", (dir / "my.lng").c_str());
  EXPECT_EQ(SystemIniPath(), dir / "cfg/system.ini");
  EXPECT_EQ(LanguagesPath(), dir / "my.lng");

  SetSystemIniPathOverride(dir / "explicit.ini");
  SetLanguagesPathOverride(dir / "explicit.lng");
  EXPECT_EQ(SystemIniPath(), dir / "explicit.ini");
  EXPECT_EQ(LanguagesPath(), dir / "explicit.lng");
  SetSystemIniPathOverride(std::nullopt);
  SetLanguagesPathOverride(std::nullopt);
  EXPECT_EQ(SystemIniPath(), dir / "cfg/system.ini");
}

TEST(Paths, WithoutOverridesLanguagesFileIsTheCopyBesideTheTests) {
  ScopedEnv languages("ZD573_LANGUAGES", nullptr);
  EXPECT_EQ(LanguagesPath(), ExecutableDir() / "Languages.lng");
  EXPECT_TRUE(fs::exists(LanguagesPath())) << "the build copies it beside the executables";
}

TEST(SystemIni, CurrentLanguageDefaultsToEnglish) {
  TempDir dir;
  const IniFile ini(dir / "system.ini");
  EXPECT_EQ(ReadCurrentLanguage(ini), "English");
  ASSERT_TRUE(WriteCurrentLanguage(ini, "TChinese"));
  EXPECT_EQ(ReadCurrentLanguage(ini), "TChinese");
}

TEST(SystemIni, DeviceUserNameDefaultMeansNone) {
  TempDir dir;
  const IniFile ini(dir / "system.ini");
  EXPECT_EQ(ReadDeviceUserName(ini, "356000000000001"), "ZD573");
  EXPECT_FALSE(HasDeviceUserName(ini, "356000000000001"));
  ASSERT_TRUE(WriteDeviceUserName(ini, "356000000000001", "Grandpa's tracker"));
  EXPECT_EQ(ReadDeviceUserName(ini, "356000000000001"), "Grandpa's tracker");
  EXPECT_TRUE(HasDeviceUserName(ini, "356000000000001"));
  EXPECT_FALSE(HasDeviceUserName(ini, "356000000000002"));
}

struct NameCase {
  const char* name;
  std::string typed;
  std::string stored;
};

class DeviceNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(DeviceNameTest, StoredOnOneLineWithoutHarmToOtherEntries) {
  TempDir dir;
  const IniFile ini(dir / "system.ini");
  ASSERT_TRUE(WriteCurrentLanguage(ini, "English"));
  ASSERT_TRUE(WriteDeviceUserName(ini, "356000000000001", GetParam().typed));
  EXPECT_EQ(ReadDeviceUserName(ini, "356000000000001"), GetParam().stored);
  EXPECT_EQ(ReadCurrentLanguage(ini), "English");
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"SYSTEM", "USERNAME"}));
  EXPECT_EQ(ini.KeyNames("USERNAME"), (std::vector<std::string>{"356000000000001"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cleaning, DeviceNameTest,
    ::testing::Values(
        NameCase{"Plain", "Car", "Car"},
        NameCase{"InjectedSection", "Car\r\n[SYSTEM]\r\nDefaultLanguage=Evil",
                 "Car[SYSTEM]DefaultLanguage=Evil"},
        NameCase{"LoneLineFeed", "Car\nBike", "CarBike"},
        NameCase{"TabAndNul", std::string("A\tB\0C", 5), "ABC"},
        NameCase{"DeleteAndC1Controls", "A\x7F" "B\xC2\x85" "C", "ABC"},
        NameCase{"UnicodeLineSeparators", "A\xE2\x80\xA8" "B\xE2\x80\xA9" "C", "ABC"},
        NameCase{"ChineseKept", "阿公的車", "阿公的車"},
        NameCase{"AccentsAndSymbolsKept", "Café = 5% \"x\" ;y", "Café = 5% \"x\" ;y"},
        NameCase{"OuterBlanksKept", "  Car  ", "  Car  "},
        NameCase{"CutToWhatReadsBack", std::string(300, 'n'), std::string(254, 'n')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SystemIni, DeviceNameEmptyAfterCleaningIsRefused) {
  TempDir dir;
  const IniFile ini(dir / "system.ini");
  EXPECT_FALSE(WriteDeviceUserName(ini, "356000000000001", "\r\n"));
  EXPECT_FALSE(fs::exists(ini.path()));
}

TEST(SystemIni, ImeiThatCannotBeAKeyIsRefused) {
  TempDir dir;
  const IniFile ini(dir / "system.ini");
  EXPECT_FALSE(WriteDeviceUserName(ini, "1=2", "Car"));
  EXPECT_FALSE(WriteDeviceUserName(ini, "", "Car"));
  EXPECT_EQ(ReadDeviceUserName(ini, ""), "ZD573");
}

}  // namespace
}  // namespace zd573::settings
