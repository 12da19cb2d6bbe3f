#pragma once
// Before the window writes, the keys it is about to send are read again on
// the session's port (on the writer's worker thread): a tracker swapped in
// since the login gets nothing, and a value another program changed since
// the record was read is shown, to keep it or to write over it.
#include <QString>

#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "device/device_settings.h"

class QWidget;

namespace zd573 {

class AppContext;

using FreshRead = std::function<Expected<DeviceValues>(std::stop_token)>;

// The read for a worker thread, on the port leased now (or why it cannot be).
Expected<FreshRead> FreshReadOf(const AppContext& context, std::vector<std::string_view> keys);

// On the window's thread, with what was read: another tracker's IMEI fails
// (say it, then end the session: context.trackerChanged); else the keys whose
// values differ from `before` (the record the write was built on), and the
// record takes the fresh values.
Expected<std::vector<std::string_view>> TakeFresh(AppContext& context, const DeviceValues& before,
                                                  const DeviceValues& fresh, const std::vector<std::string_view>& keys);

// Shows the changed values beside `ours` and asks whether to keep the
// tracker's: true for theirs.
bool KeepTheirs(const AppContext& context, QWidget* parent, const std::vector<std::string_view>& changed,
                const DeviceValues& ours, const DeviceValues& theirs);

}  // namespace zd573
