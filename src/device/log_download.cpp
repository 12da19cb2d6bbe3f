#include "device/log_download.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <thread>

#include "common/files.h"
#include "settings/paths.h"

#include "device/protocol.h"
#include "device/sentences.h"

namespace zd573 {
namespace {

std::string_view View(const std::uint8_t* p, std::size_t n) { return {reinterpret_cast<const char*>(p), n}; }

}  // namespace

LogStreamReceiver::LogStreamReceiver(LogObserver& observer, std::string rawPath)
    : observer_(observer), rawPath_(std::move(rawPath)) {}

LogStreamReceiver::~LogStreamReceiver() { DiscardFile(); }

std::size_t LogStreamReceiver::Room() const { return std::min(kMaxRead, kBufferSize - fill_); }

bool LogStreamReceiver::TakeProgress() {
  bool p = progressed_;
  progressed_ = false;
  return p;
}

void LogStreamReceiver::DiscardFile() { file_.Remove(); }

void LogStreamReceiver::FailFile(std::string_view what, const std::string& reason) {
  fileFailure_ = std::string(what) + " " + rawPath_ + ": " + reason;
  DiscardFile();
}

bool LogStreamReceiver::OpenFile() {
  // A folder in the raw file's place cannot be replaced: say so now, not
  // after the whole log has come in.
  if (files::KindOf(rawPath_) == files::Kind::Directory) {
    FailFile("Cannot create", "Is a directory");
    return false;
  }
  const std::filesystem::path raw = files::PathFromUtf8(rawPath_);
  const std::string base = files::PathToUtf8(raw.filename());
  const bool created = file_.CreateUnique([&](const std::string& suffix) {
    return files::PathToUtf8(raw.parent_path() / files::PathFromUtf8("." + base + "." + suffix + ".part"));
  });
  if (created) return true;
  FailFile("Cannot create", file_.Reason());
  return false;
}

bool LogStreamReceiver::CommitFile() {
  // On disk before it replaces the old raw file, so a crash cannot leave an empty one.
  if (!file_.Sync() || !file_.Close()) {
    FailFile("Cannot write", file_.Reason());
    return false;
  }
  // The rename replaces a link named like the raw file, never what it points to.
  if (!file_.RenameOver(rawPath_)) {
    FailFile("Cannot replace", file_.Reason());
    return false;
  }
  return true;
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
    // Nothing new. Stray or corrupt bytes can look like the start of a packet
    // longer than what follows them; a whole packet behind such a start, which
    // may be the log's last, must not wait for bytes that never come.
    if (SkipFalseStart()) {
      while (!ended_ && fill_ > 0 && Step()) {
      }
      return;
    }
    // Make room so a lost line or marker can be found in later data. A packet
    // whose rest is still on its way is kept: a pause inside a packet must not
    // cost its records. It always fits, since its length is one byte.
    if (fill_ > 240 && !AwaitingPacket()) Remove(16);
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

bool LogStreamReceiver::AwaitingPacket() const {
  if (state_ != State::Packets || fill_ < 3) return false;
  const std::size_t len = buffer_[2];
  return buffer_[0] == proto::kPacketStart && buffer_[1] == proto::kPacketDollar &&
         len >= static_cast<std::size_t>(proto::kPacketOverhead) && len > fill_;
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
    if (!OpenFile()) {
      End(kLogFileFailed);
      return false;
    }
    counted_ = true;
    total_ = total;
    received_ = 0;
    damaged_ = 0;
    records_.clear();
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
    const std::size_t payload = len - proto::kPacketOverhead;
    const bool logPacket = p[3] == proto::kLogPacketType && payload % proto::kRecordSize == 0;
    if (!WholePacket(p, len)) {
      // Framed like a log packet but failing its check: its records are lost,
      // yet they count toward the total, so one damaged packet costs only itself.
      if (logPacket && payload > 0 && p[len - 1] == proto::kPacketEnd) {
        damaged_ += static_cast<std::uint32_t>(payload / proto::kRecordSize);
        progressed_ = true;
        ReportProgress();
        i += len;
      } else {
        ++i;
      }
      continue;
    }
    if (logPacket) {
      if (payload > 0 && !file_.Write(p + 6, payload)) {
        // A full disk: the partial file goes, so it does not keep the space.
        FailFile("Cannot write", file_.Reason());
        Remove(i + len);
        End(kLogFileFailed);
        return false;
      }
      records_.insert(records_.end(), p + 6, p + 6 + payload);
      received_ += static_cast<std::uint32_t>(payload / proto::kRecordSize);
      // Only records move a download on: a stream of empty packets must still time out.
      if (payload > 0) {
        progressed_ = true;
        ReportProgress();
      }
    }
    i += len;
  }
  // Keep an incomplete packet from i on; bytes before it belong to no packet.
  Remove(i);
  return false;
}

void LogStreamReceiver::ReportProgress() {
  const std::uint64_t done = std::uint64_t{received_} + damaged_;
  observer_.LogProgress({static_cast<std::uint32_t>(std::min<std::uint64_t>(done, total_)), total_});
}

bool LogStreamReceiver::Settle(bool evenMidPacket) {
  if (ended_ || !CountReached() || (AwaitingPacket() && !evenMidPacket)) return false;
  state_ = State::WaitCount;
  End(!CommitFile() ? kLogFileFailed : damaged_ > 0 ? kLogCompleteWithLosses : kLogComplete);
  return true;
}

bool LogStreamReceiver::WholePacket(const std::uint8_t* p, std::size_t len) {
  std::uint8_t check = 0;
  for (std::size_t k = 2; k + 2 < len; ++k) check ^= p[k];
  return p[len - 1] == proto::kPacketEnd && p[len - 2] == check;
}

bool LogStreamReceiver::SkipFalseStart() {
  if (state_ != State::Packets) return false;
  for (std::size_t j = 1; j + proto::kPacketOverhead <= fill_; ++j) {
    const std::uint8_t* p = buffer_ + j;
    const std::size_t len = p[2];
    if (p[0] == proto::kPacketStart && p[1] == proto::kPacketDollar &&
        len >= static_cast<std::size_t>(proto::kPacketOverhead) && j + len <= fill_ && WholePacket(p, len)) {
      Remove(j);
      return true;
    }
  }
  return false;
}

LogDownload::LogDownload(LogObserver& observer, LogDownloadOptions options)
    : observer_(observer), options_(std::move(options)), worker_(observer) {}

LogDownload::~LogDownload() { Stop(); }

Status LogDownload::Start(std::unique_ptr<DevicePort> port) {
  Stop();
  if (options_.rawPath.empty()) {
    auto raw = settings::RawLogPath();
    if (!raw) return raw.failure();
    options_.rawPath = std::move(raw.value());
  }
  cancel_ = false;
  {
    std::lock_guard lock(detailMutex_);
    requestFailure_.reset();
  }
  return worker_.Start(std::move(port), [this](DevicePort& p, std::stop_token stop) { Run(p, stop); });
}

std::string LogDownload::EndDetail() const {
  std::lock_guard lock(detailMutex_);
  return endDetail_;
}

std::vector<std::uint8_t> LogDownload::Records() const {
  std::lock_guard lock(detailMutex_);
  return records_;
}

LogDownload::Tally LogDownload::EndTally() const {
  std::lock_guard lock(detailMutex_);
  return tally_;
}

namespace {

std::string Count(std::uint32_t n, std::string_view what) {
  return std::to_string(n) + " " + std::string(what) + (n == 1 ? "" : "s");
}

// What the user is told about a download that reached its count.
std::string CompleteDetail(const LogStreamReceiver& r) {
  std::string detail;
  if (r.Damaged() > 0)
    detail = Count(r.Damaged(), "record") + " of " + std::to_string(r.Total()) +
             " came in damaged packets and were left out.";
  if (r.Received() > r.Total()) {
    detail += (detail.empty() ? "" : " ") + Count(r.Received(), "record") + " arrived, more than the " +
              std::to_string(r.Total()) + " the tracker announced; all were kept.";
  }
  return detail;
}

}  // namespace

void LogDownload::Keep(const LogStreamReceiver& receiver, std::string detail, bool silent) {
  std::lock_guard lock(detailMutex_);
  endDetail_ = std::move(detail);
  records_ = receiver.Records();
  tally_ = {receiver.Received(), receiver.Damaged(), receiver.Total(), receiver.CountSeen(), silent};
}

void LogDownload::Finish(LogStreamReceiver& receiver, int code, std::string detail, bool silent) {
  receiver.DiscardFile();
  Keep(receiver, std::move(detail), silent);
  observer_.LogEnded(code);
}

std::optional<Error> LogDownload::RequestFailure() const {
  std::lock_guard lock(detailMutex_);
  return requestFailure_;
}

void LogDownload::Run(DevicePort& port, std::stop_token stop) {
  using clock = std::chrono::steady_clock;
  {
    std::lock_guard lock(detailMutex_);
    endDetail_.clear();
  }
  // Sent here, not by Start: a line that takes nothing keeps this thread, not the caller's.
  if (Status w = port.Write(BuildLogDownloadQuery(), stop); !w) {
    if (stop.stop_requested()) return;
    Error request{"Unable to send the download request to the tracker", w.code()};
    {
      std::lock_guard lock(detailMutex_);
      requestFailure_ = Because(std::move(request).Names(MessageKind::DownloadRequestFailed), w.failure());
    }
    observer_.LogEnded(kLogRequestFailed);
    return;
  }
  // The receiver's own ends (complete, no data, file failure) pass through
  // here, so their detail is in place before the observer hears of them.
  class Relay final : public LogObserver {
   public:
    explicit Relay(LogDownload& download) : download_(download) {}
    void LogProgress(Progress progress) override { download_.observer_.LogProgress(progress); }
    void LogEnded(int code) override {
      if (receiver) {
        const bool complete = code == kLogComplete || code == kLogCompleteWithLosses;
        download_.Keep(*receiver, complete ? CompleteDetail(*receiver) : receiver->FileFailure());
      }
      download_.observer_.LogEnded(code);
    }
    const LogStreamReceiver* receiver = nullptr;

   private:
    LogDownload& download_;
  } relay(*this);
  LogStreamReceiver receiver(relay, options_.rawPath);
  relay.receiver = &receiver;
  std::uint8_t chunk[LogStreamReceiver::kMaxRead];
  auto lastByte = clock::now();
  auto lastProgress = lastByte;
  while (!receiver.Ended()) {
    if (stop.stop_requested()) {
      // Stopped by the owner (a Cancel): what arrived stays for it to export.
      Keep(receiver, {});
      break;
    }
    if (cancel_.load()) {
      Finish(receiver, kLogAborted, {});
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::size_t room = receiver.Room();
    int n = room > 0 ? port.Read(chunk, room) : 0;
    if (n < 0) {
      // The tracker was unplugged or the line hung up.
      Finish(receiver, kLogAborted, {});
      break;
    }
    auto now = clock::now();
    if (n > 0) lastByte = now;
    receiver.Feed(chunk, static_cast<std::size_t>(n));
    if (receiver.TakeProgress()) lastProgress = now;
    if (receiver.Ended()) break;
    // The count is reached: what still comes belongs to this log, so the end
    // waits until packets stop coming.
    const auto quiet = now - lastProgress;
    if (receiver.CountReached() && quiet >= options_.settleLimit &&
        receiver.Settle(quiet >= 2 * options_.settleLimit))
      break;
    const bool silent = now - lastByte >= options_.silenceLimit;
    if (silent || now - lastProgress >= options_.stallLimit) {
      Finish(receiver, kLogTimedOut, UnfinishedDetail(receiver, silent), silent);
      break;
    }
  }
}

std::string LogDownload::UnfinishedDetail(const LogStreamReceiver& r, bool silent) {
  if (!r.CountSeen())
    return silent ? "The tracker sent nothing after the download request."
                  : "The tracker did not say how many records it holds.";
  std::string detail = std::string(silent ? "The tracker went silent" : "The tracker stopped sending records") +
                       " before the count it announced was reached: " + std::to_string(r.Received()) + " of " +
                       std::to_string(r.Total()) + " records arrived.";
  if (r.Damaged() > 0) detail += " " + Count(r.Damaged(), "record") + " came in damaged packets.";
  return detail;
}

}  // namespace zd573
