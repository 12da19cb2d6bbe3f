#include "device/log_download.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string_view>
#include <thread>

#include "device/protocol.h"
#include "device/sentences.h"

namespace zd573 {
namespace {

std::string_view View(const std::uint8_t* p, std::size_t n) { return {reinterpret_cast<const char*>(p), n}; }

bool WriteAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

}  // namespace

LogStreamReceiver::LogStreamReceiver(LogObserver& observer, std::string rawPath)
    : observer_(observer), rawPath_(std::move(rawPath)) {}

LogStreamReceiver::~LogStreamReceiver() { CloseFile(); }

std::size_t LogStreamReceiver::Room() const { return std::min(kMaxRead, kBufferSize - fill_); }

bool LogStreamReceiver::TakeProgress() {
  bool p = progressed_;
  progressed_ = false;
  return p;
}

void LogStreamReceiver::CloseFile() {
  if (file_ < 0) return;
  ::fsync(file_);
  ::close(file_);
  file_ = -1;
}

void LogStreamReceiver::End(int code) {
  ended_ = true;
  observer_.LogEnded(code);
}

void LogStreamReceiver::Remove(std::size_t count) {
  std::memmove(buffer_, buffer_ + count, fill_ - count);
  fill_ -= count;
}

void LogStreamReceiver::Feed(const std::uint8_t* bytes, std::size_t count) {
  if (ended_) return;
  if (count == 0) {
    // Nothing new: make room so a lost line or marker can be found in later data.
    if (fill_ > 240) Remove(16);
    return;
  }
  count = std::min(count, kBufferSize - fill_);
  std::memcpy(buffer_ + fill_, bytes, count);
  fill_ += count;
  // Work on what is already here at once: bytes that came with the marker or
  // the count line must not wait for a read that may never come.
  while (!ended_ && fill_ > 0 && Step()) {
  }
}

bool LogStreamReceiver::Step() {
  switch (state_) {
    case State::WaitCount: return StepCount();
    case State::WaitMarker: return StepMarker();
    case State::Packets: return StepPackets();
  }
  return false;
}

bool LogStreamReceiver::StepCount() {
  std::string_view text = View(buffer_, fill_);
  auto at = text.find(proto::kCountPrefix);
  std::size_t eol = at == std::string_view::npos ? at : text.find("\r\n", at);
  if (eol != std::string_view::npos) {
    std::uint32_t total = 0;
    for (std::size_t i = at + proto::kCountPrefix.size(); i < eol && text[i] >= '0' && text[i] <= '9'; ++i)
      total = total * 10 + static_cast<std::uint32_t>(text[i] - '0');
    Remove(eol + 2);
    if (total == 0) {
      End(kLogNoData);
      return false;
    }
    file_ = ::open(rawPath_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file_ < 0) {
      End(kLogFileFailed);
      return false;
    }
    total_ = total;
    received_ = 0;
    state_ = State::WaitMarker;
    progressed_ = true;
    observer_.LogProgress({0, total_});
    return true;
  }
  // Drop the complete lines that are not the count line; keep an unfinished one.
  auto lastBreak = text.rfind("\r\n");
  if (lastBreak != std::string_view::npos) Remove(lastBreak + 2);
  return false;
}

bool LogStreamReceiver::StepMarker() {
  auto at = View(buffer_, fill_).find(proto::kMarkerLine);
  if (at == std::string_view::npos) return false;
  Remove(at + proto::kMarkerLine.size());
  state_ = State::Packets;
  return true;
}

bool LogStreamReceiver::StepPackets() {
  std::size_t i = 0;
  const std::size_t n = fill_;
  while (i < n) {
    const std::uint8_t* p = buffer_ + i;
    if (p[0] != proto::kPacketStart) {
      ++i;
      continue;
    }
    if (n - i < static_cast<std::size_t>(proto::kPacketOverhead)) break;  // wait for more
    if (p[1] != proto::kPacketDollar) {
      ++i;
      continue;
    }
    const std::size_t len = p[2];
    // A length below the packet's own overhead describes no packet.
    if (len < static_cast<std::size_t>(proto::kPacketOverhead)) {
      ++i;
      continue;
    }
    if (i + len > n) break;  // not wholly here yet
    std::uint8_t check = 0;
    for (std::size_t k = 2; k + 2 < len; ++k) check ^= p[k];
    if (p[len - 1] != proto::kPacketEnd || p[len - 2] != check) {
      ++i;
      continue;
    }
    const std::size_t payload = len - proto::kPacketOverhead;
    if (p[3] == proto::kLogPacketType && payload % proto::kRecordSize == 0) {
      if (payload > 0 && !WriteAll(file_, p + 6, payload)) {
        CloseFile();
        Remove(i + len);
        End(kLogFileFailed);
        return false;
      }
      received_ += static_cast<std::uint32_t>(payload / proto::kRecordSize);
      progressed_ = true;
      if (received_ >= total_) {
        CloseFile();
        Remove(i + len);
        state_ = State::WaitCount;
        End(kLogComplete);
        return false;
      }
      observer_.LogProgress({received_, total_});
    }
    i += len;
  }
  // Keep an incomplete packet from i on; bytes before it belong to no packet.
  Remove(i);
  return false;
}

LogDownload::LogDownload(LogObserver& observer, LogDownloadOptions options)
    : observer_(observer), options_(std::move(options)), worker_(observer) {}

LogDownload::~LogDownload() { Stop(); }

Status LogDownload::Start(const std::string& portName) {
  Stop();
  auto port = OpenComPort(portName);
  if (!port) return port.failure();
  if (Status w = port.value()->Write(BuildLogDownloadQuery()); !w) {
    port.value()->Close();
    return Error{"Unable to send the download request to the tracker", w.code(), w.error()};
  }
  cancel_ = false;
  return worker_.Start(std::move(port.value()), [this](DevicePort& p, std::stop_token stop) { Run(p, stop); });
}

void LogDownload::Run(DevicePort& port, std::stop_token stop) {
  using clock = std::chrono::steady_clock;
  LogStreamReceiver receiver(observer_, options_.rawPath);
  std::uint8_t chunk[LogStreamReceiver::kMaxRead];
  auto lastByte = clock::now();
  auto lastProgress = lastByte;
  while (!stop.stop_requested() && !receiver.Ended()) {
    if (cancel_.load()) {
      receiver.CloseFile();
      observer_.LogEnded(kLogAborted);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::size_t room = receiver.Room();
    int n = room > 0 ? port.Read(chunk, room) : 0;
    if (n < 0) {
      // The tracker was unplugged or the line hung up.
      receiver.CloseFile();
      observer_.LogEnded(kLogAborted);
      break;
    }
    auto now = clock::now();
    if (n > 0) lastByte = now;
    receiver.Feed(chunk, static_cast<std::size_t>(n));
    if (receiver.TakeProgress()) lastProgress = now;
    if (receiver.Ended()) break;
    if (now - lastByte >= options_.silenceLimit || now - lastProgress >= options_.stallLimit) {
      receiver.CloseFile();
      observer_.LogEnded(kLogTimedOut);
      break;
    }
  }
}

}  // namespace zd573
