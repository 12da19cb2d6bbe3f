// The writers' exact bytes: fixed examples, and whole files compared with a
// plain printf rendering of the documented format strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "logger/log_export.h"
#include "test_support.h"

namespace zd573::logger {
namespace {

using test::ReadFile;
using test::TempDir;

// GPS time 2010-05-04 03:02:01, fix code 2 with 7 satellites.
LogRecord Example() {
  return LogRecord{326257321, 25047123, 121532456, 35, 1234, 0x87, 90, 12, 80};
}

LogRecord NoFix() { return LogRecord{326257316, 25047000, 121532000, 30, 0, 0x02, 0, 99, 81}; }

std::string Export(ExportFormat format, const RawLog& log, ExportOptions options) {
  TempDir dir;
  const std::string path = dir / "out";
  const Status st = WriteExport(format, path, log, options);
  EXPECT_TRUE(st.ok()) << st.error();
  return ReadFile(path);
}

TEST(CsvExport, WritesTheExampleLineExactly) {
  const std::string csv = Export(ExportFormat::Csv, RawLog::FromRecords({Example()}), {.localOffset = 28800});
  EXPECT_EQ(csv,
            "Local time,GPS time,Fix mode,SV used,Latitude,Longitude,Altitude,Speed,Course,HDOP,Battery Capacity\r\n"
            "=\"2010-05-04 11:02:01\",=\"2010-05-04 03:02:01\",=\"3\",=\"7\",=\"25.047123\",=\"121.532456\","
            "=\"35 m\",=\"12.34 Km/h\",=\"180\",=\"1.2\",=\"80\",\r\n");
}

TEST(KmlExport, WritesSkeletonAndNumbersPlacemarksByPositionWithGaps) {
  const std::string kml =
      Export(ExportFormat::Kml, RawLog::FromRecords({NoFix(), Example()}), {.dropNoFix = true, .localOffset = 28800});
  EXPECT_EQ(kml,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n"
            "<Document>\r\n"
            " <Placemark>\r\n"
            "  <TimeStamp> <when>2010-05-04T03:02:01Z</when> </TimeStamp> \r\n"
            "  <Style> <IconStyle><Icon><href>http://maps.google.com/mapfiles/kml/pushpin/wht-pushpin.png</href>"
            "</Icon><colorMode>normal</colorMode><color>ff007f00</color></IconStyle></Style>\r\n"
            "  <name>2</name>\r\n"
            "  <description>  <![CDATA[<b>Local time:</b> 2010-05-04 11:02:01<br><b>GPS time:</b> 2010-05-04 "
            "03:02:01<br><b>Fix mode:</b> 3<br><b>SV used:</b> 7<br><b>Latitude:</b> 25.047123<br>"
            "<b>Longitude:</b> 121.532456<br><b>Altitude:</b> 35 m<br><b>Speed:</b> 12.34 Km/h<br>"
            "<b>Course:</b> 180<br><b>HDOP:</b> 1.2<br><b>Battery Capacity:</b> 80<br>]]></description>\r\n"
            "  <Point><coordinates>121.5324560,25.0471230,0</coordinates></Point>\r\n"
            " </Placemark>\r\n"
            "</Document>\r\n"
            "</kml>");
}

// With kmlLine the pins come first, byte for byte as without it; then one
// line per local day and segment (a piece with one fix draws none).
TEST(KmlExport, LineFollowsThePinsPerDayAndSegment) {
  auto at = [](uint32_t seconds, int32_t latStep) {
    LogRecord r = Example();
    r.gpsTime += seconds;
    r.latitude += latStep;
    return r;
  };
  const RawLog log = RawLog::FromRecords(
      {at(0, 0), NoFix(), at(10, 100), at(7300, 200), at(86400, 300), at(86405, 400)});
  const std::string pins = Export(ExportFormat::Kml, log, {.localOffset = 0});
  const std::string lines = Export(ExportFormat::Kml, log, {.localOffset = 0, .kmlLine = true});
  const std::string tail = "</Document>\r\n</kml>";
  ASSERT_EQ(lines.substr(0, pins.size() - tail.size()), pins.substr(0, pins.size() - tail.size()));
  EXPECT_EQ(lines.substr(pins.size() - tail.size()),
            " <Placemark>\r\n  <name>Track 2010-05-04</name>\r\n"
            "  <TimeSpan><begin>2010-05-04T03:02:01Z</begin><end>2010-05-04T03:02:11Z</end></TimeSpan>\r\n"
            "  <Style><LineStyle><color>ff00a5ff</color><width>3</width></LineStyle></Style>\r\n"
            "  <LineString><tessellate>1</tessellate><coordinates>\r\n"
            "121.5324560,25.0471230,0\r\n121.5324560,25.0472230,0\r\n"
            "</coordinates></LineString>\r\n </Placemark>\r\n"
            " <Placemark>\r\n  <name>Track 2010-05-05</name>\r\n"
            "  <TimeSpan><begin>2010-05-05T03:02:01Z</begin><end>2010-05-05T03:02:06Z</end></TimeSpan>\r\n"
            "  <Style><LineStyle><color>ff00a5ff</color><width>3</width></LineStyle></Style>\r\n"
            "  <LineString><tessellate>1</tessellate><coordinates>\r\n"
            "121.5324560,25.0474230,0\r\n121.5324560,25.0475230,0\r\n"
            "</coordinates></LineString>\r\n </Placemark>\r\n" +
                tail);
}

class KmlColour : public ::testing::TestWithParam<std::pair<uint8_t, const char*>> {};

TEST_P(KmlColour, FollowsFixCode) {
  LogRecord r = Example();
  r.status = GetParam().first;
  const std::string kml = Export(ExportFormat::Kml, RawLog::FromRecords({r}), {.localOffset = 0});
  EXPECT_NE(kml.find(std::string("<color>") + GetParam().second + "</color>"), std::string::npos) << kml;
}

INSTANTIATE_TEST_SUITE_P(FixCodes, KmlColour,
                         ::testing::Values(std::pair<uint8_t, const char*>{0x05, "ffeeeeee"},
                                           std::pair<uint8_t, const char*>{0x47, "ff7f0000"},
                                           std::pair<uint8_t, const char*>{0x87, "ff007f00"},
                                           std::pair<uint8_t, const char*>{0xC9, "ff00007f"}));

TEST(GpxExport, WritesTrackPointsWithUtcTimeAndExtensions) {
  LogRecord odd = NoFix();
  odd.status = 0xC4;  // fix code 3, 4 satellites
  odd.course = 200;   // 400 degrees: no valid course
  odd.speed = 1;
  const std::string gpx = Export(ExportFormat::Gpx, RawLog::FromRecords({Example(), odd}), {.localOffset = 3600});
  EXPECT_EQ(gpx,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<gpx version=\"1.1\" creator=\"zd573\"\n"
            "  xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
            "  xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\"\n"
            "  xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
            "  xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd "
            "http://www.garmin.com/xmlschemas/TrackPointExtension/v2 "
            "http://www.garmin.com/xmlschemas/TrackPointExtensionv2.xsd\">\n"
            "  <trk>\n"
            "    <name>ZD-573 log</name>\n"
            "    <trkseg>\n"
            "      <trkpt lat=\"25.047123\" lon=\"121.532456\">\n"
            "        <ele>35</ele>\n"
            "        <time>2010-05-04T03:02:01Z</time>\n"
            "        <fix>3d</fix>\n"
            "        <sat>7</sat>\n"
            "        <hdop>1.2</hdop>\n"
            "        <extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>3.428</gpxtpx:speed>"
            "<gpxtpx:course>180</gpxtpx:course></gpxtpx:TrackPointExtension></extensions>\n"
            "      </trkpt>\n"
            "      <trkpt lat=\"25.047000\" lon=\"121.532000\">\n"
            "        <ele>30</ele>\n"
            "        <time>2010-05-04T03:01:56Z</time>\n"
            "        <fix>dgps</fix>\n"
            "        <sat>4</sat>\n"
            "        <hdop>9.9</hdop>\n"
            "        <extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>0.003</gpxtpx:speed>"
            "</gpxtpx:TrackPointExtension></extensions>\n"
            "      </trkpt>\n"
            "    </trkseg>\n"
            "  </trk>\n"
            "</gpx>\n");
}

// With every record dropped (or none loaded) each format is its bare frame.
class EmptyExport : public ::testing::TestWithParam<ExportFormat> {};

TEST_P(EmptyExport, HoldsOnlyTheFrameWhenEveryRecordIsDropped) {
  const RawLog noFix = RawLog::FromRecords({NoFix(), NoFix(), NoFix()});
  const std::string dropped = Export(GetParam(), noFix, {.dropNoFix = true, .localOffset = 0});
  EXPECT_EQ(dropped, Export(GetParam(), RawLog{}, {.localOffset = 0}));
  EXPECT_EQ(dropped.find("2010"), std::string::npos);
  EXPECT_NE(Export(GetParam(), noFix, {.dropNoFix = false, .localOffset = 0}).find("2010-05-04"), std::string::npos);
  if (GetParam() == ExportFormat::Csv) {
    EXPECT_EQ(dropped.substr(dropped.size() - 18), "Battery Capacity\r\n");
  }
  if (GetParam() == ExportFormat::Kml) {
    EXPECT_EQ(dropped.substr(dropped.size() - 31), "<Document>\r\n</Document>\r\n</kml>");
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, EmptyExport,
                         ::testing::Values(ExportFormat::Csv, ExportFormat::Kml, ExportFormat::Gpx));

// printf with the documented format strings, for comparing whole files.
std::string Fmt(const char* format, auto... args) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, format, args...);
  return buf;
}

std::string DateFields(const char* format, const LogDateTime& t) {
  return Fmt(format, t.year, t.month, t.day, t.hour, t.minute, t.second);
}

std::string PrintfCsv(const RawLog& log, ExportOptions o) {
  std::string s =
      "Local time,GPS time,Fix mode,SV used,Latitude,Longitude,Altitude,Speed,Course,HDOP,Battery Capacity\r\n";
  for (std::size_t i = 0; i < log.size(); ++i) {
    const LogRecord r = log[i];
    if (o.dropNoFix && r.FixCode() == 0) continue;
    s += DateFields("=\"%d-%02d-%02d %02d:%02d:%02d\",", SecondsToDateTime(r.gpsTime, *o.localOffset));
    s += DateFields("=\"%d-%02d-%02d %02d:%02d:%02d\",", SecondsToDateTime(r.gpsTime, 0));
    s += Fmt("=\"%d\",", r.FixMode()) + Fmt("=\"%d\",", r.Satellites());
    s += Fmt("=\"%.06f\",", r.LatitudeDegrees()) + Fmt("=\"%.06f\",", r.LongitudeDegrees());
    s += Fmt("=\"%d m\",", r.altitude) + Fmt("=\"%.2f Km/h\",", r.SpeedKmh()) + Fmt("=\"%d\",", r.CourseDegrees());
    s += Fmt("=\"%d.%d\",", r.HdopWhole(), r.HdopTenths()) + Fmt("=\"%d\",", r.battery) + "\r\n";
  }
  return s;
}

std::string PrintfKml(const RawLog& log, ExportOptions o) {
  static const char* const kColours[] = {"ffeeeeee", "ff7f0000", "ff007f00", "ff00007f"};
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n"
      "<Document>\r\n";
  for (std::size_t i = 0; i < log.size(); ++i) {
    const LogRecord r = log[i];
    if (o.dropNoFix && r.FixCode() == 0) continue;
    const LogDateTime gps = SecondsToDateTime(r.gpsTime, 0);
    s += " <Placemark>\r\n";
    s += DateFields("  <TimeStamp> <when>%d-%02d-%02dT%02d:%02d:%02dZ</when> </TimeStamp> \r\n", gps);
    s += Fmt("  <Style> <IconStyle><Icon><href>%s</href></Icon><colorMode>normal</colorMode><color>%s</color>"
             "</IconStyle></Style>\r\n",
             kKmlIconHref.data(), kColours[r.FixCode()]);
    s += Fmt("  <name>%d</name>\r\n", static_cast<int>(i + 1));
    s += "  <description>  <![CDATA[";
    s += DateFields("<b>Local time:</b> %d-%02d-%02d %02d:%02d:%02d<br>",
                    SecondsToDateTime(r.gpsTime, *o.localOffset));
    s += DateFields("<b>GPS time:</b> %d-%02d-%02d %02d:%02d:%02d<br>", gps);
    s += Fmt("<b>Fix mode:</b> %d<br>", r.FixMode()) + Fmt("<b>SV used:</b> %d<br>", r.Satellites());
    s += Fmt("<b>Latitude:</b> %.06f<br>", r.LatitudeDegrees());
    s += Fmt("<b>Longitude:</b> %.06f<br>", r.LongitudeDegrees());
    s += Fmt("<b>Altitude:</b> %d m<br>", r.altitude) + Fmt("<b>Speed:</b> %.2f Km/h<br>", r.SpeedKmh());
    s += Fmt("<b>Course:</b> %d<br>", r.CourseDegrees());
    s += Fmt("<b>HDOP:</b> %d.%d<br>", r.HdopWhole(), r.HdopTenths());
    s += Fmt("<b>Battery Capacity:</b> %d<br>", r.battery) + "]]></description>\r\n";
    s += Fmt("  <Point><coordinates>%.07f,%.07f,0</coordinates></Point>\r\n", r.LongitudeDegrees(),
             r.LatitudeDegrees());
    s += " </Placemark>\r\n";
  }
  return s + "</Document>\r\n</kml>";
}

struct WholeFileCase {
  const char* name;
  bool dropNoFix;
  int32_t offset;
};

class WholeFile : public ::testing::TestWithParam<WholeFileCase> {
 protected:
  // A generated track, then the extremes of every field.
  static RawLog Log() {
    std::vector<LogRecord> records;
    const RawLog track = GenerateTrack(3000, 42);
    for (std::size_t i = 0; i < track.size(); ++i) records.push_back(track[i]);
    records.push_back({0, INT32_MIN, INT32_MAX, 65535, 65535, 0xFF, 255, 255, 255});
    records.push_back({4294967295u, -1, 999999, 0, 1, 0x40, 1, 0, 0});
    records.push_back({86399, -999999, -1000000, 1, 99, 0x00, 180, 10, 1});
    return RawLog::FromRecords(records);
  }
};

// Reports the first difference only: a diff of megabytes helps nobody.
void ExpectSameText(const std::string& got, const std::string& want) {
  const auto [g, w] = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
  if (g == got.end() && w == want.end()) return;
  const std::size_t at = static_cast<std::size_t>(g - got.begin());
  const std::size_t from = at < 200 ? 0 : at - 200;
  ADD_FAILURE() << "first difference at byte " << at << "\n got: " << got.substr(from, 300)
                << "\nwant: " << want.substr(from, 300);
}

TEST_P(WholeFile, CsvMatchesPrintfRendering) {
  const ExportOptions o{GetParam().dropNoFix, GetParam().offset};
  const RawLog log = Log();
  ExpectSameText(Export(ExportFormat::Csv, log, o), PrintfCsv(log, o));
}

TEST_P(WholeFile, KmlMatchesPrintfRendering) {
  const ExportOptions o{GetParam().dropNoFix, GetParam().offset};
  const RawLog log = Log();
  ExpectSameText(Export(ExportFormat::Kml, log, o), PrintfKml(log, o));
}

INSTANTIATE_TEST_SUITE_P(Options, WholeFile,
                         ::testing::Values(WholeFileCase{"AllRecordsUtc", false, 0},
                                           WholeFileCase{"DropNoFixEast", true, 28800},
                                           WholeFileCase{"AllRecordsWest", false, -12600}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExportFormat, ParsesNamesAndExtensions) {
  using F = std::optional<ExportFormat>;
  const std::pair<const char*, F> names[] = {{"csv", ExportFormat::Csv},  {".KML", ExportFormat::Kml},
                                             {"Gpx", ExportFormat::Gpx},  {"txt", std::nullopt},
                                             {"", std::nullopt},          {"csvx", std::nullopt},
                                             {".", std::nullopt},         {"k ml", std::nullopt}};
  for (const auto& [name, want] : names) EXPECT_EQ(ParseExportFormat(name), want) << name;

  const std::pair<const char*, F> paths[] = {{"track.GPX", ExportFormat::Gpx},
                                             {"/a/b.c/log.tar.csv", ExportFormat::Csv},
                                             {"dir.kml/file", std::nullopt},
                                             {"/home/u/.csv", std::nullopt},
                                             {"plain", std::nullopt}};
  for (const auto& [path, want] : paths) EXPECT_EQ(ExportFormatFromPath(path), want) << path;
  EXPECT_EQ(ExportFormatName(ExportFormat::Kml), "kml");
}

// A file the user made read-only is not replaced unless asked, and an export
// that cannot be written says why.
TEST(ExportFailure, RefusesReadOnlyTargetsAndGivesTheReason) {
  TempDir dir;
  const std::string path = dir / "kept.csv";
  test::WriteFile(path, "old");
  std::filesystem::permissions(files::PathFromUtf8(path), std::filesystem::perms::owner_write |
                                                             std::filesystem::perms::group_write |
                                                             std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  const RawLog log = RawLog::FromRecords({Example()});
  Status refused = WriteExport(ExportFormat::Csv, path, log, {});
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.detail().find("read-only"), std::string::npos) << refused.detail();
  EXPECT_EQ(ReadFile(path), "old");
  ExportOptions force;
  force.replaceReadOnly = true;
  EXPECT_TRUE(WriteExport(ExportFormat::Csv, path, log, force).ok());
  EXPECT_NE(ReadFile(path), "old");
  Status missing = WriteExport(ExportFormat::Csv, dir / "no/such/folder.csv", log, {});
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.detail().find("folder.csv: "), std::string::npos) << missing.detail();
}

// A stop (the page closed mid-export) ends every format at once and leaves
// the file as it was.
TEST(ExportFailure, StopLeavesTheFileAsItWas) {
  TempDir dir;
  const std::string path = dir / "kept";
  const RawLog log = RawLog::FromRecords(std::vector<LogRecord>(5000, Example()));
  for (ExportFormat format : {ExportFormat::Csv, ExportFormat::Kml, ExportFormat::Gpx}) {
    test::WriteFile(path, "old");
    std::stop_source source;
    source.request_stop();
    ExportOptions options;
    options.stop = source.get_token();
    const Status stopped = WriteExport(format, path, log, options);
    ASSERT_FALSE(stopped.ok());
    EXPECT_EQ(stopped.code(), ErrorCode::Stopped);
    EXPECT_EQ(ReadFile(path), "old");
  }
}

}  // namespace
}  // namespace zd573::logger
