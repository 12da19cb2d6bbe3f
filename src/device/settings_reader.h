#pragma once
// The two-stage read of the tracker's settings on a worker thread:
// identification (B2 and OU), then the full read of the 83 table keys or a
// read of only the keys some pages send.
#include <chrono>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "device/device_job.h"
#include "device/device_port.h"
#include "device/device_settings.h"

namespace zd573 {

// How a read that lost its port starts its failure's text.
inline constexpr std::string_view kReaderDisconnected = "The tracker was disconnected";

// Collects received bytes into lines the way the tracker's host software always
// has: at most 250 bytes wait for a line break, an over-long line is forced out.
class LineAssembler {
 public:
  static constexpr std::size_t kCapacity = 250;
  // How many bytes the next read may bring.
  std::size_t Room() const;
  // Appends bytes (at most Room()) and forces a break into a full buffer.
  void Append(const std::uint8_t* bytes, std::size_t count);
  // Takes the next complete line, formatted with its "\r\n"; false when none.
  bool NextLine(std::string& line);
  const std::string& Pending() const { return buffer_; }

 private:
  std::string buffer_;
};

// What the tracker said on one open port, kept from one stage of a session to
// the next (identification, key reads, the pauses after set sentences, the
// read-back): the tracker is asked only once it has said more than ten lines
// since the last question, and stages that share this count do not wait for
// those lines again. Only one thread uses it at a time.
struct LinePace {
  LineAssembler lines;  // what has come of the line under way
  int sinceQuery = 0;   // complete lines since the last question
  // Counts the complete lines already here without taking them as answers:
  // they were said before the next question.
  void Skip();
};

enum class Listened { Done, Stopped, Lost };
// Spends `pause` reading the port and counting the tracker's lines into
// `pace`; what they say is dropped, as no question is open. Lost: the port
// failed (the tracker went away). A stop ends it within a read's wait.
Listened ListenFor(DevicePort& port, LinePace& pace, std::chrono::milliseconds pause, const std::stop_token& stop);

enum class ReadKind { Identify = 0, FullRead = 1, Keys = 2 };

// Called on the reader's own thread; a GUI re-posts each call to its own thread.
class ReadObserver : public JobObserver {
 public:
  // Identification done; userName is the name stored for this IMEI, or empty.
  virtual void Identified(const std::string& imei, const std::string& userName) = 0;
  // Keys of the full read received so far, of all the table's keys (of the
  // keys asked for, for a read of some keys).
  virtual void ReadProgress(Progress) {}
  virtual void ReadComplete() = 0;
  // The read gave up: the port failed, or the full read made no progress for too long.
  virtual void ReadFailed(const std::string& why) = 0;
};

struct ReadOptions {
  // The name the user gave a device, by IMEI; empty when none is stored.
  std::function<std::string(const std::string& imei)> userName;
  // A full read that gets no new key for this long, counted from the last new
  // key but not before the first query, gives up; so does one that gets no
  // byte at all for this long (0 = never).
  std::chrono::milliseconds fullReadStall{30000};
  // ReadKind::Keys: the keys to read (table keys or OU), asked five to a query.
  std::vector<std::string> keys;
  // The port's line count shared with the session's other stages; none: the
  // read counts from its own start, and pauses after each full-read query as
  // the window's login read always has.
  LinePace* pace = nullptr;
};

class SettingsReader {
 public:
  SettingsReader(DeviceSettings& settings, ReadObserver& observer, ReadOptions options = {});
  ~SettingsReader();
  SettingsReader(const SettingsReader&) = delete;
  SettingsReader& operator=(const SettingsReader&) = delete;

  // Starts ReadThreadMainPage (Identify) or ReadThreadOtherPage (FullRead,
  // Keys) on an open port, which the read owns until it is stopped; a view of
  // a port held elsewhere (BorrowPort, a session's lease) keeps that port
  // open. A read still running is stopped first. The error is one of the
  // fixed messages, with the reason as its detail.
  Status StartReadThread(ReadKind kind, std::unique_ptr<DevicePort> port);
  // Asks the worker to end, waits for it and closes the port. Safe to call any time.
  void Stop() { worker_.Stop(); }
  bool Running() const { return worker_.Running(); }

 private:
  void ReadThreadMainPage(DevicePort& port, std::stop_token stop) { ReadLoop(ReadKind::Identify, port, stop); }
  void ReadThreadOtherPage(ReadKind kind, DevicePort& port, std::stop_token stop) { ReadLoop(kind, port, stop); }
  void ReadLoop(ReadKind kind, DevicePort& port, std::stop_token stop);
  // Returns true when the stage is done.
  bool HandleLine(ReadKind kind, DevicePort& port, const std::string& line);
  // The asked keys not received yet, at most `max`, in the order asked.
  std::vector<std::string_view> MissingAsked(std::size_t max) const;

  DeviceSettings& settings_;
  ReadObserver& observer_;
  ReadOptions options_;
  DeviceWorker worker_;
  std::vector<bool> got_;  // ReadKind::Keys: which of options_.keys arrived
};

}  // namespace zd573
