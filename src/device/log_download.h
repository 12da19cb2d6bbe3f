#pragma once
// Downloading the tracker's GPS log into the raw file on a worker thread.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <stop_token>
#include <string>

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
  std::string rawPath = "temp.log";
  std::chrono::milliseconds silenceLimit{10000};  // no byte at all for this long: timed out
  std::chrono::milliseconds stallLimit{30000};    // no count line or record for this long: timed out
};

// The receive side of the download stream: count line, marker line, packets.
// Pure buffer logic, fed with what each read brought; it writes accepted
// payloads to the raw file and reports through the observer.
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
  // True when a count line or an accepted record moved the download on since the last call.
  bool TakeProgress();
  // Flushes and closes the raw file if still open (a partial file stays on disk).
  void CloseFile();
  std::size_t Buffered() const { return fill_; }

 private:
  enum class State { WaitCount, WaitMarker, Packets };
  // Works on the buffer; returns true when it should run again at once.
  bool Step();
  bool StepCount();
  bool StepMarker();
  bool StepPackets();
  void Remove(std::size_t count);
  void End(int code);

  LogObserver& observer_;
  std::string rawPath_;
  std::uint8_t buffer_[kBufferSize];
  std::size_t fill_ = 0;
  State state_ = State::WaitCount;
  int file_ = -1;
  std::uint32_t total_ = 0;
  std::uint32_t received_ = 0;
  bool ended_ = false;
  bool progressed_ = false;
};

class LogDownload {
 public:
  LogDownload(LogObserver& observer, LogDownloadOptions options = {});
  ~LogDownload();
  LogDownload(const LogDownload&) = delete;
  LogDownload& operator=(const LogDownload&) = delete;

  // Opens the port, sends "LB" and starts the reader. Errors are the fixed
  // messages, with the reason as their detail.
  Status Start(const std::string& portName);
  // The user gives up: the reader reports kLogAborted and ends.
  void Cancel() { cancel_ = true; }
  // Ends the reader without a report, waits for it, closes the port.
  void Stop() { worker_.Stop(); }
  bool Running() const { return worker_.Running(); }

 private:
  void Run(DevicePort& port, std::stop_token stop);

  LogObserver& observer_;
  LogDownloadOptions options_;
  std::atomic<bool> cancel_{false};
  DeviceWorker worker_;
};

}  // namespace zd573
