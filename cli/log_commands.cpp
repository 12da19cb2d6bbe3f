#include "log_commands.h"

#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>

#include "console.h"
#include "device/log_download.h"
#include "device/sentences.h"
#include "logger/log_export.h"
#include "logger/replacing_file.h"
#include "logger/log_record.h"
#include "logger/log_archive.h"
#include "settings/paths.h"
#include "track_commands.h"

namespace zd573::cli {
namespace {
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
  // Ctrl+C asks the download to end: it then reports kLogAborted, having
  // removed its partial file.
  int Wait(LogDownload& download) {
    std::unique_lock lock(mutex_);
    while (!cv_.wait_for(lock, std::chrono::milliseconds(50), [&] { return code_ >= 0; })) {
      if (InterruptGuard::Interrupted()) {
        interrupted_ = true;
        download.Cancel();
      }
    }
    if (bar_) std::fprintf(stderr, "\n");
    return code_;
  }
  bool interrupted_ = false;

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

int Export(const Options& o, const logger::RawLog& log, const std::string& out, ExportFormat format,
           const LogArgs& args) {
  if (!args.rawCopy.empty()) {
    logger::ReplacingFile copy;
    const auto& bytes = log.bytes();
    if (!copy.Open(args.rawCopy) || !copy.Write(bytes.data(), bytes.size()) || !copy.Commit()) {
      Fail("Cannot write " + args.rawCopy + ": " + copy.Reason());
      return kBadValue;
    }
  }
  logger::ExportOptions options;
  options.dropNoFix = args.dropNoFix;
  options.localOffset = logger::LocalStandardOffsetSeconds();
  options.replaceReadOnly = o.force;
  options.dropJumps = args.dropJumps;
  options.hideAround = args.hideAround;
  options.kmlLine = args.kmlLine;
  logger::LeftOut leftOut;
  options.leftOut = &leftOut;
  if (Status s = logger::WriteExport(format, out, log, options); !s) {
    Fail(Describe(s.failure()) + (o.force ? "" : IsReadOnlyHint(out)));
    return kBadValue;
  }
  // What the filters left out is said; without them the count stays the log's, as it always was.
  if (leftOut.hidden + leftOut.jumps == 0) {
    Say(o, "Wrote " + std::to_string(log.size()) + " records to " + out);
  } else {
    Say(o, "Wrote " + std::to_string(log.size() - leftOut.Total()) + " of " + std::to_string(log.size()) +
               " records to " + out + " (" + logger::DescribeLeftOut(leftOut) + ")");
  }
  return kOk;
}

int Convert(const Options& o, const std::string& raw, const std::string& out, ExportFormat format,
            const LogArgs& args) {
  auto log = logger::LoadRawLog(raw);
  if (!log) {
    Fail(Describe(log.failure()));
    return kBadValue;
  }
  return Export(o, *log, out, format, args);
}

// Exports the records the download kept (its own, not temp.log, which another
// download may be replacing meanwhile).
int ExportDownloaded(const Options& o, const LogDownload& download, const std::string& out, ExportFormat format,
                     const LogArgs& args) {
  auto log = logger::RawLog::FromBytes(download.Records());
  if (!log) {
    Fail(Describe(log.failure()));
    return kBadValue;
  }
  return Export(o, *log, out, format, args);
}

// Merges the download's records into the tracker's archive; an archive that
// cannot be written is an error (exit code 5), though the export goes on.
int KeepInArchive(const Options& o, const std::string& imei, const LogDownload& download) {
  auto log = logger::RawLog::FromBytes(download.Records());
  if (!log) return kOk;  // nothing arrived: nothing to keep
  const settings::IniFile systemIni(settings::SystemIniPath());
  const auto merged = logger::ArchiveDownload(systemIni, imei, *log);
  if (!merged) {
    Fail(Describe(merged.failure()));
    return kBadValue;
  }
  if (merged->archived)
    Say(o, "Kept in the archive: " + std::to_string(merged->added) + " new records, " +
               std::to_string(merged->total) + " in " + merged->path);
  return kOk;
}

// The export's exit code, or the archive's failure when the export went well.
int Either(int exportRc, int archiveRc) { return exportRc != kOk ? exportRc : archiveRc; }

int Download(Options& o, const std::string& out, ExportFormat format, const LogArgs& args) {
  if (int rc = CheckTarget(out); rc != kOk) return rc;
  if (!args.rawCopy.empty()) {
    if (int rc = CheckTarget(args.rawCopy); rc != kOk) return rc;
  }
  DeviceSession session(o);
  if (int rc = session.Authorize(); rc != kOk) return rc;
  const std::string imei = session.Settings().Text("B2");
  // The raw log goes to the user's cache folder, not beside the export.
  DownloadWaiter waiter(!o.quiet && IsTerminal(Stream::Err));
  LogDownload download(waiter);
  if (Status s = download.Start(BorrowPort(*session.HeldPort())); !s) return FailWith(s.failure());
  int code = waiter.Wait(download);
  download.Stop();
  const std::string detail = download.EndDetail();
  const std::string& raw = download.RawPath();
  switch (code) {
    case kLogComplete: {
      const int archived = KeepInArchive(o, imei, download);
      const int rc = ExportDownloaded(o, download, out, format, args);
      if (rc == kOk && !detail.empty()) Say(o, "Note: " + detail);
      return Either(rc, archived);
    }
    case kLogCompleteWithLosses: {
      KeepInArchive(o, imei, download);
      const int rc = ExportDownloaded(o, download, out, format, args);
      if (rc != kOk) return rc;
      Fail("the download is incomplete: " + detail);
      return kDamagedLeftOut;
    }
    case kLogNoData: Say(o, std::string(kNoDataMessage)); return kOk;
    case kLogFileFailed: Fail(detail.empty() ? "Cannot create " + raw : detail); return kBadValue;
    case kLogTimedOut:
      Fail(detail);
      if (args.keepPartial && download.EndTally().received > 0) {
        KeepInArchive(o, imei, download);
        if (int rc = ExportDownloaded(o, download, out, format, args); rc != kOk) return rc;
        Say(o, "The export holds only the records that arrived.");
      } else if (download.EndTally().received > 0) {
        Say(o, "Nothing was written (--keep-partial exports the records that arrived).");
      }
      return kTimedOut;
    case kLogRequestFailed:
      return FailWith(download.RequestFailure().value_or(Error{"Unable to send the download request to the tracker"}));
    default: Fail(std::string(kAbortMessage)); return waiter.interrupted_ ? kInterrupted : kNoDevice;
  }
}

int Erase(Options& o) {
  if (!o.yes) {
    if (!IsTerminal(Stream::In)) {
      Fail("log erase deletes every GPS record in the tracker: confirm with --yes");
      return kUsage;
    }
    const std::optional<std::string> typed = ReadLine("Erase the whole GPS log in the tracker? [y/N] ");
    if (!typed) {
      Fail("Stopped before the log was erased: nothing was sent");
      return kInterrupted;
    }
    const std::string& answer = *typed;
    if (answer != "y" && answer != "Y" && answer != "yes") {
      Say(o, "Nothing erased.");
      return kOk;
    }
  }
  DeviceSession session(o);
  if (int rc = session.Authorize(); rc != kOk) return rc;
  if (Status s = SendQueryOn(*session.HeldPort(), BuildLogEraseQuery(), o.write); !s) return FailWith(s.failure());
  Say(o, "GPS log erased.");
  return kOk;
}

}  // namespace

int ExportRecords(const Options& o, const logger::RawLog& log, const std::string& out, ExportFormat format,
                  const LogArgs& args) {
  return Export(o, log, out, format, args);
}

int RunLogCommand(Options& o, const std::vector<std::string>& words, const LogArgs& args) {
  const std::string sub = words.size() > 1 ? words[1] : "";
  ExportFormat chosen{};
  if ((!args.from.empty() || !args.to.empty()) && sub != "archive") {
    Fail("--from and --to are for log archive");
    return kUsage;
  }
  if (args.kmlLine && (sub == "download" || sub == "convert") && words.size() >= 3 &&
      logger::ParseExportFormat(args.format).value_or(
          logger::ExportFormatFromPath(words.back()).value_or(ExportFormat::Kml)) != ExportFormat::Kml) {
    Fail("--kml-line is for a KML export");
    return kUsage;
  }
  if (sub == "download" && words.size() == 3) {
    if (int rc = ChooseFormat(args.format, words[2], chosen); rc != kOk) return rc;
    return Download(o, words[2], chosen, args);
  }
  if (!args.rawCopy.empty() || args.keepPartial) {
    Fail(std::string(args.keepPartial ? "--keep-partial" : "--raw") +
         " is for log download; log convert reads the raw file it is given");
    return kUsage;
  }
  if (sub == "stats") return RunLogStats(o, words, args);
  if (sub == "archive") return RunLogArchive(o, words, args);
  if (sub == "convert" && words.size() == 4) {
    if (int rc = ChooseFormat(args.format, words[3], chosen); rc != kOk) return rc;
    return Convert(o, words[2], words[3], chosen, args);
  }
  if (sub == "erase" && words.size() == 2) return Erase(o);
  Fail("usage: log download OUT | log convert RAW OUT | log erase | log stats FILE | log archive [IMEI] OUT "
       "(see --help)");
  return kUsage;
}

}  // namespace zd573::cli
