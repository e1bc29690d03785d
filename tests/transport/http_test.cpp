// TMfHTTP against the scripted server on 127.0.0.1: requests, connection reuse, status handling,
// body framing and cookies as a real socket carries them.
#include "transport/http.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/fake_clock.h"
#include "support/fake_socket_stack.h"
#include "support/http_script.h"
#include "support/scripted_server.h"

namespace mailferry {
namespace {

using testing::ExpectHttpGet;
using testing::FakeClock;
using testing::FakeSocketStack;
using ::testing::IsEmpty;
using testing::ScriptedServer;

class HttpTest : public ::testing::Test {
 protected:
  void TearDown() override {
    client_.reset();
    EXPECT_THAT(server_.Finish(), IsEmpty());
  }

  std::string Url(const std::string& target) const {
    return "http://127.0.0.1:" + std::to_string(server_.port()) + target;
  }

  ScriptedServer& ExpectGet(const std::string& target, const std::string& cookie = "") {
    return ExpectHttpGet(server_, target, cookie);
  }

  // Runs the fetch and returns the HTTP exception it raises.
  EMfHTTPProtocolException FetchFailure(const std::string& target) {
    try {
      client_->FetchUrl(Url(target));
    } catch (const EMfHTTPProtocolException& e) {
      return e;
    }
    ADD_FAILURE() << "no EMfHTTPProtocolException for " << target;
    return EMfHTTPProtocolException(0, "", "");
  }

  FakeSocketStack stack_;
  std::unique_ptr<SocketLayer> layer_ = stack_.MakeLayer();
  FakeClock clock_{45000.5, 0};
  ScriptedServer server_;
  std::unique_ptr<TMfHTTP> client_ = std::make_unique<TMfHTTP>(*layer_, clock_);
};

TEST_F(HttpTest, TwoRequestsTravelOverOneConnection) {
  server_.Accept();
  ExpectGet("/Mailferry/TestConnection.html")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 15\r\n\r\n<html>OK</html>");
  ExpectGet("/Mailferry/TestVersion.asp?version=1.00")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n1.01");
  server_.AwaitClose();
  server_.Start();

  EXPECT_EQ(client_->FetchUrl(Url("/Mailferry/TestConnection.html")), "<html>OK</html>");
  EXPECT_EQ(client_->FetchUrl(Url("/Mailferry/TestVersion.asp?version=1.00")), "1.01");
  EXPECT_EQ(client_->Response().ResponseCode(), 200);
  EXPECT_EQ(server_.Accepted(), 1);
}

TEST_F(HttpTest, ConnectionCloseMakesTheNextRequestOpenANewConnection) {
  server_.Accept();
  ExpectGet("/a").Send("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\na");
  server_.AwaitClose().Accept();
  ExpectGet("/b").Send("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nb");
  server_.AwaitClose();
  server_.Start();

  EXPECT_EQ(client_->FetchUrl(Url("/a")), "a");
  EXPECT_FALSE(client_->IsConnected());
  EXPECT_EQ(client_->FetchUrl(Url("/b")), "b");
  EXPECT_EQ(server_.Accepted(), 2);
}

TEST_F(HttpTest, AnInterim100ResponseIsSkipped) {
  server_.Accept();
  ExpectGet("/").Send(
      "HTTP/1.1 100 Continue\r\nX-Interim: yes\r\n\r\n"
      "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  server_.AwaitClose();
  server_.Start();

  EXPECT_EQ(client_->FetchUrl(Url("/")), "ok");
  EXPECT_EQ(client_->Response().ResponseText(), "HTTP/1.1 200 OK");
  EXPECT_EQ(client_->Response().RawHeaders().IndexOfName("X-Interim"), -1);
}

TEST_F(HttpTest, AChunkedBodyIsJoinedAndTheConnectionServesTheNextRequest) {
  server_.Accept();
  ExpectGet("/c").Send(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
      "5\r\nhello\r\n7\r\n, world\r\n0\r\n\r\n");
  ExpectGet("/d").Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nnext");
  server_.AwaitClose();
  server_.Start();

  EXPECT_EQ(client_->FetchUrl(Url("/c")), "hello, world");
  EXPECT_EQ(client_->FetchUrl(Url("/d")), "next");
  EXPECT_EQ(server_.Accepted(), 1);
}

TEST_F(HttpTest, ABodyWithoutLengthIsReadUntilTheServerCloses) {
  const std::string block(1000, 'x');
  server_.Accept();
  ExpectGet("/big").Send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n");
  server_.SendRepeated(block, 300).Close();
  server_.Start();

  const std::string body = client_->FetchUrl(Url("/big"));
  EXPECT_EQ(body.size(), 300000u);
  EXPECT_EQ(body.find_first_not_of('x'), std::string::npos);
  EXPECT_FALSE(client_->IsConnected());
}

TEST_F(HttpTest, ARedirectIsNotFollowed) {
  server_.Accept();
  ExpectGet("/Mailferry/TestConnection.html")
      .Send(
          "HTTP/1.1 302 Found\r\nLocation: http://elsewhere.example/\r\nContent-Length: 5\r\n\r\n"
          "moved");
  server_.AwaitClose();
  server_.Start();

  const auto failure = FetchFailure("/Mailferry/TestConnection.html");
  EXPECT_EQ(failure.ReplyErrorCode(), 302);
  EXPECT_STREQ(failure.what(), "HTTP/1.1 302 Found");
  EXPECT_EQ(failure.ErrorMessage(), "moved");
  EXPECT_EQ(client_->Response().Location(), "http://elsewhere.example/");
}

TEST_F(HttpTest, ASuccessWithALocationCountsAsARedirect) {
  server_.Accept();
  ExpectGet("/").Send("HTTP/1.1 200 OK\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n");
  server_.AwaitClose();
  server_.Start();

  EXPECT_EQ(FetchFailure("/").ReplyErrorCode(), 200);
}

TEST_F(HttpTest, ARedirectIsFollowedWhenSwitchedOn) {
  server_.Accept();
  ExpectGet("/Mailferry/old.asp")
      .Send("HTTP/1.1 301 Moved\r\nLocation: new.asp\r\nContent-Length: 0\r\n\r\n");
  ExpectGet("/Mailferry/new.asp").Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nnew");
  server_.AwaitClose();
  server_.Start();

  client_->SetHandleRedirects(true);
  EXPECT_EQ(client_->FetchUrl(Url("/Mailferry/old.asp")), "new");
}

TEST_F(HttpTest, A404CarriesItsBodyInTheExceptionAndTheConnectionStaysUsable) {
  server_.Accept();
  ExpectGet("/missing")
      .Send("HTTP/1.1 404 Not Found\r\nContent-Length: 20\r\n\r\n<html>missing</html>");
  ExpectGet("/present").Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  server_.AwaitClose();
  server_.Start();

  const auto failure = FetchFailure("/missing");
  EXPECT_EQ(failure.ReplyErrorCode(), 404);
  EXPECT_STREQ(failure.what(), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(failure.ErrorMessage(), "<html>missing</html>");
  EXPECT_EQ(client_->FetchUrl(Url("/present")), "ok");
  EXPECT_EQ(server_.Accepted(), 1);
}

TEST_F(HttpTest, ACookieSetByTheFirstResponseIsSentWithTheSecond) {
  server_.Accept();
  ExpectGet("/Mailferry/TestConnection.html")
      .Send(
          "HTTP/1.1 200 OK\r\nSet-Cookie: ASPSESSION=abc123; path=/\r\n"
          "Set-Cookie: lang=en\r\nContent-Length: 2\r\n\r\nok");
  ExpectGet("/Mailferry/TestVersion.asp?version=1.00", "lang=en; ASPSESSION=abc123")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n1.00");
  server_.AwaitClose();
  server_.Start();

  EXPECT_EQ(client_->CookieManager(), nullptr);
  client_->FetchUrl(Url("/Mailferry/TestConnection.html"));
  ASSERT_NE(client_->CookieManager(), nullptr);
  EXPECT_EQ(client_->FetchUrl(Url("/Mailferry/TestVersion.asp?version=1.00")), "1.00");
}

TEST_F(HttpTest, AnotherHostOrPortClosesTheOpenConnection) {
  ScriptedServer other;
  server_.Accept();
  ExpectGet("/one").Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\none");
  server_.AwaitClose();
  other.Accept();
  ExpectHttpGet(other, "/two").Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\ntwo");
  other.AwaitClose();
  server_.Start();
  other.Start();

  EXPECT_EQ(client_->FetchUrl(Url("/one")), "one");
  EXPECT_EQ(client_->FetchUrl("http://127.0.0.1:" + std::to_string(other.port()) + "/two"), "two");
  EXPECT_EQ(client_->Port(), other.port());
  // The first server's script ends only when the client has closed its connection.
  EXPECT_THAT(server_.Finish(), IsEmpty());
  client_.reset();
  EXPECT_THAT(other.Finish(), IsEmpty());
}

TEST_F(HttpTest, HeadersCutOffBeforeTheEmptyLineAreAnUndefinedSituation) {
  server_.Accept();
  ExpectGet("/").Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n").Close();
  server_.Start();

  try {
    client_->FetchUrl(Url("/"));
    ADD_FAILURE() << "nothing raised";
  } catch (const EMfProtocolReplyError&) {
    ADD_FAILURE() << "raised as a protocol error";
  } catch (const EMfException& e) {
    EXPECT_STREQ(e.what(), "Undefined situation");
  }
  EXPECT_FALSE(client_->IsConnected());
}

TEST_F(HttpTest, AnErrorWhoseHeadersAreCutOffIsStillReportedWithItsStatus) {
  server_.Accept();
  ExpectGet("/").Send("HTTP/1.1 503 Busy\r\nRetry-After: 5\r\n").Close();
  server_.Start();

  const auto failure = FetchFailure("/");
  EXPECT_EQ(failure.ReplyErrorCode(), 503);
  EXPECT_EQ(failure.ErrorMessage(), "");
}

}  // namespace
}  // namespace mailferry
