#pragma once
// Reading a track back: the raw log, or this program's own CSV and GPX exports.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "logger/log_record.h"

namespace zd573::logger {

enum class TrackFileKind { Raw, Csv, Gpx };

// GPS seconds (since 2000-01-01 UTC) of a UTC calendar time; nullopt when it
// is not a valid time from 2000 on that fits the records' field.
std::optional<uint32_t> DateTimeToSeconds(const LogDateTime& utc);

// Which kind of file the bytes are: a CSV starts with our header line, a GPX
// with an XML declaration or the gpx element; anything else is a raw log.
TrackFileKind DetectTrackFile(const std::vector<uint8_t>& bytes);

// The records of our CSV or GPX export. The CSV gives every field back as it
// was; a GPX has no battery (0), and a course it left out reads as 360
// degrees. A line or point that cannot be read is an error naming it.
Expected<RawLog> ParseCsvExport(const std::vector<uint8_t>& bytes);
Expected<RawLog> ParseGpxExport(const std::vector<uint8_t>& bytes);

// Loads a raw log, CSV or GPX file, told apart by its contents. A raw log
// fails as LoadRawLog does; an export without a single point is
// kNoValidGpsData.
Expected<RawLog> LoadTrackFile(const std::string& path);

}  // namespace zd573::logger
