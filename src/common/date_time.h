// Local date-times as the program holds them: a double counting days since 1899-12-30, whose
// fraction is the time of day. These helpers convert to and from calendar values.
#pragma once

#include <optional>

namespace mailferry {

struct DateTimeParts {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int day_of_week = 6;  // 0 = Sunday .. 6 = Saturday
};

// True when year/month/day name a real day of the proleptic Gregorian calendar (years 1..9999).
bool IsValidDate(int year, int month, int day);

// The day count of a calendar date at midnight; nullopt for an impossible date.
std::optional<double> EncodeDate(int year, int month, int day);

// The fraction of a day for a time of day; nullopt when a part is out of range.
std::optional<double> EncodeTime(int hour, int minute, int second, int millisecond = 0);

// Calendar parts of a day count (rounded to the nearest millisecond). Negative values follow the
// usual convention: the whole part is the day, the absolute fraction the time. A value that is not
// finite or lies far outside the calendar gives the default parts (1899-12-30 00:00).
DateTimeParts DecodeDateTime(double value);

}  // namespace mailferry
