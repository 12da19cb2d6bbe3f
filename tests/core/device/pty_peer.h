#pragma once
// A scripted far end on a real pseudo-terminal, for the line quirks a
// well-behaved simulated tracker never shows (silence after ten lines, bursts).
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "device/device_port.h"

namespace zd573::test {

class PtyPeer {
 public:
  PtyPeer() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) == 0) {
      termios tio{};
      tcgetattr(slave, &tio);
      cfmakeraw(&tio);
      tcsetattr(slave, TCSANOW, &tio);
      slave_ = slave;  // kept open so the line never hangs up between opens
      path_ = name;
    }
  }
  ~PtyPeer() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  const std::string& Path() const { return path_; }
  void Send(const std::string& bytes) {
    std::size_t off = 0;
    while (off < bytes.size()) {
      ssize_t n = ::write(master_, bytes.data() + off, bytes.size() - off);
      if (n <= 0) break;
      off += static_cast<std::size_t>(n);
    }
  }
  // Holds the line's output, as flow control from a far end that reads
  // nothing does: the program's writes wait. Opening the port keeps it held.
  void HoldLine() { tcflow(slave_, TCOOFF); }
  // The far end goes away: the line hangs up.
  void HangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  // Everything the program wrote within `ms` (returns early once `until` is seen).
  std::string Receive(int ms, const std::string& until = "") {
    std::string got;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
        char buf[512];
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        if (!until.empty() && got.find(until) != std::string::npos) break;
      }
    }
    return got;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// A port opened for a job that owns it (a closed one when it cannot open).
inline std::unique_ptr<DevicePort> Opened(const std::string& path) {
  auto port = OpenComPort(path);
  EXPECT_TRUE(port.ok()) << port.error();
  return port ? std::move(port.value()) : std::make_unique<SerialPort>();
}

}  // namespace zd573::test
