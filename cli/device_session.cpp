#include "device_session.h"

#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>

#include "console.h"
#include "device/login_rule.h"
#include "device/port_finder.h"
#include "logger/replacing_file.h"
#include "settings/ini_file.h"
#include "settings/paths.h"
#include "settings/text_encoding.h"

namespace zd573::cli {
namespace {

// Collects the reader's callbacks for a thread that waits with a time limit.
class Waiter final : public ReadObserver {
 public:
  void Identified(const std::string&, const std::string& userName) override {
    Finish([&] { userName_ = userName; });
  }
  void ReadProgress(Progress progress) override {
    if (progress_) progress_(progress);
  }
  void ReadComplete() override { Finish([] {}); }
  void ReadFailed(const std::string& why) override {
    Finish([&] { failure_ = why; });
  }
  // False on time-out.
  bool Wait(std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    return done_cv_.wait_for(lock, limit, [&] { return done_; });
  }
  std::string failure_;
  std::string userName_;
  std::function<void(Progress)> progress_;

 private:
  template <class F>
  void Finish(F f) {
    std::lock_guard lock(mutex_);
    f();
    done_ = true;
    done_cv_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
};

// What the identification's values hold until a reply sets them: no tracker sends it.
constexpr std::string_view kUnread = "\x01";

}  // namespace

void Say(const Options& o, const std::string& text) {
  if (!o.quiet) std::cerr << text << "\n";
}

namespace {
std::string lastFailure;
}  // namespace

void Fail(const std::string& text) {
  lastFailure = text;
  std::cerr << "zd573: " << text << "\n";
}

const std::string& LastFailure() { return lastFailure; }

int ExitCodeFor(ErrorCode code) {
  switch (code) {
    case ErrorCode::BadValue:
    case ErrorCode::File: return kBadValue;
    case ErrorCode::TimedOut: return kTimedOut;
    default: return kNoDevice;
  }
}

int FailWith(const Error& error) {
  const std::string_view advice = PortAdvice(error.code);
  Fail(Describe(error) + (advice.empty() ? "" : "\n" + std::string(advice)));
  return ExitCodeFor(error.code);
}

int CheckTarget(const std::string& path) {
  if (Status s = logger::CheckExportTarget(path); !s) {
    Fail(Describe(s.failure()));
    return kBadValue;
  }
  return kOk;
}

std::string ToUtf8(const Options& o, const std::string& deviceBytes) {
  return settings::DecodeDeviceText(deviceBytes, o.codePage);
}

int DeviceSession::ResolvePort() {
  if (!o_.port.empty()) return kOk;
  std::string name;
  if (!FindDevicePort(name)) {
    Fail("No tracker found: no serial port whose name contains \"STM\". Give one with --port PATH.");
    return kNoDevice;
  }
  o_.port = name;
  Say(o_, "Found the tracker on " + PortPath(name));
  return kOk;
}

int DeviceSession::Identify() {
  if (int rc = ResolvePort(); rc != kOk) return rc;
  Waiter waiter;
  ReadOptions options;
  options.userName = [](const std::string& imei) {
    settings::IniFile ini(settings::SystemIniPath());
    return settings::HasDeviceUserName(ini, imei) ? settings::ReadDeviceUserName(ini, imei) : std::string();
  };
  auto port = OpenComPort(o_.port);
  if (!port) return FailWith(port.failure());
  port_ = std::move(port.value());
  settings_.Update([](DeviceValues& v) {
    v.SetText("B2", kUnread);
    v.SetText("OU", kUnread);
  });
  SettingsReader reader(settings_, waiter, options);
  if (Status s = reader.StartReadThread(ReadKind::Identify, BorrowPort(*port_)); !s) return FailWith(s.failure());
  bool finished = waiter.Wait(o_.identifyTimeout);
  reader.Stop();
  if (!finished) {
    Fail("no valid reply from the tracker on " + PortPath(o_.port) + ": no identification (IMEI and password) within " +
         std::to_string(o_.identifyTimeout.count()) + " s");
    return kTimedOut;
  }
  if (!waiter.failure_.empty()) {
    Fail(waiter.failure_);
    return kNoDevice;
  }
  // A reply cut short or run into other text is no answer: judging a
  // password by it would call a right one wrong.
  if (!IdentificationReadable()) {
    Fail("no valid reply from the tracker on " + PortPath(o_.port) + ": its IMEI and password could not be read");
    return kTimedOut;
  }
  userName_ = waiter.userName_;
  return kOk;
}

bool DeviceSession::IdentificationReadable() const {
  // Each was set to kUnread before the identification; the tracker's own
  // lines start with '$': a value still unread, or holding a '$' or another
  // control character, ran into other text.
  for (const char* key : {"B2", "OU"})
    for (unsigned char c : settings_.Text(key))
      if (c < 0x20 || c == 0x7F || c == '$') return false;
  return true;
}

int DeviceSession::Login() {
  const std::string devicePassword = settings_.Text("OU");
  std::string typed;
  if (o_.havePassword) {
    typed = o_.password;
  } else if (devicePassword.empty()) {
    typed.clear();  // the empty entry opens a tracker without a password
  } else if (IsTerminal(Stream::In)) {
    typed = ReadHiddenLine("Device password: ");
  } else {
    Fail("The tracker has a password: give it with --password");
    return kWrongPassword;
  }
  auto bytes = settings::EncodeDeviceText(typed, o_.codePage);
  if (!bytes || !PasswordOpens(*bytes, devicePassword)) {
    Fail("Password Error");
    return kWrongPassword;
  }
  return kOk;
}

int DeviceSession::SignIn() {
  if (int rc = Identify(); rc != kOk) return rc;
  return Login();
}

int DeviceSession::Authorize() {
  if (int rc = SignIn(); rc != kOk) return rc;
  // The command opens the port again by its name.
  port_.reset();
  return kOk;
}

int DeviceSession::FullRead() { return Read(ReadKind::FullRead, {}, settings_); }

int DeviceSession::Read(ReadKind kind, const std::vector<std::string_view>& keys, DeviceSettings& into) {
  Waiter waiter;
  const bool showProgress = !o_.quiet && IsTerminal(Stream::Err);
  if (showProgress) {
    waiter.progress_ = [](Progress progress) {
      std::fprintf(stderr, "\rReading settings: %u / %u", progress.done, progress.total);
      std::fflush(stderr);
    };
  }
  ReadOptions options;
  options.fullReadStall = std::chrono::milliseconds(0);  // the overall time limit decides
  options.keys.assign(keys.begin(), keys.end());
  // What the tracker said meanwhile is stale, as it would be on a fresh open.
  port_->Purge();
  SettingsReader reader(into, waiter, options);
  if (Status s = reader.StartReadThread(kind, BorrowPort(*port_)); !s) return FailWith(s.failure());
  bool finished = waiter.Wait(o_.readTimeout);
  reader.Stop();
  if (showProgress) std::fprintf(stderr, "\n");
  if (!finished) {
    std::string missing;
    int count = 0;
    if (kind == ReadKind::FullRead) {
      for (auto k : into.MissingKeys(kTableKeyCount)) missing += (missing.empty() ? "" : ",") + std::string(k);
      count = kTableKeyCount - into.ReceivedCount();
    } else {
      for (auto k : keys)
        if (TableIndex(k) < 0 || !into.Received(k)) {
          missing += (missing.empty() ? "" : ",") + std::string(k);
          ++count;
        }
    }
    Fail("The settings read did not complete within " + std::to_string(o_.readTimeout.count()) + " s; " +
         std::to_string(count) + " keys did not arrive: " + missing);
    return kTimedOut;
  }
  if (!waiter.failure_.empty()) {
    Fail(waiter.failure_);
    return kNoDevice;
  }
  return kOk;
}

int DeviceSession::ReadKeys(const std::vector<std::string_view>& keys, DeviceSettings& into) {
  if (!port_) return kNoDevice;
  into.SetCodePage(o_.codePage);
  return Read(ReadKind::Keys, keys, into);
}

int DeviceSession::ConnectFor(const std::vector<std::string_view>& keys) {
  if (int rc = SignIn(); rc != kOk) return rc;
  // The password came with the identification.
  std::vector<std::string_view> table;
  for (std::string_view k : keys)
    if (k != "OU") table.push_back(k);
  return Read(ReadKind::Keys, table, settings_);
}

int DeviceSession::Connect() {
  if (int rc = SignIn(); rc != kOk) return rc;
  return FullRead();
}

}  // namespace zd573::cli
