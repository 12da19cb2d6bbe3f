// Our files as other programs read them: xmllint for well-formed XML,
// gpsbabel for the positions and times of KML and GPX, Python's csv module
// for the CSV.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "logger/log_export.h"
#include "logger/track_filter.h"
#include "run_command.h"
#include "test_support.h"

namespace zd573::logger {
namespace {

using test::Quote;
using test::TempDir;

std::string Tool(const char* path, const char* name) {
  const std::string p = path;
  if (p.empty() || p.find("NOTFOUND") != std::string::npos) {
    ADD_FAILURE() << name << " is not installed; run scripts/install-deps.sh";
    return {};
  }
  return p;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// A track with every fix code; no-fix records are dropped in some exports.
const RawLog& Track() {
  static const RawLog log = GenerateTrack(3000, 11);
  return log;
}

class XmlReader : public ::testing::TestWithParam<ExportFormat> {};

TEST_P(XmlReader, XmllintAcceptsTheFile) {
  const std::string xmllint = Tool(ZD573_XMLLINT, "xmllint");
  ASSERT_FALSE(xmllint.empty());
  TempDir dir;
  const std::string path = dir / "track";
  ASSERT_TRUE(WriteExport(GetParam(), path, Track(), {.localOffset = 7200}).ok());
  const test::RunResult r = test::RunCommand(Quote(xmllint) + " --noout " + Quote(path));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output, "");
}

// gpsbabel reads the file back as unicsv; each point must carry our position
// (to its six decimals) and our GPS time as UTC.
TEST_P(XmlReader, GpsbabelReadsOurPositionsAndTimes) {
  const std::string gpsbabel = Tool(ZD573_GPSBABEL, "gpsbabel");
  ASSERT_FALSE(gpsbabel.empty());
  TempDir dir;
  const std::string path = dir / "track";
  ASSERT_TRUE(WriteExport(GetParam(), path, Track(), {.dropNoFix = true, .localOffset = 7200}).ok());

  const std::string type = GetParam() == ExportFormat::Kml ? "-w -i kml" : "-t -i gpx";
  const test::RunResult r =
      test::RunCommand("TZ=UTC " + Quote(gpsbabel) + " " + type + " -f " + Quote(path) + " -o unicsv,utc=0 -F -");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::vector<std::string> lines = Lines(r.output);
  ASSERT_FALSE(lines.empty());

  // Find our columns by name in gpsbabel's header.
  std::vector<std::string> header;
  std::istringstream h(lines[0]);
  for (std::string col; std::getline(h, col, ',');) header.push_back(col);
  auto column = [&header](const std::string& name) {
    return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
  };
  const std::size_t lat = column("Latitude"), lon = column("Longitude"), date = column("Date"),
                    time = column("Time");
  ASSERT_LT(std::max({lat, lon, date, time}), header.size()) << lines[0];

  std::vector<std::string> want;
  for (std::size_t i = 0; i < Track().size(); ++i) {
    const LogRecord rec = Track()[i];
    if (rec.FixCode() == 0) continue;
    const LogDateTime t = SecondsToDateTime(rec.gpsTime, 0);
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.6f %.6f %04d/%02d/%02d %02d:%02d:%02d", rec.LatitudeDegrees(),
                  rec.LongitudeDegrees(), t.year, t.month, t.day, t.hour, t.minute, t.second);
    want.push_back(buf);
  }
  std::vector<std::string> got;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::vector<std::string> f;
    std::istringstream in(lines[i]);
    for (std::string v; std::getline(in, v, ',');) f.push_back(v);
    if (f.size() < header.size()) f.resize(header.size());
    got.push_back(f[lat] + " " + f[lon] + " " + f[date] + " " + f[time]);
  }
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], want[i]) << "point " << i;
}

// gpsbabel reads the KML's lines as tracks: one per day and segment, each
// point one of our fixes, in order.
TEST(KmlLine, GpsbabelReadsTheLinesAsTracks) {
  const std::string gpsbabel = Tool(ZD573_GPSBABEL, "gpsbabel");
  const std::string xmllint = Tool(ZD573_XMLLINT, "xmllint");
  ASSERT_FALSE(gpsbabel.empty() || xmllint.empty());
  TempDir dir;
  const std::string path = dir / "track.kml";
  ExportOptions options{.localOffset = 7200, .dropJumps = true, .kmlLine = true};
  ASSERT_TRUE(WriteExport(ExportFormat::Kml, path, Track(), options).ok());
  const test::RunResult lint = test::RunCommand(Quote(xmllint) + " --noout " + Quote(path));
  EXPECT_EQ(lint.exitCode, 0) << lint.output;
  const test::RunResult r =
      test::RunCommand(Quote(gpsbabel) + " -t -i kml -f " + Quote(path) + " -o unicsv,utc=0 -F -");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::vector<std::string> lines = Lines(r.output);
  ASSERT_GT(lines.size(), 1u);

  std::vector<std::string> want;
  const RawLog kept = FilterLog(Track(), {.dropJumps = true});
  for (std::size_t i = 0; i < kept.size(); ++i) {
    if (kept[i].FixCode() == 0) continue;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f,%.6f", kept[i].LatitudeDegrees(), kept[i].LongitudeDegrees());
    want.push_back(buf);
  }
  std::vector<std::string> got;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::istringstream in(lines[i]);
    std::string no, lat, lon;
    std::getline(in, no, ',');
    std::getline(in, lat, ',');
    std::getline(in, lon, ',');
    got.push_back(lat + "," + lon);
  }
  // The generated track has no piece of a single fix, so every fix is drawn.
  EXPECT_EQ(got, want);
}

INSTANTIATE_TEST_SUITE_P(Formats, XmlReader, ::testing::Values(ExportFormat::Kml, ExportFormat::Gpx),
                         [](const auto& info) { return std::string(ExportFormatName(info.param)); });

// Python's csv module splits our lines; each field is ="value" and the row
// ends with an empty field after the trailing comma.
TEST(CsvReader, PythonCsvModuleReadsOurValues) {
  const std::string python = Tool(ZD573_PYTHON3, "python3");
  ASSERT_FALSE(python.empty());
  TempDir dir;
  const std::string csvPath = dir / "track.csv";
  const std::string script = dir / "read.py";
  const int32_t offset = -18000;
  ASSERT_TRUE(WriteCsvExport(csvPath, Track(), {.localOffset = offset}).ok());
  test::WriteFile(script,
                  "import csv, sys\n"
                  "raw = open(sys.argv[1], 'rb').read()\n"
                  "assert raw.endswith(b'\\r\\n') and raw.count(b'\\n') == raw.count(b'\\r\\n'), 'line ends'\n"
                  "with open(sys.argv[1], newline='', encoding='ascii') as f:\n"
                  "    rows = list(csv.reader(f))\n"
                  "print('|'.join(rows[0]))\n"
                  "for row in rows[1:]:\n"
                  "    assert len(row) == 12 and row[11] == '', row\n"
                  "    assert all(v.startswith('=\"') and v.endswith('\"') for v in row[:11]), row\n"
                  "    print('|'.join(v[2:-1] for v in row[:11]))\n");
  const test::RunResult r = test::RunCommand(Quote(python) + " " + Quote(script) + " " + Quote(csvPath));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::vector<std::string> lines = Lines(r.output);
  ASSERT_EQ(lines.size(), Track().size() + 1);
  EXPECT_EQ(lines[0], "Local time|GPS time|Fix mode|SV used|Latitude|Longitude|Altitude|Speed|Course|HDOP|"
                      "Battery Capacity");
  for (std::size_t i = 0; i < Track().size(); ++i) {
    const LogRecord rec = Track()[i];
    const LogDateTime l = SecondsToDateTime(rec.gpsTime, offset);
    const LogDateTime g = SecondsToDateTime(rec.gpsTime, 0);
    char want[512];
    std::snprintf(want, sizeof want,
                  "%d-%02d-%02d %02d:%02d:%02d|%d-%02d-%02d %02d:%02d:%02d|%d|%d|%.6f|%.6f|%d m|%.2f Km/h|%d|%.1f|%d",
                  l.year, l.month, l.day, l.hour, l.minute, l.second, g.year, g.month, g.day, g.hour, g.minute,
                  g.second, rec.FixMode(), rec.Satellites(), rec.LatitudeDegrees(), rec.LongitudeDegrees(),
                  rec.altitude, rec.SpeedKmh(), rec.CourseDegrees(), rec.hdop / 10.0, rec.battery);
    ASSERT_EQ(lines[i + 1], want) << "record " << i;
  }
}

}  // namespace
}  // namespace zd573::logger
