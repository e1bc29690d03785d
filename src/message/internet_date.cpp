#include "message/internet_date.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "common/date_time.h"

namespace mailferry {
namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr double kMinutesPerDay = 24 * 60;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
           return upper(x) == upper(y);
         });
}

bool IsDayName(std::string_view text) {
  if (text.size() < 3) return false;
  return std::any_of(std::begin(kDayNames), std::end(kDayNames),
                     [&](const char* name) { return EqualsIgnoringCase(text.substr(0, 3), name); });
}

// 1 to 12 for a three-letter month name, 0 for anything else.
int MonthNumber(std::string_view token) {
  for (int i = 0; i < 12; ++i) {
    if (EqualsIgnoringCase(token, kMonthNames[i])) return i + 1;
  }
  return 0;
}

// A whole decimal number with an optional sign; nothing when the text is anything else or the
// number does not fit.
std::optional<int> IntegerValue(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The text still to be read, taken from the front token by token.
class DateText {
 public:
  explicit DateText(std::string_view text) : rest_(text) {}

  std::string_view rest() const { return rest_; }
  void set_rest(std::string_view rest) { rest_ = rest; }

  std::string_view Peek(char delimiter) const { return rest_.substr(0, rest_.find(delimiter)); }

  // The text up to the delimiter; both are removed. Without a delimiter, all of the rest.
  std::string_view Take(char delimiter) {
    const std::size_t at = rest_.find(delimiter);
    const std::string_view token = rest_.substr(0, at);
    rest_ = at == std::string_view::npos ? std::string_view() : rest_.substr(at + 1);
    return token;
  }

  void SkipBlanks() {
    const std::size_t at = rest_.find_first_not_of(' ');
    rest_ = at == std::string_view::npos ? std::string_view() : rest_.substr(at);
  }

 private:
  std::string_view rest_;
};

struct ReadDate {
  double value = 0;  // the date and time as written, on a continuous scale, before any offset
  std::string_view zone;
};

std::optional<ReadDate> ReadInternetDate(std::string_view text) {
  DateText date(text);
  date.SkipBlanks();
  if (date.rest().empty()) return std::nullopt;
  if (IsDayName(date.rest())) {
    date.Take(' ');
    date.SkipBlanks();
  }

  const std::string_view rest = date.rest();
  const std::size_t dash = rest.find('-');
  const std::size_t blank = rest.find(' ');
  const char delimiter = dash != std::string_view::npos && dash >= 1 &&
                                 (blank == std::string_view::npos || dash < blank)
                             ? '-'
                             : ' ';

  std::string_view day_token;
  std::string_view month_token;
  if (MonthNumber(date.Peek(delimiter)) != 0) {
    month_token = date.Take(delimiter);
    date.SkipBlanks();
    day_token = date.Take(delimiter);
  } else {
    day_token = date.Take(delimiter);
    date.SkipBlanks();
    month_token = date.Take(delimiter);
  }
  date.SkipBlanks();
  const int day = IntegerValue(day_token).value_or(1);
  const int month = MonthNumber(month_token);

  // A year that is not where it should be is looked for at the end, after the time.
  const std::string_view year_token = date.Take(' ');
  date.SkipBlanks();
  // (Only a token that is not a number sends the search there; a real year 1900 does not.)
  std::optional<int> year_value = IntegerValue(year_token);
  if (!year_value) {
    year_value = IntegerValue(date.rest());
    date.set_rest(year_token);
  }
  int year = year_value.value_or(1900);
  if (year < 0) return std::nullopt;
  if (year < 80) {
    year += 2000;
  } else if (year < 100) {
    year += 1900;
  }
  const auto day_value = EncodeDate(year, month, day);
  if (!day_value) return std::nullopt;

  ReadDate result;
  result.value = *day_value;
  date.SkipBlanks();
  if (date.rest().find(':') != std::string_view::npos) {
    DateText time(date.Take(' '));
    int parts[3] = {0, 0, 0};
    for (int& part : parts) {
      if (time.rest().empty()) break;
      part = IntegerValue(time.Take(':')).value_or(0);
    }
    const auto time_value = EncodeTime(parts[0], parts[1], parts[2]);
    if (!time_value) return std::nullopt;
    result.value += *time_value;
  }
  date.SkipBlanks();
  result.zone = date.rest();
  return result;
}

// The zone offset in minutes east of UTC; 0 for zone names and anything unreadable.
int ZoneOffsetMinutes(std::string_view zone) {
  if (zone.size() < 5 || (zone[0] != '+' && zone[0] != '-')) return 0;
  int digits[4];
  for (int k = 0; k < 4; ++k) {
    const char c = zone[k + 1];
    if (c < '0' || c > '9') return 0;
    digits[k] = c - '0';
  }
  const int hours = digits[0] * 10 + digits[1];
  const int minutes = digits[2] * 10 + digits[3];
  if (hours >= 24 || minutes >= 60) return 0;
  const int offset = hours * 60 + minutes;
  return zone[0] == '-' ? -offset : offset;
}

int LocalOffsetMinutes(const Clock& clock) {
  const auto offset = clock.UtcOffsetMinutes();
  if (!offset) throw EMfFailedToRetreiveTimeZoneInfo();
  return *offset;
}

// Before 1899-12-30 a date-time holds its time of day as a positive fraction below its
// negative day number, so sums are formed on a continuous scale and converted at the end.
double FromContinuousDays(double days) {
  if (days >= 0) return days;
  const double day = std::floor(days);
  return day - (days - day);
}

std::string TrimControlsAndBlanks(std::string_view text) {
  const auto is_blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  // A tab between the parts is a blank like any other.
  std::string trimmed(text);
  std::replace(trimmed.begin(), trimmed.end(), '\t', ' ');
  return trimmed;
}

}  // namespace

double InternetDateToLocal(std::string_view text, const Clock& clock) {
  const std::string trimmed = TrimControlsAndBlanks(text);
  const auto date = ReadInternetDate(trimmed);
  if (!date) return 0;
  const int zone = ZoneOffsetMinutes(date->zone);
  return FromContinuousDays(date->value - zone / kMinutesPerDay +
                            LocalOffsetMinutes(clock) / kMinutesPerDay);
}

std::string LocalToInternetDate(double local, const Clock& clock) {
  const int offset = LocalOffsetMinutes(clock);
  static const double kFirst = *EncodeDate(1, 1, 1);
  static const double kLast = *EncodeDate(9999, 12, 31) + *EncodeTime(23, 59, 59);
  if (std::isfinite(local)) local = std::clamp(local, kFirst, kLast);
  const DateTimeParts parts = DecodeDateTime(local);
  const int offset_abs = std::abs(offset);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02d%02d",
                kDayNames[parts.day_of_week], parts.day, kMonthNames[parts.month - 1], parts.year,
                parts.hour, parts.minute, parts.second, offset < 0 ? '-' : '+', offset_abs / 60,
                offset_abs % 60);
  return text;
}

}  // namespace mailferry
