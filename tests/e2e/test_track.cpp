// log stats, the filters of the exports, and the archive every download is
// kept in, end to end.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "cli_fixture.h"
#include "logger/log_record.h"

namespace zd573 {
namespace {
namespace fs = std::filesystem;

// 11 fixes north along the meridian from the equator, 1000 millionths of a
// degree (110.6 m) and 10 s apart.
fs::path MeridianLog(const fs::path& dir) {
  std::vector<logger::LogRecord> records;
  for (int i = 0; i <= 10; ++i) {
    logger::LogRecord r;
    r.gpsTime = 767836800 + 10 * i;  // 2024-05-01 00:00:00 UTC on
    r.latitude = 1000 * i;
    r.speed = 4000;
    r.status = 0x88;
    r.hdop = 10;
    records.push_back(r);
  }
  const auto bytes = logger::RawLog::FromRecords(records).bytes();
  const fs::path path = dir / "meridian.log";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return path;
}

// python3 reads the JSON as any program would, and checks what it holds.
TEST_F(Cli, LogStatsPrintsJsonAnotherProgramReads) {
  const fs::path log = MeridianLog(dir_);
  const fs::path csv = dir_ / "m.csv";
  ASSERT_EQ(Zd573({"log", "convert", log.string(), csv.string()}).rc, 0);
  for (const fs::path& input : {log, csv}) {
    RunResult r = Zd573({"log", "stats", input.string(), "--json", "--hide-around", "0,0,250", "--hide-around",
                         "0.010,0,150"},
                        true, {"TZ=UTC"});
    ASSERT_EQ(r.rc, 0) << r.err;
    std::ofstream(dir_ / "stats.json") << r.out;
    std::ofstream(dir_ / "check.py")
        << "import json, sys\n"
           "s = json.load(open(sys.argv[1]))\n"
           "for k in ('records', 'fixes', 'first_utc', 'last_utc', 'distance_m', 'moving_s', 'max_speed_kmh',\n"
           "          'climb_m', 'stops', 'days'):\n"
           "    assert k in s, k\n"
           "assert s['records'] == 6 and s['fixes'] == 6, s\n"
           "assert s['left_out'] == {'no_fix': 0, 'hidden': 5, 'jumps': 0}, s['left_out']\n"
           "assert s['first_utc'] == '2024-05-01T00:00:30Z' and s['last_utc'] == '2024-05-01T00:01:20Z', s\n"
           "assert abs(s['distance_m'] - 5 * 110.574) < 0.1, s['distance_m']\n"
           "assert s['moving_s'] == 50 and s['max_speed_kmh'] == 40.0 and s['stops'] == [], s\n"
           "assert [d['date'] for d in s['days']] == ['2024-05-01'], s['days']\n";
    RunResult py = test::RunProgram(ZD573_PYTHON3, {(dir_ / "check.py").string(), (dir_ / "stats.json").string()});
    EXPECT_EQ(py.rc, 0) << input << ": " << py.err << r.out;
  }
}

// The exports leave out what the filters say, and say how many.
TEST_F(Cli, FiltersLeaveOutAndSayHowMany) {
  const fs::path log = MeridianLog(dir_);
  const fs::path csv = dir_ / "m.csv";
  RunResult r = Zd573({"log", "convert", log.string(), csv.string(), "--hide-around", "0,0,250"});
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.err.find("Wrote 8 of 11 records to " + csv.string() + " (3 left out: 3 hidden)"), std::string::npos)
      << r.err;
  const std::string text = test::Slurp(csv.string());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9);  // the header and 8 records
  EXPECT_EQ(text.find("=\"0.002000\""), std::string::npos);
  EXPECT_NE(text.find("=\"0.003000\""), std::string::npos);

  RunResult stats = Zd573({"log", "stats", log.string(), "--drop-jumps"});
  ASSERT_EQ(stats.rc, 0) << stats.err;
  EXPECT_NE(stats.out.find("Records:              11\n"), std::string::npos) << stats.out;

  const std::vector<std::vector<std::string>> usage = {
      {"log", "convert", log.string(), csv.string(), "--kml-line"},
      {"log", "convert", log.string(), csv.string(), "--from", "2024-05-01"},
      {"log", "stats", log.string(), "--hide-around", "0,0"},
      {"log", "stats", log.string(), "--kml-line"},
      {"log", "archive", "--to", "May 1", (dir_ / "a.csv").string()},
  };
  for (const auto& args : usage) EXPECT_EQ(Zd573(args).rc, 1) << args.back();
}

// Each download is merged into the tracker's archive (0600, nothing twice),
// which log archive exports; Archive=0 in system.ini turns it off.
TEST_F(Cli, DownloadsAreKeptInTheArchive) {
  StartSim();
  const std::string imei = sim_->Value("B2");
  const fs::path archive = ArchiveDir() / (imei + ".log");
  const fs::path csv = dir_ / "t.csv";
  RunResult first = Zd573({"log", "download", csv.string(), "--password", "4071"});
  ASSERT_EQ(first.rc, 0) << first.err;
  EXPECT_NE(first.err.find("Kept in the archive: 250 new records, 250 in " + archive.string()), std::string::npos)
      << first.err;
  RunResult again = Zd573({"log", "download", csv.string(), "--password", "4071"});
  ASSERT_EQ(again.rc, 0) << again.err;
  EXPECT_NE(again.err.find("0 new records, 250 in"), std::string::npos) << again.err;
  struct stat st {};
  ASSERT_EQ(::stat(archive.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const auto bytes = sim_->LogBytes();
  EXPECT_EQ(fs::file_size(archive), bytes.size());

  const fs::path out = dir_ / "all.gpx";
  RunResult exported = Zd573({"log", "archive", out.string()});
  ASSERT_EQ(exported.rc, 0) << exported.err;
  RunResult named = Zd573({"log", "archive", imei, (dir_ / "all.log").string()});
  ASSERT_EQ(named.rc, 0) << named.err;
  EXPECT_EQ(fs::file_size(dir_ / "all.log"), fs::file_size(archive));
  EXPECT_EQ(Zd573({"log", "archive", "123", out.string()}).rc, 5);
  EXPECT_EQ(Zd573({"log", "archive", "--from", "2099-01-01", out.string()}).rc, 5);

  fs::remove_all(ArchiveDir());
  std::ofstream(dir_ / "system.ini") << "[SYSTEM]\nArchive=0\n";
  RunResult off = Zd573({"log", "download", csv.string(), "--password", "4071"});
  ASSERT_EQ(off.rc, 0) << off.err;
  EXPECT_FALSE(fs::exists(ArchiveDir()));
  EXPECT_EQ(off.err.find("archive"), std::string::npos) << off.err;
}

}  // namespace
}  // namespace zd573
