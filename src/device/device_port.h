#pragma once
// The serial link to the tracker. The read workflow and the log reader only see
// the DevicePort interface; SerialPort fills it with termios
// (serial_port_posix.cpp) or the Win32 communications functions
// (serial_port_win32.cpp).
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "common/result.h"
#include "device/timing.h"

namespace zd573 {

// The fixed message callers show when the port cannot be opened.
inline constexpr std::string_view kOpenPortFailed = "Unable to open COM-port";

class DevicePort {
 public:
  virtual ~DevicePort() = default;
  // Opens and configures the port; the error text says why not (e.g. "Permission denied").
  virtual Status Open(const std::string& portName) = 0;
  virtual bool IsOpen() const = 0;
  // Returns the bytes already waiting, else waits up to 100 ms for a first byte.
  // 0 means nothing arrived; -1 means the port failed (unplugged, hung up, closed).
  virtual int Read(std::uint8_t* buffer, std::size_t max) = 0;
  // Writes the whole sentence. A stop request ends a write the line cannot
  // take (ErrorCode::Stopped) within timing::kStopCheck, so joining its thread is quick.
  Status Write(std::string_view bytes, const std::stop_token& stop = {}) { return WriteBytes(bytes, stop); }
  // Discards what waits in both directions.
  virtual void Purge() = 0;
  // Only the owner closes, after any reader thread has been joined.
  virtual void Close() = 0;

 protected:
  virtual Status WriteBytes(std::string_view bytes, const std::stop_token& stop) = 0;
};

// The device node for a port name: a bare name such as "ttyACM0" lives in the
// device directory (ZD573_DEV_ROOT, default /dev); a name with a slash is a
// path. On Windows "COM7" opens as \\.\COM7 and DevRoot() is \\.\.
std::string PortPath(const std::string& portName);
std::string DevRoot();

class SerialPort final : public DevicePort {
 public:
  SerialPort() = default;
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  Status Open(const std::string& portName) override;
  bool IsOpen() const override { return fd_.load() != -1; }
  int Read(std::uint8_t* buffer, std::size_t max) override;
  void Purge() override;
  void Close() override;

 protected:
  Status WriteBytes(std::string_view bytes, const std::stop_token& stop) override;

 private:
  // The file descriptor, or the Win32 HANDLE; -1 (INVALID_HANDLE_VALUE) when closed.
  std::atomic<std::intptr_t> fd_{-1};
};

// A view of an open port for a job that must not close it: the view forwards
// everything but Close, which ends the view only. The command line holds one
// port from the identification to its last sentence this way, so a tracker
// swapped on the port in between never receives the first one's values.
std::unique_ptr<DevicePort> BorrowPort(DevicePort& port);

// A write given up because its thread was asked to stop (ErrorCode::Stopped).
Error WriteStopped();

// What a person can do about a port that failed for this reason; empty when nothing useful.
std::string_view PortAdvice(ErrorCode code);

// Opens the named port, or fails with "Unable to open COM-port", the kind of
// failure and the system's reason as detail.
Expected<std::unique_ptr<DevicePort>> OpenComPort(const std::string& portName);

// What a person is told while a port another program holds is tried again.
inline constexpr std::string_view kPortBusyRetrying = "The port is busy (another program has it open); retrying ...";

// OpenComPort, patient with a port that another program holds (a modem
// manager probing a tracker just plugged in): `busy` is called before each
// wait, and the open is tried again every `every` until `patience` has passed
// (then the Busy failure is returned) or a stop is requested (Stopped). Any
// other failure returns at once.
Expected<std::unique_ptr<DevicePort>> OpenComPortWhenFree(const std::string& portName, const std::stop_token& stop = {},
                                                          const std::function<void()>& busy = {},
                                                          std::chrono::milliseconds patience = timing::kBusyPortPatience,
                                                          std::chrono::milliseconds every = timing::kBusyPortRetry);

}  // namespace zd573
