#pragma once
// The console, the command line's one platform facility: console_posix.cpp
// and console_win32.cpp fill it.
#include <string>
#include <vector>

namespace zd573::cli {

// The program's arguments as UTF-8 text (Windows hands them over as UTF-16),
// with the console set up to show UTF-8 output.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

enum class Stream { In, Out, Err };
bool IsTerminal(Stream stream);

// Reads one line typed on the terminal without showing it.
std::string ReadHiddenLine(const char* prompt);

// While one lives, Ctrl+C does not end the program: it is noted for
// Interrupted(), so a download can be ended cleanly (its partial file
// removed, the port closed).
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
  static bool Interrupted();
};

}  // namespace zd573::cli
