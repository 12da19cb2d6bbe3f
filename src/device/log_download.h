#pragma once
// Downloading the tracker's GPS log into the raw file on a worker thread.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.h"
#include "common/result.h"
#include "device/device_job.h"
#include "device/device_port.h"

namespace zd573 {

// How a download ended; the numbers are those the logger page has always shown.
enum LogEndCode : int {
  kLogComplete = 0,    // the raw file is closed and holds every record
  kLogNoData = 1,      // "No data in device."
  kLogFileFailed = 2,  // the raw file could not be created
  kLogAborted = 4,     // "Abort download process."
  kLogTimedOut = 5,    // "Download timeout."
  kLogRequestFailed = 6,  // the request did not reach the tracker: RequestFailure() says why
  kLogCompleteWithLosses = 7,  // the count was reached, some of it in packets that failed their check
};

// Messages shown for the end codes that have one.
inline constexpr std::string_view kNoDataMessage = "No data in device.";
inline constexpr std::string_view kAbortMessage = "Abort download process.";
inline constexpr std::string_view kTimeoutMessage = "Download timeout.";

// Called on the reader's thread; a GUI re-posts each call to its own thread.
class LogObserver : public JobObserver {
 public:
  // Records received so far, of the total the count line announced.
  virtual void LogProgress(Progress progress) = 0;
  virtual void LogEnded(int code) = 0;
};

struct LogDownloadOptions {
  // Replaced only by a complete download; never opened through a link.
  // Empty: temp.log in the user's cache folder (settings::RawLogPath()).
  std::string rawPath;
  std::chrono::milliseconds silenceLimit{10000};  // no byte at all for this long: timed out
  std::chrono::milliseconds stallLimit{30000};    // no count line or record for this long: timed out
  // Once the count is reached, the download ends when no packet has come for
  // this long: records beyond a count that was too small are kept.
  std::chrono::milliseconds settleLimit{500};
};

// The receive side of the download stream: count line, marker line, packets.
// Pure buffer logic, fed with what each read brought; it writes accepted
// payloads to the raw file and reports through the observer.
//
// The payloads go to a new private file beside the raw file (created
// exclusively, so no link or other file is ever opened in its place), which
// is renamed over the raw file when the download is complete. Until then an
// earlier raw file stays as it was, and a download that does not complete
// leaves no file behind.
class LogStreamReceiver {
 public:
  static constexpr std::size_t kBufferSize = 256;
  static constexpr std::size_t kMaxRead = 64;

  LogStreamReceiver(LogObserver& observer, std::string rawPath);
  ~LogStreamReceiver();
  LogStreamReceiver(const LogStreamReceiver&) = delete;
  LogStreamReceiver& operator=(const LogStreamReceiver&) = delete;

  // How many bytes the next read may bring (0 when the buffer is full).
  std::size_t Room() const;
  // Feeds one read's bytes (count 0 for a read that brought nothing).
  void Feed(const std::uint8_t* bytes, std::size_t count);
  // True once an end code has been reported.
  bool Ended() const { return ended_; }
  // True when a count line or a packet of records (good or damaged) moved the
  // download on since the last call.
  bool TakeProgress();
  // The records received and damaged together have reached the count.
  bool CountReached() const { return counted_ && std::uint64_t{received_} + damaged_ >= total_; }
  // Ends a download whose count is reached, unless a packet is still on its
  // way: the raw file is committed and kLogComplete or kLogCompleteWithLosses
  // reported. Returns true when it ended.
  bool Settle(bool evenMidPacket = false);
  // Drops the records of an unfinished download: the private file is closed
  // and removed, the raw file left as it was.
  void DiscardFile();
  std::size_t Buffered() const { return fill_; }
  bool CountSeen() const { return counted_; }
  std::uint32_t Total() const { return total_; }
  std::uint32_t Received() const { return received_; }
  // Records in packets that failed their check: lost, but counted toward the total.
  std::uint32_t Damaged() const { return damaged_; }
  // The payloads accepted so far, in order (the raw log's bytes).
  const std::vector<std::uint8_t>& Records() const { return records_; }
  // Why the raw file failed (kLogFileFailed): "Cannot write <path>: <reason>".
  const std::string& FileFailure() const { return fileFailure_; }

 private:
  enum class State { WaitCount, WaitMarker, Packets };
  // Works on the buffer; returns true when it should run again at once.
  bool Step();
  bool StepCount();
  bool StepMarker();
  bool StepPackets();
  // The buffer starts with a well-formed packet start whose rest is still on its way.
  bool AwaitingPacket() const;
  // Drops a start still waiting when a whole packet follows it; true when it did.
  bool SkipFalseStart();
  static bool WholePacket(const std::uint8_t* p, std::size_t len);
  void ReportProgress();
  bool OpenFile();
  bool CommitFile();
  void FailFile(std::string_view what, const std::string& reason);
  void Remove(std::size_t count);
  void End(int code);

  LogObserver& observer_;
  std::string rawPath_;
  std::uint8_t buffer_[kBufferSize];
  std::size_t fill_ = 0;
  State state_ = State::WaitCount;
  files::NewFile file_;  // the private file while it is open
  std::string fileFailure_;
  bool counted_ = false;
  std::uint32_t total_ = 0;
  std::uint32_t received_ = 0;
  std::uint32_t damaged_ = 0;
  std::vector<std::uint8_t> records_;
  bool ended_ = false;
  bool progressed_ = false;
};

class LogDownload {
 public:
  LogDownload(LogObserver& observer, LogDownloadOptions options = {});
  ~LogDownload();
  LogDownload(const LogDownload&) = delete;
  LogDownload& operator=(const LogDownload&) = delete;

  // Starts the reader on an open port, which it owns until it is stopped (a
  // view of a port held elsewhere, BorrowPort or a session's lease, keeps that
  // port open); the reader sends "LB" first. Errors are the fixed messages,
  // with the reason as their detail; a request that cannot be sent ends the
  // download with kLogRequestFailed. Without a raw path in the options the raw
  // log goes to settings::RawLogPath(), whose folder this creates (a File
  // error when it cannot).
  Status Start(std::unique_ptr<DevicePort> port);
  // Where the raw log goes; set by Start when the options named none.
  const std::string& RawPath() const { return options_.rawPath; }
  // The user gives up: the reader reports kLogAborted and ends.
  void Cancel() { cancel_ = true; }
  // Ends the reader without a report, waits for it, closes the port.
  void Stop() { worker_.Stop(); }
  bool Running() const { return worker_.Running(); }
  // What the user is told beside the end code's own message, set before the
  // end is reported: why an unfinished download ended and how many records
  // arrived, how many records were damaged and left out, how many came beyond
  // the count, or the raw file's failure with its reason; empty otherwise.
  std::string EndDetail() const;
  // The records that arrived, complete or not, once the download has ended:
  // an export is made from these, never from the shared raw file another
  // download may be replacing meanwhile.
  std::vector<std::uint8_t> Records() const;
  // Records received, damaged and announced, as they stood at the end.
  struct Tally {
    std::uint32_t received = 0;
    std::uint32_t damaged = 0;
    std::uint32_t total = 0;
    bool counted = false;
    bool silent = false;  // an unfinished download: no byte came at all, rather than no record
  };
  Tally EndTally() const;
  // Why the request was not sent (kLogRequestFailed): "Unable to send the
  // download request to the tracker" with the port's reason.
  std::optional<Error> RequestFailure() const;

 private:
  void Run(DevicePort& port, std::stop_token stop);
  void Finish(LogStreamReceiver& receiver, int code, std::string detail, bool silent = false);
  // Keeps what the receiver has for the caller, before the end is reported.
  void Keep(const LogStreamReceiver& receiver, std::string detail, bool silent = false);
  static std::string UnfinishedDetail(const LogStreamReceiver& receiver, bool silent);

  LogObserver& observer_;
  LogDownloadOptions options_;
  std::atomic<bool> cancel_{false};
  mutable std::mutex detailMutex_;
  std::string endDetail_;
  std::vector<std::uint8_t> records_;
  Tally tally_;
  std::optional<Error> requestFailure_;
  DeviceWorker worker_;
};

}  // namespace zd573
