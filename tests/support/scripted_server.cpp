#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

namespace mailferry::testing {
namespace {

constexpr int kStepLimitMs =
    static_cast<int>(std::chrono::milliseconds(ScriptedServer::kStepLimit).count());

// Waits for input on fd; false when none came within the step limit.
bool WaitInput(int fd) {
  pollfd entry{fd, POLLIN, 0};
  for (;;) {
    const int ready = poll(&entry, 1, kStepLimitMs);
    if (ready >= 0) return ready > 0;
    if (errno != EINTR) return false;
  }
}

std::string Shown(const std::string& text) {
  std::string shown;
  for (const unsigned char c : text.substr(0, 200)) {
    if (c < 32 || c > 126) {
      static const char kHex[] = "0123456789abcdef";
      shown += "\\x";
      shown += kHex[c >> 4];
      shown += kHex[c & 15];
    } else {
      shown += static_cast<char>(c);
    }
  }
  if (text.size() > 200) shown += "...";
  return shown;
}

}  // namespace

ScriptedServer::ScriptedServer() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("scripted server: socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 16) != 0) {
    close(listener_);
    throw std::runtime_error("scripted server: cannot listen on 127.0.0.1");
  }
  socklen_t length = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

ScriptedServer::~ScriptedServer() {
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
}

ScriptedServer& ScriptedServer::Accept() {
  steps_.push_back({StepKind::kAccept, {}});
  return *this;
}

ScriptedServer& ScriptedServer::Send(std::string bytes) {
  steps_.push_back({StepKind::kSend, std::move(bytes)});
  return *this;
}

ScriptedServer& ScriptedServer::SendLine(const std::string& line) { return Send(line + "\r\n"); }

ScriptedServer& ScriptedServer::SendRepeated(std::string block, std::int64_t times) {
  steps_.push_back({StepKind::kSendRepeated, std::move(block), times});
  return *this;
}

ScriptedServer& ScriptedServer::Flood(std::string block, std::int64_t times) {
  steps_.push_back({StepKind::kFlood, std::move(block), times});
  return *this;
}

ScriptedServer& ScriptedServer::Expect(std::string line) {
  steps_.push_back({StepKind::kExpect, std::move(line)});
  return *this;
}

ScriptedServer& ScriptedServer::CaptureUntil(std::string end) {
  steps_.push_back({StepKind::kCapture, std::move(end)});
  return *this;
}

ScriptedServer& ScriptedServer::Close() {
  steps_.push_back({StepKind::kClose, {}});
  return *this;
}

ScriptedServer& ScriptedServer::AwaitClose() {
  steps_.push_back({StepKind::kAwaitClose, {}});
  return *this;
}

void ScriptedServer::Start() {
  started_ = true;
  thread_ = std::thread([this] { Run(); });
}

std::vector<std::string> ScriptedServer::Finish() {
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!started_) return {"scripted server was never started"};
  return failures_;
}

std::vector<std::string> ScriptedServer::ReceivedLines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::vector<std::string> ScriptedServer::Captured() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return captured_;
}

int ScriptedServer::Accepted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return accepted_;
}

void ScriptedServer::Fail(const std::string& what) {
  std::lock_guard<std::mutex> lock(mutex_);
  failures_.push_back(what);
}

bool ScriptedServer::ReadLine(int fd, std::string* buffer, std::string* line, std::string* error) {
  for (;;) {
    const std::size_t lf = buffer->find('\n');
    if (lf != std::string::npos) {
      std::size_t end = lf;
      if (end > 0 && (*buffer)[end - 1] == '\r') --end;
      line->assign(*buffer, 0, end);
      buffer->erase(0, lf + 1);
      std::lock_guard<std::mutex> lock(mutex_);
      received_.push_back(*line);
      return true;
    }
    if (!WaitInput(fd)) {
      *error = "no line from the client within the step limit";
      return false;
    }
    char chunk[65536];
    const ssize_t count = recv(fd, chunk, sizeof chunk, 0);
    if (count <= 0) {
      *error = buffer->empty() ? "client closed the connection"
                               : "client closed after the partial line '" + Shown(*buffer) + "'";
      return false;
    }
    buffer->append(chunk, static_cast<std::size_t>(count));
  }
}

bool ScriptedServer::SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t count = send(fd, data, size, MSG_NOSIGNAL);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    data += count;
    size -= static_cast<std::size_t>(count);
  }
  return true;
}

void ScriptedServer::Run() {
  int fd = -1;
  int connection = 0;
  std::string buffer;
  // After a failure the rest of that connection's script is skipped.
  bool skipping = false;
  auto close_connection = [&] {
    if (fd >= 0) close(fd);
    fd = -1;
    buffer.clear();
  };
  for (const Step& step : steps_) {
    if (step.kind == StepKind::kAccept) {
      close_connection();
      skipping = false;
      ++connection;
      if (!WaitInput(listener_)) {
        Fail("connection " + std::to_string(connection) + " was never made");
        return;
      }
      fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        Fail("accept failed");
        return;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      ++accepted_;
      continue;
    }
    if (skipping) continue;
    if (fd < 0) {
      Fail("script step without a connection (missing Accept)");
      return;
    }
    const std::string where = "connection " + std::to_string(connection) + ": ";
    std::string line;
    std::string error;
    switch (step.kind) {
      case StepKind::kSend:
        if (!SendAll(fd, step.text.data(), step.text.size())) {
          Fail(where + "could not send '" + Shown(step.text) + "'");
          skipping = true;
        }
        break;
      case StepKind::kSendRepeated:
        for (std::int64_t i = 0; i < step.times; ++i) {
          if (!SendAll(fd, step.text.data(), step.text.size())) {
            Fail(where + "could not send block " + std::to_string(i));
            skipping = true;
            break;
          }
        }
        break;
      case StepKind::kFlood:
        for (std::int64_t i = 0; i < step.times; ++i) {
          if (!SendAll(fd, step.text.data(), step.text.size())) break;
        }
        break;
      case StepKind::kExpect:
        if (!ReadLine(fd, &buffer, &line, &error)) {
          Fail(where + "expected '" + Shown(step.text) + "': " + error);
          skipping = true;
        } else if (line != step.text) {
          Fail(where + "expected '" + Shown(step.text) + "', got '" + Shown(line) + "'");
          skipping = true;
        }
        break;
      case StepKind::kCapture:
        for (;;) {
          if (!ReadLine(fd, &buffer, &line, &error)) {
            Fail(where + "capture until '" + Shown(step.text) + "': " + error);
            skipping = true;
            break;
          }
          if (line == step.text) break;
          std::lock_guard<std::mutex> lock(mutex_);
          captured_.push_back(line);
        }
        break;
      case StepKind::kClose:
        close_connection();
        skipping = true;
        break;
      case StepKind::kAwaitClose: {
        for (;;) {
          if (!buffer.empty()) {
            Fail(where + "unexpected data '" + Shown(buffer) + "' while waiting for the close");
            buffer.clear();
          }
          if (!WaitInput(fd)) {
            Fail(where + "client did not close within the step limit");
            break;
          }
          char chunk[4096];
          const ssize_t count = recv(fd, chunk, sizeof chunk, 0);
          if (count <= 0) break;
          buffer.append(chunk, static_cast<std::size_t>(count));
        }
        close_connection();
        skipping = true;
        break;
      }
      case StepKind::kAccept:
        break;
    }
  }
  close_connection();
}

}  // namespace mailferry::testing
