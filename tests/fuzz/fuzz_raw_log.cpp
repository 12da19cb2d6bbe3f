// The raw log loader and the three writers: loading a file agrees with
// loading the same bytes, and every export holds one entry per record it
// writes, with calendar fields in range, and is complete.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "logger/log_export.h"
#include "logger/log_record.h"

using namespace zd573;
using namespace zd573::logger;

namespace {

std::size_t Count(const std::string& text, std::string_view what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const bool dropNoFix = in.Flag();
  const auto offset = static_cast<std::int32_t>(in.Range(-48, 56)) * 900;  // whole quarter hours
  const std::string bytes = in.Rest();

  const auto raw = fuzz::ScratchDir() / "temp.log";
  fuzz::WriteFileBytes(raw, bytes);
  Expected<RawLog> loaded = LoadRawLog(raw.string());
  Expected<RawLog> fromBytes = RawLog::FromBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  FUZZ_CHECK(loaded.ok() == fromBytes.ok(), "file and bytes disagree");
  if (!loaded) {
    FUZZ_CHECK(loaded.error() == fromBytes.error(), loaded.error());
    return 0;
  }
  const RawLog& log = *loaded;
  FUZZ_CHECK(log.bytes() == fromBytes->bytes() && log.size() * kLogRecordSize == bytes.size(), "bytes differ");

  std::size_t written = 0;
  for (std::size_t i = 0; i < log.size(); ++i) {
    const LogRecord r = log[i];
    if (dropNoFix && r.FixCode() == 0) continue;
    ++written;
    for (std::int32_t o : {0, offset}) {
      const LogDateTime t = SecondsToDateTime(r.gpsTime, o);
      FUZZ_CHECK(t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour < 24 && t.minute < 60 &&
                     t.second < 60 && t.year >= 2000 && t.year <= 2136,
                 "calendar field out of range");
    }
  }

  ExportOptions options;
  options.dropNoFix = dropNoFix;
  options.localOffset = offset;
  const auto out = fuzz::ScratchDir() / "export";
  for (ExportFormat f : {ExportFormat::Csv, ExportFormat::Kml, ExportFormat::Gpx}) {
    std::filesystem::remove(out);  // a new file each time, as a replaced one is synced first
    const Status s = WriteExport(f, out.string(), log, options);
    FUZZ_CHECK(s.ok(), s.ok() ? "" : Describe(s.failure()));
    const std::string text = fuzz::ReadFileBytes(out);
    switch (f) {
      case ExportFormat::Csv:
        FUZZ_CHECK(text.starts_with("Local time,GPS time,") && Count(text, "\r\n") == written + 1, "CSV lines");
        break;
      case ExportFormat::Kml:
        FUZZ_CHECK(Count(text, "<Placemark>") == written && text.find("</kml>") != std::string::npos, "KML");
        break;
      case ExportFormat::Gpx:
        FUZZ_CHECK(Count(text, "<trkpt ") == written && text.ends_with("</gpx>\n"), "GPX");
        break;
    }
  }
  return 0;
}
