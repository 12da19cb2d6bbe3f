#include "device/page_values.h"

#include <iterator>

#include "device/device_settings.h"
#include "device/transactions.h"
#include "logger/log_record.h"
#include "settings/language.h"

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

namespace {

constexpr std::string_view kOnOff[] = {"STR_GLOBAL_OFF", "STR_GLOBAL_ON"};
constexpr std::string_view kTimeFormats[] = {"STR_DEVICEPAGE_TIMEFORMAT1", "STR_DEVICEPAGE_TIMEFORMAT2"};
constexpr std::string_view kSmsFormats[] = {"STR_MSGSPAGE_SMSFORMATS1", "STR_MSGSPAGE_SMSFORMATS2"};
constexpr std::string_view kVibrate[] = {"STR_RINGPAGE_VIBRATING1", "STR_RINGPAGE_VIBRATING2",
                                         "STR_RINGPAGE_VIBRATING3", "STR_RINGPAGE_VIBRATING4"};
constexpr std::string_view kVolume[] = {"STR_RINGPAGE_VOL1", "STR_RINGPAGE_VOL2", "STR_RINGPAGE_VOL3",
                                        "STR_RINGPAGE_VOL4"};
constexpr std::string_view kAlarmModes[] = {"STR_RINGPAGE_ALARM1", "STR_RINGPAGE_ALARM2", "STR_RINGPAGE_ALARM3",
                                            "STR_RINGPAGE_ALARM4"};
// Monday first, as the alarm table's columns and the mask's bits go.
constexpr std::string_view kWeekdays[] = {"STR_RINGPAGE_STR5", "STR_RINGPAGE_STR6", "STR_RINGPAGE_STR7",
                                          "STR_RINGPAGE_STR8", "STR_RINGPAGE_STR9", "STR_RINGPAGE_STR10",
                                          "STR_RINGPAGE_STR11"};
constexpr std::string_view kNoWeekday = "STR_PROFILE_NODAY";

constexpr ValueWords kValueWords[] = {
    {"F5", ValueLook::Choice, kTimeFormats},   {"F6", ValueLook::Choice, kOnOff},
    {"F7", ValueLook::Choice, kOnOff},         {"O6", ValueLook::TimeZone, {}},
    {"F2", ValueLook::Choice, kSmsFormats},    {"F8", ValueLook::Choice, kVibrate},
    {"FB", ValueLook::Choice, kVolume},        {"XC", ValueLook::Choice, kAlarmModes},
    {"YC", ValueLook::Choice, kAlarmModes},    {"ZC", ValueLook::Choice, kAlarmModes},
    {"XB", ValueLook::AlarmTime, {}},          {"YB", ValueLook::AlarmTime, {}},
    {"ZB", ValueLook::AlarmTime, {}},          {"XD", ValueLook::Weekdays, kWeekdays},
    {"YD", ValueLook::Weekdays, kWeekdays},    {"ZD", ValueLook::Weekdays, kWeekdays},
    {"OX", ValueLook::Choice, kOnOff},
};

std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

}  // namespace

const ValueWords* WordsOf(std::string_view key) {
  for (const ValueWords& row : kValueWords)
    if (row.key == key) return &row;
  return nullptr;
}

std::span<const std::string_view> WordsOfKey(std::string_view key) {
  const ValueWords* row = WordsOf(key);
  return row ? row->words : std::span<const std::string_view>();
}

const Wording& EnglishWording() {
  static const Wording english{
      [](std::string_view key) { return std::string(settings::BuiltInText(key)); },
      // The alarm page's "AP hh:mm".
      [](int hour, int minute) {
        return std::string(hour < 12 ? "AM " : "PM ") + TwoDigits(hour % 12 == 0 ? 12 : hour % 12) + ":" +
               TwoDigits(minute);
      }};
  return english;
}

std::optional<std::string> ValueInWords(std::string_view key, std::string_view stored, const Wording& wording) {
  const ValueWords* row = WordsOf(key);
  if (!row) return std::nullopt;
  const std::int32_t n = ConvertDecimal(stored);
  std::string words;
  switch (row->look) {
    case ValueLook::Choice:
      if (n < 0 || static_cast<std::size_t>(n) >= row->words.size()) return std::nullopt;
      words = wording.text(row->words[static_cast<std::size_t>(n)]);
      break;
    case ValueLook::Weekdays:
      for (std::size_t k = 0; k < row->words.size(); ++k)
        if ((static_cast<std::uint32_t>(n) >> k) & 1u) words += (words.empty() ? "" : " ") + wording.text(row->words[k]);
      if (words.empty()) words = wording.text(kNoWeekday);
      break;
    case ValueLook::AlarmTime: {
      const AlarmDateTime t = DecodeAlarmTime(AlarmTimeFromRecord(n));
      words = wording.clock(t.hour, t.minute);
      break;
    }
    case ValueLook::TimeZone: words = OffsetText(n); break;
  }
  return words + " (" + std::to_string(n) + ")";
}

}  // namespace zd573
