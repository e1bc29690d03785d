#include "scanning/forward_message.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "message/message.h"
#include "settings/settings_tables.h"
#include "support/error_text.h"
#include "support/fake_clock.h"
#include "support/fake_locale_language.h"
#include "support/fake_socket_stack.h"
#include "support/fake_temp_files.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"
#include "transport/smtp.h"
#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::ScriptedServer;

// Address texts of a list, in order.
std::vector<std::string> Addresses(const TMfEMailAddressList& list) {
  std::vector<std::string> addresses;
  for (int i = 0; i < list.Count(); ++i) addresses.push_back(list[i].Address());
  return addresses;
}

TMfEMailAddressList ListOf(const std::string& header_value) {
  TMfEMailAddressList list;
  list.ParseAddresses(header_value);
  return list;
}

ForwardingRules Rules(int method, std::string remote_domain, std::string local_domain,
                      std::vector<std::string> users = {}) {
  return {method, "@" + remote_domain, "@" + local_domain, std::move(users)};
}

class ForwardMessageTest : public ::testing::Test {
 protected:
  // A received message: its header lines and the address lists reading fills from them.
  void Receive(const std::string& to, const std::string& cc = "") {
    message_.Headers().Add("From: Ann <ann@sender.test>");
    message_.From().SetText("Ann <ann@sender.test>");
    if (!to.empty()) message_.Headers().Add("To: " + to);
    if (!cc.empty()) message_.Headers().Add("Cc: " + cc);
    message_.Headers().Add("Subject: hello");
    message_.Recipients().ParseAddresses(to);
    message_.CCList().ParseAddresses(cc);
    message_.Body().push_back("Hi.");
    message_.Body().push_back(".dot line");
  }

  testing::TempDir dir_;
  testing::FakeTempFiles temp_files_{dir_.path().string()};
  testing::FakeClock clock_{45000.5, 60};
  testing::FakeLocaleLanguage locale_{"en", "US", true};
  TMfMessage message_{MessagePorts{&temp_files_, &clock_, &locale_}};
};

TEST(ReplaceDomainTest, MovesUserNamesOfTheRemoteDomainAndDropsTheRest) {
  struct Case {
    const char* name;
    std::string list;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"a remote address", "anna@remote.test", {"anna@local.test"}},
      {"remote followed by more text", "user@remote.test.example", {"user@local.test"}},
      {"only the remote domain stays", "@remote.test", {"@remote.test"}},
      {"another domain is dropped", "carl@other.test, anna@remote.test", {"anna@local.test"}},
      {"a domain in another letter case is outside", "Dora@REMOTE.test", {}},
      {"order kept", "a@remote.test, b@x.test, c@remote.test", {"a@local.test", "c@local.test"}},
  };
  for (const Case& c : cases) {
    TMfEMailAddressList list = ListOf(c.list);
    ReplaceDomain(list, "@remote.test", "@local.test");
    EXPECT_EQ(Addresses(list), c.expected) << c.name;
  }
}

TEST(ReplaceDomainTest, TheRewrittenEntryLosesItsDisplayName) {
  TMfEMailAddressList list = ListOf("Bob <bob@remote.test>");
  ReplaceDomain(list, "@remote.test", "@local.test");
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0].Address(), "bob@local.test");
  EXPECT_EQ(list[0].Name(), "");
}

TEST(ReplaceDomainTest, AnEmptyRemoteDomainMovesEveryAddress) {
  TMfEMailAddressList list = ListOf("a@x.test, b@y.test");
  ReplaceDomain(list, "@", "@local.test");
  EXPECT_THAT(Addresses(list), ElementsAre("a@local.test", "b@local.test"));
}

TEST(RemoveDomainAddressesTest, RemovesEveryAddressHoldingTheRemoteDomain) {
  TMfEMailAddressList list = ListOf("a@remote.test, b@other.test, c@remote.test.x, D@REMOTE.test");
  RemoveDomainAddresses(list, "@remote.test");
  EXPECT_THAT(Addresses(list), ElementsAre("b@other.test", "D@REMOTE.test"));
  TMfEMailAddressList all = ListOf("a@x.test, b@y.test");
  RemoveDomainAddresses(all, "@");
  EXPECT_THAT(Addresses(all), IsEmpty());
}

TEST_F(ForwardMessageTest, MethodZeroMovesToCcAndBccToTheLocalDomain) {
  Receive("anna@remote.test, outsider@other.test", "Bob <bob@remote.test>");
  message_.BccList().Add().SetAddress("carl@remote.test");
  ASSERT_TRUE(PrepareForForwarding(message_, Rules(0, "remote.test", "local.test")));
  EXPECT_THAT(Addresses(message_.Recipients()), ElementsAre("anna@local.test"));
  EXPECT_THAT(Addresses(message_.CCList()), ElementsAre("bob@local.test"));
  EXPECT_THAT(Addresses(message_.BccList()), ElementsAre("carl@local.test"));
  EXPECT_EQ(message_.Headers().Lines().back(), "X-POP3-Connector: Mailferry V1.0");
}

TEST_F(ForwardMessageTest, MethodOneSendsToTheUserListAsBlindCopies) {
  Receive("info@remote.test, carl@other.test");
  ASSERT_TRUE(PrepareForForwarding(message_,
                                   Rules(1, "remote.test", "local.test", {"anna", "boss@h.test"})));
  EXPECT_THAT(Addresses(message_.Recipients()), ElementsAre("carl@other.test"));
  EXPECT_THAT(Addresses(message_.BccList()), ElementsAre("anna@local.test", "boss@h.test"));
  const MailEnvelope envelope = message_.Envelope();
  EXPECT_EQ(envelope.from, "ann@sender.test");
  EXPECT_THAT(envelope.to, ElementsAre("carl@other.test"));
  EXPECT_THAT(envelope.bcc, ElementsAre("anna@local.test", "boss@h.test"));
}

TEST_F(ForwardMessageTest, AMessageWithNoRecipientLeftIsRefused) {
  Receive("info@remote.test");
  EXPECT_EQ(testing::MessageOf<EMfMessageRefused>(
                [&] { PrepareForForwarding(message_, Rules(1, "remote.test", "local.test")); }),
            "No recipient left after rewriting");
  // Method 0 drops the outside recipient of a message that reached the mailbox by blind copy.
  message_.Clear();
  Receive("someone@other.test");
  EXPECT_THROW(PrepareForForwarding(message_, Rules(0, "remote.test", "local.test")),
               EMfMessageRefused);
}

TEST_F(ForwardMessageTest, AnotherMethodOnlyAddsTheMarker) {
  Receive("anna@remote.test, carl@other.test");
  ASSERT_TRUE(PrepareForForwarding(message_, Rules(2, "remote.test", "local.test", {"x"})));
  EXPECT_THAT(Addresses(message_.Recipients()), ElementsAre("anna@remote.test", "carl@other.test"));
  EXPECT_THAT(Addresses(message_.BccList()), IsEmpty());
  EXPECT_TRUE(HasMarkerHeader(message_));
}

TEST_F(ForwardMessageTest, AMessageWithTheMarkerInAnyCaseIsLeftAsItIs) {
  Receive("anna@remote.test");
  message_.Headers().Insert(1, "x-pop3-CONNECTOR: Something Else 2.0");
  const std::vector<std::string> before = message_.Headers().Lines();
  EXPECT_FALSE(PrepareForForwarding(message_, Rules(0, "remote.test", "local.test")));
  EXPECT_EQ(message_.Headers().Lines(), before);
  EXPECT_THAT(Addresses(message_.Recipients()), ElementsAre("anna@remote.test"));
}

TEST_F(ForwardMessageTest, TheMarkerIsAddedOnce) {
  Receive("anna@remote.test");
  AddMarkerHeader(message_);
  AddMarkerHeader(message_);
  int markers = 0;
  for (const std::string& line : message_.Headers().Lines())
    markers += line.rfind("X-POP3", 0) == 0;
  EXPECT_EQ(markers, 1);
}

TEST(ReadForwardingRulesTest, ReadsTheAccountAndItsOwnUsersThroughTheFilter) {
  TMemTable accounts("dbAccounts");
  TMemTable recipients("dbSendAddresses");
  DefineAccountsTable(accounts);
  DefineSendAddressesTable(recipients);
  accounts.Open();
  recipients.Open();
  accounts.Append();
  accounts.FieldByName("AccountID").SetAsInteger(7);
  accounts.FieldByName("ForwardMethod").SetAsInteger(1);
  accounts.FieldByName("Pop3DomainName").SetAsString("remote.test");
  accounts.FieldByName("SMTPDomainName").SetAsString("local.test");
  accounts.Post();
  const std::vector<std::pair<int, std::string>> rows = {
      {7, "anna"}, {8, "not-mine"}, {7, ""}, {7, "boss@h.test"}};
  int key = 1;
  for (const auto& [owner, address] : rows) {
    recipients.Append();
    recipients.FieldByName("Key").SetAsInteger(key++);
    recipients.FieldByName("AccountID").SetAsInteger(owner);
    recipients.FieldByName("EmailAddress").SetAsString(address);
    recipients.Post();
  }
  const ForwardingRules rules = ReadForwardingRules(accounts, recipients);
  EXPECT_EQ(rules.forward_method, 1);
  EXPECT_EQ(rules.remote, "@remote.test");
  EXPECT_EQ(rules.local, "@local.test");
  EXPECT_THAT(rules.user_list, ElementsAre("anna", "boss@h.test"));
  EXPECT_FALSE(recipients.Filtered());
  EXPECT_EQ(recipients.RecordCount(), 4);
}

// Delivery over a scripted SMTP server.
class DeliverMessageTest : public ForwardMessageTest {
 protected:
  void TearDown() override { EXPECT_THAT(server_.Finish(), IsEmpty()); }

  ScriptedServer& Hello() {
    return server_.Accept()
        .SendLine("220 relay.local.test ESMTP")
        .Expect("EHLO mailferry-host")
        .SendLine("250 relay.local.test");
  }

  // Hello, then the transaction up to the client's RCPT TO for anna@local.test.
  ScriptedServer& UpToRecipient() {
    return Hello()
        .Expect("RSET")
        .SendLine("250 ok")
        .Expect("MAIL FROM:<ann@sender.test>")
        .SendLine("250 ok")
        .Expect("RCPT TO:<anna@local.test>");
  }

  // Delivers the message; answers whether on_accepted ran, and checks that it ran after the
  // server's reply to "." and before QUIT.
  bool Deliver() {
    server_.Start();
    bool accepted = false;
    DeliverMessage(message_, {"127.0.0.1", server_.port()}, *layer_, [&] {
      accepted = true;
      const std::vector<std::string> lines = server_.ReceivedLines();
      EXPECT_EQ(lines.back(), ".");
    });
    return accepted;
  }

  std::string RefusalOf() {
    return testing::MessageOf<EMfMessageRefused>([&] { Deliver(); });
  }

  testing::FakeSocketStack stack_;
  std::unique_ptr<SocketLayer> layer_ = [this] {
    stack_.set_host_name("mailferry-host");
    return stack_.MakeLayer();
  }();
  ScriptedServer server_;
};

TEST_F(DeliverMessageTest, OneConnectionCarriesOneTransactionAndEndsWithQuit) {
  Receive("anna@remote.test");
  PrepareForForwarding(message_, Rules(0, "remote.test", "local.test"));
  UpToRecipient()
      .SendLine("250 ok")
      .Expect("DATA")
      .SendLine("354 go")
      .CaptureUntil(".")
      .SendLine("250 queued")
      .Expect("QUIT")
      .AwaitClose();
  EXPECT_TRUE(Deliver());
  const std::vector<std::string> data = server_.Captured();
  EXPECT_THAT(data, ::testing::Contains("X-POP3-Connector: Mailferry V1.0"));
  EXPECT_THAT(data, ::testing::Contains("To: anna@local.test"));
  EXPECT_THAT(data, ::testing::Contains("..dot line"));
}

TEST_F(DeliverMessageTest, AFiveHundredReplyToTheTransactionRefusesTheMessage) {
  Receive("anna@remote.test, bob@remote.test");
  PrepareForForwarding(message_, Rules(0, "remote.test", "local.test"));
  UpToRecipient()
      .Send("550-5.1.1 <anna@local.test>: Recipient\r\n550 address rejected\r\n")
      .AwaitClose();
  EXPECT_EQ(RefusalOf(), "550 5.1.1 <anna@local.test>: Recipient address rejected");
}

TEST_F(DeliverMessageTest, ARefusalOfTheWholeMessageAfterDataRefusesIt) {
  Receive("anna@remote.test");
  PrepareForForwarding(message_, Rules(0, "remote.test", "local.test"));
  UpToRecipient()
      .SendLine("250 ok")
      .Expect("DATA")
      .SendLine("354 go")
      .CaptureUntil(".")
      .SendLine("554 5.7.1 content rejected")
      .AwaitClose();
  EXPECT_EQ(RefusalOf(), "554 5.7.1 content rejected");
}

// A passing refusal or a refusal of the server as a whole is no verdict on the message: it
// propagates as it is and ends the account.
TEST_F(DeliverMessageTest, FourHundredRepliesAndGreetingRefusalsAreNotMessageRefusals) {
  Receive("anna@remote.test");
  PrepareForForwarding(message_, Rules(0, "remote.test", "local.test"));
  Hello()
      .Expect("RSET")
      .SendLine("250 ok")
      .Expect("MAIL FROM:<ann@sender.test>")
      .SendLine("451 4.3.0 try later")
      .AwaitClose();
  server_.Accept().SendLine("554 no service").Expect("QUIT").AwaitClose();
  server_.Start();
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      DeliverMessage(message_, {"127.0.0.1", server_.port()}, *layer_, [] { FAIL(); });
      FAIL() << "no error";
    } catch (const EMfMessageRefused& error) {
      FAIL() << error.what();
    } catch (const EMfProtocolReplyError& error) {
      EXPECT_EQ(error.ReplyErrorCode(), attempt == 0 ? 451 : 554);
    }
  }
}

TEST_F(DeliverMessageTest, AnUnsafeEnvelopeAddressIsRefusedBeforeAnythingIsSent) {
  Receive("anna@remote.test");
  PrepareForForwarding(message_, Rules(0, "remote.test", "local.test"));
  message_.Recipients()[0].SetAddress("anna@local.test\r\nRCPT TO:<victim@x.test>");
  Hello().AwaitClose();
  EXPECT_EQ(RefusalOf().rfind("Envelope address holds CR, LF or NUL", 0), 0u);
}

TEST_F(DeliverMessageTest, AServerThatIsDownRaisesTheSocketError) {
  Receive("anna@remote.test");
  server_.Start();
  const int port = server_.port();
  EXPECT_THAT(server_.Finish(), IsEmpty());
  stack_.set_connect_error(10061);
  EXPECT_THROW(DeliverMessage(message_, {"127.0.0.1", port}, *layer_, {}), EMfSocketError);
}

}  // namespace
}  // namespace mailferry
