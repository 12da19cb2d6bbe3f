#pragma once
// The console, the command line's one platform facility: console_posix.cpp
// and console_win32.cpp fill it; console.cpp holds what both share.
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace zd573::cli {

// The program's arguments as UTF-8 text (Windows hands them over as UTF-16),
// with the console set up to show UTF-8 output.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

enum class Stream { In, Out, Err };
bool IsTerminal(Stream stream);

// Reads one line typed on the terminal without showing it (at the end of the
// input, what came); none when a signal came first (InterruptGuard).
std::optional<std::string> ReadHiddenLine(const char* prompt);
// The same, shown as it is typed (a yes or no).
std::optional<std::string> ReadLine(const char* prompt);

// While one lives, SIGINT, SIGTERM and SIGHUP (on Windows the console's
// Ctrl+C, Ctrl+Break and close events) do not end the program: the handler
// only counts them, and the command ends itself. The first asks it to stop
// (Stop()): a wait ends at once, a write after the page under way, and a
// download removes its partial file. The second asks it to stop now (Now()):
// a write ends after the sentence under way. Each stop is requested within
// a tenth of a second of its signal. One lives for the program's run.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
  static bool Interrupted() { return Count() > 0; }
  // Signals received so far.
  static int Count();
  // The first signal, as a person knows it ("SIGTERM").
  static std::string FirstName();
  static std::stop_token Stop();
  static std::stop_token Now();

 private:
  std::jthread watch_;
};

namespace detail {
// Filled by the platform's file: installs (or takes away) the handlers of the
// signals InterruptGuard catches. A handler adds to the count and notes the
// first signal for FirstSignalName.
void CatchSignals(bool on);
int SignalCount();
std::string FirstSignalName();
}  // namespace detail

}  // namespace zd573::cli
