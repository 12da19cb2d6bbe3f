#include "device/device_job.h"

#include <condition_variable>
#include <mutex>
#include <system_error>

namespace zd573 {

bool PauseUnlessStopped(std::chrono::milliseconds pause, const std::stop_token& stop) {
  if (!stop.stop_possible()) {
    std::this_thread::sleep_for(pause);
    return true;
  }
  std::mutex m;
  std::condition_variable_any cv;
  std::unique_lock lock(m);
  return !cv.wait_for(lock, stop, pause, [] { return false; }) && !stop.stop_requested();
}

Error ThreadStartFailure(const std::system_error& failure) {
  return Error{std::string(kUnableToCreateThread), ErrorCode::Thread, failure.what()}.Names(MessageKind::ThreadFailed);
}

Status DeviceWorker::Start(std::unique_ptr<DevicePort> port, Job job) {
  Stop();
  port_ = std::move(port);
  observer_.JobStarting();
  running_ = true;
  try {
    thread_ = std::jthread([this, job = std::move(job)](std::stop_token stop) {
      job(*port_, stop);
      running_ = false;
    });
  } catch (const std::system_error& e) {
    running_ = false;
    port_->Close();
    port_.reset();
    return ThreadStartFailure(e);
  }
  return {};
}

void DeviceWorker::Stop() {
  observer_.JobStopping();
  if (thread_.joinable()) {
    thread_.request_stop();
    thread_.join();
  }
  // Only now, with the job's thread gone, may the port be closed.
  if (port_) port_->Close();
  port_.reset();
  running_ = false;
}

}  // namespace zd573
