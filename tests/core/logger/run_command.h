#pragma once
// Runs an outside program through the shell (POSIX), for the readers' tests.
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace zd573::logger::test {

struct RunResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

// Runs a shell command line; arguments must already be quoted.
inline RunResult RunCommand(const std::string& command) {
  RunResult result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) result.output.append(buf, n);
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace zd573::logger::test
