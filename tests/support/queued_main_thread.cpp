#include "support/queued_main_thread.h"

#include <exception>
#include <memory>

namespace mailferry::testing {

void QueuedMainThread::Post(std::function<void()> work) {
  std::lock_guard lock(mutex_);
  queue_.push_back({std::move(work), false});
  changed_.notify_all();
}

void QueuedMainThread::RunSynchronously(const std::function<void()>& work) {
  if (IsMainThread()) {
    work();
    return;
  }
  struct Call {
    bool done = false;
    std::exception_ptr error;
  };
  auto call = std::make_shared<Call>();
  std::unique_lock lock(mutex_);
  queue_.push_back({[this, call, &work] {
                      try {
                        work();
                      } catch (...) {
                        call->error = std::current_exception();
                      }
                      std::lock_guard done_lock(mutex_);
                      call->done = true;
                      changed_.notify_all();
                    },
                    true});
  changed_.notify_all();
  changed_.wait(lock, [&] { return call->done; });
  if (call->error) std::rethrow_exception(call->error);
}

bool QueuedMainThread::RunUntil(const std::function<bool()>& done) {
  while (!done()) {
    Item item;
    {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, kWaitLimit, [&] { return !queue_.empty(); })) return false;
      item = std::move(queue_.front());
      queue_.pop_front();
    }
    item.work();
  }
  return true;
}

int QueuedMainThread::RunQueued() {
  int ran = 0;
  for (;;) {
    Item item;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return ran;
      item = std::move(queue_.front());
      queue_.pop_front();
    }
    item.work();
    ++ran;
  }
}

bool QueuedMainThread::HasWaitingCall() {
  std::lock_guard lock(mutex_);
  for (const Item& item : queue_) {
    if (item.synchronous) return true;
  }
  return false;
}

bool QueuedMainThread::WaitForCall() {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kWaitLimit, [&] {
    for (const Item& item : queue_) {
      if (item.synchronous) return true;
    }
    return false;
  });
}

}  // namespace mailferry::testing
