// Records per second of loading, decoding, each export writer and the track's
// figures, on one million generated records. Files go to $TMPDIR (default /tmp).
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "logger/log_export.h"
#include "logger/log_record.h"
#include "logger/track_stats.h"

namespace {

using namespace zd573::logger;

constexpr std::size_t kRecords = 1'000'000;

const RawLog& Track() {
  static const RawLog log = GenerateTrack(kRecords, 1);
  return log;
}

// One scratch folder for the whole run, removed at exit.
const std::string& ScratchDir() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "zd573-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(ScratchDir(), ec);
    });
    return pattern;
  }();
  return dir;
}

void BM_LoadRawLog(benchmark::State& state) {
  const std::string path = ScratchDir() + "/temp.log";
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(Track().data(), 1, Track().bytes().size(), f);
  std::fclose(f);
  for (auto _ : state) {
    auto log = LoadRawLog(path);
    if (!log) state.SkipWithError(log.error().c_str());
    benchmark::DoNotOptimize(log->data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRecords));
}

// What every writer does before formatting: decode, and both calendar times.
void BM_Decode(benchmark::State& state) {
  const RawLog& log = Track();
  for (auto _ : state) {
    uint64_t sum = 0;
    const uint8_t* p = log.data();
    for (std::size_t i = 0; i < log.size(); ++i, p += kLogRecordSize) {
      const LogRecord r = DecodeLogRecord(p);
      const LogDateTime local = SecondsToDateTime(r.gpsTime, 28800);
      const LogDateTime gps = SecondsToDateTime(r.gpsTime, 0);
      sum += static_cast<uint64_t>(r.latitude) + local.day + gps.second + static_cast<uint64_t>(r.FixCode());
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRecords));
}

void BM_Write(benchmark::State& state, ExportFormat format) {
  const std::string path = ScratchDir() + "/out." + std::string(ExportFormatName(format));
  const ExportOptions options{.dropNoFix = false, .localOffset = 28800};
  struct stat info {};
  for (auto _ : state) {
    // Each run creates the file anew; replacing one adds a disk sync, which
    // measures the disk rather than the writer.
    state.PauseTiming();
    unlink(path.c_str());
    state.ResumeTiming();
    const auto st = WriteExport(format, path, Track(), options);
    if (!st) state.SkipWithError(st.error().c_str());
  }
  stat(path.c_str(), &info);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRecords));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * info.st_size);
}

// The figures: a geodesic per interval, days, stops, climb. Filtered: jumps
// dropped (another geodesic per fix) and one hidden circle (one per record).
void BM_Stats(benchmark::State& state, bool filtered) {
  StatsOptions options;
  options.localOffset = 28800;
  if (filtered) options.filter = {.dropNoFix = false, .dropJumps = true, .hideAround = {{25.5, 121.5, 500}}};
  for (auto _ : state) {
    const TrackStats stats = ComputeTrackStats(Track(), options);
    benchmark::DoNotOptimize(stats.total.distanceMetres);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRecords));
}

BENCHMARK(BM_LoadRawLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write, Csv, ExportFormat::Csv)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write, Kml, ExportFormat::Kml)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Write, Gpx, ExportFormat::Gpx)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Stats, All, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Stats, Filtered, true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
