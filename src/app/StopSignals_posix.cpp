#include "app/StopSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <signal.h>
#include <unistd.h>

namespace zd573 {

namespace {

// A handler may only write to a pipe; the event loop reads it.
int stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(stopPipe[1], &byte, 1);
}

}  // namespace

std::unique_ptr<QObject> CatchStopSignals() {
  if (::pipe(stopPipe) != 0) return nullptr;
  auto notifier = std::make_unique<QSocketNotifier>(stopPipe[0], QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, [] { QCoreApplication::exit(130); });
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  return notifier;
}

}  // namespace zd573
