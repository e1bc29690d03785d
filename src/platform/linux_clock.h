// Clock over clock_gettime and localtime_r.
#pragma once

#include "platform/clock.h"

namespace mailferry {

class LinuxClock : public Clock {
 public:
  double Now() const override;
  std::optional<int> UtcOffsetMinutes() const override;
};

}  // namespace mailferry
