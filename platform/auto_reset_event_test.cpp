#include "platform/auto_reset_event.h"

#include <thread>

#include <gtest/gtest.h>

namespace kx::platform {
namespace {

using namespace std::chrono_literals;

TEST(AutoResetEventTest, SignalsDoNotCountUp) {
  AutoResetEvent event;
  EXPECT_FALSE(event.TryWait());
  event.Signal();
  event.Signal();
  EXPECT_TRUE(event.TryWait());
  EXPECT_FALSE(event.TryWait());  // two signals released one wait
  event.Signal();
  event.Reset();
  EXPECT_FALSE(event.WaitFor(1ms));
}

TEST(AutoResetEventTest, WakesAWaiterOnAnotherThread) {
  AutoResetEvent event;
  std::thread signaller([&] {
    std::this_thread::sleep_for(5ms);
    event.Signal();
  });
  EXPECT_TRUE(event.WaitFor(10s));
  signaller.join();
}

}  // namespace
}  // namespace kx::platform
