// The console on Windows: arguments arrive as UTF-16 and become UTF-8, the
// console shows UTF-8, and its control events (Ctrl+C, Ctrl+Break, closing)
// reach a handler instead of ending us.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "common/win32_text.h"
#include "console.h"

namespace zd573::cli {
namespace {

std::atomic<int> signals{0};
std::atomic<long> firstEvent{-1};

BOOL WINAPI OnControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: break;
    default: return FALSE;
  }
  long none = -1;
  firstEvent.compare_exchange_strong(none, static_cast<long>(event));
  signals.fetch_add(1);
  // The process ends as soon as a close, logoff or shutdown handler returns:
  // keep it waiting, so the command finishes and ends on its own first (the
  // system allows it a few seconds).
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) ::Sleep(INFINITE);
  return TRUE;
}

// Reads a line typed on the console, with or without its echo; none when a
// control event came first (a read cut short by Ctrl+C returns nothing).
std::optional<std::string> ReadTyped(bool echo) {
  const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD old = 0;
  const bool console = ::GetConsoleMode(in, &old);
  if (!console) {
    std::string line;
    std::getline(std::cin, line);
    return line;
  }
  DWORD mode = old | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT;
  mode = echo ? mode | ENABLE_ECHO_INPUT : mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT);
  ::SetConsoleMode(in, mode);
  std::wstring line;
  wchar_t buffer[256];
  DWORD n = 0;
  while (!InterruptGuard::Interrupted() && ::ReadConsoleW(in, buffer, 256, &n, nullptr) && n > 0) {
    line.append(buffer, n);
    if (line.find(L'\n') != std::wstring::npos) break;
  }
  ::SetConsoleMode(in, old);
  if (InterruptGuard::Interrupted()) return std::nullopt;
  while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
  return win32::Utf8(line);
}

HANDLE StandardHandle(Stream stream) {
  switch (stream) {
    case Stream::In: return ::GetStdHandle(STD_INPUT_HANDLE);
    case Stream::Out: return ::GetStdHandle(STD_OUTPUT_HANDLE);
    case Stream::Err: return ::GetStdHandle(STD_ERROR_HANDLE);
  }
  return INVALID_HANDLE_VALUE;
}

UINT savedOutputCodePage = 0;
UINT savedInputCodePage = 0;

// The console is the user's: give back its code pages when we end.
void RestoreCodePages() {
  if (savedOutputCodePage) ::SetConsoleOutputCP(savedOutputCodePage);
  if (savedInputCodePage) ::SetConsoleCP(savedInputCodePage);
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  savedOutputCodePage = ::GetConsoleOutputCP();
  savedInputCodePage = ::GetConsoleCP();
  if (::SetConsoleOutputCP(CP_UTF8) | ::SetConsoleCP(CP_UTF8)) std::atexit(RestoreCodePages);
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) return {argv, argv + argc};
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(win32::Utf8(wide[i]));
  ::LocalFree(wide);
  return args;
}

bool IsTerminal(Stream stream) {
  DWORD mode = 0;
  const HANDLE h = StandardHandle(stream);
  return h != INVALID_HANDLE_VALUE && ::GetFileType(h) == FILE_TYPE_CHAR && ::GetConsoleMode(h, &mode);
}

std::optional<std::string> ReadHiddenLine(const char* prompt) {
  std::fprintf(stderr, "%s", prompt);
  std::fflush(stderr);
  auto line = ReadTyped(false);
  std::fprintf(stderr, "\n");
  return line;
}

std::optional<std::string> ReadLine(const char* prompt) {
  std::fprintf(stderr, "%s", prompt);
  std::fflush(stderr);
  return ReadTyped(true);
}

namespace detail {

void CatchSignals(bool on) {
  if (on) {
    signals = 0;
    firstEvent = -1;
  }
  ::SetConsoleCtrlHandler(OnControl, on ? TRUE : FALSE);
}

int SignalCount() { return signals.load(); }

std::string FirstSignalName() {
  switch (firstEvent.load()) {
    case CTRL_C_EVENT: return "Ctrl+C";
    case CTRL_BREAK_EVENT: return "Ctrl+Break";
    case CTRL_CLOSE_EVENT: return "the console's closing";
    case CTRL_LOGOFF_EVENT: return "the logoff";
    case CTRL_SHUTDOWN_EVENT: return "the shutdown";
    default: return {};
  }
}

}  // namespace detail
}  // namespace zd573::cli
