// The local standard offset from Windows' time zone settings.
#include <windows.h>

#include "logger/log_record.h"

namespace zd573::logger {

int32_t LocalStandardOffsetSeconds() {
  // Exports use standard time all year: the zone's standard bias, daylight
  // saving never applied. Bias counts minutes west of UTC.
  TIME_ZONE_INFORMATION zone{};
  if (::GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return 0;
  return -static_cast<int32_t>(zone.Bias + zone.StandardBias) * 60;
}

}  // namespace zd573::logger
