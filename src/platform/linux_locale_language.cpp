#include "platform/linux_locale_language.h"

#include <langinfo.h>
#include <locale.h>
#include <stdlib.h>

#include <algorithm>

namespace mailferry {
namespace {

// The locale name that governs character handling, read afresh at every call.
std::string CurrentLocaleName() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

}  // namespace

LocaleName ParseLocaleName(std::string_view name) {
  LocaleName parts;
  name = name.substr(0, name.find('@'));
  const std::size_t dot = name.find('.');
  if (dot != std::string_view::npos) {
    parts.codeset = std::string(name.substr(dot + 1));
    name = name.substr(0, dot);
  }
  const std::size_t underscore = name.find('_');
  std::string_view language = name.substr(0, underscore);
  if (language == "C" || language == "POSIX") language = {};
  parts.language.resize(language.size());
  std::transform(language.begin(), language.end(), parts.language.begin(), AsciiLower);
  if (underscore != std::string_view::npos) {
    const std::string_view region = name.substr(underscore + 1);
    parts.region.resize(region.size());
    std::transform(region.begin(), region.end(), parts.region.begin(), AsciiUpper);
  }
  return parts;
}

bool IsUtf8Codeset(std::string_view codeset) {
  std::string plain;
  for (char c : codeset) {
    if (c != '-' && c != '_') plain.push_back(AsciiLower(c));
  }
  return plain == "utf8";
}

std::string LinuxLocaleLanguage::Language() const {
  return ParseLocaleName(CurrentLocaleName()).language;
}

std::string LinuxLocaleLanguage::Region() const {
  return ParseLocaleName(CurrentLocaleName()).region;
}

bool LinuxLocaleLanguage::CodePageIsUtf8() const {
  const std::string name = CurrentLocaleName();
  const LocaleName parts = ParseLocaleName(name);
  if (!parts.codeset.empty()) return IsUtf8Codeset(parts.codeset);
  if (parts.language.empty()) return true;
  // A name without a codeset ("de_DE") means the locale's own default codeset, which only the
  // installed locale knows; one that is not installed is not in use either.
  const locale_t locale = newlocale(LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return true;
  const bool utf8 = IsUtf8Codeset(nl_langinfo_l(CODESET, locale));
  freelocale(locale);
  return utf8;
}

const LocaleLanguage& SystemLocaleLanguage() {
  static const LinuxLocaleLanguage locale;
  return locale;
}

}  // namespace mailferry
