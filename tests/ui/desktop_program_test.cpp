// Start-up, the main window's closing paths and the notification-area icon.
#include "ui/desktop_program.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

#include "settings/settings_tables.h"
#include "support/http_script.h"
#include "support/scripted_server.h"
#include "ui/frm_show_update.h"
#include "ui_test_support.h"

namespace mailferry::testing {
namespace {

class StartUpTest : public DesktopProgramTest {
 protected:
  // Stores settings in the data directory as an earlier run of the program would have.
  void StoreSystemRow(bool check_schedule, int schedule) {
    TDmInOut earlier(machine_store_, directories_);
    earlier.LoadAll();
    earlier.dbSystem.Edit();
    earlier.dbSystem.FieldByName("CheckSchedule").SetAsBoolean(check_schedule);
    earlier.dbSystem.FieldByName("Schedule").SetAsInteger(schedule);
    earlier.SaveAll();
  }

  std::string SettingsFiles() {
    return ReadFileBytes(DataFile(kAccountsFileName)) +
           ReadFileBytes(DataFile(kAccountDetailsFileName)) +
           ReadFileBytes(DataFile(kSettingsFileName));
  }

  TfrmMain& main() { return program().frmMain(); }
  bool WindowShown() { return main().isVisible() && !main().isMinimized(); }
};

TEST_F(StartUpTest, FirstStartCreatesTheFilesAndArmsTheTimerFromTheSettings) {
  Start();
  for (const char* name : {kAccountsFileName, kAccountDetailsFileName, kSettingsFileName}) {
    EXPECT_TRUE(std::filesystem::exists(DataFile(name))) << name;
  }
  EXPECT_EQ(main().tmrAutoScan().Interval(), 5 * 60000);
  EXPECT_FALSE(main().tmrAutoScan().Enabled());
  EXPECT_EQ(dm().dbSystem.FieldByName("Schedule").AsInteger(), 5);
  EXPECT_TRUE(ui_.errors.empty());

  StoreSystemRow(true, 15);
  Start();
  EXPECT_EQ(main().tmrAutoScan().Interval(), 15 * 60000);
  EXPECT_TRUE(main().tmrAutoScan().Enabled());
  EXPECT_EQ(main().windowTitle(), "Mailferry");
  EXPECT_EQ(main().size(), QSize(568, 90));
  EXPECT_EQ(main().labLastRun->text(), "Last Run: Never Run");
}

TEST_F(StartUpTest, ADamagedSettingsFileIsShownAndNeverOverwritten) {
  WriteFileBytes(DataFile(kAccountsFileName), "not a table file");
  Start();
  // The load's error, then the window's: the tables after the damaged one stay closed, so the
  // schedule cannot be settled.
  ASSERT_EQ(ui_.errors.size(), 2u);
  const std::string load_error = ui_.errors[0];
  EXPECT_EQ(ui_.errors[1], "dbSystem: Cannot perform this operation on a closed dataset");
  EXPECT_FALSE(main().tmrAutoScan().Enabled());

  // The program runs on; Close cannot save and so stays open.
  QSignalSpy closed(&main(), &TfrmMain::Closed);
  main().ButClose->click();
  ASSERT_EQ(ui_.errors.size(), 3u);
  EXPECT_EQ(ui_.errors[2], load_error);
  EXPECT_EQ(closed.count(), 0);
  EXPECT_EQ(ReadFileBytes(DataFile(kAccountsFileName)), "not a table file");
}

TEST_F(StartUpTest, CloseSavesTheSettingsWhileExitAndTheCloseBoxDoNot) {
  struct Case {
    const char* name;
    std::function<void(TfrmMain&)> close;
    bool saves;
  };
  const Case cases[] = {
      {"Exit", [](TfrmMain& window) { window.Exit1->trigger(); }, false},
      {"close box", [](TfrmMain& window) { window.close(); }, false},
      {"Close", [](TfrmMain& window) { window.ButClose->click(); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    const std::string before = SettingsFiles();
    dm().dbSystem.Edit();
    dm().dbSystem.FieldByName("ExchangeServer").SetAsString("relay.example");
    QSignalSpy closed(&main(), &TfrmMain::Closed);
    c.close(main());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(SettingsFiles() != before, c.saves);
    EXPECT_EQ(ReadFileBytes(DataFile(kSettingsFileName)).find("relay.example") != std::string::npos,
              c.saves);
  }
}

TEST_F(StartUpTest, TrayIconTogglesTheWindowByItsOwnFlag) {
  Start(/*tray_available=*/true);
  main().ShowAtStartUp();
  EXPECT_FALSE(main().isVisible());
  struct Step {
    const char* name;
    std::function<void(TfrmMain&)> act;
    bool shown;
    bool flag;
  };
  const auto double_click = [](TfrmMain& window) {
    window.TrayIconActivated(QSystemTrayIcon::DoubleClick);
  };
  const Step steps[] = {
      {"double-click", double_click, true, true},
      {"left click", [](TfrmMain& w) { w.TrayIconActivated(QSystemTrayIcon::Trigger); }, true,
       true},
      {"double-click again", double_click, false, false},
      {"double-click once more", double_click, true, true},
      {"minimize", [](TfrmMain& w) { w.setWindowState(Qt::WindowMinimized); }, false, false},
      {"Restore", [](TfrmMain& w) { w.Restore1->trigger(); }, true, false},
      {"double-click after Restore", double_click, true, true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.act(main());
    QTRY_COMPARE(WindowShown(), step.shown);
    EXPECT_EQ(main().TrayShown(), step.flag);
  }
  EXPECT_EQ(main().pmTrayMenu->actions().size(), 4);
  EXPECT_TRUE(main().N1->isSeparator());
  EXPECT_EQ(main().Checkforupdate1->text(), "Check for update");
}

TEST_F(StartUpTest, WithoutANotificationAreaTheWindowShowsAndMinimizingOnlyMinimizes) {
  Start(/*tray_available=*/false);
  main().ShowAtStartUp();
  EXPECT_TRUE(WindowShown());
  main().setWindowState(Qt::WindowMinimized);
  QCoreApplication::processEvents();
  EXPECT_TRUE(main().isVisible());
  EXPECT_TRUE(main().isMinimized());
}

TEST_F(StartUpTest, CheckForUpdateShowsTheLatestVersionMessageOrTheAnnouncement) {
  for (const std::string version : {"1.00", "1.01"}) {
    SCOPED_TRACE(version);
    const bool newer = version != kProgramVersion;
    ScriptedServer server;
    server.Accept();
    ExpectHttpGet(server, "/Mailferry/TestConnection.html").Send(HttpOk("<html>OK</html>"));
    ExpectHttpGet(server, "/Mailferry/TestVersion.asp?version=1.00").Send(HttpOk(version));
    if (newer) {
      ExpectHttpGet(server, "/Mailferry/NewVersionAvailable.asp")
          .Send(HttpOk("<html><b>Version 1.01</b> is out</html>"));
    }
    server.AwaitClose();
    server.Start();
    online_ = true;
    main_window_.update_service.port = server.port();
    Start();
    ui_.informations.clear();
    if (newer) {
      ui_.dialogs.push_back([](QDialog& window) {
        EXPECT_EQ(window.windowTitle(), "A New version is available!");
        EXPECT_EQ(window.size(), QSize(608, 384));
        auto& page = dynamic_cast<TfrmShowUpdate&>(window);
        EXPECT_EQ(page.WebBrowser1->toPlainText(), "Version 1.01 is out");
      });
    }
    main().Checkforupdate1->trigger();
    EXPECT_EQ(server.Finish(), std::vector<std::string>{});
    EXPECT_EQ(ui_.informations,
              newer ? std::vector<std::string>{} : std::vector<std::string>{kLatestVersionMessage});
    EXPECT_TRUE(ui_.dialogs.empty());
    EXPECT_TRUE(ui_.errors.empty());
  }
}

}  // namespace
}  // namespace mailferry::testing
