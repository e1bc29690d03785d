#include "support/fake_main_thread.h"

#include <algorithm>

namespace mailferry::testing {

FakeMainThread::Timer::Timer(FakeMainThread& owner, int interval_ms, std::function<void()> on_tick)
    : owner_(&owner), interval_ms_(interval_ms), on_tick_(std::move(on_tick)) {
  owner_->timers_.push_back(this);
}

FakeMainThread::Timer::~Timer() {
  if (owner_ != nullptr) std::erase(owner_->timers_, this);
}

bool FakeMainThread::Timer::Fire() {
  if (!enabled_) return false;
  on_tick_();
  return true;
}

FakeMainThread::~FakeMainThread() {
  for (Timer* timer : timers_) timer->owner_ = nullptr;
}

void FakeMainThread::Post(std::function<void()> work) { posted_.push_back(std::move(work)); }

void FakeMainThread::RunSynchronously(const std::function<void()>& work) {
  ++synchronous_calls_;
  work();
}

std::unique_ptr<MainThreadTimer> FakeMainThread::CreateTimer(int interval_ms,
                                                             std::function<void()> on_tick) {
  return std::make_unique<Timer>(*this, interval_ms, std::move(on_tick));
}

int FakeMainThread::RunPosted() {
  int ran = 0;
  while (!posted_.empty()) {
    auto work = std::move(posted_.front());
    posted_.pop_front();
    work();
    ++ran;
  }
  return ran;
}

int FakeMainThread::FireTimers() {
  int ticked = 0;
  // A tick may create or destroy timers; walk a snapshot and skip the ones gone meanwhile.
  const std::vector<Timer*> snapshot = timers_;
  for (Timer* timer : snapshot) {
    if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end()) continue;
    if (timer->Fire()) ++ticked;
  }
  return ticked;
}

}  // namespace mailferry::testing
