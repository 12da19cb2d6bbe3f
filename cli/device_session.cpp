#include "device_session.h"

#include <cstdio>
#include <iostream>
#include <utility>

#include "common/printable.h"
#include "console.h"
#include "logger/replacing_file.h"
#include "settings/ini_file.h"
#include "settings/paths.h"
#include "settings/text_encoding.h"

namespace zd573::cli {

namespace {

std::string lastFailure;

// A message may quote a file's or a tracker's bytes: each control byte is
// shown escaped, so none acts on the terminal; the message's own line
// breaks stay.
std::string ForTerminal(const std::string& text) {
  std::string out;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    out += Printable(std::string_view(text).substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return out;
    out += '\n';
    start = end + 1;
  }
}

}  // namespace

void Say(const Options& o, const std::string& text) {
  if (!o.quiet) std::cerr << ForTerminal(text) << "\n";
}

void Fail(const std::string& text) {
  lastFailure = text;
  std::cerr << "zd573: " << ForTerminal(text) << "\n";
}

const std::string& LastFailure() { return lastFailure; }

int ExitCodeFor(ErrorCode code) {
  switch (code) {
    case ErrorCode::BadValue:
    case ErrorCode::File: return kBadValue;
    case ErrorCode::TimedOut: return kTimedOut;
    case ErrorCode::Stopped: return kInterrupted;
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

std::function<std::string(const std::string& imei)> StoredNames() {
  return [](const std::string& imei) {
    settings::IniFile ini(settings::SystemIniPath());
    return settings::HasDeviceUserName(ini, imei) ? settings::ReadDeviceUserName(ini, imei) : std::string();
  };
}

namespace {

HeldOptions SessionOptions(const Options& o) {
  HeldOptions held;
  held.port = o.port;
  held.codePage = o.codePage;
  held.identifyLimit = o.identifyTimeout;
  held.readLimit = o.readTimeout;
  held.userName = StoredNames();
  // Said once: the retries go on quietly until the port is free or the patience ends.
  held.portBusy = [&o, said = false]() mutable {
    if (!std::exchange(said, true)) Say(o, std::string(kPortBusyRetrying));
  };
  return held;
}

}  // namespace

DeviceSession::DeviceSession(Options& options) : o_(options), held_(SessionOptions(options)) {}

int DeviceSession::Told(const HeldStatus& status) {
  const Error& e = status.error;
  switch (status.fault) {
    case HeldFault::None: return kOk;
    case HeldFault::NoTracker: Fail(e.message + ". Give one with --port PATH."); return kNoDevice;
    case HeldFault::PortUnusable:
    case HeldFault::ReadFailed: return FailWith(e);
    case HeldFault::NotIdentified:
    case HeldFault::Unreadable:
    case HeldFault::ReadIncomplete: Fail(Describe(e)); return kTimedOut;
    case HeldFault::PasswordNeeded:
      Fail("The tracker has a password: give it with --password-file FILE, ZD573_PASSWORD or --password");
      return kWrongPassword;
    case HeldFault::WrongPassword: Fail("Password Error"); return kWrongPassword;
    case HeldFault::Lost:
    case HeldFault::NotReady: Fail(Describe(e)); return kNoDevice;
    case HeldFault::Stopped: Fail(Describe(e)); return kInterrupted;
  }
  return kNoDevice;
}

int DeviceSession::ResolvePort() {
  if (!o_.port.empty()) return kOk;
  if (int rc = Told(held_.FindPort(o_.stop)); rc != kOk) return rc;
  o_.port = held_.Port();
  Say(o_, "Found the tracker on " + PortPath(o_.port));
  return kOk;
}

int DeviceSession::Identify() {
  if (int rc = ResolvePort(); rc != kOk) return rc;
  return Told(held_.Identify(o_.stop));
}

int DeviceSession::Login() {
  std::string typed;
  if (o_.havePassword) {
    typed = o_.password;
  } else if (!held_.HasPassword()) {
    typed.clear();  // the empty entry opens a tracker without a password
  } else if (IsTerminal(Stream::In)) {
    auto line = ReadHiddenLine("Device password: ");
    if (!line) return Told({HeldFault::Stopped, Error{"Stopped before the password was typed", ErrorCode::Stopped}});
    typed = *line;
  } else {
    return Told({HeldFault::PasswordNeeded, {}});
  }
  return Told(held_.LogIn(typed));
}

int DeviceSession::SignIn() {
  if (int rc = Identify(); rc != kOk) return rc;
  return Login();
}

int DeviceSession::Authorize() {
  if (int rc = SignIn(); rc != kOk) return rc;
  // The command sends its query on the port the tracker was identified on, still open.
  return kOk;
}

std::function<void(Progress)> DeviceSession::ShowProgress() const {
  if (o_.quiet || !IsTerminal(Stream::Err)) return {};
  return [](Progress p) {
    std::fprintf(stderr, "\rReading settings: %u / %u", p.done, p.total);
    std::fflush(stderr);
  };
}

int DeviceSession::ConnectFor(const std::vector<std::string_view>& keys) {
  if (int rc = SignIn(); rc != kOk) return rc;
  const auto progress = ShowProgress();
  const HeldStatus read = held_.ReadKeys(keys, o_.stop, progress);
  if (progress) std::fprintf(stderr, "\n");
  return Told(read);
}

int DeviceSession::Connect() {
  if (int rc = SignIn(); rc != kOk) return rc;
  const auto progress = ShowProgress();
  const HeldStatus read = held_.ReadAll(o_.stop, progress);
  if (progress) std::fprintf(stderr, "\n");
  return Told(read);
}

}  // namespace zd573::cli
