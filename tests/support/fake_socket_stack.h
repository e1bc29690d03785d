// A SocketStack that passes every call to the system's stack unless the test has told it to
// fail: start-up, socket creation, bind, resolver answers, connect, a later receive or send. It
// also records what went through it (resolver queries, the size of every send).
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/socket_stack.h"
#include "transport/socket_layer.h"

namespace mailferry::testing {

class FakeSocketStack : public SocketStack {
 public:
  FakeSocketStack();

  // Faults. A code of 0 means "no fault".
  void set_startup_fails(bool fails) { startup_fails_ = fails; }
  void set_create_error(SocketErrorCode code) { create_error_ = code; }
  void set_bind_error(SocketErrorCode code) { bind_error_ = code; }
  void set_connect_error(SocketErrorCode code) { connect_error_ = code; }
  // The resolver answers this host with an address or an error code instead of asking the
  // system.
  void AnswerResolve(const std::string& host, const std::string& ip) { answers_[host] = {ip, 0}; }
  void FailResolve(const std::string& host, SocketErrorCode code) { answers_[host] = {{}, code}; }
  // The receive after `after` more successful receives fails with code.
  void FailReceive(SocketErrorCode code, int after = 0);
  // The send after `after` more successful sends fails with code; a code of -1 makes it
  // return 0 bytes instead.
  void FailSend(SocketErrorCode code, int after = 0);
  void set_host_name(std::string name) { host_name_ = std::move(name); }

  // Records.
  int startups() const { return startups_; }
  int shutdowns() const { return shutdowns_; }
  std::vector<std::string> resolved_hosts() const;
  std::vector<std::size_t> send_sizes() const;
  int closes() const { return closes_; }

  // A socket layer over this stack (which must outlive it).
  std::unique_ptr<SocketLayer> MakeLayer();

  bool Startup() override;
  void Shutdown() override;
  SocketHandle CreateSocket(SocketErrorCode* error) override;
  SocketErrorCode Bind(SocketHandle socket, const std::string& ip, int port) override;
  SocketErrorCode ResolveIPv4(const std::string& host, std::string* ip) override;
  SocketErrorCode Connect(SocketHandle socket, const std::string& ip, int port,
                          int timeout_ms) override;
  SocketErrorCode SetNoDelay(SocketHandle socket, bool no_delay) override;
  SocketErrorCode LocalEndpoint(SocketHandle socket, SocketEndpoint* endpoint) override;
  SocketErrorCode PeerEndpoint(SocketHandle socket, SocketEndpoint* endpoint) override;
  WaitResult WaitReadable(SocketHandle socket, int timeout_ms, SocketErrorCode* error) override;
  std::ptrdiff_t Receive(SocketHandle socket, char* buffer, std::size_t size,
                         SocketErrorCode* error) override;
  std::ptrdiff_t Send(SocketHandle socket, const char* data, std::size_t size,
                      SocketErrorCode* error) override;
  void ShutdownSend(SocketHandle socket) override;
  void Close(SocketHandle socket) override;
  SocketErrorCode LocalHostName(std::string* name) override;

 private:
  struct Answer {
    std::string ip;
    SocketErrorCode error = 0;
  };
  struct PlannedFault {
    SocketErrorCode code = 0;
    int after = 0;
  };

  std::unique_ptr<SocketStack> system_;
  bool startup_fails_ = false;
  SocketErrorCode create_error_ = 0;
  SocketErrorCode bind_error_ = 0;
  SocketErrorCode connect_error_ = 0;
  std::map<std::string, Answer> answers_;
  std::optional<PlannedFault> receive_fault_;
  std::optional<PlannedFault> send_fault_;
  std::optional<std::string> host_name_;

  mutable std::mutex mutex_;
  int startups_ = 0;
  int shutdowns_ = 0;
  int closes_ = 0;
  std::vector<std::string> resolved_;
  std::vector<std::size_t> send_sizes_;
};

}  // namespace mailferry::testing
