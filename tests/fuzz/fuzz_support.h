#pragma once
// Shared by the fuzz targets: a reader that turns the input into decisions,
// a check that stops the run with a message, and a private scratch folder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace zd573::fuzz {

// A property failed: say which, and abort so the fuzzer keeps the input.
#define FUZZ_CHECK(cond, what)                                                              \
  do {                                                                                      \
    if (!(cond)) {                                                                          \
      std::fprintf(stderr, "property failed: %s (%s:%d): %s\n", #cond, __FILE__, __LINE__, \
                   std::string(what).c_str());                                              \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)

// Takes decisions from the front of the input; past its end every answer is 0.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
  bool Empty() const { return n_ == 0; }
  std::size_t Left() const { return n_; }
  std::uint8_t Byte() {
    if (n_ == 0) return 0;
    --n_;
    return *p_++;
  }
  // A number from lo to hi.
  int Range(int lo, int hi) { return lo + static_cast<int>(Byte() % static_cast<unsigned>(hi - lo + 1)); }
  bool Flag() { return Byte() & 1; }
  // Up to `max` bytes, length first.
  std::string Bytes(std::size_t max) {
    std::size_t len = std::min<std::size_t>(Byte() % (max + 1), n_);
    std::string s(reinterpret_cast<const char*>(p_), len);
    p_ += len;
    n_ -= len;
    return s;
  }
  std::string Rest() {
    std::string s(reinterpret_cast<const char*>(p_), n_);
    p_ += n_;
    n_ = 0;
    return s;
  }

 private:
  const std::uint8_t* p_;
  std::size_t n_;
};

// A folder of this process's own, made once and removed at exit. In memory
// where the system offers it: the writers sync their files, and a disk would
// make that the fuzzer's pace.
inline const std::filesystem::path& ScratchDir() {
  static const std::filesystem::path dir = [] {
    const std::filesystem::path base =
        ::access("/dev/shm", W_OK) == 0 ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
    std::string tmpl = (base / "zd573-fuzz.XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    std::filesystem::path made(tmpl);
    static struct Remover {
      std::filesystem::path p;
      ~Remover() {
        std::error_code ec;
        std::filesystem::remove_all(p, ec);
      }
    } remover{made};
    return made;
  }();
  return dir;
}

inline void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::string out;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

}  // namespace zd573::fuzz
