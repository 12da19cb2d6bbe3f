#include "device/profile_writer.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "common/files.h"
#include "device/blocking_read.h"
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
    if (options.stop.stop_requested()) {
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
      return out;
    }
    before += applied.total;
    out.written.push_back(page);
  }
  if (readLimit.count() == 0) return out;
  if (options.stop.stop_requested()) {
    out.status = StoppedBefore("the settings were read back");
    return out;
  }
  DeviceSettings readBack;
  readBack.SetCodePage(settings.CodePage());
  Status read = ReadKeysOn(port, KeysOfPages(pages), readBack, readLimit, options.stop, options.listen);
  if (read && options.stop.stop_requested()) read = StoppedBefore("the settings were read back");
  if (!read) {
    out.status = read;
    return out;
  }
  out.readBack = readBack.Snapshot();
  out.untaken = UntakenKeys(target, out.readBack, pages);
  return out;
}

namespace {

constexpr char kReportHeader[] = "time_utc,imei,name,pages_written,result,reason\n";

// Quoted when it holds a comma, a quote or a line break; a line break becomes
// a blank, so each tracker stays one line of the report.
std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c == '\r' || c == '\n' ? ' ' : c);
  return out + "\"";
}

std::string UtcTime(std::time_t when) {
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &when);
#else
  gmtime_r(&when, &tm);
#endif
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

Error CannotWrite(const std::string& path, int error, const std::string& reason) {
  Error e{"Cannot write " + path, ErrorCode::File, reason};
  e.systemError = error;
  return std::move(e).Names(MessageKind::FileUnwritable, path, {reason});
}

// Writes `text` and flushes it to the file; the failure says why.
Status Put(std::ofstream& out, const std::string& path, const std::string& text) {
  errno = 0;
  if (out << text << std::flush) return {};
  const int error = errno;
  return CannotWrite(path, error, error ? std::generic_category().message(error) : "the write did not reach the file");
}

}  // namespace

std::string FormatReportRow(const ProvisionRow& row, std::time_t when) {
  return UtcTime(when) + "," + CsvField(row.imei) + "," + CsvField(row.name) + "," +
         std::to_string(row.pagesWritten) + "," + (row.skipped ? "skipped" : row.ok ? "ok" : "failed") + "," + CsvField(row.reason) + "\n";
}

Status ProvisionReport::Open(const std::string& path) {
  if (out_.is_open()) out_.close();
  path_ = path;
  switch (files::KindOf(path)) {
    case files::Kind::Directory: return CannotWrite(path, EISDIR, std::generic_category().message(EISDIR));
    case files::Kind::Other: return CannotWrite(path, 0, "not a regular file (a pipe or a device)");
    default: break;
  }
  const std::filesystem::path file = files::PathFromUtf8(path);
  std::error_code ec;
  const bool fresh = !std::filesystem::exists(file, ec) || std::filesystem::file_size(file, ec) == 0;
  errno = 0;
  out_.open(file, std::ios::app | std::ios::binary);
  if (!out_) {
    const int error = errno;
    return CannotWrite(path, error, error ? std::generic_category().message(error) : "it could not be opened");
  }
  return fresh ? Put(out_, path_, kReportHeader) : Status{};
}

Status ProvisionReport::Append(const ProvisionRow& row, std::time_t when) {
  if (!out_.is_open()) return CannotWrite(path_, 0, "the report is not open");
  // A failure before does not keep later rows out.
  out_.clear();
  return Put(out_, path_, FormatReportRow(row, when));
}

}  // namespace zd573
