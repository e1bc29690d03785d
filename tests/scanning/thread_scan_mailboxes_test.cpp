#include "scanning/thread_scan_mailboxes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/file_bytes.h"
#include "support/scan_fixture.h"

namespace mailferry {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using testing::ScriptedServer;
using testing::TestMessage;

class ScanRunTest : public testing::ScanFixture {
 protected:
  // Saves the settings, starts both servers and runs one scan on its thread; returns once its
  // completion has run on the main thread and the thread has ended.
  std::shared_ptr<TThreadScanMailBoxes> Scan(bool logging = true) {
    Save();
    pop3_->Start();
    smtp_->Start();
    auto worker = std::make_shared<TThreadScanMailBoxes>(Environment());
    worker->SetDataDir(dir_.prefix());
    if (logging) worker->SetLogSink(log_);
    bool finished = false;
    worker->SetOnTerminate([&](TThreadScanMailBoxes& done) {
      EXPECT_TRUE(main_.IsMainThread());
      EXPECT_EQ(&done, worker.get());
      finished = true;
    });
    worker->Start();
    EXPECT_TRUE(main_.RunUntil([&] { return finished; }));
    worker->WaitFor();
    ExpectServersDone();
    return worker;
  }

  // The subjects of the messages the SMTP server took, in order.
  std::vector<std::string> DeliveredSubjects() const {
    std::vector<std::string> subjects;
    for (const std::string& line : smtp_->Captured()) {
      if (line.rfind("Subject: ", 0) == 0) subjects.push_back(line.substr(9));
    }
    return subjects;
  }

  std::shared_ptr<ActivityLog> log_ = std::make_shared<ActivityLog>(clock_, files_, &formats_);
};

TEST_F(ScanRunTest, NoAccountsMeansNoTrafficAndAResultLineOfZeros) {
  const auto run = Scan();
  EXPECT_EQ(run->AccountsChecked(), 0);
  EXPECT_EQ(run->MessagesFound(), 0);
  EXPECT_THAT(LogTexts(), ElementsAre("Scan Done. Results: New Messages: 0 Accounts checked: 0"));
  EXPECT_FALSE(run->FatalError());
}

// The worker hands its completion to the main thread and waits there until it has run.
TEST_F(ScanRunTest, TheWorkerWaitsWhileItsCompletionRunsOnTheMainThread) {
  Save();
  auto worker = std::make_shared<TThreadScanMailBoxes>(Environment());
  worker->SetDataDir(dir_.prefix());
  bool finished = false;
  worker->SetOnTerminate([&](TThreadScanMailBoxes&) { finished = true; });
  worker->Start();
  ASSERT_TRUE(main_.WaitForCall());
  EXPECT_FALSE(finished);
  EXPECT_EQ(main_.RunQueued(), 1);
  EXPECT_TRUE(finished);
  worker->WaitFor();
}

// A worker whose owner let go finishes its run and frees itself.
TEST_F(ScanRunTest, AWorkerLetGoFreesItselfWhenItsRunIsOver) {
  Save();
  std::weak_ptr<TThreadScanMailBoxes> watch;
  bool finished = false;
  {
    auto worker = std::make_shared<TThreadScanMailBoxes>(Environment());
    worker->SetDataDir(dir_.prefix());
    worker->SetOnTerminate([&](TThreadScanMailBoxes&) { finished = true; });
    worker->Start();
    watch = worker;
  }
  ASSERT_TRUE(main_.RunUntil([&] { return finished; }));
  // The thread drops its own reference right after the completion; the weak pointer sees it go.
  while (!watch.expired()) std::this_thread::yield();
}

TEST_F(ScanRunTest, RunScanToEndReturnsTheFinishedRun) {
  AddAccount("Office", pop3_->port());
  Save();
  Login(*pop3_, 1);
  Uidl(*pop3_, {"u1"});
  Retrieve(*pop3_, 1, {"m1"});
  Delete(*pop3_, 1);
  Quit(*pop3_);
  Delivery(*smtp_, {"anna@local.test"});
  pop3_->Start();
  smtp_->Start();
  const auto run = RunScanToEnd(dir_.prefix(), Environment(), log_);
  ExpectServersDone();
  EXPECT_EQ(run->MessagesFound(), 1);
  EXPECT_EQ(run->AccountsChecked(), 1);
  EXPECT_THAT(LogTexts(), ElementsAre("Scan Done. Results: New Messages: 1 Accounts checked: 1"));
}

TEST_F(ScanRunTest, AMailboxIsTakenFromTheHighestNumberDownAndEmptied) {
  const int id = AddAccount("Office", pop3_->port());
  Login(*pop3_, 3);
  Uidl(*pop3_, {"u1", "u2", "u3"});
  for (int k = 3; k >= 1; --k) {
    Retrieve(*pop3_, k, {"m" + std::to_string(k)});
    Delete(*pop3_, k);
  }
  Quit(*pop3_);
  for (int k = 3; k >= 1; --k) Delivery(*smtp_, {"anna@local.test"});
  const auto run = Scan();
  EXPECT_EQ(run->AccountsChecked(), 1);
  EXPECT_EQ(run->MessagesFound(), 3);
  EXPECT_THAT(DeliveredSubjects(), ElementsAre("m3", "m2", "m1"));
  const std::vector<std::string> data = smtp_->Captured();
  EXPECT_THAT(data, Contains("X-POP3-Connector: Mailferry V1.0"));
  EXPECT_THAT(data, Contains("To: anna@local.test"));
  const std::string prefix = std::to_string(id) + "\t";
  // Recorded as each message was accepted, the highest number first.
  EXPECT_EQ(ForwardedFile(), prefix + "u3\n" + prefix + "u2\n" + prefix + "u1\n");
  EXPECT_THAT(LogTexts(), ElementsAre("Scan Done. Results: New Messages: 3 Accounts checked: 1"));
}

TEST_F(ScanRunTest, KeptMessagesStayUntilTheyAreOlderThanTheKeepTime) {
  AddAccount("Office", pop3_->port(), {{"Pop3KeepMessages", "True"}, {"Pop3KeepTime", "7"}});
  clock_.set_now(MessageDay() + 8);
  Login(*pop3_, 3);
  Uidl(*pop3_, {"u1", "u2", "u3"});
  Retrieve(*pop3_, 3, {"m3"});  // 8 days old
  Delete(*pop3_, 3);
  Retrieve(*pop3_, 2, {"m2", "anna@remote.test", "Tue, 05 Mar 2024 11:00:00 +0000"});  // 7d 23h
  Retrieve(*pop3_, 1, {"m1", "anna@remote.test", "Thu, 14 Mar 2024 10:00:00 +0000"});  // future
  Quit(*pop3_);
  for (int k = 0; k < 3; ++k) Delivery(*smtp_, {"anna@local.test"});
  Scan();
}

TEST_F(ScanRunTest, KeepingWithoutLimitNeverDeletes) {
  AddAccount("Office", pop3_->port(), {{"Pop3KeepMessages", "True"}, {"Pop3KeepTime", "0"}});
  clock_.set_now(MessageDay() + 3000);
  Login(*pop3_, 1);
  Uidl(*pop3_, {"u1"});
  Retrieve(*pop3_, 1, {"m1", "anna@remote.test", ""});  // no Date header: its date reads as 0
  Quit(*pop3_);
  Delivery(*smtp_, {"anna@local.test"});
  Scan();
}

TEST_F(ScanRunTest, AMarkedMessageIsNotForwardedButDeletedByTheKeepRule) {
  AddAccount("Office", pop3_->port());
  Login(*pop3_, 1);
  Uidl(*pop3_, {"u1"});
  Retrieve(*pop3_, 1,
           {"m1",
            "anna@remote.test",
            "Tue, 05 Mar 2024 10:00:00 +0000",
            {"x-pop3-connector: Mailferry V1.0"}});
  Delete(*pop3_, 1);
  Quit(*pop3_);
  RefuseSmtp();
  const auto run = Scan();
  EXPECT_EQ(run->MessagesFound(), 1);
  EXPECT_THAT(LogTexts(), ElementsAre("Scan Done. Results: New Messages: 1 Accounts checked: 1"));
  EXPECT_FALSE(std::filesystem::exists(dir_.prefix() + "MFY_Forwarded.txt"));
}

TEST_F(ScanRunTest, MethodOneSendsToTheAccountsUsersFromTheSavedFiles) {
  const int id = AddAccount("Office", pop3_->port(), {{"ForwardMethod", "1"}});
  AddRecipient(id, "anna");
  AddRecipient(id, "boss@h.test");
  Login(*pop3_, 1);
  Uidl(*pop3_, {"u1"});
  Retrieve(*pop3_, 1, {"m1", "info@remote.test, carl@other.test"});
  Delete(*pop3_, 1);
  Quit(*pop3_);
  Delivery(*smtp_, {"carl@other.test", "anna@local.test", "boss@h.test"});
  Scan();
}

// A message left on the server is forwarded once: a kept message is found again at every scan.
TEST_F(ScanRunTest, AKeptMessageIsForwardedOnlyOnce) {
  const int id = AddAccount("Office", pop3_->port(), {{"Pop3KeepMessages", "True"}});
  Login(*pop3_, 2);
  Uidl(*pop3_, {"u1", "u2"});
  Retrieve(*pop3_, 2, {"m2"});
  Retrieve(*pop3_, 1, {"m1"});
  Quit(*pop3_);
  Delivery(*smtp_, {"anna@local.test"});
  Delivery(*smtp_, {"anna@local.test"});
  Scan();

  RenewServers();
  Login(*pop3_, 3);
  Uidl(*pop3_, {"u1", "u2", "u3"});
  Retrieve(*pop3_, 3, {"m3"});
  Retrieve(*pop3_, 2, {"m2"});
  Retrieve(*pop3_, 1, {"m1"});
  Quit(*pop3_);
  Delivery(*smtp_, {"anna@local.test"});
  const auto run = Scan();
  EXPECT_THAT(DeliveredSubjects(), ElementsAre("m3"));
  // Skipped messages were still taken in hand.
  EXPECT_EQ(run->MessagesFound(), 3);
  const std::string prefix = std::to_string(id) + "\t";
  EXPECT_EQ(ForwardedFile(), prefix + "u2\n" + prefix + "u1\n" + prefix + "u3\n");

  // Once the server no longer lists a message, its id is dropped.
  RenewServers();
  Login(*pop3_, 1);
  Uidl(*pop3_, {"u3"});
  Retrieve(*pop3_, 1, {"m3"});
  Quit(*pop3_);
  RefuseSmtp();
  EXPECT_THAT(Scan()->AccountErrors(), IsEmpty());
  EXPECT_EQ(ForwardedFile(), prefix + "u3\n");
}

// Deletions become final only with QUIT: after a conversation that broke, the forwarded messages
// are on the server again, and are deleted without being forwarded a second time.
TEST_F(ScanRunTest, ABrokenConversationDoesNotForwardAnythingTwice) {
  AddAccount("Office", pop3_->port());
  Login(*pop3_, 2);
  Uidl(*pop3_, {"u1", "u2"});
  Retrieve(*pop3_, 2, {"m2"});
  Delete(*pop3_, 2);
  pop3_->Expect("RETR 1").SendLine("+OK").Send("From: Ann <ann@sender.test>\r\n").Close();
  Delivery(*smtp_, {"anna@local.test"});
  const auto first = Scan();
  EXPECT_THAT(LogTexts(), Contains("Error while connecting to Office"));
  ASSERT_EQ(first->AccountErrors().size(), 1u);

  RenewServers();
  Login(*pop3_, 2);
  Uidl(*pop3_, {"u1", "u2"});
  Retrieve(*pop3_, 2, {"m2"});
  Delete(*pop3_, 2);
  Retrieve(*pop3_, 1, {"m1"});
  Delete(*pop3_, 1);
  Quit(*pop3_);
  Delivery(*smtp_, {"anna@local.test"});
  Scan();
  EXPECT_THAT(DeliveredSubjects(), ElementsAre("m1"));
}

TEST_F(ScanRunTest, AServerWithoutUniqueIdsIsRecordedByMessageId) {
  const int id = AddAccount("Office", pop3_->port(), {{"Pop3KeepMessages", "True"}});
  Login(*pop3_, 1);
  pop3_->Expect("UIDL").SendLine("-ERR unknown command");
  Retrieve(*pop3_, 1, {"m1"});
  Quit(*pop3_);
  Delivery(*smtp_, {"anna@local.test"});
  Scan();
  EXPECT_EQ(ForwardedFile(), std::to_string(id) + "\t<m1@sender.test>\n");

  RenewServers();
  Login(*pop3_, 1);
  pop3_->Expect("UIDL").SendLine("-ERR unknown command");
  Retrieve(*pop3_, 1, {"m1"});
  Quit(*pop3_);
  RefuseSmtp();
  const auto again = Scan();
  EXPECT_THAT(again->AccountErrors(), IsEmpty());

  // An empty mailbox is asked for no listing; what it no longer has is dropped.
  RenewServers();
  Login(*pop3_, 0);
  Quit(*pop3_);
  Scan();
  EXPECT_EQ(ForwardedFile(), "");
}

// One bad message does not block its mailbox: a refused retrieval, a message that cannot be
// read and a message the SMTP server refuses stay on the server, are logged, and the older
// messages are forwarded.
TEST_F(ScanRunTest, AMessageThatFailsOnItsOwnIsLoggedAndLeftOnTheServer) {
  const int id = AddAccount("Office", pop3_->port());
  Login(*pop3_, 4);
  Uidl(*pop3_, {"u1", "u2", "u3", "u4"});
  pop3_->Expect("RETR 4").SendLine("-ERR message is locked");
  // An address header that cannot be parsed, then a body that must be drained.
  Retrieve(*pop3_, 3, {"m3", "<anna@remote.test>@x", "Tue, 05 Mar 2024 10:00:00 +0000"});
  Retrieve(*pop3_, 2, {"m2", "nobody@remote.test"});
  Retrieve(*pop3_, 1, {"m1"});
  Delete(*pop3_, 1);
  Quit(*pop3_);
  smtp_->Accept()
      .SendLine("220 relay ESMTP")
      .Expect("EHLO relay")
      .SendLine("250 relay")
      .Expect("RSET")
      .SendLine("250 ok")
      .Expect("MAIL FROM:<ann@sender.test>")
      .SendLine("250 ok")
      .Expect("RCPT TO:<nobody@local.test>")
      .SendLine("550 5.1.1 <nobody@local.test>: Recipient address rejected")
      .AwaitClose();
  Delivery(*smtp_, {"anna@local.test"});
  const auto run = Scan();
  EXPECT_EQ(run->MessagesFound(), 4);
  EXPECT_THAT(DeliveredSubjects(), ElementsAre("m1"));
  EXPECT_THAT(LogTexts(),
              ElementsAre("Message 4 of Office not forwarded: -ERR message is locked",
                          "Message 3 of Office not forwarded: @ Outside address",
                          "Message 2 of Office not forwarded: 550 5.1.1 <nobody@local.test>: "
                          "Recipient address rejected",
                          "Scan Done. Results: New Messages: 4 Accounts checked: 1"));
  EXPECT_EQ(ForwardedFile(), std::to_string(id) + "\tu1\n");
  EXPECT_THAT(run->AccountErrors(), IsEmpty());
}

// A line beyond the reader's limit fails the message in the middle of its text: the rest of it,
// the over-long line included, is skipped and the conversation goes on.
TEST_F(ScanRunTest, AMessageWithAnOverlongLineIsDrainedAndSkipped) {
  AddAccount("Office", pop3_->port());
  Login(*pop3_, 2);
  Uidl(*pop3_, {"u1", "u2"});
  TestMessage overlong{"m2"};
  overlong.extra_headers.push_back("X-Long: " + std::string(70000, 'x'));
  Retrieve(*pop3_, 2, overlong);
  Retrieve(*pop3_, 1, {"m1"});
  Delete(*pop3_, 1);
  Quit(*pop3_);
  Delivery(*smtp_, {"anna@local.test"});
  const auto run = Scan();
  EXPECT_THAT(DeliveredSubjects(), ElementsAre("m1"));
  const auto texts = LogTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Message 2 of Office not forwarded: Max line length exceeded.");
}

// A passing refusal (4xx) is no verdict on the message: the account ends, as any failure of its
// conversation; the deletions made so far become final with the QUIT.
TEST_F(ScanRunTest, ATemporaryRefusalEndsTheAccount) {
  AddAccount("Office", pop3_->port());
  Login(*pop3_, 3);
  Uidl(*pop3_, {"u1", "u2", "u3"});
  Retrieve(*pop3_, 3, {"m3"});
  Delete(*pop3_, 3);
  Retrieve(*pop3_, 2, {"m2"});
  Quit(*pop3_);
  Delivery(*smtp_, {"anna@local.test"});
  smtp_->Accept()
      .SendLine("220 relay ESMTP")
      .Expect("EHLO relay")
      .SendLine("250 relay")
      .Expect("RSET")
      .SendLine("250 ok")
      .Expect("MAIL FROM:<ann@sender.test>")
      .SendLine("451 4.3.0 queue full")
      .AwaitClose();
  const auto run = Scan();
  EXPECT_EQ(run->MessagesFound(), 2);
  EXPECT_THAT(LogTexts(), ElementsAre("Error while connecting to Office",
                                      "Scan Done. Results: New Messages: 2 Accounts checked: 1"));
  EXPECT_THAT(run->AccountErrors(), ElementsAre("Office: 4.3.0 queue full"));
}

TEST_F(ScanRunTest, AnAccountThatFailsDoesNotStopTheOthers) {
  // The SMTP server is down: forwarding fails in the first account, whose message stays; the
  // other two mailboxes are empty and are checked normally.
  int down_port = 0;
  {
    ScriptedServer gone;
    down_port = gone.port();
  }
  SetSystem({{"SMTPPort", std::to_string(down_port)}});
  AddAccount("First", pop3_->port());
  AddAccount("Second", pop3_->port());
  AddAccount("Third", pop3_->port(), {{"Pop3Password", "wrong"}});
  Login(*pop3_, 1);
  Uidl(*pop3_, {"u1"});
  Retrieve(*pop3_, 1, {"m1"});
  Quit(*pop3_);
  Login(*pop3_, 0);
  Quit(*pop3_);
  pop3_->Accept()
      .SendLine("+OK POP3 ready")
      .Expect("USER anna")
      .SendLine("+OK")
      .Expect("PASS wrong")
      .SendLine("-ERR authentication failed")
      .Expect("QUIT")
      .AwaitClose();
  const auto run = Scan();
  EXPECT_EQ(run->AccountsChecked(), 3);
  EXPECT_EQ(run->MessagesFound(), 1);
  EXPECT_THAT(LogTexts(),
              ElementsAre("Error while connecting to First", "Error while connecting to Third",
                          "Scan Done. Results: New Messages: 1 Accounts checked: 3"));
  ASSERT_EQ(run->AccountErrors().size(), 2u);
  EXPECT_EQ(run->AccountErrors()[0].rfind("First: Socket Error # 10061", 0), 0u);
  EXPECT_EQ(run->AccountErrors()[1], "Third: authentication failed");
}

TEST_F(ScanRunTest, AMissingSettingsFileEndsTheRunBeforeAnyAccount) {
  AddAccount("Office", pop3_->port());
  Save();
  std::filesystem::remove(dir_.prefix() + "MFY_Settings.db");
  pop3_->Start();
  smtp_->Start();
  auto worker = std::make_shared<TThreadScanMailBoxes>(Environment());
  worker->SetDataDir(dir_.prefix());
  worker->SetLogSink(log_);
  bool finished = false;
  worker->SetOnTerminate([&](TThreadScanMailBoxes&) { finished = true; });
  worker->Start();
  ASSERT_TRUE(main_.RunUntil([&] { return finished; }));
  worker->WaitFor();
  EXPECT_EQ(worker->AccountsChecked(), 0);
  EXPECT_EQ(worker->FatalError(), "Cannot open file " + dir_.prefix() + "MFY_Settings.db");
  EXPECT_FALSE(std::filesystem::exists(dir_.prefix() + "MFY.log"));
}

TEST_F(ScanRunTest, WithoutALogSinkNothingIsLogged) {
  AddAccount("Office", pop3_->port(), {{"Pop3Password", "wrong"}});
  pop3_->Accept()
      .SendLine("+OK POP3 ready")
      .Expect("USER anna")
      .SendLine("+OK")
      .Expect("PASS wrong")
      .SendLine("-ERR no")
      .Expect("QUIT")
      .AwaitClose();
  const auto run = Scan(/*logging=*/false);
  EXPECT_EQ(run->AccountsChecked(), 1);
  EXPECT_FALSE(std::filesystem::exists(dir_.prefix() + "MFY.log"));
}

// The dial-up steps, on the run's own manager over the platform.
TEST_F(ScanRunTest, DialsTheConfiguredEntryOnlyWhenOfflineAndEnabled) {
  struct Case {
    const char* name;
    bool online;
    bool enabled;
    std::string entry;
    bool connected_before;
    std::vector<std::string> expected;  // the run's dial and hang-up calls
  };
  const std::vector<Case> cases = {
      {"dialling off", false, false, "Office Line", false, {}},
      {"online", true, true, "Office Line", false, {}},
      {"no such entry", false, true, "office line", false, {}},
      {"dials the entry", false, true, "Office Line", false, {"Dial Office Line"}},
      {"already up: no dial, hang-up", false, true, "Office Line", true, {"HangUp 77"}},
  };
  for (const Case& c : cases) {
    run_dial_up_ = {};
    run_dial_up_.entries = std::vector<std::string>{"Home", "Backup", "Office Line"};
    run_dial_up_.dial_params["Office Line"] = {"Office Line", "555", "", "u", "p", "", true};
    run_dial_up_.online = c.online;
    if (c.connected_before) run_dial_up_.SetConnected("Office Line", 77);
    SetSystem({{"RasEnabled", c.enabled ? "True" : "False"}, {"RasConnection", c.entry}});
    Save();
    auto worker = std::make_shared<TThreadScanMailBoxes>(Environment());
    worker->SetDataDir(dir_.prefix());
    bool finished = false;
    worker->SetOnTerminate([&](TThreadScanMailBoxes&) { finished = true; });
    worker->Start();
    ASSERT_TRUE(main_.RunUntil([&] { return finished; }));
    worker->WaitFor();
    std::vector<std::string> dial_calls;
    for (const std::string& call : run_dial_up_.calls) {
      if (call.rfind("Dial ", 0) == 0 || call.rfind("HangUp ", 0) == 0) dial_calls.push_back(call);
    }
    EXPECT_EQ(dial_calls, c.expected) << c.name;
    EXPECT_FALSE(worker->FatalError()) << c.name;
  }
  pop3_->Start();
  smtp_->Start();
}

}  // namespace
}  // namespace mailferry
