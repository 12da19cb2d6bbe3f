#include "settings/paths.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace zd573::settings {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::MakeInstalledLayout;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

TEST(Paths, LanguagesBesideExecutableFirst) {
  TempDir dir;
  MakeInstalledLayout(dir.path());
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
  EXPECT_EQ(ChooseSystemIni(dir.path(), "", ""), dir / "system.ini");
}

TEST(Paths, OverridesFromEnvironmentAndSetters) {
  TempDir dir;
  ScopedEnv config("ZD573_CONFIG_DIR", dir / "cfg");
  ScopedEnv languages("ZD573_LANGUAGES", dir / "my.lng");
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
