#include "support/fake_socket_stack.h"

namespace mailferry::testing {

FakeSocketStack::FakeSocketStack() : system_(CreateSystemSocketStack()) {}

void FakeSocketStack::FailReceive(SocketErrorCode code, int after) {
  receive_fault_ = PlannedFault{code, after};
}

void FakeSocketStack::FailSend(SocketErrorCode code, int after) {
  send_fault_ = PlannedFault{code, after};
}

std::vector<std::string> FakeSocketStack::resolved_hosts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return resolved_;
}

std::vector<std::size_t> FakeSocketStack::send_sizes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return send_sizes_;
}

std::unique_ptr<SocketLayer> FakeSocketStack::MakeLayer() {
  // The layer gets a non-owning handle: the test owns this stack.
  return std::make_unique<SocketLayer>(
      [this] { return std::shared_ptr<SocketStack>(this, [](SocketStack*) {}); });
}

bool FakeSocketStack::Startup() {
  ++startups_;
  return !startup_fails_ && system_->Startup();
}

void FakeSocketStack::Shutdown() {
  ++shutdowns_;
  system_->Shutdown();
}

SocketHandle FakeSocketStack::CreateSocket(SocketErrorCode* error) {
  if (create_error_ != 0) {
    *error = create_error_;
    return kInvalidSocketHandle;
  }
  return system_->CreateSocket(error);
}

SocketErrorCode FakeSocketStack::Bind(SocketHandle socket, const std::string& ip, int port) {
  if (bind_error_ != 0) return bind_error_;
  return system_->Bind(socket, ip, port);
}

SocketErrorCode FakeSocketStack::ResolveIPv4(const std::string& host, std::string* ip) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    resolved_.push_back(host);
  }
  if (const auto answer = answers_.find(host); answer != answers_.end()) {
    if (answer->second.error != 0) return answer->second.error;
    *ip = answer->second.ip;
    return 0;
  }
  return system_->ResolveIPv4(host, ip);
}

SocketErrorCode FakeSocketStack::Connect(SocketHandle socket, const std::string& ip, int port,
                                         int timeout_ms) {
  if (connect_error_ != 0) return connect_error_;
  return system_->Connect(socket, ip, port, timeout_ms);
}

SocketErrorCode FakeSocketStack::SetNoDelay(SocketHandle socket, bool no_delay) {
  return system_->SetNoDelay(socket, no_delay);
}

SocketErrorCode FakeSocketStack::LocalEndpoint(SocketHandle socket, SocketEndpoint* endpoint) {
  return system_->LocalEndpoint(socket, endpoint);
}

SocketErrorCode FakeSocketStack::PeerEndpoint(SocketHandle socket, SocketEndpoint* endpoint) {
  return system_->PeerEndpoint(socket, endpoint);
}

WaitResult FakeSocketStack::WaitReadable(SocketHandle socket, int timeout_ms,
                                         SocketErrorCode* error) {
  // A planned receive failure is reported at once, without waiting for data.
  if (receive_fault_ && receive_fault_->after == 0) {
    *error = 0;
    return WaitResult::kReadable;
  }
  return system_->WaitReadable(socket, timeout_ms, error);
}

std::ptrdiff_t FakeSocketStack::Receive(SocketHandle socket, char* buffer, std::size_t size,
                                        SocketErrorCode* error) {
  if (receive_fault_) {
    if (receive_fault_->after == 0) {
      *error = receive_fault_->code;
      receive_fault_.reset();
      return -1;
    }
    --receive_fault_->after;
  }
  return system_->Receive(socket, buffer, size, error);
}

std::ptrdiff_t FakeSocketStack::Send(SocketHandle socket, const char* data, std::size_t size,
                                     SocketErrorCode* error) {
  if (send_fault_) {
    if (send_fault_->after == 0) {
      const SocketErrorCode code = send_fault_->code;
      send_fault_.reset();
      if (code == -1) return 0;
      *error = code;
      return -1;
    }
    --send_fault_->after;
  }
  const std::ptrdiff_t count = system_->Send(socket, data, size, error);
  if (count > 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    send_sizes_.push_back(static_cast<std::size_t>(count));
  }
  return count;
}

void FakeSocketStack::ShutdownSend(SocketHandle socket) { system_->ShutdownSend(socket); }

void FakeSocketStack::Close(SocketHandle socket) {
  ++closes_;
  system_->Close(socket);
}

SocketErrorCode FakeSocketStack::LocalHostName(std::string* name) {
  if (host_name_) {
    *name = *host_name_;
    return 0;
  }
  return system_->LocalHostName(name);
}

}  // namespace mailferry::testing
