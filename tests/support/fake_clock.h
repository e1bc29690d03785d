// A Clock whose time and zone offset the test sets.
#pragma once

#include <optional>

#include "platform/clock.h"

namespace mailferry::testing {

class FakeClock : public Clock {
 public:
  explicit FakeClock(double now = 0, std::optional<int> offset_minutes = 0)
      : now_(now), offset_minutes_(offset_minutes) {}

  double Now() const override { return now_; }
  std::optional<int> UtcOffsetMinutes() const override { return offset_minutes_; }

  void set_now(double now) { now_ = now; }
  void set_offset_minutes(std::optional<int> offset) { offset_minutes_ = offset; }

 private:
  double now_;
  std::optional<int> offset_minutes_;
};

}  // namespace mailferry::testing
