// A MainThread under the test's control: posted work waits until the test runs it, synchronous
// calls run at once, and timers tick only when the test fires them.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/main_thread.h"

namespace mailferry::testing {

class FakeMainThread : public MainThread {
 public:
  class Timer : public MainThreadTimer {
   public:
    Timer(FakeMainThread& owner, int interval_ms, std::function<void()> on_tick);
    ~Timer() override;

    int Interval() const override { return interval_ms_; }
    void SetInterval(int interval_ms) override { interval_ms_ = interval_ms; }
    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }

    // Runs the tick handler when the timer is enabled; answers whether it ran.
    bool Fire();

   private:
    friend class FakeMainThread;
    FakeMainThread* owner_;  // null once the main thread is gone
    int interval_ms_;
    bool enabled_ = false;
    std::function<void()> on_tick_;
  };

  ~FakeMainThread() override;

  void Post(std::function<void()> work) override;
  void RunSynchronously(const std::function<void()>& work) override;
  std::unique_ptr<MainThreadTimer> CreateTimer(int interval_ms,
                                               std::function<void()> on_tick) override;

  // Runs posted work in order, including work posted meanwhile; answers how many ran.
  int RunPosted();
  // Ticks every enabled timer once, in creation order; answers how many ticked.
  int FireTimers();

  std::size_t pending() const { return posted_.size(); }
  int synchronous_calls() const { return synchronous_calls_; }
  // The timers alive now, in creation order.
  const std::vector<Timer*>& timers() const { return timers_; }

 private:
  std::deque<std::function<void()>> posted_;
  int synchronous_calls_ = 0;
  std::vector<Timer*> timers_;
};

}  // namespace mailferry::testing
