// zd573: the tracker utility's command line. A thin layer over the core.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/files.h"
#include "console.h"
#include "device/port_finder.h"
#include "device/sentences.h"
#include "device/user_values.h"
#include "device_session.h"
#include "logger/replacing_file.h"
#include "log_commands.h"
#include "settings/ini_file.h"
#include "settings/paths.h"
#include "settings/text_encoding.h"

namespace zd573::cli {
namespace {

const char kHelp[] =
    "Usage: zd573 [options] COMMAND [arguments]\n"
    "\n"
    "Commands:\n"
    "  ports                    list USB serial devices; * marks the tracker\n"
    "  identify                 print the IMEI and the stored device name\n"
    "  read [--json]            log in and print all settings as KEY=value (or JSON)\n"
    "  set KEY=VALUE...         change settings; each page that carries a key is written whole\n"
    "  backup FILE              save all settings to an ini file\n"
    "  restore FILE             write the settings of a backup file to the tracker\n"
    "  password NEW             change the device password\n"
    "  melody play N | stop     play melody N on the tracker, or stop it\n"
    "  log download OUT [--format csv|kml|gpx] [--drop-no-fix] [--raw FILE] [--keep-partial]\n"
    "                           download the GPS log and export it (format from OUT's extension);\n"
    "                           the raw log goes to temp.log in the cache folder, and to FILE with --raw\n"
    "  log convert RAW OUT [--format csv|kml|gpx] [--drop-no-fix]\n"
    "                           export a downloaded raw log (temp.log) without a tracker\n"
    "  log erase [--yes]        erase the GPS log in the tracker\n"
    "\n"
    "Options:\n"
    "  --port PATH              use this serial port instead of searching for one\n"
    "  --password PW            the device password (asked for on a terminal when needed)\n"
    "  --timeout S              time limit in seconds for the identification and the read\n"
    "                           (default 30 for the identification, 120 for the full read)\n"
    "  --quiet                  no messages except errors\n"
    "  --force                  replace a read-only export or backup file\n"
    "  --raw FILE               log download: also keep the raw log in FILE\n"
    "  --keep-partial           log download: when the tracker stops before its count, export\n"
    "                           the records that arrived (exit code 4 all the same)\n"
    "  --help                   show this help and exit\n"
    "  --version                show the version and exit\n"
    "\n"
    "Exit codes: 0 ok, 1 usage, 2 no device or port, 3 wrong password, 4 time-out or no\n"
    "valid reply, 5 bad value or data, 6 a log exported without the records of damaged\n"
    "packets, 130 a download ended by Ctrl+C.\n";

struct Args {
  Options options;
  std::vector<std::string> words;
  LogArgs log;
};

// Returns an exit code when the command line is not usable, else -1.
int Parse(const std::vector<std::string>& argv, Args& a) {
  const std::size_t argc = argv.size();
  for (std::size_t i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasInline = false;
    if (arg.rfind("--", 0) == 0) {
      if (auto eq = arg.find('='); eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        hasInline = true;
      }
    }
    auto next = [&](std::string& out) {
      if (hasInline) {
        out = value;
        return true;
      }
      if (i + 1 >= argc) {
        Fail(arg + " needs a value");
        return false;
      }
      out = argv[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << kHelp;
      return kOk;
    } else if (arg == "--version") {
      std::cout << "zd573 " << ZD573_VERSION << "\n";
      return kOk;
    } else if (arg == "--port") {
      if (!next(a.options.port)) return kUsage;
    } else if (arg == "--password") {
      if (!next(a.options.password)) return kUsage;
      a.options.havePassword = true;
    } else if (arg == "--timeout") {
      std::string t;
      if (!next(t)) return kUsage;
      char* end = nullptr;
      long s = std::strtol(t.c_str(), &end, 10);
      if (t.empty() || *end || s <= 0 || s > 86400) {
        Fail("--timeout needs a number of seconds from 1 to 86400");
        return kUsage;
      }
      a.options.identifyTimeout = a.options.readTimeout = std::chrono::seconds(s);
    } else if (arg == "--quiet" || arg == "-q") {
      a.options.quiet = true;
    } else if (arg == "--json") {
      a.options.json = true;
    } else if (arg == "--yes" || arg == "-y") {
      a.options.yes = true;
    } else if (arg == "--format") {
      if (!next(a.log.format)) return kUsage;
    } else if (arg == "--raw") {
      if (!next(a.log.rawCopy)) return kUsage;
    } else if (arg == "--force") {
      a.options.force = true;
    } else if (arg == "--keep-partial") {
      a.log.keepPartial = true;
    } else if (arg == "--drop-no-fix") {
      a.log.dropNoFix = true;
    } else if (arg.rfind("--", 0) == 0) {
      Fail("unknown option " + arg + " (see --help)");
      return kUsage;
    } else {
      a.words.push_back(arg);
    }
  }
  return -1;
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

int CmdPorts(const Options&) {
  auto ports = ListSerialPorts();
  if (ports.empty()) {
    std::cerr << "No USB serial devices.\n";
    return kNoDevice;
  }
  for (const auto& p : ports) std::cout << (p.matches ? "* " : "  ") << p.friendlyName << "\t" << p.path << "\n";
  return kOk;
}

int CmdIdentify(Options& o) {
  DeviceSession session(o);
  if (int rc = session.Identify(); rc != kOk) return rc;
  std::cout << "IMEI: " << ToUtf8(o, session.Settings().Text("B2")) << "\n";
  std::cout << "Name: " << session.UserName() << "\n";
  return kOk;
}

void PrintValues(const Options& o, const DeviceValues& v) {
  if (o.json) {
    std::cout << "{";
    bool first = true;
    for (const auto& k : AllKeys()) {
      std::cout << (first ? "\n  " : ",\n  ") << JsonString(std::string(k.key)) << ": ";
      if (k.kind == FieldKind::Text) {
        std::cout << JsonString(ToUtf8(o, v.Text(k.key)));
      } else {
        std::cout << v.Number(k.key);
      }
      first = false;
    }
    std::cout << "\n}\n";
    return;
  }
  for (const auto& k : AllKeys()) std::cout << k.key << "=" << ToUtf8(o, v.Format(k.key)) << "\n";
}

int CmdRead(Options& o) {
  DeviceSession session(o);
  if (int rc = session.Connect(); rc != kOk) return rc;
  PrintValues(o, session.Settings().Snapshot());
  return kOk;
}

// KEY=value typed by a person, prepared as the pages prepare what is typed
// into them. Everything is checked before the tracker is touched.
int PrepareAssignments(const Options& o, const std::vector<std::pair<std::string, std::string>>& pairs,
                       std::map<std::string, PreparedValue>& prepared, const std::string& origin,
                       bool anyDateFormat = false) {
  // Unlike a page's interval box, the command line takes only whole numbers: "O2=abc" is a mistake, not 1.
  const ValueRules rules{o.codePage, anyDateFormat, true};
  for (const auto& [key, value] : pairs) {
    auto p = PrepareValue(key, value, rules);
    if (!p) {
      Fail(origin + p.error());
      return kBadValue;
    }
    if (!p->note.empty()) Say(o, "Note: " + p->note);
    prepared[key] = std::move(*p);
  }
  return kOk;
}

// Writes one page's sentences on the session's port, the one the tracker was
// identified on and that has stayed open since; ApplyPage would open the port
// by name again, and find whatever tracker is there now.
Status WritePage(Options& o, DeviceSession& session, Page page, const DeviceValues& edited) {
  ApplyResult applied = ApplyPageOn(*session.HeldPort(), page, session.Settings(), edited, o.write);
  if (applied.status) return {};
  Error e = applied.status.failure();
  if (e.kind == MessageKind::WriteFailedAfter && e.code == ErrorCode::Disconnected)
    e.detail += "; the tracker identified on " + PortPath(session.Port()) +
                " went away, and nothing more is sent to whatever is there now";
  return e;
}

// Writes every page that carries one of the keys, whole, with the other values as read.
int WritePages(Options& o, DeviceSession& session, const std::map<std::string, PreparedValue>& changes,
               bool allPages) {
  DeviceValues edited = session.Settings().Snapshot();
  for (const auto& [key, value] : changes) StorePrepared(edited, key, value);
  // The logger page sends the interval only while logging is on; say so rather
  // than report a change that never reaches the tracker.
  if (!allPages && changes.count("O2") && edited.Number("OX") == 0) {
    Fail("O2 is sent to the tracker only while logging is on: add OX=1");
    return kBadValue;
  }
  std::vector<std::string> written;
  for (Page page : kAllPages) {
    bool carries = allPages;
    for (const auto& change : changes) carries |= PageSends(page, change.first);
    if (!carries) continue;
    Say(o, "Writing the " + std::string(PageName(page)) + " settings...");
    if (Status s = WritePage(o, session, page, edited); !s) {
      std::string done;
      for (const auto& w : written) done += (done.empty() ? "" : ", ") + w;
      std::string advice(PortAdvice(s.code()));
      Fail(Describe(s.failure()) + (done.empty() ? "" : "; written before: " + done) +
           (advice.empty() ? "" : "\n" + advice));
      return ExitCodeFor(s.code());
    }
    written.emplace_back(PageName(page));
  }
  return kOk;
}

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
  std::map<std::string, PreparedValue> changes;
  if (int rc = PrepareAssignments(o, pairs, changes, ""); rc != kOk) return rc;
  DeviceSession session(o);
  if (int rc = session.Connect(); rc != kOk) return rc;
  return WritePages(o, session, changes, false);
}

// The backup file: an ini file with one section, [DEVICE], holding the IMEI and
// KEY=value for every value. Keys are case-sensitive here (Va is a contact name,
// VA its number), so the file is written and read by these two functions rather
// than the case-insensitive settings files' code.
constexpr char kBackupSection[] = "DEVICE";

std::string QuoteBackupValue(const std::string& v) {
  bool padded = !v.empty() && (v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t');
  bool quoted = v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
  return padded || quoted ? "\"" + v + "\"" : v;
}

std::string UnquoteBackupValue(std::string v) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!v.empty() && blank(v.back())) v.pop_back();
  std::size_t b = 0;
  while (b < v.size() && blank(v[b])) ++b;
  v.erase(0, b);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return v;
}

// A backup holds 85 short values: a few kilobytes. Anything much larger is
// not a backup (a pipe, /dev/zero) and is refused before memory runs out.
constexpr std::size_t kMaxBackupBytes = 64 * 1024;

// KEY -> value of the [DEVICE] section.
Expected<std::map<std::string, std::string>> ReadBackup(const std::string& path) {
  files::ReadResult file = files::ReadWholeFile(path, kMaxBackupBytes, true);
  if (file.problem == files::ReadProblem::NotRegular)
    return Error{path + " is not a backup: it is not a regular file", ErrorCode::File};
  if (file.problem == files::ReadProblem::TooLarge)
    return Error{path + " is not a backup: it is larger than " + std::to_string(kMaxBackupBytes / 1024) + " KiB",
                 ErrorCode::File};
  if (file.problem != files::ReadProblem::None) return Error{"Cannot read a backup from " + path, ErrorCode::File};
  const std::string content(file.bytes.begin(), file.bytes.end());
  std::map<std::string, std::string> values;
  std::istringstream lines(content);
  std::string line;
  bool inSection = false;
  while (std::getline(lines, line)) {
    if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    std::string t = UnquoteBackupValue(line);
    if (!t.empty() && t.front() == '[') {
      std::string name = t.substr(1, t.find(']') - 1);
      inSection = settings::SameIniName(name, kBackupSection);
      continue;
    }
    auto eq = line.find('=');
    if (!inSection || eq == std::string::npos || t.empty() || t.front() == ';' || t.front() == '#') continue;
    std::string key = UnquoteBackupValue(line.substr(0, eq));
    values.emplace(key, UnquoteBackupValue(line.substr(eq + 1)));
  }
  if (values.empty()) return Error{"Cannot read a backup from " + path, ErrorCode::File};
  return values;
}

int CmdBackup(Options& o, const std::vector<std::string>& words) {
  if (words.size() != 2) {
    Fail("backup needs one FILE");
    return kUsage;
  }
  // The file is checked, and its temporary twin created, before the long read.
  if (Status target = logger::CheckExportTarget(words[1]); !target) {
    Fail(Describe(target.failure()));
    return kBadValue;
  }
  if (!o.force && logger::IsReadOnlyFile(words[1])) {
    Fail("Cannot write " + words[1] + ": the file is read-only (--force replaces it)");
    return kBadValue;
  }
  // A failure half-way keeps an older backup whole.
  logger::ReplacingFile out;
  if (!out.Open(words[1])) {
    Fail("Cannot write " + words[1] + ": " + out.Reason());
    return kBadValue;
  }
  DeviceSession session(o);
  if (int rc = session.Connect(); rc != kOk) return rc;
  DeviceValues v = session.Settings().Snapshot();
  std::string text = "[" + std::string(kBackupSection) + "]\n";
  text += "IMEI=" + QuoteBackupValue(ToUtf8(o, v.Text("B2"))) + "\n";
  for (const auto& k : AllKeys()) {
    std::string value = ToUtf8(o, v.Format(k.key));
    if (value.find_first_of("\r\n") != std::string::npos) {
      // A line break cannot live in the file, nor be sent back to the tracker.
      for (char& c : value)
        if (c == '\r' || c == '\n') c = ' ';
      Say(o, "Note: the line break in " + std::string(k.key) + " was saved as a blank");
    }
    text += std::string(k.key) + "=" + QuoteBackupValue(value) + "\n";
  }
  if (!out.Write(text.data(), text.size()) || !out.Commit()) {
    Fail("Cannot write " + words[1] + ": " + out.Reason());
    return kBadValue;
  }
  Say(o, "Saved " + std::to_string(AllKeys().size()) + " values to " + words[1]);
  return kOk;
}

int CmdRestore(Options& o, const std::vector<std::string>& words) {
  if (words.size() != 2) {
    Fail("restore needs one FILE");
    return kUsage;
  }
  auto backup = ReadBackup(words[1]);
  if (!backup) {
    Fail(backup.error());
    return kBadValue;
  }
  const auto& file = *backup;
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const auto& k : AllKeys()) {
    if (!PageOfKey(k.key)) continue;
    auto it = file.find(std::string(k.key));
    if (it == file.end()) {
      Fail(words[1] + ": the value of " + std::string(k.key) + " is missing");
      return kBadValue;
    }
    pairs.emplace_back(it->first, it->second);
  }
  std::map<std::string, PreparedValue> changes;
  if (int rc = PrepareAssignments(o, pairs, changes, words[1] + ": ", true); rc != kOk) return rc;
  DeviceSession session(o);
  if (int rc = session.Connect(); rc != kOk) return rc;
  if (auto imei = file.find("IMEI"); imei != file.end() && imei->second != ToUtf8(o, session.Settings().Text("B2")))
    Say(o, "Note: the backup was made from the tracker with IMEI " + imei->second);
  return WritePages(o, session, changes, true);
}

int CmdPassword(Options& o, const std::vector<std::string>& words) {
  if (words.size() != 2) {
    Fail("password needs the NEW password");
    return kUsage;
  }
  std::map<std::string, PreparedValue> changes;
  if (int rc = PrepareAssignments(o, {{"OU", words[1]}}, changes, "new password: "); rc != kOk) return rc;
  DeviceSession session(o);
  if (int rc = session.Connect(); rc != kOk) return rc;
  return WritePages(o, session, changes, false);
}

int CmdMelody(Options& o, const std::vector<std::string>& words) {
  Sentence query;
  if (words.size() == 3 && words[1] == "play") {
    char* end = nullptr;
    long n = std::strtol(words[2].c_str(), &end, 10);
    if (words[2].empty() || *end || n < 0 || n > 255) {
      Fail("melody play needs a melody number from 0 to 255");
      return kBadValue;
    }
    query = BuildMelodyPlayQuery(static_cast<int>(n));
  } else if (words.size() == 2 && words[1] == "stop") {
    query = BuildMelodyStopQuery();
  } else {
    Fail("usage: melody play N | melody stop");
    return kUsage;
  }
  DeviceSession session(o);
  if (int rc = session.Authorize(); rc != kOk) return rc;
  if (Status s = SendQuery(session.Port(), query, o.write); !s) return FailWith(s.failure());
  return kOk;
}

int Run(int argc, char** argv) {
  Args a;
  if (int rc = Parse(Utf8Arguments(argc, argv), a); rc >= 0) return rc;
  if (a.words.empty()) {
    std::cerr << kHelp;
    return kUsage;
  }
  settings::IniFile systemIni(settings::SystemIniPath());
  // A settings file that is not one (a FIFO, a huge file) is not read: say so, and go on with the defaults.
  if (Status usable = systemIni.Check(); !usable) Fail(usable.error() + ": it is not read; the defaults are used");
  a.options.codePage = settings::DeviceCodePage(systemIni);
#ifdef ZD573_TEST_KNOBS
  // Tests may shorten the pause after each set sentence; the device needs the full second.
  if (const char* ms = std::getenv("ZD573_SET_PAUSE_MS")) a.options.write.pause = std::chrono::milliseconds(std::atoi(ms));
#endif
  const std::string& cmd = a.words[0];
  Options& o = a.options;
  if (cmd == "ports") return CmdPorts(o);
  if (cmd == "identify") return CmdIdentify(o);
  if (cmd == "read") return CmdRead(o);
  if (cmd == "set") return CmdSet(o, a.words);
  if (cmd == "backup") return CmdBackup(o, a.words);
  if (cmd == "restore") return CmdRestore(o, a.words);
  if (cmd == "password") return CmdPassword(o, a.words);
  if (cmd == "melody") return CmdMelody(o, a.words);
  if (cmd == "log") return RunLogCommand(o, a.words, a.log);
  Fail("unknown command " + cmd + " (see --help)");
  return kUsage;
}

}  // namespace
}  // namespace zd573::cli

int main(int argc, char** argv) { return zd573::cli::Run(argc, argv); }
