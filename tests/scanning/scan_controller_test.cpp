#include "scanning/scan_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "settings/settings_tables.h"
#include "settings/table_file.h"
#include "support/file_bytes.h"
#include "support/scan_fixture.h"

namespace mailferry {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

// The main window's labels and buttons, with every change recorded.
class RecordingDisplay : public ScanStatusDisplay {
 public:
  explicit RecordingDisplay(testing::QueuedMainThread& main) : main_(main) {}

  void SetLastRunText(const std::string& text) override { Record("last run", text); }
  void SetAccountsText(const std::string& text) override { Record("accounts", text); }
  void SetMessagesText(const std::string& text) override { Record("messages", text); }
  void SetButtonsEnabled(bool enabled) override {
    buttons_enabled = enabled;
    Record("buttons", enabled ? "on" : "off");
  }

  std::string last_run = "Last Run: Never Run";
  std::string accounts = "Accounts: 0";
  std::string messages = "Messages: 0";
  bool buttons_enabled = true;
  std::vector<std::string> events;
  bool off_main_thread = false;

 private:
  void Record(const std::string& what, const std::string& text) {
    if (!main_.IsMainThread()) off_main_thread = true;
    if (what == "last run") last_run = text;
    if (what == "accounts") accounts = text;
    if (what == "messages") messages = text;
    events.push_back(what + ": " + text);
  }

  testing::QueuedMainThread& main_;
};

class RecordingBoxes : public MessageBoxes {
 public:
  void ShowInformation(const std::string& text) override {
    information.push_back(text);
    if (while_open) while_open();
  }
  void ShowError(const std::string& text) override { errors.push_back(text); }

  std::vector<std::string> information;
  std::vector<std::string> errors;
  std::function<void()> while_open;
};

class ScanControllerTest : public testing::ScanFixture {
 protected:
  ScanControllerTest() {
    SetSystem({{"CheckSchedule", "True"}, {"CheckLog", "True"}});
    controller_ =
        std::make_unique<ScanController>(*dm_, store_, display_, boxes_, Environment(), &formats_);
  }

  ~ScanControllerTest() override {
    if (controller_) {
      EXPECT_TRUE(main_.RunUntil([&] { return !controller_->Scanning(); }));
      controller_->WaitForRun();
    }
    controller_.reset();
    if (!servers_started_) StartServers();
    ExpectServersDone();
  }

  void StartServers() {
    pop3_->Start();
    smtp_->Start();
    servers_started_ = true;
  }

  // Runs the main thread's queue until the run in progress has reported back.
  void FinishRun() {
    ASSERT_TRUE(main_.RunUntil([&] { return !controller_->Scanning(); }));
    controller_->WaitForRun();
  }

  MainThreadTimer& Timer() { return controller_->tmrAutoScan(); }

  int CountLog(const std::string& text) const {
    const auto texts = LogTexts();
    return static_cast<int>(std::count(texts.begin(), texts.end(), text));
  }

  bool servers_started_ = false;
  RecordingDisplay display_{main_};
  RecordingBoxes boxes_;
  std::unique_ptr<ScanController> controller_;
};

TEST_F(ScanControllerTest, FormCreateArmsTheTimerFromTheSchedule) {
  struct Case {
    const char* schedule;
    const char* check_schedule;
    int interval;
    bool enabled;
  };
  const std::vector<Case> cases = {
      {"7", "True", 7 * 60000, true},
      {"10080", "False", 10080 * 60000, false},
      {"0", "True", 5 * 60000, true},
      {"", "True", 5 * 60000, true},
      // Beyond what a timer interval holds (the dialog never stores it): held at the limit.
      {"65535", "True", INT_MAX, true},
  };
  for (const Case& c : cases) {
    SetSystem({{"Schedule", c.schedule}, {"CheckSchedule", c.check_schedule}});
    controller_->FormCreate();
    EXPECT_EQ(Timer().Interval(), c.interval) << c.schedule;
    EXPECT_EQ(Timer().Enabled(), c.enabled) << c.schedule;
  }
  // The fixed-up schedule is stored by the next save.
  SetSystem({{"Schedule", "0"}});
  controller_->FormCreate();
  EXPECT_EQ(dm_->dbSystem.FieldByName("Schedule").AsInteger(), 5);
}

TEST_F(ScanControllerTest, FormCreateAtFirstStartCreatesTheSystemRow) {
  testing::TempDir fresh;
  testing::FakeMachineStore store(fresh.prefix());
  testing::FakeDialUpPlatform dial_up;
  TDmInOut dm(store, directories_, files_, std::make_unique<TRasManager>(dial_up, main_, clock_));
  dm.LoadAll();
  ASSERT_TRUE(dm.dbSystem.IsEmpty());
  ScanController controller(dm, store, display_, boxes_, Environment(), &formats_);
  EXPECT_FALSE(controller.tmrAutoScan().Enabled());
  controller.FormCreate();
  EXPECT_EQ(controller.tmrAutoScan().Interval(), 300000);
  EXPECT_FALSE(controller.tmrAutoScan().Enabled());
  dm.SaveAll();
  TMemTable saved("dbSystem");
  LoadTableFile(saved, fresh.prefix() + kSettingsFileName);
  ASSERT_EQ(saved.RecordCount(), 1);
  EXPECT_EQ(saved.FieldByName("Schedule").AsInteger(), 5);
  EXPECT_EQ(saved.FieldByName("SMTPPort").AsInteger(), 25);
  EXPECT_FALSE(saved.FieldByName("CheckSchedule").AsBoolean());
}

TEST_F(ScanControllerTest, AManualScanSavesShowsItsProgressAndEndsWithTheSummary) {
  AddAccount("Office", pop3_->port(), {{"Pop3Password", "wrong"}});
  pop3_->Accept()
      .SendLine("+OK POP3 ready")
      .Expect("USER anna")
      .SendLine("+OK")
      .Expect("PASS wrong")
      .SendLine("-ERR no")
      .Expect("QUIT")
      .AwaitClose();
  // An edit still open in a dialog is posted and saved before the run reads the files.
  dm_->dbAccounts.Edit();
  dm_->dbAccounts.FieldByName("AccountName").SetAsString("Head Office");
  clock_.set_now(MessageDay() + 1.0 / 24);
  boxes_.while_open = [&] {
    // The run is not over until the user closed the box.
    EXPECT_TRUE(controller_->Scanning());
    EXPECT_FALSE(display_.buttons_enabled);
  };
  StartServers();
  controller_->butScanClick();
  EXPECT_TRUE(controller_->Scanning());
  EXPECT_EQ(display_.last_run, "Running...");
  EXPECT_FALSE(display_.buttons_enabled);
  FinishRun();
  EXPECT_EQ(display_.last_run, "Last Run: 2024-03-05 11:00:00");
  EXPECT_EQ(display_.accounts, "Accounts: 1");
  EXPECT_EQ(display_.messages, "Messages: 0");
  EXPECT_TRUE(display_.buttons_enabled);
  EXPECT_FALSE(display_.off_main_thread);
  EXPECT_THAT(boxes_.information, ElementsAre("Your Accounts have been updated.\r\n\r\n"
                                              "There were 0 new email messages in 1 mailboxes."));
  EXPECT_THAT(LogTexts(), ElementsAre("Error while connecting to Head Office",
                                      "Scan Done. Results: New Messages: 0 Accounts checked: 1"));
  TMemTable saved("dbAccounts");
  LoadTableFile(saved, dir_.prefix() + kAccountsFileName);
  EXPECT_EQ(saved.FieldByName("AccountName").AsString(), "Head Office");
}

TEST_F(ScanControllerTest, ATimedScanShowsNoBoxAndLogsTheWait) {
  SetSystem({{"Schedule", "9"}});
  controller_->FormCreate();
  EXPECT_EQ(main_.FireTimers(), 1);
  EXPECT_TRUE(controller_->Scanning());
  EXPECT_TRUE(Timer().Enabled());
  FinishRun();
  EXPECT_THAT(boxes_.information, IsEmpty());
  EXPECT_EQ(CountLog("Waiting for 9 minutes before next request."), 1);
  EXPECT_EQ(CountLog("Scan Done. Results: New Messages: 0 Accounts checked: 0"), 1);
}

TEST_F(ScanControllerTest, ATickDuringARunStartsNoSecondRunButStillLogsTheWait) {
  controller_->FormCreate();
  controller_->butScanClick();
  ASSERT_TRUE(controller_->Scanning());
  // The run's completion waits for the main thread, so the run is still on at these ticks.
  EXPECT_EQ(main_.FireTimers(), 1);
  controller_->butScanClick();
  EXPECT_EQ(main_.FireTimers(), 1);
  FinishRun();
  EXPECT_EQ(CountLog("Waiting for 5 minutes before next request."), 2);
  EXPECT_EQ(CountLog("Scan Done. Results: New Messages: 0 Accounts checked: 0"), 1);
  EXPECT_EQ(boxes_.information.size(), 1u);
  EXPECT_TRUE(Timer().Enabled());
}

TEST_F(ScanControllerTest, RunAsServiceMakesTicksDoNothingButTheButtonStillScans) {
  SetSystem({{"CheckAsService", "True"}});
  controller_->FormCreate();
  EXPECT_EQ(main_.FireTimers(), 1);
  EXPECT_FALSE(controller_->Scanning());
  EXPECT_TRUE(Timer().Enabled());
  EXPECT_FALSE(std::filesystem::exists(dir_.prefix() + "MFY.log"));
  EXPECT_THAT(display_.events, IsEmpty());
  controller_->butScanClick();
  EXPECT_TRUE(controller_->Scanning());
  FinishRun();
  EXPECT_THAT(LogTexts(), ElementsAre("Scan Done. Results: New Messages: 0 Accounts checked: 0"));
}

TEST_F(ScanControllerTest, ASaveThatFailsStartsNothingAndShowsTheError) {
  controller_->FormCreate();
  files_.FailBeginAfter(0);
  controller_->butScanClick();
  EXPECT_THAT(boxes_.errors,
              ElementsAre("Cannot create file " + dir_.prefix() + kAccountsFileName));
  EXPECT_FALSE(controller_->Scanning());
  EXPECT_THAT(display_.events, IsEmpty());
  EXPECT_EQ(controller_->LastRun(), nullptr);

  // From the timer: no waiting line, and the timer runs on.
  files_.Heal();
  files_.FailCommitAfter(0);
  EXPECT_EQ(main_.FireTimers(), 1);
  EXPECT_EQ(boxes_.errors.size(), 2u);
  EXPECT_FALSE(controller_->Scanning());
  EXPECT_TRUE(Timer().Enabled());
  files_.Heal();
  EXPECT_FALSE(std::filesystem::exists(dir_.prefix() + "MFY.log"));
}

// Logging is decided when a run starts: the running scan keeps its choice, the main window
// follows the setting at once.
TEST_F(ScanControllerTest, SwitchingTheLogOnDuringARunTakesEffectFromTheNextRun) {
  SetSystem({{"CheckLog", "False"}});
  controller_->FormCreate();
  controller_->butScanClick();
  SetSystem({{"CheckLog", "True"}});
  EXPECT_EQ(main_.FireTimers(), 1);
  FinishRun();
  EXPECT_THAT(LogTexts(), ElementsAre("Waiting for 5 minutes before next request."));
  controller_->butScanClick();
  FinishRun();
  EXPECT_THAT(LogTexts(), ElementsAre("Waiting for 5 minutes before next request.",
                                      "Scan Done. Results: New Messages: 0 Accounts checked: 0"));
}

TEST_F(ScanControllerTest, TheRunReadsTheDataDirectoryTheMachineStoreNames) {
  controller_->FormCreate();
  // A store that holds nothing (it could not be written at first start): the run reads the
  // files the settings were just saved to.
  store_.set_writable(true);
  store_.Write("");
  controller_->butScanClick();
  FinishRun();
  ASSERT_NE(controller_->LastRun(), nullptr);
  EXPECT_EQ(controller_->LastRun()->DataDir(), dir_.prefix());
  EXPECT_FALSE(controller_->LastRun()->FatalError());

  // A stored directory is used as it is, read at the start of each run.
  testing::TempDir elsewhere;
  store_.Write(elsewhere.prefix());
  controller_->butScanClick();
  FinishRun();
  EXPECT_EQ(controller_->LastRun()->DataDir(), elsewhere.prefix());
  EXPECT_EQ(controller_->LastRun()->FatalError(),
            "Cannot open file " + elsewhere.prefix() + kAccountsFileName);
  // The run still reports back.
  EXPECT_EQ(boxes_.information.size(), 2u);
}

TEST_F(ScanControllerTest, AControllerThatGoesDuringARunIsNotCalledBack) {
  controller_->FormCreate();
  controller_->butScanClick();
  const std::size_t events = display_.events.size();
  ASSERT_TRUE(main_.WaitForCall());
  controller_.reset();
  // The completion still reaches the main thread, finds no controller and the worker ends.
  EXPECT_EQ(main_.RunQueued(), 1);
  EXPECT_EQ(display_.events.size(), events);
  EXPECT_THAT(boxes_.information, IsEmpty());
}

}  // namespace
}  // namespace mailferry
