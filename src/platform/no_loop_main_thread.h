// MainThread of a program without an event loop (mailferryctl, worker threads): work runs at once
// on the calling thread, one piece at a time, and timers never tick.
#pragma once

#include <mutex>

#include "platform/main_thread.h"

namespace mailferry {

class NoLoopMainThread : public MainThread {
 public:
  // Without a loop there is no later: posted work runs at once, like a synchronous call.
  void Post(std::function<void()> work) override;

  // Runs work on the calling thread under the object's lock, so that calls from several threads
  // never overlap. Work may itself post or call synchronously.
  void RunSynchronously(const std::function<void()>& work) override;

  // A timer that keeps its interval and switch but never ticks.
  std::unique_ptr<MainThreadTimer> CreateTimer(int interval_ms,
                                               std::function<void()> on_tick) override;

 private:
  std::recursive_mutex mutex_;
};

}  // namespace mailferry
