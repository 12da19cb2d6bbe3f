#include "logger/log_record.h"

#include "common/files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <new>

namespace zd573::logger {

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

Expected<RawLog> CheckSize(std::size_t bytes) {
  if (bytes % kLogRecordSize != 0) return Error{std::string(kErrorDataInRawFile)};
  if (bytes == 0) return Error{std::string(kNoValidGpsData)};
  return RawLog{};
}

}  // namespace

LogRecord DecodeLogRecord(const uint8_t* p) {
  LogRecord r;
  r.gpsTime = Le32(p);
  r.latitude = static_cast<int32_t>(Le32(p + 4));
  r.longitude = static_cast<int32_t>(Le32(p + 8));
  r.altitude = Le16(p + 12);
  r.speed = Le16(p + 14);
  r.status = p[16];
  r.course = p[17];
  r.hdop = p[18];
  r.battery = p[19];
  return r;
}

void EncodeLogRecord(const LogRecord& r, uint8_t* p) {
  Put32(p, r.gpsTime);
  Put32(p + 4, static_cast<uint32_t>(r.latitude));
  Put32(p + 8, static_cast<uint32_t>(r.longitude));
  Put16(p + 12, r.altitude);
  Put16(p + 14, r.speed);
  p[16] = r.status;
  p[17] = r.course;
  p[18] = r.hdop;
  p[19] = r.battery;
}

LogDateTime SecondsToDateTime(uint32_t seconds, int32_t offset) {
  const uint32_t t = seconds + static_cast<uint32_t>(offset);
  const uint32_t secondsOfDay = t % 86400;

  // Days counted from 0000-03-01 so that the leap day ends each 4-, 100- and
  // 400-year cycle; a closed form instead of walking year by year.
  constexpr uint32_t kDaysFrom0000_03_01To2000_01_01 = 730425;
  const uint32_t z = t / 86400 + kDaysFrom0000_03_01To2000_01_01;
  const uint32_t era = z / 146097;
  const uint32_t doe = z - era * 146097;
  const uint32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const uint32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const uint32_t mp = (5 * doy + 2) / 153;
  const uint32_t day = doy - (153 * mp + 2) / 5 + 1;
  const uint32_t month = mp < 10 ? mp + 3 : mp - 9;
  const uint32_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);

  LogDateTime dt;
  dt.year = static_cast<uint16_t>(year);
  dt.month = static_cast<uint8_t>(month);
  dt.day = static_cast<uint8_t>(day);
  dt.hour = static_cast<uint8_t>(secondsOfDay / 3600);
  dt.minute = static_cast<uint8_t>(secondsOfDay % 3600 / 60);
  dt.second = static_cast<uint8_t>(secondsOfDay % 60);
  return dt;
}

Expected<RawLog> RawLog::FromBytes(std::vector<uint8_t> bytes) {
  Expected<RawLog> checked = CheckSize(bytes.size());
  if (!checked) return checked;
  return RawLog(std::move(bytes));
}

RawLog RawLog::FromRecords(const std::vector<LogRecord>& records) {
  std::vector<uint8_t> bytes(records.size() * kLogRecordSize);
  for (std::size_t i = 0; i < records.size(); ++i) {
    EncodeLogRecord(records[i], bytes.data() + i * kLogRecordSize);
  }
  return RawLog(std::move(bytes));
}

Expected<RawLog> LoadRawLog(const std::string& path) {
  // Any file is read, a pipe included, but never more than any tracker's log.
  files::ReadResult r = files::ReadWholeFile(path, kMaxRawLogBytes, false);
  switch (r.problem) {
    case files::ReadProblem::None: break;
    case files::ReadProblem::TooLarge:
      return Error{std::string(kErrorDataInRawFile), ErrorCode::File,
                   "more than " + std::to_string(kMaxRawLogBytes >> 20) + " MiB, larger than any tracker's log"};
    default: return Error{std::string(kCantOpenRawFile)};
  }
  return RawLog::FromBytes(std::move(r.bytes));
}

Status LoadRawLogInto(const std::string& path, RawLog& recordSet) {
  Expected<RawLog> loaded = LoadRawLog(path);
  if (loaded) {
    recordSet = std::move(loaded).value();
    return Status::Ok();
  }
  if (loaded.error() != kCantOpenRawFile) recordSet = RawLog{};
  return loaded.failure();
}

namespace {

// splitmix64: tiny, fast and the same everywhere.
class TrackRandom {
 public:
  explicit TrackRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }  // [0, 1)
  int Between(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1)); }

 private:
  uint64_t state_;
};

}  // namespace

RawLog GenerateTrack(std::size_t count, uint64_t seed) {
  TrackRandom rng(seed);
  constexpr double kPi = 3.14159265358979323846;
  constexpr double kMetresPerDegree = 111320.0;

  uint32_t time = 733644000 + static_cast<uint32_t>(rng.Next() % 86400);  // 2023-04-01
  double lat = 25.0 + rng.Uniform();
  double lon = 121.0 + rng.Uniform();
  double heading = rng.Uniform() * 360.0;
  double speedKmh = 30.0;
  double altitude = 40.0;
  int fixCode = 2;
  int stretch = 0;  // records left in the current no-fix / 2D / code 3 stretch
  double battery = 100.0;

  std::vector<uint8_t> bytes(count * kLogRecordSize);
  for (std::size_t i = 0; i < count; ++i) {
    const uint32_t step = rng.Uniform() < 0.01 ? static_cast<uint32_t>(rng.Between(30, 600)) : 5;
    time += step;

    if (stretch > 0) {
      --stretch;
    } else if (fixCode != 2) {
      fixCode = 2;
    } else {
      const double u = rng.Uniform();
      if (u < 0.02) {
        fixCode = 0, stretch = rng.Between(1, 40);
      } else if (u < 0.03) {
        fixCode = 1, stretch = rng.Between(1, 10);
      } else if (u < 0.035) {
        fixCode = 3, stretch = rng.Between(1, 20);
      }
    }

    heading = std::fmod(heading + (rng.Uniform() - 0.5) * 30.0 + 360.0, 360.0);
    speedKmh = std::clamp(speedKmh + (rng.Uniform() - 0.5) * 8.0, 0.0, 130.0);
    altitude = std::clamp(altitude + (rng.Uniform() - 0.5) * 6.0, 0.0, 3000.0);
    battery = std::max(1.0, battery - 0.0005 * step);
    if (fixCode != 0) {
      const double metres = speedKmh / 3.6 * step;
      const double rad = heading * kPi / 180.0;
      lat = std::clamp(lat + metres * std::cos(rad) / kMetresPerDegree, -89.0, 89.0);
      lon += metres * std::sin(rad) / (kMetresPerDegree * std::cos(lat * kPi / 180.0));
      if (lon > 180.0) lon -= 360.0;
      if (lon < -180.0) lon += 360.0;
    }

    LogRecord r;
    r.gpsTime = time;
    r.latitude = static_cast<int32_t>(std::lround(lat * 1e6));
    r.longitude = static_cast<int32_t>(std::lround(lon * 1e6));
    r.altitude = static_cast<uint16_t>(std::lround(altitude));
    r.speed = fixCode == 0 ? 0 : static_cast<uint16_t>(std::lround(speedKmh * 100.0));
    const int sats = fixCode == 0 ? rng.Between(0, 3) : fixCode == 1 ? 3 : rng.Between(5, 14);
    r.status = static_cast<uint8_t>((fixCode << 6) | sats);
    r.course = static_cast<uint8_t>(static_cast<int>(heading) / 2);
    r.hdop = fixCode == 0 ? 99 : static_cast<uint8_t>(rng.Between(7, fixCode == 1 ? 60 : 25));
    r.battery = static_cast<uint8_t>(std::lround(battery));
    EncodeLogRecord(r, bytes.data() + i * kLogRecordSize);
  }
  return RawLog(std::move(bytes));
}

}  // namespace zd573::logger
