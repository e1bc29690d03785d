// A scripted protocol peer on 127.0.0.1: a listener on a free port whose thread accepts
// connections one after another and plays, for each, a script of lines it expects from the
// client and bytes it sends back. It can also close, stall or send anything (oversized lines,
// NUL bytes) on cue. Serves every protocol test (POP3, SMTP, HTTP).
//
// Build the script, Start(), run the client, then Finish() for the mismatches. Every wait of the
// server is bounded (kStepLimit), so a broken test fails instead of hanging.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mailferry::testing {

class ScriptedServer {
 public:
  // How long any one step waits for the client before it is recorded as a failure.
  static constexpr std::chrono::seconds kStepLimit{20};

  ScriptedServer();
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }

  // Script building, before Start(). Each Accept() begins the script of the next connection.
  ScriptedServer& Accept();
  ScriptedServer& Send(std::string bytes);
  // The text followed by CR LF.
  ScriptedServer& SendLine(const std::string& line);
  // The block sent the given number of times (large streams without holding them whole).
  ScriptedServer& SendRepeated(std::string block, std::int64_t times);
  // Like SendRepeated, but the client going away early is no failure: for floods that the
  // client is expected to refuse part-way.
  ScriptedServer& Flood(std::string block, std::int64_t times);
  // One line from the client (LF-terminated, a CR before it dropped) must equal this.
  ScriptedServer& Expect(std::string line);
  // Takes lines from the client up to one equal to end (included); they are kept raw
  // (without line ends) in Captured().
  ScriptedServer& CaptureUntil(std::string end);
  // Closes this connection.
  ScriptedServer& Close();
  // Stays silent until the client closes; anything the client sends meanwhile is recorded as
  // unexpected. Ends the connection.
  ScriptedServer& AwaitClose();

  // Starts serving the script on the server's thread.
  void Start();
  // Waits until the script has been played (or has failed) and returns the mismatches: empty
  // when the client behaved as scripted.
  std::vector<std::string> Finish();

  // Every line the client sent, over all connections, in order (without line ends).
  std::vector<std::string> ReceivedLines() const;
  // Lines captured by CaptureUntil steps, in order, without the end lines.
  std::vector<std::string> Captured() const;
  // Number of connections accepted so far.
  int Accepted() const;

 private:
  enum class StepKind {
    kAccept,
    kSend,
    kSendRepeated,
    kFlood,
    kExpect,
    kCapture,
    kClose,
    kAwaitClose
  };
  struct Step {
    StepKind kind;
    std::string text;
    std::int64_t times = 1;
  };

  void Run();
  void Fail(const std::string& what);
  bool ReadLine(int fd, std::string* buffer, std::string* line, std::string* error);
  bool SendAll(int fd, const char* data, std::size_t size);

  int listener_ = -1;
  int port_ = 0;
  std::vector<Step> steps_;
  std::thread thread_;
  bool started_ = false;

  mutable std::mutex mutex_;
  std::vector<std::string> failures_;
  std::vector<std::string> received_;
  std::vector<std::string> captured_;
  int accepted_ = 0;
};

}  // namespace mailferry::testing
