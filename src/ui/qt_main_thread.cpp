#include "ui/qt_main_thread.h"

#include <QThread>
#include <exception>

namespace mailferry {

QtTimer::QtTimer(int interval_ms, std::function<void()> on_tick) : on_tick_(std::move(on_tick)) {
  // The remaining time of a precise timer is exact, so a countdown can be told from a restart.
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(interval_ms);
  QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
    if (on_tick_) on_tick_();
  });
}

void QtTimer::SetInterval(int interval_ms) {
  if (interval_ms == timer_.interval()) return;
  // QTimer restarts an active timer's countdown with the new interval.
  timer_.setInterval(interval_ms);
}

void QtTimer::SetEnabled(bool enabled) {
  if (enabled == timer_.isActive()) return;
  if (enabled) {
    timer_.start();
  } else {
    timer_.stop();
  }
}

QtMainThread::QtMainThread() : context_(std::make_unique<QObject>()) {}

QtMainThread::~QtMainThread() = default;

void QtMainThread::Post(std::function<void()> work) {
  QMetaObject::invokeMethod(context_.get(), std::move(work), Qt::QueuedConnection);
}

void QtMainThread::RunSynchronously(const std::function<void()>& work) {
  if (QThread::currentThread() == context_->thread()) {
    work();
    return;
  }
  std::exception_ptr error;
  QMetaObject::invokeMethod(
      context_.get(),
      [&work, &error] {
        try {
          work();
        } catch (...) {
          error = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (error) std::rethrow_exception(error);
}

std::unique_ptr<MainThreadTimer> QtMainThread::CreateTimer(int interval_ms,
                                                           std::function<void()> on_tick) {
  return std::make_unique<QtTimer>(interval_ms, std::move(on_tick));
}

}  // namespace mailferry
