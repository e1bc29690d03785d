// The message as the scan run uses it: retrieved by the POP3 client, marked and re-addressed,
// and sent by the SMTP client, over real loopback connections.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message/message.h"
#include "support/fake_socket_stack.h"
#include "support/memory_connection.h"
#include "support/message_ports.h"
#include "support/scripted_server.h"
#include "transport/pop3.h"
#include "transport/smtp.h"

namespace mailferry {
namespace {

using ::testing::Contains;
using ::testing::IsEmpty;
using ::testing::Not;
using testing::ScriptedServer;

constexpr const char* kMessage =
    "Received: from mx.remote.example\n"
    "From: Anna <anna@remote.example>\n"
    "To: office@remote.example\n"
    "Cc: boss@remote.example\n"
    "Subject: Report\n"
    "MIME-Version: 1.0\n"
    "Content-Type: multipart/mixed; boundary=b1\n"
    "\n"
    "--b1\n"
    "Content-Type: text/plain\n"
    "\n"
    ".first line starts with a dot\n"
    "--b1\n"
    "Content-Type: application/octet-stream; name=r.bin\n"
    "Content-Transfer-Encoding: base64\n"
    "\n"
    "AAEC\n"
    "--b1--\n";

class MessageTransferTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_THAT(server_.Finish(), IsEmpty()); }

  testing::FakeSocketStack stack_;
  std::unique_ptr<SocketLayer> layer_ = stack_.MakeLayer();
  ScriptedServer server_;
  testing::TestMessagePorts ports_;
  TMfMessage message_{ports_.ports()};
};

TEST_F(MessageTransferTest, RetrievedMessageIsSentWithItsPartsAndTheMarker) {
  server_.Accept()
      .SendLine("+OK ready")
      .Expect("USER anna")
      .SendLine("+OK")
      .Expect("PASS secret")
      .SendLine("+OK")
      .Expect("RETR 1")
      .SendLine("+OK")
      .Send(testing::Pop3Retrieval(kMessage))
      .Expect("QUIT")
      .AwaitClose()
      .Accept()
      .SendLine("220 mx")
      .Expect("EHLO relay")
      .SendLine("250 mx")
      .Expect("RSET")
      .SendLine("250 ok")
      .Expect("MAIL FROM:<anna@remote.example>")
      .SendLine("250 ok")
      .Expect("RCPT TO:<office@local.example>")
      .SendLine("250 ok")
      .Expect("RCPT TO:<boss@remote.example>")
      .SendLine("250 ok")
      .Expect("DATA")
      .SendLine("354 go ahead")
      .CaptureUntil(".")
      .SendLine("250 queued")
      .Expect("QUIT")
      .AwaitClose();
  server_.Start();

  TMfPOP3 pop3(*layer_);
  pop3.SetHost("127.0.0.1");
  pop3.SetPort(server_.port());
  pop3.SetUsername("anna");
  pop3.SetPassword("secret");
  pop3.OpenConnection();
  message_.Clear();
  EXPECT_TRUE(pop3.RetrieveMessage(1, message_));
  pop3.CloseConnection();
  ASSERT_EQ(message_.MessageParts().Count(), 2);

  message_.Headers().Add("X-POP3-Connector: Mailferry V1.0");
  message_.Recipients()[0].SetText("office@local.example");
  message_.SetExtraHeader("X-Mailer", "left over");
  TMfSMTP smtp(*layer_);
  smtp.SetHost("127.0.0.1");
  smtp.SetPort(server_.port());
  smtp.SetHeloName("relay");
  smtp.OpenConnection();
  smtp.SendMail(message_);
  smtp.CloseConnection();

  EXPECT_THAT(server_.Finish(), IsEmpty());
  const std::vector<std::string> sent = server_.Captured();
  EXPECT_THAT(sent, Contains("X-POP3-Connector: Mailferry V1.0"));
  EXPECT_THAT(sent, Contains("To: office@local.example"));
  EXPECT_THAT(sent, Contains("..first line starts with a dot"));
  EXPECT_THAT(sent, Contains("        filename=\"r.bin\""));
  EXPECT_THAT(sent, Contains("AAEC"));
  EXPECT_THAT(sent, Not(Contains(::testing::HasSubstr("X-Mailer"))));
}

TEST_F(MessageTransferTest, UnreadableMessageIsDrainedAndTheMailboxConversationGoesOn) {
  server_.Accept()
      .SendLine("+OK ready")
      .Expect("USER anna")
      .SendLine("+OK")
      .Expect("PASS secret")
      .SendLine("+OK")
      .Expect("RETR 2")
      .SendLine("+OK")
      .Send(testing::Pop3Retrieval("Subject: x\n\nbegin 644 a.bin\nnot uuencoded\nmore\nend\n"))
      .Expect("RETR 1")
      .SendLine("+OK")
      .Send(testing::Pop3Retrieval("Subject: fine\n\nbody\n"))
      .Expect("QUIT")
      .AwaitClose();
  server_.Start();
  TMfPOP3 pop3(*layer_);
  pop3.SetHost("127.0.0.1");
  pop3.SetPort(server_.port());
  pop3.SetUsername("anna");
  pop3.SetPassword("secret");
  pop3.OpenConnection();
  message_.Clear();
  EXPECT_THROW(pop3.RetrieveMessage(2, message_), EMfException);
  EXPECT_TRUE(pop3.RetrievalPending());
  pop3.DrainMessage();
  message_.Clear();
  EXPECT_TRUE(pop3.RetrieveMessage(1, message_));
  EXPECT_EQ(message_.Subject(), "fine");
  pop3.CloseConnection();
}

}  // namespace
}  // namespace mailferry
