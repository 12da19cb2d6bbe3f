#pragma once
// The tracker's GPS log record, its calendar conversion, and the record set
// loaded from a raw log file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/result.h"

namespace zd573::logger {

inline constexpr std::size_t kLogRecordSize = 20;

// The fixed message texts of loading a raw log.
inline constexpr std::string_view kCantOpenRawFile = "Can't open raw data file.";
inline constexpr std::string_view kErrorDataInRawFile = "Error data in raw file.";
inline constexpr std::string_view kNoValidGpsData = "No valid GPS data in raw file.";

// One log record, fields as the device stores them.
struct LogRecord {
  uint32_t gpsTime = 0;   // seconds since 2000-01-01 00:00:00 UTC
  int32_t latitude = 0;   // millionths of a degree, north positive
  int32_t longitude = 0;  // millionths of a degree, east positive
  uint16_t altitude = 0;  // metres
  uint16_t speed = 0;     // hundredths of a km/h
  uint8_t status = 0;     // fix code in bits 7-6, satellites used in bits 5-0
  uint8_t course = 0;     // units of 2 degrees
  uint8_t hdop = 0;       // tenths
  uint8_t battery = 0;    // as the device reports it

  int FixCode() const { return status >> 6; }
  int Satellites() const { return status & 0x3F; }
  // What the exports print: 1 means no fix.
  int FixMode() const { return FixCode() + 1; }
  double LatitudeDegrees() const { return latitude / 1000000.0; }
  double LongitudeDegrees() const { return longitude / 1000000.0; }
  double SpeedKmh() const { return speed / 100.0; }
  int CourseDegrees() const { return course * 2; }
  int HdopWhole() const { return hdop / 10; }
  int HdopTenths() const { return hdop % 10; }

  bool operator==(const LogRecord&) const = default;
};

// Reads 20 little-endian bytes whatever the host's byte order and padding.
LogRecord DecodeLogRecord(const uint8_t* p);
// The inverse, for building logs (generator, tests, the simulated tracker).
void EncodeLogRecord(const LogRecord& record, uint8_t* p);

struct LogDateTime {
  uint16_t year = 2000;
  uint8_t month = 1;   // 1-12
  uint8_t day = 1;     // 1-31
  uint8_t hour = 0;    // 0-23
  uint8_t minute = 0;  // 0-59
  uint8_t second = 0;  // 0-59

  bool operator==(const LogDateTime&) const = default;
};

// seconds + offset is taken modulo 2^32, as the device's own clock arithmetic
// does, so a negative offset near the epoch wraps to 2136.
LogDateTime SecondsToDateTime(uint32_t seconds, int32_t offset);

// The local time zone's standard offset from UTC in seconds (east positive),
// daylight saving never applied. Honours TZ. Not thread-safe (tzset); call it
// once per export.
int32_t LocalStandardOffsetSeconds();

// A loaded raw log: the file's bytes, walked in place 20 bytes at a time.
class RawLog {
 public:
  RawLog() = default;

  // Applies the same size rules as loading a file, with the same messages.
  static Expected<RawLog> FromBytes(std::vector<uint8_t> bytes);
  static RawLog FromRecords(const std::vector<LogRecord>& records);

  std::size_t size() const { return bytes_.size() / kLogRecordSize; }
  bool empty() const { return bytes_.empty(); }
  LogRecord operator[](std::size_t i) const {
    return DecodeLogRecord(bytes_.data() + i * kLogRecordSize);
  }
  const uint8_t* data() const { return bytes_.data(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  friend RawLog GenerateTrack(std::size_t count, uint64_t seed);
  explicit RawLog(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::vector<uint8_t> bytes_;
};

// No tracker holds a log this large (13 million records); a longer input is a
// pipe or a device file, not a log, and is refused before memory runs out.
inline constexpr std::size_t kMaxRawLogBytes = std::size_t{256} << 20;

// Loads a raw log file whole. The error text is exactly one of kCantOpenRawFile,
// kErrorDataInRawFile or kNoValidGpsData; an input over kMaxRawLogBytes is
// kErrorDataInRawFile with the reason as detail.
Expected<RawLog> LoadRawLog(const std::string& path);

// The logger page's record set rule: a file that cannot be opened leaves
// `recordSet` as it was; a file with bad contents empties it.
Status LoadRawLogInto(const std::string& path, RawLog& recordSet);

// A plausible moving track for tests and benchmarks: one fix every few seconds
// along a wandering course, mostly 3D fixes with stretches of no fix, 2D and
// the odd fix code 3. The same (count, seed) always gives the same bytes.
RawLog GenerateTrack(std::size_t count, uint64_t seed);

}  // namespace zd573::logger
