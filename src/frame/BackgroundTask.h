#pragma once
// Device and disk work off the window thread. The work runs on its own thread;
// its progress and its result come back to the window's thread as queued
// calls, so the window keeps moving and repainting and never waits for it.
// A stopped task's calls are dropped; stopping cuts the work's pauses short.
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>
#include <type_traits>
#include <utility>

namespace zd573 {

class BackgroundTask {
 public:
  // Calls from the work to the window's thread; dropped once the task is stopped.
  class Relay {
   public:
    template <class F>
    void Post(F&& call) const {
      if (!receiver_) return;
      QMetaObject::invokeMethod(
          receiver_,
          [alive = alive_, call = std::forward<F>(call)]() mutable {
            if (alive && alive->load()) call();
          },
          Qt::QueuedConnection);
    }

   private:
    friend class BackgroundTask;
    QObject* receiver_ = nullptr;
    std::shared_ptr<std::atomic<bool>> alive_;
  };

  explicit BackgroundTask(QObject* receiver) : receiver_(receiver) {}
  ~BackgroundTask() { Stop(); }
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;

  // Runs `work(stop, relay)` on a new thread and then `done(result)` on the
  // receiver's thread. A task still running is stopped first.
  template <class Work, class Done>
  void Run(Work work, Done done) {
    Stop();
    auto alive = std::make_shared<std::atomic<bool>>(true);
    alive_ = alive;
    Relay relay;
    relay.receiver_ = receiver_;
    relay.alive_ = alive;
    running_ = true;
    thread_ = std::jthread([this, relay, work = std::move(work), done = std::move(done)](std::stop_token stop) mutable {
      auto result = work(stop, relay);
      // The task object is only touched while it is still current, on its own thread.
      relay.Post([this, done = std::move(done), result = std::move(result)]() mutable {
        Finish();
        done(std::move(result));
      });
    });
  }

  bool Running() const { return running_; }

  // Drops what the work would still report, tells it to stop and waits for it.
  void Stop() {
    if (alive_) alive_->store(false);
    alive_.reset();
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
    alive_.reset();
    running_ = false;
  }

  QObject* receiver_;
  std::shared_ptr<std::atomic<bool>> alive_;
  std::jthread thread_;
  bool running_ = false;
};

}  // namespace zd573
