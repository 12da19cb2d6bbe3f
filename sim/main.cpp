// zd573-sim: a simulated tracker on a pseudo-terminal.
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "log_gen.h"
#include "simulator.h"

namespace {

constexpr const char* kUsage =
    "Usage: zd573-sim [OPTION]...\n"
    "  or:  zd573-sim --write-log FILE --records N [--seed S]\n"
    "\n"
    "Acts as a tracker on a new pseudo-terminal and prints the path of its slave end\n"
    "as the first line. Runs until SIGINT or SIGTERM, then saves its state and exits.\n"
    "\n"
    "  --line-ms N              a status line every N ms (0 = none; default 100)\n"
    "  --split-replies          answer a query with several shorter replies\n"
    "  --journal FILE           append \"<ms> <escaped bytes>\" per received sentence\n"
    "  --state FILE             ini file of the 85 values, loaded at start, saved on change\n"
    "  --log FILE               serve this raw log (20-byte records) on LB\n"
    "  --records N              serve a generated log of N records (default 100)\n"
    "  --bad-check-every K      every K-th log packet carries a wrong check byte\n"
    "  --stall-after-records N  stop the log stream after N records and go quiet\n"
    "  --silent                 never send anything\n"
    "  --fragment               write in small random pieces\n"
    "  --baud B                 limit output to B/10 bytes per second\n"
    "  --noise                  stray bytes between log packets\n"
    "  --pause-in-packet N      stop after N bytes of each longer log packet\n"
    "  --pause-ms M             for M ms (default 400)\n"
    "  --count-offset N         announce N records more (negative: fewer) than the log holds\n"
    "  --reply-fault F          replies that cannot be read: unterminated or garbage\n"
    "  --seed S                 seed of the generated log and of the randomness\n"
    "  --link PATH              also make PATH a symbolic link to the slave\n"
    "  --write-log FILE         write a generated raw log (--records N) and exit\n"
    "  --help                   show this help and exit\n";

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "zd573-sim: %s\n", message.c_str());
  return code;
}

bool ParseInt(std::string_view text, long long lo, long long hi, long long* out) {
  long long v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// Points `link` at `target`, replacing whatever is there in one step.
bool MakeLink(const std::string& target, const std::string& link, std::string* error) {
  const std::string tmp = link + ".tmp." + std::to_string(::getpid());
  ::unlink(tmp.c_str());
  if (::symlink(target.c_str(), tmp.c_str()) != 0 || ::rename(tmp.c_str(), link.c_str()) != 0) {
    *error = "cannot create link " + link + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  zd573::sim::Options options;
  std::string linkPath;
  std::string writeLogPath;
  bool haveRecords = false;

  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool inlineValue = false;
    if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
      value = arg.substr(arg.find('=') + 1);
      arg = arg.substr(0, arg.find('='));
      inlineValue = true;
    }
    auto needValue = [&]() -> bool {
      if (inlineValue) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    auto number = [&](long long lo, long long hi, long long* out) -> bool {
      if (!needValue()) {
        Fail(arg + " needs a value", 2);
        return false;
      }
      if (!ParseInt(value, lo, hi, out)) {
        Fail(arg + ": '" + value + "' is not a number from " + std::to_string(lo) + " to " + std::to_string(hi), 2);
        return false;
      }
      return true;
    };
    auto text = [&](std::string* out) -> bool {
      if (!needValue() || value.empty()) {
        Fail(arg + " needs a value", 2);
        return false;
      }
      *out = value;
      return true;
    };
    auto flag = [&](bool* out) -> bool {
      if (inlineValue) {
        Fail(arg + " takes no value", 2);
        return false;
      }
      *out = true;
      return true;
    };

    long long n = 0;
    bool ok = true;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--line-ms") {
      ok = number(0, INT_MAX, &n);
      options.lineMs = static_cast<int>(n);
    } else if (arg == "--split-replies") {
      ok = flag(&options.splitReplies);
    } else if (arg == "--journal") {
      ok = text(&options.journalPath);
    } else if (arg == "--state") {
      ok = text(&options.statePath);
    } else if (arg == "--log") {
      ok = text(&options.logPath);
    } else if (arg == "--records") {
      ok = number(0, 10'000'000, &n);
      options.records = static_cast<int>(n);
      haveRecords = true;
    } else if (arg == "--bad-check-every") {
      ok = number(0, INT_MAX, &n);
      options.badCheckEvery = static_cast<int>(n);
    } else if (arg == "--stall-after-records") {
      ok = number(0, INT_MAX, &n);
      options.stallAfterRecords = static_cast<int>(n);
    } else if (arg == "--silent") {
      ok = flag(&options.silent);
    } else if (arg == "--fragment") {
      ok = flag(&options.fragment);
    } else if (arg == "--baud") {
      ok = number(10, 100'000'000, &n);
      options.baud = static_cast<int>(n);
    } else if (arg == "--noise") {
      ok = flag(&options.noise);
    } else if (arg == "--pause-in-packet") {
      ok = number(0, 255, &n);
      options.pauseInPacket = static_cast<int>(n);
    } else if (arg == "--pause-ms") {
      ok = number(0, 60'000, &n);
      options.pauseMs = static_cast<int>(n);
    } else if (arg == "--count-offset") {
      ok = number(-10'000'000, 10'000'000, &n);
      options.countOffset = static_cast<int>(n);
    } else if (arg == "--reply-fault") {
      ok = text(&options.replyFault);
    } else if (arg == "--seed") {
      ok = number(0, UINT_MAX, &n);
      options.seed = static_cast<unsigned>(n);
    } else if (arg == "--link") {
      ok = text(&linkPath);
    } else if (arg == "--write-log") {
      ok = text(&writeLogPath);
    } else {
      return Fail("unknown option '" + std::string(argv[i]) + "' (try --help)", 2);
    }
    if (!ok) return 2;
  }

  if (!options.logPath.empty() && haveRecords) return Fail("give either --log or --records, not both", 2);

  if (!writeLogPath.empty()) {
    if (!haveRecords) return Fail("--write-log needs --records N", 2);
    std::string error;
    if (!zd573::sim::WriteRawLog(writeLogPath, zd573::sim::GenerateLog(options.records, options.seed), &error))
      return Fail(error, 1);
    return 0;
  }

  // Block the stop signals before any thread starts, then wait for them here.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  zd573::sim::Simulator sim(options);
  std::string error;
  if (!sim.Start(&error)) return Fail(error, 1);
  const std::string slave = sim.SlavePath();
  if (!linkPath.empty() && !MakeLink(slave, linkPath, &error)) {
    sim.Stop();
    return Fail(error, 1);
  }
  std::printf("%s\n", slave.c_str());
  std::fflush(stdout);

  int received = 0;
  while (sigwait(&stopSignals, &received) != 0) {
  }
  sim.Stop();

  // Leave no dangling link behind, but never remove one that was re-pointed.
  if (!linkPath.empty()) {
    char target[PATH_MAX];
    ssize_t len = ::readlink(linkPath.c_str(), target, sizeof target - 1);
    if (len >= 0 && std::string(target, static_cast<size_t>(len)) == slave) ::unlink(linkPath.c_str());
  }
  std::string saveError = sim.LastError();
  if (!saveError.empty()) return Fail(saveError, 1);
  return 0;
}
