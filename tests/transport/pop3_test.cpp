#include "transport/pop3.h"

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

class Pop3Test : public ::testing::Test {
 protected:
  void TearDown() override {
    client_.reset();
    EXPECT_THAT(server_.Finish(), IsEmpty());
  }

  // The server's side of a login as "anna" with "secret".
  ScriptedServer& Login(const std::string& greeting = "+OK POP3 ready") {
    return server_.Accept()
        .SendLine(greeting)
        .Expect("USER anna")
        .SendLine("+OK")
        .Expect("PASS secret")
        .SendLine("+OK logged in");
  }

  void Open() {
    server_.Start();
    client_->SetHost("127.0.0.1");
    client_->SetPort(server_.port());
    client_->SetUsername("anna");
    client_->SetPassword("secret");
    client_->OpenConnection();
  }

  FakeSocketStack stack_;
  std::unique_ptr<SocketLayer> layer_ = stack_.MakeLayer();
  ScriptedServer server_;
  std::unique_ptr<TMfPOP3> client_ = std::make_unique<TMfPOP3>(*layer_);
};

TEST_F(Pop3Test, PresetsTheStandardPort) {
  EXPECT_EQ(client_->Port(), 110);
  server_.Start();
}

TEST_F(Pop3Test, LogsInWithUserAndPassAndQuitsOnClose) {
  Login().Expect("QUIT").AwaitClose();
  Open();
  EXPECT_TRUE(client_->IsConnected());
  client_->CloseConnection();
  EXPECT_EQ(client_->Socket(), nullptr);
}

TEST_F(Pop3Test, AGreetingInLowerCaseIsAccepted) {
  Login("+ok ready").Expect("QUIT").AwaitClose();
  Open();
  EXPECT_EQ(client_->LastCmdResult().NumericCode(), 1);
  EXPECT_EQ(client_->LastCmdResult().TextCode(), "1");
  client_->CloseConnection();
}

// Every failing greeting ends in its exception, after QUIT and close when the socket was still
// open, and leaves the client closed.
struct BadGreeting {
  const char* name;
  std::string sent;  // what the server sends before it waits for QUIT
  bool server_closes;
  std::string message;
};

class Pop3BadGreetingTest : public Pop3Test, public ::testing::WithParamInterface<BadGreeting> {};

TEST_P(Pop3BadGreetingTest, EndsInItsExceptionAndClosesTheClient) {
  const BadGreeting& c = GetParam();
  server_.Accept().Send(c.sent);
  if (c.server_closes) {
    server_.Close();
  } else {
    server_.Expect("QUIT").AwaitClose();
  }
  server_.Start();
  client_->SetHost("127.0.0.1");
  client_->SetPort(server_.port());
  client_->SetSilentServerBound(std::chrono::milliseconds(100));
  EXPECT_EQ(MessageOf<EMfException>([&] { client_->OpenConnection(); }), c.message);
  EXPECT_EQ(client_->Socket(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Greetings, Pop3BadGreetingTest,
    ::testing::Values(
        BadGreeting{"Okay", "+OKAY\r\n", false, "Unrecognized POP3 Response Header:\n\"Y\r\n\""},
        BadGreeting{"NoCode", "hello world\r\n", false,
                    "Unrecognized POP3 Response Header:\n\"o world\r\n\""},
        BadGreeting{"Refused", "-ERR go away\r\n", false, " go away\r\n"},
        BadGreeting{"Oversized", std::string(20000, 'x') + "\r\n", false,
                    "Max line length exceeded."},
        BadGreeting{"Silent", "", false, "Read Timeout"},
        BadGreeting{"ClosedAtOnce", "", true, "Connection Closed Gracefully."},
        BadGreeting{"ClosedMidLine", "+OK rea", true, "Connection Closed Gracefully."}),
    [](const auto& info) { return info.param.name; });

TEST_F(Pop3Test, ARefusedPasswordQuitsClosesAndRaisesTheReply) {
  server_.Accept()
      .SendLine("+OK")
      .Expect("USER anna")
      .SendLine("+OK")
      .Expect("PASS secret")
      .SendLine("-ERR [AUTH] Authentication failed.")
      .Expect("QUIT")
      .AwaitClose();
  server_.Start();
  client_->SetHost("127.0.0.1");
  client_->SetPort(server_.port());
  client_->SetUsername("anna");
  client_->SetPassword("secret");
  try {
    client_->OpenConnection();
    FAIL() << "login accepted";
  } catch (const EMfProtocolReplyError& e) {
    EXPECT_STREQ(e.what(), " [AUTH] Authentication failed.\r\n");
    EXPECT_EQ(e.ReplyErrorCode(), 2);
  }
  EXPECT_EQ(client_->Socket(), nullptr);
}

TEST_F(Pop3Test, OpeningAnOpenClientChangesNothingAndSendsNoQuit) {
  Login().Expect("NOOP").SendLine("+OK").Expect("QUIT").AwaitClose();
  Open();
  EXPECT_THROW(client_->OpenConnection(), EMfAlreadyConnected);
  EXPECT_EQ(client_->SendCommand("NOOP", 1), 1);
  client_->CloseConnection();
}

TEST_F(Pop3Test, ApopSendsTheDigestOfTimestampAndPassword) {
  server_.Accept()
      .SendLine("+OK POP3 server ready <1896.697170952@dbc.mindspring.com>")
      .Expect("APOP mrose 3bb2a25fc1387c60fe0f855905965be0")
      .SendLine("+OK maildrop has 1 message (369 octets)")
      .Expect("QUIT")
      .AwaitClose();
  server_.Start();
  client_->SetHost("127.0.0.1");
  client_->SetPort(server_.port());
  client_->SetUsername("mrose");
  client_->SetPassword("tanstaaf");
  client_->SetAPOP(true);
  client_->OpenConnection();
  client_->CloseConnection();
}

TEST_F(Pop3Test, ApopWithoutATimestampQuitsAndRaises) {
  for (const char* greeting : {"+OK ready >x<", "+OK ready <no end"}) {
    server_.Accept().SendLine(greeting).Expect("QUIT").AwaitClose();
  }
  server_.Start();
  client_->SetHost("127.0.0.1");
  client_->SetPort(server_.port());
  client_->SetAPOP(true);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(MessageOf<EMfException>([&] { client_->OpenConnection(); }),
              "Server do not support APOP (no timestamp)");
  }
}

TEST_F(Pop3Test, CountMessagesReadsTheStatReply) {
  const struct {
    const char* reply;
    int count;
    const char* error;
  } kCases[] = {
      {"+OK 3 1200", 3, nullptr},
      {"+OK 0 0", 0, nullptr},
      {"+OK", 0, nullptr},
      {"+OK 5", 0, "'' is not a valid integer value"},
      {"+OK x 10", 0, "'x' is not a valid integer value"},
      {"-ERR busy", 0, " busy\r\n"},
  };
  ScriptedServer& script = Login();
  for (const auto& c : kCases) script.Expect("STAT").SendLine(c.reply);
  script.Expect("QUIT").AwaitClose();
  Open();
  for (const auto& c : kCases) {
    if (c.error == nullptr) {
      EXPECT_EQ(client_->CountMessages(), c.count) << c.reply;
    } else {
      EXPECT_EQ(MessageOf<EMfException>([&] { client_->CountMessages(); }), c.error) << c.reply;
    }
  }
  client_->CloseConnection();
}

TEST_F(Pop3Test, RetrieveHandsTheLinesToTheMessage) {
  Login()
      .Expect("RETR 2")
      .Send("+OK 120 octets\r\nSubject: hi\r\n\r\nbody\r\n..dot\r\n.\r\n")
      .Expect("RETR 1")
      .Send("+OK\r\nSubject: no body\r\n.\r\n")
      .Expect("QUIT")
      .AwaitClose();
  Open();
  RawMessage message;
  EXPECT_TRUE(client_->RetrieveMessage(2, message));
  EXPECT_THAT(message.lines(), ElementsAre("Subject: hi", "", "body", "..dot"));
  RawMessage header_only;
  EXPECT_TRUE(client_->RetrieveMessage(1, header_only));
  EXPECT_THAT(header_only.lines(), ElementsAre("Subject: no body"));
  EXPECT_FALSE(client_->RetrievalPending());
  client_->CloseConnection();
}

TEST_F(Pop3Test, ARefusedRetrievalReturnsFalseAndLeavesTheMessage) {
  Login()
      .Expect("RETR 9")
      .SendLine("-ERR no such message")
      .Expect("STAT")
      .SendLine("+OK 1 10")
      .Expect("QUIT")
      .AwaitClose();
  Open();
  RawMessage message({}, {"as passed"});
  EXPECT_FALSE(client_->RetrieveMessage(9, message));
  EXPECT_THAT(message.lines(), ElementsAre("as passed"));
  EXPECT_EQ(client_->CountMessages(), 1);
  client_->CloseConnection();
}

TEST_F(Pop3Test, DeleteReturnsTrueOrRaisesTheRefusal) {
  Login()
      .Expect("DELE 3")
      .SendLine("+OK deleted")
      .Expect("DELE 4")
      .SendLine("-ERR message 4 already deleted")
      .Expect("QUIT")
      .AwaitClose();
  Open();
  EXPECT_TRUE(client_->DeleteMessage(3));
  EXPECT_EQ(MessageOf<EMfProtocolReplyError>([&] { client_->DeleteMessage(4); }),
            " message 4 already deleted\r\n");
  // A refused command leaves the conversation open.
  EXPECT_TRUE(client_->IsConnected());
  client_->CloseConnection();
}

TEST_F(Pop3Test, UniqueIdsListsNumbersAndIds) {
  Login()
      .Expect("UIDL")
      .Send("+OK\r\n1 whqtswO00WBw418f9t5JxYwZ\r\n2 QhdPYR:00WBw1Ph7x7\r\nbroken\r\nx y\r\n.\r\n")
      .Expect("UIDL")
      .SendLine("-ERR unknown command")
      .Expect("QUIT")
      .AwaitClose();
  Open();
  const auto ids = client_->UniqueIds();
  EXPECT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids.at(1), "whqtswO00WBw418f9t5JxYwZ");
  EXPECT_EQ(ids.at(2), "QhdPYR:00WBw1Ph7x7");
  EXPECT_THAT(client_->UniqueIds(), IsEmpty());
  client_->CloseConnection();
}

// A message that fails while it reads, as a message that cannot be parsed would.
class FailingMessage : public MessageReader {
 public:
  explicit FailingMessage(int lines_before_failure) : lines_(lines_before_failure) {}
  void ReceiveMessage(TMfTCPConnection& connection) override {
    for (int i = 0; i < lines_; ++i) connection.ReadLine();
    throw EMfException("@ Outside address");
  }

 private:
  int lines_;
};

TEST_F(Pop3Test, AMessageThatCannotBeReadIsDrainedAndTheConversationGoesOn) {
  Login()
      .Expect("RETR 3")
      .Send("+OK\r\nFrom: x\r\n")
      .SendRepeated(std::string(1000, 'b'), 100)  // a 100000-byte line
      .Send("\r\n..\r\n.\r\n")
      .Expect("RETR 2")
      .Send("+OK\r\nTo: y\r\n\r\nbody\r\n.\r\n")
      .Expect("DELE 1")
      .SendLine("+OK")
      .Expect("QUIT")
      .AwaitClose();
  Open();
  RawMessage too_long;
  EXPECT_THROW(client_->RetrieveMessage(3, too_long), EMfReadLnMaxLineLengthExceeded);
  EXPECT_TRUE(client_->RetrievalPending());
  client_->DrainMessage();
  EXPECT_FALSE(client_->RetrievalPending());
  FailingMessage unparsable(1);
  EXPECT_THROW(client_->RetrieveMessage(2, unparsable), EMfException);
  client_->DrainMessage();
  EXPECT_TRUE(client_->DeleteMessage(1));
  client_->CloseConnection();
}

TEST_F(Pop3Test, AFailureAfterTheEndLineLeavesNothingToDrain) {
  Login()
      .Expect("RETR 1")
      .Send("+OK\r\nFrom: x\r\n.\r\n")
      .Expect("STAT")
      .SendLine("+OK 0 0")
      .Expect("QUIT")
      .AwaitClose();
  Open();
  FailingMessage fails_after_end(2);
  EXPECT_THROW(client_->RetrieveMessage(1, fails_after_end), EMfException);
  EXPECT_FALSE(client_->RetrievalPending());
  client_->DrainMessage();  // must not wait for lines that never come
  EXPECT_EQ(client_->CountMessages(), 0);
  client_->CloseConnection();
}

TEST_F(Pop3Test, AServerThatClosesMidMessageEndsTheConversationWithoutQuit) {
  Login().Expect("RETR 1").Send("+OK\r\nSubject: cut\r\nbod").Close();
  Open();
  RawMessage message;
  EXPECT_EQ(MessageOf<EMfConnClosedGracefully>([&] { client_->RetrieveMessage(1, message); }),
            "Connection Closed Gracefully.");
  EXPECT_FALSE(client_->IsConnected());
  // The close was already seen: no QUIT and nothing raised.
  client_->CloseConnection();
  EXPECT_EQ(client_->Socket(), nullptr);
}

TEST_F(Pop3Test, AFailingQuitStillClosesAndThenRaises) {
  Login().AwaitClose();
  Open();
  stack_.FailSend(10054);
  EXPECT_THROW(client_->CloseConnection(), EMfSocketError);
  EXPECT_EQ(client_->Socket(), nullptr);
}

}  // namespace
}  // namespace mailferry
