// A LocaleLanguage whose language, region and code page the test sets.
#pragma once

#include <string>

#include "platform/locale_language.h"

namespace mailferry::testing {

class FakeLocaleLanguage : public LocaleLanguage {
 public:
  FakeLocaleLanguage(std::string language, std::string region, bool utf8)
      : language_(std::move(language)), region_(std::move(region)), utf8_(utf8) {}

  std::string Language() const override { return language_; }
  std::string Region() const override { return region_; }
  bool CodePageIsUtf8() const override { return utf8_; }

 private:
  std::string language_;
  std::string region_;
  bool utf8_;
};

}  // namespace mailferry::testing
