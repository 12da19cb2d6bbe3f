// The console on a POSIX terminal.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>

#include "console.h"

namespace zd573::cli {
namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
struct sigaction previous {};

void OnInterrupt(int) { interrupted.store(true); }

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

std::string ReadHiddenLine(const char* prompt) {
  std::fprintf(stderr, "%s", prompt);
  termios old{};
  bool tty = tcgetattr(STDIN_FILENO, &old) == 0;
  if (tty) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string line;
  std::getline(std::cin, line);
  if (tty) tcsetattr(STDIN_FILENO, TCSANOW, &old);
  std::fprintf(stderr, "\n");
  return line;
}

InterruptGuard::InterruptGuard() {
  interrupted = false;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous);
}

InterruptGuard::~InterruptGuard() { sigaction(SIGINT, &previous, nullptr); }

bool InterruptGuard::Interrupted() { return interrupted.load(); }

}  // namespace zd573::cli
