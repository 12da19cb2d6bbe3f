#pragma once
// Conversions between the values the tracker stores and what the
// configuration pages show: alarm times, the time zone list, the date formats.
#include <cstdint>
#include <optional>
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

}  // namespace zd573
