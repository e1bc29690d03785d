// Not a check: draws the windows with sample settings into docs/ for the README. Run it by hand
// under a real display server, for example (one line):
//   QT_QPA_PLATFORM=xcb xvfb-run -a build/tests/ui_test --gtest_also_run_disabled_tests
//       --gtest_filter='*Screenshots*'
#include <gtest/gtest.h>

#include <QPixmap>

#include "ui_test_support.h"

namespace mailferry::testing {
namespace {

class ScreenshotsTest : public DesktopProgramTest {
 protected:
  void Save(QWidget& window, const char* name) {
    QCoreApplication::processEvents();
    const std::string path = std::string(MAILFERRY_SOURCE_DIR) + "/docs/" + name;
    EXPECT_TRUE(window.grab().save(QString::fromStdString(path))) << path;
  }

  void AddAccount(const char* name, const char* server, const char* domain, int method,
                  const std::vector<std::string>& recipients) {
    TMemTable& accounts = dm().dbAccounts;
    accounts.Append();
    accounts.FieldByName("AccountName").SetAsString(name);
    accounts.FieldByName("Pop3Server").SetAsString(server);
    accounts.FieldByName("Pop3UserName").SetAsString("office");
    accounts.FieldByName("Pop3Password").SetAsString("secret");
    accounts.FieldByName("Pop3DomainName").SetAsString(domain);
    accounts.FieldByName("SMTPDomainName").SetAsString("office.lan");
    accounts.FieldByName("ForwardMethod").SetAsInteger(method);
    accounts.FieldByName("Pop3KeepMessages").SetAsBoolean(true);
    accounts.FieldByName("Pop3KeepTime").SetAsInteger(7);
    for (const std::string& address : recipients) {
      dm().dbSendAddresses.Append();
      dm().dbSendAddresses.FieldByName("EmailAddress").SetAsString(address);
      dm().dbSendAddresses.Post();
    }
    accounts.Post();
  }
};

TEST_F(ScreenshotsTest, DISABLED_WriteScreenshots) {
  dial_up_.entries = std::vector<std::string>{"Office ISDN", "Backup modem"};
  Start();
  AddAccount("Sales mailbox", "pop.example.com", "example.com", 1, {"anna", "bert@office.lan"});
  AddAccount("Support", "mail.example.org", "example.org", 0, {});
  TMemTable& system = dm().dbSystem;
  system.Edit();
  system.FieldByName("ExchangeServer").SetAsString("127.0.0.1");
  system.FieldByName("CheckSchedule").SetAsBoolean(true);
  system.FieldByName("Schedule").SetAsInteger(15);
  system.FieldByName("RASConnection").SetAsString("Office ISDN");
  system.FieldByName("CheckLog").SetAsBoolean(true);
  system.Post();
  dm().dbAccounts.First();

  TfrmMain& main = program().frmMain();
  main.show();
  Save(main, "main-window.png");

  ui_.dialogs.push_back([&](QDialog& list) {
    Save(list, "edit-accounts.png");
    ui_.dialogs.push_back([&](QDialog& details) { Save(details, "account-details.png"); });
    program().frmEditAccounts().Button2Click();
  });
  main.SpeedButton1Click();
  ui_.dialogs.push_back([&](QDialog& schedule) { Save(schedule, "schedule.png"); });
  main.SpeedButton2Click();
}

}  // namespace
}  // namespace mailferry::testing
