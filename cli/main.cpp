// zd573: the tracker utility's command line. A thin layer over the core.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "common/printable.h"
#include "console.h"
#include "device/port_finder.h"
#include "device/profile.h"
#include "device/sentences.h"
#include "device_session.h"
#include "log_commands.h"
#include "passwords.h"
#include "logger/track_filter.h"
#include "profile_commands.h"
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
    "  read [--json] [--show-secrets]\n"
    "                           log in and print all settings as KEY=value (or JSON); the passwords\n"
    "                           and the SIM PIN show as (hidden) without --show-secrets\n"
    "  set KEY=VALUE...         change settings; each page that carries a key is written whole\n"
    "  backup FILE [--profile] [--keys K,K] [--without K,K]\n"
    "                           save all settings to an ini file; --profile leaves out the tracker's\n"
    "                           own values (B2 IMEI, OU password, B0 SIM PIN, B1 own number), --keys\n"
    "                           saves only these, --without all but these\n"
    "  backup --each FOLDER --report REPORT.csv [--count N]\n"
    "                           save every setting of each tracker plugged in, one after another, as\n"
    "                           FOLDER/IMEI.ini (the file before kept as IMEI.ini.1 ... .5); one\n"
    "                           report line per tracker\n"
    "  roster FOLDER [OUT.csv]  a roster of each tracker's own values from the backups in FOLDER;\n"
    "                           the SIM PIN (B0) goes only into OUT.csv, readable by its owner alone\n"
    "  diff FILE [--show-secrets] [--roster ROSTER.csv]\n"
    "                           print the values of FILE that differ from the tracker's, by page, a\n"
    "                           choice by its words with the stored number (\"High (2)\"); the\n"
    "                           passwords and the SIM PIN show as (hidden) without --show-secrets\n"
    "  apply FILE [--roster ROSTER.csv]\n"
    "                           write the values of FILE (any of the keys) that differ: only the pages\n"
    "                           holding a difference are written, then read back and compared; with\n"
    "                           a roster, the tracker's own row too\n"
    "  restore FILE             the same for a backup, which must hold every value\n"
    "  undo                     apply the newest backup of the tracker plugged in: the values it\n"
    "                           held before the last write (each write saves one first)\n"
    "  provision FILE --report REPORT.csv [--roster ROSTER.csv] [--count N]\n"
    "                           apply FILE to each tracker plugged in, one after another, until\n"
    "                           Ctrl+C or N trackers (with a roster: every row); one report line per\n"
    "                           tracker. A roster (CSV: IMEI, then the tracker's own keys, and name)\n"
    "                           gives each tracker its own values; one not in it is not written.\n"
    "                           {name} and {imei} in a text stand for the tracker's name and IMEI\n"
    "  password [NEW] [--new-password-file FILE]\n"
    "                           change the device password: typed twice on the terminal, or the\n"
    "                           first line of FILE (yours alone, mode 0600); NEW as an argument is\n"
    "                           visible to other local users (an empty one needs --yes)\n"
    "  melody play N | stop     play melody N on the tracker, or stop it\n"
    "  log download OUT [--format csv|kml|gpx] [--drop-no-fix] [--raw FILE] [--keep-partial]\n"
    "                           download the GPS log and export it (format from OUT's extension);\n"
    "                           the raw log goes to temp.log in the cache folder, and to FILE with --raw;\n"
    "                           the records are also kept in the tracker's archive (see log archive)\n"
    "  log convert RAW OUT [--format csv|kml|gpx] [--drop-no-fix]\n"
    "                           export a downloaded raw log (temp.log) without a tracker\n"
    "  log stats FILE [--json] [--drop-no-fix] [--drop-jumps] [--hide-around LAT,LON,METRES]\n"
    "                           the track's figures: distance, moving time, speeds, climb, stops,\n"
    "                           and per local day; FILE is a raw log or our own CSV or GPX export\n"
    "  log archive [IMEI] [--from DATE] [--to DATE] OUT.csv|kml|gpx|log\n"
    "                           export a tracker's archive of every download (IMEI may be left out\n"
    "                           when only one tracker has one); DATE is YYYY-MM-DD, local, inclusive\n"
    "  log erase [--yes]        erase the GPS log in the tracker\n"
    "\n"
    "Options:\n"
    "  --port PATH              use this serial port instead of searching for one\n"
    "  --password PW            the device password; visible to other local users, so scripts\n"
    "                           use one of the next two (asked for on a terminal when none is given)\n"
    "  --password-file FILE     the device password: the first line of FILE, which must be yours\n"
    "                           alone (mode 0600)\n"
    "  --timeout S              time limit in seconds for the identification and the read\n"
    "                           (default 30 for the identification, 120 for the full read)\n"
    "  --quiet                  no messages except errors\n"
    "  --force                  replace a read-only export or backup file\n"
    "  --raw FILE               log download: also keep the raw log in FILE\n"
    "  --any-tracker            apply, restore, provision: write a file saved from another tracker\n"
    "  --with-password          apply, restore, undo, provision: send the file's password (OU) too\n"
    "  --roster ROSTER.csv      provision, apply, diff: each tracker's own values, by IMEI\n"
    "  --yes                    log erase without asking; allow setting an empty password\n"
    "  --keep-partial           log download: when the tracker stops before its count, export\n"
    "                           the records that arrived (exit code 4 all the same)\n"
    "  --drop-jumps             log: leave out fixes with an HDOP over 10 or an implied speed over\n"
    "                           300 km/h from the previous fix kept\n"
    "  --hide-around LAT,LON,METRES\n"
    "                           log: leave out every record within METRES of the place (repeatable)\n"
    "  --kml-line               log: a KML export also draws the track as a line per day and segment\n"
    "  --help                   show this help and exit\n"
    "  --version                show the version and exit\n"
    "\n"
    "Environment:\n"
    "  ZD573_PASSWORD           the device password, when neither option gives it\n"
    "\n"
    "Exit codes: 0 ok, 1 usage, 2 no device or port, 3 wrong password, 4 time-out or no\n"
    "valid reply, 5 bad value or data, 6 a log exported without the records of damaged\n"
    "packets, 10 diff found differences, 11 the tracker did not take a value as sent\n"
    "(provision: a tracker was not set up), 130 a download ended by Ctrl+C, or a command\n"
    "ended by a signal.\n"
    "\n"
    "Ctrl+C, SIGTERM and SIGHUP stop a command that talks to the tracker within a second; a\n"
    "write first finishes the page under way (a second signal: the sentence under way), then\n"
    "says which pages reached the tracker whole (provision: in the tracker's report line too).\n";

struct Args {
  Options options;
  std::vector<std::string> words;
  LogArgs log;
  ProfileArgs profile;
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
    // A whole number from 1 to `most` after the option.
    auto whole = [&](long most, const char* what, long& n) {
      std::string t;
      if (!next(t)) return false;
      char* end = nullptr;
      n = std::strtol(t.c_str(), &end, 10);
      if (t.empty() || *end || n <= 0 || n > most) {
        Fail(arg + " needs a number of " + what + " from 1 to " + std::to_string(most));
        return false;
      }
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
    } else if (arg == "--password-file") {
      if (!next(a.options.passwordFile)) return kUsage;
    } else if (arg == "--new-password-file") {
      if (!next(a.options.newPasswordFile)) return kUsage;
    } else if (arg == "--timeout") {
      long s = 0;
      if (!whole(86400, "seconds", s)) return kUsage;
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
    } else if (arg == "--drop-jumps") {
      a.log.dropJumps = true;
    } else if (arg == "--kml-line") {
      a.log.kmlLine = true;
    } else if (arg == "--hide-around") {
      std::string circle;
      if (!next(circle)) return kUsage;
      const auto parsed = logger::ParseHiddenCircle(circle);
      if (!parsed) {
        Fail("--hide-around needs LAT,LON,METRES: degrees (latitude -90 to 90, longitude -180 to 180) "
             "and a radius above 0, e.g. 25.0330,121.5654,300");
        return kUsage;
      }
      a.log.hideAround.push_back(*parsed);
    } else if (arg == "--from" || arg == "--to") {
      if (!next(arg == "--from" ? a.log.from : a.log.to)) return kUsage;
    } else if (arg == "--profile") {
      a.profile.profile = true;
    } else if (arg == "--keys" || arg == "--without") {
      std::string list;
      if (!next(list)) return kUsage;
      auto& into = arg == "--keys" ? a.profile.keys : a.profile.without;
      for (std::size_t start = 0; start <= list.size();) {
        std::size_t comma = std::min(list.find(',', start), list.size());
        if (comma > start) into.push_back(list.substr(start, comma - start));
        start = comma + 1;
      }
    } else if (arg == "--any-tracker") {
      a.profile.anyTracker = true;
    } else if (arg == "--with-password") {
      a.profile.withPassword = true;
    } else if (arg == "--show-secrets") {
      a.profile.showSecrets = true;
    } else if (arg == "--report") {
      if (!next(a.profile.report)) return kUsage;
    } else if (arg == "--roster") {
      if (!next(a.profile.roster)) return kUsage;
    } else if (arg == "--each") {
      if (!next(a.profile.each)) return kUsage;
    } else if (arg == "--count") {
      long n = 0;
      if (!whole(1000000, "trackers", n)) return kUsage;
      a.profile.count = n;
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
  // A USB device names itself: what it says is shown, never acted on by the terminal.
  for (const auto& p : ports)
    std::cout << (p.matches ? "* " : "  ") << Printable(p.friendlyName) << "\t" << Printable(p.path) << "\n";
  return kOk;
}

int CmdIdentify(Options& o) {
  DeviceSession session(o);
  if (int rc = session.Identify(); rc != kOk) return rc;
  std::cout << "IMEI: " << ToUtf8(o, session.Settings().Text("B2")) << "\n";
  std::cout << "Name: " << Printable(session.UserName()) << "\n";
  return kOk;
}

// The passwords and the SIM PIN only say whether they are set, unless asked for.
void PrintValues(const Options& o, const DeviceValues& v, bool showSecrets) {
  const auto text = [&](std::string_view key) {
    const std::string bytes = v.Text(key);
    if (IsSecretKey(key) && !showSecrets) return std::string(bytes.empty() ? "" : "(hidden)");
    return ToUtf8(o, bytes);
  };
  if (o.json) {
    std::cout << "{";
    bool first = true;
    for (const auto& k : AllKeys()) {
      std::cout << (first ? "\n  " : ",\n  ") << JsonString(std::string(k.key)) << ": ";
      if (k.kind == FieldKind::Text) {
        std::cout << JsonString(text(k.key));
      } else {
        std::cout << v.Number(k.key);
      }
      first = false;
    }
    std::cout << "\n}\n";
    return;
  }
  // A control byte the tracker holds is shown escaped: it must not act on a terminal or break a line.
  for (const auto& k : AllKeys())
    std::cout << k.key << "="
              << Printable(k.kind == FieldKind::Text ? text(k.key) : ToUtf8(o, v.Format(k.key))) << "\n";
}

int CmdRead(Options& o, bool showSecrets) {
  DeviceSession session(o);
  if (int rc = session.Connect(); rc != kOk) return rc;
  PrintValues(o, session.Settings().Snapshot(), showSecrets);
  return kOk;
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
  if (Status s = SendQueryOn(*session.HeldPort(), query, o.write); !s) return FailWith(s.failure());
  return kOk;
}

int Run(int argc, char** argv) {
  // From here on a signal only asks the command to end: it finishes what it
  // is writing, and leaves no temporary file behind.
  InterruptGuard signals;
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
  if (int rc = ChoosePassword(a.options); rc != kOk) return rc;
#ifdef ZD573_TEST_KNOBS
  // Tests may shorten the pause after each set sentence; the device needs the full second.
  if (const char* ms = std::getenv("ZD573_SET_PAUSE_MS")) a.options.write.pause = std::chrono::milliseconds(std::atoi(ms));
#endif
  a.options.stop = InterruptGuard::Stop();
  a.options.write.stop = InterruptGuard::Now();
  a.options.write.pageStop = InterruptGuard::Stop();
  const std::string& cmd = a.words[0];
  Options& o = a.options;
  if (cmd == "ports") return CmdPorts(o);
  if (cmd == "identify") return CmdIdentify(o);
  if (cmd == "read") return CmdRead(o, a.profile.showSecrets);
  if (cmd == "set") return CmdSet(o, a.words);
  if (cmd == "backup")
    return a.profile.each.empty() ? CmdBackup(o, a.words, a.profile) : CmdBackupEach(o, a.words, a.profile);
  if (cmd == "restore") return CmdRestore(o, a.words, a.profile);
  if (cmd == "apply") return CmdApply(o, a.words, a.profile);
  if (cmd == "undo") return CmdUndo(o, a.words, a.profile);
  if (cmd == "diff") return CmdDiff(o, a.words, a.profile);
  if (cmd == "provision") return CmdProvision(o, a.words, a.profile);
  if (cmd == "roster") return CmdRoster(o, a.words);
  if (cmd == "password") return CmdPassword(o, a.words);
  if (cmd == "melody") return CmdMelody(o, a.words);
  if (cmd == "log") return RunLogCommand(o, a.words, a.log);
  Fail("unknown command " + cmd + " (see --help)");
  return kUsage;
}

}  // namespace
}  // namespace zd573::cli

int main(int argc, char** argv) { return zd573::cli::Run(argc, argv); }
