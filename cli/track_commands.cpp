#include "track_commands.h"

#include <cmath>
#include <cstdio>
#include <iostream>

#include "common/files.h"
#include "logger/log_archive.h"
#include "logger/log_import.h"
#include "logger/replacing_file.h"
#include "logger/track_stats.h"

namespace zd573::cli {
namespace {

using logger::LogDateTime;

std::string Format(const char* format, double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

std::string Two(unsigned v) { return std::string{static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)}; }

std::string Date(const LogDateTime& t) {
  return std::to_string(t.year) + "-" + Two(t.month) + "-" + Two(t.day);
}

std::string Clock(const LogDateTime& t) { return Two(t.hour) + ":" + Two(t.minute) + ":" + Two(t.second); }

std::string Utc(uint32_t gpsTime) {
  const LogDateTime t = logger::SecondsToDateTime(gpsTime, 0);
  return Date(t) + "T" + Clock(t) + "Z";
}

std::string Local(uint32_t gpsTime, int32_t offset) {
  const LogDateTime t = logger::SecondsToDateTime(gpsTime, offset);
  return Date(t) + " " + Clock(t);
}

// h:mm:ss
std::string Duration(double seconds) {
  const long s = std::lround(seconds);
  return std::to_string(s / 3600) + ":" + Two(static_cast<unsigned>(s / 60 % 60)) + ":" +
         Two(static_cast<unsigned>(s % 60));
}

std::string Offset(int32_t offset) {
  const int32_t a = offset < 0 ? -offset : offset;
  return std::string("UTC") + (offset < 0 ? "-" : "+") + Two(static_cast<unsigned>(a / 3600)) + ":" +
         Two(static_cast<unsigned>(a / 60 % 60));
}

std::string Degrees(int32_t micro) { return Format("%.6f", micro / 1e6); }

std::string JsonTime(const std::optional<uint32_t>& t) { return t ? "\"" + Utc(*t) + "\"" : "null"; }

// The figures both the whole and each day have, as JSON members.
std::string JsonFigures(const logger::TrackFigures& f) {
  return "\"records\": " + std::to_string(f.records) + ", \"fixes\": " + std::to_string(f.fixes) +
         ", \"first_utc\": " + JsonTime(f.first) + ", \"last_utc\": " + JsonTime(f.last) +
         ", \"distance_m\": " + Format("%.1f", f.distanceMetres) +
         ", \"moving_s\": " + std::to_string(std::lround(f.movingSeconds)) +
         ", \"moving_distance_m\": " + Format("%.1f", f.movingMetres) +
         ", \"avg_moving_speed_kmh\": " + Format("%.2f", f.AverageMovingSpeedKmh()) +
         ", \"max_speed_kmh\": " + Format("%.2f", f.MaxSpeedKmh()) + ", \"climb_m\": " + std::to_string(f.climbMetres) +
         ", \"descent_m\": " + std::to_string(f.descentMetres);
}

void PrintJson(const logger::TrackStats& s) {
  std::string out = "{\n  " + JsonFigures(s.total) + ",\n";
  out += "  \"left_out\": {\"no_fix\": " + std::to_string(s.leftOut.noFix) +
         ", \"hidden\": " + std::to_string(s.leftOut.hidden) + ", \"jumps\": " + std::to_string(s.leftOut.jumps) +
         "},\n";
  out += "  \"local_offset_s\": " + std::to_string(s.localOffset) + ",\n";
  out += "  \"segments\": " + std::to_string(s.segments) + ",\n";
  out += "  \"stops\": [";
  for (std::size_t i = 0; i < s.stops.size(); ++i) {
    const logger::TrackStop& stop = s.stops[i];
    out += std::string(i ? "," : "") + "\n    {\"start_utc\": \"" + Utc(stop.start) + "\", \"end_utc\": \"" +
           Utc(stop.end) + "\", \"duration_s\": " + std::to_string(stop.Seconds()) +
           ", \"lat\": " + Degrees(stop.latitude) + ", \"lon\": " + Degrees(stop.longitude) + "}";
  }
  out += s.stops.empty() ? "],\n" : "\n  ],\n";
  out += "  \"days\": [";
  for (std::size_t i = 0; i < s.days.size(); ++i) {
    const logger::DayFigures& d = s.days[i];
    out += std::string(i ? "," : "") + "\n    {\"date\": \"" + Date(d.date) + "\", " + JsonFigures(d) +
           ", \"stops\": " + std::to_string(d.stops) + "}";
  }
  out += s.days.empty() ? "]\n}\n" : "\n  ]\n}\n";
  std::cout << out;
}

std::string Kilometres(double metres) { return Format("%.2f", metres / 1000) + " km"; }

void PrintText(const logger::TrackStats& s) {
  const logger::TrackFigures& t = s.total;
  std::string out;
  auto line = [&out](const std::string& label, const std::string& value) {
    out += label + std::string(label.size() < 22 ? 22 - label.size() : 1, ' ') + value + "\n";
  };
  const std::string leftOut = logger::DescribeLeftOut(s.leftOut);
  line("Records:", std::to_string(t.records) + (leftOut.empty() ? "" : " (" + leftOut + ")"));
  line("Fixes:", std::to_string(t.fixes));
  if (t.first) line("First record:", Local(*t.first, s.localOffset) + " (" + Utc(*t.first) + ")");
  if (t.last) line("Last record:", Local(*t.last, s.localOffset) + " (" + Utc(*t.last) + ")");
  line("Local time:", Offset(s.localOffset) + ", daylight saving not applied");
  line("Segments:", std::to_string(s.segments));
  line("Distance:", Kilometres(t.distanceMetres));
  line("Moving time:", Duration(t.movingSeconds));
  line("Average moving speed:", Format("%.1f", t.AverageMovingSpeedKmh()) + " km/h");
  line("Maximum speed:", Format("%.2f", t.MaxSpeedKmh()) + " km/h");
  line("Climb:", std::to_string(t.climbMetres) + " m (descent " + std::to_string(t.descentMetres) + " m)");
  line("Stops:", std::to_string(s.stops.size()));
  for (const logger::TrackStop& stop : s.stops) {
    out += "  " + Local(stop.start, s.localOffset) + " to " + Local(stop.end, s.localOffset) + " (" +
           Duration(stop.Seconds()) + ") at " + Degrees(stop.latitude) + "," + Degrees(stop.longitude) + "\n";
  }
  out += "Days:\n";
  for (const logger::DayFigures& d : s.days) {
    out += "  " + Date(d.date) + ": " + std::to_string(d.fixes) + " fixes, " + Kilometres(d.distanceMetres) +
           ", moving " + Duration(d.movingSeconds) + ", average " + Format("%.1f", d.AverageMovingSpeedKmh()) +
           " km/h, max " + Format("%.2f", d.MaxSpeedKmh()) + " km/h, climb " + std::to_string(d.climbMetres) +
           " m, " + std::to_string(d.stops) + (d.stops == 1 ? " stop\n" : " stops\n");
  }
  std::cout << out;
}

logger::TrackFilterOptions FilterOptions(const LogArgs& args) {
  return {args.dropNoFix, args.dropJumps, args.hideAround};
}

// YYYY-MM-DD as the GPS time of its local midnight.
std::optional<int64_t> LocalMidnight(const std::string& text, int32_t offset) {
  LogDateTime t;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  t.year = static_cast<uint16_t>(std::stoi(text.substr(0, 4)));
  t.month = static_cast<uint8_t>(std::stoi(text.substr(5, 2)));
  t.day = static_cast<uint8_t>(std::stoi(text.substr(8, 2)));
  const auto seconds = logger::DateTimeToSeconds(t);
  if (!seconds) return std::nullopt;
  return static_cast<int64_t>(*seconds) - offset;
}

bool IsRawName(const std::string& format, const std::string& out) {
  if (!format.empty()) return format == "log" || format == ".log";
  const std::size_t dot = out.rfind('.');
  if (dot == std::string::npos || out.find('/', dot) != std::string::npos) return false;
  std::string ext = out.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return ext == "log";
}

int WriteRaw(const Options& o, const logger::RawLog& log, const std::string& out, const LogArgs& args) {
  logger::LeftOut leftOut;
  const logger::RawLog kept = logger::FilterLog(log, FilterOptions(args), &leftOut);
  if (!o.force && logger::IsReadOnlyFile(out)) {
    Fail("Cannot write " + out + ": it is read-only (--force replaces it)");
    return kBadValue;
  }
  logger::ReplacingFile file;
  const auto& bytes = kept.bytes();
  if (!file.Open(out) || !file.Write(bytes.data(), bytes.size()) || !file.Commit()) {
    Fail("Cannot write " + out + ": " + file.Reason());
    return kBadValue;
  }
  const std::string said = logger::DescribeLeftOut(leftOut);
  Say(o, "Wrote " + std::to_string(kept.size()) + " records to " + out + (said.empty() ? "" : " (" + said + ")"));
  return kOk;
}

}  // namespace

int RunLogStats(const Options& o, const std::vector<std::string>& words, const LogArgs& args) {
  if (words.size() != 3) {
    Fail("usage: log stats FILE [--json] [--drop-no-fix] [--drop-jumps] [--hide-around LAT,LON,METRES]");
    return kUsage;
  }
  if (args.kmlLine || !args.format.empty()) {
    Fail(std::string(args.kmlLine ? "--kml-line" : "--format") + " is for an export; log stats prints figures");
    return kUsage;
  }
  const auto log = logger::LoadTrackFile(words[2]);
  if (!log) {
    Fail(Describe(log.failure()));
    return kBadValue;
  }
  logger::StatsOptions options;
  options.filter = FilterOptions(args);
  options.localOffset = logger::LocalStandardOffsetSeconds();
  const logger::TrackStats stats = logger::ComputeTrackStats(*log, options);
  if (o.json) {
    PrintJson(stats);
  } else {
    PrintText(stats);
  }
  return kOk;
}

int RunLogArchive(const Options& o, const std::vector<std::string>& words, const LogArgs& args) {
  if (words.size() != 3 && words.size() != 4) {
    Fail("usage: log archive [IMEI] [--from DATE] [--to DATE] OUT.csv|kml|gpx|log");
    return kUsage;
  }
  const std::string& out = words.back();
  const int32_t offset = logger::LocalStandardOffsetSeconds();
  int64_t from = 0, to = UINT32_MAX;
  if (!args.from.empty()) {
    const auto t = LocalMidnight(args.from, offset);
    if (!t) {
      Fail("--from needs a date as YYYY-MM-DD, not " + args.from);
      return kUsage;
    }
    from = *t;
  }
  if (!args.to.empty()) {
    const auto t = LocalMidnight(args.to, offset);
    if (!t) {
      Fail("--to needs a date as YYYY-MM-DD, not " + args.to);
      return kUsage;
    }
    to = *t + 86400 - 1;
  }
  const bool raw = IsRawName(args.format, out);
  logger::ExportFormat format{};
  if (!raw) {
    const auto f = args.format.empty() ? logger::ExportFormatFromPath(out) : logger::ParseExportFormat(args.format);
    if (!f) {
      Fail(args.format.empty() ? "cannot tell the export format from " + out + ": give --format csv|kml|gpx|log"
                               : "unknown format " + args.format + " (csv, kml, gpx or log)");
      return kUsage;
    }
    format = *f;
  }
  if (args.kmlLine && (raw || format != logger::ExportFormat::Kml)) {
    Fail("--kml-line is for a KML export");
    return kUsage;
  }
  if (int rc = CheckTarget(out); rc != kOk) return rc;

  const std::string folder = files::PathToUtf8(logger::ArchiveFolder());
  if (folder.empty()) {
    Fail("no data folder for the archive: the home folder is unknown");
    return kBadValue;
  }
  std::string imei;
  if (words.size() == 4) {
    imei = words[2];
    if (!logger::IsArchiveName(imei)) {
      Fail("not an IMEI: " + imei);
      return kUsage;
    }
  } else {
    const std::vector<std::string> imeis = logger::ArchivedTrackers();
    if (imeis.empty()) {
      Fail("no tracker has an archive in " + folder + " yet: each log download adds to its tracker's");
      return kBadValue;
    }
    if (imeis.size() > 1) {
      std::string list;
      for (const auto& i : imeis) list += (list.empty() ? "" : ", ") + i;
      Fail("several trackers have an archive (" + list + "): name one, as in log archive IMEI OUT");
      return kUsage;
    }
    imei = imeis.front();
  }
  const std::string path = logger::ArchivePath(imei);
  if (files::KindOf(path) == files::Kind::Missing) {
    Fail("no archive for " + imei + " in " + folder);
    return kBadValue;
  }
  const auto all = logger::LoadRawLog(path);
  if (!all) {
    Fail(Describe(all.failure()) + " (" + path + ")");
    return kBadValue;
  }
  const logger::RawLog chosen = logger::SelectTimeRange(*all, static_cast<uint32_t>(std::max<int64_t>(from, 0)),
                                                        static_cast<uint32_t>(std::min<int64_t>(to, UINT32_MAX)));
  if (chosen.empty()) {
    Fail("the archive of " + imei + " holds no records" +
         (args.from.empty() && args.to.empty() ? std::string()
                                              : " from " + (args.from.empty() ? "its start" : args.from) + " to " +
                                                    (args.to.empty() ? "its end" : args.to)));
    return kBadValue;
  }
  return raw ? WriteRaw(o, chosen, out, args) : ExportRecords(o, chosen, out, format, args);
}

}  // namespace zd573::cli
