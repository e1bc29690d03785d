// The MainThread port over Qt's event loop: work posted to or called on the GUI thread, and
// QTimer-based periodic timers.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "platform/main_thread.h"

namespace mailferry {

// A periodic Qt timer of the thread that created it. Setting the interval or the switch to the
// value it already has leaves a running countdown alone; a real change starts a new countdown.
class QtTimer : public MainThreadTimer {
 public:
  QtTimer(int interval_ms, std::function<void()> on_tick);

  int Interval() const override { return timer_.interval(); }
  void SetInterval(int interval_ms) override;
  bool Enabled() const override { return timer_.isActive(); }
  void SetEnabled(bool enabled) override;

  // Milliseconds until the next tick; -1 when switched off.
  int RemainingTime() const { return timer_.remainingTime(); }

 private:
  QTimer timer_;
  std::function<void()> on_tick_;
};

// Create it on the GUI thread, before any other thread exists; it must outlive every thread that
// posts to it. Work runs in the context of an object of its own, so nothing arrives after it has
// been destroyed.
class QtMainThread : public MainThread {
 public:
  QtMainThread();
  ~QtMainThread() override;

  void Post(std::function<void()> work) override;

  // From another thread: blocks until the GUI thread has run work (its event loop, or a modal
  // window's, must be running); an exception thrown by work is thrown again here. On the GUI
  // thread itself work runs at once.
  void RunSynchronously(const std::function<void()>& work) override;

  std::unique_ptr<MainThreadTimer> CreateTimer(int interval_ms,
                                               std::function<void()> on_tick) override;

 private:
  std::unique_ptr<QObject> context_;
};

}  // namespace mailferry
