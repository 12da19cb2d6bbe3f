#pragma once
#include <string>
#include <vector>

#include "device_session.h"
#include "logger/log_export.h"
#include "logger/track_filter.h"

namespace zd573::cli {

struct LogArgs {
  std::string format;    // --format; empty: from the export file's extension
  bool dropNoFix = false;
  std::string rawCopy;   // --raw: where a download also keeps the raw log
  bool keepPartial = false;  // --keep-partial: a download that stops short still exports what arrived
  bool dropJumps = false;    // --drop-jumps
  std::vector<logger::HiddenCircle> hideAround;  // --hide-around LAT,LON,METRES, each
  bool kmlLine = false;      // --kml-line: a KML draws the track as lines too
  std::string from, to;      // --from/--to DATE: log archive's days (local, inclusive)
};

// "log download", "log convert", "log erase", "log stats", "log archive".
int RunLogCommand(Options& o, const std::vector<std::string>& words, const LogArgs& args);

// Exports records as `log convert` does (the filters of `args` applied).
int ExportRecords(const Options& o, const logger::RawLog& log, const std::string& out, logger::ExportFormat format,
                  const LogArgs& args);

}  // namespace zd573::cli
