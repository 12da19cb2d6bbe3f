#include "common/owner_thread.h"

namespace zd573 {

void CallQueue::PostAfter(std::chrono::milliseconds delay, std::function<void()> call) {
  {
    std::lock_guard lock(mutex_);
    calls_.emplace(Clock::now() + delay, std::move(call));
  }
  wake_.notify_all();
}

bool CallQueue::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const Clock::time_point end = Clock::now() + limit;
  for (;;) {
    if (done()) return true;
    std::function<void()> call;
    {
      std::unique_lock lock(mutex_);
      for (;;) {
        const Clock::time_point now = Clock::now();
        if (!calls_.empty() && calls_.begin()->first <= now) break;
        if (now >= end) return done();
        const Clock::time_point until = calls_.empty() ? end : std::min(end, calls_.begin()->first);
        wake_.wait_until(lock, until);
      }
      call = std::move(calls_.begin()->second);
      calls_.erase(calls_.begin());
    }
    call();
  }
}

}  // namespace zd573
