#include "platform/linux_clock.h"

#include <time.h>

#include "common/date_time.h"

namespace mailferry {

double LinuxClock::Now() const {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  const auto date = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  // tm_sec can be 60 during a leap second; fold it into 59.
  const auto time = EncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                               static_cast<int>(ts.tv_nsec / 1000000));
  return date.value_or(0) + time.value_or(0);
}

std::optional<int> LinuxClock::UtcOffsetMinutes() const {
  const time_t now = time(nullptr);
  tm local{};
  if (localtime_r(&now, &local) == nullptr) return std::nullopt;
  return static_cast<int>(local.tm_gmtoff / 60);
}

const Clock& SystemClock() {
  static const LinuxClock clock;
  return clock;
}

}  // namespace mailferry
