// The MainThread port: what the program's event loop offers the core - running work on the main
// thread, now or later, and periodic timers.
#pragma once

#include <functional>
#include <memory>

namespace mailferry {

// A periodic timer, created stopped. It belongs to the thread that created it and ticks only
// through that thread's event loop; on a thread without one it never ticks. Use it from that
// thread only.
class MainThreadTimer {
 public:
  virtual ~MainThreadTimer() = default;

  virtual int Interval() const = 0;  // milliseconds
  virtual void SetInterval(int interval_ms) = 0;

  virtual bool Enabled() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
};

class MainThread {
 public:
  virtual ~MainThread() = default;

  // Runs work on the main thread later; callable from any thread. Posted work must not throw.
  virtual void Post(std::function<void()> work) = 0;

  // Runs work on the main thread and returns when it has returned; callable from any thread but
  // the main thread's own event handlers. An exception thrown by work reaches the caller.
  virtual void RunSynchronously(const std::function<void()>& work) = 0;

  // A new stopped timer of the calling thread whose ticks run on_tick.
  virtual std::unique_ptr<MainThreadTimer> CreateTimer(int interval_ms,
                                                       std::function<void()> on_tick) = 0;
};

// The process's main thread: the one installed at start-up (the desktop program installs its event
// loop), otherwise the NoLoopMainThread of a program without an event loop.
MainThread& ProcessMainThread();

// Installs the process's main thread; nullptr restores the default. Call at start-up before any
// other thread exists; the object must live until the program ends or is uninstalled.
void SetProcessMainThread(MainThread* main_thread);

}  // namespace mailferry
