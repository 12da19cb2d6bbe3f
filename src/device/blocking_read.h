#pragma once
// A settings read for a thread that may wait (the command line, a window's
// worker): on a port the caller holds open, started, waited for and stopped in
// one call.
#include <chrono>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "device/device_port.h"
#include "device/device_settings.h"
#include "device/settings_reader.h"

namespace zd573 {

struct ReadEnd {
  Status started;         // the reader could not start: nothing was read
  bool finished = false;  // the read ended by itself within the limit: complete, or `failure`
  std::string failure;    // why the reader gave up; empty: complete
  std::string userName;   // ReadKind::Identify: the name stored for the IMEI
  Progress progress{};    // the last the reader told
};

// Drops what the tracker said before (it is stale) unless the read shares the
// session's line count (options.pace), runs a read of `kind` into
// `into` on `port`, which stays open, and waits for it at most `limit` or until
// a stop. The reader has stopped when this returns. `progress` is called on
// the reader's thread.
ReadEnd BlockingRead(DevicePort& port, ReadKind kind, DeviceSettings& into, const ReadOptions& options,
                     std::chrono::milliseconds limit, std::stop_token stop = {},
                     const std::function<void(Progress)>& progress = {});

// A read that did not end within `limit`, naming the keys `into` lacks: those
// asked (all the table's for a full read). "The settings read did not complete
// within 120 s; 2 keys did not arrive: D1,D2" (TimedOut).
Error ReadIncomplete(ReadKind kind, const std::vector<std::string_view>& keys, const DeviceSettings& into,
                     std::chrono::milliseconds limit);

// The tracker's values of `keys` and its IMEI (B2), read afresh on `port`
// (which the read closes): what a write is built from, and whom it goes to.
// Keys not asked hold their defaults. A read short of a key within `limit`
// fails naming the keys (TimedOut); a stop fails as Stopped.
Expected<DeviceValues> ReadFresh(DevicePort& port, std::vector<std::string_view> keys, int codePage,
                                 std::chrono::milliseconds limit, std::stop_token stop = {});

// Copies `keys` of `from` into `to`, as they are.
void CopyKeys(DeviceValues& to, const DeviceValues& from, const std::vector<std::string_view>& keys);

}  // namespace zd573
