#include "device/held_session.h"

#include <algorithm>

#include "common/files.h"
#include "common/printable.h"
#include "device/blocking_read.h"
#include "device/device_job.h"
#include "device/login_rule.h"
#include "device/port_finder.h"
#include "settings/text_encoding.h"

namespace zd573 {
namespace {

// What the identification's values hold until a reply sets them: no tracker sends it.
constexpr std::string_view kUnread = "\x01";

// How often a wait looks at the list of ports: the tracker keeps talking, so
// not after every read.
constexpr std::chrono::milliseconds kPortLook{250};

HeldStatus Fault(HeldFault fault, Error error) { return HeldStatus{fault, std::move(error)}; }

HeldStatus StoppedBefore(const std::string& what) {
  return Fault(HeldFault::Stopped, Error{"Stopped before " + what, ErrorCode::Stopped}.Names(MessageKind::Stopped));
}

std::string Within(std::chrono::milliseconds limit) {
  return limit.count() % 1000 == 0 ? std::to_string(limit.count() / 1000) + " s" : std::to_string(limit.count()) + " ms";
}

// The reader gave up: the port failed (the tracker went away), or it made no progress.
HeldStatus GaveUp(const std::string& why) {
  const bool gone = why.rfind(kReaderDisconnected, 0) == 0;
  return Fault(gone ? HeldFault::Lost : HeldFault::ReadFailed,
               Error{why, gone ? ErrorCode::Disconnected : ErrorCode::Failed});
}

}  // namespace

bool PortPresent(const std::string& port, bool searched) {
  for (const SerialPortInfo& p : ListSerialPorts())
    if (p.name == port && (p.matches || !searched)) return true;
  return !searched && files::KindOf(PortPath(port)) != files::Kind::Missing;
}

HeldSession::HeldSession(HeldOptions options) : options_(std::move(options)), port_(options_.port) {
  settings_.SetCodePage(options_.codePage);
}

HeldSession::~HeldSession() { Close(); }

void HeldSession::Close() {
  if (port_held_) port_held_->Close();
  port_held_.reset();
  pace_ = LinePace{};
  identified_ = loggedIn_ = false;
}

void HeldSession::SetCodePage(int codePage) {
  options_.codePage = codePage;
  settings_.SetCodePage(codePage);
}

std::string HeldSession::Imei() const { return identified_ ? settings_.Text("B2") : std::string(); }

bool HeldSession::HasPassword() const { return identified_ && !settings_.Text("OU").empty(); }

HeldStatus HeldSession::FindPort(const std::stop_token& stop) {
  if (!port_.empty()) return {};
  std::string name;
  FindOptions find;
  find.matchPause = options_.portMatchPause;
  find.stop = stop;
  if (FindDevicePort(name, find)) {
    port_ = name;
    return {};
  }
  if (stop.stop_requested()) return StoppedBefore("a tracker was found");
  return Fault(HeldFault::NoTracker,
               Error{"No tracker found: no serial port whose name contains \"STM\"", ErrorCode::PortOpen});
}

HeldStatus HeldSession::Identify(const std::stop_token& stop) {
  Close();
  if (HeldStatus found = FindPort(stop); !found) return found;
  auto port = OpenComPortWhenFree(port_, stop, options_.portBusy, options_.busyPatience, options_.busyRetry);
  if (!port) {
    if (port.failure().code == ErrorCode::Stopped) return StoppedBefore("the port was free");
    return Fault(HeldFault::PortUnusable, port.failure());
  }
  port_held_ = std::move(*port);
  settings_.Update([](DeviceValues& v) {
    v.SetText("B2", kUnread);
    v.SetText("OU", kUnread);
  });
  // The port was emptied as it opened; from here on every line counts.
  ReadOptions read;
  read.userName = options_.userName;
  read.pace = &pace_;
  const ReadEnd end = BlockingRead(*port_held_, ReadKind::Identify, settings_, read, options_.identifyLimit, stop);
  if (!end.started) return Fault(HeldFault::ReadFailed, end.started.failure());
  if (!end.finished) {
    if (stop.stop_requested()) return StoppedBefore("the tracker was identified");
    return Fault(HeldFault::NotIdentified,
                 Error{"no valid reply from the tracker on " + PortPath(port_) +
                           ": no identification (IMEI and password) within " + Within(options_.identifyLimit),
                       ErrorCode::TimedOut});
  }
  if (!end.failure.empty()) return GaveUp(end.failure);
  // A reply cut short or run into other text is no answer: judging a
  // password by it would call a right one wrong.
  if (!IdentificationReadable())
    return Fault(HeldFault::Unreadable, Error{"no valid reply from the tracker on " + PortPath(port_) +
                                                  ": its IMEI and password could not be read",
                                              ErrorCode::TimedOut});
  // A tracker's IMEI is 15 digits; anything else answering is no tracker,
  // and its text must not reach a report or a file name.
  const std::string& imei = settings_.Text("B2");
  if (imei.size() != 15 || !std::all_of(imei.begin(), imei.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return Fault(HeldFault::NotIdentified,
                 Error{"the device on " + PortPath(port_) + " answered with \"" + Printable(imei) +
                           "\" where an IMEI of 15 digits belongs: it is not taken for a tracker",
                       ErrorCode::PortOpen});
  userName_ = end.userName;
  identified_ = true;
  return {};
}

bool HeldSession::IdentificationReadable() const {
  // Each was set to kUnread before the identification; the tracker's own
  // lines start with '$': a value still unread, or holding a '$' or another
  // control character, ran into other text.
  for (const char* key : {"B2", "OU"})
    for (unsigned char c : settings_.Text(key))
      if (c < 0x20 || c == 0x7F || c == '$') return false;
  return true;
}

HeldStatus HeldSession::LogIn(std::string_view typed) {
  loggedIn_ = false;
  if (!identified_ || !port_held_)
    return Fault(HeldFault::NotReady, Error{"No tracker is identified on this port", ErrorCode::Failed});
  auto bytes = settings::EncodeDeviceText(typed, options_.codePage);
  if (!bytes || !PasswordOpens(*bytes, settings_.Text("OU")))
    return Fault(HeldFault::WrongPassword, Error{"Password Error", ErrorCode::Failed});
  loggedIn_ = true;
  return {};
}

HeldStatus HeldSession::ReadKeys(const std::vector<std::string_view>& keys, const std::stop_token& stop,
                                 const std::function<void(Progress)>& progress) {
  // The password came with the identification.
  std::vector<std::string_view> table;
  for (std::string_view k : keys)
    if (k != "OU") table.push_back(k);
  return Read(ReadKind::Keys, table, stop, progress);
}

HeldStatus HeldSession::ReadAll(const std::stop_token& stop, const std::function<void(Progress)>& progress) {
  return Read(ReadKind::FullRead, {}, stop, progress);
}

HeldStatus HeldSession::Read(ReadKind kind, const std::vector<std::string_view>& keys, const std::stop_token& stop,
                             const std::function<void(Progress)>& progress) {
  if (!loggedIn_ || !port_held_)
    return Fault(HeldFault::NotReady, Error{"No tracker is logged in on this port", ErrorCode::Failed});
  ReadOptions read;
  read.fullReadStall = std::chrono::milliseconds(0);  // the overall time limit decides
  read.keys.assign(keys.begin(), keys.end());
  read.pace = &pace_;
  const ReadEnd end = BlockingRead(*port_held_, kind, settings_, read, options_.readLimit, stop, progress);
  if (!end.started) return Fault(HeldFault::ReadFailed, end.started.failure());
  if (!end.finished) {
    if (stop.stop_requested()) return StoppedBefore("every setting was read");
    return Fault(HeldFault::ReadIncomplete, ReadIncomplete(kind, keys, settings_, options_.readLimit));
  }
  if (!end.failure.empty()) return GaveUp(end.failure);
  return {};
}

ProfileWriteResult HeldSession::WritePages(const DeviceValues& target, const std::vector<Page>& pages,
                                           WriteOptions options, std::chrono::milliseconds readLimit,
                                           const std::function<void(Page)>& starting) {
  if (!loggedIn_ || !port_held_) {
    ProfileWriteResult refused;
    refused.status = Error{"No tracker is logged in on this port; nothing was sent", ErrorCode::Failed};
    return refused;
  }
  options.listen = &pace_;
  ProfileWriteResult result = WriteProfilePages(*port_held_, settings_, target, pages, options, readLimit, starting);
  // Whatever is on the port now is not the tracker that was logged in.
  if (!result.status && result.status.code() == ErrorCode::Disconnected) loggedIn_ = false;
  return result;
}

bool HeldSession::WaitUntilGone(const std::stop_token& stop, bool searched) {
  std::uint8_t buffer[64];
  auto nextLook = std::chrono::steady_clock::now();
  while (!stop.stop_requested()) {
    if (port_held_ && port_held_->IsOpen()) {
      if (port_held_->Read(buffer, sizeof buffer) < 0) return true;
    } else if (!PauseUnlessStopped(timing::kReadFirstByte, stop)) {
      break;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now < nextLook) continue;
    nextLook = now + kPortLook;
    if (!PortPresent(port_, searched)) return true;
  }
  return false;
}

}  // namespace zd573
