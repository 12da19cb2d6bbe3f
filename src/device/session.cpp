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
}

void Session::Start() { PlanSearch(); }

void Session::PlanSearch() {
  owner_.PostAfter(options_.searchDelay, Lifeline::Guard(searchDelay_.Renew(), [this] { SearchNow(); }));
}

void Session::StopSearch() {
  searchResult_.Cut();
  if (search_.joinable()) {
    search_.request_stop();
    search_.join();
  }
}

void Session::SearchNow() {
  searchDelay_.Cut();
  if (!options_.fixedPort.empty()) {
    OnSearchDone(true, options_.fixedPort);
    return;
  }
  StopSearch();
  // The search pauses for each matching port: it runs off the owner's thread.
  auto done = [this, relay = Relay(owner_, searchResult_.Renew())](bool found, std::string port) {
    relay.Post([this, found, port = std::move(port)]() mutable {
      if (search_.joinable()) search_.join();
      OnSearchDone(found, std::move(port));
    });
  };
  try {
    search_ = std::jthread([done, port = port_, pause = options_.portMatchPause](std::stop_token stop) mutable {
      const bool found = FindDevicePort(port, FindOptions{pause, std::move(stop)});
      done(found, std::move(port));
    });
  } catch (const std::system_error& e) {
    searchResult_.Cut();
    // Searching again would fail the same way: the next device change tries.
    ToGone(SessionReason::None, ThreadStartFailure(e), false);
  }
}

void Session::OnSearchDone(bool found, std::string port) {
  if (!found) {
    ToGone(SessionReason::None, std::nullopt, false);
    return;
  }
  port_ = std::move(port);
  // Identifying: the state stays as it is until the tracker answers.
  if (Status started = StartRead(ReadKind::Identify); !started) {
    // The port is there but will not open (no permission, another program
    // holds it): searching again at once would only fail again. The next
    // device change searches.
    ToGone(SessionReason::PortUnusable, started.failure(), false);
  }
}

Status Session::StartRead(ReadKind kind) {
  StopRead();
  Status started = reader_->StartReadThread(kind, port_);
  if (started) readKind_ = kind;
  readProgress_ = {};
  return started;
}

void Session::StopRead() {
  // Stopping cuts the read's notices at once, so one already posted is dropped.
  reader_->Stop();
  readKind_.reset();
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
    // Nothing is being read, and a new login would only fail again (the
    // tracker was unplugged, or another program took its port): the login
    // waits for the search to identify the tracker anew.
    canLogin_ = false;
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
  const std::optional<ReadKind> kind = readKind_;
  StopRead();
  if (kind == ReadKind::FullRead) {
    // The tracker stopped giving settings: the login can be tried again. The
    // reason says whether it went away or went quiet, and how far the read got.
    canLogin_ = true;
    const bool gone = why.rfind(kReaderDisconnected, 0) == 0;
    // Before the first progress the read had all the table's settings to go.
    const Progress got = readProgress_.total ? readProgress_ : Progress{0, kTableKeyCount};
    Enter(SessionState::Failed, SessionReason::ReadFailed,
          Error{why, gone ? ErrorCode::Disconnected : ErrorCode::TimedOut}.Names(
              MessageKind::ReadStopped, {},
              {std::to_string(got.done), std::to_string(got.total)}));
    return;
  }
  // The tracker went away while it was being identified: look again.
  ToGone(SessionReason::None, std::nullopt, true);
}

void Session::Logout() {
  StopRead();
  loginDelay_.Cut();
  ToGone(SessionReason::None, std::nullopt, true);
}

void Session::DeviceChange() {
  if (loggedIn_) {
    // What was read belongs to the tracker on that port. Other devices may
    // come and go; if that port went away, the session ends, so nothing built
    // from this tracker's values can reach another one.
    std::error_code ignored;
    if (std::filesystem::exists(PortPath(port_), ignored)) return;
    StopRead();
    loginDelay_.Cut();
    ToGone(SessionReason::Unplugged, std::nullopt, true);
    return;
  }
  // No port may stay open: a read still running ends before the new search.
  StopRead();
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
