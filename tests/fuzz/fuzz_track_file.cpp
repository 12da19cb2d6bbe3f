// Reading a track file (raw log, our CSV or GPX) and its figures: a CSV read
// is written again byte for byte the same records, and the figures of any
// log that loads add up (days to the whole, kept and left out to the records).
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "logger/log_export.h"
#include "logger/log_import.h"
#include "logger/track_stats.h"

using namespace zd573;
using namespace zd573::logger;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  TrackFilterOptions filter;
  filter.dropNoFix = in.Flag();
  filter.dropJumps = in.Flag();
  if (in.Flag()) filter.hideAround.push_back({in.Range(-90, 90) * 1.0, in.Range(-180, 180) * 1.0, 50000.0});
  const std::string bytes = in.Rest();

  const auto path = fuzz::ScratchDir() / "track";
  fuzz::WriteFileBytes(path, bytes);
  const Expected<RawLog> loaded = LoadTrackFile(path.string());
  if (!loaded) return 0;
  const RawLog& log = *loaded;

  if (DetectTrackFile(std::vector<std::uint8_t>(bytes.begin(), bytes.end())) == TrackFileKind::Csv) {
    const auto again = fuzz::ScratchDir() / "again.csv";
    std::filesystem::remove(again);
    FUZZ_CHECK(WriteCsvExport(again.string(), log, {.localOffset = 0}).ok(), "CSV export");
    const Expected<RawLog> reread = LoadTrackFile(again.string());
    FUZZ_CHECK(reread && reread->bytes() == log.bytes(), "a CSV read back differs");
  }

  const TrackStats stats = ComputeTrackStats(log, {filter, 3600});
  FUZZ_CHECK(stats.total.records + stats.leftOut.Total() == log.size(), "records lost");
  std::size_t fixes = 0;
  for (const DayFigures& d : stats.days) fixes += d.fixes;
  FUZZ_CHECK(fixes == stats.total.fixes, "days and whole differ");
  FUZZ_CHECK(std::isfinite(stats.total.distanceMetres) && stats.total.distanceMetres >= 0, "distance");
  FUZZ_CHECK(std::isfinite(stats.total.movingSeconds) && stats.total.movingSeconds >= 0, "moving time");
  return 0;
}
