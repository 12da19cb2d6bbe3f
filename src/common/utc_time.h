#pragma once
// A moment as UTC text, the same on every platform.
#include <ctime>
#include <string>

namespace zd573 {

// `when` in UTC with a strftime format ("%Y-%m-%dT%H:%M:%SZ" by default).
inline std::string UtcText(std::time_t when, const char* format = "%Y-%m-%dT%H:%M:%SZ") {
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &when);
#else
  gmtime_r(&when, &tm);
#endif
  char buf[64];
  const std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
  return std::string(buf, n);
}

}  // namespace zd573
