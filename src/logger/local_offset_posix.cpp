// The local standard offset from the C library's time zone (TZ honoured).
#include <ctime>

#include "logger/log_record.h"

namespace zd573::logger {

int32_t LocalStandardOffsetSeconds() {
  // localtime_r need not look at TZ again; tzset makes a changed TZ count.
  tzset();
  // The standard offset is the smaller of the zone's offsets over a year: the
  // daylight flag cannot be trusted, since some zones (Europe/Dublin) call
  // their winter time the daylight one. Monthly probes meet both seasons in
  // either hemisphere.
  const time_t now = time(nullptr);
  bool found = false;
  long smallest = 0;
  for (int month = 0; month < 12; ++month) {
    const time_t probe = now + static_cast<time_t>(month) * 30 * 86400;
    struct tm local {};
    if (localtime_r(&probe, &local) == nullptr) continue;
    if (!found || local.tm_gmtoff < smallest) smallest = local.tm_gmtoff;
    found = true;
  }
  return found ? static_cast<int32_t>(smallest) : static_cast<int32_t>(-timezone);
}

}  // namespace zd573::logger
