#include "profile_commands.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <iostream>
#include <atomic>
#include <map>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

#include "common/files.h"
#include "common/printable.h"
#include "console.h"
#include "device/page_values.h"
#include "device/port_finder.h"
#include "device/profile.h"
#include "device/profile_writer.h"
#include "device/provision_loop.h"
#include "device/roster.h"
#include "device/user_values.h"
#include "device/write_backup.h"
#include "logger/replacing_file.h"
#include "settings/ini_file.h"
#include "settings/paths.h"
#include "passwords.h"

namespace zd573::cli {
namespace {

const char kEmptyPassword[] =
    "An empty password lets anyone who plugs the tracker in read and change its settings and download its "
    "log; --yes sets it";

// "GPRS APN" for D1: how --help and diff name a field.
std::string FieldName(std::string_view key) {
  std::string label = FieldLabel(key);
  const std::string code = " (" + std::string(key) + ")";
  if (label.size() > code.size() && label.ends_with(code)) label.resize(label.size() - code.size());
  return label;
}

// A value as its page shows it: a choice by its words with the stored number
// for scripts ("High (2)"), a text in quotes. A secret is never shown or kept
// in a report unless `showSecrets`.
std::string Shown(const Options& o, std::string_view key, const std::string& deviceBytes, bool showSecrets = false) {
  if (IsSecretKey(key) && !showSecrets) return deviceBytes.empty() ? "(empty)" : "(hidden)";
  if (auto words = ValueInWords(key, deviceBytes, EnglishWording())) return *words;
  return "\"" + Printable(ToUtf8(o, deviceBytes)) + "\"";
}

// What became of a tracker, in the core's words, with what to do about a
// port that failed; the exit code.
int Told(const Options& o, const TrackerOutcome& outcome) {
  const std::string reason = ReportRowOf(outcome).reason;
  switch (outcome.result) {
    case TrackerResult::SetUp:
    case TrackerResult::AlreadyHeld:
    case TrackerResult::AlreadyDone: Say(o, reason); return kOk;
    case TrackerResult::NotTaken: Fail(reason); return kNotVerified;
    case TrackerResult::BadValue: Fail(reason); return kBadValue;
    case TrackerResult::Stopped: Fail(reason); return kInterrupted;
    default: break;
  }
  const std::string advice(outcome.result == TrackerResult::WriteFailed ? PortAdvice(outcome.error.code) : "");
  Fail(reason + (advice.empty() ? "" : "\n" + advice));
  return ExitCodeFor(outcome.error.code);
}

// Says each page as it begins.
std::function<void(Page)> Starting(const Options& o) {
  return [&o](Page page) { Say(o, "Writing the " + std::string(PageName(page)) + " settings..."); };
}

// While pages are written, says what a signal does to the writing (on the
// thread that saw the signal).
class WriteNotices {
 public:
  explicit WriteNotices(const Options& o) {
    if (!o.write.pageStop.stop_requested())
      first_.emplace(o.write.pageStop,
                     Tell{&o, true, "finishing the page under way; a second signal stops after the sentence under way"});
    if (!o.write.stop.stop_requested())
      second_.emplace(o.write.stop, Tell{&o, false, "A second signal: stopping after the sentence under way"});
  }

 private:
  struct Tell {
    const Options* o;
    bool named;
    const char* what;
    void operator()() const { Say(*o, (named ? InterruptGuard::FirstName() + ": " : std::string()) + what); }
  };
  std::optional<std::stop_callback<Tell>> first_;
  std::optional<std::stop_callback<Tell>> second_;
};

// Writes the pages whole with `edited`'s values through the session, on the
// port the tracker was identified on and that has stayed open since, with no
// read-back. A failure is told here; the exit code.
int WritePages(Options& o, DeviceSession& session, const std::vector<Page>& pages, const DeviceValues& edited) {
  const WriteNotices notices(o);
  const ProfileWriteResult r =
      session.Held().WritePages(edited, pages, o.write, std::chrono::milliseconds(0), Starting(o));
  if (r.status) return kOk;
  TrackerOutcome outcome;
  outcome.port = session.Port();
  outcome.planned = pages;
  outcome.written = r.written;
  outcome.cutSent = r.cutSent;
  outcome.cutOf = r.cutOf;
  outcome.error = r.status.failure();
  outcome.result = outcome.error.code == ErrorCode::Stopped                         ? TrackerResult::Stopped
                   : outcome.error.code == ErrorCode::BadValue && r.written.empty() ? TrackerResult::BadValue
                                                                                    : TrackerResult::WriteFailed;
  return Told(o, outcome);
}

// What the tracker holds on the pages about to be written, saved before the
// first sentence goes out; without it nothing is sent.
int BackUpFirst(const Options& o, DeviceSession& session, const std::vector<Page>& pages) {
  auto saved = SaveWriteBackup(session.Settings().Snapshot(), KeysOfPages(pages), o.codePage);
  if (!saved) {
    Fail(Describe(saved.failure()) + "; nothing was sent");
    return ExitCodeFor(saved.code());
  }
  Say(o, "The values before this write are saved in " + *saved);
  return kOk;
}

// KEY=value typed by a person, prepared as the pages prepare what is typed
// into them. Everything is checked before the tracker is touched.
int PrepareAssignments(const Options& o, const std::vector<std::pair<std::string, std::string>>& pairs,
                       PreparedProfile& prepared, const std::string& origin) {
  // Unlike a page's interval box, the command line takes only whole numbers: "O2=abc" is a mistake, not 1.
  const ValueRules rules{o.codePage, false, true};
  for (const auto& [key, value] : pairs) {
    auto p = PrepareValue(key, value, rules);
    if (!p) {
      Fail(origin + p.error());
      return kBadValue;
    }
    if (!p->note.empty()) Say(o, "Note: " + p->note);
    prepared.emplace_back(key, std::move(*p));
  }
  return kOk;
}

// Writes every page that carries one of the keys, whole, with the other values as read.
int SetKeys(Options& o, const PreparedProfile& changes) {
  const std::vector<Page> pages = PagesOf(changes);
  DeviceSession session(o);
  if (int rc = session.ConnectFor(KeysOfPages(pages)); rc != kOk) return rc;
  DeviceValues edited = session.Settings().Snapshot();
  for (const auto& [key, value] : changes) StorePrepared(edited, key, value);
  // The logger page sends the interval only while logging is on; say so rather
  // than report a change that never reaches the tracker.
  if (std::any_of(changes.begin(), changes.end(), [](const auto& c) { return c.first == "O2"; }) &&
      edited.Number("OX") == 0) {
    Fail("O2 is sent to the tracker only while logging is on: add OX=1");
    return kBadValue;
  }
  if (int rc = BackUpFirst(o, session, pages); rc != kOk) return rc;
  return WritePages(o, session, pages, edited);
}

// A settings file read and checked, before any tracker is asked, and the
// roster beside it. A profile's texts may hold {name} and {imei}: its values
// are filled for the tracker identified (ForTracker) before they are sent.
struct LoadedFile {
  std::string path;
  Profile profile;
  PreparedProfile values;
  std::optional<Roster> roster;
  std::string keepName;  // the name the roster gives the tracker identified
};

// Why a file cannot go to every tracker plugged in, in words.
std::string Refusal(const std::string& path, const SharedCheck& check) {
  if (check.fault == SharedFault::NamesTracker)
    return path + " is a backup of the tracker with IMEI " + check.imei +
           ": its values belong to that tracker, and nothing is written to every tracker plugged in from it. "
           "Save a profile for that: zd573 backup FILE --profile";
  std::string keys;
  for (const std::string& k : check.keys) keys += (keys.empty() ? "" : ", ") + FieldLabel(k);
  return path + " holds values of one tracker alone (" + keys +
         "), which are not written to every tracker plugged in. Leave them out of the file, or save a profile: "
         "zd573 backup FILE --profile";
}

// Reads FILE and checks every value. A restore needs every value a page sends;
// the password is left out unless asked for, and an empty one needs --yes. A
// file for every tracker plugged in (`shared`) holds shared values only.
int LoadFile(const Options& o, const ProfileArgs& args, const std::string& path, bool everyKey, LoadedFile& out,
             bool shared = false) {
  // A roster's values are each tracker's own: the file beside it must be shared, and may be empty.
  shared = shared || !args.roster.empty();
  auto profile = args.roster.empty() ? ReadProfile(path) : ReadProfileBesideRoster(path);
  if (!profile) {
    Fail(Describe(profile.failure()));
    return kBadValue;
  }
  if (const SharedCheck check = CheckSharedProfile(*profile, args.withPassword); shared && !check) {
    Fail(Refusal(path, check));
    return kBadValue;
  }
  out.path = path;
  out.profile = std::move(*profile);
  if (everyKey) {
    for (const KeyInfo& k : AllKeys()) {
      if (!PageOfKey(k.key) || k.key == "OU" || out.profile.Find(k.key)) continue;
      Fail(path + ": the value of " + std::string(k.key) + " is missing");
      return kBadValue;
    }
  }
  std::vector<std::string> notes;
  auto prepared = PrepareProfileTemplates(out.profile, ValueRules{o.codePage, true, true}, path, &notes);
  if (!prepared) {
    Fail(prepared.error());
    return kBadValue;
  }
  for (const auto& n : notes) Say(o, "Note: " + n);
  out.values = std::move(*prepared);
  if (!args.withPassword && out.profile.Find("OU")) {
    LeaveOutPassword(out.values);
    Say(o, "Note: the password in " + path + " is not sent (--with-password sends it)");
  }
  if (SetsEmptyPassword(out.values) && !o.yes) {
    Fail(path + " sets an empty password. " + kEmptyPassword);
    return kUsage;
  }
  if (args.roster.empty()) return kOk;
  // The roster is checked whole, every cell, before any tracker is asked.
  RosterRead roster = ReadRoster(args.roster, RosterRules{o.codePage, {}});
  RosterProblem problem = roster.problem;
  if (problem.ok()) problem = CheckRosterBeside(roster.roster, out.profile, path);
  if (!problem.ok()) {
    Fail(DescribeRoster(problem));
    return kBadValue;
  }
  out.roster = std::move(roster.roster);
  return kOk;
}

// The keys the file and its roster's columns touch (their values unused): what to read before comparing.
PreparedProfile Touched(const LoadedFile& file) {
  PreparedProfile keys = file.values;
  if (file.roster)
    for (const std::string& k : file.roster->keys) keys.emplace_back(k, PreparedValue{});
  return keys;
}

// The name kept for a tracker, as its roster row gives it.
void KeepName(const Options& o, const std::string& imei, const std::string& name) {
  settings::IniFile ini(settings::SystemIniPath());
  if (settings::ReadDeviceUserName(ini, imei) == name) return;
  if (Status s = settings::WriteDeviceUserName(ini, imei, name); !s)
    Say(o, "Note: the name \"" + name + "\" could not be kept for " + imei + ": " + s.error());
}

// The file's values for the tracker the session identified: its roster row's
// too, and {name} and {imei} filled. The exit code.
int ForTracker(const Options& o, const ProfileArgs& args, DeviceSession& session, LoadedFile& file) {
  const std::string imei = ToUtf8(o, session.Settings().Text("B2"));
  const RosterRow* row = file.roster ? file.roster->Find(imei) : nullptr;
  if (file.roster && !row) {
    Fail("The tracker " + imei + " is not in the roster " + file.roster->file + "; nothing was sent");
    return kBadValue;
  }
  if (row) Say(o, "The tracker " + imei + " is row " + std::to_string(row->row) + " of " + file.roster->file);
  std::string name = row && !row->name.empty() ? row->name : session.UserName();
  auto values = ValuesFor(file.profile, file.path, row, file.roster ? file.roster->file : std::string(),
                          TrackerTexts{imei, name}, ValueRules{o.codePage, true, true});
  if (!values) {
    Fail(Describe(values.failure()));
    return kBadValue;
  }
  if (!args.withPassword) LeaveOutPassword(*values);
  file.values = std::move(*values);
  if (row) file.keepName = row->name;
  return kOk;
}

// Whether the file may go to the tracker the session identified.
int CheckTracker(const Options& o, const ProfileArgs& args, const LoadedFile& file, DeviceSession& session) {
  const std::string imei = ToUtf8(o, session.Settings().Text("B2"));
  if (!file.profile.hasImei || file.profile.imei == imei) return kOk;
  if (args.anyTracker) {
    Say(o, "Note: " + file.path + " was saved from the tracker with IMEI " + file.profile.imei);
    return kOk;
  }
  Fail(file.path + " was saved from the tracker with IMEI " + file.profile.imei + ", not this one (" + imei +
       "); nothing was sent (--any-tracker writes it anyway)");
  return kBadValue;
}

// The logger page sends the interval only while logging is on: say so rather
// than let a file's O2 pass unnoticed.
void NoteUnsent(const Options& o, const LoadedFile& file, const DeviceValues& target) {
  if (target.Number("OX") == 0 && file.profile.Find("O2"))
    Say(o, "Note: " + file.path + " gives O2, which is sent to the tracker only while logging is on (OX=1)");
}

// Compares the file with what the session read, writes only the pages that
// differ, then reads their keys back and compares them with what was sent.
int WriteDifferences(Options& o, DeviceSession& session, const LoadedFile& file) {
  if (auto plan = PlanProfile(session.Settings().Snapshot(), file.values)) NoteUnsent(o, file, plan->target);
  ApplyHooks hooks;
  hooks.pause = o.write.pause;
  hooks.readLimit = o.readTimeout;
  hooks.starting = Starting(o);
  hooks.stop = o.write.stop;
  hooks.pageStop = o.write.pageStop;
  hooks.backUpFirst = false;  // BackUpDifferences saved them, and said where
  const WriteNotices notices(o);
  const TrackerOutcome outcome = ApplyProfile(session.Held(), file.values, file.path, hooks);
  if (outcome.Ok() && !file.keepName.empty()) KeepName(o, outcome.imei, file.keepName);
  return Told(o, outcome);
}

// The backup before the file's differences are written; none when nothing
// differs (WriteDifferences says so, or why the file cannot be compared).
int BackUpDifferences(const Options& o, DeviceSession& session, const LoadedFile& file) {
  auto plan = PlanProfile(session.Settings().Snapshot(), file.values);
  if (!plan || plan->Empty()) return kOk;
  return BackUpFirst(o, session, plan->Pages());
}

// Apply and restore: one file onto the tracker that is plugged in.
int ApplyFile(Options& o, const std::vector<std::string>& words, const ProfileArgs& args, bool everyKey) {
  if (words.size() != 2) {
    Fail(words[0] + " needs one FILE");
    return kUsage;
  }
  LoadedFile file;
  if (int rc = LoadFile(o, args, words[1], everyKey, file); rc != kOk) return rc;
  DeviceSession session(o);
  if (int rc = session.ConnectFor(KeysOfPages(PagesOf(Touched(file)))); rc != kOk) return rc;
  if (int rc = ForTracker(o, args, session, file); rc != kOk) return rc;
  if (int rc = CheckTracker(o, args, file, session); rc != kOk) return rc;
  if (int rc = BackUpDifferences(o, session, file); rc != kOk) return rc;
  return WriteDifferences(o, session, file);
}

// The keys a backup keeps: all, or the shared ones (--profile), or those
// named; --without takes some away.
int BackupKeys(const ProfileArgs& args, std::vector<std::string_view>& keys) {
  auto known = [](const std::vector<std::string>& names) -> const std::string* {
    for (const auto& n : names)
      if (!FindKey(n)) return &n;
    return nullptr;
  };
  for (const auto* list : {&args.keys, &args.without}) {
    if (const std::string* bad = known(*list)) {
      Fail(*bad + " is not a setting of the tracker");
      return kUsage;
    }
  }
  const auto named = [](const std::vector<std::string>& list, std::string_view key) {
    return std::find(list.begin(), list.end(), key) != list.end();
  };
  for (std::string_view key : KeysToSave(!args.profile || !args.keys.empty()))
    if ((args.keys.empty() || named(args.keys, key)) && !named(args.without, key)) keys.push_back(key);
  if (keys.empty()) {
    Fail("backup: no key is left to save");
    return kUsage;
  }
  return kOk;
}

}  // namespace

int CmdSet(Options& o, const std::vector<std::string>& words) {
  if (words.size() < 2) {
    Fail("set needs KEY=VALUE arguments");
    return kUsage;
  }
  std::vector<std::pair<std::string, std::string>> pairs;
  for (std::size_t i = 1; i < words.size(); ++i) {
    auto eq = words[i].find('=');
    if (eq == std::string::npos || eq == 0) {
      Fail("not a KEY=VALUE assignment: " + words[i]);
      return kUsage;
    }
    pairs.emplace_back(words[i].substr(0, eq), words[i].substr(eq + 1));
  }
  PreparedProfile changes;
  if (int rc = PrepareAssignments(o, pairs, changes, ""); rc != kOk) return rc;
  if (SetsEmptyPassword(changes) && !o.yes) {
    Fail("OU= sets an empty password. " + std::string(kEmptyPassword));
    return kUsage;
  }
  return SetKeys(o, changes);
}

int CmdPassword(Options& o, const std::vector<std::string>& words) {
  std::string typed;
  if (int rc = ChooseNewPassword(o, words, typed); rc != kOk) return rc;
  PreparedProfile changes;
  if (int rc = PrepareAssignments(o, {{"OU", typed}}, changes, "new password: "); rc != kOk) return rc;
  if (SetsEmptyPassword(changes) && !o.yes) {
    Fail(std::string(kEmptyPassword));
    return kUsage;
  }
  return SetKeys(o, changes);
}

int CmdBackup(Options& o, const std::vector<std::string>& words, const ProfileArgs& args) {
  if (words.size() != 2) {
    Fail("backup needs one FILE");
    return kUsage;
  }
  std::vector<std::string_view> keys;
  if (int rc = BackupKeys(args, keys); rc != kOk) return rc;
  // The file is checked, and its temporary twin created, before the long read.
  if (int rc = CheckTarget(words[1]); rc != kOk) return rc;
  if (!o.force && logger::IsReadOnlyFile(words[1])) {
    Fail("Cannot write " + words[1] + ": the file is read-only (--force replaces it)");
    return kBadValue;
  }
  // A failure half-way keeps an older backup whole; a file holding a secret is the owner's alone.
  const bool secret = std::any_of(keys.begin(), keys.end(), [](std::string_view k) { return IsSecretKey(k); });
  logger::ReplacingFile out;
  if (!out.Open(words[1], secret)) {
    Fail("Cannot write " + words[1] + ": " + out.Reason());
    return kBadValue;
  }
  // Only the table keys the file keeps are read; B2 and OU come with the identification.
  std::vector<std::string_view> read;
  for (std::string_view k : keys)
    if (TableIndex(k) >= 0) read.push_back(k);
  DeviceSession session(o);
  const int rc = read.size() == static_cast<std::size_t>(kTableKeyCount) ? session.Connect() : session.ConnectFor(read);
  if (rc != kOk) return rc;
  std::vector<std::string> notes;
  const std::string text = FormatProfile(session.Settings().Snapshot(), keys, o.codePage, &notes);
  for (const auto& n : notes) Say(o, "Note: " + n);
  if (!out.Write(text.data(), text.size()) || !out.Commit()) {
    Fail("Cannot write " + words[1] + ": " + out.Reason());
    return kBadValue;
  }
  Say(o, "Saved " + std::to_string(keys.size()) + " values to " + words[1]);
  return kOk;
}

int CmdRestore(Options& o, const std::vector<std::string>& words, const ProfileArgs& args) {
  return ApplyFile(o, words, args, true);
}

int CmdApply(Options& o, const std::vector<std::string>& words, const ProfileArgs& args) {
  return ApplyFile(o, words, args, false);
}

int CmdUndo(Options& o, const std::vector<std::string>& words, const ProfileArgs& args) {
  if (words.size() != 1) {
    Fail("undo takes no FILE: it restores the newest backup of the tracker plugged in");
    return kUsage;
  }
  // Which backup is known once the tracker has said its IMEI; then only the keys of its pages are read.
  DeviceSession session(o);
  if (int rc = session.ConnectFor({}); rc != kOk) return rc;
  auto newest = NewestBackup(ToUtf8(o, session.Settings().Text("B2")));
  if (!newest) {
    Fail(Describe(newest.failure()));
    return kBadValue;
  }
  Say(o, "Restoring " + *newest);
  LoadedFile file;
  if (int rc = LoadFile(o, args, *newest, false, file); rc != kOk) return rc;
  std::vector<std::string_view> keys;
  for (std::string_view k : KeysOfPages(PagesOf(file.values)))
    if (k != "OU") keys.push_back(k);  // it came with the identification
  if (Status read = ReadKeysOn(*session.HeldPort(), keys, session.Settings(), o.readTimeout, o.stop); !read)
    return FailWith(read.failure());
  if (int rc = BackUpDifferences(o, session, file); rc != kOk) return rc;
  return WriteDifferences(o, session, file);
}

int CmdDiff(Options& o, const std::vector<std::string>& words, const ProfileArgs& args) {
  if (words.size() != 2) {
    Fail("diff needs one FILE");
    return kUsage;
  }
  LoadedFile file;
  Options showOnly = o;
  showOnly.yes = true;  // nothing is written: an empty password is only shown
  if (int rc = LoadFile(showOnly, args, words[1], false, file); rc != kOk) return rc;
  DeviceSession session(o);
  // Only the file's keys, and those its pages' rules go by, can differ.
  if (int rc = session.ConnectFor(KeysToCompare(Touched(file))); rc != kOk) return rc;
  if (int rc = ForTracker(o, args, session, file); rc != kOk) return rc;
  if (const std::string imei = ToUtf8(o, session.Settings().Text("B2")); file.profile.hasImei && file.profile.imei != imei)
    Say(o, "Note: " + words[1] + " was saved from the tracker with IMEI " + file.profile.imei);
  auto plan = PlanProfile(session.Settings().Snapshot(), file.values);
  if (!plan) {
    Fail(Describe(plan.failure()));
    return kBadValue;
  }
  NoteUnsent(o, file, plan->target);
  for (const PageChange& page : plan->pages) {
    std::cout << "[" << PageName(page.page) << "]\n";
    for (const KeyChange& k : page.keys)
      std::cout << "  " << k.key << "  " << FieldName(k.key) << ": " << Shown(o, k.key, k.tracker, args.showSecrets)
                << " -> " << Shown(o, k.key, k.file, args.showSecrets) << "\n";
  }
  if (plan->Empty()) {
    Say(o, "No differences: the tracker holds every value of " + words[1]);
    return kOk;
  }
  return kDifferences;
}

namespace {

// The provisioning loop in the command line's words, on the loop's thread.
// What the report did by itself: a torn row ended, rows going on in a new file.
void TellReportEvents(const Options& o, ProvisionReport& report) {
  for (const ReportEvent& e : report.TakeEvents()) {
    if (e.kind == ReportEvent::Kind::EndedTornRow)
      Say(o, "Note: " + e.path + " ended in half a row (a run that could not finish it); that row was ended first");
    else
      Say(o, "Note: " + e.was + " was deleted, replaced or moved during the run; the rows go on in " + e.path);
  }
}

class ProvisionWords final : public ProvisionListener {
 public:
  ProvisionWords(const Options& o, ProvisionReport& report) : o_(o), report_(report) {}

  void Stage(LoopStage stage, const TrackerOutcome& tracker) override {
    // A signal under the writing lets the page under way finish; say so then.
    if (stage == LoopStage::Writing) {
      notices_.emplace(o_);
    } else {
      notices_.reset();
    }
    switch (stage) {
      case LoopStage::Waiting: Say(o_, "Waiting for a tracker (Ctrl+C ends)..."); break;
      case LoopStage::Opening: busySaid_ = false; break;
      case LoopStage::Reading:
        Say(o_, (tracker.job == LoopJob::BackUp ? "Backing up the tracker " : "Setting up the tracker ") +
                    tracker.imei +
                    (tracker.rosterRow ? " (roster row " + std::to_string(tracker.rosterRow) + ")" : std::string()) +
                    " on " + PortPath(tracker.port) + "...");
        break;
      case LoopStage::Unplug: Say(o_, "Unplug it and plug in the next tracker."); break;
      case LoopStage::Writing:
      case LoopStage::Checking:
      case LoopStage::Saving: break;
    }
  }
  void PortBusy(const std::string&) override {
    if (!std::exchange(busySaid_, true)) Say(o_, std::string(kPortBusyRetrying));
  }
  std::optional<std::string> Password(const TrackerOutcome&) override {
    // Asked once, on a terminal, for every tracker that has one.
    if (!typed_ && IsTerminal(Stream::In)) typed_ = ReadHiddenLine("The trackers' password: ");
    return typed_;  // none after a signal: the loop stops
  }
  void Starting(Page page) override { Say(o_, "Writing the " + std::string(PageName(page)) + " settings..."); }
  void Done(const TrackerOutcome& outcome, const LoopCounts&, const Status& reported) override {
    notices_.reset();
    if (outcome.result == TrackerResult::Stopped) stoppedOne_ = true;
    const ProvisionRow row = ReportRowOf(outcome);
    const std::string what = row.skipped ? "Skipped" : row.ok ? "Done" : "FAILED";
    Say(o_, what + ": tracker " + (outcome.imei.empty() ? "(no IMEI)" : outcome.imei) + " on " +
                PortPath(outcome.port) + ": " + row.reason);
    TellReportEvents(o_, report_);
    if (!reported) Fail(Describe(reported.failure()));
  }
  // Whether a signal stopped a tracker before it was set up.
  bool StoppedOne() const { return stoppedOne_; }

 private:
  const Options& o_;
  ProvisionReport& report_;
  std::optional<WriteNotices> notices_;
  bool stoppedOne_ = false;
  bool busySaid_ = false;
  std::optional<std::string> typed_;
};

// The loop's options from the command line.
ProvisionOptions LoopOptions(const Options& o, const ProfileArgs& args) {
  ProvisionOptions options;
  options.port = o.port;
  if (o.havePassword) options.password = o.password;
  options.withPassword = args.withPassword;
  options.count = args.count;
  options.codePage = o.codePage;
  options.userName = StoredNames();
  options.identifyLimit = o.identifyTimeout;
  options.readLimit = o.readTimeout;
  options.pause = o.write.pause;
  return options;
}

// Opens the report for a loop; the exit code.
int OpenReport(const std::string& path, ProvisionReport& report) {
  if (int rc = CheckTarget(path); rc != kOk) return rc;
  if (Status s = report.Open(path); !s) {
    Fail(Describe(s.failure()));
    return kBadValue;
  }
  return kOk;
}

// Runs the loop until it ends or a signal stops it: a tracker being written
// finishes its page under way first (a second signal: its sentence) and is
// reported as stopped.
LoopResult RunLoop(ProvisionLoop& loop, const Options& o) { return loop.Run(o.write.pageStop, o.write.stop); }

}  // namespace

int CmdProvision(Options& o, const std::vector<std::string>& words, const ProfileArgs& args) {
  if (words.size() != 2 || args.report.empty()) {
    Fail("usage: provision FILE --report REPORT.csv [--roster ROSTER.csv] [--count N]");
    return kUsage;
  }
  LoadedFile file;
  if (int rc = LoadFile(o, args, words[1], false, file, true); rc != kOk) return rc;
  ProvisionReport report;
  if (int rc = OpenReport(args.report, report); rc != kOk) return rc;
  ProvisionOptions options = LoopOptions(o, args);
  options.roster = file.roster;
  options.keepName = [&o](const std::string& imei, const std::string& name) { KeepName(o, imei, name); };
  TellReportEvents(o, report);
  ProvisionWords told(o, report);
  ProvisionLoop loop(file.profile, file.path, options, report, told);
  const LoopResult result = RunLoop(loop, o);
  switch (result.end) {
    case LoopEnd::Refused:
      if (!result.roster.ok()) {
        Fail(DescribeRoster(result.roster));
      } else {
        Fail(result.error.message.empty() ? Refusal(file.path, result.refused) : Describe(result.error));
      }
      return kBadValue;
    case LoopEnd::ReportFailed: return kBadValue;  // told as the row failed
    case LoopEnd::Counted:
    case LoopEnd::Stopped: break;
  }
  const LoopCounts& n = result.counts;
  Say(o, std::to_string(n.setUp) + (n.setUp == 1 ? " tracker" : " trackers") + " set up, " +
             std::to_string(n.failed) + " failed" +
             (n.again ? ", " + std::to_string(n.again) + " plugged in again" : std::string()) +
             (n.notInRoster ? ", " + std::to_string(n.notInRoster) + " not in the roster" : std::string()) +
             "; the report is " + report.Path());
  if (!result.neverPluggedIn.empty()) {
    std::string rows;
    for (int r : result.neverPluggedIn)
      for (const RosterRow& row : file.roster->rows)
        if (row.row == r) rows += (rows.empty() ? "" : ", ") + std::to_string(r) + " (" + row.imei + ")";
    Say(o, "Never plugged in: roster " + std::string(result.neverPluggedIn.size() == 1 ? "row " : "rows ") + rows);
  }
  if (told.StoppedOne()) return kInterrupted;
  return n.failed || n.notInRoster ? int{kNotVerified} : int{kOk};
}

int CmdBackupEach(Options& o, const std::vector<std::string>& words, const ProfileArgs& args) {
  if (words.size() != 1 || args.report.empty()) {
    Fail("usage: backup --each FOLDER --report REPORT.csv [--count N]");
    return kUsage;
  }
  if (const files::Kind kind = files::KindOf(args.each);
      kind != files::Kind::Missing && kind != files::Kind::Directory) {
    Fail("Cannot save backups in " + args.each + ": it is not a folder");
    return kBadValue;
  }
  ProvisionReport report;
  if (int rc = OpenReport(args.report, report); rc != kOk) return rc;
  TellReportEvents(o, report);
  ProvisionWords told(o, report);
  ProvisionLoop loop(EachBackup{args.each}, LoopOptions(o, args), report, told);
  const LoopResult result = RunLoop(loop, o);
  if (result.end == LoopEnd::ReportFailed) return kBadValue;
  const LoopCounts& n = result.counts;
  Say(o, std::to_string(n.setUp) + (n.setUp == 1 ? " tracker" : " trackers") + " saved in " + args.each + ", " +
             std::to_string(n.failed) + " failed" +
             (n.again ? ", " + std::to_string(n.again) + " plugged in again" : std::string()) + "; the report is " +
             report.Path());
  if (told.StoppedOne()) return kInterrupted;
  return n.failed ? int{kNotVerified} : int{kOk};
}

int CmdRoster(Options& o, const std::vector<std::string>& words) {
  if (words.size() != 2 && words.size() != 3) {
    Fail("usage: roster FOLDER [OUT.csv]");
    return kUsage;
  }
  // The SIM PIN is a secret: it goes only into a file this program makes private, never to stdout.
  const bool toFile = words.size() == 3;
  if (toFile)
    if (int rc = CheckTarget(words[2]); rc != kOk) return rc;
  auto made = RosterFromBackups(words[1], StoredNames(), toFile);
  if (!made) {
    Fail(Describe(made.failure()));
    return kBadValue;
  }
  for (const SkippedFile& f : made->skipped) Say(o, "Note: " + f.path + " is left out: " + Describe(f.why));
  if (made->trackers == 0) {
    Fail("No backup of a tracker in " + words[1] + " (zd573 backup --each " + words[1] + " saves them)");
    return kBadValue;
  }
  if (!toFile) {
    for (const std::string& k : made->left)
      Say(o, "Note: " + FieldLabel(k) + " is a secret and is not written to stdout; zd573 roster " + words[1] +
                 " OUT.csv keeps it in a file readable by its owner alone");
    std::cout << made->text << std::flush;
    return kOk;
  }
  logger::ReplacingFile out;
  if (!out.Open(words[2], !made->secrets.empty()) || !out.Write(made->text.data(), made->text.size()) ||
      !out.Commit()) {
    Fail("Cannot write " + words[2] + ": " + out.Reason());
    return kBadValue;
  }
  Say(o, "Saved a roster of " + std::to_string(made->trackers) + (made->trackers == 1 ? " tracker" : " trackers") +
             " to " + words[2] +
             (made->secrets.empty() ? std::string() : " (it holds the SIM PIN: readable by its owner alone)"));
  return kOk;
}

}  // namespace zd573::cli
