#include "transport/tcp_connection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <sstream>

#include "support/error_text.h"
#include "support/fake_socket_stack.h"
#include "support/scripted_server.h"
#include "transport/tcp_client.h"
#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

using ::testing::ElementsAre;
using testing::FakeSocketStack;
using ::testing::IsEmpty;
using testing::ScriptedServer;

using testing::MessageOf;

class LineConnectionTest : public ::testing::Test {
 protected:
  void TearDown() override {
    client_.reset();
    EXPECT_THAT(server_.Finish(), IsEmpty());
  }

  // Starts the scripted server and connects the client to it.
  void Connect() {
    server_.Start();
    client_->SetHost("127.0.0.1");
    client_->SetPort(server_.port());
    client_->OpenConnection();
  }

  FakeSocketStack stack_;
  std::unique_ptr<SocketLayer> layer_ = stack_.MakeLayer();
  ScriptedServer server_;
  std::unique_ptr<TMfTCPClient> client_ = std::make_unique<TMfTCPClient>(*layer_);
};

TEST_F(LineConnectionTest, LineEndsAreCutAndALoneCrStays) {
  server_.Accept().Send("abc\r\nabc\na\rb\n\r\n\nlast\r\n").AwaitClose();
  Connect();
  std::vector<std::string> lines;
  for (int i = 0; i < 6; ++i) lines.push_back(client_->ReadLine());
  EXPECT_THAT(lines, ElementsAre("abc", "abc", "a\rb", "", "", "last"));
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, BytesOfAnyValueStayInTheLine) {
  server_.Accept().Send(std::string("a\0b\xff\r\n", 6)).AwaitClose();
  Connect();
  EXPECT_EQ(client_->ReadLine(), std::string("a\0b\xff", 4));
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, ALineUpToTheMaximumLengthIsReturnedOneMoreByteIsTooLong) {
  const std::string longest(16384, 'x');
  const std::string with_cr(16383, 'y');
  server_.Accept()
      .Send(longest + "\n")
      .Send(with_cr + "\r\n")
      .Send(longest + "z\n")
      .Expect("still usable")
      .AwaitClose();
  Connect();
  EXPECT_EQ(client_->ReadLine(), longest);
  EXPECT_EQ(client_->ReadLine(), with_cr);
  EXPECT_EQ(MessageOf<EMfReadLnMaxLineLengthExceeded>([&] { client_->ReadLine(); }),
            "Max line length exceeded.");
  // The over-long line stays unread and the socket open.
  EXPECT_TRUE(client_->IsConnected());
  EXPECT_GE(client_->InputBufferSize(), 16386u);
  client_->WriteLine("still usable");
  client_->SetMaxLineAction(maSplit);
  EXPECT_EQ(client_->ReadLine(), longest);
  EXPECT_EQ(client_->ReadLine(), "z");
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, ACrBeforeTheLfCountsTowardsTheLength) {
  server_.Accept().Send(std::string(16384, 'x') + "\r\n").AwaitClose();
  Connect();
  EXPECT_THROW(client_->ReadLine(), EMfReadLnMaxLineLengthExceeded);
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, AnEndlessLineIsRefusedWithBoundedMemory) {
  // A megabyte without a line end: refused long before all of it is held.
  server_.Accept().Flood(std::string(4096, 'q'), 256).Close();
  Connect();
  EXPECT_THROW(client_->ReadLine(), EMfReadLnMaxLineLengthExceeded);
  EXPECT_LE(client_->InputBufferSize(), 16384u + 32768u);
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, MaximumLengthZeroMeansNoLimit) {
  const std::string line(100000, 'm');
  server_.Accept().Send(line + "\r\n").AwaitClose();
  Connect();
  EXPECT_EQ(client_->ReadLine("\n", -1, 0), line);
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, OtherTerminatorsAreFoundAcrossReceives) {
  // The terminator arrives split over two sends.
  server_.Accept().Send("one||two|").Send("|three").AwaitClose();
  Connect();
  EXPECT_EQ(client_->ReadLine("||"), "one");
  EXPECT_EQ(client_->ReadLine("||"), "two");
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, AFinalLineWithoutLfIsNotReturnedWhenThePeerCloses) {
  server_.Accept().Send("abc").Close();
  Connect();
  EXPECT_EQ(MessageOf<EMfConnClosedGracefully>([&] { client_->ReadLine(); }),
            "Connection Closed Gracefully.");
  // Closed with the holder kept: not connected, and later reads say so again.
  EXPECT_FALSE(client_->IsConnected());
  EXPECT_NE(client_->Socket(), nullptr);
  EXPECT_THROW(client_->ReadLine(), EMfConnClosedGracefully);
}

TEST_F(LineConnectionTest, LinesBeforeThePeersCloseAreStillRead) {
  server_.Accept().Send("one\r\ntwo\r\n").Close();
  Connect();
  EXPECT_EQ(client_->ReadLine(), "one");
  EXPECT_EQ(client_->ReadLine(), "two");
  EXPECT_THROW(client_->ReadLine(), EMfConnClosedGracefully);
}

TEST_F(LineConnectionTest, ASilentServerEndsTheWaitAtTheBoundAndTheSocketStaysOpen) {
  server_.Accept().AwaitClose();
  Connect();
  client_->SetSilentServerBound(std::chrono::milliseconds(50));
  EXPECT_EQ(MessageOf<EMfReadTimeout>([&] { client_->ReadLine(); }), "Read Timeout");
  EXPECT_TRUE(client_->IsConnected());
  // An explicit limit that expires gives an empty line instead.
  EXPECT_EQ(client_->ReadLine("\n", 20), "");
  // A read time-out of its own raises when it expires.
  client_->SetReadTimeout(20);
  EXPECT_THROW(client_->ReadLine(), EMfReadTimeout);
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, TheSilentServerBoundIsTenMinutes) {
  EXPECT_EQ(client_->SilentServerBound(), std::chrono::minutes(10));
  server_.Start();
}

TEST_F(LineConnectionTest, RepliesSkipBlankLinesAndReadContinuations) {
  server_.Accept()
      .Send("\r\n  \r\n220 ready\r\n")
      .Send("250-first\r\n250-SECOND\r\n251-other code\r\n250 last\r\n")
      .Send("250-a\r\n25\r\n")
      .Send("250-x\r\n250 LAST\r\n")
      .AwaitClose();
  Connect();
  client_->ReadReply();
  EXPECT_EQ(client_->LastCmdResult().NumericCode(), 220);
  EXPECT_THAT(client_->LastCmdResult().Text(), ElementsAre("ready"));
  client_->ReadReply();
  EXPECT_EQ(client_->LastCmdResult().NumericCode(), 250);
  EXPECT_THAT(client_->LastCmdResult().Text(),
              ElementsAre("first", "SECOND", "other code", "last"));
  // A line shorter than four characters ends a continued reply too.
  client_->ReadReply();
  EXPECT_THAT(client_->LastCmdResult().Text(), ElementsAre("a", ""));
  client_->ReadReply();
  EXPECT_THAT(client_->LastCmdResult().Text(), ElementsAre("x", "LAST"));
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, ARefusedReplyRaisesWithItsCodeAndKeepsTheSocketOpen) {
  server_.Accept()
      .Expect("MAIL FROM:<a@b>")
      .Send("550-no such\r\n550 user here\r\n")
      .Close();  // closed by the server, but nothing reads that
  Connect();
  try {
    client_->SendCommand("MAIL FROM:<a@b>", {250, 251});
    FAIL() << "refused reply accepted";
  } catch (const EMfProtocolReplyError& e) {
    EXPECT_STREQ(e.what(), "no such\r\nuser here\r\n");
    EXPECT_EQ(e.ReplyErrorCode(), 550);
  }
  EXPECT_EQ(MessageOf<EMfAlreadyConnected>([&] { client_->OpenConnection(); }),
            "Already connected.");
  EXPECT_NE(client_->Socket(), nullptr);
  EXPECT_TRUE(client_->Socket()->Connected());
  EXPECT_EQ(stack_.closes(), 0);
}

TEST_F(LineConnectionTest, ReplyCodesAreComparedAsSixteenBitValues) {
  server_.Accept().Send("250 ok\r\n").Send("250 ok\r\n").AwaitClose();
  Connect();
  EXPECT_EQ(client_->AwaitReply(250 + 65536), 250);
  EXPECT_EQ(client_->AwaitReply(kAnyReply), 250);
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, AfterThePeersCloseWasReadANewConnectionStartsAfresh) {
  server_.Accept().Send("old\r\nunread\r\npartial").Close();
  server_.Accept().Send("fresh\r\n").AwaitClose();
  Connect();
  EXPECT_EQ(client_->ReadLine(), "old");
  // Read everything there is, so that the close is seen.
  client_->ReadLine();
  EXPECT_THROW(client_->ReadLine(), EMfConnClosedGracefully);
  client_->OpenConnection();
  EXPECT_TRUE(client_->IsConnected());
  EXPECT_EQ(client_->ReadLine(), "fresh");
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, OutputIsCollectedAndSentBeforeTheReplyIsAwaited) {
  server_.Accept()
      .Expect("EHLO me")
      .Expect("MAIL FROM:<>")
      .Expect("RCPT TO:<x@y>")
      .Send("250 ok\r\n")
      .AwaitClose();
  Connect();
  client_->WriteLine("EHLO me");
  client_->WriteLines({"MAIL FROM:<>", "RCPT TO:<x@y>"});
  EXPECT_TRUE(stack_.send_sizes().empty());
  client_->AwaitReply(250);
  EXPECT_THAT(stack_.send_sizes(), ElementsAre(9 + 14 + 15));
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, LargeOutputLeavesInLargeBlocksWithEveryByteInOrder) {
  std::vector<std::string> lines;
  for (int i = 0; i < 5000; ++i) lines.push_back("line " + std::to_string(i));
  server_.Accept().CaptureUntil(".").AwaitClose();
  Connect();
  client_->WriteLines(lines);
  client_->WriteLine(".");
  client_->Flush();
  client_->CloseConnection();
  EXPECT_THAT(server_.Finish(), IsEmpty());
  EXPECT_EQ(server_.Captured(), lines);
  const auto sizes = stack_.send_sizes();
  const std::size_t total = std::accumulate(sizes.begin(), sizes.end(), std::size_t{0});
  EXPECT_LE(sizes.size(), total / 32768 + 1);
}

TEST_F(LineConnectionTest, CaptureLinesUndoesDotStuffingUpToTheDelimiter) {
  server_.Accept()
      .Send("one\r\n..two\r\n.three\r\n\r\n.\r\n")
      .Send("x\r\n..y\r\n.\r\n")
      .Send("skip\r\n.\r\nafter\r\n")
      .AwaitClose();
  Connect();
  std::vector<std::string> lines;
  EXPECT_EQ(client_->CaptureLines(&lines), 4);
  EXPECT_THAT(lines, ElementsAre("one", ".two", ".three", ""));
  std::ostringstream stream;
  EXPECT_EQ(client_->CaptureLines(&stream, ".", false), 2);
  EXPECT_EQ(stream.str(), "x\r\n..y\r\n");
  EXPECT_EQ(client_->CaptureLines(static_cast<std::vector<std::string>*>(nullptr)), 1);
  EXPECT_EQ(client_->ReadLine(), "after");
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, SkippingPassesLinesOfAnyLength) {
  server_.Accept()
      .Send("short\r\n")
      .SendRepeated(std::string(1000, 'L'), 200)  // one line of 200000 bytes
      .Send("\r\n")
      .Send(std::string(32768, 'n') + ".\r\n")  // a "." that does not start a line
      .Send("..\r\n.\r\n+OK next\r\n")
      .AwaitClose();
  Connect();
  EXPECT_EQ(client_->SkipLinesThrough("."), 4);
  EXPECT_LE(client_->InputBufferSize(), 32768u * 2);
  EXPECT_EQ(client_->ReadLine(), "+OK next");
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, WriteStreamSendsItAllOrRaisesWhenItRunsDry) {
  std::string data;
  for (int i = 0; i < 20000; ++i) data += "row " + std::to_string(i) + "\r\n";
  server_.Accept().CaptureUntil("end").Expect("abc").AwaitClose();
  Connect();
  std::istringstream stream(data + "end\r\n");
  client_->WriteStream(stream);
  std::istringstream short_stream("abc\r\n");
  EXPECT_EQ(MessageOf<EMfNoDataToRead>([&] { client_->WriteStream(short_stream, 10); }),
            "No data to read.");
  client_->CloseConnection();
  EXPECT_THAT(server_.Finish(), IsEmpty());
  EXPECT_EQ(server_.Captured().size(), 20000u);
  EXPECT_EQ(server_.Captured().back(), "row 19999");
}

TEST_F(LineConnectionTest, WithoutAConnectionReadsAndWritesSayNotConnected) {
  server_.Start();
  client_->CloseConnection();  // never opened: nothing happens
  EXPECT_EQ(client_->Socket(), nullptr);
  EXPECT_FALSE(client_->IsConnected());
  EXPECT_EQ(MessageOf<EMfNotConnected>([&] { client_->ReadLine(); }), "Not Connected");
  EXPECT_EQ(MessageOf<EMfNotConnected>([&] { client_->WriteLine("x"); }), "Not Connected");
  client_->WriteBytes("", 0);  // nothing to write: no check at all
}

// Failures inside OpenConnection drop the socket and leave the holder for the next attempt.
TEST_F(LineConnectionTest, OpenConnectionFailuresCarryTheirExactTexts) {
  server_.Accept().SendLine("hello").AwaitClose();
  server_.Start();
  client_->SetHost("127.0.0.1");
  client_->SetPort(server_.port());

  stack_.set_create_error(10024);
  EXPECT_EQ(MessageOf<EMfInvalidSocket>([&] { client_->OpenConnection(); }),
            "Cannot allocate socket.");
  stack_.set_create_error(0);

  stack_.set_bind_error(10048);
  client_->SetBoundPort(1);
  EXPECT_EQ(MessageOf<EMfCouldNotBindSocket>([&] { client_->OpenConnection(); }),
            "Could not bind socket. Address and port are already in use.");
  stack_.set_bind_error(10013);
  EXPECT_EQ(MessageOf<EMfSocketError>([&] { client_->OpenConnection(); }),
            "Socket Error # 10013\r\nAccess denied.");
  stack_.set_bind_error(0);
  client_->SetBoundPort(0);

  stack_.set_connect_error(10060);
  EXPECT_EQ(MessageOf<EMfSocketError>([&] { client_->OpenConnection(); }),
            "Socket Error # 10060\r\nConnection timed out.");
  stack_.set_connect_error(0);

  client_->SetHost("no-such-host.invalid");
  stack_.FailResolve("no-such-host.invalid", 11001);
  EXPECT_EQ(MessageOf<EMfSocketError>([&] { client_->OpenConnection(); }),
            "Socket Error # 11001\r\nHost not found.");
  EXPECT_NE(client_->Socket(), nullptr);
  EXPECT_FALSE(client_->IsConnected());

  client_->SetHost("127.0.0.1");
  client_->OpenConnection();
  EXPECT_EQ(client_->ReadLine(), "hello");
  EXPECT_EQ(client_->Socket()->Binding().Peer().ip, "127.0.0.1");
  EXPECT_EQ(client_->Socket()->Binding().Peer().port, server_.port());
  EXPECT_GT(client_->Socket()->Binding().Local().port, 0);
  client_->CloseConnection();
}

TEST_F(LineConnectionTest, ARefusedConnectionIsReportedByTheSystem) {
  server_.Start();
  client_->SetHost("127.0.0.1");
  // The listener's port while nobody listens there any more cannot be guessed; a fresh
  // server that is closed at once gives a port that refuses.
  int refused_port = 0;
  {
    ScriptedServer gone;
    refused_port = gone.port();
    gone.Start();
  }
  client_->SetPort(refused_port);
  EXPECT_EQ(MessageOf<EMfSocketError>([&] { client_->OpenConnection(); }),
            "Socket Error # 10061\r\nConnection refused.");
}

TEST_F(LineConnectionTest, AConnectWithATimeLimitConnectsOrIsRefused) {
  server_.Accept().SendLine("timed").AwaitClose();
  server_.Start();
  client_->SetHost("127.0.0.1");
  client_->SetPort(server_.port());
  client_->OpenConnection(5000);
  EXPECT_EQ(client_->ReadLine(), "timed");
  client_->CloseConnection();
  int refused_port = 0;
  {
    ScriptedServer gone;
    refused_port = gone.port();
    gone.Start();
  }
  client_->SetPort(refused_port);
  EXPECT_EQ(MessageOf<EMfSocketError>([&] { client_->OpenConnection(5000); }),
            "Socket Error # 10061\r\nConnection refused.");
}

TEST_F(LineConnectionTest, BindingToAPortInUseCannotBind) {
  server_.Start();
  client_->SetHost("127.0.0.1");
  client_->SetPort(server_.port());
  client_->SetBoundIP("127.0.0.1");
  client_->SetBoundPort(server_.port());  // the listener holds it
  EXPECT_THROW(client_->OpenConnection(), EMfCouldNotBindSocket);
}

TEST_F(LineConnectionTest, LocalhostAndDottedQuadsBypassTheResolver) {
  server_.Accept().AwaitClose().Accept().AwaitClose();
  server_.Start();
  client_->SetPort(server_.port());
  client_->SetHost("LocalHost");
  client_->OpenConnection();
  client_->CloseConnection();
  EXPECT_THAT(stack_.resolved_hosts(), IsEmpty());
  // 256 is no dotted-quad field: the text goes to the resolver, which knows it here.
  stack_.AnswerResolve("1.2.3.256", "127.0.0.1");
  client_->SetHost("1.2.3.256");
  client_->OpenConnection();
  client_->CloseConnection();
  EXPECT_THAT(stack_.resolved_hosts(), ElementsAre("1.2.3.256"));
}

TEST(DottedQuadTest, ExactlyFourDecimalFieldsUpTo255) {
  for (const char* yes : {"127.0.0.1", "0.0.0.0", "255.255.255.255", "010.1.1.1"}) {
    EXPECT_TRUE(TMfTCPClient::IsDottedQuad(yes)) << yes;
  }
  for (const char* no : {"1.2.3.256", "1.2.3", "1.2.3.4.5", "1..3.4", "1.2.3.", "a.b.c.d", "",
                         "1.2.3.-4", "localhost", " 1.2.3.4"}) {
    EXPECT_FALSE(TMfTCPClient::IsDottedQuad(no)) << no;
  }
}

TEST_F(LineConnectionTest, ReceiveErrorsThatMeanTheConnectionIsGoneDropTheSocket) {
  const struct {
    SocketErrorCode code;
    bool dropped;
  } kCases[] = {{10054, false}, {10055, false}, {10053, true}, {10058, true}};
  for (int i = 0; i < 4; ++i) server_.Accept().AwaitClose();
  server_.Start();
  client_->SetHost("127.0.0.1");
  client_->SetPort(server_.port());
  for (const auto& c : kCases) {
    client_->OpenConnection();
    stack_.FailReceive(c.code);
    try {
      client_->ReadLine();
      ADD_FAILURE() << "no error for " << c.code;
    } catch (const EMfSocketError& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
    }
    EXPECT_EQ(client_->IsConnected(), !c.dropped) << c.code;
    client_->CloseConnection();
  }
}

TEST_F(LineConnectionTest, AGoneConnectionWithBufferedInputCountsAsClosed) {
  server_.Accept().Send("partial").AwaitClose();
  Connect();
  client_->SetMaxLineAction(maSplit);
  EXPECT_EQ(client_->ReadLine("\n", 2000, 3), "par");  // "tial" now waits in the buffer
  stack_.FailReceive(10058);
  EXPECT_THROW(client_->ReadLine(), EMfConnClosedGracefully);
  EXPECT_FALSE(client_->IsConnected());
}

TEST_F(LineConnectionTest, SendErrorsThatMeanTheConnectionIsGoneDropTheSocket) {
  const struct {
    SocketErrorCode code;
    bool dropped;
  } kCases[] = {{10055, false}, {10054, true}, {10053, true}, {10058, true}};
  for (int i = 0; i < 4; ++i) server_.Accept().AwaitClose();
  server_.Start();
  client_->SetHost("127.0.0.1");
  client_->SetPort(server_.port());
  for (const auto& c : kCases) {
    client_->OpenConnection();
    stack_.FailSend(c.code);
    client_->WriteLine("NOOP");
    try {
      client_->Flush();
      ADD_FAILURE() << "no error for " << c.code;
    } catch (const EMfSocketError& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
    }
    EXPECT_EQ(client_->IsConnected(), !c.dropped) << c.code;
    client_->CloseConnection();
  }
}

TEST_F(LineConnectionTest, ASendOfNothingMeansThePeerClosed) {
  server_.Accept().AwaitClose();
  Connect();
  stack_.FailSend(-1);
  client_->WriteLine("NOOP");
  EXPECT_THROW(client_->Flush(), EMfConnClosedGracefully);
  EXPECT_FALSE(client_->IsConnected());
}

TEST_F(LineConnectionTest, ASendAfterTheSocketWasDroppedSaysDisconnected) {
  server_.Accept().Send("unread\r\n").AwaitClose();
  Connect();
  client_->SetReadTimeout(2000);
  client_->FillInputBuffer(true);  // input waits in the buffer, so the close below raises nothing
  stack_.FailSend(-1);
  client_->WriteLine("NOOP");
  EXPECT_EQ(MessageOf<EMfClosedSocket>([&] { client_->Flush(); }), "Disconnected.");
  EXPECT_FALSE(client_->IsConnected());
  // What had arrived can still be read.
  EXPECT_EQ(client_->ReadLine(), "unread");
}

TEST_F(LineConnectionTest, TheShortProbeNoticesAPendingCloseWithoutRaising) {
  server_.Accept().Close();
  Connect();
  // The probe gives the peer one millisecond; poll until the close has travelled.
  for (int attempt = 0; attempt < 5000 && client_->IsConnected(); ++attempt) {
    client_->CheckForDisconnect();
  }
  EXPECT_FALSE(client_->IsConnected());
}

TEST_F(LineConnectionTest, CloseConnectionSendsPendingOutputAndFreesTheHolder) {
  server_.Accept().Expect("QUIT").AwaitClose();
  Connect();
  client_->WriteLine("QUIT");
  client_->CloseConnection();
  EXPECT_EQ(client_->Socket(), nullptr);
  EXPECT_EQ(stack_.closes(), 1);
}

}  // namespace
}  // namespace mailferry
