#include "support/memory_socket_stack.h"

#include <algorithm>
#include <cstring>

namespace mailferry::testing {

void MemorySocketStack::SetIncoming(std::string bytes) {
  auto data = std::make_shared<std::string>(std::move(bytes));
  auto offset = std::make_shared<std::size_t>(0);
  source_ = [data, offset](char* buffer, std::size_t size) {
    const std::size_t count = std::min(size, data->size() - *offset);
    std::memcpy(buffer, data->data() + *offset, count);
    *offset += count;
    return count;
  };
}

std::unique_ptr<SocketLayer> MemorySocketStack::MakeLayer() {
  return std::make_unique<SocketLayer>(
      [this] { return std::shared_ptr<SocketStack>(this, [](SocketStack*) {}); });
}

SocketHandle MemorySocketStack::CreateSocket(SocketErrorCode*) { return next_handle_++; }

SocketErrorCode MemorySocketStack::ResolveIPv4(const std::string&, std::string* ip) {
  *ip = "127.0.0.1";
  return 0;
}

SocketErrorCode MemorySocketStack::LocalEndpoint(SocketHandle, SocketEndpoint* endpoint) {
  *endpoint = {"127.0.0.1", 40000};
  return 0;
}

SocketErrorCode MemorySocketStack::PeerEndpoint(SocketHandle, SocketEndpoint* endpoint) {
  *endpoint = {"127.0.0.1", 110};
  return 0;
}

std::ptrdiff_t MemorySocketStack::Receive(SocketHandle, char* buffer, std::size_t size,
                                          SocketErrorCode*) {
  if (!source_) return 0;
  return static_cast<std::ptrdiff_t>(source_(buffer, std::min(size, max_receive_)));
}

std::ptrdiff_t MemorySocketStack::Send(SocketHandle, const char* data, std::size_t size,
                                       SocketErrorCode* error) {
  if (send_error_ != 0) {
    *error = send_error_;
    return -1;
  }
  if (sink_) {
    sink_(std::string_view(data, size));
  } else {
    outgoing_.append(data, size);
  }
  return static_cast<std::ptrdiff_t>(size);
}

SocketErrorCode MemorySocketStack::LocalHostName(std::string* name) {
  *name = "memory.test";
  return 0;
}

MemoryConnection::MemoryConnection(std::string incoming)
    : layer_(stack_.MakeLayer()), client_(std::make_unique<TMfTCPClient>(*layer_)) {
  stack_.SetIncoming(std::move(incoming));
  client_->SetHost("127.0.0.1");
  client_->SetPort(110);
  client_->OpenConnection();
}

MemoryConnection::~MemoryConnection() { client_.reset(); }

const std::string& MemoryConnection::Sent() {
  client_->Flush();
  return stack_.outgoing();
}

std::string Pop3Retrieval(std::string_view message_text) {
  std::string wire;
  wire.reserve(message_text.size() + message_text.size() / 32 + 8);
  while (!message_text.empty()) {
    std::size_t end = message_text.find('\n');
    std::string_view line = message_text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == '.') wire += '.';
    wire.append(line);
    wire.append("\r\n");
    if (end == std::string_view::npos) break;
    message_text.remove_prefix(end + 1);
  }
  wire.append(".\r\n");
  return wire;
}

std::string SmtpUnstuff(std::string_view data) {
  std::string text;
  text.reserve(data.size());
  while (!data.empty()) {
    const std::size_t end = data.find("\r\n");
    std::string_view line = data.substr(0, end);
    if (!line.empty() && line.front() == '.') line.remove_prefix(1);
    text.append(line);
    text.append("\r\n");
    if (end == std::string_view::npos) break;
    data.remove_prefix(end + 2);
  }
  return text;
}

}  // namespace mailferry::testing
