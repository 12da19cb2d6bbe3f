#include "simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "device/protocol.h"
#include "log_gen.h"
#include "sim_protocol.h"
#include "sim_state.h"

namespace zd573::sim {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One piece of output, written whole before the next one starts.
struct Unit {
  std::string bytes;
  bool droppable = false;  // a status line of its own: dropped when nobody reads
  bool stream = false;     // part of a log download
  int pauseMs = 0;         // nothing more is written for this long once it is out
};

// Status lines are dropped once this much output waits unread.
constexpr size_t kMaxQueuedForStatus = 2048;
// A "line" this long without LF is journaled as it is.
constexpr size_t kMaxLine = 4096;
// An unfinished line that gets no more bytes for this long is journaled.
constexpr milliseconds kPartialLineIdle{500};

class Rng {
 public:
  explicit Rng(unsigned seed) : s_(0x2545F4914F6CDD1DULL ^ (static_cast<std::uint64_t>(seed) * 0x9E3779B97F4A7C15ULL)) {
    if (s_ == 0) s_ = 1;
  }
  int Int(int lo, int hi) {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 7;
    s_ ^= s_ << 17;
    return lo + static_cast<int>(s_ % static_cast<std::uint64_t>(hi - lo + 1));
  }

 private:
  std::uint64_t s_;
};

void CloseFd(int* fd) {
  if (*fd >= 0) ::close(*fd);
  *fd = -1;
}

}  // namespace

class Simulator::Impl {
 public:
  explicit Impl(Options options) : opt_(std::move(options)), rng_(opt_.seed) {}

  bool Start(std::string* error);
  void Stop();
  void Run();

  // Shared state, guarded by mu_.
  mutable std::mutex mu_;
  mutable std::condition_variable cv_;
  std::vector<JournalEntry> journal_;
  DeviceState state_;
  std::vector<std::uint8_t> log_;
  int clears_ = 0;
  int answered_ = 0;  // queries answered (answerQueries)
  int melody_ = -1;
  std::string lastError_;  // journal or pty trouble
  std::string saveError_;  // the last state save, "" once one succeeds again

  Options opt_;
  std::string slavePath_;
  void SaveState();

 private:
  long long NowMs() const {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - t0_).count();
  }
  void Handle(const std::string& line, long long ms);
  void AppendJournal(const std::string& line, long long ms);
  void Enqueue(Unit unit);
  void EnqueueStatus(bool droppable);
  void EnqueueLogStream(const std::vector<std::uint8_t>& log);
  void EnqueueReply(const std::vector<std::pair<std::string, std::string>>& pairs);
  bool Flush(Clock::time_point now);
  void PopFront();
  void ReadInput(Clock::time_point now);

  std::mutex saveMu_;  // one state file writer at a time
  // Nothing is saved before Start has read the file: that would overwrite it.
  std::atomic<bool> stateLoaded_{false};
  FILE* journalFile_ = nullptr;
  int master_ = -1;
  int slave_ = -1;  // held for the simulator's whole life so the pty never hangs up
  int wake_[2] = {-1, -1};
  int closeWatch_ = -1;  // inotify: someone closed the slave
  Clock::time_point t0_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  bool started_ = false;

  // Touched by the I/O thread only (and by Stop after the join).
  Rng rng_;
  std::string rx_;
  Clock::time_point rxLast_;
  std::deque<Unit> out_;
  size_t frontDone_ = 0;
  size_t queued_ = 0;
  size_t streamUnits_ = 0;
  bool stalled_ = false;
  unsigned statusCount_ = 0;
  Clock::time_point nextStatus_;
  Clock::time_point nextWrite_;
  Clock::time_point throttle_;
};

bool Simulator::Impl::Start(std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  if (started_) {
    *error = "simulator already started";
    return false;
  }
  if (!opt_.replyFault.empty() && opt_.replyFault != "unterminated" && opt_.replyFault != "garbage") {
    *error = "unknown reply fault " + opt_.replyFault + " (unterminated or garbage)";
    return false;
  }
  if (opt_.lineMs < 0 || opt_.baud < 0 || opt_.badCheckEvery < 0 || opt_.pauseMs < 0) {
    *error = "line interval, baud rate, bad-check interval and pause must not be negative";
    return false;
  }
  if (!opt_.logPath.empty() && opt_.records >= 0) {
    *error = "give either a log file or a record count, not both";
    return false;
  }

  std::vector<std::uint8_t> log;
  if (!opt_.logPath.empty()) {
    if (!ReadRawLog(opt_.logPath, &log, error)) return false;
  } else {
    log = GenerateLog(opt_.records >= 0 ? opt_.records : kDefaultRecords, opt_.seed);
  }

  // Values set before Start stay unless the state file says otherwise.
  DeviceState state;
  {
    std::lock_guard lock(mu_);
    state = state_;
  }
  if (!opt_.statePath.empty()) {
    struct stat st {};
    if (::stat(opt_.statePath.c_str(), &st) == 0) {
      if (!state.Load(opt_.statePath, error)) return false;
    } else if (errno == ENOENT) {
      // Start from factory values and leave them where the caller can see them.
      if (!state.Save(opt_.statePath, error)) return false;
    } else {
      *error = "cannot read state file " + opt_.statePath + ": " + std::strerror(errno);
      return false;
    }
  }

  FILE* journal = nullptr;
  if (!opt_.journalPath.empty()) {
    journal = std::fopen(opt_.journalPath.c_str(), "ae");
    if (!journal) {
      *error = "cannot open journal " + opt_.journalPath + ": " + std::strerror(errno);
      return false;
    }
  }

  auto fail = [&](const std::string& what) {
    *error = what + ": " + std::strerror(errno);
    CloseFd(&slave_);
    CloseFd(&master_);
    CloseFd(&wake_[0]);
    CloseFd(&wake_[1]);
    CloseFd(&closeWatch_);
    if (journal) std::fclose(journal);
    return false;
  };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("cannot open a pseudo-terminal");
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail("cannot unlock the pseudo-terminal");
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) return fail("cannot name the pseudo-terminal");
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) return fail(std::string("cannot open ") + name);
  // Raw both ways: the line discipline must neither echo nor translate.
  termios tio{};
  if (::tcgetattr(slave_, &tio) != 0) return fail("cannot read the terminal settings");
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, B115200);
  ::cfsetospeed(&tio, B115200);
  if (::tcsetattr(slave_, TCSANOW, &tio) != 0) return fail("cannot set raw mode");
  int flags = ::fcntl(master_, F_GETFL);
  if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("cannot make the pty non-blocking");
  if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) return fail("cannot create a pipe");
  // A program that opened the slave exclusively leaves the flag behind when it
  // closes, because our own fd keeps the tty alive; without root its next open
  // would then fail with EBUSY. Watch for closes to clear it. Best effort.
  closeWatch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (closeWatch_ >= 0 && ::inotify_add_watch(closeWatch_, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
    CloseFd(&closeWatch_);

  {
    std::lock_guard lock(mu_);
    state_ = std::move(state);
    log_ = std::move(log);
    journal_.clear();
  }
  slavePath_ = name;
  journalFile_ = journal;
  stateLoaded_ = true;
  stop_ = false;
  t0_ = Clock::now();
  started_ = true;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void Simulator::Impl::Stop() {
  if (!started_) return;
  started_ = false;
  stop_ = true;
  char c = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
  thread_.join();
  if (!rx_.empty()) {
    AppendJournal(rx_, NowMs());
    rx_.clear();
  }
  out_.clear();
  queued_ = frontDone_ = streamUnits_ = 0;
  // Closing the master is what a reader on the slave sees as the hang-up.
  CloseFd(&master_);
  CloseFd(&slave_);
  CloseFd(&wake_[0]);
  CloseFd(&wake_[1]);
  CloseFd(&closeWatch_);
  {
    std::lock_guard lock(mu_);
    if (journalFile_) std::fclose(journalFile_);
    journalFile_ = nullptr;
  }
  SaveState();
}

void Simulator::Impl::SaveState() {
  if (opt_.statePath.empty() || !stateLoaded_) return;
  // Snapshot inside the save lock, so the last writer always writes the newest state.
  std::lock_guard saveLock(saveMu_);
  DeviceState snapshot;
  {
    std::lock_guard lock(mu_);
    snapshot = state_;
  }
  std::string error;
  bool ok = snapshot.Save(opt_.statePath, &error);
  std::lock_guard lock(mu_);
  saveError_ = ok ? "" : error;
}

void Simulator::Impl::Run() {
  const auto lineInterval = milliseconds(opt_.lineMs);
  const bool statusLines = opt_.lineMs > 0 && !opt_.silent;
  nextStatus_ = Clock::now() + lineInterval;
  nextWrite_ = throttle_ = Clock::now();
  while (!stop_) {
    auto now = Clock::now();
    if (statusLines && now >= nextStatus_) {
      // The tracker is busy while it streams its log, and mute once stalled.
      if (streamUnits_ == 0 && !stalled_) EnqueueStatus(true);
      nextStatus_ += lineInterval;
      if (nextStatus_ <= now) nextStatus_ = now + lineInterval;
    }
    if (!rx_.empty() && now - rxLast_ >= kPartialLineIdle) {
      Handle(rx_, std::chrono::duration_cast<milliseconds>(rxLast_ - t0_).count());
      rx_.clear();
    }
    bool blocked = false;
    if (!out_.empty() && now >= nextWrite_) blocked = !Flush(now);

    auto wakeAt = now + milliseconds(1000);
    if (statusLines) wakeAt = std::min(wakeAt, nextStatus_);
    if (!rx_.empty()) wakeAt = std::min(wakeAt, rxLast_ + kPartialLineIdle);
    if (!out_.empty() && !blocked) wakeAt = std::min(wakeAt, nextWrite_);
    now = Clock::now();
    int timeout = 0;
    if (wakeAt > now)
      timeout = static_cast<int>(std::chrono::ceil<milliseconds>(wakeAt - now).count());

    pollfd fds[3] = {{master_, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                     {wake_[0], POLLIN, 0},
                     {closeWatch_, POLLIN, 0}};  // a negative fd is skipped by poll
    int ready = ::poll(fds, 3, timeout);
    if (ready < 0) continue;  // EINTR
    if (fds[1].revents & POLLIN) {
      char drain[64];
      while (::read(wake_[0], drain, sizeof drain) > 0) {
      }
    }
    if (fds[2].revents & POLLIN) {
      alignas(inotify_event) char events[1024];
      while (::read(closeWatch_, events, sizeof events) > 0) {
      }
      ::ioctl(slave_, TIOCNXCL);
    }
    if (fds[0].revents & POLLIN) {
      ReadInput(Clock::now());
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      // Cannot happen while the slave is held open; do not spin if it does.
      std::this_thread::sleep_for(milliseconds(10));
    }
  }
}

void Simulator::Impl::ReadInput(Clock::time_point now) {
  char buf[4096];
  ssize_t n = ::read(master_, buf, sizeof buf);
  if (n <= 0) return;
  const long long ms = NowMs();
  rx_.append(buf, static_cast<size_t>(n));
  rxLast_ = now;
  size_t lf;
  while ((lf = rx_.find('\n')) != std::string::npos) {
    std::string line = rx_.substr(0, lf + 1);
    rx_.erase(0, lf + 1);
    Handle(line, ms);
  }
  if (rx_.size() > kMaxLine) {
    Handle(rx_, ms);
    rx_.clear();
  }
}

void Simulator::Impl::Handle(const std::string& line, long long ms) {
  Command cmd = ParseSentence(line);
  stalled_ = false;  // anything the program says wakes a stalled tracker
  bool changed = false;
  std::vector<std::pair<std::string, std::string>> reply;
  std::vector<std::uint8_t> logToSend;
  {
    std::lock_guard lock(mu_);
    switch (cmd.type) {
      case Command::Type::kSet:
        for (auto& [key, value] : cmd.pairs) changed = state_.Set(key, value) || changed;
        break;
      case Command::Type::kQueryKeys:
        if (opt_.answerQueries >= 0 && answered_++ >= opt_.answerQueries) break;
        for (const std::string& key : cmd.keys)
          if (IsKnownKey(key)) reply.emplace_back(key, state_.Get(key));
        break;
      case Command::Type::kEraseLog:
        log_.clear();
        ++clears_;
        break;
      case Command::Type::kSendLog:
        logToSend = log_;
        break;
      case Command::Type::kPlayMelody:
        melody_ = cmd.melody;
        break;
      case Command::Type::kMalformed:
      case Command::Type::kUnknownQuery:
        break;
    }
  }
  // Saved before the sentence shows in the journal, so whoever waits for it
  // finds the file up to date.
  if (changed) SaveState();
  AppendJournal(line, ms);

  if (opt_.silent) return;
  if (!reply.empty()) EnqueueReply(reply);
  if (cmd.type == Command::Type::kSendLog) EnqueueLogStream(logToSend);
}

void Simulator::Impl::AppendJournal(const std::string& line, long long ms) {
  {
    std::lock_guard lock(mu_);
    journal_.push_back({ms, line});
    if (journalFile_) {
      std::string text = std::to_string(ms) + " " + EscapeBytes(line) + "\n";
      if (std::fwrite(text.data(), 1, text.size(), journalFile_) != text.size() || std::fflush(journalFile_) != 0)
        lastError_ = "cannot write journal " + opt_.journalPath + ": " + std::strerror(errno);
    }
  }
  cv_.notify_all();
}

void Simulator::Impl::Enqueue(Unit unit) {
  queued_ += unit.bytes.size();
  if (unit.stream) ++streamUnits_;
  out_.push_back(std::move(unit));
}

void Simulator::Impl::EnqueueStatus(bool droppable) {
  if (droppable && queued_ > kMaxQueuedForStatus) return;  // nobody reads: drop rather than block
  long long unixNow = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  Enqueue({StatusLine(statusCount_++, unixNow), droppable, false});
}

void Simulator::Impl::EnqueueReply(const std::vector<std::pair<std::string, std::string>>& pairs) {
  if (opt_.replyFault == "unterminated") {
    std::string reply = BuildReply(pairs);
    reply.resize(reply.size() - proto::kTerminator.size());
    Enqueue({std::move(reply), false, false});
    return;
  }
  if (opt_.replyFault == "garbage") {
    std::string junk;
    for (int k = rng_.Int(8, 40); k > 0; --k) junk += static_cast<char>(rng_.Int(0x21, 0x7E));
    Enqueue({junk + "\r\n", false, false});
    return;
  }
  if (!opt_.splitReplies) {
    Enqueue({BuildReply(pairs), false, false});
    return;
  }
  size_t i = 0;
  while (i < pairs.size()) {
    if (i > 0) EnqueueStatus(false);
    size_t take = std::min(pairs.size() - i, static_cast<size_t>(rng_.Int(1, 3)));
    std::vector<std::pair<std::string, std::string>> part(pairs.begin() + static_cast<long>(i),
                                                          pairs.begin() + static_cast<long>(i + take));
    Enqueue({BuildReply(part), false, false});
    i += take;
  }
}

void Simulator::Impl::EnqueueLogStream(const std::vector<std::uint8_t>& log) {
  const int total = static_cast<int>(log.size() / proto::kRecordSize);
  auto text = [this](std::string s) { Enqueue({std::move(s), false, true}); };
  text("GPS data log\r\n");
  text("Firmware ZD573 V1.08\r\n");
  text(std::string(proto::kCountPrefix) + std::to_string(std::max(0, total + opt_.countOffset)) + "\r\n");
  if (total == 0) return;
  text("Sending records\r\n");
  text(std::string(proto::kMarkerLine));

  int toSend = total;
  if (opt_.stallAfterRecords >= 0 && opt_.stallAfterRecords < total) {
    toSend = opt_.stallAfterRecords;
    stalled_ = true;
  }
  int packetNo = 0;
  for (int first = 0; first < toSend; first += proto::kMaxRecordsPerPacket) {
    int count = std::min(proto::kMaxRecordsPerPacket, toSend - first);
    ++packetNo;
    if (opt_.noise && packetNo > 1) {
      if (rng_.Int(0, 3) == 0) {
        EnqueueStatus(false);
      } else {
        // Stray bytes, never '$', so they cannot pose as a packet start.
        std::string junk;
        int len = rng_.Int(1, 6);
        for (int k = 0; k < len; ++k) {
          char c = static_cast<char>(rng_.Int(0, 255));
          junk += c == '$' ? '#' : c;
        }
        Enqueue({junk, false, true});
      }
    }
    bool bad = opt_.badCheckEvery > 0 && packetNo % opt_.badCheckEvery == 0;
    std::string packet = BuildPacket(static_cast<std::uint16_t>(packetNo - 1),
                                     log.data() + static_cast<size_t>(first) * proto::kRecordSize, count, bad);
    if (opt_.pauseInPacket >= 0 && packet.size() > static_cast<size_t>(opt_.pauseInPacket)) {
      const auto cut = static_cast<size_t>(opt_.pauseInPacket);
      Enqueue({packet.substr(0, cut), false, true, opt_.pauseMs});
      packet.erase(0, cut);
    }
    Enqueue({std::move(packet), false, true});
  }
}

void Simulator::Impl::PopFront() {
  queued_ -= out_.front().bytes.size();
  if (out_.front().stream) --streamUnits_;
  out_.pop_front();
  frontDone_ = 0;
}

bool Simulator::Impl::Flush(Clock::time_point now) {
  const long bytesPerSecond = opt_.baud / 10;
  while (!out_.empty()) {
    const Unit& unit = out_.front();
    size_t remaining = unit.bytes.size() - frontDone_;
    if (remaining == 0) {
      PopFront();
      continue;
    }
    size_t n = remaining;
    if (opt_.fragment) n = std::min(n, static_cast<size_t>(rng_.Int(1, 8)));
    if (bytesPerSecond > 0) n = std::min(n, static_cast<size_t>(std::max(1L, bytesPerSecond / 200)));
    ssize_t w = ::write(master_, unit.bytes.data() + frontDone_, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
      std::lock_guard lock(mu_);
      lastError_ = std::string("cannot write to the pty: ") + std::strerror(errno);
      return false;
    }
    frontDone_ += static_cast<size_t>(w);
    if (frontDone_ == unit.bytes.size()) {
      const int pause = unit.pauseMs;
      PopFront();
      if (pause > 0) {
        nextWrite_ = std::max(nextWrite_, now + milliseconds(pause));
        return true;
      }
    }
    if (bytesPerSecond > 0) {
      if (throttle_ < now - milliseconds(20)) throttle_ = now;  // no catch-up burst after idling
      throttle_ += std::chrono::nanoseconds(static_cast<long long>(w) * 1'000'000'000LL / bytesPerSecond);
      nextWrite_ = throttle_;
    }
    if (opt_.fragment) nextWrite_ = std::max(nextWrite_, now + milliseconds(1));
    if (nextWrite_ > now) return true;
  }
  return true;
}

Simulator::Simulator(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}
Simulator::~Simulator() { Stop(); }
bool Simulator::Start(std::string* error) { return impl_->Start(error); }
void Simulator::Stop() { impl_->Stop(); }
std::string Simulator::SlavePath() const { return impl_->slavePath_; }

std::vector<JournalEntry> Simulator::Journal() const {
  std::lock_guard lock(impl_->mu_);
  return impl_->journal_;
}

bool Simulator::WaitForSentences(size_t count, int timeoutMs) const {
  std::unique_lock lock(impl_->mu_);
  return impl_->cv_.wait_for(lock, milliseconds(std::max(timeoutMs, 0)),
                             [&] { return impl_->journal_.size() >= count; });
}

std::string Simulator::Value(std::string_view key) const {
  std::lock_guard lock(impl_->mu_);
  return impl_->state_.Get(key);
}

void Simulator::SetValue(std::string_view key, std::string value) {
  {
    std::lock_guard lock(impl_->mu_);
    if (!impl_->state_.Set(key, std::move(value))) return;
  }
  impl_->SaveState();
}

std::vector<std::uint8_t> Simulator::LogBytes() const {
  std::lock_guard lock(impl_->mu_);
  return impl_->log_;
}

int Simulator::ClearCount() const {
  std::lock_guard lock(impl_->mu_);
  return impl_->clears_;
}

int Simulator::LastMelody() const {
  std::lock_guard lock(impl_->mu_);
  return impl_->melody_;
}

std::string Simulator::LastError() const {
  std::lock_guard lock(impl_->mu_);
  return impl_->saveError_.empty() ? impl_->lastError_ : impl_->saveError_;
}

}  // namespace zd573::sim
