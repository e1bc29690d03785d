// mailferryctl scan and preview as scripts use them: the built program against scripted POP3 and
// SMTP servers on 127.0.0.1.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/socket_stack.h"
#include "scanning/message_preview.h"
#include "support/file_bytes.h"
#include "support/run_program.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"

namespace mailferry {
namespace {

using ::testing::IsEmpty;
using testing::ProgramResult;
using testing::ReadFileBytes;
using testing::ScriptedServer;
using testing::WriteFileBytes;

constexpr const char* kMessage =
    "From: Ann <ann@sender.test>\r\n"
    "To: anna@remote.test\r\n"
    "Subject: Hello\r\n"
    "Date: Tue, 05 Mar 2024 10:00:00 +0000\r\n"
    "Message-ID: <h1@sender.test>\r\n"
    "\r\n"
    "Hi Anna.\r\n";

class MailferryCtlScanTest : public ::testing::Test {
 protected:
  ProgramResult Ctl(std::vector<std::string> args) {
    args.insert(args.begin(), {"--data-dir", dir_.path().string()});
    return testing::RunMailferryCtlProgram(args);
  }

  // Sets up one account on the POP3 server and the SMTP server, with logging on.
  void Configure() {
    ASSERT_EQ(Ctl({"system", "set", "ExchangeServer=127.0.0.1",
                   "SMTPPort=" + std::to_string(smtp_.port()), "CheckLog=True"})
                  .exit_status,
              0);
    const ProgramResult added =
        Ctl({"account", "add", "AccountName=Office", "Pop3Server=127.0.0.1",
             "Pop3Port=" + std::to_string(pop3_.port()), "Pop3UserName=anna", "Pop3Password=secret",
             "Pop3DomainName=remote.test", "SMTPDomainName=local.test"});
    ASSERT_EQ(added.exit_status, 0) << added.err;
    ASSERT_EQ(added.out, "2\n");
  }

  static std::string HostName() {
    std::string name;
    CreateSystemSocketStack()->LocalHostName(&name);
    return name;
  }

  testing::TempDir dir_;
  ScriptedServer pop3_;
  ScriptedServer smtp_;
};

TEST_F(MailferryCtlScanTest, ScanForwardsTheMailboxAndPrintsTheSummary) {
  Configure();
  pop3_.Accept()
      .SendLine("+OK ready")
      .Expect("USER anna")
      .SendLine("+OK")
      .Expect("PASS secret")
      .SendLine("+OK")
      .Expect("STAT")
      .SendLine("+OK 1 200")
      .Expect("UIDL")
      .Send("+OK\r\n1 uid-1\r\n.\r\n")
      .Expect("RETR 1")
      .SendLine("+OK")
      .Send(Pop3RetrievalForm(kMessage))
      .Expect("DELE 1")
      .SendLine("+OK")
      .Expect("QUIT")
      .AwaitClose();
  smtp_.Accept()
      .SendLine("220 relay ESMTP")
      .Expect("EHLO " + HostName())
      .SendLine("250 relay")
      .Expect("RSET")
      .SendLine("250 ok")
      .Expect("MAIL FROM:<ann@sender.test>")
      .SendLine("250 ok")
      .Expect("RCPT TO:<anna@local.test>")
      .SendLine("250 ok")
      .Expect("DATA")
      .SendLine("354 go")
      .CaptureUntil(".")
      .SendLine("250 queued")
      .Expect("QUIT")
      .AwaitClose();
  pop3_.Start();
  smtp_.Start();
  const ProgramResult scan = Ctl({"scan"});
  EXPECT_EQ(scan.exit_status, 0) << scan.err;
  EXPECT_EQ(scan.out, "There were 1 new email messages in 1 mailboxes.\n");
  EXPECT_EQ(scan.err, "");
  EXPECT_THAT(pop3_.Finish(), IsEmpty());
  EXPECT_THAT(smtp_.Finish(), IsEmpty());
  EXPECT_THAT(smtp_.Captured(), ::testing::Contains("X-POP3-Connector: Mailferry V1.0"));
  const std::string log = ReadFileBytes(dir_.path() / "MFY.log");
  EXPECT_THAT(log,
              ::testing::EndsWith("\tScan Done. Results: New Messages: 1 Accounts checked: 1\r\n"));
  EXPECT_EQ(ReadFileBytes(dir_.path() / "MFY_Forwarded.txt"), "2\tuid-1\n");
}

TEST_F(MailferryCtlScanTest, AScanThatCannotStartExitsWithOne) {
  WriteFileBytes(dir_.path() / "not-a-folder", "x");
  const ProgramResult scan = testing::RunMailferryCtlProgram(
      {"--data-dir", (dir_.path() / "not-a-folder").string(), "scan"});
  EXPECT_EQ(scan.exit_status, 1);
  EXPECT_EQ(scan.out, "");
  EXPECT_NE(scan.err, "");
}

TEST_F(MailferryCtlScanTest, PreviewShowsWhereTheMessageGoes) {
  Configure();
  WriteFileBytes(dir_.path() / "hello.eml", kMessage);
  const ProgramResult preview =
      Ctl({"preview", "--account", "2", (dir_.path() / "hello.eml").string()});
  EXPECT_EQ(preview.exit_status, 0) << preview.err;
  EXPECT_THAT(preview.out, ::testing::StartsWith("MAIL FROM:<ann@sender.test>\r\n"
                                                 "RCPT TO:<anna@local.test>\r\n"
                                                 "DATA\r\n"));
  EXPECT_THAT(preview.out, ::testing::HasSubstr("\r\nTo: anna@local.test\r\n"));
  EXPECT_THAT(preview.out, ::testing::EndsWith("\r\nHi Anna.\r\n.\r\n"));
}

}  // namespace
}  // namespace mailferry
