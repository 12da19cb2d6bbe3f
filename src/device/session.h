#pragma once
// The connection to one tracker, without any window: the port search, the
// identification, the login and the full read, with the pauses between. The
// port the tracker was identified on stays open from the identification until
// the logout, the tracker's going or a fault, and every operation on the
// tracker leases it (LeasePort): nothing is ever sent to a port reopened by
// its name, which another tracker may have taken. Every change is told to the
// listener on the owner's thread. The window shows what it is told; a program
// without a window can run the same session over a CallQueue.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

#include "common/owner_thread.h"
#include "common/result.h"
#include "device/device_port.h"
#include "device/device_settings.h"
#include "device/held_port.h"
#include "device/login_rule.h"
#include "device/settings_reader.h"
#include "device/timing.h"

namespace zd573 {

enum class SessionState {
  Searching,   // before the first search has said anything
  Identified,  // the tracker answered with its IMEI: a login may start
  LoggingIn,   // the password opened it; the full read starts after a pause
  Reading,     // the full read runs; `progress` says how far
  Ready,       // every setting read: the pages may be used
  Gone,        // no tracker, or it went away (its port closed); a search follows
  Failed,      // see `reason`
};

enum class SessionReason {
  None,
  WrongPassword,  // Failed: the typed password does not open the tracker
  ReadFailed,     // Failed: the full read gave up; the login may be tried again
  PortUnusable,   // Gone or Failed: the port would not open (`error` says why)
  Unplugged,      // Gone: the logged-in tracker went away (its port vanished, hung up or failed)
};

struct SessionNotice {
  enum class Kind {
    Entered,    // a state was entered (again, perhaps)
    Progress,   // the full read got further
    LoginShut,  // the login stops being possible; the state stays
    PortBusy,   // another program holds the port: its open is tried again; the state stays
  };
  Kind kind = Kind::Entered;
  SessionState state = SessionState::Searching;
  SessionReason reason = SessionReason::None;
  Progress progress{};
  std::optional<Error> error{};
};

struct SessionOptions {
  std::chrono::milliseconds searchDelay = timing::kSearchDelay;
  std::chrono::milliseconds portMatchPause = timing::kPortMatchPause;
  std::chrono::milliseconds loginPause = timing::kLoginPause;
  std::chrono::milliseconds fullReadStall{30000};
  // A port another program holds is tried again this often, for this long.
  std::chrono::milliseconds busyRetry = timing::kBusyPortRetry;
  std::chrono::milliseconds busyPatience = timing::kBusyPortPatience;
  // A port given by the user: the search then looks for nothing and uses it.
  std::string fixedPort;
  // Where the search starts (the port found last time, if any).
  std::string port;
};

class Session {
 public:
  using Listener = std::function<void(const SessionNotice&)>;

  // Every call and every notice happens on `owner`'s thread.
  Session(DeviceSettings& settings, OwnerThread& owner, SessionOptions options, Listener listener);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // A port given by the user: the search then only uses it.
  void SetFixedPort(std::string port) { options_.fixedPort = std::move(port); }
  const std::string& FixedPort() const { return options_.fixedPort; }
  // Plans the first search after the search delay.
  void Start();
  // Searches now (what the delay ends in), letting go of a port held for a
  // tracker not logged in; nothing while one is.
  void SearchNow();
  // A port came or went. The tracker's port, held open, is let go only when
  // it has vanished; with nothing held the search looks again.
  void DeviceChange();
  // Whether the tracker's password must be typed (it has one).
  bool AsksPassword() const;
  // The login with the typed password (UTF-8); ignored unless CanLogin().
  void Login(std::string_view typed);
  void Logout();
  // Ends every part of the session at once, without a notice.
  void Stop();
  // Lets the tracker's port go and looks for none until Resume, told as
  // Gone: another part of the program (the provisioning loop) opens the
  // trackers' ports meanwhile, and two must never hold one.
  void Suspend();
  // Looks for a tracker again at once.
  void Resume();
  // Another tracker answered on the held port (a read found another IMEI):
  // the session ends as if the logged-in one had gone.
  void TrackerChanged() { OnPortLost(); }
  bool Suspended() const { return suspended_; }
  // The held port for one operation of the logged-in tracker (a page's
  // Apply, a query, a download, a settings file's write), exclusively and for
  // any thread, until the returned port is destroyed: the idle watch pauses
  // meanwhile. Its Close ends that view only. An operation that finds the
  // tracker gone (Disconnected) ends the session. Fails (PortNotOpen) unless
  // a tracker is logged in, and (PortLeased) while another operation has it.
  Expected<std::unique_ptr<DevicePort>> LeasePort();

  SessionState State() const { return state_; }
  SessionReason Reason() const { return reason_; }
  // The port of the tracker found last ("ttyACM0" or a path).
  const std::string& Port() const { return port_; }
  bool CanLogin() const { return canLogin_; }
  bool LoggedIn() const { return loggedIn_; }
  bool SearchPending() const { return searchDelay_.Live(); }
  bool Searching() const { return search_.joinable(); }
  bool ReadRunning() const { return reader_->Running(); }
  // The tracker's port is open and held by the session.
  bool HoldsPort() const { return held_ != nullptr; }

 private:
  class Notices;
  using Opened = Expected<std::shared_ptr<HeldPort>>;

  void StopSearch();
  void PlanSearch();
  void OnSearchDone(bool found, std::string port, Opened opened);
  void OnPortBusy();
  // The held port failed (or a read found it gone): the session ends.
  void OnPortLost();
  // Closes the held port, once no operation uses it.
  void LetPortGo();
  Status StartRead(ReadKind kind);
  void StopRead();
  void StartFullRead();
  void OnIdentified();
  void OnReadProgress(Progress progress);
  void OnReadComplete();
  void OnReadFailed(const std::string& why);
  // No tracker to log in to; a search is planned unless `searchAgain` is false.
  void ToGone(SessionReason reason, std::optional<Error> error, bool searchAgain);
  void Enter(SessionState state, SessionReason reason = SessionReason::None, std::optional<Error> error = {});
  void Tell(const SessionNotice& notice);

  DeviceSettings& settings_;
  OwnerThread& owner_;
  SessionOptions options_;
  Listener listener_;
  std::string port_;
  SessionState state_ = SessionState::Searching;
  SessionReason reason_ = SessionReason::None;
  bool canLogin_ = false;
  bool loggedIn_ = false;
  std::optional<ReadKind> readKind_;
  Progress readProgress_{};  // of the full read, for the reason it failed
  Lifeline searchDelay_;
  Lifeline loginDelay_;
  Lifeline searchResult_;
  Lifeline heldLife_;  // of the held port's notices
  bool suspended_ = false;
  bool busyTold_ = false;  // the port's being busy was reported: further tries are quiet
  std::shared_ptr<HeldPort> held_;
  std::jthread search_;
  std::unique_ptr<Notices> notices_;
  std::unique_ptr<SettingsReader> reader_;
};

}  // namespace zd573
