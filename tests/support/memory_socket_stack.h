// A SocketStack without a network: each connection made talks to the next scripted peer, which
// answers each send of the client with its next reply, handed over in pieces of a chosen size,
// and after its last reply closes or falls silent. A peer can instead send one stream from the
// connect on, produced piece by piece (for messages too large to hold). What the client sends is
// recorded per connection or handed to a sink. Header-only, so the fuzz targets can use it too.
//
// Single-threaded; a silent peer answers every wait with a time-out at once, as a clock that
// jumps to the end of the wait would.
#pragma once

#include <algorithm>
#include <cstddef>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/socket_stack.h"
#include "transport/socket_layer.h"

namespace mailferry::testing {

class MemorySocketStack : public SocketStack {
 public:
  struct Peer {
    // Reply i becomes readable with the client's send number i (counted from 0): one reply per
    // request that the client writes in one block.
    std::vector<std::string> replies;
    // The most one receive hands over.
    std::size_t piece_size = std::numeric_limits<std::size_t>::max();
    // After the last reply: true stays silent (every wait times out), false closes.
    bool silent_at_end = false;
    // When set, the peer sends this stream from the connect on, whatever the client sends (the
    // replies are not used): it writes up to size bytes into buffer and returns the count, 0
    // when the stream has ended and the peer closes.
    std::function<std::size_t(char* buffer, std::size_t size)> stream = nullptr;
    // When set, takes what the client sends instead of Sent().
    std::function<void(std::string_view bytes)> sink = nullptr;
    // Every send fails with this socket error (0: none).
    SocketErrorCode send_error = 0;
  };

  // The peer of the next connection; a connect without one is refused (10061).
  void AddPeer(Peer peer) { peers_.push_back(std::move(peer)); }

  int connections() const { return static_cast<int>(connections_.size()); }
  // Connects tried, refused ones included.
  int connect_attempts() const { return connect_attempts_; }
  // Everything the client sent on connection index (0-based).
  const std::string& Sent(int index) const { return connections_.at(index).sent; }
  bool Closed(int index) const { return connections_.at(index).closed; }

  // A socket layer over this stack (which must outlive it).
  std::unique_ptr<SocketLayer> MakeLayer() {
    return std::make_unique<SocketLayer>(
        [this] { return std::shared_ptr<SocketStack>(this, [](SocketStack*) {}); });
  }

  bool Startup() override { return true; }
  void Shutdown() override {}
  SocketHandle CreateSocket(SocketErrorCode*) override {
    sockets_.push_back(-1);
    return static_cast<SocketHandle>(sockets_.size() - 1);
  }
  SocketErrorCode Bind(SocketHandle, const std::string&, int) override { return 0; }
  SocketErrorCode ResolveIPv4(const std::string&, std::string* ip) override {
    *ip = "127.0.0.1";
    return 0;
  }
  SocketErrorCode Connect(SocketHandle socket, const std::string&, int, int) override {
    ++connect_attempts_;
    if (peers_.empty()) return 10061;
    Connection connection;
    connection.peer = std::move(peers_.front());
    connections_.push_back(std::move(connection));
    peers_.pop_front();
    sockets_.at(socket) = static_cast<int>(connections_.size() - 1);
    return 0;
  }
  SocketErrorCode SetNoDelay(SocketHandle, bool) override { return 0; }
  SocketErrorCode LocalEndpoint(SocketHandle, SocketEndpoint* endpoint) override {
    *endpoint = {"127.0.0.1", 50000};
    return 0;
  }
  SocketErrorCode PeerEndpoint(SocketHandle, SocketEndpoint* endpoint) override {
    *endpoint = {"127.0.0.1", 80};
    return 0;
  }
  WaitResult WaitReadable(SocketHandle socket, int, SocketErrorCode* error) override {
    Connection* connection = Of(socket);
    if (connection == nullptr) {
      *error = 10038;
      return WaitResult::kFailed;
    }
    if (!connection->pending.empty() || connection->peer.stream) return WaitResult::kReadable;
    const bool all_sent = connection->next_reply >= connection->peer.replies.size();
    return all_sent && !connection->peer.silent_at_end ? WaitResult::kReadable
                                                       : WaitResult::kTimedOut;
  }
  std::ptrdiff_t Receive(SocketHandle socket, char* buffer, std::size_t size,
                         SocketErrorCode* error) override {
    Connection* connection = Of(socket);
    if (connection == nullptr) {
      *error = 10038;
      return -1;
    }
    if (connection->peer.stream) {
      return static_cast<std::ptrdiff_t>(
          connection->peer.stream(buffer, std::min(size, connection->peer.piece_size)));
    }
    // Nothing pending means the peer has closed: a receive only follows a wait that said so.
    std::string& pending = connection->pending;
    const std::size_t count = std::min({size, connection->peer.piece_size, pending.size()});
    std::copy_n(pending.data(), count, buffer);
    pending.erase(0, count);
    return static_cast<std::ptrdiff_t>(count);
  }
  std::ptrdiff_t Send(SocketHandle socket, const char* data, std::size_t size,
                      SocketErrorCode* error) override {
    Connection* connection = Of(socket);
    if (connection == nullptr) {
      *error = 10038;
      return -1;
    }
    if (connection->peer.send_error != 0) {
      *error = connection->peer.send_error;
      return -1;
    }
    if (connection->peer.sink) {
      connection->peer.sink(std::string_view(data, size));
    } else {
      connection->sent.append(data, size);
    }
    if (connection->next_reply < connection->peer.replies.size()) {
      connection->pending += connection->peer.replies[connection->next_reply++];
    }
    return static_cast<std::ptrdiff_t>(size);
  }
  void ShutdownSend(SocketHandle) override {}
  void Close(SocketHandle socket) override {
    if (Connection* connection = Of(socket)) connection->closed = true;
  }
  SocketErrorCode LocalHostName(std::string* name) override {
    *name = "memory";
    return 0;
  }

 private:
  struct Connection {
    Peer peer;
    std::size_t next_reply = 0;
    std::string pending;
    std::string sent;
    bool closed = false;
  };

  Connection* Of(SocketHandle socket) {
    if (socket < 0 || static_cast<std::size_t>(socket) >= sockets_.size()) return nullptr;
    const int index = sockets_[static_cast<std::size_t>(socket)];
    return index < 0 ? nullptr : &connections_[static_cast<std::size_t>(index)];
  }

  std::deque<Peer> peers_;
  // Connection index per socket handle; -1 before the connect.
  std::vector<int> sockets_;
  std::deque<Connection> connections_;
  int connect_attempts_ = 0;
};

}  // namespace mailferry::testing
