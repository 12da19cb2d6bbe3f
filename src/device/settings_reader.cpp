#include "device/settings_reader.h"

#include <algorithm>
#include <thread>

#include "device/sentences.h"
#include "device/timing.h"

namespace zd573 {

std::size_t LineAssembler::Room() const {
  return buffer_.size() >= kCapacity ? 0 : std::min<std::size_t>(64, kCapacity - buffer_.size());
}

void LineAssembler::Append(const std::uint8_t* bytes, std::size_t count) {
  buffer_.append(reinterpret_cast<const char*>(bytes), count);
  if (buffer_.size() < kCapacity || buffer_.find("\r\n") != std::string::npos) return;
  // A full buffer without a line break: make one so the text is processed.
  if (auto cr = buffer_.find('\r'); cr != std::string::npos) {
    buffer_.insert(cr + 1, 1, '\n');
  } else if (auto lf = buffer_.find('\n'); lf != std::string::npos) {
    buffer_.insert(lf, 1, '\r');
  } else {
    buffer_ += "\r\n";
  }
}

bool LineAssembler::NextLine(std::string& line) {
  auto end = buffer_.find("\r\n");
  if (end == std::string::npos) return false;
  line.assign(buffer_, 0, end);
  line += "\r\n";
  buffer_.erase(0, end + 2);
  return true;
}

void LinePace::Skip() {
  std::string line;
  while (lines.NextLine(line)) ++sinceQuery;
}

Listened ListenFor(DevicePort& port, LinePace& pace, std::chrono::milliseconds pause, const std::stop_token& stop) {
  using clock = std::chrono::steady_clock;
  const auto end = clock::now() + pause;
  std::uint8_t chunk[64];
  for (;;) {
    if (stop.stop_requested()) return Listened::Stopped;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock::now());
    if (left.count() <= 0) return Listened::Done;
    // A read may wait this long for a first byte: the pause is never made longer by it.
    if (left < timing::kReadFirstByte) return PauseUnlessStopped(left, stop) ? Listened::Done : Listened::Stopped;
    const int n = port.Read(chunk, std::min(sizeof chunk, pace.lines.Room()));
    if (n < 0) return Listened::Lost;
    if (n > 0) pace.lines.Append(chunk, static_cast<std::size_t>(n));
    pace.Skip();
  }
}

SettingsReader::SettingsReader(DeviceSettings& settings, ReadObserver& observer, ReadOptions options)
    : settings_(settings), observer_(observer), options_(std::move(options)), worker_(observer) {}

SettingsReader::~SettingsReader() { Stop(); }

Status SettingsReader::StartReadThread(ReadKind kind, std::unique_ptr<DevicePort> port) {
  Stop();
  if (kind != ReadKind::Identify && kind != ReadKind::FullRead && kind != ReadKind::Keys) {
    port->Close();
    return Error{std::string(kUnableToCreateThread), ErrorCode::Thread, {}}.Names(MessageKind::ThreadFailed);
  }
  Status started = kind == ReadKind::Identify
                       ? worker_.Start(std::move(port),
                                       [this](DevicePort& p, std::stop_token stop) { ReadThreadMainPage(p, stop); })
                       : worker_.Start(std::move(port), [this, kind](DevicePort& p, std::stop_token stop) {
                           ReadThreadOtherPage(kind, p, stop);
                         });
  if (!started) {
    return Error{std::string(kind == ReadKind::Identify ? "Unable to create ReadThreadMainPage"
                                                        : "Unable to create ReadThreadOtherPage") +
                     "\n" + started.error(),
                 ErrorCode::Thread, started.detail()}
        .Names(MessageKind::ThreadFailed);
  }
  return {};
}

std::vector<std::string_view> SettingsReader::MissingAsked(std::size_t max) const {
  std::vector<std::string_view> keys;
  for (std::size_t i = 0; i < options_.keys.size() && keys.size() < max; ++i)
    if (!got_[i]) keys.push_back(options_.keys[i]);
  return keys;
}

bool SettingsReader::HandleLine(ReadKind kind, DevicePort& port, const std::string& line) {
  if (kind == ReadKind::Keys) {
    std::string scratch;
    ReplyFields fields = SplitReply(line, scratch);
    if (fields.pairs.empty()) return false;
    settings_.StoreReplyPairs(fields.pairs);
    for (const auto& pair : fields.pairs)
      for (std::size_t i = 0; i < options_.keys.size(); ++i)
        if (options_.keys[i] == pair.first) got_[i] = true;
    if (!MissingAsked(1).empty()) return false;
    port.Close();
    observer_.ReadComplete();
    return true;
  }
  std::uint8_t result = ParseReply(line, settings_);
  if (kind == ReadKind::Identify) {
    if (result != kReplyLastImei && result != kReplyLastPassword) return false;
    // Done with the device: free the port before saying so.
    port.Close();
    std::string imei = settings_.Text("B2");
    observer_.Identified(imei, options_.userName ? options_.userName(imei) : std::string());
    return true;
  }
  if (!settings_.AllReceived()) return false;
  port.Close();
  observer_.ReadComplete();
  return true;
}

void SettingsReader::ReadLoop(ReadKind kind, DevicePort& port, std::stop_token stop) {
  using clock = std::chrono::steady_clock;
  const auto total = static_cast<std::uint32_t>(kind == ReadKind::Keys ? options_.keys.size() : kTableKeyCount);
  auto receivedCount = [&] {
    return kind == ReadKind::Keys ? static_cast<int>(std::count(got_.begin(), got_.end(), true))
                                  : settings_.ReceivedCount();
  };
  LinePace own;
  LinePace& pace = options_.pace ? *options_.pace : own;
  LineAssembler& lines = pace.lines;
  int& lineCount = pace.sinceQuery;
  // Lines a shared count holds from before this read asked anything answer
  // an earlier question, if any: counted, never taken.
  if (kind != ReadKind::Identify) pace.Skip();
  int lastReceived = 0;
  // The full read gives up when no new key has come for the stall limit, but
  // not before the tracker was asked at least once: a slow talker is only
  // asked after eleven lines of its own. One that says nothing at all is
  // given up on after as long.
  bool asked = false;
  auto lastProgress = clock::now();
  auto lastByte = lastProgress;
  if (kind != ReadKind::Identify) {
    settings_.ClearReceived();
    got_.assign(options_.keys.size(), false);
    observer_.ReadProgress({0, total});
    if (kind == ReadKind::Keys && options_.keys.empty()) {
      port.Close();
      observer_.ReadComplete();
      return;
    }
  }
  std::uint8_t chunk[64];
  std::string line;
  bool done = false;
  while (!done && !stop.stop_requested() && port.IsOpen()) {
    // The device talks on its own; ask only once it has said more than ten lines.
    if (lineCount > 10) {
      std::string query = kind == ReadKind::Identify ? BuildIdentifyQuery()
                          : kind == ReadKind::Keys   ? BuildKeysQuery(MissingAsked(5))
                                                     : BuildKeysQuery(settings_.MissingKeys(5));
      (void)port.Write(query, stop);
      if (kind == ReadKind::Identify || options_.pace) {
        std::this_thread::yield();
      } else {
        std::this_thread::sleep_for(timing::kFullReadQueryPause);
      }
      lineCount = 0;
      // The wait for an answer starts with the first question, not before it;
      // later questions do not restart it.
      if (!asked) lastProgress = clock::now();
      asked = true;
    }
    int n = port.Read(chunk, lines.Room());
    if (n < 0) {
      // An unplugged tracker never comes back on this handle: end instead of spinning.
      port.Close();
      observer_.ReadFailed(std::string(kReaderDisconnected));
      break;
    }
    if (n > 0) {
      lines.Append(chunk, static_cast<std::size_t>(n));
      lastByte = clock::now();
    }
    while (!done && lines.NextLine(line)) {
      ++lineCount;
      done = HandleLine(kind, port, line);
    }
    if (done) break;
    if (kind != ReadKind::Identify) {
      int received = receivedCount();
      if (received != lastReceived) {
        lastReceived = received;
        lastProgress = clock::now();
        observer_.ReadProgress({static_cast<std::uint32_t>(received), total});
      } else if (options_.fullReadStall.count() > 0) {
        const auto now = clock::now();
        const bool stalled = asked && now - lastProgress >= options_.fullReadStall;
        const bool silent = now - lastByte >= options_.fullReadStall;
        if (stalled || silent) {
          port.Close();
          observer_.ReadFailed((silent ? "Nothing arrived for " : "No new setting arrived for ") +
                               std::to_string(options_.fullReadStall.count() / 1000) + " s");
          break;
        }
      }
    }
    // A question now due goes out at once.
    if (lineCount > 10) continue;
    std::this_thread::sleep_for(timing::kReadPassPause);
  }
}

}  // namespace zd573
