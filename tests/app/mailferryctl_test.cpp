// mailferryctl as scripts use it: the built program, run on a temporary data directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/file_bytes.h"
#include "support/run_program.h"
#include "support/table_file_fixtures.h"
#include "support/temp_dir.h"

namespace mailferry {
namespace {

using testing::ProgramResult;
using testing::ReadFileBytes;

constexpr const char* kFileNames[] = {"MFY_Accounts.db", "MFY_AccountDetails.db",
                                      "MFY_Settings.db"};

class MailferryCtlTest : public ::testing::Test {
 protected:
  // Runs mailferryctl --data-dir <temp folder> args...
  ProgramResult Ctl(std::vector<std::string> args) {
    args.insert(args.begin(), {"--data-dir", dir_.path().string()});
    return testing::RunMailferryCtlProgram(args);
  }

  // Runs a command that must succeed and returns its output.
  std::string Ok(const std::vector<std::string>& args) {
    const ProgramResult result = Ctl(args);
    EXPECT_EQ(result.exit_status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    return result.out;
  }

  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      files[entry.path().filename().string()] = ReadFileBytes(entry.path());
    }
    return files;
  }

  testing::TempDir dir_;
};

TEST_F(MailferryCtlTest, InitCreatesTheThreeFilesOfFirstStart) {
  EXPECT_EQ(Ok({"init"}), "");
  const auto files = Files();
  ASSERT_EQ(files.size(), 3u);
  for (const char* name : kFileNames) EXPECT_EQ(files.count(name), 1u) << name;
  EXPECT_EQ(files.at("MFY_Settings.db").size(), 816u);
  EXPECT_EQ(files.at("MFY_Settings.db"), testing::FreshSettingsFile());
  // Loading existing files changes nothing.
  EXPECT_EQ(Ok({"init"}), "");
  EXPECT_EQ(Files(), files);
}

TEST_F(MailferryCtlTest, SettingTheScheduleGivesTheWorkedExample) {
  Ok({"init"});
  EXPECT_EQ(Ok({"system", "set", "Schedule=5"}), "");
  EXPECT_EQ(ReadFileBytes(dir_.prefix() + "MFY_Settings.db"), testing::WorkedExampleSettingsFile());
}

TEST_F(MailferryCtlTest, AccountsAndRecipientsAreNumberedAsInTheProgram) {
  EXPECT_EQ(Ok({"account", "add", "AccountName=Büro", "Pop3Server=127.0.0.1", "pop3password=geheim",
                "Pop3Port=1110"}),
            "2\n");
  EXPECT_EQ(Ok({"recipient", "add", "2", "ann"}), "2\n");
  EXPECT_EQ(Ok({"account", "add", "AccountName=" + std::string(51, 'n')}), "3\n");
  EXPECT_EQ(Ok({"recipient", "add", "3", "bob@example.com"}), "3\n");
  EXPECT_EQ(Ok({"recipient", "add", "2", "carl"}), "4\n");
  EXPECT_EQ(Ok({"account", "set", "2", "Pop3KeepMessages=True", "Pop3KeepTime=7"}), "");
  EXPECT_EQ(Ok({"recipient", "delete", "4"}), "");
  EXPECT_EQ(Ok({"account", "delete", "3"}), "");  // its recipient stays
  EXPECT_EQ(Ok({"system", "set", "ExchangeServer=127.0.0.1", "SMTPPort=2525"}), "");

  const std::string shown = Ok({"show"});
  EXPECT_EQ(shown,
            "account 2\n"
            "  AccountID=2\n"
            "  AccountName=Büro\n"
            "  ForwardMethod=0\n"
            "  Pop3Server=127.0.0.1\n"
            "  Pop3Port=1110\n"
            "  Pop3UserName=\n"
            "  Pop3Password=***\n"
            "  Pop3DomainName=\n"
            "  Pop3KeepMessages=True\n"
            "  Pop3KeepTime=7\n"
            "  SMTPDomainName=\n"
            "  recipient 2 ann\n"
            "recipients of no account\n"
            "  recipient 3 (AccountID 3) bob@example.com\n"
            "system\n"
            "  Key=0\n"
            "  Schedule=5\n"
            "  CheckSchedule=False\n"
            "  CheckSpam=False\n"
            "  CheckVirus=False\n"
            "  CheckAsService=False\n"
            "  CheckLog=False\n"
            "  SpamCommandLine=\n"
            "  VirusCommandLine=\n"
            "  ExchangeServer=127.0.0.1\n"
            "  MaxAccountID=3\n"
            "  MaxSendAddressID=4\n"
            "  SMTPPort=2525\n"
            "  RASEnabled=False\n"
            "  RASConnection=\n");
  EXPECT_EQ(shown.find("geheim"), std::string::npos);
}

TEST_F(MailferryCtlTest, LongTextIsCutToTheFieldLength) {
  Ok({"account", "add", "AccountName=" + std::string(49, 'n') + "äö"});
  const std::string shown = Ok({"show"});
  EXPECT_NE(shown.find("  AccountName=" + std::string(49, 'n') + "ä\n"), std::string::npos);
}

TEST_F(MailferryCtlTest, ErrorsExitWithStatusOneAndChangeNoFile) {
  Ok({"account", "add", "AccountName=Home"});
  Ok({"recipient", "add", "2", "ann"});
  const auto before = Files();
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"account", "set", "2", "Pop3Port=70000"},
       "70000 is not a valid value for field 'Pop3Port'. The allowed range is 0 to 65535"},
      {{"account", "set", "2", "AccountName=x", "Pop3Port=1+2"},
       "'1+2' is not a valid integer value for field 'Pop3Port'"},
      {{"system", "set", "CheckLog=maybe"},
       "'maybe' is not a valid boolean value for field 'CheckLog'"},
      {{"account", "add", "AccountName=x", "Colour=red"}, "dbAccounts: Field 'Colour' not found"},
      {{"account", "set", "2", "AccountID=5"},
       "Field 'AccountID' is numbered by Mailferry and cannot be set"},
      {{"system", "set", "maxaccountid=1"},
       "Field 'MaxAccountID' is numbered by Mailferry and cannot be set"},
      {{"account", "set", "9", "AccountName=x"}, "No account with AccountID 9"},
      {{"account", "delete", "two"}, "Not a valid AccountID: two"},
      {{"recipient", "add", "9", "x"}, "No account with AccountID 9"},
      {{"recipient", "delete", "99"}, "No recipient with Key 99"},
      {{"system", "set", "Schedule"},
       "Expected FIELD=VALUE, got 'Schedule'\nRun mailferryctl --help for the usage."},
      {{"system", "set"},
       "Usage: mailferryctl system set FIELD=VALUE...\nRun mailferryctl --help for the usage."},
      {{"frobnicate"}, "Unknown command: frobnicate\nRun mailferryctl --help for the usage."},
      {{"account", "rename"},
       "Unknown command: account rename\nRun mailferryctl --help for the usage."},
  };
  for (const Case& c : cases) {
    const ProgramResult result = Ctl(c.args);
    EXPECT_EQ(result.exit_status, 1) << c.message;
    EXPECT_EQ(result.err, c.message + "\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(Files(), before) << c.message;
  }
}

TEST_F(MailferryCtlTest, AFailingCommandCreatesNothingInAnEmptyFolder) {
  const ProgramResult result = Ctl({"account", "set", "2", "AccountName=x"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err, "No account with AccountID 2\n");
  EXPECT_TRUE(Files().empty());
}

TEST_F(MailferryCtlTest, ADamagedFileIsReportedAndKept) {
  Ok({"init"});
  testing::WriteFileBytes(dir_.prefix() + "MFY_Accounts.db", "TPF0\x03");
  const auto before = Files();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"show"}, {"system", "set", "CheckLog=True"}}) {
    const ProgramResult result = Ctl(args);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "Stream read error\n");
  }
  EXPECT_EQ(Files(), before);
}

TEST_F(MailferryCtlTest, TheDataDirGetsItsTrailingSeparator) {
  const std::string sub = dir_.prefix() + "data";
  std::filesystem::create_directory(sub);
  for (const std::string& form : {"--data-dir=" + sub, std::string("--data-dir")}) {
    std::vector<std::string> args = {form};
    if (form == "--data-dir") args.push_back(sub + "/");
    args.push_back("init");
    const ProgramResult result = testing::RunMailferryCtlProgram(args);
    EXPECT_EQ(result.exit_status, 0) << result.err;
  }
  EXPECT_TRUE(std::filesystem::exists(sub + "/MFY_Settings.db"));
  EXPECT_FALSE(std::filesystem::exists(sub + "MFY_Settings.db"));
}

TEST_F(MailferryCtlTest, MissingDataFolderIsAnError) {
  const ProgramResult result =
      testing::RunMailferryCtlProgram({"--data-dir", dir_.prefix() + "missing", "init"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err, "Cannot create file " + dir_.prefix() + "missing/MFY_Accounts.db\n");
}

TEST(MailferryCtlUsageTest, HelpPrintsTheUsage) {
  const ProgramResult help = testing::RunMailferryCtlProgram({"--help"});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_EQ(help.out.rfind("Usage: mailferryctl [--data-dir DIR] COMMAND", 0), 0u);
  for (const char* command :
       {"init", "show", "system set FIELD=VALUE...", "account add FIELD=VALUE...",
        "account set ID FIELD=VALUE...", "account delete ID", "recipient add ID ADDRESS",
        "recipient delete KEY"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  }
  const ProgramResult none = testing::RunMailferryCtlProgram({});
  EXPECT_EQ(none.exit_status, 1);
  EXPECT_EQ(none.err, "No command given\nRun mailferryctl --help for the usage.\n");
}

}  // namespace
}  // namespace mailferry
