#include "e2e/support/line_client.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <stdexcept>

namespace mailferry::testing {
namespace {

constexpr int kSilenceSeconds = 30;  // the longest a test waits for a server's next bytes

std::runtime_error SocketError(const std::string& what) {
  return std::runtime_error(what + ": " + strerror(errno));
}

}  // namespace

LineClient::LineClient(int port) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw SocketError("socket");
  timeval silence{kSilenceSeconds, 0};
  setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &silence, sizeof silence);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::runtime_error error = SocketError("connect to 127.0.0.1:" + std::to_string(port));
    close(fd_);
    throw error;
  }
}

LineClient::~LineClient() { close(fd_); }

void LineClient::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw SocketError("send");
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

std::string LineClient::ReadLine() {
  for (;;) {
    size_t end = buffer_.find("\r\n");
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 2);
      return line;
    }
    char chunk[4096];
    ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw SocketError("recv");
    if (n == 0) throw std::runtime_error("the server closed the connection");
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}

std::string LineClient::Pop3(std::string_view command) {
  SendLine(command);
  return ReadLine();
}

std::vector<std::string> LineClient::ReadDotTerminated() {
  std::vector<std::string> lines;
  for (std::string line = ReadLine(); line != "."; line = ReadLine()) {
    if (line.starts_with(".")) line.erase(0, 1);
    lines.push_back(std::move(line));
  }
  return lines;
}

SmtpReply LineClient::ReadSmtpReply() {
  SmtpReply reply;
  for (;;) {
    std::string line = ReadLine();
    if (line.size() < 3) throw std::runtime_error("not an SMTP reply: " + line);
    reply.code = std::stoi(line.substr(0, 3));
    bool more = line.size() > 3 && line[3] == '-';
    reply.lines.push_back(std::move(line));
    if (!more) return reply;
  }
}

SmtpReply LineClient::Smtp(std::string_view command) {
  SendLine(command);
  return ReadSmtpReply();
}

}  // namespace mailferry::testing
