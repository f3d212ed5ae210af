// The soak's watchdog: a step that never ends is reported with every
// thread's stack, and the process aborts.

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "StackWatchdog.h"

namespace {

// Blocks the calling thread for good: nothing ever notifies.
[[noreturn]] void BlockForever() {
  std::mutex lock;
  std::condition_variable never;
  std::unique_lock<std::mutex> held(lock);
  for (;;) never.wait(held);
}

TEST(StackWatchdogDeathTest, AHungStepPrintsContextAndEveryThreadsStackThenAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        // A second thread, blocked too: its stack is printed as well.
        std::thread other(BlockForever);
        other.detach();
        TStackWatchdog watchdog(std::chrono::milliseconds(50), [] { std::fprintf(stderr, "context: step 7\n"); });
        watchdog.Begin();
        BlockForever();
      },
      "WATCHDOG(.|\n)*context: step 7(.|\n)*---- thread [0-9]+(.|\n)*---- thread [0-9]+(.|\n)*---- thread [0-9]+");
}

TEST(StackWatchdogTest, StepsThatEndLetTheRunGoOn) {
  bool hung = false;
  {
    TStackWatchdog watchdog(std::chrono::seconds(5), [&] { hung = true; });
    for (int i = 0; i < 1000; ++i) {
      watchdog.Begin();
      watchdog.End();
    }
  }
  EXPECT_FALSE(hung);
}

}  // namespace
