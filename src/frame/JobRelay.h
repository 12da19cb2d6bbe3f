#pragma once
// Carries a device job's notices from its worker thread to a window's thread
// as queued calls, and drops the notices of a job that has been stopped.
//
// Each run of a job gets a token when it starts, and every notice it sends
// carries that token. Stopping the job retires the token at once, before the
// worker is joined; a notice whose token is no longer current when it reaches
// the window's thread is dropped there. So a notice that was already queued,
// or that the job sends while it is being stopped, can never act on a window
// that has moved on (after Loginout, or once a new search started a new read).
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "device/log_download.h"
#include "device/settings_reader.h"

namespace zd573 {

class JobRelay {
 public:
  // Names one run of a job; 0 names none.
  using Token = std::uint64_t;

  // Notices run on `receiver`'s thread, and not at all once it is gone.
  explicit JobRelay(QObject* receiver) : receiver_(receiver) {}

  // A token for a job about to start; every earlier token is retired.
  // Called from the receiver's thread.
  Token Begin() {
    const Token token = ++last_;
    current_->store(token);
    return token;
  }
  // Retires the current token: that job's notices, queued or still to come, are dropped.
  void Retire() { current_->store(0); }
  bool IsCurrent(Token token) const { return token != 0 && current_->load() == token; }

  // From any thread: runs `call` on the receiver's thread if `token` is still
  // current when it gets there.
  template <class F>
  void Post(Token token, F&& call) const {
    QMetaObject::invokeMethod(
        receiver_,
        [current = current_, token, call = std::forward<F>(call)]() mutable {
          if (token != 0 && current->load() == token) call();
        },
        Qt::QueuedConnection);
  }

 private:
  QObject* receiver_;
  // Shared with the queued calls, so a late one never reads a relay that is gone.
  std::shared_ptr<std::atomic<Token>> current_ = std::make_shared<std::atomic<Token>>(0);
  Token last_ = 0;
};

// A worker's hooks drive the token: it begins when the worker starts a job
// (after the previous one has been joined, so no old notice can take the new
// token) and is retired when the worker is told to stop. One per worker.
template <class Observer>
class RelayedObserver : public Observer {
 public:
  explicit RelayedObserver(QObject* receiver) : relay_(receiver) {}
  void JobStarting() override { token_ = relay_.Begin(); }
  void JobStopping() override { relay_.Retire(); }

 protected:
  template <class F>
  void Post(F&& call) const {
    relay_.Post(token_, std::forward<F>(call));
  }

 private:
  JobRelay relay_;
  // Written only while no job runs; read by the job that started after.
  JobRelay::Token token_ = 0;
};

// The settings read's notices, as calls on the receiver's thread.
class ReadRelay final : public RelayedObserver<ReadObserver> {
 public:
  struct Handlers {
    std::function<void(const std::string& imei, const std::string& userName)> identified{};
    std::function<void(Progress)> progress{};
    std::function<void()> complete{};
    std::function<void(const std::string& why)> failed{};
  };
  ReadRelay(QObject* receiver, Handlers handlers)
      : RelayedObserver(receiver), handlers_(std::make_shared<const Handlers>(std::move(handlers))) {}

  void Identified(const std::string& imei, const std::string& userName) override {
    Post([h = handlers_, imei, userName] {
      if (h->identified) h->identified(imei, userName);
    });
  }
  void ReadProgress(Progress progress) override {
    Post([h = handlers_, progress] {
      if (h->progress) h->progress(progress);
    });
  }
  void ReadComplete() override {
    Post([h = handlers_] {
      if (h->complete) h->complete();
    });
  }
  void ReadFailed(const std::string& why) override {
    Post([h = handlers_, why] {
      if (h->failed) h->failed(why);
    });
  }

 private:
  std::shared_ptr<const Handlers> handlers_;
};

// The log download's notices, as calls on the receiver's thread.
class LogRelay final : public RelayedObserver<LogObserver> {
 public:
  struct Handlers {
    std::function<void(Progress)> progress{};
    std::function<void(int code)> ended{};
  };
  LogRelay(QObject* receiver, Handlers handlers)
      : RelayedObserver(receiver), handlers_(std::make_shared<const Handlers>(std::move(handlers))) {}

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
