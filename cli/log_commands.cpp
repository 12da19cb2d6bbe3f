#include "log_commands.h"

#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>

#include "device/log_download.h"
#include "device/sentences.h"
#include "logger/log_export.h"
#include "logger/replacing_file.h"
#include "logger/log_record.h"

namespace zd573::cli {
namespace {
namespace fs = std::filesystem;
using logger::ExportFormat;

// Waits for the reader's end and draws a progress bar on a terminal.
class DownloadWaiter final : public LogObserver {
 public:
  explicit DownloadWaiter(bool bar) : bar_(bar), start_(std::chrono::steady_clock::now()) {}
  void LogProgress(Progress progress) override {
    if (!bar_) return;
    const std::uint32_t received = progress.done;
    const std::uint32_t total = progress.total;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    double rate = seconds > 0 ? received / seconds : 0;
    double percent = total ? 100.0 * received / total : 0;
    int filled = static_cast<int>(percent / 100.0 * 30);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(30, '.');
    double left = rate > 0 ? (total - received) / rate : 0;
    std::fprintf(stderr, "\r[%s] %u / %u records %5.1f%%  %.0f rec/s  %.0f s left ", bar.c_str(), received, total,
                 percent, rate, left);
    std::fflush(stderr);
  }
  void LogEnded(int code) override {
    std::lock_guard lock(mutex_);
    code_ = code;
    cv_.notify_all();
  }
  int Wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return code_ >= 0; });
    if (bar_) std::fprintf(stderr, "\n");
    return code_;
  }

 private:
  bool bar_;
  std::chrono::steady_clock::time_point start_;
  std::mutex mutex_;
  std::condition_variable cv_;
  int code_ = -1;
};

int ChooseFormat(const std::string& format, const std::string& out, ExportFormat& chosen) {
  auto f = format.empty() ? logger::ExportFormatFromPath(out) : logger::ParseExportFormat(format);
  if (!f) {
    Fail(format.empty() ? "cannot tell the export format from " + out + ": give --format csv|kml|gpx"
                        : "unknown format " + format + " (csv, kml or gpx)");
    return kUsage;
  }
  chosen = *f;
  return kOk;
}

std::string IsReadOnlyHint(const std::string& out) {
  return logger::IsReadOnlyFile(out) ? " (--force replaces it)" : "";
}

int Export(const Options& o, const std::string& raw, const std::string& out, ExportFormat format, bool dropNoFix) {
  auto log = logger::LoadRawLog(raw);
  if (!log) {
    Fail(Describe(log.failure()));
    return kBadValue;
  }
  logger::ExportOptions options;
  options.dropNoFix = dropNoFix;
  options.localOffset = logger::LocalStandardOffsetSeconds();
  options.replaceReadOnly = o.force;
  if (Status s = logger::WriteExport(format, out, *log, options); !s) {
    Fail(Describe(s.failure()) + (o.force ? "" : IsReadOnlyHint(out)));
    return kBadValue;
  }
  Say(o, "Wrote " + std::to_string(log->size()) + " records to " + out);
  return kOk;
}

int Download(Options& o, const std::string& out, ExportFormat format, bool dropNoFix) {
  DeviceSession session(o);
  if (int rc = session.ResolvePort(); rc != kOk) return rc;
  fs::path folder = fs::absolute(out).parent_path();
  LogDownloadOptions options;
  options.rawPath = (folder / "temp.log").string();
  DownloadWaiter waiter(!o.quiet && isatty(STDERR_FILENO));
  LogDownload download(waiter, options);
  if (Status s = download.Start(session.Port()); !s) return FailWith(s.failure());
  int code = waiter.Wait();
  download.Stop();
  const std::string detail = download.EndDetail();
  switch (code) {
    case kLogComplete: return Export(o, options.rawPath, out, format, dropNoFix);
    case kLogNoData: Say(o, std::string(kNoDataMessage)); return kOk;
    case kLogFileFailed: Fail(detail.empty() ? "Cannot create " + options.rawPath : detail); return kBadValue;
    case kLogTimedOut: Fail(std::string(kTimeoutMessage) + (detail.empty() ? "" : " " + detail)); return kTimedOut;
    default: Fail(std::string(kAbortMessage)); return kNoDevice;
  }
}

int Erase(Options& o) {
  if (!o.yes) {
    if (!isatty(STDIN_FILENO)) {
      Fail("log erase deletes every GPS record in the tracker: confirm with --yes");
      return kUsage;
    }
    std::cerr << "Erase the whole GPS log in the tracker? [y/N] ";
    std::string answer;
    std::getline(std::cin, answer);
    if (answer != "y" && answer != "Y" && answer != "yes") {
      Say(o, "Nothing erased.");
      return kOk;
    }
  }
  DeviceSession session(o);
  if (int rc = session.ResolvePort(); rc != kOk) return rc;
  if (Status s = SendQuery(session.Port(), BuildLogEraseQuery(), o.write); !s) return FailWith(s.failure());
  Say(o, "GPS log erased.");
  return kOk;
}

}  // namespace

int RunLogCommand(Options& o, const std::vector<std::string>& words, const std::string& format, bool dropNoFix) {
  const std::string sub = words.size() > 1 ? words[1] : "";
  ExportFormat chosen{};
  if (sub == "download" && words.size() == 3) {
    if (int rc = ChooseFormat(format, words[2], chosen); rc != kOk) return rc;
    return Download(o, words[2], chosen, dropNoFix);
  }
  if (sub == "convert" && words.size() == 4) {
    if (int rc = ChooseFormat(format, words[3], chosen); rc != kOk) return rc;
    return Export(o, words[2], words[3], chosen, dropNoFix);
  }
  if (sub == "erase" && words.size() == 2) return Erase(o);
  Fail("usage: log download OUT | log convert RAW OUT | log erase (see --help)");
  return kUsage;
}

}  // namespace zd573::cli
