#include "scanning/keep_rule.h"

#include <cmath>

namespace mailferry {

bool ShouldDeleteMessage(bool keep_messages, int keep_days, double message_date, double now) {
  if (!keep_messages) return true;
  if (keep_days <= 0) return false;
  constexpr double kMillisecondsPerDay = 86400000.0;
  // Rounded to the millisecond first, so that a message exactly eight days old does not read as
  // 7.999... days through the binary fractions of the two day counts.
  const double age_ms = std::round((now - message_date) * kMillisecondsPerDay);
  const double age_days = std::trunc(age_ms / kMillisecondsPerDay);
  return age_days > keep_days;
}

}  // namespace mailferry
