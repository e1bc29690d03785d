#include "common/date_time.h"

#include <gtest/gtest.h>

namespace mailferry {
namespace {

struct DateCase {
  int year, month, day;
  double expected;
};

TEST(DateTimeTest, EncodesKnownDayCounts) {
  const DateCase cases[] = {
      {1899, 12, 30, 0}, {1900, 1, 1, 2}, {2005, 2, 1, 38384}, {2000, 2, 29, 36585}, {1, 1, 1, -693593},
  };
  for (const auto& c : cases) {
    auto value = EncodeDate(c.year, c.month, c.day);
    ASSERT_TRUE(value) << c.year << "-" << c.month << "-" << c.day;
    EXPECT_DOUBLE_EQ(*value, c.expected);
    auto parts = DecodeDateTime(*value);
    EXPECT_EQ(parts.year, c.year);
    EXPECT_EQ(parts.month, c.month);
    EXPECT_EQ(parts.day, c.day);
  }
}

TEST(DateTimeTest, RefusesImpossibleDates) {
  const DateCase cases[] = {{2005, 2, 29, 0}, {2005, 0, 1, 0}, {2005, 1, 32, 0},
                            {1900, 2, 29, 0}, {0, 1, 1, 0},    {10000, 1, 1, 0}};
  for (const auto& c : cases) EXPECT_FALSE(EncodeDate(c.year, c.month, c.day)) << c.year;
}

TEST(DateTimeTest, TimeOfDayRoundTripsAndWeekdayIsRight) {
  const double value = *EncodeDate(2005, 2, 1) + *EncodeTime(9, 5, 7, 250);
  const auto parts = DecodeDateTime(value);
  EXPECT_EQ(parts.hour, 9);
  EXPECT_EQ(parts.minute, 5);
  EXPECT_EQ(parts.second, 7);
  EXPECT_EQ(parts.millisecond, 250);
  EXPECT_EQ(parts.day_of_week, 2);  // a Tuesday
  EXPECT_FALSE(EncodeTime(24, 0, 0));
  EXPECT_FALSE(EncodeTime(0, 60, 0));
}

TEST(DateTimeTest, AlmostMidnightRoundsIntoTheNextDay) {
  const double value = *EncodeDate(2005, 2, 1) + 0.99999999999;
  const auto parts = DecodeDateTime(value);
  EXPECT_EQ(parts.day, 2);
  EXPECT_EQ(parts.hour, 0);
}

TEST(DateTimeTest, ValuesOutsideTheCalendarGiveTheDefaultParts) {
  for (double value : {1e300, -1e300, 1e18}) {
    const auto parts = DecodeDateTime(value);
    EXPECT_EQ(parts.year, 1899) << value;
    EXPECT_EQ(parts.day, 30) << value;
  }
}

}  // namespace
}  // namespace mailferry
