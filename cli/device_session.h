#pragma once
// What every device command of the command line does first: find the port,
// identify the tracker, log in and read its settings, each bounded in time.
// The steps are the core's (HeldSession); this says them in the command
// line's words and exit codes.
#include <chrono>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_settings.h"
#include "device/held_session.h"
#include "device/settings_reader.h"
#include "device/transactions.h"

namespace zd573::cli {

// Exit codes, as documented in --help and the README.
enum ExitCode {
  kOk = 0,
  kUsage = 1,
  kNoDevice = 2,
  kWrongPassword = 3,
  kTimedOut = 4,
  kBadValue = 5,
  kDamagedLeftOut = 6,  // a download was exported without the records of its damaged packets
  kInterrupted = 130    // ended by a signal (Ctrl+C, SIGTERM, SIGHUP); a write after its page under way
};

struct Options {
  std::string port;                  // --port; empty: search
  bool quiet = false;
  bool json = false;
  bool yes = false;
  bool force = false;                // replace read-only output files
  bool havePassword = false;
  std::string password;              // --password, UTF-8 (or from the file or ZD573_PASSWORD)
  std::string passwordFile;          // --password-file
  std::string newPasswordFile;       // password --new-password-file
  std::chrono::seconds identifyTimeout{30};
  std::chrono::seconds readTimeout{120};
  int codePage = 1252;               // device text encoding
  // Pause after each set sentence; its stops: a signal, or a second one.
  WriteOptions write;
  // A signal: every wait (search, identification, read) ends at once.
  std::stop_token stop;
};

// The exit code for an error of this kind.
int ExitCodeFor(ErrorCode code);
// Reports the error, with what to do about a port that would not open, and
// returns its exit code.
int FailWith(const Error& error);

// Messages go to stderr unless quiet; errors always do.
void Say(const Options& o, const std::string& text);
void Fail(const std::string& text);
// Refuses an output that can never be written (a folder, a pipe, a device)
// before the tracker is asked for anything; the exit code.
int CheckTarget(const std::string& path);
// The text of the last Fail, for a report that keeps what went wrong.
const std::string& LastFailure();

// The name stored in system.ini for a tracker, by its IMEI (device bytes).
std::function<std::string(const std::string& imei)> StoredNames();

// The core's session (HeldSession) with the command line's words: each step
// prints what went wrong and returns an exit code.
class DeviceSession {
 public:
  explicit DeviceSession(Options& options);

  // Fills the port name (from --port or the search). Returns an exit code.
  int ResolvePort();
  // Identification only: IMEI and password arrive. The port stays open for
  // the session's later work: what is written goes to the tracker identified.
  int Identify();
  // Identify, log in with the password, full read.
  int Connect();
  // Identify, log in, and read only `keys` (those some pages send): a command
  // that writes or compares a few pages needs no more.
  int ConnectFor(const std::vector<std::string_view>& keys);
  // Identify and log in: for the commands that send a query of their own on
  // HeldPort(), which stays open.
  int Authorize();

  const std::string& Port() const { return o_.port; }
  // The port the tracker was identified on, open since; null before Identify.
  DevicePort* HeldPort() { return held_.HeldPort(); }
  DeviceSettings& Settings() { return held_.Settings(); }
  const std::string& UserName() const { return held_.UserName(); }
  // The core's session: what is written goes through it.
  HeldSession& Held() { return held_; }

 private:
  int Login();
  // Identify, then Login.
  int SignIn();
  // Tells what went wrong; the exit code.
  int Told(const HeldStatus& status);
  // The read's progress on a terminal.
  std::function<void(Progress)> ShowProgress() const;

  Options& o_;
  HeldSession held_;
};

// Device bytes shown as UTF-8, and UTF-8 typed by a person as device bytes.
std::string ToUtf8(const Options& o, const std::string& deviceBytes);

}  // namespace zd573::cli
