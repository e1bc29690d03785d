// LocaleFormats with fixed, easily read renderings: "YYYY-MM-DD" and "HH:MM:SS".
#pragma once

#include <cstdio>
#include <string>

#include "common/date_time.h"
#include "platform/locale_formats.h"

namespace mailferry::testing {

class FakeLocaleFormats : public LocaleFormats {
 public:
  std::string FormatShortDate(double date_time) const override {
    const DateTimeParts p = DecodeDateTime(date_time);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", p.year, p.month, p.day);
    return text;
  }
  std::string FormatLongTime(double date_time) const override {
    const DateTimeParts p = DecodeDateTime(date_time);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    return text;
  }
};

}  // namespace mailferry::testing
