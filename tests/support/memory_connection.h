// A line connection already open to one in-memory peer (memory_socket_stack.h), and the two
// transforms between a message text and what POP3 and SMTP put on the wire. Lets the real line
// connection run over message fixtures, fuzz input and benchmark streams. Header-only, so the
// fuzz targets can use it too.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "memory_socket_stack.h"
#include "scanning/message_preview.h"
#include "transport/tcp_client.h"

namespace mailferry::testing {

// A peer stream that sends bytes and then closes.
inline std::function<std::size_t(char*, std::size_t)> StreamOf(std::string bytes) {
  auto data = std::make_shared<std::string>(std::move(bytes));
  auto offset = std::make_shared<std::size_t>(0);
  return [data, offset](char* buffer, std::size_t size) {
    const std::size_t count = std::min(size, data->size() - *offset);
    std::copy_n(data->data() + *offset, count, buffer);
    *offset += count;
    return count;
  };
}

class MemoryConnection {
 public:
  // The peer sends incoming and closes; a receive hands over at most piece_size bytes.
  explicit MemoryConnection(std::string incoming = {},
                            std::size_t piece_size = std::numeric_limits<std::size_t>::max())
      : MemoryConnection(PeerOf(std::move(incoming), piece_size)) {}

  explicit MemoryConnection(MemorySocketStack::Peer peer) {
    stack_.AddPeer(std::move(peer));
    layer_ = stack_.MakeLayer();
    client_ = std::make_unique<TMfTCPClient>(*layer_);
    client_->SetHost("127.0.0.1");
    client_->SetPort(110);
    client_->OpenConnection();
  }

  ~MemoryConnection() { client_.reset(); }
  MemoryConnection(const MemoryConnection&) = delete;
  MemoryConnection& operator=(const MemoryConnection&) = delete;

  TMfTCPClient& connection() { return *client_; }

  // Sends what the connection still holds in its output buffer and returns all it sent (empty
  // when the peer has a sink).
  const std::string& Sent() {
    client_->Flush();
    return stack_.Sent(0);
  }

 private:
  static MemorySocketStack::Peer PeerOf(std::string incoming, std::size_t piece_size) {
    MemorySocketStack::Peer peer;
    peer.stream = StreamOf(std::move(incoming));
    peer.piece_size = piece_size;
    return peer;
  }

  MemorySocketStack stack_;
  std::unique_ptr<SocketLayer> layer_;
  std::unique_ptr<TMfTCPClient> client_;
};

// The lines of a message text as a POP3 server sends them after "+OK" (dot-stuffed, CR LF, the
// final "." line): the same form the preview command reads.
inline std::string Pop3Retrieval(std::string_view message_text) {
  return Pop3RetrievalForm(message_text);
}

// The message text an SMTP server takes from what a client sent after DATA (without the final
// "." line): CR LF line ends, and one "." taken off every line that begins with one.
inline std::string SmtpUnstuff(std::string_view data) {
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
