#include "platform/linux_locale_language.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mailferry {
namespace {

// Sets the three locale variables for the life of the guard and restores them afterwards.
class LocaleEnvironment {
 public:
  LocaleEnvironment(const char* lc_all, const char* lc_ctype, const char* lang) {
    Set("LC_ALL", lc_all);
    Set("LC_CTYPE", lc_ctype);
    Set("LANG", lang);
  }
  ~LocaleEnvironment() {
    for (auto& [name, value] : saved_) {
      if (value) {
        setenv(name, value->c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }

 private:
  void Set(const char* name, const char* value) {
    const char* old = getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }

  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(LinuxLocaleLanguageTest, ParsesLocaleNames) {
  const struct Case {
    const char* name;
    const char* language;
    const char* region;
    const char* codeset;
  } cases[] = {
      {"ja_JP.SJIS", "ja", "JP", "SJIS"},
      {"zh_CN.GB2312", "zh", "CN", "GB2312"},
      {"de_DE.UTF-8@euro", "de", "DE", "UTF-8"},
      {"sr_RS@latin", "sr", "RS", ""},
      {"KO_kr", "ko", "KR", ""},
      {"en", "en", "", ""},
      {"C.UTF-8", "", "", "UTF-8"},
      {"POSIX", "", "", ""},
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    const LocaleName parts = ParseLocaleName(c.name);
    EXPECT_EQ(parts.language, c.language) << c.name;
    EXPECT_EQ(parts.region, c.region) << c.name;
    EXPECT_EQ(parts.codeset, c.codeset) << c.name;
  }
}

TEST(LinuxLocaleLanguageTest, RecognisesUtf8Codesets) {
  for (const char* name : {"UTF-8", "utf8", "Utf_8"}) EXPECT_TRUE(IsUtf8Codeset(name)) << name;
  for (const char* name : {"ISO-8859-1", "SJIS", "", "UTF-16"}) {
    EXPECT_FALSE(IsUtf8Codeset(name)) << name;
  }
}

TEST(LinuxLocaleLanguageTest, FollowsTheEnvironmentInPosixOrder) {
  LinuxLocaleLanguage locale;
  {
    LocaleEnvironment env("ja_JP.SJIS", "ko_KR.UTF-8", "zh_TW.UTF-8");
    EXPECT_EQ(locale.Language(), "ja");
    EXPECT_EQ(locale.Region(), "JP");
    EXPECT_FALSE(locale.CodePageIsUtf8());
  }
  {
    LocaleEnvironment env("", "ko_KR.eucKR", "zh_TW.UTF-8");
    EXPECT_EQ(locale.Language(), "ko");
    EXPECT_FALSE(locale.CodePageIsUtf8());
  }
  {
    LocaleEnvironment env(nullptr, nullptr, "zh_TW.UTF-8");
    EXPECT_EQ(locale.Language(), "zh");
    EXPECT_EQ(locale.Region(), "TW");
    EXPECT_TRUE(locale.CodePageIsUtf8());
  }
}

TEST(LinuxLocaleLanguageTest, PlainAndUnknownLocalesCountAsUtf8) {
  LinuxLocaleLanguage locale;
  for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_YY"}) {
    LocaleEnvironment env(name, nullptr, nullptr);
    EXPECT_TRUE(locale.CodePageIsUtf8()) << name;
  }
  LocaleEnvironment env(nullptr, nullptr, nullptr);
  EXPECT_EQ(locale.Language(), "");
  EXPECT_TRUE(locale.CodePageIsUtf8());
}

}  // namespace
}  // namespace mailferry
