#pragma once
// Conversions between the values the tracker stores and what the
// configuration pages show: alarm times, the time zone list, the date formats,
// and the words the pages give the values they keep as numbers.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zd573 {

// An alarm time as the tracker's local calendar shows it (no zone).
struct AlarmDateTime {
  int year = 2000;
  int month = 1;    // 1-12
  int day = 1;      // 1-31
  int hour = 0;     // 0-23
  int minute = 0;   // 0-59
  int second = 0;   // 0-59
  int weekday = 0;  // 0 = Sunday; ignored when encoding

  bool operator==(const AlarmDateTime&) const = default;
};

// Seconds since 2000-01-01 00:00:00. A date outside 2000-01-01..2135-12-31,
// a day the month does not have or a time of day out of range gives 0.
std::uint32_t EncodeAlarmTime(const AlarmDateTime& time);
// The calendar date and time of `value` seconds since 2000-01-01. The weekday
// is 0 for a date after 2135, which no alarm can be set to.
AlarmDateTime DecodeAlarmTime(std::uint32_t value);

// The record keeps an alarm time in a signed 32-bit field; the bits are the
// same, so a time after 2068-01-19 is stored negative.
std::int32_t AlarmTimeToRecord(std::uint32_t value);
std::uint32_t AlarmTimeFromRecord(std::int32_t stored);

// The time zone list: "GMT -12" (index 0) to "GMT +13" (index 25).
inline constexpr int kTimeZoneCount = 26;
inline constexpr int kTimeZoneUtcIndex = 12;
// The item for an offset in seconds (O6); an offset that is not a whole hour
// in -12..+13 hours shows as GMT +0.
int TimeZoneIndex(std::int32_t o6);
// The offset in seconds for an item; none for an index outside the list.
std::optional<std::int32_t> TimeZoneSeconds(int index);
// "GMT -12", "GMT +0", "GMT +13"; empty for an index outside the list.
std::string TimeZoneText(int index);
// Any offset in seconds as the list would name it: "GMT +5:30", "GMT -3:30", "GMT +14".
std::string OffsetText(std::int32_t seconds);

// The built-in date format whose text is exactly `f4`, or -1.
int DateFormatIndex(std::string_view f4);
// The built-in date format at `index`; empty for an index outside the six.
std::string_view DateFormatText(int index);

// How a page shows a value the tracker keeps as a number. The words are keys
// of the language file: the command line says them in the built-in English,
// the window in the user's language, and the pages label their lists,
// buttons and columns with them.
enum class ValueLook : std::uint8_t {
  Choice,     // the stored number picks one of the words ("High" is ringing volume 2)
  Weekdays,   // bit k of the stored number is the weekday of word k
  AlarmTime,  // seconds since 2000, shown as the time of day
  TimeZone,   // seconds east of UTC, shown as the time zone list names it
};

struct ValueWords {
  std::string_view key;
  ValueLook look;
  std::span<const std::string_view> words;  // text keys
};

// The row of `key`; none for a value shown as it is stored (texts, counts, intervals).
const ValueWords* WordsOf(std::string_view key);
// The words of a choice or of the weekdays, stored value (or bit) 0 first; empty for other keys.
std::span<const std::string_view> WordsOfKey(std::string_view key);

// How a front end says the words: a text key in its language, a time of day
// as its alarm page shows it.
struct Wording {
  std::function<std::string(std::string_view textKey)> text;
  std::function<std::string(int hour, int minute)> clock;
};
// The command line's: the built-in English, "AM 07:30".
const Wording& EnglishWording();

// `stored` (a value as it follows "KEY=") as its page shows it, with the
// stored number in brackets for scripts: "High (2)", "Mon. Fri. (17)",
// "AM 07:30 (757409400)", "GMT +8 (28800)". None for a value its page shows as
// stored, and for a number no word stands for.
std::optional<std::string> ValueInWords(std::string_view key, std::string_view stored, const Wording& wording);

}  // namespace zd573
