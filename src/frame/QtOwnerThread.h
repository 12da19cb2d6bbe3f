#pragma once
// A QObject's thread as the owner's thread of core work: posted calls run in
// its event loop, and not at all once the object is gone.
#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include "common/owner_thread.h"

namespace zd573 {

class QtOwnerThread final : public OwnerThread {
 public:
  explicit QtOwnerThread(QObject* owner) : owner_(owner) {}
  void Post(std::function<void()> call) override {
    QMetaObject::invokeMethod(owner_, std::move(call), Qt::QueuedConnection);
  }
  void PostAfter(std::chrono::milliseconds delay, std::function<void()> call) override {
    // Coarse timers may fire a little early; the tracker's pauses are minimums.
    QTimer::singleShot(delay, Qt::PreciseTimer, owner_, std::move(call));
  }

 private:
  QObject* owner_;
};

}  // namespace zd573
