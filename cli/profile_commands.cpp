#include "profile_commands.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <iostream>
#include <map>
#include <thread>

#include "common/files.h"
#include "console.h"
#include "device/page_values.h"
#include "device/port_finder.h"
#include "device/profile.h"
#include "device/profile_writer.h"
#include "device/user_values.h"
#include "logger/replacing_file.h"

namespace zd573::cli {
namespace {

const char kEmptyPassword[] =
    "An empty password lets anyone who plugs the tracker in read and change its settings and download its "
    "log; --yes sets it";

std::string Join(const std::vector<std::string>& items, const char* separator = ", ") {
  std::string out;
  for (const auto& s : items) out += (out.empty() ? "" : separator) + s;
  return out;
}

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
  return "\"" + ToUtf8(o, deviceBytes) + "\"";
}

// Writes the pages whole with `edited`'s values on the session's port, the
// one the tracker was identified on and that has stayed open since (ApplyPage
// would open the port by name again, and find whatever tracker is there now),
// then reads their keys back unless `readLimit` is zero. A failure is told
// here; `rc` is the exit code.
ProfileWriteResult WritePages(Options& o, DeviceSession& session, const std::vector<Page>& pages,
                              const DeviceValues& edited, std::chrono::milliseconds readLimit, int& rc) {
  ProfileWriteResult r = WriteProfilePages(*session.HeldPort(), session.Settings(), edited, pages, o.write, readLimit,
                                           [&](Page page) {
                                             Say(o, "Writing the " + std::string(PageName(page)) + " settings...");
                                           });
  rc = kOk;
  if (r.status) return r;
  Error e = r.status.failure();
  rc = ExitCodeFor(e.code);
  if (r.written.size() == pages.size()) {
    Fail(Describe(e));  // the read-back
    return r;
  }
  if (e.kind == MessageKind::WriteFailedAfter && e.code == ErrorCode::Disconnected)
    e.detail += "; the tracker identified on " + PortPath(session.Port()) +
                " went away, and nothing more is sent to whatever is there now";
  std::vector<std::string> written;
  for (Page page : r.written) written.emplace_back(PageName(page));
  const std::string advice(PortAdvice(e.code));
  Fail(Describe(e) + (written.empty() ? "" : "; written before: " + Join(written)) +
       (advice.empty() ? "" : "\n" + advice));
  return r;
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
  int rc = kOk;
  WritePages(o, session, pages, edited, std::chrono::milliseconds(0), rc);
  return rc;
}

// A settings file read and checked, before any tracker is asked.
struct LoadedFile {
  std::string path;
  Profile profile;
  PreparedProfile values;
};

// Reads FILE and checks every value. A restore needs every value a page sends;
// the password is left out unless asked for, and an empty one needs --yes.
int LoadFile(const Options& o, const ProfileArgs& args, const std::string& path, bool everyKey, LoadedFile& out) {
  auto profile = ReadProfile(path);
  if (!profile) {
    Fail(profile.error());
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
  auto& lines = out.profile.values;
  if (!args.withPassword && out.profile.Find("OU")) {
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](const ProfileLine& l) { return l.key == "OU"; }),
                lines.end());
    Say(o, "Note: the password in " + path + " is not sent (--with-password sends it)");
  }
  std::vector<std::string> notes;
  auto prepared = PrepareProfile(out.profile, ValueRules{o.codePage, true, true}, path, &notes);
  if (!prepared) {
    Fail(prepared.error());
    return kBadValue;
  }
  for (const auto& n : notes) Say(o, "Note: " + n);
  out.values = std::move(*prepared);
  if (SetsEmptyPassword(out.values) && !o.yes) {
    Fail(path + " sets an empty password. " + kEmptyPassword);
    return kUsage;
  }
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

struct Applied {
  int rc = kOk;
  int pagesWritten = 0;
  std::string message;  // what happened, for the person and the report
};

// The logger page sends the interval only while logging is on: say so rather
// than let a file's O2 pass unnoticed.
void NoteUnsent(const Options& o, const LoadedFile& file, const DeviceValues& target) {
  if (target.Number("OX") == 0 && file.profile.Find("O2"))
    Say(o, "Note: " + file.path + " gives O2, which is sent to the tracker only while logging is on (OX=1)");
}

// Compares the file with what the session read, writes only the pages that
// differ, then reads their keys back and compares them with what was sent.
Applied WriteDifferences(Options& o, DeviceSession& session, const LoadedFile& file) {
  Applied out;
  auto plan = PlanProfile(session.Settings().Snapshot(), file.values);
  if (!plan) {
    out.rc = kBadValue;
    out.message = Describe(plan.failure());
    Fail(out.message);
    return out;
  }
  NoteUnsent(o, file, plan->target);
  if (plan->Empty()) {
    out.message = "The tracker already holds every value of " + file.path + "; nothing was sent";
    Say(o, out.message);
    return out;
  }
  const std::vector<Page> pages = plan->Pages();
  int rc = kOk;
  const ProfileWriteResult written = WritePages(o, session, pages, plan->target, o.readTimeout, rc);
  if (written.written.size() < pages.size()) {
    out.rc = rc;
    out.message = LastFailure();
    return out;
  }
  out.pagesWritten = static_cast<int>(pages.size());
  if (rc != kOk) {
    out.rc = rc;
    out.message = "written, but the read-back failed: " + LastFailure();
    return out;
  }
  std::vector<std::string> untaken;
  for (const std::string& k : written.untaken)
    untaken.push_back(FieldLabel(k) + ": sent " + Shown(o, k, plan->target.Format(k)) + ", it holds " +
                      Shown(o, k, written.readBack.Format(k)));
  const std::string n = std::to_string(pages.size()) + (pages.size() == 1 ? " page" : " pages") + " written";
  if (!untaken.empty()) {
    out.rc = kNotVerified;
    out.message = n + "; the tracker did not take " + Join(untaken, "; ");
    Fail(out.message);
    return out;
  }
  out.message = n + ", verified";
  Say(o, out.message);
  return out;
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
  if (int rc = session.ConnectFor(KeysOfPages(PagesOf(file.values))); rc != kOk) return rc;
  if (int rc = CheckTracker(o, args, file, session); rc != kOk) return rc;
  return WriteDifferences(o, session, file).rc;
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

// Whether a port is there: listed as the tracker's when searched for, else
// listed at all or its device node present (a port given by path).
bool PortPresent(const std::string& port, bool searched) {
  for (const SerialPortInfo& p : ListSerialPorts())
    if (p.name == port && (p.matches || !searched)) return true;
  return !searched && files::KindOf(PortPath(port)) != files::Kind::Missing;
}

// Waits for a tracker's port: the one given, or the first the search finds.
bool WaitForTracker(const Options& given, std::string& port) {
  for (;;) {
    if (InterruptGuard::Interrupted()) return false;
    if (!given.port.empty()) {
      if (PortPresent(given.port, false)) {
        port = given.port;
        return true;
      }
    } else if (FindDevicePort(port)) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
}

// Waits until the tracker that was set up is gone: its port hung up, or no
// longer there. Another tracker on the same port name is a new port, so the
// one just done is never taken for the next.
void WaitUntilGone(DeviceSession& session, bool searched) {
  std::uint8_t buffer[64];
  // The tracker keeps talking: the port list is looked at a few times a
  // second, not after every read.
  auto nextLook = std::chrono::steady_clock::now();
  while (!InterruptGuard::Interrupted()) {
    DevicePort* held = session.HeldPort();
    if (held && held->IsOpen()) {
      if (held->Read(buffer, sizeof buffer) < 0) return;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const auto now = std::chrono::steady_clock::now();
    if (now < nextLook) continue;
    nextLook = now + std::chrono::milliseconds(250);
    if (!PortPresent(session.Port(), searched)) return;
  }
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
  if (words.size() != 2) {
    Fail("password needs the NEW password");
    return kUsage;
  }
  PreparedProfile changes;
  if (int rc = PrepareAssignments(o, {{"OU", words[1]}}, changes, "new password: "); rc != kOk) return rc;
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
  if (int rc = session.ConnectFor(KeysOfPages(PagesOf(file.values))); rc != kOk) return rc;
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

int CmdProvision(Options& o, const std::vector<std::string>& words, const ProfileArgs& args) {
  if (words.size() != 2 || args.report.empty()) {
    Fail("usage: provision FILE --report REPORT.csv [--count N]");
    return kUsage;
  }
  LoadedFile file;
  if (int rc = LoadFile(o, args, words[1], false, file); rc != kOk) return rc;
  if (int rc = CheckTarget(args.report); rc != kOk) return rc;
  ProvisionReport report;
  if (Status s = report.Open(args.report); !s) {
    Fail(Describe(s.failure()));
    return kBadValue;
  }
  InterruptGuard guard;
  const bool searched = o.port.empty();
  long done = 0, failed = 0;
  while (args.count == 0 || done < args.count) {
    Say(o, "Waiting for a tracker (Ctrl+C ends)...");
    std::string port;
    if (!WaitForTracker(o, port)) break;
    Options one = o;
    one.port = port;
    DeviceSession session(one);
    Applied result;
    result.rc = session.ConnectFor(KeysOfPages(PagesOf(file.values)));
    if (result.rc == kOk) result.rc = CheckTracker(one, args, file, session);
    if (result.rc == kOk) {
      result = WriteDifferences(one, session, file);
    } else {
      result.message = LastFailure();
    }
    const std::string imei = ToUtf8(one, session.Settings().Text("B2"));
    const bool ok = result.rc == kOk;
    failed += !ok;
    const Status reported =
        report.Append({imei, session.UserName(), result.pagesWritten, ok, result.message}, std::time(nullptr));
    ++done;
    Say(o, std::string(ok ? "Done" : "FAILED") + ": tracker " + (imei.empty() ? "(no IMEI)" : imei) + " on " +
               PortPath(port) + ": " + result.message);
    if (!reported) {
      // Setting up more trackers would leave them out of the report too.
      Fail(Describe(reported.failure()));
      return kBadValue;
    }
    if (args.count != 0 && done >= args.count) break;
    Say(o, "Unplug it and plug in the next tracker.");
    WaitUntilGone(session, searched);
  }
  Say(o, std::to_string(done) + (done == 1 ? " tracker" : " trackers") + " done, " + std::to_string(failed) +
             " failed; the report is " + args.report);
  return failed ? int{kNotVerified} : int{kOk};
}

}  // namespace zd573::cli
