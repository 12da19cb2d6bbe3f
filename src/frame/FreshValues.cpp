#include "frame/FreshValues.h"

#include <QStringList>

#include <memory>
#include <utility>

#include "device/blocking_read.h"
#include "device/profile.h"
#include "frame/AppContext.h"
#include "frame/Messages.h"

namespace zd573 {

Expected<FreshRead> FreshReadOf(const AppContext& context, std::vector<std::string_view> keys) {
  auto leased = context.LeasePort();
  if (!leased) return leased.failure();
  std::shared_ptr<DevicePort> port = std::move(leased.value());
  const int codePage = context.CodePage();
  const std::chrono::milliseconds limit = context.durations.fullReadStall;
  return FreshRead([port, keys = std::move(keys), codePage, limit](std::stop_token stop) mutable {
    Expected<DeviceValues> fresh = ReadFresh(*port, keys, codePage, limit, std::move(stop));
    port.reset();  // the session has its port back before the window hears the end
    return fresh;
  });
}

Expected<std::vector<std::string_view>> TakeFresh(AppContext& context, const DeviceValues& before,
                                                  const DeviceValues& fresh, const std::vector<std::string_view>& keys) {
  if (fresh.Text("B2") != context.Imei()) {
    const QString text = FillIn(context.Text("STR_GLOBAL_OTHERTRACKER"),
                                {context.FromDevice(fresh.Text("B2")), context.FromDevice(context.Imei())});
    return Error{text.toStdString(), ErrorCode::Failed};
  }
  std::vector<std::string_view> changed;
  for (std::string_view key : keys)
    if (key != "B2" && fresh.Format(key) != before.Format(key)) changed.push_back(key);
  context.Settings().Update([&](DeviceValues& record) { CopyKeys(record, fresh, changed); });
  return changed;
}

bool KeepTheirs(const AppContext& context, QWidget* parent, const std::vector<std::string_view>& changed,
                const DeviceValues& ours, const DeviceValues& theirs) {
  const auto shown = [&](std::string_view key, const std::string& bytes) {
    if (bytes.empty()) return context.Text("STR_PROFILE_EMPTY", "(empty)");
    if (IsSecretKey(key)) return context.Text("STR_PROFILE_HIDDEN", "(hidden)");
    return ValueText(context, key, bytes);
  };
  QStringList lines;
  for (std::string_view key : changed)
    lines << FillIn(context.Text("STR_GLOBAL_FRESHVALUE"),
                    {FieldName(context, key), shown(key, theirs.Format(key)), shown(key, ours.Format(key))});
  return context.AskYesNo(parent, FillIn(TextWithBreaks(context, "STR_GLOBAL_FRESHCHANGED"), {lines.join(QLatin1Char('\n'))}),
                          false);
}

}  // namespace zd573
