// zd573-log-gen COUNT RAW UNICSV [SEED]
// Writes GenerateTrack(COUNT, SEED) as a raw log and the same points as a
// gpsbabel unicsv file (speed in m/s, times in UTC).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "logger/log_record.h"

int main(int argc, char** argv) {
  using namespace zd573::logger;
  if (argc < 4 || argc > 5) {
    std::fputs("usage: zd573-log-gen COUNT RAW UNICSV [SEED]\n", stderr);
    return 2;
  }
  const std::size_t count = std::strtoull(argv[1], nullptr, 10);
  const uint64_t seed = argc == 5 ? std::strtoull(argv[4], nullptr, 10) : 1;
  const RawLog log = GenerateTrack(count, seed);

  FILE* raw = std::fopen(argv[2], "wb");
  if (raw == nullptr || std::fwrite(log.data(), 1, log.bytes().size(), raw) != log.bytes().size() ||
      std::fclose(raw) != 0) {
    std::perror(argv[2]);
    return 1;
  }

  FILE* csv = std::fopen(argv[3], "w");
  if (csv == nullptr) {
    std::perror(argv[3]);
    return 1;
  }
  static const char* const kFix[] = {"none", "2d", "3d", "dgps"};
  std::fputs("lat,lon,alt,speed,course,utc_d,utc_t,fix,sats,hdop\n", csv);
  for (std::size_t i = 0; i < log.size(); ++i) {
    const LogRecord r = log[i];
    const LogDateTime t = SecondsToDateTime(r.gpsTime, 0);
    std::fprintf(csv, "%.6f,%.6f,%u,%.3f,%d,%d/%02d/%02d,%02d:%02d:%02d,%s,%d,%d.%d\n", r.LatitudeDegrees(),
                 r.LongitudeDegrees(), r.altitude, r.speed / 360.0, r.CourseDegrees(), t.year, t.month, t.day,
                 t.hour, t.minute, t.second, kFix[r.FixCode()], r.Satellites(), r.HdopWhole(), r.HdopTenths());
  }
  if (std::fclose(csv) != 0) {
    std::perror(argv[3]);
    return 1;
  }
  return 0;
}
