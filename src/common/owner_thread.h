#pragma once
// Work off an owner's thread reports back to it as posted calls. The owner is
// a window's event loop, or a CallQueue for a program without one. One rule
// for a call that comes too late: each run of a job holds a Lifeline ticket;
// ending the run cuts it at once, and a call posted under a cut ticket is
// dropped where it arrives, so it never acts on an owner that has moved on.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace zd573 {

class OwnerThread {
 public:
  virtual ~OwnerThread() = default;
  // From any thread: runs `call` on the owner's thread.
  virtual void Post(std::function<void()> call) = 0;
  // From the owner's thread: runs `call` there after `delay`.
  virtual void PostAfter(std::chrono::milliseconds delay, std::function<void()> call) = 0;
};

class Lifeline {
 public:
  using Ticket = std::shared_ptr<const std::atomic<bool>>;

  Lifeline() = default;
  Lifeline(const Lifeline&) = delete;
  Lifeline& operator=(const Lifeline&) = delete;
  ~Lifeline() { Cut(); }

  // A ticket for a new run; every earlier one is cut.
  Ticket Renew() {
    Cut();
    alive_ = std::make_shared<std::atomic<bool>>(true);
    return alive_;
  }
  // Cuts the current ticket: its calls, queued or still to come, are dropped.
  void Cut() {
    if (alive_) alive_->store(false);
    alive_.reset();
  }
  bool Live() const { return alive_ != nullptr; }

  // `call`, run only while `ticket` is uncut.
  template <class F>
  static std::function<void()> Guard(Ticket ticket, F call) {
    return [ticket = std::move(ticket), call = std::move(call)]() mutable {
      if (ticket && ticket->load()) call();
    };
  }

 private:
  std::shared_ptr<std::atomic<bool>> alive_;
};

// Calls from one run of a job to the owner's thread, under that run's ticket.
class Relay {
 public:
  Relay() = default;
  Relay(OwnerThread& owner, Lifeline::Ticket ticket) : owner_(&owner), ticket_(std::move(ticket)) {}
  // From any thread.
  template <class F>
  void Post(F call) const {
    if (owner_) owner_->Post(Lifeline::Guard(ticket_, std::move(call)));
  }

 private:
  OwnerThread* owner_ = nullptr;
  Lifeline::Ticket ticket_;
};

// An owner's thread for a program without an event loop: it runs the posted
// calls while it waits.
class CallQueue final : public OwnerThread {
 public:
  void Post(std::function<void()> call) override { PostAfter(std::chrono::milliseconds(0), std::move(call)); }
  void PostAfter(std::chrono::milliseconds delay, std::function<void()> call) override;
  // Runs calls as they fall due until `done()` holds or `limit` has passed; whether it held.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

 private:
  using Clock = std::chrono::steady_clock;
  std::mutex mutex_;
  std::condition_variable wake_;
  // By when they fall due, then in the order they were posted.
  std::multimap<Clock::time_point, std::function<void()>> calls_;
};

}  // namespace zd573
