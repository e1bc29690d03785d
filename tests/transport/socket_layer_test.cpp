#include "transport/socket_layer.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/fake_socket_stack.h"
#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

using testing::FakeSocketStack;

TEST(SocketLayerTest, StartsWithTheFirstUserAndStopsWithTheLast) {
  FakeSocketStack stack;
  auto layer = stack.MakeLayer();
  {
    SocketLayerLease first(*layer);
    SocketLayerLease second(*layer);
    EXPECT_EQ(layer->UserCount(), 2);
    EXPECT_EQ(stack.startups(), 1);
    EXPECT_EQ(stack.shutdowns(), 0);
  }
  EXPECT_EQ(layer->UserCount(), 0);
  EXPECT_EQ(stack.shutdowns(), 1);
  // A later user starts it again.
  SocketLayerLease again(*layer);
  EXPECT_EQ(stack.startups(), 2);
}

TEST(SocketLayerTest, AFailedStartUpRaisesAndCountsNoUser) {
  FakeSocketStack stack;
  stack.set_startup_fails(true);
  auto layer = stack.MakeLayer();
  try {
    SocketLayerLease lease(*layer);
    FAIL() << "start-up failure not raised";
  } catch (const EMfStackInitializationFailed& e) {
    EXPECT_STREQ(e.what(), "Winsock Initialization Error.");
  }
  EXPECT_EQ(layer->UserCount(), 0);
  EXPECT_EQ(stack.shutdowns(), 0);
}

TEST(SocketLayerTest, ConcurrentUsersShareOneStart) {
  FakeSocketStack stack;
  auto layer = stack.MakeLayer();
  SocketLayerLease held(*layer);  // keeps the stack up while the threads come and go
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) SocketLayerLease lease(*layer);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(layer->UserCount(), 1);
  EXPECT_EQ(stack.startups(), 1);
  EXPECT_EQ(stack.shutdowns(), 0);
}

TEST(SocketLayerTest, TheProcessLayerServesTheSystemStack) {
  SocketLayerLease lease(SocketLayer::Process());
  std::string name;
  EXPECT_EQ(lease.stack().LocalHostName(&name), 0);
  EXPECT_GE(SocketLayer::Process().UserCount(), 1);
}

}  // namespace
}  // namespace mailferry
