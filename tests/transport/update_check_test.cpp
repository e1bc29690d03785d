#include "transport/update_check.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "support/fake_clock.h"
#include "support/fake_dial_up_platform.h"
#include "support/fake_main_thread.h"
#include "support/fake_socket_stack.h"
#include "support/http_script.h"
#include "support/memory_socket_stack.h"
#include "support/scripted_server.h"

namespace mailferry {
namespace {

using ::testing::ElementsAre;
using testing::ExpectHttpGet;
using testing::HttpOk;
using ::testing::IsEmpty;
using testing::ScriptedServer;

constexpr char kProbe[] = "/Mailferry/TestConnection.html";
constexpr char kVersion[] = "/Mailferry/TestVersion.asp?version=1.00";
constexpr char kPage[] = "/Mailferry/NewVersionAvailable.asp";

// Records what the check shows, one text per call.
class RecordingUi : public UpdateCheckUi {
 public:
  void ShowLatestVersionMessage() override {
    shown.push_back("latest");
    if (on_show) on_show();
  }
  void ShowUpdatePage(const std::string& url, const std::string& html) override {
    shown.push_back("page " + url + " [" + html + "]");
    if (on_show) on_show();
  }

  std::vector<std::string> shown;
  std::function<void()> on_show;
};

// The online probe: answers from a list, repeating its last answer, and counts the questions.
class OnlineProbe {
 public:
  explicit OnlineProbe(std::deque<bool> answers) : answers_(std::move(answers)) {}
  std::function<bool()> AsFunction() {
    return [this] {
      ++calls_;
      const bool answer = answers_.front();
      if (answers_.size() > 1) answers_.pop_front();
      return answer;
    };
  }
  int calls() const { return calls_; }

 private:
  std::deque<bool> answers_;
  int calls_ = 0;
};

// A loopback port that refuses connections: bound, never listening.
class RefusingPort {
 public:
  RefusingPort() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~RefusingPort() { close(fd_); }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Against the scripted server on loopback.
class UpdateCheckTest : public ::testing::Test {
 protected:
  UpdateService Service(int port) const {
    UpdateService service;
    service.host = "127.0.0.1";
    service.port = port;
    service.read_bound = std::chrono::seconds(10);
    return service;
  }

  // Runs the check against server, which must have played its whole script afterwards.
  void RunAgainst(ScriptedServer& server) {
    server.Start();
    UpdateCheck check(ui_, probe_.AsFunction(), Service(server.port()), *layer_);
    check.CheckForUpdate();
    EXPECT_THAT(server.Finish(), IsEmpty());
  }

  std::string PageShown(const ScriptedServer& server, const std::string& html) const {
    return "page http://127.0.0.1:" + std::to_string(server.port()) + kPage + " [" + html + "]";
  }

  testing::FakeSocketStack stack_;
  std::unique_ptr<SocketLayer> layer_ = stack_.MakeLayer();
  RecordingUi ui_;
  OnlineProbe probe_{{true}};
};

TEST_F(UpdateCheckTest, TheCurrentVersionShowsOnlyTheLatestVersionMessage) {
  ScriptedServer server;
  server.Accept();
  ExpectHttpGet(server, kProbe).Send(HttpOk("<html>OK</html>"));
  ExpectHttpGet(server, kVersion).Send(HttpOk("1.00"));
  server.AwaitClose();
  RunAgainst(server);

  EXPECT_THAT(ui_.shown, ElementsAre("latest"));
  // Probe and version query share one connection.
  EXPECT_EQ(server.Accepted(), 1);
  EXPECT_EQ(probe_.calls(), 1);
}

TEST_F(UpdateCheckTest, AnyOtherVersionAnswerOpensTheAnnouncementPage) {
  for (const std::string version : {"1.01", "", "<html><body>Server Error</body></html>"}) {
    RecordingUi ui;
    ScriptedServer server;
    server.Accept();
    ExpectHttpGet(server, kProbe).Send(HttpOk("<html>OK</html>"));
    ExpectHttpGet(server, kVersion).Send(HttpOk(version));
    ExpectHttpGet(server, kPage).Send(HttpOk("<html>Version 1.01 is out</html>"));
    server.AwaitClose();
    server.Start();
    UpdateCheck(ui, probe_.AsFunction(), Service(server.port()), *layer_).CheckForUpdate();
    EXPECT_THAT(server.Finish(), IsEmpty()) << version;
    EXPECT_THAT(ui.shown, ElementsAre(PageShown(server, "<html>Version 1.01 is out</html>")))
        << version;
  }
}

TEST_F(UpdateCheckTest, TheWindowOpensWithItsLinkWhenThePageCannotBeFetched) {
  ScriptedServer server;
  server.Accept();
  ExpectHttpGet(server, kProbe).Send(HttpOk("<html>OK</html>"));
  ExpectHttpGet(server, kVersion).Send(HttpOk("1.01"));
  ExpectHttpGet(server, kPage).Send("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone");
  server.AwaitClose();
  RunAgainst(server);

  EXPECT_THAT(ui_.shown, ElementsAre(PageShown(server, "")));
}

TEST_F(UpdateCheckTest, AProbeOrVersionFailureEndsTheCheckWithoutAWord) {
  struct Case {
    const char* name;
    std::string probe_response;
    std::string version_response;  // empty: the version query must not be made
    bool server_closes = false;
  } const cases[] = {
      {"probe body with a line break", HttpOk("<html>OK</html>\r\n"), ""},
      {"probe body in capitals", HttpOk("<HTML>OK</HTML>"), ""},
      {"probe redirected",
       "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/Mailferry/TestConnection.html\r\n"
       "Content-Length: 0\r\n\r\n",
       ""},
      {"probe missing", "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno!", ""},
      {"version query fails", HttpOk("<html>OK</html>"),
       "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n"},
      {"version query cut off", HttpOk("<html>OK</html>"), "HTTP/1.1 200 OK\r\nContent-Le", true},
  };
  for (const Case& c : cases) {
    RecordingUi ui;
    ScriptedServer server;
    server.Accept();
    ExpectHttpGet(server, kProbe).Send(c.probe_response);
    if (!c.version_response.empty()) ExpectHttpGet(server, kVersion).Send(c.version_response);
    // Anything more the client sent would be reported while the server waits for the close.
    if (c.server_closes) {
      server.Close();
    } else {
      server.AwaitClose();
    }
    server.Start();
    UpdateCheck(ui, probe_.AsFunction(), Service(server.port()), *layer_).CheckForUpdate();
    EXPECT_THAT(server.Finish(), IsEmpty()) << c.name;
    EXPECT_THAT(ui.shown, IsEmpty()) << c.name;
  }
}

TEST_F(UpdateCheckTest, ARefusedConnectionEndsTheCheckWithoutAWord) {
  RefusingPort port;
  UpdateCheck(ui_, probe_.AsFunction(), Service(port.port()), *layer_).CheckForUpdate();
  EXPECT_THAT(ui_.shown, IsEmpty());
  // The connection was tried, and its socket closed again.
  EXPECT_EQ(stack_.closes(), 1);
}

TEST_F(UpdateCheckTest, ASilentServerIsGivenUpAfterTheReadBound) {
  ScriptedServer server;
  server.Accept().CaptureUntil("").AwaitClose();
  server.Start();
  UpdateService service = Service(server.port());
  service.read_bound = std::chrono::milliseconds(200);
  UpdateCheck(ui_, probe_.AsFunction(), service, *layer_).CheckForUpdate();
  EXPECT_THAT(server.Finish(), IsEmpty());
  EXPECT_THAT(ui_.shown, IsEmpty());
}

TEST_F(UpdateCheckTest, AnExceptionOfTheWindowIsSwallowed) {
  ScriptedServer server;
  server.Accept();
  ExpectHttpGet(server, kProbe).Send(HttpOk("<html>OK</html>"));
  ExpectHttpGet(server, kVersion).Send(HttpOk("1.00"));
  server.AwaitClose();
  ui_.on_show = [] { throw std::runtime_error("no display"); };
  EXPECT_NO_THROW(RunAgainst(server));
  EXPECT_THAT(ui_.shown, ElementsAre("latest"));
}

TEST(UpdateServiceTest, TheBaseUrlNamesThePortOnlyWhenItIsNot80) {
  UpdateService service;
  EXPECT_EQ(service.BaseUrl(), std::string("http://") + kUpdateServerHost + "/Mailferry/");
  service.host = "127.0.0.1";
  service.port = 8080;
  EXPECT_EQ(service.BaseUrl(), "http://127.0.0.1:8080/Mailferry/");
}

// The menu entry's dial-up steps, over the fake dial-up platform and an in-memory socket stack
// (which refuses every connection it has no peer for and counts the attempts).
class CheckWithDialUpTest : public ::testing::Test {
 protected:
  CheckWithDialUpTest() {
    platform_.entries = std::vector<std::string>{"Office", "Home"};
    platform_.dial_params["Office"] = RasDialParams{"Office", "555", "", "u", "p", "", true};
  }

  std::unique_ptr<TRasManager> Manager() {
    return std::make_unique<TRasManager>(platform_, main_thread_, clock_);
  }

  void Run(TRasManager& ras, OnlineProbe& probe, bool ras_enabled, const std::string& name) {
    UpdateService service;
    service.host = "update.example";
    UpdateCheck(ui_, probe.AsFunction(), service, *layer_).CheckWithDialUp(ras, ras_enabled, name);
  }

  // The service answers that this is the latest version.
  void ServeLatestVersion() {
    stack_.AddPeer({{HttpOk("<html>OK</html>"), HttpOk("1.00")}, SIZE_MAX, true});
  }

  testing::FakeDialUpPlatform platform_;
  testing::FakeMainThread main_thread_;
  testing::FakeClock clock_{45000.0};
  testing::MemorySocketStack stack_;
  std::unique_ptr<SocketLayer> layer_ = stack_.MakeLayer();
  RecordingUi ui_;
};

TEST_F(CheckWithDialUpTest, OfflineWithDialUpDisabledMakesNoRequest) {
  auto ras = Manager();
  OnlineProbe probe({false});
  Run(*ras, probe, false, "Office");
  EXPECT_EQ(probe.calls(), 2);
  EXPECT_TRUE(platform_.dials.empty());
  EXPECT_EQ(stack_.connect_attempts(), 0);
  EXPECT_THAT(ui_.shown, IsEmpty());
}

TEST_F(CheckWithDialUpTest, TheCheckItselfAsksAgainAndMakesNoRequestOffline) {
  OnlineProbe probe({false});
  UpdateCheck(ui_, probe.AsFunction(), UpdateService{}, *layer_).CheckForUpdate();
  EXPECT_EQ(probe.calls(), 1);
  EXPECT_EQ(stack_.connect_attempts(), 0);
  EXPECT_THAT(ui_.shown, IsEmpty());
}

TEST_F(CheckWithDialUpTest, StillOfflineRightAfterDiallingSkipsTheCheck) {
  auto ras = Manager();
  OnlineProbe probe({false});
  Run(*ras, probe, true, "Office");
  ASSERT_EQ(platform_.dials.size(), 1u);
  EXPECT_EQ(platform_.dials[0].params.entry_name, "Office");
  // The manager has not seen the new line up, so there is nothing to hang up.
  EXPECT_TRUE(platform_.hang_ups.empty());
  EXPECT_EQ(stack_.connect_attempts(), 0);
  EXPECT_THAT(ui_.shown, IsEmpty());
}

TEST_F(CheckWithDialUpTest, AnEntryNotInThePhonebookIsNeitherDialledNorHungUp) {
  auto ras = Manager();
  OnlineProbe probe({false});
  Run(*ras, probe, true, "office");
  EXPECT_TRUE(platform_.dials.empty());
  EXPECT_TRUE(platform_.hang_ups.empty());
  EXPECT_EQ(probe.calls(), 2);
  EXPECT_EQ(stack_.connect_attempts(), 0);
}

TEST_F(CheckWithDialUpTest, OnlineAtOnceChecksWithoutDialling) {
  auto ras = Manager();
  ServeLatestVersion();
  OnlineProbe probe({true});
  Run(*ras, probe, true, "Office");
  EXPECT_TRUE(platform_.dials.empty());
  EXPECT_EQ(probe.calls(), 3);
  EXPECT_THAT(ui_.shown, ElementsAre("latest"));
}

TEST_F(CheckWithDialUpTest, OnlineAfterTheDialStepTheCheckRunsAndTheEntryIsHungUpAfterIt) {
  // The entry is up already, so Dial leaves it alone, and HangUp finds it connected.
  platform_.SetConnected("Office", 77);
  auto ras = Manager();
  ServeLatestVersion();
  OnlineProbe probe({false, true});
  std::size_t hang_ups_while_showing = 99;
  ui_.on_show = [&] { hang_ups_while_showing = platform_.hang_ups.size(); };
  Run(*ras, probe, true, "Office");
  EXPECT_TRUE(platform_.dials.empty());
  EXPECT_THAT(ui_.shown, ElementsAre("latest"));
  EXPECT_EQ(hang_ups_while_showing, 0u);
  EXPECT_THAT(platform_.hang_ups, ElementsAre(RasHandle{77}));
}

}  // namespace
}  // namespace mailferry
