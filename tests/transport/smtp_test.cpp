#include "transport/smtp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "support/error_text.h"
#include "support/fake_socket_stack.h"
#include "support/raw_message.h"
#include "support/scripted_server.h"
#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

using ::testing::ElementsAre;
using testing::FakeSocketStack;
using ::testing::IsEmpty;
using testing::RawMessage;
using testing::ScriptedServer;

using testing::MessageOf;

class SmtpTest : public ::testing::Test {
 protected:
  void TearDown() override {
    client_.reset();
    EXPECT_THAT(server_.Finish(), IsEmpty());
  }

  // The server's side of greeting and EHLO as "relay".
  ScriptedServer& Hello() {
    return server_.Accept()
        .SendLine("220 mx ESMTP")
        .Expect("EHLO relay")
        .Send("250-mx\r\n250-PIPELINING\r\n250 8BITMIME\r\n");
  }

  void Open() {
    server_.Start();
    client_->SetHost("127.0.0.1");
    client_->SetPort(server_.port());
    client_->SetHeloName("relay");
    client_->OpenConnection();
  }

  FakeSocketStack stack_;
  std::unique_ptr<SocketLayer> layer_ = stack_.MakeLayer();
  ScriptedServer server_;
  std::unique_ptr<TMfSMTP> client_ = std::make_unique<TMfSMTP>(*layer_);
};

TEST_F(SmtpTest, PresetsTheStandardPortAndLinksItsSwitches) {
  server_.Start();
  EXPECT_EQ(client_->Port(), 25);
  EXPECT_TRUE(client_->UseEhlo());
  client_->SetUseEhlo(false);
  client_->SetAuthenticationType(atLogin);
  EXPECT_TRUE(client_->UseEhlo());
  client_->SetUseEhlo(false);
  EXPECT_EQ(client_->AuthenticationType(), atNone);
}

TEST_F(SmtpTest, SendsOneTransactionWithRecipientsInOrderAndTheStuffedMessage) {
  Hello()
      .Expect("RSET")
      .SendLine("250 flushed")
      .Expect("MAIL FROM:<js@x.test>")
      .SendLine("250 ok")
      .Expect("RCPT TO:<a@local.test>")
      .SendLine("250 ok")
      .Expect("RCPT TO:<b@local.test>")
      .SendLine("251 will forward")
      .Expect("RCPT TO:<a@local.test>")
      .SendLine("250 ok")
      .Expect("RCPT TO:<c@local.test>")
      .SendLine("250 ok")
      .Expect("DATA")
      .SendLine("354 go ahead")
      .CaptureUntil(".")
      .SendLine("250 queued as 1")
      .Expect("QUIT")
      .AwaitClose();
  Open();
  RawMessage message(
      {"js@x.test", {"a@local.test", "b@local.test"}, {"a@local.test"}, {"c@local.test"}},
      {"Subject: hi", "", "body", ".", "..x", ""});
  client_->SendMail(message);
  client_->CloseConnection();
  EXPECT_THAT(server_.Finish(), IsEmpty());
  EXPECT_THAT(server_.Captured(), ElementsAre("Subject: hi", "", "body", "..", "...x", ""));
}

TEST_F(SmtpTest, EachCommandAndTheWholeMessageLeaveInOneSegment) {
  std::vector<std::string> lines = {"Subject: many lines", ""};
  for (int i = 0; i < 300; ++i) lines.push_back("line " + std::to_string(i) + " of the body");
  Hello()
      .Expect("RSET")
      .SendLine("250 ok")
      .Expect("MAIL FROM:<s@x>")
      .SendLine("250 ok")
      .Expect("RCPT TO:<r@y>")
      .SendLine("250 ok")
      .Expect("DATA")
      .SendLine("354 go ahead")
      .CaptureUntil(".")
      .SendLine("250 ok")
      .Expect("QUIT")
      .AwaitClose();
  Open();
  RawMessage message({"s@x", {"r@y"}, {}, {}}, lines);
  client_->SendMail(message);
  client_->CloseConnection();
  // EHLO, RSET, MAIL, RCPT, DATA, message with its ".", QUIT.
  EXPECT_EQ(stack_.send_sizes().size(), 7u);
  EXPECT_THAT(server_.Finish(), IsEmpty());
  EXPECT_EQ(server_.Captured(), lines);
}

TEST_F(SmtpTest, AnEhloThatIsNotAnsweredTwoFiftyFallsBackToHelo) {
  server_.Accept()
      .SendLine("220 old server")
      .Expect("EHLO relay")
      .SendLine("500 command unrecognized")
      .Expect("HELO relay")
      .SendLine("250 hello")
      .Expect("RSET")
      .SendLine("502 not implemented")  // RSET never fails on its code
      .Expect("MAIL FROM:<>")
      .SendLine("250 ok")
      .Expect("DATA")  // no recipient: straight to DATA
      .SendLine("554 no valid recipients")
      .Expect("QUIT")
      .AwaitClose();
  Open();
  RawMessage message({"", {}, {}, {}}, {"Subject: x", "", "y"});
  try {
    client_->SendMail(message);
    FAIL() << "refused DATA accepted";
  } catch (const EMfProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyErrorCode(), 554);
    EXPECT_STREQ(e.what(), "no valid recipients\r\n");
  }
  client_->CloseConnection();
}

TEST_F(SmtpTest, WithoutEhloOnlyHeloIsSent) {
  server_.Accept()
      .SendLine("220 mx")
      .Expect("HELO relay")
      .SendLine("250 hello")
      .Expect("QUIT")
      .AwaitClose();
  client_->SetUseEhlo(false);
  Open();
  client_->CloseConnection();
}

TEST_F(SmtpTest, TheHelloNameDefaultsToTheLocalHostName) {
  stack_.set_host_name("workstation7");
  server_.Accept()
      .SendLine("220 mx")
      .Expect("EHLO workstation7")
      .SendLine("250 hi")
      .Expect("QUIT")
      .AwaitClose();
  server_.Start();
  client_->SetHost("127.0.0.1");
  client_->SetPort(server_.port());
  client_->OpenConnection();
  client_->CloseConnection();
}

TEST_F(SmtpTest, FailuresOfGreetingAndHelloQuitAndClose) {
  const struct {
    const char* greeting;
    const char* helo_reply;  // nullptr: the greeting fails already
    int code;
  } kCases[] = {{"554 no service", nullptr, 554}, {"220 ok", "501 bad name", 501}};
  for (const auto& c : kCases) {
    server_.Accept().SendLine(c.greeting);
    if (c.helo_reply != nullptr) {
      server_.Expect("EHLO relay").SendLine("502 no").Expect("HELO relay").SendLine(c.helo_reply);
    }
    server_.Expect("QUIT").AwaitClose();
  }
  server_.Start();
  client_->SetHost("127.0.0.1");
  client_->SetPort(server_.port());
  client_->SetHeloName("relay");
  for (const auto& c : kCases) {
    try {
      client_->OpenConnection();
      ADD_FAILURE() << "accepted " << c.greeting;
    } catch (const EMfProtocolReplyError& e) {
      EXPECT_EQ(e.ReplyErrorCode(), c.code);
    }
    EXPECT_EQ(client_->Socket(), nullptr);
  }
}

TEST_F(SmtpTest, ARefusedRecipientStopsTheTransactionBeforeData) {
  Hello()
      .Expect("RSET")
      .SendLine("250 ok")
      .Expect("MAIL FROM:<s@x>")
      .SendLine("250 ok")
      .Expect("RCPT TO:<a@y>")
      .SendLine("250 ok")
      .Expect("RCPT TO:<b@y>")
      .SendLine("550 5.1.1 no such user")
      .AwaitClose();  // nothing more: the client is destroyed without QUIT
  Open();
  RawMessage message({"s@x", {"a@y", "b@y", "c@y"}, {}, {}}, {"Subject: x"});
  try {
    client_->SendMail(message);
    FAIL() << "refused recipient accepted";
  } catch (const EMfProtocolReplyError& e) {
    EXPECT_EQ(e.ReplyErrorCode(), 550);
    EXPECT_STREQ(e.what(), "5.1.1 no such user\r\n");
  }
}

TEST_F(SmtpTest, RefusedSenderAndRefusedMessageRaiseTheirReplies) {
  Hello()
      .Expect("RSET")
      .SendLine("250 ok")
      .Expect("MAIL FROM:<s@x>")
      .SendLine("451 try later")
      .Expect("RSET")
      .SendLine("250 ok")
      .Expect("MAIL FROM:<s@x>")
      .SendLine("250 ok")
      .Expect("RCPT TO:<r@y>")
      .SendLine("250 ok")
      .Expect("DATA")
      .SendLine("354 go")
      .CaptureUntil(".")
      .SendLine("552 too big")
      .Expect("QUIT")
      .AwaitClose();
  Open();
  RawMessage message({"s@x", {"r@y"}, {}, {}}, {"Subject: x", "", "body"});
  EXPECT_EQ(MessageOf<EMfProtocolReplyError>([&] { client_->SendMail(message); }), "try later\r\n");
  EXPECT_EQ(MessageOf<EMfProtocolReplyError>([&] { client_->SendMail(message); }), "too big\r\n");
  client_->CloseConnection();
}

TEST_F(SmtpTest, TheMailAgentSetsOrRemovesTheXMailerHeader) {
  Hello();
  for (int i = 0; i < 2; ++i) {
    server_.Expect("RSET")
        .SendLine("250 ok")
        .Expect("MAIL FROM:<s@x>")
        .SendLine("250 ok")
        .Expect("DATA")
        .SendLine("354 go")
        .CaptureUntil(".")
        .SendLine("250 ok");
  }
  server_.Expect("QUIT").AwaitClose();
  Open();
  RawMessage message({"s@x", {}, {}, {}}, {"Subject: x", "", "body"});
  message.SetExtraHeader("X-Mailer", "Old Agent 2.0");
  client_->SendMail(message);
  EXPECT_THAT(message.extra_headers(), IsEmpty());
  client_->SetMailAgent("Mailferry 1.00");
  client_->SendMail(message);
  client_->CloseConnection();
  EXPECT_THAT(server_.Finish(), IsEmpty());
  EXPECT_THAT(server_.Captured(), ElementsAre("Subject: x", "", "body", "Subject: x",
                                              "X-Mailer: Mailferry 1.00", "", "body"));
}

TEST_F(SmtpTest, AnUnsafeEnvelopeAddressIsRefusedBeforeAnythingIsSent) {
  const MailEnvelope kCases[] = {
      {"s@x\r\nRCPT TO:<evil@z>", {"r@y"}, {}, {}},
      {"s@x", {"r@y\n"}, {}, {}},
      {"s@x", {}, {std::string("c@y\0z", 5)}, {}},
      {"s@x", {}, {}, {"b@y\rDATA"}},
  };
  Hello().Expect("QUIT").AwaitClose();
  Open();
  for (const auto& envelope : kCases) {
    RawMessage message(envelope, {"Subject: x"});
    EXPECT_THAT(MessageOf<EMfUnsafeAddress>([&] { client_->SendMail(message); }),
                ::testing::StartsWith("Envelope address holds CR, LF or NUL: "));
  }
  EXPECT_TRUE(client_->IsConnected());
  client_->CloseConnection();
}

TEST_F(SmtpTest, RecordsTheAnnouncedAuthSchemesAndLogsInWhenAsked) {
  server_.Accept()
      .SendLine("220 mx")
      .Expect("EHLO relay")
      .Send("250-mx\r\n250-AUTH PLAIN LOGIN\r\n250-AUTH=LOGIN  CRAM-MD5\r\n250 auth=plain\r\n")
      .Expect("RSET")
      .SendLine("250 ok")
      .Expect("AUTH LOGIN")
      .SendLine("334 VXNlcm5hbWU6")
      .Expect("YW5uYQ==")
      .SendLine("334 UGFzc3dvcmQ6")
      .Expect("c2VjcmV0MQ==")
      .SendLine("235 authenticated")
      .Expect("MAIL FROM:<s@x>")
      .SendLine("250 ok")
      .Expect("DATA")
      .SendLine("354 go")
      .CaptureUntil(".")
      .SendLine("250 ok")
      .Expect("QUIT")
      .AwaitClose();
  client_->SetAuthenticationType(atLogin);
  client_->SetUsername("anna");
  client_->SetPassword("secret1");
  Open();
  EXPECT_THAT(client_->AuthSchemes(), ElementsAre("PLAIN", "LOGIN", "CRAM-MD5"));
  RawMessage message({"s@x", {}, {}, {}}, {"Subject: x"});
  client_->SendMail(message);
  EXPECT_TRUE(client_->Authenticated());
  client_->CloseConnection();
  EXPECT_FALSE(client_->Authenticated());
}

TEST_F(SmtpTest, AServerThatClosesDuringTheTransactionEndsItWithoutQuit) {
  Hello().Expect("RSET").SendLine("250 ok").Expect("MAIL FROM:<s@x>").Send("25").Close();
  Open();
  RawMessage message({"s@x", {"r@y"}, {}, {}}, {"Subject: x"});
  EXPECT_THROW(client_->SendMail(message), EMfConnClosedGracefully);
  client_->CloseConnection();  // sees the close: no QUIT, nothing raised
}

}  // namespace
}  // namespace mailferry
