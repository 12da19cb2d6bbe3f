// What the configuration pages show for the tracker's stored values.
#include <gtest/gtest.h>

#include <limits>
#include <ostream>

#include "device/page_values.h"

namespace zd573 {
namespace {

struct EncodeCase {
  const char* name;
  AlarmDateTime time;
  std::uint32_t value;
};
void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }

class AlarmEncode : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(AlarmEncode, GivesSecondsSince2000OrZero) {
  EXPECT_EQ(EncodeAlarmTime(GetParam().time), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlarmEncode,
    ::testing::Values(EncodeCase{"Epoch", {2000, 1, 1, 0, 0, 0}, 0},
                      EncodeCase{"SecondDay", {2000, 1, 2, 1, 2, 3}, 90123},
                      EncodeCase{"LeapDay2000", {2000, 2, 29, 0, 0, 0}, 59 * 86400},
                      EncodeCase{"AfterLeapDay2000", {2000, 3, 1, 0, 0, 0}, 60 * 86400},
                      EncodeCase{"Year2001", {2001, 1, 1, 0, 0, 0}, 366 * 86400},
                      EncodeCase{"LastSecond", {2135, 12, 31, 23, 59, 59}, 4291747199u},
                      EncodeCase{"NoLeapDay2100", {2100, 2, 29, 0, 0, 0}, 0},
                      EncodeCase{"ThirtyFirstOfApril", {2024, 4, 31, 12, 0, 0}, 0},
                      EncodeCase{"Year2136", {2136, 1, 1, 0, 0, 0}, 0},
                      EncodeCase{"Year1999", {1999, 12, 31, 23, 59, 59}, 0},
                      EncodeCase{"Month0", {2024, 0, 1, 0, 0, 0}, 0},
                      EncodeCase{"Month13", {2024, 13, 1, 0, 0, 0}, 0},
                      EncodeCase{"Day0", {2024, 5, 0, 0, 0, 0}, 0},
                      EncodeCase{"Hour24", {2024, 5, 1, 24, 0, 0}, 0},
                      EncodeCase{"Minute60", {2024, 5, 1, 0, 60, 0}, 0},
                      EncodeCase{"NegativeSecond", {2024, 5, 1, 0, 0, -1}, 0}),
    [](const auto& info) { return info.param.name; });

struct DecodeCase {
  std::uint32_t value;
  AlarmDateTime time;
};

TEST(AlarmDecode, CalendarAndWeekday) {
  const DecodeCase cases[] = {
      {0, {2000, 1, 1, 0, 0, 0, 6}},                      // a Saturday
      {90123, {2000, 1, 2, 1, 2, 3, 0}},                  // a Sunday
      {59 * 86400, {2000, 2, 29, 0, 0, 0, 2}},            // a Tuesday
      {4291747199u, {2135, 12, 31, 23, 59, 59, 6}},       // a Saturday
      {0x80000000u, {2068, 1, 19, 3, 14, 8, 4}},          // first value the record stores negative; a Thursday
      {0xFFFFFFFFu, {2136, 2, 7, 6, 28, 15, 0}},          // beyond the alarm years: no weekday
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeAlarmTime(c.value), c.time) << c.value;
}

TEST(AlarmDecode, EncodeUndoesDecode) {
  for (std::uint32_t v : {0u, 90123u, 59u * 86400 + 43199, 0x7FFFFFFFu, 0x80000000u, 4291747199u}) {
    AlarmDateTime t = DecodeAlarmTime(v);
    EXPECT_EQ(EncodeAlarmTime(t), v) << v;
    EXPECT_EQ(AlarmTimeFromRecord(AlarmTimeToRecord(v)), v) << v;
  }
  EXPECT_EQ(AlarmTimeToRecord(0x80000000u), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(AlarmTimeFromRecord(-1), 0xFFFFFFFFu);
}

TEST(TimeZone, IndexSecondsAndText) {
  const struct {
    std::int32_t o6;
    int index;
  } toIndex[] = {{-43200, 0}, {0, 12}, {-18000, 7}, {46800, 25},
                 {1800, 12}, {46801, 12}, {50400, 12}, {-46800, 12}};
  for (const auto& c : toIndex) EXPECT_EQ(TimeZoneIndex(c.o6), c.index) << c.o6;

  const struct {
    int index;
    std::optional<std::int32_t> seconds;
    const char* text;
  } items[] = {{0, -43200, "GMT -12"}, {11, -3600, "GMT -1"}, {12, 0, "GMT +0"},
               {25, 46800, "GMT +13"}, {-1, std::nullopt, ""},   {26, std::nullopt, ""}};
  for (const auto& c : items) {
    EXPECT_EQ(TimeZoneSeconds(c.index), c.seconds) << c.index;
    EXPECT_EQ(TimeZoneText(c.index), c.text) << c.index;
  }
}

TEST(DateFormat, LookupBothWays) {
  const struct {
    const char* f4;
    int index;
  } cases[] = {{"mm-dd-yy", 0}, {"yy.mm.dd", 5}, {"dd.mm.yy", 4}, {"dd/mm/yy", -1}, {"MM-DD-YY", -1},
               {"mm-dd-yy ", -1}, {"", -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(DateFormatIndex(c.f4), c.index) << c.f4;
    if (c.index >= 0) {
      EXPECT_EQ(DateFormatText(c.index), c.f4);
    }
  }
  EXPECT_EQ(DateFormatText(-1), "");
  EXPECT_EQ(DateFormatText(6), "");
}

// The command line's words for values kept as numbers; texts and plain
// numbers, and a number no word stands for, have none.
TEST(ValueWords, EnglishAsThePagesShowThem) {
  const struct {
    const char* key;
    const char* stored;
    std::optional<std::string> words;
  } cases[] = {{"FB", "2", "High (2)"},
               {"ZC", "3", "Recurrence rule (3)"},
               {"F6", "0", "OFF (0)"},
               {"F5", "1", "24 Hours (1)"},
               {"XD", "21", "Mon. Wed. Fri. (21)"},
               {"YD", "0", "none (0)"},
               {"XB", "757409400", "AM 07:30 (757409400)"},
               {"YB", "43200", "PM 12:00 (43200)"},
               {"ZB", "0", "AM 12:00 (0)"},
               {"O6", "19800", "GMT +5:30 (19800)"},
               {"FB", "7", std::nullopt},
               {"H2", "60", std::nullopt},
               {"D1", "internet", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(ValueInWords(c.key, c.stored, EnglishWording()), c.words) << c.key << "=" << c.stored;
}

TEST(ValueWords, EveryWordHasABuiltInText) {
  for (const char* key : {"F2", "F5", "F6", "F7", "F8", "FB", "XC", "YD", "OX"}) {
    ASSERT_FALSE(WordsOfKey(key).empty()) << key;
    for (std::string_view word : WordsOfKey(key)) EXPECT_FALSE(EnglishWording().text(word).empty()) << word;
  }
}

}  // namespace
}  // namespace zd573
