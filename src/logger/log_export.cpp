#include "logger/log_export.h"

#include <cstring>
#include <memory>

#include "logger/replacing_file.h"

namespace zd573::logger {

namespace {

// Buffered text output with hand-rolled number formatting. The results are
// byte for byte those of the printf formats named at each function; printf
// itself would dominate the export time.
class TextOut {
 public:
  // Generously more than the longest record in any format.
  static constexpr std::size_t kMaxRecordBytes = 4096;

  explicit TextOut(ReplacingFile& file) : file_(file), buf_(new char[kSize]), p_(buf_.get()) {}

  // Makes room for one record's worth of text.
  void Room() {
    if (p_ + kMaxRecordBytes > buf_.get() + kSize) Flush();
  }

  bool Flush() {
    const std::size_t n = static_cast<std::size_t>(p_ - buf_.get());
    if (n > 0 && !file_.Write(buf_.get(), n)) ok_ = false;
    p_ = buf_.get();
    return ok_;
  }

  void Put(std::string_view s) {
    if (s.empty()) return;  // an empty view may carry a null pointer, which memcpy must not see
    if (s.size() > kMaxRecordBytes) {
      Flush();
      if (!file_.Write(s.data(), s.size())) ok_ = false;
      return;
    }
    Room();
    std::memcpy(p_, s.data(), s.size());
    p_ += s.size();
  }

  void Char(char c) { *p_++ = c; }

  // "%d" / "%u" of a non-negative value.
  void UInt(uint32_t v) {
    char tmp[10];
    int n = 0;
    do {
      tmp[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    while (n > 0) *p_++ = tmp[--n];
  }

  // "%02d" of 0-99.
  void Two(unsigned v) {
    *p_++ = static_cast<char>('0' + v / 10);
    *p_++ = static_cast<char>('0' + v % 10);
  }

  // "%.06f" of v / 1000000.0; with seventh, "%.07f". The double is within
  // far less than half a unit of the sixth decimal of v's exact quotient, so
  // printf's rounding always gives v's own digits.
  void Micro(int32_t v, bool seventh = false) {
    int64_t w = v;
    if (w < 0) {
      *p_++ = '-';
      w = -w;
    }
    UInt(static_cast<uint32_t>(w / 1000000));
    *p_++ = '.';
    uint32_t frac = static_cast<uint32_t>(w % 1000000);
    for (int i = 5; i >= 0; --i) {
      p_[i] = static_cast<char>('0' + frac % 10);
      frac /= 10;
    }
    p_ += 6;
    if (seventh) *p_++ = '0';
  }

  // "%.2f" of v / 100.0, exact for the same reason.
  void Hundredths(uint32_t v) {
    UInt(v / 100);
    *p_++ = '.';
    Two(v % 100);
  }

  // "%d-%02d-%02d" + sep + "%02d:%02d:%02d"
  void DateTime(const LogDateTime& t, char sep) {
    UInt(t.year);
    *p_++ = '-';
    Two(t.month);
    *p_++ = '-';
    Two(t.day);
    *p_++ = sep;
    Two(t.hour);
    *p_++ = ':';
    Two(t.minute);
    *p_++ = ':';
    Two(t.second);
  }

  bool ok() const { return ok_; }

 private:
  static constexpr std::size_t kSize = 1 << 18;
  ReplacingFile& file_;
  std::unique_ptr<char[]> buf_;
  char* p_;
  bool ok_ = true;
};

TrackFilterOptions FilterOptions(const ExportOptions& options) {
  return {options.dropNoFix, options.dropJumps, options.hideAround};
}

// The track's pieces for the KML line: kept fixes of one local day and one
// segment. Found during the walk over the points, drawn after them.
struct LinePiece {
  uint32_t day = 0;
  uint32_t begin = 0, end = 0;  // GPS times of its first and last fix
  std::size_t fixes = 0;
  int numberInDay = 1;
};

class LinePieces {
 public:
  void Add(const LogRecord& r, int32_t offset) {
    if (r.FixCode() == 0) return;
    const uint32_t day = LocalDay(r.gpsTime, offset);
    if (pieces_.empty() || day != pieces_.back().day || StartsNewSegment(pieces_.back().end, r.gpsTime)) {
      int number = 1;
      for (auto it = pieces_.rbegin(); it != pieces_.rend(); ++it)
        if (it->day == day) {
          number = it->numberInDay + 1;
          break;
        }
      pieces_.push_back({day, r.gpsTime, r.gpsTime, 0, number});
    }
    pieces_.back().end = r.gpsTime;
    ++pieces_.back().fixes;
  }
  const std::vector<LinePiece>& pieces() const { return pieces_; }

 private:
  std::vector<LinePiece> pieces_;
};

Status Stopped() { return Error{"The export was stopped", ErrorCode::Stopped}.Names(MessageKind::Stopped); }

// The shared walk over the record set; `record` writes one record's text.
// With `pieces` the KML line's pieces are gathered on the way.
template <class RecordWriter>
Status WalkRecords(TextOut& out, const RawLog& log, const ExportOptions& options, int32_t localOffset,
                   LinePieces* pieces, RecordWriter&& record) {
  TrackFilter filter(FilterOptions(options));
  const uint8_t* p = log.data();
  const std::size_t count = log.size();
  for (std::size_t i = 0; i < count; ++i, p += kLogRecordSize) {
    // Often enough that a close never waits long; the file is not replaced.
    if (i % 1024 == 0 && options.stop.stop_requested()) return Stopped();
    const LogRecord r = DecodeLogRecord(p);
    if (filter.Judge(r) != Verdict::Kept) continue;
    out.Room();
    // Numbers are 1-based positions in the whole set, so dropped records leave gaps.
    record(out, r, static_cast<uint32_t>(i + 1), localOffset);
    if (pieces) pieces->Add(r, localOffset);
  }
  if (options.leftOut) *options.leftOut = filter.leftOut();
  return Status::Ok();
}

void KmlLineHead(TextOut& o, const LinePiece& piece, int32_t localOffset) {
  o.Room();
  o.Put(" <Placemark>\r\n  <name>Track ");
  const LogDateTime date = SecondsToDateTime(piece.begin, localOffset);
  o.UInt(date.year);
  o.Char('-');
  o.Two(date.month);
  o.Char('-');
  o.Two(date.day);
  if (piece.numberInDay > 1) {
    o.Put(" (");
    o.UInt(static_cast<uint32_t>(piece.numberInDay));
    o.Char(')');
  }
  o.Put("</name>\r\n  <TimeSpan><begin>");
  o.DateTime(SecondsToDateTime(piece.begin, 0), 'T');
  o.Put("Z</begin><end>");
  o.DateTime(SecondsToDateTime(piece.end, 0), 'T');
  o.Put("Z</end></TimeSpan>\r\n  <Style><LineStyle><color>");
  o.Put(kKmlLineColour);
  o.Put("</color><width>3</width></LineStyle></Style>\r\n"
        "  <LineString><tessellate>1</tessellate><coordinates>\r\n");
}

// The pieces' lines: a second walk with the same filter, each kept fix
// written as a coordinate of the piece it belongs to.
Status WriteKmlLines(TextOut& out, const RawLog& log, const ExportOptions& options, int32_t localOffset,
                     const std::vector<LinePiece>& pieces) {
  constexpr std::string_view kLineEnd = "</coordinates></LineString>\r\n </Placemark>\r\n";
  TrackFilter filter(FilterOptions(options));
  std::size_t piece = 0, inPiece = 0;
  const uint8_t* p = log.data();
  for (std::size_t i = 0; i < log.size() && piece < pieces.size(); ++i, p += kLogRecordSize) {
    if (i % 1024 == 0 && options.stop.stop_requested()) return Stopped();
    const LogRecord r = DecodeLogRecord(p);
    if (filter.Judge(r) != Verdict::Kept || r.FixCode() == 0) continue;
    const bool drawn = pieces[piece].fixes >= 2;  // a line needs two points
    if (inPiece == 0 && drawn) KmlLineHead(out, pieces[piece], localOffset);
    if (drawn) {
      out.Room();
      out.Micro(r.longitude, true);
      out.Char(',');
      out.Micro(r.latitude, true);
      out.Put(",0\r\n");
    }
    if (++inPiece == pieces[piece].fixes) {
      if (drawn) out.Put(kLineEnd);
      ++piece, inPiece = 0;
    }
  }
  return Status::Ok();
}

template <class RecordWriter>
Status Export(const std::string& path, const RawLog& log, const ExportOptions& options, bool needsLocalOffset,
              std::string_view head, std::string_view tail, RecordWriter&& record, bool kmlLine = false) {
  if (!options.replaceReadOnly && IsReadOnlyFile(path))
    return Error{std::string(kCantGenerateOutput), ErrorCode::File, path + " is read-only"};
  ReplacingFile file;
  if (!file.Open(path)) return Error{std::string(kCantGenerateOutput), ErrorCode::File, path + ": " + file.Reason()};
  TextOut out(file);
  out.Put(head);
  int32_t localOffset = 0;
  if (needsLocalOffset || kmlLine) localOffset = options.localOffset ? *options.localOffset : LocalStandardOffsetSeconds();
  LinePieces pieces;
  if (Status s = WalkRecords(out, log, options, localOffset, kmlLine ? &pieces : nullptr, record); !s) return s;
  if (kmlLine) {
    if (Status s = WriteKmlLines(out, log, options, localOffset, pieces.pieces()); !s) return s;
  }
  out.Put(tail);
  if (!out.Flush() || !file.Commit())
    return Error{std::string(kCantGenerateOutput), ErrorCode::File, path + ": " + file.Reason()};
  return Status::Ok();
}

// Every field is ="value", a spreadsheet text formula, so that no column is
// reinterpreted as a number or date; each is followed by a comma, the last too.
void CsvRecord(TextOut& o, const LogRecord& r, uint32_t, int32_t localOffset) {
  constexpr std::string_view kNext = "\",=\"";
  o.Put("=\"");
  o.DateTime(SecondsToDateTime(r.gpsTime, localOffset), ' ');
  o.Put(kNext);
  o.DateTime(SecondsToDateTime(r.gpsTime, 0), ' ');
  o.Put(kNext);
  o.UInt(static_cast<uint32_t>(r.FixMode()));
  o.Put(kNext);
  o.UInt(static_cast<uint32_t>(r.Satellites()));
  o.Put(kNext);
  o.Micro(r.latitude);
  o.Put(kNext);
  o.Micro(r.longitude);
  o.Put(kNext);
  o.UInt(r.altitude);
  o.Put(" m");
  o.Put(kNext);
  o.Hundredths(r.speed);
  o.Put(" Km/h");
  o.Put(kNext);
  o.UInt(static_cast<uint32_t>(r.CourseDegrees()));
  o.Put(kNext);
  o.UInt(static_cast<uint32_t>(r.HdopWhole()));
  o.Char('.');
  o.UInt(static_cast<uint32_t>(r.HdopTenths()));
  o.Put(kNext);
  o.UInt(r.battery);
  o.Put("\",\r\n");
}

constexpr std::string_view kCsvHeader =
    "Local time,GPS time,Fix mode,SV used,Latitude,Longitude,Altitude,Speed,Course,HDOP,Battery Capacity\r\n";

std::string_view KmlColour(int fixCode) {
  switch (fixCode) {
    case 0: return "ffeeeeee";
    case 1: return "ff7f0000";
    case 2: return "ff007f00";
    default: return "ff00007f";
  }
}

void KmlRecord(TextOut& o, const LogRecord& r, uint32_t number, int32_t localOffset) {
  const LogDateTime gps = SecondsToDateTime(r.gpsTime, 0);
  o.Put(" <Placemark>\r\n  <TimeStamp> <when>");
  o.DateTime(gps, 'T');
  o.Put("Z</when> </TimeStamp> \r\n  <Style> <IconStyle><Icon><href>");
  o.Put(kKmlIconHref);
  o.Put("</href></Icon><colorMode>normal</colorMode><color>");
  o.Put(KmlColour(r.FixCode()));
  o.Put("</color></IconStyle></Style>\r\n  <name>");
  o.UInt(number);
  o.Put("</name>\r\n  <description>  <![CDATA[<b>Local time:</b> ");
  o.DateTime(SecondsToDateTime(r.gpsTime, localOffset), ' ');
  o.Put("<br><b>GPS time:</b> ");
  o.DateTime(gps, ' ');
  o.Put("<br><b>Fix mode:</b> ");
  o.UInt(static_cast<uint32_t>(r.FixMode()));
  o.Put("<br><b>SV used:</b> ");
  o.UInt(static_cast<uint32_t>(r.Satellites()));
  o.Put("<br><b>Latitude:</b> ");
  o.Micro(r.latitude);
  o.Put("<br><b>Longitude:</b> ");
  o.Micro(r.longitude);
  o.Put("<br><b>Altitude:</b> ");
  o.UInt(r.altitude);
  o.Put(" m<br><b>Speed:</b> ");
  o.Hundredths(r.speed);
  o.Put(" Km/h<br><b>Course:</b> ");
  o.UInt(static_cast<uint32_t>(r.CourseDegrees()));
  o.Put("<br><b>HDOP:</b> ");
  o.UInt(static_cast<uint32_t>(r.HdopWhole()));
  o.Char('.');
  o.UInt(static_cast<uint32_t>(r.HdopTenths()));
  o.Put("<br><b>Battery Capacity:</b> ");
  o.UInt(r.battery);
  o.Put("<br>]]></description>\r\n  <Point><coordinates>");
  o.Micro(r.longitude, true);
  o.Char(',');
  o.Micro(r.latitude, true);
  o.Put(",0</coordinates></Point>\r\n </Placemark>\r\n");
}

constexpr std::string_view kKmlHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n"
    "<Document>\r\n";
constexpr std::string_view kKmlTail = "</Document>\r\n</kml>";

constexpr std::string_view kGpxFix[] = {"none", "2d", "3d", "dgps"};

void GpxRecord(TextOut& o, const LogRecord& r, uint32_t, int32_t) {
  o.Put("      <trkpt lat=\"");
  o.Micro(r.latitude);
  o.Put("\" lon=\"");
  o.Micro(r.longitude);
  o.Put("\">\n        <ele>");
  o.UInt(r.altitude);
  o.Put("</ele>\n        <time>");
  o.DateTime(SecondsToDateTime(r.gpsTime, 0), 'T');
  o.Put("Z</time>\n        <fix>");
  o.Put(kGpxFix[r.FixCode()]);
  o.Put("</fix>\n        <sat>");
  o.UInt(static_cast<uint32_t>(r.Satellites()));
  o.Put("</sat>\n        <hdop>");
  o.UInt(static_cast<uint32_t>(r.HdopWhole()));
  o.Char('.');
  o.UInt(static_cast<uint32_t>(r.HdopTenths()));
  o.Put("</hdop>\n        <extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>");
  // km/h hundredths to m/s with three decimals: v / 360, rounded half up
  // (a ninth can never be exactly half, so this is printf's "%.3f" too).
  const uint32_t milli = (static_cast<uint32_t>(r.speed) * 50 + 9) / 18;
  o.UInt(milli / 1000);
  o.Char('.');
  const uint32_t frac = milli % 1000;
  o.Char(static_cast<char>('0' + frac / 100));
  o.Two(frac % 100);
  o.Put("</gpxtpx:speed>");
  if (r.CourseDegrees() < 360) {
    o.Put("<gpxtpx:course>");
    o.UInt(static_cast<uint32_t>(r.CourseDegrees()));
    o.Put("</gpxtpx:course>");
  }
  o.Put("</gpxtpx:TrackPointExtension></extensions>\n      </trkpt>\n");
}

constexpr std::string_view kGpxHead =
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
    "    <trkseg>\n";
constexpr std::string_view kGpxTail = "    </trkseg>\n  </trk>\n</gpx>\n";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<ExportFormat> ParseExportFormat(std::string_view name) {
  if (!name.empty() && name.front() == '.') name.remove_prefix(1);
  for (ExportFormat f : {ExportFormat::Csv, ExportFormat::Kml, ExportFormat::Gpx}) {
    if (EqualsIgnoringCase(name, ExportFormatName(f))) return f;
  }
  return std::nullopt;
}

std::optional<ExportFormat> ExportFormatFromPath(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = base.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  return ParseExportFormat(base.substr(dot + 1));
}

std::string_view ExportFormatName(ExportFormat format) {
  switch (format) {
    case ExportFormat::Csv: return "csv";
    case ExportFormat::Kml: return "kml";
    case ExportFormat::Gpx: return "gpx";
  }
  return "";
}

Status WriteCsvExport(const std::string& path, const RawLog& log, const ExportOptions& options) {
  return Export(path, log, options, true, kCsvHeader, {}, CsvRecord);
}

Status WriteKmlExport(const std::string& path, const RawLog& log, const ExportOptions& options) {
  return Export(path, log, options, true, kKmlHead, kKmlTail, KmlRecord, options.kmlLine);
}

Status WriteGpxExport(const std::string& path, const RawLog& log, const ExportOptions& options) {
  return Export(path, log, options, false, kGpxHead, kGpxTail, GpxRecord);
}

Status WriteExport(ExportFormat format, const std::string& path, const RawLog& log, const ExportOptions& options) {
  switch (format) {
    case ExportFormat::Csv: return WriteCsvExport(path, log, options);
    case ExportFormat::Kml: return WriteKmlExport(path, log, options);
    case ExportFormat::Gpx: return WriteGpxExport(path, log, options);
  }
  return Error{std::string(kCantGenerateOutput)};
}

}  // namespace zd573::logger
