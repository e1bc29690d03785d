#include "common/date_time.h"

#include <cmath>
#include <cstdint>

namespace mailferry {
namespace {

// Days from 1970-01-01 to a civil date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

// 1899-12-30 counted from 1970-01-01.
constexpr int64_t kEpochOffsetDays = -25569;

}  // namespace

bool IsValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int limit = (month == 2 && leap) ? 29 : kDays[month - 1];
  return day <= limit;
}

std::optional<double> EncodeDate(int year, int month, int day) {
  if (!IsValidDate(year, month, day)) return std::nullopt;
  return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                           static_cast<unsigned>(day)) -
                             kEpochOffsetDays);
}

std::optional<double> EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    return std::nullopt;
  }
  return (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
}

DateTimeParts DecodeDateTime(double value) {
  DateTimeParts parts;
  // Far outside the years 1..9999 no calendar date exists; refuse before the integer cast.
  if (!std::isfinite(value) || std::fabs(value) > 1e8) return parts;
  double whole = std::trunc(value);
  int64_t ms = std::llround(std::fabs(value - whole) * 86400000.0);
  if (ms >= 86400000) {
    ms -= 86400000;
    whole += value < 0 ? -1 : 1;
  }
  const int64_t days = static_cast<int64_t>(whole) + kEpochOffsetDays;
  CivilFromDays(days, parts.year, parts.month, parts.day);
  // 1970-01-01 was a Thursday.
  parts.day_of_week = static_cast<int>(((days % 7) + 7 + 4) % 7);
  parts.hour = static_cast<int>(ms / 3600000);
  parts.minute = static_cast<int>(ms / 60000 % 60);
  parts.second = static_cast<int>(ms / 1000 % 60);
  parts.millisecond = static_cast<int>(ms % 1000);
  return parts;
}

}  // namespace mailferry
