// A bare TCP client for raw POP3 and SMTP lines on 127.0.0.1, so the harness can be proven
// without the program's own transport. Test support only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mailferry::testing {

struct SmtpReply {
  int code = 0;
  std::vector<std::string> lines;  // every line of the reply, code included
};

class LineClient {
 public:
  // Connects to 127.0.0.1:`port`; raises std::runtime_error when that fails.
  explicit LineClient(int port);
  ~LineClient();
  LineClient(const LineClient&) = delete;
  LineClient& operator=(const LineClient&) = delete;

  // Writes the bytes as they are, in one piece.
  void Send(std::string_view bytes);
  void SendLine(std::string_view line) { Send(std::string(line) + "\r\n"); }
  // The next line without its CR LF. Raises std::runtime_error when the server closes the
  // connection or stays silent for 30 s.
  std::string ReadLine();

  // POP3: sends `command` and returns the one-line reply.
  std::string Pop3(std::string_view command);
  // POP3: the lines of a multi-line answer up to the "." line, dots unstuffed.
  std::vector<std::string> ReadDotTerminated();

  // SMTP: reads one reply, following "NNN-" continuation lines.
  SmtpReply ReadSmtpReply();
  // SMTP: sends `command` and reads its reply.
  SmtpReply Smtp(std::string_view command);

 private:
  int fd_ = -1;
  std::string buffer_;
};

}  // namespace mailferry::testing
