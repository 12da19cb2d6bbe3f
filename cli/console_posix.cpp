// The console on a POSIX terminal.
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <iterator>

#include "console.h"

namespace zd573::cli {
namespace {

std::atomic<int> signals{0};
std::atomic<int> firstSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[3] {};

void OnSignal(int number) {
  int none = 0;
  firstSignal.compare_exchange_strong(none, number);
  signals.fetch_add(1);
}

// Reads a line from stdin, looking for a signal between the bytes typed; none
// when one came.
std::optional<std::string> ReadTyped() {
  std::string line;
  for (;;) {
    if (InterruptGuard::Interrupted()) return std::nullopt;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&p, 1, 100);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    char c = 0;
    const ssize_t n = ready < 0 ? -1 : ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') return line;
    line += c;
  }
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

bool IsTerminal(Stream stream) {
  switch (stream) {
    case Stream::In: return ::isatty(STDIN_FILENO) != 0;
    case Stream::Out: return ::isatty(STDOUT_FILENO) != 0;
    case Stream::Err: return ::isatty(STDERR_FILENO) != 0;
  }
  return false;
}

std::optional<std::string> ReadHiddenLine(const char* prompt) {
  std::fprintf(stderr, "%s", prompt);
  termios old{};
  bool tty = tcgetattr(STDIN_FILENO, &old) == 0;
  if (tty) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  auto line = ReadTyped();
  if (tty) tcsetattr(STDIN_FILENO, TCSANOW, &old);
  std::fprintf(stderr, "\n");
  return line;
}

std::optional<std::string> ReadLine(const char* prompt) {
  std::fprintf(stderr, "%s", prompt);
  std::fflush(stderr);
  return ReadTyped();
}

namespace detail {

void CatchSignals(bool on) {
  if (on) {
    signals = 0;
    firstSignal = 0;
  }
  for (std::size_t i = 0; i < std::size(kCaught); ++i) {
    if (!on) {
      sigaction(kCaught[i], &previous[i], nullptr);
      continue;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(kCaught[i], &action, &previous[i]);
    // Run under nohup, a hang-up stays ignored.
    if (kCaught[i] == SIGHUP && previous[i].sa_handler == SIG_IGN) sigaction(SIGHUP, &previous[i], nullptr);
  }
}

int SignalCount() { return signals.load(); }

std::string FirstSignalName() {
  switch (firstSignal.load()) {
    case SIGINT: return "SIGINT (Ctrl+C)";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return {};
  }
}

}  // namespace detail
}  // namespace zd573::cli
