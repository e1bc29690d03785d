// mailferryctl scan and preview in process, over scripted servers and fake ports.
#include "scanning/scan_ctl.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "platform/no_loop_main_thread.h"
#include "settings/mailferry_ctl.h"
#include "support/file_bytes.h"
#include "support/scan_fixture.h"

namespace mailferry {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ReadFileBytes;
using testing::TestMessage;
using testing::WriteFileBytes;

struct CtlRun {
  int status;
  std::string out;
  std::string err;
};

class ScanCtlTest : public testing::ScanFixture {
 protected:
  ~ScanCtlTest() override {
    if (!servers_started_) StartServers();
    ExpectServersDone();
  }

  void StartServers() {
    pop3_->Start();
    smtp_->Start();
    servers_started_ = true;
  }

  CtlRun Ctl(std::vector<std::string> args) {
    args.insert(args.begin(), {"--data-dir", dir_.prefix()});
    ScanEnvironment environment = Environment();
    // The tool has no event loop: the run's completion runs on the run's thread.
    environment.main_thread = &no_loop_;
    std::ostringstream out, err;
    const int status =
        RunMailferryCtl(args, out, err, {store_, directories_, files_, &environment});
    return {status, out.str(), err.str()};
  }

  std::map<std::string, std::string> Files() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      if (entry.is_regular_file()) {
        files[entry.path().filename().string()] = ReadFileBytes(entry.path());
      }
    }
    return files;
  }

  NoLoopMainThread no_loop_;
  bool servers_started_ = false;
};

TEST_F(ScanCtlTest, ScanRunsOneScanAndPrintsTheSummary) {
  AddAccount("Office", pop3_->port());
  SetSystem({{"CheckLog", "True"}, {"Schedule", "0"}});
  Save();
  Login(*pop3_, 1);
  Uidl(*pop3_, {"u1"});
  Retrieve(*pop3_, 1, {"m1"});
  Delete(*pop3_, 1);
  Quit(*pop3_);
  Delivery(*smtp_, {"anna@local.test"});
  StartServers();
  const CtlRun run = Ctl({"scan"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "There were 1 new email messages in 1 mailboxes.\n");
  EXPECT_EQ(run.err, "");
  EXPECT_THAT(LogTexts(), ElementsAre("Scan Done. Results: New Messages: 1 Accounts checked: 1"));
  // The settings were settled and saved as at the button: the schedule of 0 became 5.
  TDmInOut saved(store_, directories_, files_,
                 std::make_unique<TRasManager>(settings_dial_up_, main_, clock_));
  saved.LoadAll();
  EXPECT_EQ(saved.dbSystem.FieldByName("Schedule").AsInteger(), 5);
}

TEST_F(ScanCtlTest, AFailedAccountIsReportedButTheScanSucceeds) {
  AddAccount("Office", pop3_->port(), {{"Pop3Password", "wrong"}});
  Save();
  pop3_->Accept()
      .SendLine("+OK POP3 ready")
      .Expect("USER anna")
      .SendLine("+OK")
      .Expect("PASS wrong")
      .SendLine("-ERR authentication failed")
      .Expect("QUIT")
      .AwaitClose();
  StartServers();
  const CtlRun run = Ctl({"scan"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "There were 0 new email messages in 1 mailboxes.\n");
  EXPECT_EQ(run.err, "Error while connecting to Office: authentication failed\n");
  // Logging is off: nothing is logged.
  EXPECT_FALSE(std::filesystem::exists(dir_.prefix() + "MFY.log"));
}

TEST_F(ScanCtlTest, AScanThatCannotStartFailsWithTheError) {
  Save();
  files_.FailCommitAfter(0);
  const CtlRun run = Ctl({"scan"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Cannot create file " + dir_.prefix() + "MFY_Accounts.db\n");
  const CtlRun extra = Ctl({"scan", "now"});
  EXPECT_EQ(extra.status, 1);
  EXPECT_THAT(extra.err, HasSubstr("Usage: mailferryctl scan"));
}

TEST_F(ScanCtlTest, AScanThatEndsBeforeTheFirstAccountFailsWithTheError) {
  AddAccount("Office", pop3_->port());
  Save();
  // A record of forwarded messages that cannot be read: forwarding without it could send twice.
  std::filesystem::create_directory(dir_.prefix() + "MFY_Forwarded.txt");
  const CtlRun run = Ctl({"scan"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Scan ended early: Cannot open file " + dir_.prefix() + "MFY_Forwarded.txt\n");
}

TEST_F(ScanCtlTest, PreviewPrintsTheTransactionTheRunWouldSend) {
  const int id = AddAccount("Office", pop3_->port(), {{"ForwardMethod", "1"}});
  AddRecipient(id, "anna");
  AddRecipient(id, "boss@h.test");
  Save();
  WriteFileBytes(dir_.prefix() + "m.eml",
                 "From: Ann <ann@sender.test>\n"
                 "To: info@remote.test, Carl <carl@other.test>\n"
                 "Subject: Report\n"
                 "Date: Tue, 05 Mar 2024 10:00:00 +0000\n"
                 "Message-ID: <r1@sender.test>\n"
                 "\n"
                 "Figures below.\n"
                 ".\n"
                 "..end\n");
  const auto before = Files();
  const CtlRun run = Ctl({"preview", "--account", std::to_string(id), dir_.prefix() + "m.eml"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "MAIL FROM:<ann@sender.test>\r\n"
            "RCPT TO:<carl@other.test>\r\n"
            "RCPT TO:<anna@local.test>\r\n"
            "RCPT TO:<boss@h.test>\r\n"
            "DATA\r\n"
            "From: \"Ann\" <ann@sender.test>\r\n"
            "To: \"Carl\" <carl@other.test>\r\n"
            "Subject: Report\r\n"
            "Date: Tue, 5 Mar 2024 10:00:00 +0000\r\n"
            "Message-ID: <r1@sender.test>\r\n"
            "X-POP3-Connector: Mailferry V1.0\r\n"
            "X-Priority: 3\r\n"
            "X-Library: Mailferry 1.00\r\n"
            "\r\n"
            "Figures below.\r\n"
            "..\r\n"
            "...end\r\n"
            ".\r\n");
  EXPECT_EQ(Files(), before);
}

TEST_F(ScanCtlTest, PreviewTellsWhyAMessageWouldNotBeForwarded) {
  const int id = AddAccount("Office", pop3_->port(), {{"ForwardMethod", "1"}});
  Save();
  struct Case {
    const char* name;
    std::string text;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"marker", "X-Pop3-Connector: Mailferry V1.0\nTo: a@remote.test\n\nbody\n",
       "Not forwarded: it carries the loop marker X-POP3-Connector\n"},
      {"no recipient left", "From: a@b.test\nTo: info@remote.test\n\nbody\n",
       "Not forwarded: No recipient left after rewriting\n"},
      {"unreadable", "From: <a@b.test>@c\nTo: x@other.test\n\nbody\n",
       "Not forwarded: @ Outside address\n"},
  };
  for (const Case& c : cases) {
    WriteFileBytes(dir_.prefix() + "m.eml", c.text);
    const CtlRun run = Ctl({"preview", "--account", std::to_string(id), dir_.prefix() + "m.eml"});
    EXPECT_EQ(run.status, 0) << c.name;
    EXPECT_EQ(run.out, c.out) << c.name;
  }
}

TEST_F(ScanCtlTest, PreviewRefusesBadArguments) {
  const int id = AddAccount("Office", pop3_->port());
  Save();
  WriteFileBytes(dir_.prefix() + "m.eml", "To: a@remote.test\n\nbody\n");
  const std::string file = dir_.prefix() + "m.eml";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"preview", "--account", "9", file}, "No account with AccountID 9\n"},
      {{"preview", "--account", "x2", file}, "Not a valid AccountID: x2\n"},
      {{"preview", "--account", std::to_string(id), file + ".missing"},
       "Cannot open file " + file + ".missing\n"},
      {{"preview", file},
       "Usage: mailferryctl preview --account ID FILE\nRun mailferryctl --help for the usage.\n"},
      {{"preview", "--account", std::to_string(id)},
       "Usage: mailferryctl preview --account ID FILE\nRun mailferryctl --help for the usage.\n"},
  };
  for (const Case& c : cases) {
    const CtlRun run = Ctl(c.args);
    EXPECT_EQ(run.status, 1) << c.err;
    EXPECT_EQ(run.out, "") << c.err;
    EXPECT_EQ(run.err, c.err);
  }
}

}  // namespace
}  // namespace mailferry
