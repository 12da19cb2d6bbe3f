#include "device/profile_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/files.h"
#include "common/printable.h"
#include "common/utc_time.h"
#include "device/blocking_read.h"
#include "device/device_job.h"
#include "device/profile.h"

namespace zd573 {
namespace {

Error StoppedBefore(const char* what) {
  return Error{std::string("Stopped before ") + what, ErrorCode::Stopped};
}

}  // namespace

Status ReadKeysOn(DevicePort& port, const std::vector<std::string_view>& keys, DeviceSettings& into,
                  std::chrono::milliseconds limit, std::stop_token stop, LinePace* pace) {
  ReadOptions options;
  options.pace = pace;
  options.fullReadStall = std::chrono::milliseconds(0);  // the time limit decides
  options.keys.assign(keys.begin(), keys.end());
  const ReadEnd end = BlockingRead(port, ReadKind::Keys, into, options, limit, stop);
  if (!end.started) return end.started;
  const std::vector<std::string> got = {std::to_string(end.progress.done), std::to_string(keys.size())};
  if (!end.finished) {
    if (stop.stop_requested()) return StoppedBefore("every setting was read");
    return ReadIncomplete(ReadKind::Keys, keys, into, limit).Names(MessageKind::ReadStopped, {}, got);
  }
  if (end.failure.empty()) return {};
  const bool gone = end.failure.rfind(kReaderDisconnected, 0) == 0;
  return Error{end.failure, gone ? ErrorCode::Disconnected : ErrorCode::Failed}.Names(MessageKind::ReadStopped, {},
                                                                                        got);
}

ProfileWriteResult WriteProfilePages(DevicePort& port, DeviceSettings& settings, const DeviceValues& target,
                                     const std::vector<Page>& pages, const WriteOptions& options,
                                     std::chrono::milliseconds readLimit, const std::function<void(Page)>& starting) {
  ProfileWriteResult out;
  // One progress over all the pages: their sentences are counted first, and
  // a value that cannot be sent is found before anything is.
  int total = 0;
  DeviceValues built = target;
  for (Page page : pages) {
    auto sentences = BuildPageTransaction(page, built);
    if (!sentences) {
      Error e = sentences.failure();
      e.code = ErrorCode::BadValue;
      out.status = e;
      return out;
    }
    total += static_cast<int>(sentences->size());
  }
  int before = 0;
  for (Page page : pages) {
    if (options.stop.stop_requested() || options.pageStop.stop_requested()) {
      out.status = Error{"Stopped before every sentence was written", ErrorCode::Stopped}.Names(MessageKind::Stopped);
      return out;
    }
    if (starting) starting(page);
    WriteOptions pageOptions = options;
    if (options.progress)
      pageOptions.progress = [&](int written, int) { options.progress(before + written, total); };
    const ApplyResult applied = ApplyPageOn(port, page, settings, target, pageOptions);
    if (!applied.status) {
      out.status = applied.status;
      out.cutSent = applied.written;
      out.cutOf = applied.total;
      return out;
    }
    before += applied.total;
    out.written.push_back(page);
  }
  if (readLimit.count() == 0) return out;
  // A read has nothing to finish: either stop ends it.
  const EitherStop stop(options.stop, options.pageStop);
  if (stop.Token().stop_requested()) {
    out.status = StoppedBefore("the settings were read back");
    return out;
  }
  DeviceSettings readBack;
  readBack.SetCodePage(settings.CodePage());
  Status read = ReadKeysOn(port, KeysOfPages(pages), readBack, readLimit, stop.Token(), options.listen);
  if (read && stop.Token().stop_requested()) read = StoppedBefore("the settings were read back");
  if (!read) {
    out.status = read;
    return out;
  }
  out.readBack = readBack.Snapshot();
  out.untaken = UntakenKeys(target, out.readBack, pages);
  return out;
}

namespace {

constexpr char kReportHeader[] = "time_utc,imei,name,pages_written,result,reason,roster_row\n";

// Quoted when it holds a comma, a quote or a line break; a line break becomes
// a blank, so each tracker stays one line of the report. Other control bytes
// are shown as \xHH, and a cell a spreadsheet would take for a formula
// (=, +, -, @ first) starts with an apostrophe and is quoted.
std::string CsvField(const std::string& s) {
  std::string flat = s;
  std::replace_if(flat.begin(), flat.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  std::string text = Printable(flat);
  const bool formula = !text.empty() && std::string_view("=+-@").find(text.front()) != std::string_view::npos;
  if (formula) text.insert(0, 1, '\'');
  if (!formula && s.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string UtcTime(std::time_t when, const char* format = "%Y-%m-%dT%H:%M:%SZ") { return UtcText(when, format); }

Error CannotWrite(const std::string& path, int error, const std::string& reason) {
  Error e{"Cannot write " + path, ErrorCode::File, reason};
  e.systemError = error;
  return std::move(e).Names(MessageKind::FileUnwritable, path, {reason});
}

// A name beside `path` that nothing holds yet: report-20261209T120000Z.csv.
std::string NameBeside(const std::string& path, std::time_t when) {
  const std::filesystem::path p = files::PathFromUtf8(path);
  const std::string stem = files::PathToUtf8(p.stem()) + "-" + UtcTime(when, "%Y%m%dT%H%M%SZ");
  const std::string ext = files::PathToUtf8(p.extension());
  for (int n = 1;; ++n) {
    const std::string name = stem + (n == 1 ? std::string() : "-" + std::to_string(n)) + ext;
    const std::string candidate = files::PathToUtf8(p.parent_path() / files::PathFromUtf8(name));
    if (files::KindOf(candidate) == files::Kind::Missing || n == 100) return candidate;
  }
}

}  // namespace

std::string FormatReportRow(const ProvisionRow& row, std::time_t when) {
  return UtcTime(when) + "," + CsvField(row.imei.empty() ? "(no IMEI)" : row.imei) + "," + CsvField(row.name) + "," +
         std::to_string(row.pagesWritten) + "," + (row.skipped ? "skipped" : row.ok ? "ok" : "failed") + "," +
         CsvField(row.reason) + "," + (row.rosterRow > 0 ? std::to_string(row.rosterRow) : std::string()) + "\n";
}

Status ProvisionReport::OpenFile(const std::string& path, bool mayExist) {
  switch (files::KindOf(path)) {
    case files::Kind::Directory: return CannotWrite(path, EISDIR, std::generic_category().message(EISDIR));
    case files::Kind::Other: return CannotWrite(path, 0, "not a regular file (a pipe or a device)");
    case files::Kind::Regular:
      if (!mayExist) return CannotWrite(path, EEXIST, std::generic_category().message(EEXIST));
      break;
    default: break;
  }
  if (!file_.Open(path)) return CannotWrite(path, 0, file_.Reason());
  path_ = path;
  const std::int64_t size = file_.Size();
  if (size < 0) return CannotWrite(path, 0, file_.Reason());
  if (size == 0) {
    if (!file_.Append(kReportHeader)) return CannotWrite(path, 0, file_.Reason());
  } else if (file_.LastByte() != '\n') {
    // Half a row from a run that could not finish it: end it, so the next
    // row is not read as its rest.
    if (!file_.Append("\n")) return CannotWrite(path, 0, file_.Reason());
    events_.push_back({ReportEvent::Kind::EndedTornRow, path, {}});
  }
  return {};
}

Status ProvisionReport::Open(const std::string& path) {
  file_.Close();
  events_.clear();
  return OpenFile(path, true);
}

Status ProvisionReport::Append(const ProvisionRow& row, std::time_t when) {
  if (!file_.IsOpen()) return CannotWrite(path_, 0, "the report is not open");
  if (!file_.StillNamedBy(path_)) {
    // Deleted, or saved over by another program: the rows so far are where
    // that left them; the rest go to a file of their own.
    const std::string was = path_;
    file_.Close();
    if (Status s = OpenFile(NameBeside(was, when), false); !s) return s;
    events_.push_back({ReportEvent::Kind::ContinuedElsewhere, path_, was});
  }
  if (!file_.Append(FormatReportRow(row, when))) return CannotWrite(path_, 0, file_.Reason());
  return {};
}

}  // namespace zd573
