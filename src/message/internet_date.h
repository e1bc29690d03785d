// Internet dates: the text of a "Date" header to a local date-time and back. The reader is
// tolerant of the forms mail programs actually send; the current zone offset comes from a Clock.
#pragma once

#include <string>
#include <string_view>

#include "common/mf_exception.h"
#include "platform/clock.h"

namespace mailferry {

// Raised when the platform cannot report the current offset of local time from UTC.
class EMfFailedToRetreiveTimeZoneInfo : public EMfException {
 public:
  EMfFailedToRetreiveTimeZoneInfo()
      : EMfException("Failed attempting to retrieve time zone information.") {}
};

// A Date header value (RFC 822/2822, also with the month first, dashes between the date parts,
// the time before the year, two-digit years) as a local date-time: days since 1899-12-30. A zone
// other than a numeric offset is taken as UTC. Returns 0 when no date can be read; raises only
// EMfFailedToRetreiveTimeZoneInfo, and only for a readable date.
double InternetDateToLocal(std::string_view text, const Clock& clock = SystemClock());

// A local date-time as a Date header value with the clock's current numeric zone offset, e.g.
// "Tue, 1 Feb 2005 09:05:07 +0100". Values outside the years 1 to 9999 are clamped to them.
std::string LocalToInternetDate(double local, const Clock& clock = SystemClock());

}  // namespace mailferry
