// LocaleLanguage from the POSIX locale environment (LC_ALL, then LC_CTYPE, then LANG).
#pragma once

#include <string>
#include <string_view>

#include "platform/locale_language.h"

namespace mailferry {

// The parts of a POSIX locale name language[_region][.codeset][@modifier].
struct LocaleName {
  std::string language;  // lower case
  std::string region;    // upper case
  std::string codeset;   // as written
};

LocaleName ParseLocaleName(std::string_view name);

// True when a codeset name means UTF-8 ("UTF-8", "utf8", ...).
bool IsUtf8Codeset(std::string_view codeset);

class LinuxLocaleLanguage : public LocaleLanguage {
 public:
  std::string Language() const override;
  std::string Region() const override;

  // Linux text is UTF-8 unless the locale names another codeset; the C and POSIX locales count
  // as UTF-8 too, since the program's own text is UTF-8 there.
  bool CodePageIsUtf8() const override;
};

}  // namespace mailferry
