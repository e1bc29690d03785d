// The Clock port: the local time and the current offset of local time from UTC.
#pragma once

#include <optional>

namespace mailferry {

class Clock {
 public:
  virtual ~Clock() = default;

  // The current local date-time as days since 1899-12-30.
  virtual double Now() const = 0;

  // The current offset of local time from UTC in minutes, positive east of Greenwich, with any
  // daylight-saving adjustment in effect now; nullopt when the platform cannot tell.
  virtual std::optional<int> UtcOffsetMinutes() const = 0;
};

// The process-wide clock of the operating system. Safe to call from any thread.
const Clock& SystemClock();

}  // namespace mailferry
