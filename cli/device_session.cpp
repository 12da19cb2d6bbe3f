#include "device_session.h"

#include <cstdio>
#include <iostream>
#include <utility>

#include "console.h"
#include "device/blocking_read.h"
#include "device/login_rule.h"
#include "device/port_finder.h"
#include "logger/replacing_file.h"
#include "settings/ini_file.h"
#include "settings/paths.h"
#include "settings/text_encoding.h"

namespace zd573::cli {
namespace {

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
  ReadOptions options;
  options.userName = [](const std::string& imei) {
    settings::IniFile ini(settings::SystemIniPath());
    return settings::HasDeviceUserName(ini, imei) ? settings::ReadDeviceUserName(ini, imei) : std::string();
  };
  auto port = OpenComPortWhenFree(o_.port, {}, [this, told = false]() mutable {
    if (!std::exchange(told, true)) Say(o_, std::string(kPortBusyRetrying));
  });
  if (!port) return FailWith(port.failure());
  port_ = std::move(port.value());
  settings_.Update([](DeviceValues& v) {
    v.SetText("B2", kUnread);
    v.SetText("OU", kUnread);
  });
  const ReadEnd end = BlockingRead(*port_, ReadKind::Identify, settings_, options, o_.identifyTimeout);
  if (!end.started) return FailWith(end.started.failure());
  if (!end.finished) {
    Fail("no valid reply from the tracker on " + PortPath(o_.port) + ": no identification (IMEI and password) within " +
         std::to_string(o_.identifyTimeout.count()) + " s");
    return kTimedOut;
  }
  if (!end.failure.empty()) {
    Fail(end.failure);
    return kNoDevice;
  }
  // A reply cut short or run into other text is no answer: judging a
  // password by it would call a right one wrong.
  if (!IdentificationReadable()) {
    Fail("no valid reply from the tracker on " + PortPath(o_.port) + ": its IMEI and password could not be read");
    return kTimedOut;
  }
  userName_ = end.userName;
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
  // The command sends its query on the port the tracker was identified on, still open.
  return kOk;
}

int DeviceSession::FullRead() { return Read(ReadKind::FullRead, {}, settings_); }

int DeviceSession::Read(ReadKind kind, const std::vector<std::string_view>& keys, DeviceSettings& into) {
  std::function<void(Progress)> progress;
  const bool showProgress = !o_.quiet && IsTerminal(Stream::Err);
  if (showProgress) {
    progress = [](Progress p) {
      std::fprintf(stderr, "\rReading settings: %u / %u", p.done, p.total);
      std::fflush(stderr);
    };
  }
  ReadOptions options;
  options.fullReadStall = std::chrono::milliseconds(0);  // the overall time limit decides
  options.keys.assign(keys.begin(), keys.end());
  const ReadEnd end = BlockingRead(*port_, kind, into, options, o_.readTimeout, {}, progress);
  if (!end.started) return FailWith(end.started.failure());
  if (showProgress) std::fprintf(stderr, "\n");
  if (!end.finished) {
    Fail(Describe(ReadIncomplete(kind, keys, into, o_.readTimeout)));
    return kTimedOut;
  }
  if (!end.failure.empty()) {
    Fail(end.failure);
    return kNoDevice;
  }
  return kOk;
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
