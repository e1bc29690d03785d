// The floor of the end-to-end throughput harness: the least a forwarder must do, with nothing of
// Mailferry in it. "pop3" retrieves and deletes every message of one mailbox over one
// conversation; "smtp" sends every file of a folder over a connection of its own per message.
// "measure" runs any program and reports what it cost.
//
//   e2e_floor pop3 PORT USER PASSWORD
//   e2e_floor smtp PORT SENDER RECIPIENT FOLDER
//   e2e_floor measure RESULT_FILE PROGRAM [ARG...]
//
// pop3 and smtp talk to 127.0.0.1 only, wait for every reply before the next command, and print
// "messages=N bytes=B" when done. Any refusal or broken connection ends the program with 1.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

class Connection {
 public:
  explicit Connection(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) Fail("socket");
    // Each command and each message goes out in one write and is then answered: never worth
    // holding back a segment for.
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      Fail("connect");
    }
  }
  ~Connection() { close(fd_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void Send(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent < 0 && errno == EINTR) continue;
      if (sent <= 0) Fail("send");
      bytes.remove_prefix(static_cast<size_t>(sent));
    }
  }

  // The next line without its CR LF.
  std::string ReadLine() {
    for (;;) {
      size_t end = buffer_.find("\r\n", start_);
      if (end != std::string::npos) {
        std::string line = buffer_.substr(start_, end - start_);
        start_ = end + 2;
        return line;
      }
      Fill();
    }
  }

  // Consumes a POP3 multi-line answer after its first line, up to and including the "." line;
  // returns the size of the lines before it. Holds only a chunk of it at a time.
  size_t SkipDotTerminated() {
    static constexpr std::string_view kEnd = "\r\n.\r\n";
    size_t size = 0;
    bool first_line = true;
    for (;;) {
      const std::string_view pending(buffer_.data() + start_, buffer_.size() - start_);
      if (first_line && pending.size() >= 3) {
        if (pending.starts_with(".\r\n")) {  // an empty answer
          start_ += 3;
          return 0;
        }
        first_line = false;
      }
      if (!first_line) {
        size_t end = pending.find(kEnd);
        if (end != std::string_view::npos) {
          start_ += end + kEnd.size();
          return size + end + 2;
        }
        // Only the last bytes may begin the terminator.
        if (pending.size() >= kEnd.size()) {
          const size_t done = pending.size() - (kEnd.size() - 1);
          start_ += done;
          size += done;
        }
      }
      Fill();
    }
  }

 private:
  [[noreturn]] static void Fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
  }

  void Fill() {
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
      buffer_.erase(0, start_);
      start_ = 0;
    }
    size_t old_size = buffer_.size();
    buffer_.resize(old_size + kChunk);
    ssize_t got;
    do {
      got = recv(fd_, buffer_.data() + old_size, kChunk, 0);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
      buffer_.resize(old_size);
      if (got == 0) throw std::runtime_error("the server closed the connection");
      Fail("recv");
    }
    buffer_.resize(old_size + static_cast<size_t>(got));
  }

  static constexpr size_t kChunk = 256 * 1024;
  int fd_ = -1;
  std::string buffer_;
  size_t start_ = 0;
};

void ExpectPop3Ok(const std::string& line, std::string_view command) {
  if (!line.starts_with("+OK")) {
    throw std::runtime_error(std::string(command) + " refused: " + line);
  }
}

std::string Pop3(Connection& connection, const std::string& command) {
  connection.Send(command + "\r\n");
  std::string reply = connection.ReadLine();
  ExpectPop3Ok(reply, command.substr(0, command.find(' ')));
  return reply;
}

int RunPop3(int port, const std::string& user, const std::string& password) {
  Connection connection(port);
  ExpectPop3Ok(connection.ReadLine(), "greeting");
  Pop3(connection, "USER " + user);
  Pop3(connection, "PASS " + password);
  const std::string stat = Pop3(connection, "STAT");
  const int count = std::atoi(stat.c_str() + 4);
  size_t bytes = 0;
  for (int number = count; number >= 1; --number) {
    Pop3(connection, "RETR " + std::to_string(number));
    bytes += connection.SkipDotTerminated();
    Pop3(connection, "DELE " + std::to_string(number));
  }
  Pop3(connection, "QUIT");
  std::printf("messages=%d bytes=%zu\n", count, bytes);
  return 0;
}

// Reads one SMTP reply (continuation lines included) and checks its first digit.
void ExpectSmtp(Connection& connection, char digit, std::string_view command) {
  for (;;) {
    std::string line = connection.ReadLine();
    if (line.size() < 3 || line[0] != digit) {
      throw std::runtime_error(std::string(command) + " refused: " + line);
    }
    if (line.size() == 3 || line[3] != '-') return;
  }
}

void SmtpCommand(Connection& connection, const std::string& command, char digit) {
  connection.Send(command + "\r\n");
  ExpectSmtp(connection, digit, command);
}

// The message as DATA carries it: CR LF line ends, leading dots doubled, the "." line after it.
std::string TransferForm(const std::string& message) {
  std::string out;
  out.reserve(message.size() + message.size() / 50 + 8);
  bool line_start = true;
  for (size_t i = 0; i < message.size(); ++i) {
    char c = message[i];
    if (line_start && c == '.') out += '.';
    if (c == '\n' && (i == 0 || message[i - 1] != '\r')) out += '\r';
    out += c;
    line_start = c == '\n';
  }
  if (!line_start) out += "\r\n";
  out += ".\r\n";
  return out;
}

int RunSmtp(int port, const std::string& sender, const std::string& recipient,
            const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  size_t bytes = 0;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string message((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    const std::string data = TransferForm(message);
    Connection connection(port);
    ExpectSmtp(connection, '2', "greeting");
    SmtpCommand(connection, "EHLO floor.localhost", '2');
    SmtpCommand(connection, "MAIL FROM:<" + sender + ">", '2');
    SmtpCommand(connection, "RCPT TO:<" + recipient + ">", '2');
    SmtpCommand(connection, "DATA", '3');
    connection.Send(data);
    ExpectSmtp(connection, '2', "end of data");
    SmtpCommand(connection, "QUIT", '2');
    bytes += message.size();
  }
  std::printf("messages=%zu bytes=%zu\n", files.size(), bytes);
  return 0;
}

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

// Runs argv and writes "wall_seconds cpu_seconds peak_rss_kb exit_status" to result_file. Run from
// this small process, the program's peak resident memory is its own: a child forked by the
// harness's interpreter would carry the interpreter's high-water mark.
int RunMeasure(const std::string& result_file, char** argv) {
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    execvp(argv[0], argv);
    std::fprintf(stderr, "e2e_floor: cannot run %s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) throw std::runtime_error(std::string("wait4: ") + std::strerror(errno));
  }
  timespec end{};
  clock_gettime(CLOCK_MONOTONIC, &end);
  const double wall = static_cast<double>(end.tv_sec - start.tv_sec) +
                      static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
  const int exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  FILE* out = std::fopen(result_file.c_str(), "w");
  if (out == nullptr) throw std::runtime_error("cannot write " + result_file);
  std::fprintf(out, "%.6f %.6f %ld %d\n", wall, Seconds(usage.ru_utime) + Seconds(usage.ru_stime),
               usage.ru_maxrss, exit_status);
  std::fclose(out);
  return 0;
}

int Usage() {
  std::fputs(
      "usage: e2e_floor pop3 PORT USER PASSWORD\n"
      "       e2e_floor smtp PORT SENDER RECIPIENT FOLDER\n"
      "       e2e_floor measure RESULT_FILE PROGRAM [ARG...]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 4 && args[0] == "pop3") {
      return RunPop3(std::stoi(args[1]), args[2], args[3]);
    }
    if (args.size() >= 3 && args[0] == "measure") {
      return RunMeasure(args[1], argv + 3);
    }
    if (args.size() == 5 && args[0] == "smtp") {
      return RunSmtp(std::stoi(args[1]), args[2], args[3], args[4]);
    }
    return Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "e2e_floor: %s\n", e.what());
    return 1;
  }
}
