#include "device/device_job.h"

#include <system_error>

namespace zd573 {

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
    return Error{std::string(kUnableToCreateThread), ErrorCode::Thread, e.what()}.Names(MessageKind::ThreadFailed);
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
