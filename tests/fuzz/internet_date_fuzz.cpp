// Fuzzes the Date header reader with arbitrary bytes and checks that what it reads is written
// and read back to the same second.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/date_time.h"
#include "message/internet_date.h"
#include "platform/clock.h"

namespace {

class FixedClock : public mailferry::Clock {
 public:
  double Now() const override { return 0; }
  std::optional<int> UtcOffsetMinutes() const override { return 90; }
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mailferry;
  const FixedClock clock;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const double local = InternetDateToLocal(text, clock);
  Check(std::isfinite(local));
  if (local == 0) return 0;
  const std::string written = LocalToInternetDate(local, clock);
  // Years below 100 would read back as two-digit years; the ends of the calendar are clamped.
  if (local > *EncodeDate(100, 1, 2) && local < *EncodeDate(9999, 12, 30)) {
    Check(std::fabs(InternetDateToLocal(written, clock) - local) < 1.0 / 86400);
  }
  return 0;
}
