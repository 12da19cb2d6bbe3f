// The parts of the file facility that need no system call.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>

#include "common/files.h"

namespace zd573::files {

std::string UniqueSuffix() {
  static std::atomic<std::uint64_t> counter{0};
  // Another process picks another seed, so two programs never race for a name.
  static const std::uint64_t seed = [] {
    std::random_device device;
    return (std::uint64_t{device()} << 32) ^ device();
  }();
  const auto now = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  std::uint64_t z = seed ^ (now << 7) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  char text[20];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(z));
  return text;
}

bool NewFile::CreateUnique(const std::function<std::string(const std::string& suffix)>& nameFor) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (Create(nameFor(UniqueSuffix()))) return true;
    if (!NameTaken()) return false;
  }
  return false;
}

}  // namespace zd573::files
