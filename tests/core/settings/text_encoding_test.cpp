#include "settings/text_encoding.h"

#include <gtest/gtest.h>

#include "settings/paths.h"
#include "temp_dir.h"

namespace zd573::settings {
namespace {

using testing::TempDir;

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

TEST(TextEncoding, EveryOfferedCodePageConverts) {
  for (const CodePage& cp : OfferedCodePages()) {
    EXPECT_FALSE(IconvName(cp.number).empty()) << cp.number;
    EXPECT_FALSE(cp.displayName.empty());
  }
  EXPECT_TRUE(IconvName(12345).empty());
}

struct RoundTrip {
  int codePage;
  const char* text;
  std::string bytes;  // what the device sees for `text`
};

class RoundTripTest : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RoundTripTest, EncodesToDeviceBytesAndBack) {
  const auto encoded = EncodeDeviceText(GetParam().text, GetParam().codePage);
  ASSERT_TRUE(encoded) << encoded.error();
  EXPECT_EQ(*encoded, GetParam().bytes);
  EXPECT_EQ(DecodeDeviceText(*encoded, GetParam().codePage), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, RoundTripTest,
    ::testing::Values(RoundTrip{1252, "Caf\xC3\xA9 \xE2\x82\xAC" "5", "Caf\xE9 \x80" "5"},
                      RoundTrip{1252, "", ""},
                      RoundTrip{950, "中裝 A1", "\xA4\xA4\xB8\xCB A1"},
                      RoundTrip{936, "中设", "\xD6\xD0\xC9\xE8"},
                      RoundTrip{932, "日本", "\x93\xFA\x96\x7B"},
                      RoundTrip{949, "한국", "\xC7\xD1\xB1\xB9"},
                      RoundTrip{1250, "ż", "\xBF"},
                      RoundTrip{1251, "Пр", "\xCF\xF0"},
                      RoundTrip{1253, "Ω", "\xD9"},
                      RoundTrip{1254, "ş", "\xFE"},
                      RoundTrip{1255, "ש", "\xF9"},
                      RoundTrip{1256, "ع", "\xDA"},
                      RoundTrip{1257, "ž", "\xFE"},
                      RoundTrip{874, "ส", "\xCA"}));

struct Unencodable {
  int codePage;
  const char* text;
  const char* named;  // the character the error must name
};

class UnencodableTest : public ::testing::TestWithParam<Unencodable> {};

TEST_P(UnencodableTest, RefusedWithTheCharacterNamed) {
  const auto encoded = EncodeDeviceText(GetParam().text, GetParam().codePage);
  ASSERT_FALSE(encoded);
  EXPECT_NE(encoded.error().find(GetParam().named), std::string::npos) << encoded.error();
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, UnencodableTest,
    ::testing::Values(Unencodable{1252, "Car 中", "U+4E2D"},
                      Unencodable{950, "車 \xF0\x9F\x98\x80", "U+1F600"},
                      Unencodable{1251, "Ok \xC3\xA9", "U+00E9"},
                      Unencodable{1252, "bad \xFF utf-8", "byte 4"},
                      Unencodable{12345, "x", "code page 12345"}));

TEST(TextEncoding, UndecodableBytesBecomeReplacementCharacters) {
  EXPECT_EQ(DecodeDeviceText("A\x81" "B", 1252), "A" + std::string(kReplacement) + "B");
  EXPECT_EQ(DecodeDeviceText("\xA4\xA4\xA4", 950), "中" + std::string(kReplacement))
      << "a lead byte cut off at the end";
  EXPECT_EQ(DecodeDeviceText("Caf\xE9", 12345), "Caf\xC3\xA9") << "unusable code page reads as 1252";
}

struct LocaleCase {
  const char* locale;
  int codePage;
};

class LocaleTest : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(LocaleTest, MapsLikeTheWindowsAnsiCodePage) {
  EXPECT_EQ(CodePageForLocale(GetParam().locale), GetParam().codePage) << GetParam().locale;
}

INSTANTIATE_TEST_SUITE_P(
    Locales, LocaleTest,
    ::testing::Values(
        LocaleCase{"zh_TW.UTF-8", 950}, LocaleCase{"zh_HK.UTF-8", 950}, LocaleCase{"zh_TW", 950},
        LocaleCase{"zh_CN.UTF-8", 936}, LocaleCase{"zh_SG.GBK", 936},
        LocaleCase{"ja_JP.UTF-8", 932}, LocaleCase{"ko_KR.EUC-KR", 949},
        LocaleCase{"ru_RU.UTF-8", 1251}, LocaleCase{"uk_UA.UTF-8", 1251}, LocaleCase{"bg_BG", 1251},
        LocaleCase{"be_BY.UTF-8", 1251}, LocaleCase{"mk_MK.UTF-8", 1251},
        LocaleCase{"sr_RS.UTF-8", 1251}, LocaleCase{"sr_RS.UTF-8@latin", 1250},
        LocaleCase{"sr_RS@latin", 1250}, LocaleCase{"pl_PL.UTF-8", 1250}, LocaleCase{"cs_CZ", 1250},
        LocaleCase{"sk_SK", 1250}, LocaleCase{"hu_HU", 1250}, LocaleCase{"sl_SI", 1250},
        LocaleCase{"hr_HR", 1250}, LocaleCase{"ro_RO", 1250}, LocaleCase{"el_GR.UTF-8", 1253},
        LocaleCase{"tr_TR.UTF-8", 1254}, LocaleCase{"he_IL.UTF-8", 1255},
        LocaleCase{"ar_EG.UTF-8", 1256}, LocaleCase{"fa_IR", 1256}, LocaleCase{"lt_LT", 1257},
        LocaleCase{"lv_LV", 1257}, LocaleCase{"et_EE", 1257}, LocaleCase{"vi_VN", 1258},
        LocaleCase{"th_TH.UTF-8", 874}, LocaleCase{"en_US.UTF-8", 1252},
        LocaleCase{"de_DE@euro", 1252}, LocaleCase{"C", 1252}, LocaleCase{"C.UTF-8", 1252},
        LocaleCase{"POSIX", 1252}, LocaleCase{"", 1252}, LocaleCase{"ZH_tw.utf8", 950},
        LocaleCase{"zh-TW", 950}));

TEST(TextEncoding, ConfiguredCodePageWinsWhenUsable) {
  TempDir dir;
  const IniFile ini(dir / "system.ini");
  const int fallback = DefaultDeviceCodePage();
  EXPECT_EQ(DeviceCodePage(ini), fallback);
  ASSERT_TRUE(WriteDeviceCodePage(ini, 950));
  EXPECT_EQ(DeviceCodePage(ini), 950);
  for (const char* bad : {"big5", "950x", "-1", "12345", ""}) {
    ASSERT_TRUE(ini.Write("SYSTEM", "DeviceCodePage", bad));
    EXPECT_EQ(DeviceCodePage(ini), fallback) << bad;
  }
  EXPECT_FALSE(WriteDeviceCodePage(ini, 12345));
}

}  // namespace
}  // namespace zd573::settings
