#include "transport/socket_layer.h"

#include <utility>

#include "transport/transport_exceptions.h"

namespace mailferry {

SocketLayer::SocketLayer(Factory factory) : factory_(std::move(factory)) {}

SocketLayer& SocketLayer::Process() {
  // Never destroyed, so transport objects that outlive static destruction stay safe.
  static SocketLayer* const layer =
      new SocketLayer([] { return std::shared_ptr<SocketStack>(CreateSystemSocketStack()); });
  return *layer;
}

SocketStack& SocketLayer::Acquire() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (users_ == 0) {
    auto stack = factory_();
    if (!stack || !stack->Startup()) throw EMfStackInitializationFailed();
    stack_ = std::move(stack);
  }
  ++users_;
  return *stack_;
}

void SocketLayer::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (users_ == 0) return;
  if (--users_ == 0) {
    stack_->Shutdown();
    stack_.reset();
  }
}

int SocketLayer::UserCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return users_;
}

}  // namespace mailferry
