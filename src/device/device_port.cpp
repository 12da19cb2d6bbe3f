// What every platform's serial port shares: opening with the fixed message,
// and a borrowed view of an open port.
#include "device/device_port.h"

#include "device/device_job.h"

namespace zd573 {
namespace {

class BorrowedPort final : public DevicePort {
 public:
  explicit BorrowedPort(DevicePort& port) : port_(port) {}
  Status Open(const std::string&) override { return Error{"A borrowed port cannot be opened", ErrorCode::PortOpen, {}}; }
  bool IsOpen() const override { return !closed_.load() && port_.IsOpen(); }
  int Read(std::uint8_t* buffer, std::size_t max) override { return closed_.load() ? -1 : port_.Read(buffer, max); }
  void Purge() override {
    if (!closed_.load()) port_.Purge();
  }
  void Close() override { closed_ = true; }

 protected:
  Status WriteBytes(std::string_view bytes, const std::stop_token& stop) override {
    if (closed_.load()) return Error{"The port is not open", ErrorCode::Disconnected, {}};
    return port_.Write(bytes, stop);
  }

 private:
  DevicePort& port_;
  std::atomic<bool> closed_{false};
};

}  // namespace

Error WriteStopped() { return Error{"The write was stopped", ErrorCode::Stopped, {}}.Names(MessageKind::Stopped); }

std::unique_ptr<DevicePort> BorrowPort(DevicePort& port) { return std::make_unique<BorrowedPort>(port); }

Expected<std::unique_ptr<DevicePort>> OpenComPort(const std::string& portName) {
  auto port = std::make_unique<SerialPort>();
  if (auto s = port->Open(portName); !s) {
    return Because(Error{std::string(kOpenPortFailed), s.code()}.Names(MessageKind::OpenPortFailed), s.failure());
  }
  return std::unique_ptr<DevicePort>(std::move(port));
}

Expected<std::unique_ptr<DevicePort>> OpenComPortWhenFree(const std::string& portName, const std::stop_token& stop,
                                                          const std::function<void()>& busy,
                                                          std::chrono::milliseconds patience,
                                                          std::chrono::milliseconds every) {
  const auto giveUp = std::chrono::steady_clock::now() + patience;
  for (;;) {
    auto port = OpenComPort(portName);
    if (port || port.failure().code != ErrorCode::Busy || std::chrono::steady_clock::now() >= giveUp) return port;
    if (busy) busy();
    if (!PauseUnlessStopped(every, stop))
      return Error{"Stopped while the port was busy", ErrorCode::Stopped, {}}.Names(MessageKind::Stopped);
  }
}


}  // namespace zd573
