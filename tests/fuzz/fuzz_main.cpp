// Runs a fuzz target without libFuzzer (a compiler that has none): every seed
// once, then seeds changed at random for a few seconds. Finds less than
// libFuzzer, but keeps every target's property checked in every build.
//
//   fuzz_NAME [--seconds S] [--seed N] SEED_DIR_OR_FILE...
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// The input being run, kept where a failed property can save it.
std::vector<std::uint8_t> g_current;

void SaveCurrent(int sig) {
  char name[64];
  std::snprintf(name, sizeof name, "fuzz-failure-%d", static_cast<int>(::getpid()));
  if (FILE* f = std::fopen(name, "wb")) {
    if (!g_current.empty()) std::fwrite(g_current.data(), 1, g_current.size(), f);
    std::fclose(f);
    std::fprintf(stderr, "the failing input is in %s\n", name);
  }
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

void Run(const std::vector<std::uint8_t>& input) {
  g_current = input;
  LLVMFuzzerTestOneInput(g_current.data(), g_current.size());
}

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Mutate(std::vector<std::uint8_t>& s, const std::vector<std::vector<std::uint8_t>>& seeds, std::mt19937& rng) {
  const int steps = 1 + static_cast<int>(rng() % 8);
  for (int i = 0; i < steps; ++i) {
    const std::size_t at = s.empty() ? 0 : rng() % s.size();
    switch (rng() % 6) {
      case 0:
        if (!s.empty()) s[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        break;
      case 1:
        if (!s.empty()) s[at] = static_cast<std::uint8_t>(rng());
        break;
      case 2: s.insert(s.begin() + static_cast<long>(at), static_cast<std::uint8_t>(rng())); break;
      case 3:
        if (!s.empty()) s.erase(s.begin() + static_cast<long>(at));
        break;
      case 4: {  // repeat a piece
        if (s.empty()) break;
        const std::size_t len = 1 + rng() % std::min<std::size_t>(s.size() - at, 32);
        std::vector<std::uint8_t> piece(s.begin() + static_cast<long>(at), s.begin() + static_cast<long>(at + len));
        s.insert(s.begin() + static_cast<long>(rng() % (s.size() + 1)), piece.begin(), piece.end());
        break;
      }
      default: {  // splice another seed in
        if (seeds.empty()) break;
        const auto& other = seeds[rng() % seeds.size()];
        if (other.empty()) break;
        const std::size_t from = rng() % other.size();
        const std::size_t len = 1 + rng() % (other.size() - from);
        s.insert(s.begin() + static_cast<long>(at), other.begin() + static_cast<long>(from),
                 other.begin() + static_cast<long>(from + len));
      }
    }
  }
  if (s.size() > 8192) s.resize(8192);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 3;
  unsigned seed = 1;
  std::vector<std::vector<std::uint8_t>> seeds;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seconds" && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (arg == "--seed" && i + 1 < argc) {
      seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (std::filesystem::is_directory(arg)) {
      std::vector<std::filesystem::path> files;
      for (const auto& e : std::filesystem::directory_iterator(arg))
        if (e.is_regular_file()) files.push_back(e.path());
      std::sort(files.begin(), files.end());
      for (const auto& f : files) seeds.push_back(ReadAll(f));
    } else if (std::filesystem::is_regular_file(arg)) {
      seeds.push_back(ReadAll(arg));
    } else {
      std::fprintf(stderr, "%s: no seed file or folder %s\n", argv[0], arg.c_str());
      return 2;
    }
  }
  ::signal(SIGABRT, SaveCurrent);
  ::signal(SIGSEGV, SaveCurrent);

  long runs = 0;
  Run({});
  for (const auto& s : seeds) {
    Run(s);
    ++runs;
  }
  std::mt19937 rng(seed);
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    std::vector<std::uint8_t> s = seeds.empty() ? std::vector<std::uint8_t>{} : seeds[rng() % seeds.size()];
    Mutate(s, seeds, rng);
    Run(s);
    ++runs;
  }
  std::printf("%s: %ld inputs, %zu seeds, no property failed\n", argv[0], runs, seeds.size());
  return 0;
}
