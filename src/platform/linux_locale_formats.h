// LocaleFormats from the C library: the short date format D_FMT and the long time format T_FMT of
// a locale's LC_TIME, rendered with strftime.
#pragma once

#include <locale.h>

#include <memory>
#include <string>
#include <type_traits>

#include "platform/locale_formats.h"

namespace mailferry {

// The local date-time as strftime renders `pattern` in the locale (the C locale when null).
std::string FormatWithPattern(const std::string& pattern, double date_time, locale_t locale);

class LinuxLocaleFormats : public LocaleFormats {
 public:
  // The LC_TIME locale the environment names (LC_ALL, LC_TIME, LANG), without touching the
  // process's global locale; the C locale when that one is not installed.
  LinuxLocaleFormats();

  // A named locale ("de_DE.UTF-8"); the C locale when it is not installed.
  explicit LinuxLocaleFormats(const std::string& locale_name);

  // Fixed strftime patterns rendered in the C locale.
  static LinuxLocaleFormats WithPatterns(std::string short_date, std::string long_time);

  std::string FormatShortDate(double date_time) const override;
  std::string FormatLongTime(double date_time) const override;

  const std::string& short_date_format() const { return short_date_format_; }
  const std::string& long_time_format() const { return long_time_format_; }

 private:
  struct LocaleDeleter {
    void operator()(std::remove_pointer_t<locale_t>* locale) const;
  };
  using LocalePtr = std::unique_ptr<std::remove_pointer_t<locale_t>, LocaleDeleter>;

  LinuxLocaleFormats(LocalePtr locale, std::string short_date, std::string long_time);
  static LinuxLocaleFormats FromLocaleName(const char* locale_name);

  LocalePtr locale_;  // null: the C locale
  std::string short_date_format_;
  std::string long_time_format_;
};

}  // namespace mailferry
