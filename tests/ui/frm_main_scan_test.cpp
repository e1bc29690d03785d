// Scans from the main window against scripted POP3 and SMTP servers on 127.0.0.1: the busy
// display, the result in the status line, the summary box, and ticks of the scheduler.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <QToolButton>

#include "scanning/scan_texts.h"
#include "support/scan_fixture.h"
#include "ui_test_support.h"

namespace mailferry::testing {
namespace {

class MainWindowScanTest : public ScanFixture {
 protected:
  MainWindowScanTest() { TestApplication(); }

  ~MainWindowScanTest() override {
    // A run must have reported back before the program goes.
    if (program_) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return !main().Scanning(); }, 20000));
      main().Controller().WaitForRun();
    }
    program_.reset();
  }

  void StartProgram() {
    MainWindowPorts main_window;
    main_window.tray_available = false;
    main_window.is_internet_connected = [] { return false; };
    main_window.scan = Environment();
    main_window.formats = &formats_;
    program_ = std::make_unique<TDesktopProgram>(
        DesktopPorts{store_, directories_, files_, ui_, main_window,
                     std::make_unique<TRasManager>(settings_dial_up_, ras_main_thread_, clock_)});
  }

  TfrmMain& main() { return program_->frmMain(); }

  std::vector<bool> ButtonsEnabled() {
    std::vector<bool> enabled;
    for (QToolButton* button :
         {main().butScan, main().ButAccounts, main().ButSchedule, main().ButClose}) {
      enabled.push_back(button->isEnabled());
    }
    return enabled;
  }

  // Processes events until the run has reported back; its thread has ended then.
  void FinishRun() {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !main().Scanning(); }, 20000));
    main().Controller().WaitForRun();
  }

  // One mailbox conversation that forwards one message and deletes it.
  void ScriptOneMessage(const std::string& tag) {
    Login(*pop3_, 1);
    Uidl(*pop3_, {tag});
    Retrieve(*pop3_, 1, {tag});
    Delete(*pop3_, 1);
    Quit(*pop3_);
    Delivery(*smtp_, {"anna@local.test"});
  }

  FakeModalUi ui_;
  FakeMainThread ras_main_thread_;
  std::unique_ptr<TDesktopProgram> program_;
};

const std::vector<bool> kAllOn = {true, true, true, true};
const std::vector<bool> kAllOff = {false, false, false, false};

TEST_F(MainWindowScanTest, ManualScanShowsRunningThenTheResultAndTheSummary) {
  AddAccount("Office", pop3_->port());
  Save();
  ScriptOneMessage("m1");
  pop3_->Start();
  smtp_->Start();
  StartProgram();
  EXPECT_EQ(main().labLastRun->text(), "Last Run: Never Run");

  main().butScan->click();
  // The result needs the event loop, which has not run yet.
  EXPECT_EQ(main().labLastRun->text(), "Running...");
  EXPECT_EQ(ButtonsEnabled(), kAllOff);

  // The summary box holds the run's end until it is closed: still busy meanwhile.
  std::vector<bool> buttons_while_open;
  ui_.on_information = [&] { buttons_while_open = ButtonsEnabled(); };
  FinishRun();
  ExpectServersDone();
  EXPECT_EQ(main().labLastRun->text().toStdString(),
            "Last Run: " + FormatTimeStamp(formats_, clock_.Now()));
  EXPECT_EQ(main().labAccountsTested->text(), "Accounts: 1");
  EXPECT_EQ(main().LabMessagesTransfered->text(), "Messages: 1");
  EXPECT_EQ(ui_.informations,
            std::vector<std::string>{"Your Accounts have been updated.\r\n\r\n"
                                     "There were 1 new email messages in 1 mailboxes."});
  EXPECT_EQ(buttons_while_open, kAllOff);
  EXPECT_EQ(ButtonsEnabled(), kAllOn);
  EXPECT_TRUE(ui_.errors.empty());
}

TEST_F(MainWindowScanTest, ATickDuringARunStartsNothingMoreAndATimedRunShowsNoSummary) {
  AddAccount("Office", pop3_->port());
  SetSystem({{"CheckLog", "True"}});
  Save();
  ScriptOneMessage("m1");
  ScriptOneMessage("m2");
  pop3_->Start();
  smtp_->Start();
  StartProgram();

  main().butScan->click();
  const TThreadScanMailBoxes* manual_run = main().Controller().LastRun();
  main().tmrAutoScanTimer();
  EXPECT_EQ(main().Controller().LastRun(), manual_run);
  EXPECT_TRUE(main().tmrAutoScan().Enabled());
  FinishRun();
  EXPECT_EQ(pop3_->Accepted(), 1);
  EXPECT_EQ(ui_.informations.size(), 1u);

  main().tmrAutoScanTimer();
  EXPECT_TRUE(main().Scanning());
  FinishRun();
  ExpectServersDone();
  EXPECT_EQ(main().LabMessagesTransfered->text(), "Messages: 1");
  EXPECT_EQ(ui_.informations.size(), 1u);

  const std::vector<std::string> log = LogTexts();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Waiting for 5 minutes before next request."), 2);
  EXPECT_EQ(
      std::count(log.begin(), log.end(), "Scan Done. Results: New Messages: 1 Accounts checked: 1"),
      2);
}

}  // namespace
}  // namespace mailferry::testing
