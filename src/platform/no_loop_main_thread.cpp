#include "platform/no_loop_main_thread.h"

#include <atomic>

namespace mailferry {
namespace {

class IdleTimer : public MainThreadTimer {
 public:
  explicit IdleTimer(int interval_ms) : interval_ms_(interval_ms) {}

  int Interval() const override { return interval_ms_; }
  void SetInterval(int interval_ms) override { interval_ms_ = interval_ms; }
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }

 private:
  int interval_ms_;
  bool enabled_ = false;
};

std::atomic<MainThread*> installed_main_thread{nullptr};

}  // namespace

void NoLoopMainThread::Post(std::function<void()> work) { RunSynchronously(work); }

void NoLoopMainThread::RunSynchronously(const std::function<void()>& work) {
  std::lock_guard lock(mutex_);
  work();
}

std::unique_ptr<MainThreadTimer> NoLoopMainThread::CreateTimer(int interval_ms,
                                                               std::function<void()>) {
  return std::make_unique<IdleTimer>(interval_ms);
}

MainThread& ProcessMainThread() {
  static NoLoopMainThread no_loop;
  MainThread* installed = installed_main_thread.load();
  return installed != nullptr ? *installed : no_loop;
}

void SetProcessMainThread(MainThread* main_thread) { installed_main_thread.store(main_thread); }

}  // namespace mailferry
