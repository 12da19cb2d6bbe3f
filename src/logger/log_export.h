#pragma once
// Export of a loaded raw log as CSV, KML or GPX.
//
// Every writer streams the records through one buffer and replaces the target
// only when the whole file has been written: a failure leaves an existing file
// as it was. The error text is then kCantGenerateOutput.
//
// KML placemarks are coloured by fix code: 0 "ffeeeeee", 1 "ff7f0000",
// 2 "ff007f00", and 3, which the device rarely reports, "ff00007f" (dark red,
// the one primary the other fixes leave unused). The placemark time stamp is
// the GPS time, so its trailing Z (UTC) is true.
//
// GPX is a 1.1 track: one trk with one trkseg, a trkpt per record with ele,
// time (UTC), fix (none, 2d, 3d; fix code 3 as dgps), sat and hdop, and the
// speed (m/s) and course in the widely read TrackPointExtension v2. A course
// of 360 degrees or more is out of that field's range and is left out.
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "logger/log_record.h"
#include "logger/track_filter.h"

namespace zd573::logger {

inline constexpr std::string_view kCantGenerateOutput = "Can't generate output file.";

inline constexpr std::string_view kKmlIconHref =
    "http://maps.google.com/mapfiles/kml/pushpin/wht-pushpin.png";

// The colour of the KML line (orange; KML colours are aabbggrr).
inline constexpr std::string_view kKmlLineColour = "ff00a5ff";

enum class ExportFormat { Csv, Kml, Gpx };

// "csv", "kml", "gpx", with or without a leading dot, any case.
std::optional<ExportFormat> ParseExportFormat(std::string_view nameOrExtension);
// By the extension of the file name, e.g. "track.GPX".
std::optional<ExportFormat> ExportFormatFromPath(std::string_view path);
// "csv", "kml" or "gpx": the name and the file extension.
std::string_view ExportFormatName(ExportFormat format);

struct ExportOptions {
  // Leave out records whose fix code is 0.
  bool dropNoFix = false;
  // Seconds east of UTC for the local time columns. Unset: the writer reads
  // LocalStandardOffsetSeconds() once when it starts.
  std::optional<int32_t> localOffset;
  // A read-only file is refused unless the user said to replace it.
  bool replaceReadOnly = false;
  // A stop ends the export (ErrorCode::Stopped); the file is left as it was.
  std::stop_token stop{};
  // Leave out jumps and the records within these circles (track_filter.h).
  bool dropJumps = false;
  std::vector<HiddenCircle> hideAround{};
  // KML: the track as lines too.
  bool kmlLine = false;
  // When set, receives how many records each rule left out.
  LeftOut* leftOut = nullptr;
};

Status WriteCsvExport(const std::string& path, const RawLog& log, const ExportOptions& options = {});
Status WriteKmlExport(const std::string& path, const RawLog& log, const ExportOptions& options = {});
Status WriteGpxExport(const std::string& path, const RawLog& log, const ExportOptions& options = {});
Status WriteExport(ExportFormat format, const std::string& path, const RawLog& log,
                   const ExportOptions& options = {});

}  // namespace zd573::logger
