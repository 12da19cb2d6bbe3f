#include "device/page_values.h"

#include <iterator>

#include "device/transactions.h"
#include "logger/log_record.h"

namespace zd573 {
namespace {

constexpr int kFirstAlarmYear = 2000;
constexpr int kLastAlarmYear = 2135;  // the last whole year 32 bits of seconds reach
constexpr std::uint32_t kSecondsPerDay = 86400;
constexpr std::int32_t kSecondsPerHour = 3600;

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::uint32_t EncodeAlarmTime(const AlarmDateTime& t) {
  if (t.year < kFirstAlarmYear || t.year > kLastAlarmYear || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.hour < 0 || t.hour >= 24 || t.minute < 0 || t.minute >= 60 || t.second < 0 || t.second >= 60)
    return 0;
  // A 31st of a 30-day month would silently become the 1st of the next one.
  if (t.day > DaysInMonth(t.year, t.month)) return 0;
  std::uint32_t days = 0;
  for (int y = kFirstAlarmYear; y < t.year; ++y) days += IsLeapYear(y) ? 366 : 365;
  for (int m = 1; m < t.month; ++m) days += static_cast<std::uint32_t>(DaysInMonth(t.year, m));
  days += static_cast<std::uint32_t>(t.day - 1);
  return days * kSecondsPerDay + static_cast<std::uint32_t>(t.hour * 3600 + t.minute * 60 + t.second);
}

AlarmDateTime DecodeAlarmTime(std::uint32_t value) {
  const logger::LogDateTime d = logger::SecondsToDateTime(value, 0);
  AlarmDateTime t{d.year, d.month, d.day, d.hour, d.minute, d.second, 0};
  // 2000-01-01 was a Saturday.
  if (t.year <= kLastAlarmYear) t.weekday = static_cast<int>((value / kSecondsPerDay + 6) % 7);
  return t;
}

std::int32_t AlarmTimeToRecord(std::uint32_t value) { return static_cast<std::int32_t>(value); }

std::uint32_t AlarmTimeFromRecord(std::int32_t stored) { return static_cast<std::uint32_t>(stored); }

int TimeZoneIndex(std::int32_t o6) {
  constexpr std::int32_t kWest = -12 * kSecondsPerHour, kEast = 13 * kSecondsPerHour;
  if (o6 % kSecondsPerHour != 0 || o6 < kWest || o6 > kEast) return kTimeZoneUtcIndex;
  return o6 / kSecondsPerHour + kTimeZoneUtcIndex;
}

std::optional<std::int32_t> TimeZoneSeconds(int index) {
  if (index < 0 || index >= kTimeZoneCount) return std::nullopt;
  return (index - kTimeZoneUtcIndex) * kSecondsPerHour;
}

std::string TimeZoneText(int index) {
  const auto seconds = TimeZoneSeconds(index);
  return seconds ? OffsetText(*seconds) : std::string();
}

int DateFormatIndex(std::string_view f4) {
  for (int i = 0; i < static_cast<int>(std::size(kDateFormats)); ++i)
    if (kDateFormats[i] == f4) return i;
  return -1;
}

std::string_view DateFormatText(int index) {
  if (index < 0 || index >= static_cast<int>(std::size(kDateFormats))) return {};
  return kDateFormats[static_cast<std::size_t>(index)];
}

std::string OffsetText(std::int32_t seconds) {
  const std::int64_t total = seconds;
  const std::int64_t magnitude = total < 0 ? -total : total;
  std::string text = "GMT ";
  text += total < 0 ? '-' : '+';
  text += std::to_string(magnitude / kSecondsPerHour);
  const std::int64_t minutes = magnitude % kSecondsPerHour / 60;
  if (minutes != 0) text += (minutes < 10 ? ":0" : ":") + std::to_string(minutes);
  return text;
}

}  // namespace zd573
