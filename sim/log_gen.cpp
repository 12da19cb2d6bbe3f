#include "log_gen.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "device/protocol.h"

namespace zd573::sim {

namespace {

// splitmix64: fixed across compilers and standard libraries, unlike <random>'s distributions.
class Rng {
 public:
  // Seeds start at scattered points of the sequence, not one step apart.
  explicit Rng(unsigned seed) : s_(Mix(seed + 0xD1B54A32D192ED03ULL)) {}
  std::uint64_t Next() { return Mix(s_ += 0x9E3779B97F4A7C15ULL); }
  int Int(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1)); }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }

 private:
  static std::uint64_t Mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  std::uint64_t s_;
};

void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

// 2024-05-01 06:00:00 UTC in seconds since 2000-01-01.
constexpr std::uint32_t kFirstFix = 767858400;

enum class Signal { kLost, kWeak, kGood, kDifferential };

}  // namespace

std::vector<std::uint8_t> GenerateLog(int records, unsigned seed) {
  std::vector<std::uint8_t> out(static_cast<size_t>(std::max(records, 0)) * proto::kRecordSize);
  Rng rng(seed);
  std::uint32_t t = kFirstFix + static_cast<std::uint32_t>(rng.Int(0, 3600));
  double lat = 47.3769 + rng.Unit() * 0.05;
  double lon = 8.5417 + rng.Unit() * 0.05;
  double heading = rng.Unit() * 360.0;
  double speed = 0;  // km/h
  double alt = 410 + rng.Int(0, 40);
  int battery = 100;
  Signal signal = Signal::kLost;  // a cold start begins without a fix

  for (int i = 0; i < records; ++i) {
    std::uint8_t* r = out.data() + static_cast<size_t>(i) * proto::kRecordSize;
    int interval = rng.Int(0, 9) == 0 ? 10 : 5;
    t += static_cast<std::uint32_t>(interval);

    if (i == 2 || (signal == Signal::kLost && i > 2 && rng.Int(0, 5) == 0)) {
      signal = Signal::kGood;  // losses (tunnels, buildings) are short
    } else if (i > 2 && rng.Int(0, 19) == 0) {
      int pick = rng.Int(0, 9);
      signal = pick == 0 ? Signal::kLost : pick <= 2 ? Signal::kWeak : pick <= 8 ? Signal::kGood : Signal::kDifferential;
    }

    int fixCode = 0;
    int sats = 0;
    int hdop = 99;
    if (signal != Signal::kLost) {
      fixCode = signal == Signal::kWeak ? 1 : signal == Signal::kGood ? 2 : 3;
      sats = signal == Signal::kWeak ? rng.Int(3, 4) : rng.Int(5, 12);
      hdop = signal == Signal::kWeak ? rng.Int(25, 60) : rng.Int(7, 20);
      speed = std::clamp(speed + rng.Int(-8, 8), 0.0, 90.0);
      heading = std::fmod(heading + rng.Int(-20, 20) + 360.0, 360.0);
      double metres = speed / 3.6 * interval;
      const double rad = heading * 3.14159265358979323846 / 180.0;
      lat += metres * std::cos(rad) / 111320.0;
      lon += metres * std::sin(rad) / (111320.0 * std::cos(lat * 3.14159265358979323846 / 180.0));
      alt = std::clamp(alt + rng.Int(-3, 3), 0.0, 65535.0);
    } else {
      sats = rng.Int(0, 3);
    }
    if (i % 40 == 39 && battery > 5) --battery;

    Put32(r, t);
    Put32(r + 4, static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(lat * 1e6))));
    Put32(r + 8, static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(lon * 1e6))));
    Put16(r + 12, static_cast<std::uint32_t>(alt));
    Put16(r + 14, signal == Signal::kLost ? 0 : static_cast<std::uint32_t>(std::lround(speed * 100)));
    r[16] = static_cast<std::uint8_t>((fixCode << 6) | sats);
    r[17] = static_cast<std::uint8_t>(static_cast<int>(heading) / 2);
    r[18] = static_cast<std::uint8_t>(hdop);
    r[19] = static_cast<std::uint8_t>(battery);
  }
  return out;
}

bool WriteRawLog(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error) {
  const std::string tmp = path + ".tmp." + std::to_string(::getpid());
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot create " + tmp + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  int savedErrno = errno;
  if (ok && ::fsync(fd) != 0) {
    ok = false;
    savedErrno = errno;
  }
  if (::close(fd) != 0 && ok) {
    ok = false;
    savedErrno = errno;
  }
  if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
    ok = false;
    savedErrno = errno;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    *error = "cannot write " + path + ": " + std::strerror(savedErrno);
  }
  return ok;
}

bool ReadRawLog(const std::string& path, std::vector<std::uint8_t>* bytes, std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open log file " + path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<std::uint8_t> data;
  std::uint8_t buf[65536];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = "cannot read log file " + path + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    data.insert(data.end(), buf, buf + n);
  }
  ::close(fd);
  if (data.size() % proto::kRecordSize != 0) {
    *error = "log file " + path + " holds " + std::to_string(data.size()) +
             " bytes, not a whole number of 20-byte records";
    return false;
  }
  *bytes = std::move(data);
  return true;
}

}  // namespace zd573::sim
