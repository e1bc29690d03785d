// TMfHTTP over an in-memory socket stack: the exact request bytes, body framing, the keep-alive
// rule, and broken or hostile responses, all without a network or waiting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/fake_clock.h"
#include "support/memory_socket_stack.h"
#include "transport/http.h"

namespace mailferry {
namespace {

using testing::FakeClock;
using testing::MemorySocketStack;

constexpr char kUrl[] = "http://updates.example.net/Mailferry/TestConnection.html";
constexpr char kOk[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

std::string Repeat(const std::string& text, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += text;
  return result;
}

class HttpFramingTest : public ::testing::Test {
 protected:
  // A peer that answers one request per reply and then keeps the connection open.
  void KeepOpen(std::vector<std::string> replies, std::size_t piece = SIZE_MAX) {
    stack_.AddPeer({std::move(replies), piece, true});
  }
  // A peer that closes the connection after its last reply.
  void CloseAfter(std::vector<std::string> replies, std::size_t piece = SIZE_MAX) {
    stack_.AddPeer({std::move(replies), piece, false});
  }

  MemorySocketStack stack_;
  std::unique_ptr<SocketLayer> layer_ = stack_.MakeLayer();
  FakeClock clock_{45000.5, 0};
  std::unique_ptr<TMfHTTP> client_ = std::make_unique<TMfHTTP>(*layer_, clock_);
};

TEST_F(HttpFramingTest, TheRequestIsOneBlockWithTheHostAloneOnPort80) {
  KeepOpen({kOk});
  EXPECT_EQ(client_->FetchUrl(kUrl), "ok");
  EXPECT_EQ(stack_.Sent(0),
            "GET /Mailferry/TestConnection.html HTTP/1.1\r\n"
            "Content-Type: text/html\r\n"
            "Host: updates.example.net\r\n"
            "Accept: text/html, */*\r\n"
            "User-Agent: Mozilla/3.0 (compatible; Mailferry 1.00)\r\n"
            "\r\n");
  EXPECT_EQ(client_->Host(), "updates.example.net");
  EXPECT_EQ(client_->Port(), 80);
}

TEST_F(HttpFramingTest, NoUrlCanBreakTheRequestLine) {
  KeepOpen({kOk});
  client_->FetchUrl("http://h/a b\r\nX-Injected: 1?q=\xC3\xA9");
  EXPECT_EQ(stack_.Sent(0).substr(0, stack_.Sent(0).find("\r\n")),
            "GET /a%20b%0D%0AX-Injected:%201?q=%C3%A9 HTTP/1.1");
}

TEST_F(HttpFramingTest, ARefusedConnectionRaisesTheSocketError) {
  try {
    client_->FetchUrl(kUrl);
    ADD_FAILURE() << "nothing raised";
  } catch (const EMfSocketError& e) {
    EXPECT_EQ(e.ErrorCode(), 10061);
    EXPECT_STREQ(e.what(), "Socket Error # 10061\r\nConnection refused.");
  }
}

struct BodyCase {
  const char* name;
  std::string response;
  std::string body;
};

class HttpBodyTest : public HttpFramingTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(HttpBodyTest, ReadsTheBodyAsTheResponseFramesIt) {
  // Handed over a few bytes at a time, so every boundary falls between receives somewhere.
  CloseAfter({GetParam().response}, 3);
  EXPECT_EQ(client_->FetchUrl(kUrl), GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(
    Framings, HttpBodyTest,
    ::testing::Values(
        BodyCase{"ContentLength", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello"},
        BodyCase{"ContentLengthWithBlanks", "HTTP/1.1 200 OK\r\nContent-Length:  5 \r\n\r\nhello",
                 "hello"},
        BodyCase{"ContentLengthBeyondTheDataEndsAtTheClose",
                 "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nshort", "short"},
        BodyCase{"ContentLengthZero", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", ""},
        BodyCase{"NegativeContentLengthReadsToTheClose",
                 "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nall of it", "all of it"},
        BodyCase{"UnreadableContentLengthReadsToTheClose",
                 "HTTP/1.1 200 OK\r\nContent-Length: five\r\n\r\nall of it", "all of it"},
        BodyCase{"ContentLengthBeforeChunked",
                 "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n"
                 "abc",
                 "abc"},
        BodyCase{"Chunked",
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                 "4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n",
                 "Wikipedia"},
        BodyCase{"ChunkedInCapitals",
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
                 "abc"},
        BodyCase{"ChunkSizesInUpperAndLowerCaseHex",
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA\r\n0123456789\r\n"
                 "b\r\nabcdefghijk\r\n0\r\n\r\n",
                 "0123456789abcdefghijk"},
        BodyCase{"ChunkExtensionsAreIgnored",
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                 "3;name=value\r\nabc\r\n2 x\r\nde\r\n0\r\n\r\n",
                 "abcde"},
        BodyCase{"ANonHexChunkSizeEndsTheBody",
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                 "3\r\nabc\r\nzz\r\n\r\n",
                 "abc"},
        BodyCase{"ChunkDataMayHoldLineBreaks",
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                 "6\r\na\r\nb\r\n\r\n0\r\n\r\n",
                 "a\r\nb\r\n"},
        BodyCase{"ACloseInsteadOfTheLastLineKeepsTheBody",
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n", "abc"},
        BodyCase{"NoLengthReadsToTheClose", "HTTP/1.1 200 OK\r\n\r\nline 1\r\nline 2\r\n",
                 "line 1\r\nline 2\r\n"},
        BodyCase{"BinaryBytesPassUnchanged",
                 std::string("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n\0\r\n\xFF", 42),
                 std::string("\0\r\n\xFF", 4)},
        BodyCase{"NoBodyFor204", "HTTP/1.1 204 No Content\r\n\r\n", ""},
        BodyCase{"FoldedHeaderValues", "HTTP/1.1 200 OK\r\nContent-Length:\r\n 2\r\n\r\nok", "ok"}),
    [](const auto& info) { return info.param.name; });

struct ReuseCase {
  const char* name;
  std::string head;
  bool reused;
};

class HttpKeepAliveTest : public HttpFramingTest,
                          public ::testing::WithParamInterface<ReuseCase> {};

TEST_P(HttpKeepAliveTest, TheConnectionIsKeptOnlyWhenTheResponseAllowsIt) {
  const std::string first = GetParam().head + "Content-Length: 5\r\n\r\nfirst";
  KeepOpen({first, kOk});
  KeepOpen({kOk});
  EXPECT_EQ(client_->FetchUrl(kUrl), "first");
  EXPECT_EQ(client_->FetchUrl(kUrl), "ok");
  EXPECT_EQ(stack_.connections(), GetParam().reused ? 1 : 2);
  EXPECT_EQ(stack_.Closed(0), !GetParam().reused);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, HttpKeepAliveTest,
    ::testing::Values(
        ReuseCase{"Http11ByDefault", "HTTP/1.1 200 OK\r\n", true},
        ReuseCase{"ConnectionClose", "HTTP/1.1 200 OK\r\nConnection: close\r\n", false},
        ReuseCase{"ConnectionCloseInCapitalsWithBlanks",
                  "HTTP/1.1 200 OK\r\nConnection:   CLOSE  \r\n", false},
        ReuseCase{"CloseAmongOtherTokens", "HTTP/1.1 200 OK\r\nConnection: Keep-Alive, close\r\n",
                  false},
        ReuseCase{"ProxyConnectionClose", "HTTP/1.1 200 OK\r\nProxy-Connection: Close\r\n", false},
        ReuseCase{"ConnectionKeepAlive", "HTTP/1.1 200 OK\r\nConnection: Keep-Alive\r\n", true},
        ReuseCase{"Http10ClosesByDefault", "HTTP/1.0 200 OK\r\n", false},
        ReuseCase{"Http10WithKeepAlive", "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\n", true}),
    [](const auto& info) { return info.param.name; });

TEST_F(HttpFramingTest, AKeptConnectionThatTheServerClosedIsNoticedBeforeTheNextRequest) {
  CloseAfter({kOk});
  KeepOpen({kOk});
  EXPECT_EQ(client_->FetchUrl(kUrl), "ok");
  EXPECT_EQ(client_->FetchUrl(kUrl), "ok");
  EXPECT_EQ(stack_.connections(), 2);
  // The first connection saw only its own request.
  EXPECT_EQ(stack_.Sent(0).find("GET", 1), std::string::npos);
}

TEST_F(HttpFramingTest, BytesBeyondTheResponseMakeTheNextRequestUseANewConnection) {
  KeepOpen({std::string(kOk) + "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nstale"});
  KeepOpen({"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfresh"});
  EXPECT_EQ(client_->FetchUrl(kUrl), "ok");
  EXPECT_EQ(client_->FetchUrl(kUrl), "fresh");
  EXPECT_TRUE(stack_.Closed(0));
}

TEST_F(HttpFramingTest, TrailerLinesAfterTheLastChunkAreConsumed) {
  KeepOpen(
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n0\r\n"
       "X-Checksum: 1\r\nX-Other: 2\r\n\r\n",
       kOk});
  EXPECT_EQ(client_->FetchUrl(kUrl), "ab");
  EXPECT_EQ(client_->FetchUrl(kUrl), "ok");
  EXPECT_EQ(stack_.connections(), 1);
}

TEST_F(HttpFramingTest, AnErrorBodyIsWhatArrivedBeforeTheServerFellSilent) {
  KeepOpen({"HTTP/1.1 500 Oops\r\n\r\npartial"});
  KeepOpen({kOk});
  try {
    client_->FetchUrl(kUrl);
    ADD_FAILURE() << "nothing raised";
  } catch (const EMfHTTPProtocolException& e) {
    EXPECT_EQ(e.ReplyErrorCode(), 500);
    EXPECT_EQ(e.ErrorMessage(), "partial");
  }
  EXPECT_EQ(client_->ReadTimeout(), 0);
  EXPECT_TRUE(stack_.Closed(0));
  EXPECT_EQ(client_->FetchUrl(kUrl), "ok");
}

TEST_F(HttpFramingTest, StatusCodesOtherThan2xxRaise) {
  struct Case {
    std::string status_line;
    int code;
  } const cases[] = {
      {"HTTP/1.1 304 Not Modified", 304},
      {"HTTP/1.1 101 Switching", 101},
      {"HTTP/1.1 199 Odd", 199},
      {"HTTP/1.1 300 Choices", 300},
      {"HTTP/1.1 500 Error", 500},
      {"HTTP/1.1 abc Nonsense", -1},
      {"garbage", -1},
      {"HTTP/1.1  200 Two blanks", -1},
  };
  for (const Case& c : cases) {
    CloseAfter({c.status_line + "\r\nContent-Length: 0\r\n\r\n"});
    try {
      client_->FetchUrl(kUrl);
      ADD_FAILURE() << c.status_line << ": nothing raised";
    } catch (const EMfHTTPProtocolException& e) {
      EXPECT_EQ(e.ReplyErrorCode(), c.code) << c.status_line;
      EXPECT_EQ(e.what(), c.status_line);
    }
  }
}

// Broken and hostile responses: each ends in the expected failure with bounded memory and time,
// and the client serves the next request on a new connection.
struct BadCase {
  const char* name;
  std::vector<std::string> replies;
  bool silent_at_end;
  std::string message;
};

class HttpBadResponseTest : public HttpFramingTest,
                            public ::testing::WithParamInterface<BadCase> {};

TEST_P(HttpBadResponseTest, FailsCleanlyAndTheClientRecovers) {
  const BadCase& c = GetParam();
  stack_.AddPeer({c.replies, SIZE_MAX, c.silent_at_end});
  KeepOpen({kOk});
  client_->SetMaxBodySize(1 << 20);
  try {
    client_->FetchUrl(kUrl);
    ADD_FAILURE() << "nothing raised";
  } catch (const EMfHTTPProtocolException& e) {
    ADD_FAILURE() << "HTTP status " << e.ReplyErrorCode();
  } catch (const EMfException& e) {
    EXPECT_EQ(e.what(), c.message);
  }
  EXPECT_TRUE(stack_.Closed(0));
  EXPECT_EQ(client_->FetchUrl(kUrl), "ok");
}

const std::string kChunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Responses, HttpBadResponseTest,
    ::testing::Values(
        BadCase{"HugeContentLength",
                {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\nabc"},
                false,
                kBodyTooLargeText},
        BadCase{"ContentLengthBeyondTheLimit",
                {"HTTP/1.1 200 OK\r\nContent-Length: 1048577\r\n\r\nabc"},
                false,
                kBodyTooLargeText},
        BadCase{"HugeChunkSize",
                {kChunked + "ffffffffffffffffffffffff\r\nabc"},
                false,
                kBodyTooLargeText},
        BadCase{"ChunksBeyondTheLimit",
                {kChunked + Repeat("80000\r\n" + std::string(0x80000, 'c') + "\r\n", 3)},
                false,
                kBodyTooLargeText},
        BadCase{"BodyToTheCloseBeyondTheLimit",
                {"HTTP/1.1 200 OK\r\n\r\n" + std::string((1 << 20) + 1, 'b')},
                false,
                kBodyTooLargeText},
        BadCase{"EndlessHeaderBlock",
                {"HTTP/1.1 200 OK\r\n" + Repeat("X-Filler: 0123456789\r\n", 5000)},
                true,
                kHeaderBlockTooLargeText},
        BadCase{"HugeHeaderBlockOfLongLines",
                {"HTTP/1.1 200 OK\r\n" + Repeat("X-Long: " + std::string(10000, 'v') + "\r\n", 40)},
                true,
                kHeaderBlockTooLargeText},
        BadCase{"EndlessInterimResponses",
                {Repeat("HTTP/1.1 100 Continue\r\nX-A: b\r\n\r\n", 2000)},
                true,
                kHeaderBlockTooLargeText},
        BadCase{"EndlessTrailers",
                {kChunked + "1\r\na\r\n0\r\n" + Repeat("X-Trailer: t\r\n", 5000)},
                true,
                kHeaderBlockTooLargeText},
        BadCase{"OverlongHeaderLine",
                {"HTTP/1.1 200 OK\r\nX-Long: " + std::string(20000, 'v') + "\r\n\r\n"},
                false,
                "Max line length exceeded."},
        BadCase{"OverlongChunkSizeLine",
                {kChunked + std::string(20000, '0') + "1\r\na\r\n"},
                false,
                "Max line length exceeded."},
        BadCase{"SilentBeforeTheStatusLine", {""}, true, "Read Timeout"},
        BadCase{"SilentInsideTheHeaders", {"HTTP/1.1 200 OK\r\nContent-Le"}, true, "Read Timeout"},
        BadCase{"SilentInsideACountedBody",
                {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"},
                true,
                "Read Timeout"},
        BadCase{"SilentInsideAChunk", {kChunked + "a\r\nabc"}, true, "Read Timeout"},
        BadCase{"SilentBeforeTheClose", {"HTTP/1.1 200 OK\r\n\r\nabc"}, true, "Read Timeout"},
        BadCase{"ClosedBeforeTheStatusLine", {""}, false, "Connection Closed Gracefully."},
        BadCase{
            "ClosedInsideTheStatusLine", {"HTTP/1.1 20"}, false, "Connection Closed Gracefully."},
        BadCase{
            "ClosedInsideAChunk", {kChunked + "a\r\nabc"}, false, "Connection Closed Gracefully."},
        BadCase{"ClosedBetweenChunks",
                {kChunked + "3\r\nabc\r\n"},
                false,
                "Connection Closed Gracefully."}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace mailferry
