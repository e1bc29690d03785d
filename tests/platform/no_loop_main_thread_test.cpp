#include "platform/no_loop_main_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

#include "common/mf_exception.h"

namespace mailferry {
namespace {

TEST(NoLoopMainThreadTest, SynchronousWorkRunsOnTheCallingThreadBeforeTheCallReturns) {
  NoLoopMainThread main_thread;
  std::thread::id ran_on;
  main_thread.RunSynchronously([&] { ran_on = std::this_thread::get_id(); });
  EXPECT_EQ(ran_on, std::this_thread::get_id());

  std::thread worker(
      [&] { main_thread.RunSynchronously([&] { ran_on = std::this_thread::get_id(); }); });
  const auto worker_id = worker.get_id();
  worker.join();
  EXPECT_EQ(ran_on, worker_id);
}

TEST(NoLoopMainThreadTest, ErrorsOfSynchronousWorkReachTheCaller) {
  NoLoopMainThread main_thread;
  EXPECT_THROW(main_thread.RunSynchronously([] { throw EMfException("failed"); }), EMfException);
  // The lock was released: the next call runs.
  bool ran = false;
  main_thread.RunSynchronously([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(NoLoopMainThreadTest, PostedAndNestedWorkRunsAtOnce) {
  NoLoopMainThread main_thread;
  std::string trace;
  main_thread.RunSynchronously([&] {
    trace += "a";
    main_thread.Post([&] { trace += "b"; });
    main_thread.RunSynchronously([&] { trace += "c"; });
    trace += "d";
  });
  EXPECT_EQ(trace, "abcd");
}

TEST(NoLoopMainThreadTest, CallsFromSeveralThreadsNeverOverlap) {
  NoLoopMainThread main_thread;
  constexpr int kCallsPerThread = 2000;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  int counter = 0;  // guarded by the main thread's lock alone
  const auto work = [&] {
    if (inside.fetch_add(1) != 0) overlapped = true;
    ++counter;
    inside.fetch_sub(1);
  };
  std::thread a([&] {
    for (int i = 0; i < kCallsPerThread; ++i) main_thread.RunSynchronously(work);
  });
  std::thread b([&] {
    for (int i = 0; i < kCallsPerThread; ++i) main_thread.Post(work);
  });
  a.join();
  b.join();
  EXPECT_FALSE(overlapped);
  EXPECT_EQ(counter, 2 * kCallsPerThread);
}

TEST(NoLoopMainThreadTest, TimersKeepTheirSettingsButNeverTick) {
  NoLoopMainThread main_thread;
  auto tick_target = std::make_shared<int>(0);
  auto timer = main_thread.CreateTimer(1000, [tick_target] { ++*tick_target; });
  EXPECT_EQ(timer->Interval(), 1000);
  EXPECT_FALSE(timer->Enabled());
  timer->SetEnabled(true);
  timer->SetInterval(250);
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 250);
  // The tick handler was not even kept, so nothing can ever run it.
  EXPECT_EQ(tick_target.use_count(), 1);
  EXPECT_EQ(*tick_target, 0);
}

TEST(ProcessMainThreadTest, DefaultsToNoLoopUntilOneIsInstalled) {
  MainThread& fallback = ProcessMainThread();
  EXPECT_NE(dynamic_cast<NoLoopMainThread*>(&fallback), nullptr);
  NoLoopMainThread installed;
  SetProcessMainThread(&installed);
  EXPECT_EQ(&ProcessMainThread(), &installed);
  SetProcessMainThread(nullptr);
  EXPECT_EQ(&ProcessMainThread(), &fallback);
}

}  // namespace
}  // namespace mailferry
