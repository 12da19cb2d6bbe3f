#include "logger/log_import.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "common/files.h"

namespace zd573::logger {
namespace {

constexpr std::string_view kCsvHeaderStart = "Local time,GPS time,";

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// A whole number within [lo, hi].
std::optional<long> Whole(std::string_view s, long lo, long hi) {
  if (s.empty()) return std::nullopt;
  long v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || v < lo || v > hi) return std::nullopt;
  return v;
}

std::optional<double> Decimal(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// A decimal scaled by `scale` and rounded to a whole number within [lo, hi].
std::optional<long> Scaled(std::string_view s, double scale, long lo, long hi) {
  const auto v = Decimal(s);
  if (!v) return std::nullopt;
  const double scaled = std::round(*v * scale);
  if (scaled < lo || scaled > hi) return std::nullopt;
  return static_cast<long>(scaled);
}

// "YYYY-MM-DD" + sep + "HH:MM:SS"
std::optional<uint32_t> ParseTime(std::string_view s, char sep) {
  if (s.size() != 19 || s[4] != '-' || s[7] != '-' || s[10] != sep || s[13] != ':' || s[16] != ':')
    return std::nullopt;
  const auto y = Whole(s.substr(0, 4), 2000, 2200), mo = Whole(s.substr(5, 2), 1, 12),
             d = Whole(s.substr(8, 2), 1, 31), h = Whole(s.substr(11, 2), 0, 23),
             mi = Whole(s.substr(14, 2), 0, 59), se = Whole(s.substr(17, 2), 0, 59);
  if (!y || !mo || !d || !h || !mi || !se) return std::nullopt;
  return DateTimeToSeconds({static_cast<uint16_t>(*y), static_cast<uint8_t>(*mo), static_cast<uint8_t>(*d),
                            static_cast<uint8_t>(*h), static_cast<uint8_t>(*mi), static_cast<uint8_t>(*se)});
}

Error BadLine(std::string_view what, std::size_t number, std::string_view why) {
  return Error{std::string(kErrorDataInRawFile), ErrorCode::File,
               std::string(what) + " " + std::to_string(number) + ": " + std::string(why)};
}

std::string_view Text(const std::vector<uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The text of <name>...</name> inside `element`, or nullopt.
std::optional<std::string_view> Child(std::string_view element, std::string_view name) {
  const std::string open = "<" + std::string(name) + ">";
  const std::size_t start = element.find(open);
  if (start == std::string_view::npos) return std::nullopt;
  const std::size_t from = start + open.size();
  const std::size_t end = element.find("</" + std::string(name) + ">", from);
  if (end == std::string_view::npos) return std::nullopt;
  return Trim(element.substr(from, end - from));
}

// The value of attribute `name` in a start tag.
std::optional<std::string_view> Attribute(std::string_view tag, std::string_view name) {
  for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
    if (at == 0 || (tag[at - 1] != ' ' && tag[at - 1] != '\t' && tag[at - 1] != '\n' && tag[at - 1] != '\r'))
      continue;
    std::size_t p = at + name.size();
    while (p < tag.size() && tag[p] == ' ') ++p;
    if (p >= tag.size() || tag[p] != '=') continue;
    ++p;
    while (p < tag.size() && tag[p] == ' ') ++p;
    if (p >= tag.size() || (tag[p] != '"' && tag[p] != '\'')) return std::nullopt;
    const std::size_t end = tag.find(tag[p], p + 1);
    if (end == std::string_view::npos) return std::nullopt;
    return tag.substr(p + 1, end - p - 1);
  }
  return std::nullopt;
}

}  // namespace

std::optional<uint32_t> DateTimeToSeconds(const LogDateTime& t) {
  static constexpr uint8_t kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.year < 2000 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > kDays[t.month - 1] || t.hour > 23 ||
      t.minute > 59 || t.second > 59)
    return std::nullopt;
  const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
  if (t.month == 2 && t.day == 29 && !leap) return std::nullopt;
  // Days from 2000-03-01, the inverse of SecondsToDateTime's closed form.
  const int64_t y = t.year - (t.month <= 2 ? 1 : 0);
  const int64_t era = y / 400;
  const int64_t yoe = y - era * 400;
  const int64_t mp = (t.month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + t.day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = era * 146097 + doe - 730425;  // 730425: 0000-03-01 to 2000-01-01
  const int64_t seconds = days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  if (seconds < 0 || seconds > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(seconds);
}

TrackFileKind DetectTrackFile(const std::vector<uint8_t>& bytes) {
  std::string_view text = Text(bytes).substr(0, 4096);
  if (StartsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
  if (StartsWith(text, kCsvHeaderStart)) return TrackFileKind::Csv;
  const std::string_view head = Trim(text);
  if ((StartsWith(head, "<?xml") || StartsWith(head, "<gpx")) && head.find("<gpx") != std::string_view::npos)
    return TrackFileKind::Gpx;
  return TrackFileKind::Raw;
}

Expected<RawLog> ParseCsvExport(const std::vector<uint8_t>& bytes) {
  std::string_view text = Text(bytes);
  if (StartsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<LogRecord> records;
  std::size_t number = 0;
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (number == 1 || line.empty()) continue;  // the header
    // Each field is ="value" followed by a comma.
    std::string_view f[11];
    std::string_view rest = line;
    for (auto& field : f) {
      const std::size_t close = rest.find("\",");
      if (!StartsWith(rest, "=\"") || close == std::string_view::npos) return BadLine("line", number, "not 11 fields");
      field = rest.substr(2, close - 2);
      rest.remove_prefix(close + 2);
    }
    if (!rest.empty()) return BadLine("line", number, "more than 11 fields");
    auto unit = [](std::string_view v, std::string_view suffix) {
      return v.size() >= suffix.size() && v.substr(v.size() - suffix.size()) == suffix
                 ? v.substr(0, v.size() - suffix.size())
                 : std::string_view{};
    };
    const auto time = ParseTime(f[1], ' ');
    const auto mode = Whole(f[2], 1, 4), sats = Whole(f[3], 0, 63);
    const auto lat = Scaled(f[4], 1e6, -90000000, 90000000), lon = Scaled(f[5], 1e6, -180000000, 180000000);
    const auto alt = Whole(unit(f[6], " m"), 0, 65535);
    const auto speed = Scaled(unit(f[7], " Km/h"), 100, 0, 65535);
    const auto course = Whole(f[8], 0, 510), hdop = Scaled(f[9], 10, 0, 255), battery = Whole(f[10], 0, 255);
    if (!time || !mode || !sats || !lat || !lon || !alt || !speed || !course || !hdop || !battery)
      return BadLine("line", number, "a value that is not ours");
    LogRecord r;
    r.gpsTime = *time;
    r.latitude = static_cast<int32_t>(*lat);
    r.longitude = static_cast<int32_t>(*lon);
    r.altitude = static_cast<uint16_t>(*alt);
    r.speed = static_cast<uint16_t>(*speed);
    r.status = static_cast<uint8_t>(((*mode - 1) << 6) | *sats);
    r.course = static_cast<uint8_t>(*course / 2);
    r.hdop = static_cast<uint8_t>(*hdop);
    r.battery = static_cast<uint8_t>(*battery);
    records.push_back(r);
  }
  if (records.empty()) return Error{std::string(kNoValidGpsData)};
  return RawLog::FromRecords(records);
}

Expected<RawLog> ParseGpxExport(const std::vector<uint8_t>& bytes) {
  const std::string_view text = Text(bytes);
  std::vector<LogRecord> records;
  for (std::size_t at = text.find("<trkpt"); at != std::string_view::npos; at = text.find("<trkpt", at + 1)) {
    const std::size_t number = records.size() + 1;
    const std::size_t tagEnd = text.find('>', at);
    const std::size_t end = text.find("</trkpt>", at);
    if (tagEnd == std::string_view::npos || end == std::string_view::npos || end < tagEnd)
      return BadLine("point", number, "no end");
    const std::string_view tag = text.substr(at, tagEnd - at);
    const std::string_view body = text.substr(tagEnd + 1, end - tagEnd - 1);
    const auto latText = Attribute(tag, "lat"), lonText = Attribute(tag, "lon");
    const auto timeText = Child(body, "time");
    if (!latText || !lonText || !timeText) return BadLine("point", number, "no position or time");
    std::string_view when = *timeText;
    if (!when.empty() && when.back() == 'Z') when.remove_suffix(1);
    if (when.size() > 19 && when[19] == '.') when = when.substr(0, 19);  // fractions of a second
    const auto time = ParseTime(when, 'T');
    const auto lat = Scaled(*latText, 1e6, -90000000, 90000000), lon = Scaled(*lonText, 1e6, -180000000, 180000000);
    if (!time || !lat || !lon) return BadLine("point", number, "a value that is not ours");
    LogRecord r;
    r.gpsTime = *time;
    r.latitude = static_cast<int32_t>(*lat);
    r.longitude = static_cast<int32_t>(*lon);
    if (const auto ele = Child(body, "ele")) r.altitude = static_cast<uint16_t>(Scaled(*ele, 1, 0, 65535).value_or(0));
    int fixCode = 2;  // a point without <fix> has a position: call it 3D
    if (const auto fix = Child(body, "fix")) {
      fixCode = *fix == "none" ? 0 : *fix == "2d" ? 1 : *fix == "3d" ? 2 : *fix == "dgps" ? 3 : 2;
    }
    const long sats = Child(body, "sat") ? Whole(*Child(body, "sat"), 0, 63).value_or(0) : 0;
    r.status = static_cast<uint8_t>((fixCode << 6) | sats);
    if (const auto hdop = Child(body, "hdop")) r.hdop = static_cast<uint8_t>(Scaled(*hdop, 10, 0, 255).value_or(255));
    // m/s with three decimals: times 360 gives hundredths of a km/h back exactly.
    if (const auto speed = Child(body, "gpxtpx:speed"))
      r.speed = static_cast<uint16_t>(Scaled(*speed, 360, 0, 65535).value_or(0));
    const auto course = Child(body, "gpxtpx:course");
    r.course = static_cast<uint8_t>(course ? Whole(*course, 0, 359).value_or(0) / 2 : 180);
    records.push_back(r);
  }
  if (records.empty()) return Error{std::string(kNoValidGpsData)};
  return RawLog::FromRecords(records);
}

Expected<RawLog> LoadTrackFile(const std::string& path) {
  files::ReadResult r = files::ReadWholeFile(path, kMaxRawLogBytes, false);
  if (r.problem == files::ReadProblem::TooLarge)
    return Error{std::string(kErrorDataInRawFile), ErrorCode::File,
                 "more than " + std::to_string(kMaxRawLogBytes >> 20) + " MiB, larger than any tracker's log"};
  if (r.problem != files::ReadProblem::None) return Error{std::string(kCantOpenRawFile)};
  switch (DetectTrackFile(r.bytes)) {
    case TrackFileKind::Csv: return ParseCsvExport(r.bytes);
    case TrackFileKind::Gpx: return ParseGpxExport(r.bytes);
    case TrackFileKind::Raw: break;
  }
  return RawLog::FromBytes(std::move(r.bytes));
}

}  // namespace zd573::logger
