#include "device/provision_loop.h"

#include <algorithm>
#include <ctime>

#include "common/printable.h"
#include "device/device_job.h"
#include "device/port_finder.h"
#include "device/write_backup.h"
#include "settings/text_encoding.h"

namespace zd573 {
namespace {

std::string PagesWritten(std::size_t n) { return std::to_string(n) + (n == 1 ? " page" : " pages") + " written"; }

std::string PageList(const std::vector<Page>& pages) {
  std::string out;
  for (Page page : pages) out += (out.empty() ? "" : ", ") + std::string(PageName(page));
  return out;
}

// Adds a clause to a reason: after a sentence that ends in a full stop as a
// sentence of its own, else after a semicolon.
void Add(std::string& reason, const std::string& clause) {
  if (clause.empty()) return;
  if (reason.empty()) {
    reason = clause;
  } else if (reason.back() == '.') {
    reason += " " + clause;
    if (const char c = reason[reason.size() - clause.size()]; c >= 'a' && c <= 'z')
      reason[reason.size() - clause.size()] = static_cast<char>(c - 'a' + 'A');
  } else {
    reason += "; " + clause;
  }
}

// A value as a reason shows it: a secret only says whether it is set.
std::string Shown(const TrackerOutcome& o, const std::string& key, const std::string& bytes) {
  if (IsSecretKey(key)) return bytes.empty() ? "(empty)" : "(hidden)";
  return "\"" + Printable(settings::DecodeDeviceText(bytes, o.codePage)) + "\"";
}

// What a stop left on the tracker, page by page: "stopped after page 1 of 2;
// written whole: device information; not written: GPRS", with a page cut
// short (a second stop) by its sentences sent.
std::string StoppedReason(const TrackerOutcome& o) {
  std::string reason;
  if (o.planned.empty()) {
    reason = "Stopped before it was finished";
    if (!o.written.empty()) Add(reason, "written before: " + PageList(o.written));
    return reason;
  }
  const std::size_t whole = std::min(o.written.size(), o.planned.size());
  const std::string of = " of " + std::to_string(o.planned.size());
  reason = whole == 0 ? "stopped before page 1" + of : "stopped after page " + std::to_string(whole) + of;
  if (whole > 0) Add(reason, "written whole: " + PageList(o.written));
  std::vector<Page> rest(o.planned.begin() + static_cast<std::ptrdiff_t>(whole), o.planned.end());
  if (o.cutSent > 0 && !rest.empty()) {
    Add(reason, "cut short: the " + std::string(PageName(rest.front())) + " page, its first " +
                    std::to_string(o.cutSent) + " of " + std::to_string(o.cutOf) + " sentences sent");
    rest.erase(rest.begin());
  }
  Add(reason, rest.empty() ? std::string("not read back") : "not written: " + PageList(rest));
  return reason;
}

std::string Reason(const TrackerOutcome& o) {
  std::string reason;
  switch (o.result) {
    case TrackerResult::SetUp: return PagesWritten(o.written.size()) + ", verified";
    case TrackerResult::Saved:
      return "Saved in " + o.backup + (o.kept.empty() ? "" : "; the one before is kept as " + o.kept);
    case TrackerResult::AlreadyHeld: return "The tracker already holds every value of " + o.file + "; nothing was sent";
    case TrackerResult::AlreadyDone:
      if (o.job == LoopJob::BackUp) return "Already saved in this run; it was not read again";
      return "Already set up in this run; nothing was sent again";
    case TrackerResult::NotInRoster: return "not in the roster";
    case TrackerResult::PasswordNeeded: return "The tracker has a password, and none was given";
    case TrackerResult::WrongPassword: return "Password Error";
    case TrackerResult::Unplugged:
      return o.job == LoopJob::BackUp ? "Unplugged before it was saved" : "Unplugged before it was set up";
    case TrackerResult::PortUnusable:
    case TrackerResult::NotIdentified:
    case TrackerResult::ReadFailed:
    case TrackerResult::BadValue:
    case TrackerResult::SaveFailed: return Describe(o.error);
    case TrackerResult::TemplateRefused: return Describe(o.error) + "; nothing was sent";
    case TrackerResult::WriteFailed:
      reason = Describe(o.error);
      if (o.error.code == ErrorCode::Disconnected)
        Add(reason, "the tracker identified on " + PortPath(o.port) +
                        " went away, and nothing more is sent to whatever is there now");
      if (!o.written.empty()) Add(reason, "written before: " + PageList(o.written));
      return reason;
    case TrackerResult::ReadBackFailed: return "written, but the read-back failed: " + Describe(o.error);
    case TrackerResult::NotTaken: {
      std::string untaken;
      for (const UntakenValue& v : o.untaken)
        untaken += (untaken.empty() ? "" : "; ") + FieldLabel(v.key) + ": sent " + Shown(o, v.key, v.sent) +
                   ", it holds " + Shown(o, v.key, v.held);
      return PagesWritten(o.written.size()) + "; the tracker did not take " + untaken;
    }
    case TrackerResult::Stopped: return StoppedReason(o);
  }
  return reason;
}

// The tracker the session identified, for an outcome.
TrackerOutcome OutcomeOf(const HeldSession& session, const std::string& file) {
  TrackerOutcome o;
  o.file = file;
  o.port = session.Port();
  o.codePage = session.Settings().CodePage();
  o.imei = settings::DecodeDeviceText(session.Imei(), o.codePage);
  o.name = session.UserName();
  return o;
}

TrackerResult ResultOf(HeldFault fault) {
  switch (fault) {
    case HeldFault::NoTracker:
    case HeldFault::PortUnusable: return TrackerResult::PortUnusable;
    case HeldFault::NotIdentified:
    case HeldFault::Unreadable: return TrackerResult::NotIdentified;
    case HeldFault::PasswordNeeded: return TrackerResult::PasswordNeeded;
    case HeldFault::WrongPassword: return TrackerResult::WrongPassword;
    case HeldFault::Lost: return TrackerResult::Unplugged;
    case HeldFault::Stopped: return TrackerResult::Stopped;
    case HeldFault::None:
    case HeldFault::ReadFailed:
    case HeldFault::ReadIncomplete:
    case HeldFault::NotReady: break;
  }
  return TrackerResult::ReadFailed;
}

TrackerOutcome& Failed(TrackerOutcome& o, const HeldStatus& status) {
  o.result = ResultOf(status.fault);
  o.error = status.error;
  return o;
}

}  // namespace

bool TrackerOutcome::Ok() const {
  return result == TrackerResult::SetUp || result == TrackerResult::Saved || result == TrackerResult::AlreadyHeld ||
         result == TrackerResult::AlreadyDone;
}

ProvisionRow ReportRowOf(const TrackerOutcome& outcome) {
  ProvisionRow row;
  row.imei = outcome.imei;
  row.name = outcome.name;
  row.pagesWritten = static_cast<int>(outcome.written.size());
  row.ok = outcome.Ok();
  row.skipped = outcome.result == TrackerResult::AlreadyDone || outcome.result == TrackerResult::NotInRoster;
  row.rosterRow = outcome.rosterRow;
  row.reason = Reason(outcome);
  if (!outcome.backup.empty() && (!outcome.written.empty() || outcome.cutSent > 0))
    Add(row.reason, "the values it held before are saved in " + outcome.backup);
  return row;
}

TrackerOutcome ApplyProfile(HeldSession& session, const PreparedProfile& values, const std::string& file,
                            const ApplyHooks& hooks) {
  TrackerOutcome out = OutcomeOf(session, file);
  auto plan = PlanProfile(session.Settings().Snapshot(), values);
  if (!plan) {
    out.result = TrackerResult::BadValue;
    out.error = plan.failure();
    return out;
  }
  out.planned = plan->Pages();
  if (plan->Empty()) {
    out.result = TrackerResult::AlreadyHeld;
    return out;
  }
  if (hooks.backUpFirst) {
    auto saved = SaveWriteBackup(session.Settings().Snapshot(), KeysOfPages(out.planned), out.codePage);
    if (!saved) {
      out.result = TrackerResult::WriteFailed;
      out.error = saved.failure();
      out.error.message += "; nothing was sent";
      return out;
    }
    out.backup = *saved;
  }
  WriteOptions write;
  write.pause = hooks.pause;
  write.progress = hooks.progress;
  write.stop = hooks.stop;
  write.pageStop = hooks.pageStop;
  const ProfileWriteResult r = session.WritePages(plan->target, out.planned, write, hooks.readLimit, hooks.starting);
  TakeWriteResult(out, r, plan->target);
  return out;
}

void TakeWriteResult(TrackerOutcome& out, const ProfileWriteResult& r, const DeviceValues& sent) {
  out.written = r.written;
  out.cutSent = r.cutSent;
  out.cutOf = r.cutOf;
  if (!r.status) {
    out.error = r.status.failure();
    if (r.status.code() == ErrorCode::Stopped) {
      out.result = TrackerResult::Stopped;
    } else if (r.written.size() == out.planned.size()) {
      out.result = TrackerResult::ReadBackFailed;
    } else if (r.status.code() == ErrorCode::BadValue && r.written.empty()) {
      out.result = TrackerResult::BadValue;  // found before anything was sent
    } else {
      out.result = TrackerResult::WriteFailed;
    }
    return;
  }
  out.untaken.clear();
  for (const std::string& k : r.untaken) out.untaken.push_back({k, sent.Format(k), r.readBack.Format(k)});
  out.result = out.untaken.empty() ? TrackerResult::SetUp : TrackerResult::NotTaken;
}

// Wakes a wait for a tracker when a port comes or goes.
struct ProvisionLoop::Wake {
  std::mutex mutex;
  std::condition_variable_any cv;
  bool changed = false;

  void Notify() {
    {
      std::lock_guard lock(mutex);
      changed = true;
    }
    cv.notify_all();
  }
  void Wait(std::chrono::milliseconds limit, const std::stop_token& stop) {
    std::unique_lock lock(mutex);
    cv.wait_for(lock, stop, limit, [this] { return changed; });
    changed = false;
  }
};

ProvisionLoop::ProvisionLoop(Profile profile, std::string file, ProvisionOptions options, ProvisionReport& report,
                             ProvisionListener& listener)
    : profile_(std::move(profile)),
      file_(std::move(file)),
      options_(std::move(options)),
      report_(report),
      listener_(listener),
      wake_(std::make_unique<Wake>()) {}

ProvisionLoop::ProvisionLoop(EachBackup each, ProvisionOptions options, ProvisionReport& report,
                             ProvisionListener& listener)
    : ProvisionLoop(Profile{}, std::move(each.folder), std::move(options), report, listener) {
  job_ = LoopJob::BackUp;
  options_.roster.reset();
}

ProvisionLoop::~ProvisionLoop() = default;

void ProvisionLoop::DeviceChanged() { wake_->Notify(); }

std::set<std::string> ProvisionLoop::Done() const {
  std::lock_guard lock(doneMutex_);
  return done_;
}

std::vector<int> ProvisionLoop::RowsWaiting() const {
  std::vector<int> rows;
  if (!options_.roster) return rows;
  std::lock_guard lock(doneMutex_);
  for (const RosterRow& r : options_.roster->rows)
    if (!done_.count(r.imei)) rows.push_back(r.row);
  return rows;
}

bool ProvisionLoop::Counted() const {
  std::lock_guard lock(doneMutex_);
  if (options_.count > 0 && counts_.setUp >= options_.count) return true;
  if (!options_.roster) return false;
  const auto& rows = options_.roster->rows;
  return std::all_of(rows.begin(), rows.end(), [this](const RosterRow& r) { return done_.count(r.imei) > 0; });
}

Expected<PreparedProfile> ProvisionLoop::Prepare(int codePage) const {
  return PrepareProfileTemplates(profile_, ValueRules{codePage, true, true}, file_);
}

HeldOptions ProvisionLoop::SessionOptions(const std::string& port) const {
  HeldOptions o;
  o.port = port;
  o.codePage = options_.codePage;
  o.identifyLimit = options_.identifyLimit;
  o.readLimit = options_.readLimit;
  o.portMatchPause = options_.portMatchPause;
  o.busyPatience = options_.busyPatience;
  o.busyRetry = options_.busyRetry;
  o.userName = options_.userName;
  o.portBusy = [this, port] { listener_.PortBusy(port); };
  return o;
}

bool ProvisionLoop::WaitForTracker(const std::stop_token& stop, std::string& port) {
  while (!stop.stop_requested()) {
    if (!options_.port.empty()) {
      if (PortPresent(options_.port, false)) {
        port = options_.port;
        return true;
      }
    } else {
      FindOptions find;
      find.matchPause = options_.portMatchPause;
      find.stop = stop;
      if (FindDevicePort(port, find)) return true;
    }
    wake_->Wait(options_.look, stop);
  }
  return false;
}

TrackerOutcome ProvisionLoop::SetUpOne(const std::string& port, const std::stop_token& stop,
                                       const std::stop_token& finish, const std::stop_token& now,
                                       HeldSession& session) {
  TrackerOutcome t;
  t.file = file_;
  t.port = port;
  t.codePage = options_.codePage;
  t.job = job_;
  listener_.Stage(LoopStage::Opening, t);
  if (HeldStatus s = session.Identify(stop); !s) return Failed(t, s);
  if (options_.codePageOf) session.SetCodePage(options_.codePageOf(session.Imei()));
  t = OutcomeOf(session, file_);
  t.job = job_;
  {
    std::lock_guard lock(doneMutex_);
    seen_.insert(t.imei);
    if (done_.count(t.imei)) {
      t.result = TrackerResult::AlreadyDone;
      return t;
    }
  }
  const RosterRow* row = options_.roster ? options_.roster->Find(t.imei) : nullptr;
  if (options_.roster) {
    if (!row) {
      t.result = TrackerResult::NotInRoster;
      return t;
    }
    t.rosterRow = row->row;
    if (!row->name.empty()) t.name = row->name;
  }
  // A tracker without a password of its own opens as the window's login
  // does: nothing is typed for it.
  std::optional<std::string> typed = session.HasPassword() ? options_.password : std::string();
  if (!typed) typed = listener_.Password(t);
  if (!typed) {
    t.result = stop.stop_requested() ? TrackerResult::Stopped : TrackerResult::PasswordNeeded;
    return t;
  }
  if (HeldStatus s = session.LogIn(*typed); !s) return Failed(t, s);
  if (job_ == LoopJob::BackUp) return SaveOne(session, stop, std::move(t));
  bool byTemplate = false;
  auto values = ValuesFor(profile_, file_, row, options_.roster ? options_.roster->file : std::string(),
                          TrackerTexts{t.imei, t.name}, ValueRules{t.codePage, true, true}, &byTemplate);
  if (!values) {
    t.result = byTemplate ? TrackerResult::TemplateRefused : TrackerResult::BadValue;
    t.error = values.failure();
    return t;
  }
  if (!options_.withPassword) LeaveOutPassword(*values);
  listener_.Stage(LoopStage::Reading, t);
  if (HeldStatus s = session.ReadKeys(KeysOfPages(PagesOf(*values)), stop); !s) return Failed(t, s);
  listener_.Stage(LoopStage::Writing, t);
  ApplyHooks hooks;
  hooks.pause = options_.pause;
  hooks.readLimit = options_.readLimit;
  hooks.stop = now;
  hooks.pageStop = finish;
  hooks.starting = [this](Page page) { listener_.Starting(page); };
  hooks.progress = [this, &t](int written, int total) {
    listener_.Progress(written, total);
    if (written == total) listener_.Stage(LoopStage::Checking, t);
  };
  TrackerOutcome done = ApplyProfile(session, *values, file_, hooks);
  done.rosterRow = t.rosterRow;
  done.name = t.name;
  if (row && !row->name.empty() && done.Ok() && options_.keepName) options_.keepName(done.imei, row->name);
  return done;
}

TrackerOutcome ProvisionLoop::SaveOne(HeldSession& session, const std::stop_token& stop, TrackerOutcome t) {
  listener_.Stage(LoopStage::Reading, t);
  if (HeldStatus s = session.ReadAll(stop); !s) return Failed(t, s);
  listener_.Stage(LoopStage::Saving, t);
  auto saved = SaveTrackerBackup(file_, session.Settings().Snapshot(), t.codePage);
  if (!saved) {
    t.result = TrackerResult::SaveFailed;
    t.error = saved.failure();
    return t;
  }
  t.result = TrackerResult::Saved;
  t.backup = saved->path;
  t.kept = saved->kept;
  return t;
}

Status ProvisionLoop::Report(const TrackerOutcome& outcome) {
  {
    std::lock_guard lock(doneMutex_);
    if (outcome.result == TrackerResult::AlreadyDone) {
      ++counts_.again;
    } else if (outcome.result == TrackerResult::NotInRoster) {
      ++counts_.notInRoster;
    } else if (outcome.Ok()) {
      done_.insert(outcome.imei);
      failed_.erase(outcome.imei);
      ++counts_.setUp;
    } else if (outcome.imei.empty()) {
      ++unidentifiedFailures_;
    } else {
      failed_.insert(outcome.imei);
    }
    counts_.failed = static_cast<int>(failed_.size()) + unidentifiedFailures_;
  }
  const Status reported = report_.Append(ReportRowOf(outcome), std::time(nullptr));
  if (reported) ++counts_.rows;
  listener_.Done(outcome, counts_, reported);
  return reported;
}

LoopResult ProvisionLoop::Run(std::stop_token stop) { return Run(stop, stop); }

LoopResult ProvisionLoop::Run(std::stop_token finish, std::stop_token now) {
  // Every wait ends on either; only a page being written tells them apart.
  const EitherStop either(finish, now);
  const std::stop_token stop = either.Token();
  LoopResult out;
  // Checked before any tracker is touched: shared values only, each one
  // sendable, and a roster's columns none of the file's.
  if (job_ == LoopJob::SetUp) out.refused = CheckSharedProfile(profile_, options_.withPassword);
  if (!out.refused) {
    out.end = LoopEnd::Refused;
    return out;
  }
  if (options_.roster) out.roster = CheckRosterBeside(*options_.roster, profile_, file_);
  if (!out.roster.ok()) {
    out.end = LoopEnd::Refused;
    return out;
  }
  if (auto values = Prepare(options_.codePage); !values) {
    out.end = LoopEnd::Refused;
    out.error = values.failure();
    return out;
  }
  const bool searched = options_.port.empty();
  const auto counted = [this] { return Counted(); };
  out.end = LoopEnd::Stopped;
  while (!counted()) {
    listener_.Stage(LoopStage::Waiting, TrackerOutcome{});
    std::string port;
    if (!WaitForTracker(stop, port)) break;
    HeldSession session(SessionOptions(port));
    const TrackerOutcome outcome = SetUpOne(port, stop, finish, now, session);
    const bool stopped = outcome.result == TrackerResult::Stopped;
    // A stop before the tracker said who it is leaves nothing to report.
    if (!stopped || !outcome.imei.empty()) {
      if (Status reported = Report(outcome); !reported) {
        out.end = LoopEnd::ReportFailed;
        out.error = reported.failure();
        break;
      }
    }
    if (stopped || stop.stop_requested()) break;
    if (counted()) break;
    listener_.Stage(LoopStage::Unplug, outcome);
    if (!session.WaitUntilGone(stop, searched)) break;
  }
  if (counted() && out.end == LoopEnd::Stopped) out.end = LoopEnd::Counted;
  out.counts = counts_;
  if (options_.roster) {
    std::lock_guard lock(doneMutex_);
    for (const RosterRow& r : options_.roster->rows)
      if (!seen_.count(r.imei)) out.neverPluggedIn.push_back(r.row);
  }
  return out;
}

}  // namespace zd573
