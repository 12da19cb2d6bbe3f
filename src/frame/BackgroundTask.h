#pragma once
// Device and disk work off the window thread. The work runs on its own thread;
// its progress and its result come back to the window's thread as posted
// calls, so the window keeps moving and repainting and never waits for it.
// The one rule for a late call is the core's (Lifeline): a stopped task's
// calls are dropped. Stopping cuts the work's pauses short; every task's work
// watches its stop token, so a stop waits no longer than a pause's tick.
#include <QObject>

#include <functional>
#include <memory>
#include <stop_token>
#include <system_error>
#include <thread>
#include <utility>

#include "common/owner_thread.h"
#include "common/result.h"
#include "device/device_job.h"
#include "device/log_download.h"
#include "frame/QtOwnerThread.h"

namespace zd573 {

class BackgroundTask {
 public:
  using Relay = zd573::Relay;

  // `startFailed` is told when no thread could be started for a task; the
  // task has then ended without its `done`.
  explicit BackgroundTask(QObject* receiver, std::function<void(const Error&)> startFailed = {})
      : owner_(receiver), startFailed_(std::move(startFailed)) {}
  ~BackgroundTask() { Stop(); }
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;

  // Runs `work(stop, relay)` on a new thread and then `done(result)` on the
  // receiver's thread. A task still running is stopped first.
  template <class Work, class Done>
  void Run(Work work, Done done) {
    Stop();
    const Relay relay(owner_, lifeline_.Renew());
    running_ = true;
    try {
      thread_ = std::jthread([this, relay, work = std::move(work), done = std::move(done)](std::stop_token stop) mutable {
        auto result = work(stop, relay);
        // The task object is only touched while it is still current, on its own thread.
        relay.Post([this, done = std::move(done), result = std::move(result)]() mutable {
          Finish();
          done(std::move(result));
        });
      });
    } catch (const std::system_error& e) {
      lifeline_.Cut();
      running_ = false;
      if (startFailed_) startFailed_(ThreadStartFailure(e));
    }
  }

  bool Running() const { return running_; }

  // Asks the work to stop without dropping what it reports: it ends at its
  // next stop check (a write after the sentence under way) and `done` runs.
  void RequestStop() {
    if (thread_.joinable()) thread_.request_stop();
  }

  // Drops what the work would still report, tells it to stop and waits for it.
  void Stop() {
    lifeline_.Cut();
    if (thread_.joinable()) {
      thread_.request_stop();
      thread_.join();
    }
    running_ = false;
  }

 private:
  void Finish() {
    // The work has posted its last call and is returning.
    if (thread_.joinable()) thread_.join();
    lifeline_.Cut();
    running_ = false;
  }

  QtOwnerThread owner_;
  std::function<void(const Error&)> startFailed_;
  Lifeline lifeline_;
  std::jthread thread_;
  bool running_ = false;
};

namespace detail {
// The owner's thread, made before the observer that posts to it.
struct QtOwner {
  explicit QtOwner(QObject* receiver) : owner(receiver) {}
  QtOwnerThread owner;
};
}  // namespace detail

// The log download's notices, as calls on the receiver's thread; a stopped
// download's are dropped.
class LogRelay final : private detail::QtOwner, public OwnerObserver<LogObserver> {
 public:
  struct Handlers {
    std::function<void(Progress)> progress{};
    std::function<void(int code)> ended{};
  };
  LogRelay(QObject* receiver, Handlers handlers)
      : QtOwner(receiver), OwnerObserver(owner), handlers_(std::make_shared<const Handlers>(std::move(handlers))) {}

  void LogProgress(Progress progress) override {
    Post([h = handlers_, progress] {
      if (h->progress) h->progress(progress);
    });
  }
  void LogEnded(int code) override {
    Post([h = handlers_, code] {
      if (h->ended) h->ended(code);
    });
  }

 private:
  std::shared_ptr<const Handlers> handlers_;
};

}  // namespace zd573
