#pragma once
// Setting up trackers from a settings file, for both front ends: one tracker
// (ApplyProfile: apply, restore, one step of the loop) or each tracker plugged
// in, one after another (ProvisionLoop: `zd573 provision`, the window's "For
// each tracker plugged in"), each with its own values when a roster gives
// them. The same loop saves a backup of each tracker plugged in instead
// (`zd573 backup --each`). The loop runs on a thread that may wait and tells
// its listener on that thread; a stop ends it within a second at any wait.
// Every outcome is structured (TrackerOutcome); its report row, with the
// English reason both front ends write, comes from ReportRowOf alone.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "common/result.h"
#include "device/held_session.h"
#include "device/profile.h"
#include "device/profile_writer.h"
#include "device/roster.h"

namespace zd573 {

// What became of one tracker, from best to worst.
enum class TrackerResult : std::uint8_t {
  SetUp,           // the pages that differed were written and read back as sent
  Saved,           // a backup loop: every value was read and saved (`backup`, `kept`)
  AlreadyHeld,     // nothing differed: nothing was sent
  AlreadyDone,     // set up (or saved) before in this run (the loop): nothing was sent
  NotInRoster,     // a roster was given and has no row for its IMEI: nothing was sent
  PortUnusable,    // the port would not open (`error`; ErrorCode::Busy: another program kept it)
  NotIdentified,   // no readable identification within the limit (`error`)
  PasswordNeeded,  // the tracker has a password and none was given
  WrongPassword,   // the password given does not open it
  Unplugged,       // it went away before anything was written
  ReadFailed,      // its keys could not be read (`error`)
  BadValue,        // a value of the tracker's its page cannot send back (`error` names the field)
  TemplateRefused,  // a text with {name} or {imei} does not do for this tracker (`error` names the
                    // field): too long or unsendable once filled, or no name to fill in; nothing was sent
  SaveFailed,      // a backup loop: the file could not be saved (`error`)
  WriteFailed,     // a write failed (`error`); `written`: the pages whole before it
  ReadBackFailed,  // written, but the read-back failed (`error`)
  NotTaken,        // written, but the tracker holds other values than sent (`untaken`)
  Stopped,         // stopped before it was finished; `written`: the pages whole before
};

// A value read back other than sent, in device bytes.
struct UntakenValue {
  std::string key;
  std::string sent;
  std::string held;
};

// What a loop does to each tracker.
enum class LoopJob : std::uint8_t { SetUp, BackUp };

struct TrackerOutcome {
  TrackerResult result = TrackerResult::SetUp;
  LoopJob job = LoopJob::SetUp;
  std::string file;           // the settings file, as the reason names it
  std::string port;           // where the tracker was
  std::string imei;           // UTF-8; empty when it was never identified
  std::string name;           // the name stored for it, or its roster row's
  int rosterRow = 0;          // its roster row (as a spreadsheet counts); 0: no roster, or not in it
  int codePage = DeviceValues::kSingleByteCodePage;  // its text encoding, for the values below
  std::vector<Page> planned;  // the pages that differed
  std::vector<Page> written;  // the pages that reached it whole, in order
  int cutSent = 0;            // of the page after those, cut short: its sentences that reached it
  int cutOf = 0;              // ... of how many
  std::vector<UntakenValue> untaken;
  Error error;                // what went wrong, for the results that name one
  std::string backup;         // where the values it held before the write were saved (a backup loop: its file)
  std::string kept;           // a backup loop: where the file it replaced is kept; empty: none
  bool Ok() const;
};

// The report's row for an outcome: result ok, failed or skipped, and the
// reason in English ("2 pages written, verified"; never a secret's value).
// Both front ends write exactly this.
ProvisionRow ReportRowOf(const TrackerOutcome& outcome);

// Hooks of one tracker's writing, called on the thread that writes.
struct ApplyHooks {
  std::chrono::milliseconds pause = timing::kSetSentencePause;  // after each set sentence
  std::chrono::milliseconds readLimit{120000};                  // the read-back's
  std::function<void(Page)> starting;                           // a page begins
  std::function<void(int written, int total)> progress;         // sentences, of all the pages
  std::stop_token stop;      // ends it after the sentence under way
  std::stop_token pageStop;  // ends it after the page under way (no read-back)
  // Save what the pages hold first (a caller that saved them itself says no).
  bool backUpFirst = true;
};

// Writes `values` onto the tracker `session` holds (identified, logged in,
// and the keys of PagesOf(values) read): the pages that differ, each whole,
// then reads them back. `outcome.file` names the file in its reason. What
// the tracker held on those pages is saved first (SaveWriteBackup); without
// that backup nothing is sent.
TrackerOutcome ApplyProfile(HeldSession& session, const PreparedProfile& values, const std::string& file,
                            const ApplyHooks& hooks);

// What a write of `out.planned` came to: the pages written, the result, and
// the values of `sent` the tracker did not take.
void TakeWriteResult(TrackerOutcome& out, const ProfileWriteResult& r, const DeviceValues& sent);

// The loop's counts: trackers, not plug-ins.
struct LoopCounts {
  int setUp = 0;   // distinct trackers set up in this run
  int failed = 0;  // trackers not set up (by IMEI; each one never identified apart)
  int again = 0;   // plug-ins of a tracker set up before in this run
  int notInRoster = 0;  // plug-ins of a tracker the roster has no row for
  int rows = 0;    // report rows written
};

enum class LoopStage : std::uint8_t {
  Waiting,    // for a tracker to be plugged in
  Opening,    // its port was found
  Reading,    // identified and logged in: its keys are read
  Writing,    // the pages that differ are written
  Checking,   // they are read back
  Saving,     // a backup loop: its values are saved
  Unplug,     // done with it: it is to be unplugged
};

// What the loop tells, on its own thread. Copy what is needed; block only
// where the caller means the loop to wait (Password).
class ProvisionListener {
 public:
  virtual ~ProvisionListener() = default;
  // The loop moved on; `tracker` says which tracker from Reading on (imei,
  // name and port filled), else only the port (or nothing while Waiting).
  virtual void Stage(LoopStage, const TrackerOutcome& tracker) { (void)tracker; }
  // Before each wait for a port another program holds.
  virtual void PortBusy(const std::string& port) { (void)port; }
  // The tracker has a password and the loop was given none: the one to try,
  // or none (it is then reported as PasswordNeeded). Asked once per tracker.
  virtual std::optional<std::string> Password(const TrackerOutcome& tracker) {
    (void)tracker;
    return std::nullopt;
  }
  virtual void Starting(Page page) { (void)page; }
  virtual void Progress(int written, int total) {
    (void)written;
    (void)total;
  }
  // One tracker's row, after it was appended to the report (`reported` says
  // why not when it could not be), with the counts so far.
  virtual void Done(const TrackerOutcome& outcome, const LoopCounts& counts, const Status& reported) {
    (void)outcome;
    (void)counts;
    (void)reported;
  }
};

struct ProvisionOptions {
  std::string port;  // the port to watch (--port); empty: search for the tracker's
  std::optional<std::string> password;  // UTF-8, for every tracker; none: ask the listener when needed
  bool withPassword = false;            // the file's password (OU) goes out too
  long count = 0;                       // end after this many distinct trackers set up (0: until stopped)
  int codePage = DeviceValues::kSingleByteCodePage;
  // A tracker's own text encoding by IMEI (device bytes), if it has one; else codePage.
  std::function<int(const std::string& imei)> codePageOf;
  std::function<std::string(const std::string& imei)> userName;  // the name stored for a tracker
  std::chrono::milliseconds identifyLimit{30000};
  std::chrono::milliseconds readLimit{120000};
  std::chrono::milliseconds pause = timing::kSetSentencePause;
  std::chrono::milliseconds portMatchPause = timing::kPortMatchPause;
  std::chrono::milliseconds busyPatience = timing::kBusyPortPatience;
  std::chrono::milliseconds busyRetry = timing::kBusyPortRetry;
  std::chrono::milliseconds look{250};  // how often the ports are looked at while waiting
  // Each tracker's own values (ReadRoster, checked whole): a tracker is set up
  // with the profile plus its row, and one without a row is not written. With
  // a roster the loop ends once every row is set up (or `count` are).
  std::optional<Roster> roster;
  // Keeps the name a roster row gives a tracker once it is set up (the
  // program's names by IMEI, UTF-8); none: the names are not kept.
  std::function<void(const std::string& imei, const std::string& name)> keepName;
};

enum class LoopEnd : std::uint8_t {
  Counted,       // `count` trackers were set up
  Stopped,       // a stop (the tracker under way was reported)
  Refused,       // the file is not for a loop (`refused`), the roster does not go with it (`roster`), or a
                 // value cannot be sent (`error`): no tracker touched
  ReportFailed,  // a row could not be appended (`error`): setting up more would leave them out
};

struct LoopResult {
  LoopEnd end = LoopEnd::Stopped;
  LoopCounts counts;
  SharedCheck refused;
  RosterProblem roster;
  Error error;
  std::vector<int> neverPluggedIn;  // with a roster: the rows whose tracker was not seen in the run
};

// A loop that saves a backup of each tracker plugged in, FOLDER/IMEI.ini
// (SaveTrackerBackup), instead of setting it up.
struct EachBackup {
  std::string folder;
};

class ProvisionLoop {
 public:
  // `report` is open; `profile` is the file as read, `file` its name.
  ProvisionLoop(Profile profile, std::string file, ProvisionOptions options, ProvisionReport& report,
                ProvisionListener& listener);
  // Saves a backup of each tracker plugged in (`options.roster` and the
  // settings file's options unused): a report row each.
  ProvisionLoop(EachBackup each, ProvisionOptions options, ProvisionReport& report, ProvisionListener& listener);
  ~ProvisionLoop();
  ProvisionLoop(const ProvisionLoop&) = delete;
  ProvisionLoop& operator=(const ProvisionLoop&) = delete;

  // Sets up each tracker plugged in until `count` are set up or a stop. A
  // tracker already there when it starts is the first.
  LoopResult Run(std::stop_token stop);
  // The same with a two-level stop: `finish` ends every wait at once but lets
  // the tracker being written finish the page under way (then it is reported
  // as stopped); `now` ends its writing after the sentence under way.
  LoopResult Run(std::stop_token finish, std::stop_token now);
  // From any thread: a port came or went, so a wait for a tracker looks now.
  void DeviceChanged();
  // The IMEIs (UTF-8) set up in this run.
  std::set<std::string> Done() const;
  // With a roster: its rows not set up yet, in file order.
  std::vector<int> RowsWaiting() const;

 private:
  struct Wake;
  // Waits for a tracker's port; false on a stop.
  bool WaitForTracker(const std::stop_token& stop, std::string& port);
  TrackerOutcome SetUpOne(const std::string& port, const std::stop_token& stop, const std::stop_token& finish,
                          const std::stop_token& now, HeldSession& session);
  // A backup loop's work on a tracker logged in.
  TrackerOutcome SaveOne(HeldSession& session, const std::stop_token& stop, TrackerOutcome t);
  // Whether the run is over: `count` trackers, or every row of the roster, set up.
  bool Counted() const;
  HeldOptions SessionOptions(const std::string& port) const;
  // The file's values checked in a text encoding (templates unfilled).
  Expected<PreparedProfile> Prepare(int codePage) const;
  // Appends the outcome's row and counts it.
  Status Report(const TrackerOutcome& outcome);

  Profile profile_;
  std::string file_;
  ProvisionOptions options_;
  ProvisionReport& report_;
  ProvisionListener& listener_;
  std::unique_ptr<Wake> wake_;
  mutable std::mutex doneMutex_;
  std::set<std::string> done_;    // set up in this run
  std::set<std::string> failed_;  // identified, not set up (yet)
  std::set<std::string> seen_;    // identified in this run
  LoopJob job_ = LoopJob::SetUp;
  int unidentifiedFailures_ = 0;
  LoopCounts counts_;
};

}  // namespace zd573
