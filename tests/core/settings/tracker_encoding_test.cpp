// The encoding of a tracker's texts: the user's choice for all, else the one
// its texts were written in, else the display language's.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "settings/paths.h"
#include "settings/text_encoding.h"
#include "temp_dir.h"

namespace zd573::settings {
namespace {

using testing::TempDir;

constexpr std::string_view kImei = "353456789012345";
constexpr std::string_view kOtherImei = "353456789099999";
// 王小明 in Big5, as a name written from the Traditional Chinese interface.
constexpr std::string_view kBig5Name = "\xA4\xFD\xA4\x70\xA9\xFA";

TEST(TrackerEncoding, TextsWrittenInBig5ReadBackAfterTheInterfaceTurnsEnglishAndTheProgramRestarts) {
  TempDir dir;
  {
    const IniFile ini(dir / "system.ini");
    const int inUse = TrackerCodePage(ini, kImei, "zh_TW");
    ASSERT_EQ(inUse, 950);
    ASSERT_TRUE(RememberTrackerCodePage(ini, kImei, inUse));
  }
  const IniFile restarted(dir / "system.ini");
  const int codePage = TrackerCodePage(restarted, kImei, "en_US");
  EXPECT_EQ(codePage, 950);
  EXPECT_EQ(DecodeDeviceText(kBig5Name, codePage), "王小明");
  const auto edit = EncodeDeviceText("王小明", codePage);
  ASSERT_TRUE(edit);
  EXPECT_EQ(*edit, kBig5Name) << "edits go out in Big5 too";
  EXPECT_EQ(TrackerCodePage(restarted, kOtherImei, "en_US"), DefaultDeviceCodePage("en_US"))
      << "another tracker still follows the language";
  EXPECT_EQ(TrackerCodePage(restarted, "", "en_US"), DefaultDeviceCodePage("en_US")) << "no tracker known yet";
}

struct Resolution {
  const char* name;
  std::optional<int> chosenForAll;
  std::optional<std::string> remembered;  // stored for kImei, as written in the file
  const char* locale;
  int expected;
};

class ResolutionTest : public ::testing::TestWithParam<Resolution> {};

TEST_P(ResolutionTest, AppliesInOrderChoiceRememberedLanguage) {
  TempDir dir;
  const IniFile ini(dir / "system.ini");
  if (GetParam().chosenForAll) {
    ASSERT_TRUE(WriteDeviceCodePage(ini, *GetParam().chosenForAll));
  }
  if (GetParam().remembered) {
    ASSERT_TRUE(ini.Write(kTrackerEncodingSection, kImei, *GetParam().remembered));
  }
  EXPECT_EQ(TrackerCodePage(ini, kImei, GetParam().locale), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolutionTest,
    ::testing::Values(Resolution{"ChoiceWinsOverRemembered", 1252, "950", "zh_TW", 1252},
                      Resolution{"ChoiceWinsOverLanguage", 936, std::nullopt, "zh_TW", 936},
                      Resolution{"RememberedWinsOverLanguage", std::nullopt, "950", "en_US", 950},
                      Resolution{"RememberedWesternOverChineseLanguage", std::nullopt, "1252", "zh_TW", 1252},
                      Resolution{"UnusableRememberedIsIgnored", std::nullopt, "12345", "zh_TW", 950},
                      Resolution{"GarbledRememberedIsIgnored", std::nullopt, "95O", "zh_TW", 950}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrackerEncoding, NothingIsRememberedWhileTheUserChoseOneForAll) {
  TempDir dir;
  const IniFile ini(dir / "system.ini");
  ASSERT_TRUE(WriteDeviceCodePage(ini, 1252));
  ASSERT_TRUE(RememberTrackerCodePage(ini, kImei, 950));
  EXPECT_EQ(RememberedCodePage(ini, kImei), std::nullopt);

  const IniFile fresh(dir / "fresh.ini");
  EXPECT_TRUE(RememberTrackerCodePage(fresh, "", 950)) << "no tracker: nothing to remember, no failure";
  EXPECT_FALSE(RememberTrackerCodePage(fresh, "bad=imei", 950)) << "an IMEI that cannot be a key is refused";
  EXPECT_FALSE(RememberTrackerCodePage(fresh, kImei, 12345));
  EXPECT_EQ(RememberedCodePage(fresh, kImei), std::nullopt);
}

struct Cleanness {
  std::string bytes;
  int codePage;
  bool clean;
};

class CleannessTest : public ::testing::TestWithParam<Cleanness> {};

TEST_P(CleannessTest, SaysWhetherEveryByteDecodes) {
  EXPECT_EQ(DecodesCleanly(GetParam().bytes, GetParam().codePage), GetParam().clean);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, CleannessTest,
    ::testing::Values(Cleanness{std::string(kBig5Name), 950, true}, Cleanness{"", 950, true},
                      Cleanness{"Caf\xE9", 1252, true},
                      Cleanness{"Caf\xE9 ok", 950, false},  // Western text read as Big5
                      Cleanness{"\xA4\xFD\xA4", 950, false},  // a lead byte cut off
                      Cleanness{"A\x81" "B", 1252, false},     // a byte 1252 leaves undefined
                      Cleanness{"\xE4\xB8\xAD", 1252, true}));  // UTF-8 reads as (wrong but valid) 1252
}  // namespace
}  // namespace zd573::settings
