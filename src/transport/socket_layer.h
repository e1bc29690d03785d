// The process-wide socket layer: the socket stack starts with the first transport object and
// shuts down with the last, under one lock around the instance count.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "platform/socket_stack.h"

namespace mailferry {

class SocketLayer {
 public:
  using Factory = std::function<std::shared_ptr<SocketStack>()>;

  // A layer whose stack the factory creates at the first Acquire and which is released again
  // after the last Release.
  explicit SocketLayer(Factory factory);
  SocketLayer(const SocketLayer&) = delete;
  SocketLayer& operator=(const SocketLayer&) = delete;

  // The layer of the whole process, over the operating system's socket stack.
  static SocketLayer& Process();

  // Counts one more user; the first one creates and starts the stack. Raises
  // EMfStackInitializationFailed "Winsock Initialization Error." when it cannot start; the count
  // is then unchanged. Thread-safe.
  SocketStack& Acquire();

  // Counts one user less; the last one shuts the stack down and lets it go. Thread-safe.
  void Release();

  int UserCount() const;

 private:
  Factory factory_;
  mutable std::mutex mutex_;
  int users_ = 0;
  std::shared_ptr<SocketStack> stack_;
};

// One use of a socket layer for the lifetime of a transport object.
class SocketLayerLease {
 public:
  explicit SocketLayerLease(SocketLayer& layer) : layer_(layer), stack_(layer.Acquire()) {}
  ~SocketLayerLease() { layer_.Release(); }
  SocketLayerLease(const SocketLayerLease&) = delete;
  SocketLayerLease& operator=(const SocketLayerLease&) = delete;

  SocketStack& stack() const { return stack_; }

 private:
  SocketLayer& layer_;
  SocketStack& stack_;
};

}  // namespace mailferry
