// The console on Windows: arguments arrive as UTF-16 and become UTF-8, the
// console shows UTF-8, and Ctrl+C reaches a handler instead of ending us.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <atomic>
#include <cstdio>

#include "common/win32_text.h"
#include "console.h"

namespace zd573::cli {
namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interrupted.store(true);
  return TRUE;
}

HANDLE StandardHandle(Stream stream) {
  switch (stream) {
    case Stream::In: return ::GetStdHandle(STD_INPUT_HANDLE);
    case Stream::Out: return ::GetStdHandle(STD_OUTPUT_HANDLE);
    case Stream::Err: return ::GetStdHandle(STD_ERROR_HANDLE);
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  ::SetConsoleOutputCP(CP_UTF8);
  ::SetConsoleCP(CP_UTF8);
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

std::string ReadHiddenLine(const char* prompt) {
  std::fprintf(stderr, "%s", prompt);
  std::fflush(stderr);
  const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD old = 0;
  const bool console = ::GetConsoleMode(in, &old);
  if (console) ::SetConsoleMode(in, (old & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
  std::wstring line;
  wchar_t buffer[256];
  DWORD n = 0;
  while (console && ::ReadConsoleW(in, buffer, 256, &n, nullptr) && n > 0) {
    line.append(buffer, n);
    if (line.find(L'\n') != std::wstring::npos) break;
  }
  if (console) ::SetConsoleMode(in, old);
  while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
  std::fprintf(stderr, "\n");
  return win32::Utf8(line);
}

InterruptGuard::InterruptGuard() {
  interrupted = false;
  ::SetConsoleCtrlHandler(OnControl, TRUE);
}

InterruptGuard::~InterruptGuard() { ::SetConsoleCtrlHandler(OnControl, FALSE); }

bool InterruptGuard::Interrupted() { return interrupted.load(); }

}  // namespace zd573::cli
