#pragma once
// The port a tracker was identified on, held open until the session with it
// ends, so that nothing meant for it can reach another tracker put behind the
// same name. While no operation uses it, an idle watch on a thread of its own
// reads and drops what the tracker says by itself (its status lines must not
// pile up) and notices the line going away. An operation leases the port: the
// watch pauses, the operation gets a view of the port for whatever thread it
// runs on, and the watch resumes once that view is destroyed.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include "common/result.h"
#include "device/device_port.h"

namespace zd573 {

// What a lease fails with when nothing is held, or the port was lost or let go.
Error PortNotHeld();

class HeldPort : public std::enable_shared_from_this<HeldPort> {
 public:
  // Called once, on the thread that saw it, when the port fails (end of file,
  // an I/O error, a hang-up): never after Release.
  using LostHandler = std::function<void(const Error&)>;

  // Takes an open port; the watch starts with Watch.
  static std::shared_ptr<HeldPort> Hold(std::unique_ptr<DevicePort> port);
  ~HeldPort();
  HeldPort(const HeldPort&) = delete;
  HeldPort& operator=(const HeldPort&) = delete;

  // Starts the idle watch; `lost` hears of a port that failed.
  Status Watch(LostHandler lost);
  // The port for one operation, exclusively, until the returned view is
  // destroyed; its Close ends the view only. Reads and writes wait for a read
  // of the watch under way to end. A view whose port failed, or that outlives
  // Release, reads nothing and writes nothing (Disconnected). Fails while
  // another lease is out, and once the port was lost or let go.
  Expected<std::unique_ptr<DevicePort>> Lease();
  // Lets the port go: no lease can be taken any more, one still out fails its
  // next read or write, the watch ends. The port closes once the last lease
  // is gone. Not from the watch's thread.
  void Release();
  bool Lost() const;

 private:
  class View;
  explicit HeldPort(std::unique_ptr<DevicePort> port) : port_(std::move(port)) {}
  void WatchLoop(std::stop_token stop);
  // Waits for a read of the watch to end; false when the port may not be used.
  bool AwaitWatch();
  void EndLease();
  void MarkLost();

  std::unique_ptr<DevicePort> port_;
  LostHandler onLost_;
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  bool leased_ = false;
  bool reading_ = false;  // the watch is in a read
  bool lost_ = false;
  bool released_ = false;
  std::jthread watch_;
};

}  // namespace zd573
