#include "platform/linux_locale_formats.h"

#include <gtest/gtest.h>

#include <string>

#include "common/date_time.h"
#include "support/env_guard.h"
#include "support/fake_locale_formats.h"

namespace mailferry {
namespace {

double At(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
  return *EncodeDate(year, month, day) + *EncodeTime(hour, minute, second, ms);
}

TEST(FormatTimeStampTest, LeavesTheTimeOutAtExactlyMidnight) {
  struct Case {
    double date_time;
    const char* stamp;
  };
  const Case cases[] = {
      {At(2024, 3, 5, 13, 7, 9), "2024-03-05 13:07:09"},
      {At(2024, 3, 5, 0, 0, 0), "2024-03-05"},
      {At(2024, 3, 5, 0, 0, 0, 500), "2024-03-05"},  // milliseconds are not looked at
      {At(2024, 3, 5, 0, 0, 1), "2024-03-05 00:00:01"},
      {At(2024, 3, 5, 0, 1, 0), "2024-03-05 00:01:00"},
      {At(2024, 3, 5, 12, 0, 0), "2024-03-05 12:00:00"},
      {0, "1899-12-30"},
  };
  testing::FakeLocaleFormats formats;
  for (const Case& c : cases) EXPECT_EQ(FormatTimeStamp(formats, c.date_time), c.stamp);
}

TEST(LinuxLocaleFormatsTest, CLocaleFormats) {
  LinuxLocaleFormats formats("C");
  EXPECT_EQ(formats.short_date_format(), "%m/%d/%y");
  EXPECT_EQ(formats.long_time_format(), "%H:%M:%S");
  EXPECT_EQ(FormatTimeStamp(formats, At(2024, 3, 5, 13, 7, 9)), "03/05/24 13:07:09");
  EXPECT_EQ(FormatTimeStamp(formats, At(2024, 3, 5, 0, 0, 0, 999)), "03/05/24");
}

TEST(LinuxLocaleFormatsTest, UnknownLocaleFallsBackToC) {
  LinuxLocaleFormats named("xx_NOWHERE.UTF-8");
  EXPECT_EQ(named.short_date_format(), "%m/%d/%y");
  EXPECT_EQ(named.long_time_format(), "%H:%M:%S");

  testing::EnvGuard lc_all("LC_ALL", "xx_NOWHERE.UTF-8");
  LinuxLocaleFormats from_environment;
  EXPECT_EQ(from_environment.short_date_format(), "%m/%d/%y");
}

TEST(LinuxLocaleFormatsTest, RendersPatternsFromTheDayCount) {
  struct Case {
    const char* pattern;
    double date_time;
    std::string text;
  };
  const Case cases[] = {
      {"%d.%m.%Y", At(2024, 3, 5, 13, 7, 9), "05.03.2024"},
      {"%A %e %B %Y", At(2024, 3, 5, 13, 7, 9), "Tuesday  5 March 2024"},
      {"%j", At(2024, 3, 5, 13, 7, 9), "065"},  // day of the year in a leap year
      {"%I:%M:%S %p", At(2024, 3, 5, 13, 7, 9), "01:07:09 PM"},
      {"%Y-%m-%d %H:%M", 0, "1899-12-30 00:00"},
      {"", At(2024, 3, 5, 13, 7, 9), ""},
      {"%Z", At(2024, 7, 1, 12, 0, 0), "UTC"},
      {"%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y%Y", At(2024, 1, 1, 0, 0, 0),
       [] {
         std::string text;
         for (int i = 0; i < 30; ++i) text += "2024";
         return text;
       }()},
  };
  testing::EnvGuard zone("TZ", "UTC0");
  for (const Case& c : cases) {
    const auto formats = LinuxLocaleFormats::WithPatterns(c.pattern, c.pattern);
    EXPECT_EQ(formats.FormatShortDate(c.date_time), c.text) << c.pattern;
    EXPECT_EQ(formats.FormatLongTime(c.date_time), c.text) << c.pattern;
  }
}

TEST(ProcessLocaleFormatsTest, InstalledFormatsReplaceTheDefault) {
  const LocaleFormats& fallback = ProcessLocaleFormats();
  EXPECT_NE(dynamic_cast<const LinuxLocaleFormats*>(&fallback), nullptr);
  testing::FakeLocaleFormats installed;
  SetProcessLocaleFormats(&installed);
  EXPECT_EQ(&ProcessLocaleFormats(), &installed);
  SetProcessLocaleFormats(nullptr);
  EXPECT_EQ(&ProcessLocaleFormats(), &fallback);
}

}  // namespace
}  // namespace mailferry
