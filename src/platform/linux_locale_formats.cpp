#include "platform/linux_locale_formats.h"

#include <langinfo.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "common/date_time.h"

namespace mailferry {
namespace {

// The largest rendering accepted; a pattern that needs more is cut off there.
constexpr std::size_t kMaxRenderedLength = 4096;

locale_t CLocale() {
  static const locale_t c_locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
  return c_locale;
}

tm ToTm(double date_time) {
  const DateTimeParts parts = DecodeDateTime(date_time);
  tm value{};
  value.tm_year = parts.year - 1900;
  value.tm_mon = parts.month - 1;
  value.tm_mday = parts.day;
  value.tm_hour = parts.hour;
  value.tm_min = parts.minute;
  value.tm_sec = parts.second;
  value.tm_wday = parts.day_of_week;
  const auto first_of_year = EncodeDate(parts.year, 1, 1);
  const auto this_day = EncodeDate(parts.year, parts.month, parts.day);
  if (first_of_year && this_day) value.tm_yday = static_cast<int>(*this_day - *first_of_year);
  // The zone fields (%Z, %z) are those local time has on that day.
  tm zone_probe = value;
  zone_probe.tm_isdst = -1;
  if (mktime(&zone_probe) != static_cast<time_t>(-1)) {
    value.tm_isdst = zone_probe.tm_isdst;
    value.tm_gmtoff = zone_probe.tm_gmtoff;
    value.tm_zone = zone_probe.tm_zone;
  }
  return value;
}

std::atomic<const LocaleFormats*> installed_formats{nullptr};

}  // namespace

std::string FormatWithPattern(const std::string& pattern, double date_time, locale_t locale) {
  if (locale == nullptr) locale = CLocale();
  const tm value = ToTm(date_time);
  // strftime answers 0 both for an empty result and for a buffer too small; a trailing blank in
  // the pattern tells the two apart.
  const std::string marked = pattern + ' ';
  std::vector<char> buffer(64 + 4 * pattern.size());
  while (true) {
    const std::size_t length =
        locale != nullptr ? strftime_l(buffer.data(), buffer.size(), marked.c_str(), &value, locale)
                          : strftime(buffer.data(), buffer.size(), marked.c_str(), &value);
    if (length > 0) return std::string(buffer.data(), length - 1);
    if (buffer.size() >= kMaxRenderedLength) return {};
    buffer.resize(std::min(buffer.size() * 2, kMaxRenderedLength));
  }
}

void LinuxLocaleFormats::LocaleDeleter::operator()(std::remove_pointer_t<locale_t>* locale) const {
  freelocale(locale);
}

LinuxLocaleFormats::LinuxLocaleFormats(LocalePtr locale, std::string short_date,
                                       std::string long_time)
    : locale_(std::move(locale)),
      short_date_format_(std::move(short_date)),
      long_time_format_(std::move(long_time)) {}

LinuxLocaleFormats LinuxLocaleFormats::FromLocaleName(const char* locale_name) {
  LocalePtr locale(newlocale(LC_TIME_MASK, locale_name, static_cast<locale_t>(nullptr)));
  if (!locale) locale.reset(newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr)));
  if (!locale) return LinuxLocaleFormats(nullptr, "%m/%d/%y", "%H:%M:%S");
  std::string short_date = nl_langinfo_l(D_FMT, locale.get());
  std::string long_time = nl_langinfo_l(T_FMT, locale.get());
  return LinuxLocaleFormats(std::move(locale), std::move(short_date), std::move(long_time));
}

LinuxLocaleFormats::LinuxLocaleFormats() : LinuxLocaleFormats(FromLocaleName("")) {}

LinuxLocaleFormats::LinuxLocaleFormats(const std::string& locale_name)
    : LinuxLocaleFormats(FromLocaleName(locale_name.c_str())) {}

LinuxLocaleFormats LinuxLocaleFormats::WithPatterns(std::string short_date, std::string long_time) {
  return LinuxLocaleFormats(nullptr, std::move(short_date), std::move(long_time));
}

std::string LinuxLocaleFormats::FormatShortDate(double date_time) const {
  return FormatWithPattern(short_date_format_, date_time, locale_.get());
}

std::string LinuxLocaleFormats::FormatLongTime(double date_time) const {
  return FormatWithPattern(long_time_format_, date_time, locale_.get());
}

const LocaleFormats& ProcessLocaleFormats() {
  static const LinuxLocaleFormats from_environment;
  const LocaleFormats* installed = installed_formats.load();
  return installed != nullptr ? *installed : from_environment;
}

void SetProcessLocaleFormats(const LocaleFormats* formats) { installed_formats.store(formats); }

}  // namespace mailferry
