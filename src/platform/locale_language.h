// The LocaleLanguage port: the system's primary language and whether its code page is UTF-8,
// which together choose the charset of encoded header words.
#pragma once

#include <string>

namespace mailferry {

class LocaleLanguage {
 public:
  virtual ~LocaleLanguage() = default;

  // The primary language as an ISO 639 code in lower case ("ja", "zh"); empty when unknown.
  virtual std::string Language() const = 0;

  // The region (sublanguage) as an ISO 3166 code in upper case ("CN", "TW"); empty when unknown.
  virtual std::string Region() const = 0;

  // True when the system's 8-bit text is UTF-8.
  virtual bool CodePageIsUtf8() const = 0;
};

// The process-wide locale of the operating system. Safe to call from any thread.
const LocaleLanguage& SystemLocaleLanguage();

}  // namespace mailferry
