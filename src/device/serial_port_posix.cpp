// The serial port on a POSIX terminal device (termios).
#include "device/device_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "device/timing.h"

namespace zd573 {
namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

ErrorCode OpenErrorCode(int err) {
  switch (err) {
    case EACCES:
    case EPERM: return ErrorCode::Permission;
    case EBUSY:
    case EWOULDBLOCK: return ErrorCode::Busy;
    default: return ErrorCode::PortOpen;
  }
}

Error OpenError(const std::string& path, int err, std::string reason = {}) {
  Error e = Error{path + ": " + (reason.empty() ? ErrnoText(err) : reason), OpenErrorCode(err), {}}.Names(
      reason.empty() ? MessageKind::None : MessageKind::PortInUse, path);
  e.systemError = err;
  return e;
}

// A failed write, with the errno a window can put in the user's language.
Error WriteError(int err, ErrorCode code) {
  Error e{ErrnoText(err), code, {}};
  e.systemError = err;
  return e;
}

void ConfigureLine(int fd) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return;  // a failed line setup is not fatal, as on the device's own host
  cfmakeraw(&tio);
  cfsetispeed(&tio, B115200);
  cfsetospeed(&tio, B115200);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  // Return at once with what is there, else wait at most 100 ms for a first byte.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 1;
  tcsetattr(fd, TCSANOW, &tio);
  // DTR and RTS inactive; a pseudo-terminal refuses this and that is fine.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &lines);
}

}  // namespace

std::string DevRoot() {
  const char* root = std::getenv("ZD573_DEV_ROOT");
  return root && *root ? root : "/dev";
}

std::string PortPath(const std::string& portName) {
  if (portName.find('/') != std::string::npos) return portName;
  return DevRoot() + "/" + portName;
}

SerialPort::~SerialPort() { Close(); }

Status SerialPort::Open(const std::string& portName) {
  Close();
  if (portName.empty()) return Error{"No port name", ErrorCode::PortOpen, {}}.Names(MessageKind::NoPortName);
  const std::string path = PortPath(portName);
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OpenError(path, errno);
  if (!isatty(fd)) {
    ::close(fd);
    return Error{path + ": not a serial port", ErrorCode::PortOpen, {}}.Names(MessageKind::NotSerialPort, path);
  }
  // Exclusive use: TIOCEXCL keeps other openers out (root excepted), the lock
  // keeps out a second copy of this program even when it runs as root.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    return OpenError(path, err, err == EWOULDBLOCK ? "in use by another program" : "");
  }
  ioctl(fd, TIOCEXCL);
  ConfigureLine(fd);
  tcflush(fd, TCIOFLUSH);
  fd_.store(fd);
  return {};
}

int SerialPort::Read(std::uint8_t* buffer, std::size_t max) {
  const int fd = static_cast<int>(fd_.load());
  if (fd < 0) return -1;
  if (max == 0) return 0;
  pollfd p{fd, POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&p, 1, static_cast<int>(timing::kReadFirstByte.count()));
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return -1;
  if (ready == 0) return 0;
  if (p.revents & POLLIN) {
    ssize_t n;
    do {
      n = ::read(fd, buffer, max);
    } while (n < 0 && errno == EINTR);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && errno == EAGAIN) return 0;
    return -1;  // end of file after readiness: the other end hung up
  }
  return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) ? -1 : 0;
}

Status SerialPort::WriteBytes(std::string_view bytes, const std::stop_token& stop) {
  const int fd = static_cast<int>(fd_.load());
  if (fd < 0) return Error{"The port is not open", ErrorCode::Disconnected, {}}.Names(MessageKind::PortNotOpen);
  auto deadline = std::chrono::steady_clock::now() + timing::kWriteTimeout;
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      const int err = errno;
      return WriteError(err, err == EIO || err == ENXIO || err == ENODEV ? ErrorCode::Disconnected : ErrorCode::Write);
    }
    if (stop.stop_requested()) return WriteStopped();
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Error{"Write timed out", ErrorCode::Write, {}}.Names(MessageKind::WriteTimedOut);
    pollfd p{fd, POLLOUT, 0};
    const auto wait = std::min(left, timing::kStopCheck);
    if (::poll(&p, 1, static_cast<int>(wait.count())) < 0 && errno != EINTR) return WriteError(errno, ErrorCode::Write);
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
      return Error{"The port was disconnected", ErrorCode::Disconnected, {}}.Names(MessageKind::PortDisconnected);
  }
  return {};
}

void SerialPort::Purge() {
  const int fd = static_cast<int>(fd_.load());
  if (fd >= 0) tcflush(fd, TCIOFLUSH);
}

void SerialPort::Close() {
  const int fd = static_cast<int>(fd_.exchange(-1));
  if (fd < 0) return;
  ioctl(fd, TIOCNXCL);  // the flag would outlive us on a terminal someone else keeps open
  ::close(fd);
}

std::string_view PortAdvice(ErrorCode code) {
  switch (code) {
    case ErrorCode::Permission:
      return "You may not use this serial port. Add yourself to the dialout group (sudo usermod -aG dialout "
             "$USER, then log in again) or install the udev rule 60-zd573.rules.";
    case ErrorCode::Busy:
      return "Another program is using the port: close it (a second copy of this utility, a terminal program, "
             "or ModemManager) and try again.";
    case ErrorCode::PortOpen:
    case ErrorCode::Disconnected:
      return "Check that the tracker is plugged in and switched on.";
    default: return {};
  }
}

}  // namespace zd573
