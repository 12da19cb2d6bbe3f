// zd573-log-convert RAW OUT [--format csv|kml|gpx] [--drop-no-fix]
// Loads a raw log and writes one export, exactly as `zd573 log convert`.
#include <cstdio>
#include <string>
#include <string_view>

#include "logger/log_export.h"
#include "logger/log_record.h"

namespace {

int Usage() {
  std::fputs("usage: zd573-log-convert RAW OUT [--format csv|kml|gpx] [--drop-no-fix]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zd573::logger;
  std::string raw, out;
  std::string_view formatName;
  ExportOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--drop-no-fix") {
      options.dropNoFix = true;
    } else if (arg == "--format" && i + 1 < argc) {
      formatName = argv[++i];
    } else if (raw.empty()) {
      raw = arg;
    } else if (out.empty()) {
      out = arg;
    } else {
      return Usage();
    }
  }
  if (raw.empty() || out.empty()) return Usage();

  const auto format = formatName.empty() ? ExportFormatFromPath(out) : ParseExportFormat(formatName);
  if (!format) {
    std::fputs("zd573-log-convert: unknown export format; use --format csv|kml|gpx\n", stderr);
    return 2;
  }
  const auto log = LoadRawLog(raw);
  if (!log) {
    std::fprintf(stderr, "%s\n", log.error().c_str());
    return 1;
  }
  options.localOffset = LocalStandardOffsetSeconds();
  if (const auto st = WriteExport(*format, out, *log, options); !st) {
    std::fprintf(stderr, "%s\n", st.error().c_str());
    return 1;
  }
  return 0;
}
