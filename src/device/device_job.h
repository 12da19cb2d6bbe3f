#pragma once
// One worker thread for a job on the tracker's port. The settings read and the
// log download both run on it, so starting, stopping and closing the port are
// written once: the worker owns the port and closes it only after the job's
// thread has been joined, never under a read.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string_view>
#include <system_error>
#include <thread>

#include "common/owner_thread.h"
#include "common/result.h"
#include "device/device_port.h"

namespace zd573 {

// Sleeps for `pause` unless a stop comes first; false when stopped.
bool PauseUnlessStopped(std::chrono::milliseconds pause, const std::stop_token& stop);

// A stop that comes with the first of two: a wait that has nothing to finish
// ends on either level of a two-level stop ("finish the page", "now").
class EitherStop {
 public:
  EitherStop(const std::stop_token& a, const std::stop_token& b)
      : a_(a, Request{&source_}), b_(b, Request{&source_}) {}
  std::stop_token Token() const { return source_.get_token(); }

 private:
  struct Request {
    std::stop_source* source;
    void operator()() const { source->request_stop(); }
  };
  std::stop_source source_;
  std::stop_callback<Request> a_;
  std::stop_callback<Request> b_;
};

inline constexpr std::string_view kUnableToCreateThread = "Unable to create thread";
// "Unable to create thread", with the system's reason.
Error ThreadStartFailure(const std::system_error& failure);

// How far a job has got: `done` of `total` (keys read, log records received).
struct Progress {
  std::uint32_t done = 0;
  std::uint32_t total = 0;
  friend bool operator==(const Progress&, const Progress&) = default;
};

// What a job reports to. The job's own notices are called on the worker's
// thread; the two hooks on the thread that starts or stops the worker.
class JobObserver {
 public:
  virtual ~JobObserver() = default;
  // A job is about to run; any earlier job of this worker has ended.
  virtual void JobStarting() {}
  // The job is being stopped: whatever it still reports is no longer wanted.
  // Called before the worker waits for it.
  virtual void JobStopping() {}
};

// An observer whose notices go to the owner's thread: each run of the job
// gets a ticket when it starts, cut when the job is told to stop, so nothing
// a stopped job said, queued or still to come, reaches the owner.
template <class Observer>
class OwnerObserver : public Observer {
 public:
  explicit OwnerObserver(OwnerThread& owner) : owner_(owner) {}
  // Before the job's thread starts, so the job reads the new relay.
  void JobStarting() override { relay_ = Relay(owner_, lifeline_.Renew()); }
  void JobStopping() override { lifeline_.Cut(); }

 protected:
  template <class F>
  void Post(F call) const {
    relay_.Post(std::move(call));
  }

 private:
  OwnerThread& owner_;
  Lifeline lifeline_;
  Relay relay_;
};

class DeviceWorker {
 public:
  // Runs on the worker's thread with the open port until it is done or a stop
  // is requested. It may close the port itself when it no longer needs it.
  using Job = std::function<void(DevicePort& port, std::stop_token stop)>;

  explicit DeviceWorker(JobObserver& observer) : observer_(observer) {}
  ~DeviceWorker() { Stop(); }
  DeviceWorker(const DeviceWorker&) = delete;
  DeviceWorker& operator=(const DeviceWorker&) = delete;

  // Takes the open port and runs `job` on a new thread; a job still running is
  // stopped first. Fails with "Unable to create thread" (the port then closed).
  Status Start(std::unique_ptr<DevicePort> port, Job job);
  // Requests the stop, waits for the job to end, then closes the port. Safe to
  // call at any time, from the thread that starts the worker.
  void Stop();
  // From Start until the job returns.
  bool Running() const { return running_.load(); }

 private:
  JobObserver& observer_;
  std::unique_ptr<DevicePort> port_;
  std::jthread thread_;
  std::atomic<bool> running_{false};
};

}  // namespace zd573
