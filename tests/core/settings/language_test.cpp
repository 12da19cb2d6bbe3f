#include "settings/language.h"

#include <gtest/gtest.h>

#include <set>

#include "settings/ini_file.h"
#include "temp_dir.h"

namespace zd573::settings {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(TextTable, KeysAreUnique) {
  std::set<std::string_view> seen;
  for (const auto& e : TextTable()) EXPECT_TRUE(seen.insert(e.key).second) << e.key;
}

struct Family {
  const char* pattern;
  int count;
};

class FamilyTest : public ::testing::TestWithParam<Family> {};

TEST_P(FamilyTest, EveryMemberHasABuiltInText) {
  for (int i = 1; i <= GetParam().count; ++i) {
    const std::string key = FamilyKey(GetParam().pattern, i);
    EXPECT_FALSE(BuiltInText(key).empty()) << key;
  }
  EXPECT_TRUE(BuiltInText(FamilyKey(GetParam().pattern, GetParam().count + 1)).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Families, FamilyTest,
    ::testing::Values(Family{"STR_MAINPAGE_DEVICE%d", 8}, Family{"STR_DEVICEPAGE_STR%d", 12},
                      Family{"STR_DEVICEPAGE_DATEFORMAT%d", 6}, Family{"STR_DEVICEPAGE_TIMEFORMAT%d", 2},
                      Family{"STR_MSGSPAGE_STRSMS%d", 7}, Family{"STR_MSGSPAGE_STRMSG%d", 4},
                      Family{"STR_MSGSPAGE_SMSFORMATS%d", 2}, Family{"STR_GPRSPAGE_STR%d", 8},
                      Family{"STR_RINGPAGE_STR%d", 13}, Family{"STR_RINGPAGE_ALARM%d", 4},
                      Family{"STR_RINGPAGE_VOL%d", 4}, Family{"STR_RINGPAGE_VIBRATING%d", 4},
                      Family{"STR_LOGGERPAGE_STR%d", 5}, Family{"STR_LOGGERPAGE_FORMAT%d", 3},
                      Family{"STR_LOGINPAGE_STR%d", 5}, Family{"STR_PASSWORDPAGE_STR%d", 7}));

TEST(TextTable, TextsKeptByteForByte) {
  EXPECT_EQ(BuiltInText("STR_MAINPAGE_DEVICE5"), "Read Setting  Failure");
  EXPECT_EQ(BuiltInText("STR_MAINPAGE_DISCONNECT"), "  Loginout");
  EXPECT_EQ(BuiltInText("STR_PASSWORDPAGE_STR3"), "Comfin Password:");
  EXPECT_EQ(BuiltInText("STR_RINGPAGE_STR4"), "Alam");
  EXPECT_EQ(BuiltInText("STR_LOGGERPAGE_DELETEDATALOG"), "Delete Date Log");
  EXPECT_EQ(BuiltInText("STR_MAINPAGE_STR2"), "Contacts && Message");
  EXPECT_EQ(BuiltInText("STR_MAINPAGE_STR8"), "Settings");
  EXPECT_EQ(BuiltInText("STR_MSGPAGE_ABOUT"),
            "about us \"Contacts && Send Message Setting\" information");
  EXPECT_EQ(BuiltInText(kImeiKey), "IMEI: %s");
}

TEST(TextTable, FamilyKeyFormsIndexedKey) {
  EXPECT_EQ(FamilyKey("STR_MAINPAGE_STR%d", 1), "STR_MAINPAGE_STR1");
  EXPECT_EQ(FamilyKey("STR_RINGPAGE_STR%d", 13), "STR_RINGPAGE_STR13");
  EXPECT_EQ(FamilyKey("STR_DEVICEPAGE_STR", 10), "STR_DEVICEPAGE_STR10");
}

class LookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(file_, "[English]\nSTR_GLOBAL_MENU=English file menu\n"
                     "[TChinese]\nSTR_GLOBAL_MENU=選單\nSTR_MAINPAGE_DEVICE2=IMEI：%s\n");
  }
  TempDir dir_;
  std::filesystem::path file_ = dir_ / "Languages.lng";
};

TEST_F(LookupTest, PartialSectionShowsItsTextsAndBuiltInRest) {
  const TextLookup t(file_, "TChinese");
  EXPECT_EQ(t.Text("STR_GLOBAL_MENU"), "選單");
  EXPECT_EQ(t.Text("STR_GLOBAL_APPLY"), "Apply");
  EXPECT_EQ(t.Text(kImeiKey, kPageImeiDefault), "IMEI：%s");
  EXPECT_EQ(t.FamilyText("STR_MAINPAGE_STR%d", 4), "Ringing && Alarm");
}

TEST_F(LookupTest, UnknownLanguageShowsBuiltInTextsNotTheEnglishSection) {
  const TextLookup t(file_, "Deutsch");
  EXPECT_EQ(t.Text("STR_GLOBAL_MENU"), "Menu");
  EXPECT_EQ(t.Text(kImeiKey, kPageImeiDefault), "IMEI:%s");
}

TEST_F(LookupTest, MissingFileShowsBuiltInTextsAndOffersNoLanguage) {
  const TextLookup t(dir_ / "absent.lng", "TChinese");
  EXPECT_EQ(t.Text("STR_MAINPAGE_DISCONNECT"), "  Loginout");
  EXPECT_TRUE(t.Languages().empty());
}

TEST_F(LookupTest, EditedFileShowsAtNextLookup) {
  const TextLookup t(file_, "TChinese");
  EXPECT_EQ(t.Text("STR_GLOBAL_APPLY"), "Apply");
  ASSERT_TRUE(IniFile(file_).Write("TChinese", "STR_GLOBAL_APPLY", "套用"));
  EXPECT_EQ(t.Text("STR_GLOBAL_APPLY"), "套用");
}

// A window takes its texts once: the same answers as reading the file each
// time (keys in any case, built-in fallbacks), and an edit shows only after
// the next load.
TEST_F(LookupTest, LoadedLookupReadsTheFileOnce) {
  TextLookup t(file_, "TChinese");
  t.Load();
  EXPECT_EQ(t.Text("str_global_menu"), "選單");
  EXPECT_EQ(t.Text(kImeiKey, kPageImeiDefault), "IMEI：%s");
  EXPECT_EQ(t.Text("STR_GLOBAL_APPLY"), "Apply");
  ASSERT_TRUE(IniFile(file_).Write("TChinese", "STR_GLOBAL_APPLY", "套用"));
  EXPECT_EQ(t.Text("STR_GLOBAL_APPLY"), "Apply");
  EXPECT_EQ(t.Load().Text("STR_GLOBAL_APPLY"), "套用");
}

// A language file of 10,000 sections (under the size limit) is refused as a
// huge one is: no language on offer, the built-in texts, and the start says so once.
TEST_F(LookupTest, AFileWithMoreSectionsThanAnyRealOneIsRefused) {
  std::string text;
  for (int s = 0; s < 10000; ++s) text += "[L" + std::to_string(s) + "]\nSTR_GLOBAL_MENU=m" + std::to_string(s) + "\n";
  ASSERT_LT(text.size(), IniFile::kMaxFileBytes);
  WriteFile(file_, text);
  TextLookup t(file_, "L5");
  EXPECT_TRUE(t.Languages().empty());
  EXPECT_EQ(t.Load().Text("STR_GLOBAL_MENU"), "Menu");
  const auto refusals = RefusedFiles({dir_ / "absent.ini", file_});
  ASSERT_EQ(refusals.size(), 1u);
  EXPECT_NE(refusals[0].find(file_.string() + " has more than 256 sections"), std::string::npos) << refusals[0];
  EXPECT_NE(refusals[0].find("the defaults are used"), std::string::npos) << refusals[0];
}

TEST_F(LookupTest, LanguagesInFileOrder) {
  EXPECT_EQ(TextLookup(file_, "English").Languages(),
            (std::vector<std::string>{"English", "TChinese"}));
}

TEST_F(LookupTest, UnknownKeyShowsItself) {
  EXPECT_EQ(TextLookup(file_, "English").Text("STR_NO_SUCH_KEY"), "STR_NO_SUCH_KEY");
}

// The language file shipped with the program.
TEST(ShippedLanguages, EnglishAndTChineseCoverEveryKey) {
  const IniFile lng(ZD573_SOURCE_LANGUAGES);
  EXPECT_EQ(lng.SectionNames(), (std::vector<std::string>{"English", "TChinese"}));
  const auto english = lng.KeyNames("English");
  const auto chinese = lng.KeyNames("TChinese");
  EXPECT_EQ(english.size(), TextTable().size());
  EXPECT_EQ(chinese.size(), TextTable().size());
  for (const auto& e : TextTable()) {
    // The shipped English asks the leave question as a sentence; the built-in
    // default stays the single word the program has always had.
    if (e.key == std::string_view("STR_GLOBAL_CHANGE")) {
      EXPECT_EQ(lng.Read("English", e.key, "<missing>").back(), '?');
    } else {
      EXPECT_EQ(lng.Read("English", e.key, "<missing>"), e.english) << e.key;
    }
    const std::string zh = lng.Read("TChinese", e.key, "<missing>");
    EXPECT_NE(zh, "<missing>") << e.key;
    EXPECT_FALSE(zh.empty()) << e.key;
  }
}

TEST(ShippedLanguages, ChineseFormatsKeepTheirConversion) {
  const IniFile lng(ZD573_SOURCE_LANGUAGES);
  EXPECT_EQ(FormatWithText(lng.Read("TChinese", kImeiKey, ""), "356000000000001"),
            "IMEI：356000000000001");
  EXPECT_EQ(lng.Read("TChinese", "STR_MAINPAGE_DISCONNECT", ""), "  登出");
}

struct FormatCase {
  const char* name;
  const char* format;
  const char* expected;
};

class FormatTextTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTextTest, OnlyTheExpectedConversionIsReplaced) {
  EXPECT_EQ(FormatWithText(GetParam().format, "356000000000001"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, FormatTextTest,
    ::testing::Values(FormatCase{"Plain", "IMEI: %s", "IMEI: 356000000000001"},
                      FormatCase{"NoConversion", "IMEI", "IMEI"},
                      FormatCase{"WriteBack", "%n%s", "%n356000000000001"},
                      FormatCase{"TwoStrings", "%s%s", "356000000000001%s"},
                      FormatCase{"NumberWhereTextExpected", "IMEI %d", "IMEI %d"},
                      FormatCase{"WidthIsNotAConversion", "%99999s", "%99999s"},
                      FormatCase{"TrailingPercent", "100%", "100%"},
                      FormatCase{"EscapedPercent", "100%% %s", "100% 356000000000001"},
                      FormatCase{"EscapedConversion", "%%s %s", "%s 356000000000001"},
                      FormatCase{"PointerConversion", "%p %x %s", "%p %x 356000000000001"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FormatText, ReplacementIsNotFormattedAgain) {
  EXPECT_EQ(FormatWithText("%s and %s", "%s%n"), "%s%n and %s");
}

TEST(FormatText, NumberReplacesFirstD) {
  EXPECT_EQ(FormatWithNumber("GMT %d", -12), "GMT -12");
  EXPECT_EQ(FormatWithNumber("%s %d %d", 7), "%s 7 %d");
  EXPECT_EQ(FormatWithNumber("%n", 7), "%n");
}

TEST(FormatText, AboutTextEscapes) {
  EXPECT_EQ(ExpandLineBreakEscapes("One.\\nTwo.\\r\\nThree \\t"), "One.\nTwo.\r\nThree \\t");
}

}  // namespace
}  // namespace zd573::settings
