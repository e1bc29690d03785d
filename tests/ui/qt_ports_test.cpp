// The Qt side of the MainThread and LocaleFormats ports.
#include <gtest/gtest.h>

#include <QTest>
#include <stdexcept>
#include <thread>

#include "common/date_time.h"
#include "ui/qt_locale_formats.h"
#include "ui/qt_main_thread.h"
#include "ui_test_support.h"

// Qt's font database hands fontconfig data to the process for good; the leak checker of the
// sanitizer run is told so, as it is not this program's memory.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace mailferry::testing {
namespace {

TEST(QtMainThreadTest, WorkFromAnotherThreadRunsOnTheGuiThread) {
  TestApplication();
  QtMainThread main_thread;
  const std::thread::id gui = std::this_thread::get_id();
  std::thread::id ran_on;
  bool posted_ran = false;
  bool caught = false;
  std::thread worker([&] {
    main_thread.RunSynchronously([&] { ran_on = std::this_thread::get_id(); });
    try {
      main_thread.RunSynchronously([] { throw std::runtime_error("refused"); });
    } catch (const std::runtime_error& error) {
      caught = std::string(error.what()) == "refused";
    }
    main_thread.Post([&] { posted_ran = true; });
  });
  // The worker's blocking calls need the GUI thread's event loop.
  QTRY_VERIFY(posted_ran);
  worker.join();
  EXPECT_EQ(ran_on, gui);
  EXPECT_TRUE(caught);
}

TEST(QtMainThreadTest, SameSettingsKeepTheCountdownAndARealChangeRestartsIt) {
  TestApplication();
  QtMainThread main_thread;
  int ticks = 0;
  auto created = main_thread.CreateTimer(600000, [&] { ++ticks; });
  auto& timer = dynamic_cast<QtTimer&>(*created);
  EXPECT_FALSE(timer.Enabled());
  timer.SetEnabled(true);
  QTRY_VERIFY(timer.RemainingTime() < 600000 - 20);

  timer.SetInterval(600000);
  timer.SetEnabled(true);
  EXPECT_LT(timer.RemainingTime(), 600000 - 20);

  timer.SetInterval(660000);
  EXPECT_GT(timer.RemainingTime(), 600000);
  timer.SetEnabled(false);
  EXPECT_EQ(timer.RemainingTime(), -1);

  timer.SetInterval(1);
  timer.SetEnabled(true);
  QTRY_VERIFY(ticks >= 2);
}

TEST(QtLocaleFormatsTest, TimeStampsUseTheLocalesShortDateAndLongTimeWithoutZone) {
  struct Case {
    const char* locale;
    double date_time;
    std::string stamp;
  };
  const double afternoon = *EncodeDate(2024, 3, 9) + *EncodeTime(14, 5, 7);
  const Case cases[] = {
      {"en_US", afternoon, "3/9/24 2:05:07 PM"},
      {"de_DE", afternoon, "09.03.24 14:05:07"},
      {"de_DE", *EncodeDate(2024, 3, 9), "09.03.24"},  // midnight: the date alone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    const QtLocaleFormats formats{QLocale(c.locale)};
    EXPECT_EQ(FormatTimeStamp(formats, c.date_time), c.stamp);
  }
}

TEST(QtLocaleFormatsTest, TimeZoneLettersAreDropped) {
  EXPECT_EQ(WithoutTimeZone("h:mm:ss AP t"), "h:mm:ss AP");
  EXPECT_EQ(WithoutTimeZone("HH:mm:ss 'at' t"), "HH:mm:ss 'at'");
  EXPECT_EQ(WithoutTimeZone("tt HH:mm"), "HH:mm");
}

}  // namespace
}  // namespace mailferry::testing
