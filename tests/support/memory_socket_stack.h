// A SocketStack without a network: every connection reaches one in-memory peer that sends the
// bytes the test provides (a string, or a generator for streams too large to hold) and then
// closes, and that keeps or hands on whatever the client sends. Lets the real line connection
// run over message fixtures, fuzz input and benchmark streams.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/socket_stack.h"
#include "transport/socket_layer.h"
#include "transport/tcp_client.h"

namespace mailferry::testing {

class MemorySocketStack : public SocketStack {
 public:
  // Writes up to size bytes of the peer's stream into buffer and returns the count; 0 means the
  // stream has ended and the peer closes.
  using Source = std::function<std::size_t(char* buffer, std::size_t size)>;
  using Sink = std::function<void(std::string_view bytes)>;

  // The peer sends these bytes, then closes.
  void SetIncoming(std::string bytes);
  void SetIncomingSource(Source source) { source_ = std::move(source); }
  // At most this many bytes per receive (1 makes every line cross receives).
  void set_max_receive(std::size_t bytes) { max_receive_ = bytes > 0 ? bytes : 1; }

  // What the client sent, unless a sink takes it instead.
  const std::string& outgoing() const { return outgoing_; }
  void SetOutgoingSink(Sink sink) { sink_ = std::move(sink); }
  // Every send from now on fails with this socket error (0: none).
  void set_send_error(SocketErrorCode code) { send_error_ = code; }

  // A socket layer over this stack, which must outlive it.
  std::unique_ptr<SocketLayer> MakeLayer();

  bool Startup() override { return true; }
  void Shutdown() override {}
  SocketHandle CreateSocket(SocketErrorCode* error) override;
  SocketErrorCode Bind(SocketHandle, const std::string&, int) override { return 0; }
  SocketErrorCode ResolveIPv4(const std::string& host, std::string* ip) override;
  SocketErrorCode Connect(SocketHandle, const std::string&, int, int) override { return 0; }
  SocketErrorCode SetNoDelay(SocketHandle, bool) override { return 0; }
  SocketErrorCode LocalEndpoint(SocketHandle socket, SocketEndpoint* endpoint) override;
  SocketErrorCode PeerEndpoint(SocketHandle socket, SocketEndpoint* endpoint) override;
  WaitResult WaitReadable(SocketHandle, int, SocketErrorCode*) override {
    return WaitResult::kReadable;
  }
  std::ptrdiff_t Receive(SocketHandle socket, char* buffer, std::size_t size,
                         SocketErrorCode* error) override;
  std::ptrdiff_t Send(SocketHandle socket, const char* data, std::size_t size,
                      SocketErrorCode* error) override;
  void ShutdownSend(SocketHandle) override {}
  void Close(SocketHandle) override {}
  SocketErrorCode LocalHostName(std::string* name) override;

 private:
  Source source_;
  std::size_t max_receive_ = static_cast<std::size_t>(-1);
  std::string outgoing_;
  Sink sink_;
  SocketErrorCode send_error_ = 0;
  SocketHandle next_handle_ = 1;
};

// A line connection already open over its own MemorySocketStack.
class MemoryConnection {
 public:
  explicit MemoryConnection(std::string incoming = {});
  ~MemoryConnection();
  MemoryConnection(const MemoryConnection&) = delete;
  MemoryConnection& operator=(const MemoryConnection&) = delete;

  MemorySocketStack& stack() { return stack_; }
  TMfTCPClient& connection() { return *client_; }
  // Sends what the connection still holds in its output buffer and returns all it sent.
  const std::string& Sent();

 private:
  MemorySocketStack stack_;
  std::unique_ptr<SocketLayer> layer_;
  std::unique_ptr<TMfTCPClient> client_;
};

// The lines of a message text (LF or CR LF line ends) as a POP3 server sends them after "+OK":
// each line with CR LF, a line that begins with "." with one more, and the line "." at the end.
std::string Pop3Retrieval(std::string_view message_text);

// The message text an SMTP server takes from what a client sent after DATA (without the final
// "." line): CR LF line ends, and one "." taken off every line that begins with one.
std::string SmtpUnstuff(std::string_view data);

}  // namespace mailferry::testing
