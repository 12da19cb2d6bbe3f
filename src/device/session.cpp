#include "device/session.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "device/device_port.h"
#include "device/port_finder.h"
#include "settings/text_encoding.h"

namespace zd573 {

// The reader's notices, from its thread to the owner's; those of a read that
// has been stopped are dropped.
class Session::Notices final : public OwnerObserver<ReadObserver> {
 public:
  explicit Notices(Session& session) : OwnerObserver(session.owner_), session_(session) {}

  void Identified(const std::string&, const std::string&) override { Post([this] { session_.OnIdentified(); }); }
  void ReadProgress(Progress p) override { Post([this, p] { session_.OnReadProgress(p); }); }
  void ReadComplete() override { Post([this] { session_.OnReadComplete(); }); }
  void ReadFailed(const std::string& why) override { Post([this, why] { session_.OnReadFailed(why); }); }

 private:
  Session& session_;
};

Session::Session(DeviceSettings& settings, OwnerThread& owner, SessionOptions options, Listener listener)
    : settings_(settings),
      owner_(owner),
      options_(std::move(options)),
      listener_(std::move(listener)),
      port_(options_.port),
      notices_(std::make_unique<Notices>(*this)) {
  ReadOptions read;
  read.fullReadStall = options_.fullReadStall;
  reader_ = std::make_unique<SettingsReader>(settings_, *notices_, read);
}

Session::~Session() { Stop(); }

void Session::Stop() {
  searchDelay_.Cut();
  loginDelay_.Cut();
  StopSearch();
  StopRead();
  LetPortGo();
}

void Session::Start() { PlanSearch(); }

void Session::Suspend() {
  Stop();
  suspended_ = true;
  ToGone(SessionReason::None, std::nullopt, false);
}

void Session::Resume() {
  if (!std::exchange(suspended_, false)) return;
  busyTold_ = false;
  SearchNow();
}

void Session::PlanSearch() {
  if (suspended_) return;
  owner_.PostAfter(options_.searchDelay, Lifeline::Guard(searchDelay_.Renew(), [this] { SearchNow(); }));
}

void Session::StopSearch() {
  searchResult_.Cut();
  if (search_.joinable()) {
    search_.request_stop();
    search_.join();
  }
}

void Session::LetPortGo() {
  heldLife_.Cut();
  if (!held_) return;
  held_->Release();
  held_.reset();
}

void Session::SearchNow() {
  searchDelay_.Cut();
  if (suspended_) return;
  // A logged-in tracker keeps its port until Loginout, its going or a fault.
  if (loggedIn_) return;
  StopSearch();
  // A new search starts from nothing held.
  StopRead();
  LetPortGo();
  // The search pauses for each matching port, and a busy port is waited
  // for: it runs off the owner's thread, and opens the port there.
  const Relay relay(owner_, searchResult_.Renew());
  auto done = [this, relay](bool found, std::string port, Opened opened) {
    relay.Post([this, found, port = std::move(port), opened = std::move(opened)]() mutable {
      if (search_.joinable()) search_.join();
      OnSearchDone(found, std::move(port), std::move(opened));
    });
  };
  // Once a busy port has been reported, trying it again says nothing more.
  std::function<void()> busy;
  if (!busyTold_) busy = [this, relay] { relay.Post([this] { OnPortBusy(); }); };
  try {
    search_ = std::jthread([done, busy, fixed = options_.fixedPort, port = port_, options = options_](
                               std::stop_token stop) mutable {
      if (!fixed.empty()) {
        port = fixed;
      } else if (!FindDevicePort(port, FindOptions{options.portMatchPause, stop})) {
        done(false, std::move(port), PortNotHeld());
        return;
      }
      auto opened = OpenComPortWhenFree(port, stop, busy, options.busyPatience, options.busyRetry);
      done(true, std::move(port),
           opened ? Opened(HeldPort::Hold(std::move(opened.value()))) : Opened(opened.failure()));
    });
  } catch (const std::system_error& e) {
    searchResult_.Cut();
    // Searching again would fail the same way: the next device change tries.
    ToGone(SessionReason::None, ThreadStartFailure(e), false);
  }
}

void Session::OnSearchDone(bool found, std::string port, Opened opened) {
  if (!found) {
    ToGone(SessionReason::None, std::nullopt, false);
    return;
  }
  port_ = std::move(port);
  if (!opened) {
    // Another program holding the port (a modem manager probing a tracker
    // just plugged in) may let it go: it is looked for again, and after the
    // first report quietly. A port that will not open for another reason
    // (no permission) would only fail again: the next device change searches.
    const bool busy = opened.code() == ErrorCode::Busy;
    const bool told = busyTold_;
    busyTold_ = busy;
    if (busy && told) {
      PlanSearch();
      return;
    }
    ToGone(SessionReason::PortUnusable, opened.failure(), busy);
    return;
  }
  busyTold_ = false;
  held_ = std::move(opened.value());
  Status started =
      held_->Watch([this, relay = Relay(owner_, heldLife_.Renew())](const Error&) {
        relay.Post([this] { OnPortLost(); });
      });
  // Identifying: the state stays as it is until the tracker answers.
  if (started) started = StartRead(ReadKind::Identify);
  if (!started) {
    LetPortGo();
    ToGone(SessionReason::PortUnusable, started.failure(), false);
  }
}

void Session::OnPortBusy() { Tell(SessionNotice{SessionNotice::Kind::PortBusy, state_, reason_, {}, std::nullopt}); }

Status Session::StartRead(ReadKind kind) {
  StopRead();
  readProgress_ = {};
  auto lease = held_ ? held_->Lease() : Expected<std::unique_ptr<DevicePort>>(PortNotHeld());
  if (!lease) return lease.failure();
  Status started = reader_->StartReadThread(kind, std::move(lease.value()));
  if (started) readKind_ = kind;
  return started;
}

void Session::StopRead() {
  // Stopping cuts the read's notices at once, so one already posted is
  // dropped; the read's lease ends, and the watch takes the port back.
  reader_->Stop();
  readKind_.reset();
}

Expected<std::unique_ptr<DevicePort>> Session::LeasePort() {
  if (!loggedIn_ || !held_) return PortNotHeld();
  return held_->Lease();
}

void Session::OnIdentified() {
  StopRead();
  canLogin_ = true;
  Enter(SessionState::Identified);
}

bool Session::AsksPassword() const {
  return !settings::DecodeDeviceText(settings_.Text("OU"), settings_.CodePage()).empty();
}

void Session::Login(std::string_view typed) {
  if (!canLogin_ || loggedIn_) return;
  if (!PasswordOpens(typed, settings::DecodeDeviceText(settings_.Text("OU"), settings_.CodePage()))) {
    Enter(SessionState::Failed, SessionReason::WrongPassword);
    return;
  }
  canLogin_ = false;
  // "Password Correct" stays for a moment before the read starts.
  owner_.PostAfter(options_.loginPause, Lifeline::Guard(loginDelay_.Renew(), [this] { StartFullRead(); }));
  Enter(SessionState::LoggingIn);
}

void Session::StartFullRead() {
  loginDelay_.Cut();
  if (Status started = StartRead(ReadKind::FullRead); !started) {
    // Nothing is being read, and a new login would only fail again: the
    // login waits for the search to identify the tracker anew.
    canLogin_ = false;
    LetPortGo();
    PlanSearch();
    Enter(SessionState::Failed, SessionReason::PortUnusable, started.failure());
    return;
  }
  Enter(SessionState::Reading);
}

void Session::OnReadProgress(Progress progress) {
  if (state_ != SessionState::Reading || progress.total == 0) return;
  readProgress_ = progress;
  Tell(SessionNotice{SessionNotice::Kind::Progress, state_, reason_, progress, std::nullopt});
}

void Session::OnReadComplete() {
  StopRead();
  loggedIn_ = true;
  canLogin_ = false;
  Enter(SessionState::Ready);
}

void Session::OnReadFailed(const std::string& why) {
  // A read that lost its port (only that ends an identification): the tracker has gone.
  if (readKind_ != ReadKind::FullRead || why.rfind(kReaderDisconnected, 0) == 0 || !held_ || held_->Lost()) {
    OnPortLost();
    return;
  }
  StopRead();
  // The tracker stopped giving settings: the login can be tried again. The
  // reason says how far the read got.
  canLogin_ = true;
  // Before the first progress the read had all the table's settings to go.
  const Progress got = readProgress_.total ? readProgress_ : Progress{0, kTableKeyCount};
  Enter(SessionState::Failed, SessionReason::ReadFailed,
        Error{why, ErrorCode::TimedOut}.Names(MessageKind::ReadStopped, {},
                                               {std::to_string(got.done), std::to_string(got.total)}));
}

void Session::OnPortLost() {
  // The tracker went away (end of file, an I/O error, a hang-up): nothing
  // more is sent, and a full read under way says how far it got.
  std::optional<Error> error;
  if (readKind_ == ReadKind::FullRead) {
    const Progress got = readProgress_.total ? readProgress_ : Progress{0, kTableKeyCount};
    error = Error{std::string(kReaderDisconnected), ErrorCode::Disconnected}.Names(
        MessageKind::ReadStopped, {}, {std::to_string(got.done), std::to_string(got.total)});
  }
  const bool loggedIn = loggedIn_;
  StopRead();
  loginDelay_.Cut();
  LetPortGo();
  ToGone(loggedIn ? SessionReason::Unplugged : SessionReason::None, std::move(error), true);
}

void Session::Logout() {
  StopRead();
  loginDelay_.Cut();
  LetPortGo();
  ToGone(SessionReason::None, std::nullopt, true);
}

void Session::DeviceChange() {
  if (suspended_) return;
  if (held_) {
    // What was read belongs to the tracker on the held port. Other devices
    // may come and go; if its port went away, the session ends, so nothing
    // built from this tracker's values can reach another one.
    std::error_code ignored;
    if (std::filesystem::exists(PortPath(port_), ignored)) return;
    const bool loggedIn = loggedIn_;
    StopRead();
    loginDelay_.Cut();
    LetPortGo();
    ToGone(loggedIn ? SessionReason::Unplugged : SessionReason::None, std::nullopt, true);
    return;
  }
  // A tracker plugged in anew gets its own word if its port is busy.
  busyTold_ = false;
  const bool loginWaiting = loginDelay_.Live();
  loginDelay_.Cut();
  PlanSearch();
  if (loginWaiting) {
    canLogin_ = false;
    Tell(SessionNotice{SessionNotice::Kind::LoginShut, state_, reason_, {}, std::nullopt});
  }
}

void Session::ToGone(SessionReason reason, std::optional<Error> error, bool searchAgain) {
  canLogin_ = false;
  loggedIn_ = false;
  if (searchAgain) PlanSearch();
  Enter(SessionState::Gone, reason, std::move(error));
}

void Session::Enter(SessionState state, SessionReason reason, std::optional<Error> error) {
  state_ = state;
  reason_ = reason;
  Tell(SessionNotice{SessionNotice::Kind::Entered, state, reason, {}, std::move(error)});
}

void Session::Tell(const SessionNotice& notice) {
  if (listener_) listener_(notice);
}

}  // namespace zd573
