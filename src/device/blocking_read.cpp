#include "device/blocking_read.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "device/page_table.h"

namespace zd573 {
namespace {

// Collects the reader's callbacks, from its thread, for the thread that waits.
class Waiter final : public ReadObserver {
 public:
  explicit Waiter(const std::function<void(Progress)>& progress) : progress_(progress) {}

  void Identified(const std::string&, const std::string& userName) override {
    Finish([&] { end_.userName = userName; });
  }
  void ReadProgress(Progress progress) override {
    {
      std::lock_guard lock(mutex_);
      end_.progress = progress;
    }
    if (progress_) progress_(progress);
  }
  void ReadComplete() override { Finish([] {}); }
  void ReadFailed(const std::string& why) override {
    Finish([&] { end_.failure = why; });
  }

  // How the read ended, once the reader has stopped.
  ReadEnd Wait(std::chrono::milliseconds limit, const std::stop_token& stop) {
    std::unique_lock lock(mutex_);
    end_.finished = done_cv_.wait_for(lock, stop, limit, [&] { return done_; });
    return end_;
  }

 private:
  template <class F>
  void Finish(F f) {
    std::lock_guard lock(mutex_);
    f();
    done_ = true;
    done_cv_.notify_all();
  }

  const std::function<void(Progress)>& progress_;
  std::mutex mutex_;
  std::condition_variable_any done_cv_;
  bool done_ = false;
  ReadEnd end_;
};

}  // namespace

ReadEnd BlockingRead(DevicePort& port, ReadKind kind, DeviceSettings& into, const ReadOptions& options,
                     std::chrono::milliseconds limit, std::stop_token stop,
                     const std::function<void(Progress)>& progress) {
  Waiter waiter(progress);
  // A count shared with the stages before goes on: what the tracker said since is counted, not thrown away.
  if (!options.pace) port.Purge();
  SettingsReader reader(into, waiter, options);
  if (Status s = reader.StartReadThread(kind, BorrowPort(port)); !s) {
    ReadEnd end;
    end.started = s;
    return end;
  }
  ReadEnd end = waiter.Wait(limit, stop);
  reader.Stop();
  return end;
}

Error ReadIncomplete(ReadKind kind, const std::vector<std::string_view>& keys, const DeviceSettings& into,
                     std::chrono::milliseconds limit) {
  std::string missing;
  int count = 0;
  auto name = [&](std::string_view k) {
    missing += (missing.empty() ? "" : ",") + std::string(k);
    ++count;
  };
  if (kind == ReadKind::FullRead) {
    for (auto k : into.MissingKeys(kTableKeyCount)) name(k);
  } else {
    // The record cannot tell whether OU came: it is named while anything is missing.
    for (auto k : keys)
      if (TableIndex(k) < 0 || !into.Received(k)) name(k);
  }
  const std::string within = limit.count() % 1000 == 0 ? std::to_string(limit.count() / 1000) + " s"
                                                       : std::to_string(limit.count()) + " ms";
  return Error{"The settings read did not complete within " + within + "; " + std::to_string(count) +
                   " keys did not arrive: " + missing,
               ErrorCode::TimedOut};
}

Expected<DeviceValues> ReadFresh(DevicePort& port, std::vector<std::string_view> keys, int codePage,
                                 std::chrono::milliseconds limit, std::stop_token stop) {
  if (std::find(keys.begin(), keys.end(), std::string_view("B2")) == keys.end()) keys.push_back("B2");
  DeviceSettings fresh;
  fresh.SetCodePage(codePage);
  ReadOptions read;
  read.fullReadStall = std::chrono::milliseconds(0);  // the overall limit decides
  read.keys.assign(keys.begin(), keys.end());
  const ReadEnd end = BlockingRead(port, ReadKind::Keys, fresh, read, limit, stop);
  if (!end.started) return end.started.failure();
  if (!end.finished) {
    if (stop.stop_requested()) return Error{"Stopped before the tracker's values were read again", ErrorCode::Stopped};
    return ReadIncomplete(ReadKind::Keys, keys, fresh, limit);
  }
  if (!end.failure.empty()) return Error{end.failure, ErrorCode::Disconnected};
  return fresh.Snapshot();
}

void CopyKeys(DeviceValues& to, const DeviceValues& from, const std::vector<std::string_view>& keys) {
  for (std::string_view key : keys) {
    const KeyInfo* k = FindKey(key);
    if (!k) continue;
    if (k->kind == FieldKind::Text) {
      to.SetText(k->key, from.Text(k->key));
    } else {
      to.SetNumber(k->key, from.Number(k->key));
    }
  }
}

}  // namespace zd573
