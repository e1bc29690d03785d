// A MainThread that behaves like an event loop driven by the test: synchronous calls from other
// threads wait in a queue until the test's thread runs them, so a worker really blocks while its
// completion runs on the main thread. Timers tick only when the test fires them (FakeMainThread).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "support/fake_main_thread.h"

namespace mailferry::testing {

class QueuedMainThread : public FakeMainThread {
 public:
  // How long RunUntil waits for work before it gives up.
  static constexpr std::chrono::seconds kWaitLimit{30};

  // The constructing thread is the main thread.
  QueuedMainThread() : main_id_(std::this_thread::get_id()) {}

  // Queued; runs when the test runs the queue.
  void Post(std::function<void()> work) override;
  // On the main thread: at once. From any other thread: queued, and the caller waits until the
  // test's thread has run it; its exception reaches the caller.
  void RunSynchronously(const std::function<void()>& work) override;

  // Runs queued work on the calling (main) thread, waiting for more as needed, until done()
  // answers true; false when no work came within kWaitLimit.
  bool RunUntil(const std::function<bool()>& done);
  // Runs what is queued now without waiting; answers how many ran.
  int RunQueued();
  // Whether a synchronous call from another thread is waiting in the queue.
  bool HasWaitingCall();
  // Runs until a synchronous call from another thread waits in the queue, without running it.
  bool WaitForCall();

  bool IsMainThread() const { return std::this_thread::get_id() == main_id_; }

 private:
  struct Item {
    std::function<void()> work;
    bool synchronous = false;
  };

  std::thread::id main_id_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> queue_;
};

}  // namespace mailferry::testing
