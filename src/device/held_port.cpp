#include "device/held_port.h"

#include <cstdint>
#include <system_error>

#include "device/device_job.h"

namespace zd573 {

Error PortNotHeld() {
  return Error{"The port is not open", ErrorCode::Disconnected, {}}.Names(MessageKind::PortNotOpen);
}

namespace {

Error PortLost() {
  return Error{"The port was disconnected", ErrorCode::Disconnected, {}}.Names(MessageKind::PortDisconnected);
}

}  // namespace

// One operation's use of the held port.
class HeldPort::View final : public DevicePort {
 public:
  explicit View(std::shared_ptr<HeldPort> held) : held_(std::move(held)) {}
  ~View() override { held_->EndLease(); }

  Status Open(const std::string&) override { return Error{"A leased port cannot be opened", ErrorCode::PortOpen, {}}; }
  bool IsOpen() const override { return !closed_ && !held_->Lost() && held_->port_->IsOpen(); }
  int Read(std::uint8_t* buffer, std::size_t max) override {
    if (closed_ || !held_->AwaitWatch()) return -1;
    const int n = held_->port_->Read(buffer, max);
    if (n < 0) held_->MarkLost();
    return n;
  }
  void Purge() override {
    if (!closed_ && held_->AwaitWatch()) held_->port_->Purge();
  }
  void Close() override { closed_ = true; }

 protected:
  Status WriteBytes(std::string_view bytes, const std::stop_token& stop) override {
    if (closed_ || !held_->AwaitWatch()) return PortLost();
    Status written = held_->port_->Write(bytes, stop);
    if (!written && written.code() == ErrorCode::Disconnected) held_->MarkLost();
    return written;
  }

 private:
  std::shared_ptr<HeldPort> held_;
  // Used by the one thread the operation runs on.
  bool closed_ = false;
};

std::shared_ptr<HeldPort> HeldPort::Hold(std::unique_ptr<DevicePort> port) {
  return std::shared_ptr<HeldPort>(new HeldPort(std::move(port)));
}

HeldPort::~HeldPort() {
  Release();
  port_->Close();
}

Status HeldPort::Watch(LostHandler lost) {
  onLost_ = std::move(lost);
  try {
    watch_ = std::jthread([this](std::stop_token stop) { WatchLoop(stop); });
  } catch (const std::system_error& e) {
    return ThreadStartFailure(e);
  }
  return {};
}

void HeldPort::WatchLoop(std::stop_token stop) {
  std::uint8_t dropped[256];
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, stop, [&] { return !leased_; });
      if (stop.stop_requested() || lost_ || released_) return;
      reading_ = true;
    }
    // At most one read's wait (100 ms) before a lease or a stop is noticed.
    const int n = port_->Read(dropped, sizeof dropped);
    {
      std::lock_guard lock(mutex_);
      reading_ = false;
    }
    changed_.notify_all();
    if (n < 0) {
      MarkLost();
      return;
    }
  }
}

Expected<std::unique_ptr<DevicePort>> HeldPort::Lease() {
  std::lock_guard lock(mutex_);
  if (lost_ || released_) return PortNotHeld();
  if (leased_)
    return Error{"The tracker is busy with another task", ErrorCode::Busy, {}}.Names(MessageKind::PortLeased);
  leased_ = true;
  return std::unique_ptr<DevicePort>(std::make_unique<View>(shared_from_this()));
}

bool HeldPort::AwaitWatch() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !reading_; });
  return !lost_ && !released_;
}

void HeldPort::EndLease() {
  {
    std::lock_guard lock(mutex_);
    leased_ = false;
  }
  changed_.notify_all();
}

void HeldPort::MarkLost() {
  {
    std::lock_guard lock(mutex_);
    if (lost_ || released_) return;
    lost_ = true;
  }
  changed_.notify_all();
  if (onLost_) onLost_(PortLost());
}

void HeldPort::Release() {
  {
    std::lock_guard lock(mutex_);
    released_ = true;
  }
  changed_.notify_all();
  if (watch_.joinable()) {
    watch_.request_stop();
    watch_.join();
  }
}

bool HeldPort::Lost() const {
  std::lock_guard lock(mutex_);
  return lost_ || released_;
}

}  // namespace zd573
