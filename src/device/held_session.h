#pragma once
// One tracker on one open port, step by step, for a thread that may wait (the
// command line; the provisioning loop, also on a window's worker): the port is
// given or searched for, opened (patient with a port another program holds),
// the tracker identified on it, its password checked, keys read and pages
// written. The port stays open from the identification until Close, so a write
// reaches only the tracker identified and logged in on it, and every stage
// counts the tracker's lines on from the one before. Nothing here prints: each
// fault is a kind and an Error, and the caller words it.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "device/device_port.h"
#include "device/device_settings.h"
#include "device/page_table.h"
#include "device/profile_writer.h"
#include "device/settings_reader.h"
#include "device/timing.h"
#include "device/transactions.h"

namespace zd573 {

enum class HeldFault : std::uint8_t {
  None,
  NoTracker,       // the search found no tracker's port
  PortUnusable,    // the port would not open; `error` says why (ErrorCode::Busy: held by another program throughout)
  NotIdentified,   // no identification within the limit (TimedOut)
  Unreadable,      // the identification's reply could not be read (TimedOut)
  PasswordNeeded,  // the tracker has a password and none was given
  WrongPassword,   // the password does not open the tracker ("Password Error")
  Lost,            // the tracker went away (the port failed) before the step was done
  ReadFailed,      // a read could not start (`error`), or its reader gave up
  ReadIncomplete,  // keys did not all arrive within the limit; `error` names them (TimedOut)
  NotReady,        // the step needs a tracker identified (and logged in) on this session first
  Stopped,
};

struct HeldStatus {
  HeldFault fault = HeldFault::None;
  Error error;  // what went wrong, in the core's English
  bool ok() const { return fault == HeldFault::None; }
  explicit operator bool() const { return ok(); }
};

struct HeldOptions {
  std::string port;  // the port to use ("ttyACM0" or a path); empty: search for the tracker's
  int codePage = DeviceValues::kSingleByteCodePage;  // the device text encoding of the password typed
  std::chrono::milliseconds identifyLimit{30000};
  std::chrono::milliseconds readLimit{120000};
  std::chrono::milliseconds portMatchPause = timing::kPortMatchPause;
  std::chrono::milliseconds busyPatience = timing::kBusyPortPatience;
  std::chrono::milliseconds busyRetry = timing::kBusyPortRetry;
  // The name stored for a tracker, by its IMEI (device bytes); none: no names.
  std::function<std::string(const std::string& imei)> userName;
  // Called before each wait for a port another program holds (say kPortBusyRetrying).
  std::function<void()> portBusy;
};

class HeldSession {
 public:
  explicit HeldSession(HeldOptions options);
  ~HeldSession();
  HeldSession(const HeldSession&) = delete;
  HeldSession& operator=(const HeldSession&) = delete;

  // Fills Port() from the search when no port was given.
  HeldStatus FindPort(const std::stop_token& stop = {});
  // FindPort, then opens the port and identifies the tracker on it: its IMEI
  // and password arrive. The port stays open.
  HeldStatus Identify(const std::stop_token& stop = {});
  // Whether the tracker identified has a password of its own to be typed.
  bool HasPassword() const;
  // The login: `typed` (UTF-8) against the identified tracker's password, by
  // the window's rule (PasswordOpens).
  HeldStatus LogIn(std::string_view typed);
  // Reads `keys` of the logged-in tracker into Settings() (OU came with the
  // identification and is not asked again). `progress` is called on the
  // reader's thread.
  HeldStatus ReadKeys(const std::vector<std::string_view>& keys, const std::stop_token& stop = {},
                      const std::function<void(Progress)>& progress = {});
  // Reads every key of the table.
  HeldStatus ReadAll(const std::stop_token& stop = {}, const std::function<void(Progress)>& progress = {});
  // WriteProfilePages on the held port, the pauses counting the tracker's
  // lines for the read-back; refused (nothing sent) unless logged in. A
  // tracker that goes away ends the session: nothing more is sent on it.
  ProfileWriteResult WritePages(const DeviceValues& target, const std::vector<Page>& pages, WriteOptions options,
                                std::chrono::milliseconds readLimit, const std::function<void(Page)>& starting = {});
  // Waits until the tracker has gone: its port hung up or failed, or the port
  // is no longer there (when `searched`, no longer listed as a tracker's). A
  // tracker on the same port name later is a new port. False on a stop.
  bool WaitUntilGone(const std::stop_token& stop, bool searched);
  // Lets the port go; the session then holds no tracker.
  void Close();
  // The tracker's own text encoding, once known (a password typed later is encoded in it).
  void SetCodePage(int codePage);

  const std::string& Port() const { return port_; }
  // The port the tracker was identified on, open since; null before Identify and after Close.
  DevicePort* HeldPort() { return port_held_.get(); }
  DeviceSettings& Settings() { return settings_; }
  const DeviceSettings& Settings() const { return settings_; }
  // The identified tracker's IMEI, in device bytes (empty before).
  std::string Imei() const;
  const std::string& UserName() const { return userName_; }
  bool Identified() const { return identified_; }
  bool LoggedIn() const { return loggedIn_; }

 private:
  HeldStatus Read(ReadKind kind, const std::vector<std::string_view>& keys, const std::stop_token& stop,
                  const std::function<void(Progress)>& progress);
  // Both values of the identification came in a reply that could be read.
  bool IdentificationReadable() const;

  HeldOptions options_;
  std::string port_;
  std::unique_ptr<DevicePort> port_held_;
  LinePace pace_;
  DeviceSettings settings_;
  std::string userName_;
  bool identified_ = false;
  bool loggedIn_ = false;
};

// Whether a port is there: listed as the tracker's when it was searched for,
// else listed at all or its device node present (a port given by path).
bool PortPresent(const std::string& port, bool searched);

}  // namespace zd573
