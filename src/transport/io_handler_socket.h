// TMfIOHandlerSocket and its TMfSocketHandle: the socket of one connection, whether it is open,
// and the addresses of both ends. Plain state; the connection does the socket calls.
#pragma once

#include <utility>

#include "platform/socket_stack.h"

namespace mailferry {

class TMfSocketHandle {
 public:
  SocketHandle Handle() const { return handle_; }
  // This flag alone decides whether the socket counts as open.
  bool HandleAllocated() const { return allocated_; }
  const SocketEndpoint& Local() const { return local_; }
  const SocketEndpoint& Peer() const { return peer_; }

  void Allocate(SocketHandle handle) {
    handle_ = handle;
    allocated_ = true;
  }
  void MarkClosed() { allocated_ = false; }
  void SetLocal(SocketEndpoint local) { local_ = std::move(local); }
  void SetPeer(SocketEndpoint peer) { peer_ = std::move(peer); }

  // Not allocated, addresses and ports cleared.
  void Reset() {
    handle_ = kInvalidSocketHandle;
    allocated_ = false;
    local_ = {};
    peer_ = {};
  }

 private:
  SocketHandle handle_ = kInvalidSocketHandle;
  bool allocated_ = false;
  SocketEndpoint local_;
  SocketEndpoint peer_;
};

class TMfIOHandlerSocket {
 public:
  // True (the default): the TCP no-delay option is left off.
  bool UseNagle() const { return use_nagle_; }
  void SetUseNagle(bool use_nagle) { use_nagle_ = use_nagle; }

  TMfSocketHandle& Binding() { return binding_; }
  const TMfSocketHandle& Binding() const { return binding_; }
  bool Connected() const { return binding_.HandleAllocated(); }

 private:
  bool use_nagle_ = true;
  TMfSocketHandle binding_;
};

}  // namespace mailferry
