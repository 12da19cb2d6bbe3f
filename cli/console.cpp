// What the console of every platform shares: signals turned into stop tokens.
#include "console.h"

#include "device/device_job.h"

namespace zd573::cli {
namespace {

// How often the count is looked at: well within the second a person waits.
constexpr std::chrono::milliseconds kSignalLook{50};

std::stop_source& FirstStop() {
  static std::stop_source source;
  return source;
}

std::stop_source& SecondStop() {
  static std::stop_source source;
  return source;
}

}  // namespace

// A handler may only note the signal; this thread requests the stops.
InterruptGuard::InterruptGuard() {
  detail::CatchSignals(true);
  watch_ = std::jthread([](std::stop_token over) {
    while (PauseUnlessStopped(kSignalLook, over)) {
      const int n = detail::SignalCount();
      if (n >= 1) FirstStop().request_stop();
      if (n >= 2) SecondStop().request_stop();
    }
  });
}

InterruptGuard::~InterruptGuard() {
  watch_.request_stop();
  watch_.join();
  detail::CatchSignals(false);
}

int InterruptGuard::Count() { return detail::SignalCount(); }

std::string InterruptGuard::FirstName() { return detail::FirstSignalName(); }

std::stop_token InterruptGuard::Stop() { return FirstStop().get_token(); }

std::stop_token InterruptGuard::Now() { return SecondStop().get_token(); }

}  // namespace zd573::cli
