#include "message/internet_date.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/date_time.h"
#include "support/fake_clock.h"

namespace mailferry {
namespace {

using testing::FakeClock;

double DateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return *EncodeDate(year, month, day) + *EncodeTime(hour, minute, second);
}

// Compares to the second, so that rounding of the day fraction does not matter.
void ExpectSameSecond(double actual, double expected, const std::string& what) {
  EXPECT_NEAR(actual, expected, 0.5 / 86400) << what;
}

TEST(InternetDateToLocalTest, ReadsTheFormsMailProgramsSend) {
  const struct Case {
    const char* text;
    int zone_minutes;  // the machine's offset
    double expected;
  } cases[] = {
      {"Tue, 1 Feb 2005 10:20:30 +0100", 60, DateTime(2005, 2, 1, 10, 20, 30)},
      {"Tue, 1 Feb 2005 10:20:30 +0100", 0, DateTime(2005, 2, 1, 9, 20, 30)},
      {"1 Feb 2005 10:20:30 -0500", 0, DateTime(2005, 2, 1, 15, 20, 30)},
      {"Tuesday, 01-Feb-05 10:20:30 GMT", 0, DateTime(2005, 2, 1, 10, 20, 30)},
      {"Feb 1 10:20:30 2005", 0, DateTime(2005, 2, 1, 10, 20, 30)},
      {"1 Feb 2005", 120, DateTime(2005, 2, 1, 2, 0, 0)},
      {"1 Feb 2005 10:20:30 +01:00", 0, DateTime(2005, 2, 1, 10, 20, 30)},
      // Lower case names, extra blanks and tabs, a comment after the zone.
      {"  wed,  2  mar  2005   23:59:59   +0000 (UTC)  ", 0, DateTime(2005, 3, 2, 23, 59, 59)},
      {"Wed,\t2 Mar 2005\t08:00:00 +0000", 0, DateTime(2005, 3, 2, 8, 0, 0)},
      // The ctime form, with the day padded by a blank.
      {"Wed Mar  2 08:00:00 2005", 0, DateTime(2005, 3, 2, 8, 0, 0)},
      // Dashes without any blank; month first with dashes.
      {"02-Mar-2005", 0, DateTime(2005, 3, 2)},
      {"Mar-02-2005 08:00", 0, DateTime(2005, 3, 2, 8, 0, 0)},
      // Two-digit years on both sides of the window; a three-digit year stands as written.
      {"1 Jan 79 00:00:00 +0000", 0, DateTime(2079, 1, 1)},
      {"1 Jan 80 00:00:00 +0000", 0, DateTime(1980, 1, 1)},
      {"1 Jan 99 00:00:00 +0000", 0, DateTime(1999, 1, 1)},
      {"1 Jan 100", 0, DateTime(100, 1, 1)},
      // Hours and minutes only; a zone west of UTC on a machine east of it.
      {"1 Feb 2005 10:20 -0330", 60, DateTime(2005, 2, 1, 14, 50, 0)},
      // Offsets that cannot be read count as UTC.
      {"1 Feb 2005 10:20:30 +2500", 0, DateTime(2005, 2, 1, 10, 20, 30)},
      {"1 Feb 2005 10:20:30 +0160", 0, DateTime(2005, 2, 1, 10, 20, 30)},
      {"1 Feb 2005 10:20:30 +01", 0, DateTime(2005, 2, 1, 10, 20, 30)},
      // Crossing midnight and the year end through the offsets.
      {"Sat, 31 Dec 2005 23:30:00 -0100", 60, DateTime(2006, 1, 1, 1, 30, 0)},
      {"29 Feb 2004 12:00:00 +0000", 0, DateTime(2004, 2, 29, 12, 0, 0)},
      // A real year 1900 keeps its time; a year that cannot be found at all is 1900.
      {"1 Feb 1900 10:20:30 +0000", 0, DateTime(1900, 2, 1, 10, 20, 30)},
      {"1 Feb 10:20:30", 0, DateTime(1900, 2, 1, 10, 20, 30)},
      // Before 1899-12-30 the time is a fraction below the negative day number.
      {"1 Feb 1802 10:20:00 +0000", 90, *EncodeDate(1802, 2, 1) - *EncodeTime(11, 50, 0)},
      {"1 Feb 1802 00:30:00 +0100", 0, *EncodeDate(1802, 1, 31) - *EncodeTime(23, 30, 0)},
      // Numbers too large to hold count as "not a number": day 1, minute 0, year from the end.
      {"99999999999999999999 Feb 2005", 0, DateTime(2005, 2, 1)},
      {"1 Feb 2005 10:99999999999999999999999:00", 0, DateTime(2005, 2, 1, 10, 0, 0)},
      {"Feb 99999999999999999999 10:20:30 2005", 0, DateTime(2005, 2, 1, 10, 20, 30)},
  };
  for (const auto& c : cases) {
    FakeClock clock(0, c.zone_minutes);
    ExpectSameSecond(InternetDateToLocal(c.text, clock), c.expected, c.text);
  }
}

TEST(InternetDateToLocalTest, UnreadableDatesAreZero) {
  const char* texts[] = {
      "",
      "   ",
      "1 February 2005 10:20:30 +0100",
      "1 Sept 2005",
      "32 Jan 2005",
      "29 Feb 2005",
      "30 Feb 2004",
      "1 Feb 2005 24:00:00",
      "1 Feb 2005 10:60:00",
      "1 Feb 2005 10:20:60 +0000",
      "1 Feb 2005 -1:00:00",
      "0 Feb 2005",
      "Tue,",
      "Tue, 1",
      "hello world",
      "1 Feb 12345",
      "1 Feb -5",
  };
  FakeClock clock(0, 60);
  for (const char* text : texts) EXPECT_EQ(InternetDateToLocal(text, clock), 0) << text;
}

TEST(InternetDateToLocalTest, MissingZoneInfoFailsOnlyForAReadableDate) {
  FakeClock clock(0, std::nullopt);
  EXPECT_EQ(InternetDateToLocal("not a date", clock), 0);
  try {
    InternetDateToLocal("1 Feb 2005 10:20:30 +0000", clock);
    ADD_FAILURE() << "no error";
  } catch (const EMfFailedToRetreiveTimeZoneInfo& e) {
    EXPECT_STREQ(e.what(), "Failed attempting to retrieve time zone information.");
  }
  EXPECT_THROW(LocalToInternetDate(DateTime(2005, 2, 1), clock), EMfFailedToRetreiveTimeZoneInfo);
}

TEST(LocalToInternetDateTest, WritesNumericZoneOffsets) {
  const struct Case {
    double local;
    int zone_minutes;
    const char* expected;
  } cases[] = {
      {DateTime(2005, 2, 1, 9, 5, 7), 60, "Tue, 1 Feb 2005 09:05:07 +0100"},
      {DateTime(2005, 3, 5, 18, 0, 0), -210, "Sat, 5 Mar 2005 18:00:00 -0330"},
      {DateTime(2005, 3, 5, 18, 0, 0), 0, "Sat, 5 Mar 2005 18:00:00 +0000"},
      {DateTime(2024, 12, 31, 23, 59, 59), 345, "Tue, 31 Dec 2024 23:59:59 +0545"},
      {DateTime(1999, 1, 10), -600, "Sun, 10 Jan 1999 00:00:00 -1000"},
      // Out of range values are clamped rather than read past the calendar.
      {1e300, 0, "Fri, 31 Dec 9999 23:59:59 +0000"},
      {-1e300, 0, "Mon, 1 Jan 0001 00:00:00 +0000"},
  };
  for (const auto& c : cases) {
    FakeClock clock(0, c.zone_minutes);
    EXPECT_EQ(LocalToInternetDate(c.local, clock), c.expected);
  }
}

TEST(LocalToInternetDateTest, ReadsBackToTheSameLocalTime) {
  for (int zone : {-720, -210, 0, 60, 330, 840}) {
    FakeClock clock(0, zone);
    // Steps of whole seconds, since the text carries no fractions.
    for (double local = DateTime(1850, 1, 1, 0, 0, 1); local < DateTime(2070, 1, 1);
         local += 123 + 12345.0 / 86400) {
      const double read = InternetDateToLocal(LocalToInternetDate(local, clock), clock);
      ExpectSameSecond(read, local, LocalToInternetDate(local, clock));
    }
  }
}

}  // namespace
}  // namespace mailferry
