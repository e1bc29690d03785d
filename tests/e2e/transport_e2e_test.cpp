// The POP3 and SMTP clients against the real servers: Dovecot's POP3 server and Postfix.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "e2e/support/message_text.h"
#include "e2e/support/shared_servers.h"
#include "support/raw_message.h"
#include "transport/pop3.h"
#include "transport/smtp.h"
#include "transport/transport_exceptions.h"

namespace mailferry::testing {
namespace {

using ::testing::HasSubstr;

// A server that stops answering fails the test in this time instead of the client's own bound.
constexpr int kReadTimeoutMs = 30000;

const std::string kFirst =
    "Subject: first\r\nFrom: a@example.org\r\n\r\nline one\r\n.leading dot\r\n";
const std::string kSecond = "Subject: second\n\nstored with LF line ends\n";
const std::string kThird = "Subject: third\r\n\r\nthe end\r\n";

// The lines a retrieval shows of a stored message: the server stuffs lines that start with a
// dot, and RawMessage keeps them as they arrived.
std::vector<std::string> RetrievedLines(const std::string& stored) {
  std::vector<std::string> lines = SplitLines(stored);
  for (std::string& line : lines) {
    if (line.starts_with(".")) line.insert(0, ".");
  }
  return lines;
}

// About 2 MB in lines of 998 characters, the longest RFC 5322 allows.
std::vector<std::string> LargeMessageLines() {
  std::vector<std::string> lines{"Subject: large", "From: big@example.org", ""};
  for (int i = 0; i < 2000; ++i) {
    std::string line = std::to_string(i) + " ";
    while (line.size() < 998) line += static_cast<char>('a' + line.size() % 26);
    lines.push_back(line);
  }
  return lines;
}

class Pop3ClientTest : public DovecotTest {
 protected:
  void SetUp() override {
    DovecotTest::SetUp();
    if (HasFatalFailure()) return;
    dovecot().AddUser(user_, "secret");
  }

  // A client for the test's mailbox, logged in.
  std::unique_ptr<TMfPOP3> Open(const std::string& password = "secret") {
    auto client = std::make_unique<TMfPOP3>();
    client->SetHost("127.0.0.1");
    client->SetPort(dovecot().port());
    client->SetUsername(user_);
    client->SetPassword(password);
    client->SetReadTimeout(kReadTimeoutMs);
    client->OpenConnection(-1);
    return client;
  }

  const std::string user_ = FreshName();
};

TEST_F(Pop3ClientTest, CountsListsRetrievesAndDeletesAtQuit) {
  dovecot().Deliver(user_, {kFirst, kSecond, kThird});
  std::map<int, std::string> ids;
  {
    std::unique_ptr<TMfPOP3> client = Open();
    EXPECT_TRUE(client->IsConnected());
    EXPECT_EQ(client->CountMessages(), 3);

    ids = client->UniqueIds();
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids.begin()->first, 1);
    EXPECT_EQ(ids.rbegin()->first, 3);
    EXPECT_EQ(std::set<std::string>({ids[1], ids[2], ids[3]}).size(), 3u);

    const std::string stored[] = {kFirst, kSecond, kThird};
    for (int number = 3; number >= 1; --number) {  // highest first, as a scan goes
      SCOPED_TRACE(number);
      RawMessage message;
      EXPECT_TRUE(client->RetrieveMessage(number, message));
      EXPECT_EQ(message.lines(), RetrievedLines(stored[number - 1]));
    }

    EXPECT_TRUE(client->DeleteMessage(2));
    EXPECT_EQ(dovecot().ListMailbox(user_).size(), 3u) << "deleted before QUIT";
    client->CloseConnection();
    EXPECT_EQ(client->Socket(), nullptr);
  }
  // The client does not wait for the reply to QUIT; the server deletes on its own time.
  std::vector<std::string> left = dovecot().WaitForMailbox(user_, 2);
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0], kFirst);
  EXPECT_EQ(left[1], kThird);

  std::unique_ptr<TMfPOP3> client = Open();
  EXPECT_EQ(client->CountMessages(), 2);
  EXPECT_EQ(client->UniqueIds(), (std::map<int, std::string>{{1, ids[1]}, {2, ids[3]}}));
  client->CloseConnection();
}

TEST_F(Pop3ClientTest, AnEmptyMailboxCountsZero) {
  std::unique_ptr<TMfPOP3> client = Open();
  EXPECT_EQ(client->CountMessages(), 0);
  EXPECT_TRUE(client->UniqueIds().empty());
  client->CloseConnection();
}

TEST_F(Pop3ClientTest, AMissingMessageIsNotRetrievedAndCannotBeDeleted) {
  dovecot().Deliver(user_, kFirst);
  std::unique_ptr<TMfPOP3> client = Open();
  RawMessage message;
  EXPECT_FALSE(client->RetrieveMessage(2, message));
  EXPECT_TRUE(message.lines().empty());
  try {
    client->DeleteMessage(2);
    ADD_FAILURE() << "DELE of a missing message raised nothing";
  } catch (const EMfProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyErrorCode(), 2);
  }
  // The conversation goes on after both refusals.
  RawMessage first;
  EXPECT_TRUE(client->RetrieveMessage(1, first));
  EXPECT_EQ(first.lines(), RetrievedLines(kFirst));
  client->CloseConnection();
}

TEST_F(Pop3ClientTest, ALargeMessageArrivesWhole) {
  const std::vector<std::string> lines = LargeMessageLines();
  dovecot().Deliver(user_, JoinCrLf(lines));
  std::unique_ptr<TMfPOP3> client = Open();
  RawMessage message;
  ASSERT_TRUE(client->RetrieveMessage(1, message));
  EXPECT_EQ(message.lines(), lines);
  client->CloseConnection();
}

TEST_F(Pop3ClientTest, ABadLoginRaisesTheServersRefusalAndCloses) {
  struct Case {
    std::string user, password;
  } cases[] = {{user_, "wrong"}, {FreshName("nobody"), "secret"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user + " / " + c.password);
    TMfPOP3 client;
    client.SetHost("127.0.0.1");
    client.SetPort(dovecot().port());
    client.SetUsername(c.user);
    client.SetPassword(c.password);
    client.SetReadTimeout(kReadTimeoutMs);
    try {
      client.OpenConnection(-1);
      ADD_FAILURE() << "the login succeeded";
    } catch (const EMfProtocolReplyError& e) {
      EXPECT_EQ(e.ReplyErrorCode(), 2);
      EXPECT_EQ(std::string(e.what()), " [AUTH] Authentication failed.\r\n");
    }
    EXPECT_FALSE(client.IsConnected());
  }
}

// --- SMTP ---

class SmtpClientTest : public PostfixTest {
 protected:
  std::string Address() { return FreshName() + "@" + postfix().stored_domain(); }

  // One message over a client of its own, as forwarding does.
  void Send(RawMessage& message) {
    TMfSMTP client;
    client.SetHost("127.0.0.1");
    client.SetPort(postfix().port());
    client.SetReadTimeout(kReadTimeoutMs);
    client.OpenConnection(-1);
    client.SendMail(message);
    client.CloseConnection();
  }
};

const std::vector<std::string> kMailLines = {
    "From: Sender <sender@example.org>",
    "To: someone@test.domain",
    "Subject: through the client",
    "",
    "first line",
    ".a line that starts with a dot",
    "..and one with two",
    "",
    "last line",
};

TEST_F(SmtpClientTest, StoresTheMessageForEveryRecipientAsWritten) {
  const std::string to = Address(), cc = Address(), bcc = Address();
  RawMessage message({"sender@example.org", {to}, {cc}, {bcc}}, kMailLines);
  Send(message);

  for (const std::string& recipient : {to, cc, bcc}) {
    SCOPED_TRACE(recipient);
    std::vector<StoredMessage> stored = postfix().WaitForMessages(recipient, 1);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].text, JoinCrLf(kMailLines));
    EXPECT_EQ(stored[0].sender, "sender@example.org");
  }
}

TEST_F(SmtpClientTest, AnEmptySenderGoesOutAsTheNullSender) {
  const std::string to = Address();
  RawMessage message({"", {to}, {}, {}}, kMailLines);
  Send(message);
  std::vector<StoredMessage> stored = postfix().WaitForMessages(to, 1);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].sender, "");
}

TEST_F(SmtpClientTest, ALargeMessageIsStoredWhole) {
  const std::string to = Address();
  const std::vector<std::string> lines = LargeMessageLines();
  RawMessage message({"big@example.org", {to}, {}, {}}, lines);
  Send(message);
  std::vector<StoredMessage> stored = postfix().WaitForMessages(to, 1);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].text, JoinCrLf(lines));
}

TEST_F(SmtpClientTest, ARefusedRecipientRaisesTheReplyErrorBeforeAnyData) {
  const std::string kept = Address();
  const std::string refused = "someone@" + postfix().refused_domain();
  {
    RawMessage message({"sender@example.org", {kept, refused}, {}, {}}, kMailLines);
    TMfSMTP client;
    client.SetHost("127.0.0.1");
    client.SetPort(postfix().port());
    client.SetReadTimeout(kReadTimeoutMs);
    client.OpenConnection(-1);
    try {
      client.SendMail(message);
      ADD_FAILURE() << "SendMail raised nothing";
    } catch (const EMfProtocolReplyError& e) {
      EXPECT_EQ(e.ReplyErrorCode(), 554);
      EXPECT_THAT(e.what(), HasSubstr("Relay access denied"));
    }
  }  // destroyed without QUIT, as forwarding does after a failure

  // Nothing went out for the accepted recipient: the next message is its first.
  RawMessage next({"sender@example.org", {kept}, {}, {}}, {"Subject: next", "", "body"});
  Send(next);
  std::vector<StoredMessage> stored = postfix().WaitForMessages(kept, 1);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].text, "Subject: next\r\n\r\nbody\r\n");
}

}  // namespace
}  // namespace mailferry::testing
