// Proves the real-server harness with raw protocol lines: Dovecot serves what was delivered and
// deletes on QUIT, Postfix stores what it accepts for its domain and refuses other domains.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "e2e/support/line_client.h"
#include "e2e/support/maildir.h"
#include "e2e/support/message_text.h"
#include "e2e/support/shared_servers.h"
#include "support/temp_dir.h"

namespace mailferry::testing {
namespace {

void Pop3Login(LineClient& client, const std::string& user, const std::string& password) {
  ASSERT_TRUE(client.ReadLine().starts_with("+OK"));
  ASSERT_TRUE(client.Pop3("USER " + user).starts_with("+OK"));
  ASSERT_TRUE(client.Pop3("PASS " + password).starts_with("+OK"));
}

std::vector<std::string> Uidl(LineClient& client) {
  EXPECT_TRUE(client.Pop3("UIDL").starts_with("+OK"));
  return client.ReadDotTerminated();
}

const std::string kFirst =
    "Subject: first\r\nFrom: a@example.org\r\n\r\nline one\r\n.leading dot\r\n";
const std::string kSecond = "Subject: second\n\nstored with LF line ends\n";
const std::string kThird = "Subject: third\r\n\r\n";

class DovecotHarnessTest : public DovecotTest {
 protected:
  void SetUp() override {
    DovecotTest::SetUp();
    if (HasFatalFailure()) return;
    dovecot().AddUser(user_, "secret");
    dovecot().Deliver(user_, {kFirst, kSecond, kThird});
  }

  const std::string user_ = FreshName();
};

TEST_F(DovecotHarnessTest, StatCountsTheDeliveredMessagesWithCrLfSizes) {
  LineClient client(dovecot().port());
  ASSERT_NO_FATAL_FAILURE(Pop3Login(client, user_, "secret"));
  size_t octets = 0;
  for (const std::string& message : {kFirst, kSecond, kThird}) {
    for (const std::string& line : SplitLines(message)) octets += line.size() + 2;
  }
  EXPECT_EQ(client.Pop3("STAT"), "+OK 3 " + std::to_string(octets));
}

TEST_F(DovecotHarnessTest, RetrServesEachMessageUnderItsDeliveryNumber) {
  LineClient client(dovecot().port());
  ASSERT_NO_FATAL_FAILURE(Pop3Login(client, user_, "secret"));
  const std::string delivered[] = {kFirst, kSecond, kThird};
  for (int number = 1; number <= 3; ++number) {
    SCOPED_TRACE(number);
    ASSERT_TRUE(client.Pop3("RETR " + std::to_string(number)).starts_with("+OK"));
    EXPECT_EQ(client.ReadDotTerminated(), SplitLines(delivered[number - 1]));
  }
  EXPECT_TRUE(client.Pop3("RETR 4").starts_with("-ERR"));
}

TEST_F(DovecotHarnessTest, UidlGivesDistinctIdsThatSurviveADeletion) {
  std::vector<std::string> before;
  {
    LineClient client(dovecot().port());
    ASSERT_NO_FATAL_FAILURE(Pop3Login(client, user_, "secret"));
    before = Uidl(client);
    ASSERT_EQ(before.size(), 3u);
    std::set<std::string> ids;
    for (const std::string& line : before) ids.insert(line.substr(line.find(' ') + 1));
    EXPECT_EQ(ids.size(), 3u);
    EXPECT_TRUE(client.Pop3("DELE 1").starts_with("+OK"));
    EXPECT_TRUE(client.Pop3("QUIT").starts_with("+OK"));
  }
  LineClient client(dovecot().port());
  ASSERT_NO_FATAL_FAILURE(Pop3Login(client, user_, "secret"));
  std::vector<std::string> after = Uidl(client);
  ASSERT_EQ(after.size(), 2u);
  // The survivors are renumbered, but each keeps its id.
  EXPECT_EQ(after[0].substr(after[0].find(' ')), before[1].substr(before[1].find(' ')));
  EXPECT_EQ(after[1].substr(after[1].find(' ')), before[2].substr(before[2].find(' ')));
}

TEST_F(DovecotHarnessTest, DeleTakesEffectAtQuit) {
  {
    LineClient client(dovecot().port());
    ASSERT_NO_FATAL_FAILURE(Pop3Login(client, user_, "secret"));
    EXPECT_TRUE(client.Pop3("DELE 2").starts_with("+OK"));
    EXPECT_EQ(dovecot().ListMailbox(user_).size(), 3u) << "deleted before QUIT";
    EXPECT_TRUE(client.Pop3("QUIT").starts_with("+OK"));
    // QUIT is answered before the connection closes; the mailbox is updated by then.
  }
  std::vector<std::string> left = dovecot().ListMailbox(user_);
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0], kFirst);
  EXPECT_EQ(left[1], kThird);
}

TEST_F(DovecotHarnessTest, ABrokenConversationDeletesNothing) {
  {
    LineClient client(dovecot().port());
    ASSERT_NO_FATAL_FAILURE(Pop3Login(client, user_, "secret"));
    EXPECT_TRUE(client.Pop3("DELE 1").starts_with("+OK"));
  }  // closed without QUIT
  LineClient client(dovecot().port());
  ASSERT_NO_FATAL_FAILURE(Pop3Login(client, user_, "secret"));
  EXPECT_TRUE(client.Pop3("STAT").starts_with("+OK 3 "));
  EXPECT_EQ(dovecot().ListMailbox(user_).size(), 3u);
}

TEST_F(DovecotHarnessTest, ABadLoginIsRefused) {
  struct Case {
    std::string user, password;
  } cases[] = {{user_, "wrong"}, {user_, ""}, {FreshName("nobody"), "secret"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user + " / " + c.password);
    LineClient client(dovecot().port());
    ASSERT_TRUE(client.ReadLine().starts_with("+OK"));
    ASSERT_TRUE(client.Pop3("USER " + c.user).starts_with("+OK"));
    EXPECT_TRUE(client.Pop3("PASS " + c.password).starts_with("-ERR"));
  }
}

// --- Postfix ---

// Runs one SMTP transaction; returns the reply to the final "." (or the first refusal).
SmtpReply SendMail(PostfixServer& postfix, const std::string& from,
                   const std::vector<std::string>& recipients, const std::string& data) {
  LineClient client(postfix.port());
  EXPECT_EQ(client.ReadSmtpReply().code, 220);
  EXPECT_EQ(client.Smtp("EHLO client.mailferry.test").code, 250);
  EXPECT_EQ(client.Smtp("MAIL FROM:<" + from + ">").code, 250);
  for (const std::string& recipient : recipients) {
    SmtpReply reply = client.Smtp("RCPT TO:<" + recipient + ">");
    if (reply.code != 250) return reply;
  }
  SmtpReply reply = client.Smtp("DATA");
  if (reply.code != 354) return reply;
  client.Send(data + ".\r\n");
  reply = client.ReadSmtpReply();
  client.Smtp("QUIT");
  return reply;
}

const std::string kMail =
    "From: Sender <sender@example.org>\r\n"
    "To: somebody@test.domain\r\n"
    "Subject: harness\r\n"
    "\r\n"
    "a body line\r\n"
    "..a line that starts with a dot\r\n"  // stuffed on the wire
    "\r\n"
    "last line\r\n";
const std::string kMailText = [] {
  std::string text = kMail;
  text.erase(text.find("..a line"), 1);
  return text;
}();

using PostfixHarnessTest = PostfixTest;

TEST_F(PostfixHarnessTest, StoresAMessageForItsDomainAsSent) {
  const std::string recipient = FreshName() + "@" + postfix().stored_domain();
  SmtpReply reply = SendMail(postfix(), "sender@example.org", {recipient}, kMail);
  ASSERT_EQ(reply.code, 250) << reply.lines[0];

  std::vector<StoredMessage> stored = postfix().WaitForMessages(recipient, 1);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].text, kMailText);
  EXPECT_EQ(stored[0].sender, "sender@example.org");
  EXPECT_EQ(stored[0].recipient, recipient);
}

TEST_F(PostfixHarnessTest, StoresACopyPerRecipientAndTellsThemApart) {
  const std::string first = FreshName() + "@" + postfix().stored_domain();
  const std::string second = FreshName() + "@" + postfix().stored_domain();
  ASSERT_EQ(SendMail(postfix(), "", {first, second}, kMail).code, 250);

  for (const std::string& recipient : {first, second}) {
    std::vector<StoredMessage> stored = postfix().WaitForMessages(recipient, 1);
    ASSERT_EQ(stored.size(), 1u) << recipient;
    EXPECT_EQ(stored[0].text, kMailText);
    EXPECT_EQ(stored[0].sender, "");  // the null sender <>
  }
}

TEST_F(PostfixHarnessTest, RefusesEveryOtherDomainAtRcpt) {
  for (const std::string& domain : {postfix().refused_domain(), std::string("example.com")}) {
    SCOPED_TRACE(domain);
    SmtpReply reply = SendMail(postfix(), "sender@example.org", {"someone@" + domain}, kMail);
    EXPECT_EQ(reply.code, 554) << reply.lines[0];
  }
}

TEST_F(PostfixHarnessTest, RefusesABareLineFeedAndStoresNothing) {
  const std::string recipient = FreshName() + "@" + postfix().stored_domain();
  SmtpReply reply =
      SendMail(postfix(), "sender@example.org", {recipient}, "Subject: bare\r\n\r\none\ntwo\r\n");
  EXPECT_GE(reply.code, 500) << reply.lines[0];

  // Had the refused message been queued, it would arrive with the next one.
  ASSERT_EQ(SendMail(postfix(), "sender@example.org", {recipient}, kMail).code, 250);
  std::vector<StoredMessage> stored = postfix().WaitForMessages(recipient, 1);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].text, kMailText);
}

// --- The harness's own life cycle ---

bool Answers(int port) {
  try {
    LineClient client(port);
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

TEST(ServerHarnessTest, PrivateInstancesRunSideBySideAndLeaveNothingBehind) {
  std::filesystem::path folders[3];
  int ports[3] = {};
  {
    DovecotServer one;
    DovecotServer two;
    PostfixServer three;
    folders[0] = one.folder();
    folders[1] = two.folder();
    folders[2] = three.folder();
    ports[0] = one.port();
    ports[1] = two.port();
    ports[2] = three.port();
    EXPECT_EQ(std::set<int>(ports, ports + 3).size(), 3u);
    one.AddUser("only-in-one", "pw");
    for (int port : ports) EXPECT_TRUE(Answers(port)) << port;

    LineClient in_two(two.port());
    ASSERT_TRUE(in_two.ReadLine().starts_with("+OK"));
    ASSERT_TRUE(in_two.Pop3("USER only-in-one").starts_with("+OK"));
    EXPECT_TRUE(in_two.Pop3("PASS pw").starts_with("-ERR"));
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(std::filesystem::exists(folders[i])) << folders[i];
    EXPECT_FALSE(Answers(ports[i])) << ports[i];
  }
}

// --- Pieces of the harness that need no server ---

TEST(StoredMessageTest, SplitsPostfixTraceFromTheMessage) {
  StoredMessage message = ParseStoredMessage(
      "Return-Path: <sender@example.org>\n"
      "X-Original-To: Bob@test.domain\n"
      "Delivered-To: Bob@test.domain\n"
      "Received: from client.test (unknown [127.0.0.1])\n"
      "\tby smtp.mailferry.test (Postfix) with ESMTP id 440B3A73212;\n"
      "\tFri, 11 Dec 2026 12:31:25 +0000 (UTC)\n"
      "Received: from elsewhere\n"
      "Subject: hello\n"
      "\n"
      ".dot line\n");
  EXPECT_EQ(message.sender, "sender@example.org");
  EXPECT_EQ(message.recipient, "Bob@test.domain");
  EXPECT_EQ(message.text, "Received: from elsewhere\r\nSubject: hello\r\n\r\n.dot line\r\n");
}

TEST(MaildirTest, ReadsNewAndCurInDeliveryOrder) {
  TempDir dir;
  struct {
    const char* path;
    const char* bytes;
  } files[] = {
      {"cur/1700000001.M5P1Q000000.host:2,S", "4"},
      {"new/1700000000.M10P1Q000000.host", "2"},  // after M9 although it sorts first as text
      {"new/1700000000.M9P1Q000000.host", "1"},
      {"new/1700000001.V801I5dd2aM440958.smtp", "5"},  // Postfix's naming
      {"new/1700000000.M10P1Q000001.host", "3"},
  };
  for (const char* sub : {"new", "cur", "tmp"}) std::filesystem::create_directory(dir.path() / sub);
  for (const auto& file : files) std::ofstream(dir.path() / file.path) << file.bytes;

  std::string order;
  for (const MaildirFile& file : ReadMaildir(dir.path())) order += file.bytes;
  EXPECT_EQ(order, "12345");

  ClearMaildir(dir.path());
  EXPECT_TRUE(ReadMaildir(dir.path()).empty());
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "new"));
}

}  // namespace
}  // namespace mailferry::testing
