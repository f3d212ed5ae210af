// Stop, Pause and destruction cut the output's sleeps short. The clock here
// sleeps a full minute whatever it is asked, so a sleep that ends must have
// been interrupted; the test looks at how it ended, never at how long it took.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "OutputTestSupport.h"
#include "audio/core/TAuOutput.h"

namespace {

class TMinuteSleepClock : public TSoundClock {
 public:
  int64_t Frequency() const override { return RealClock.Frequency(); }
  int64_t Now() const override { return RealClock.Now(); }
  bool Sleep(uint32_t ms, TSleepWaiter& waiter) override {
    {
      std::lock_guard lock(StateLock);
      ++Sleeping;
      LastMs = ms;
    }
    StateCond.notify_all();
    const bool slept = waiter.WaitFor(std::chrono::minutes(1), nullptr);
    std::lock_guard lock(StateLock);
    --Sleeping;
    ++(slept ? FullSleeps : InterruptedSleeps);
    return slept;
  }

  // Test thread: waits until the worker sleeps.
  void WaitUntilSleeping() {
    std::unique_lock lock(StateLock);
    StateCond.wait(lock, [&] { return Sleeping > 0; });
  }
  int Interrupted() {
    std::lock_guard lock(StateLock);
    return InterruptedSleeps;
  }
  int Full() {
    std::lock_guard lock(StateLock);
    return FullSleeps;
  }
  uint32_t LastSleepMs() {
    std::lock_guard lock(StateLock);
    return LastMs;
  }

 private:
  TRealClock RealClock;
  std::mutex StateLock;  // guards the counters below
  std::condition_variable StateCond;
  int Sleeping = 0;
  int FullSleeps = 0;
  int InterruptedSleeps = 0;
  uint32_t LastMs = 0;
};

struct TSleepRig {
  explicit TSleepRig(double seconds) : Rig({}, Clock) {
    Rig.Input = std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(size_t(seconds * 44100) * 4));
    Rig.Out->SetPollingInterval(800);
    Rig.Out->SetInput(Rig.Input.get());
    Rig.Out->Run();
    Clock->WaitUntilSleeping();
  }
  std::shared_ptr<TMinuteSleepClock> Clock = std::make_shared<TMinuteSleepClock>();
  TOutputRig Rig;
};

TEST(SleepWake, StopWithoutAsyncEndsThePollingSleepAndFinishesThePass) {
  TSleepRig s(5.0);
  EXPECT_EQ(s.Clock->LastSleepMs(), 495u);  // a third of the 1.486 s buffer, not 800 ms
  s.Rig.Out->Stop(false);
  EXPECT_EQ(s.Clock->Interrupted(), 1);
  EXPECT_EQ(s.Clock->Full(), 0);
  EXPECT_EQ(s.Rig.Out->Status(), osIdle);
  EXPECT_EQ(s.Rig.System->Stats().DevicesOpen, 0);
  EXPECT_EQ(s.Rig.Input->Flushes.load(), 1);
}

TEST(SleepWake, PauseEndsThePollingSleepAndStopsTheDevice) {
  TSleepRig s(5.0);
  s.Rig.Out->Pause();
  EXPECT_EQ(s.Rig.Out->Status(), osPaused);
  EXPECT_EQ(s.Clock->Interrupted(), 1);
  EXPECT_GE(s.Rig.System->Stats().Stops, 1);
  s.Rig.Out->Stop(false);
  EXPECT_EQ(s.Clock->Full(), 0);
  EXPECT_EQ(s.Rig.Out->Status(), osIdle);
}

TEST(SleepWake, StopEndsTheDrainSleep) {
  TSleepRig s(0.2);  // ends inside the first block: the first sleep drains
  EXPECT_EQ(s.Clock->LastSleepMs(), 100u);
  s.Rig.Out->Stop(false);
  EXPECT_EQ(s.Clock->Interrupted(), 1);
  EXPECT_EQ(s.Clock->Full(), 0);
  EXPECT_EQ(s.Rig.System->Stats().DevicesOpen, 0);
}

TEST(SleepWake, DestroyingAPlayingOutputEndsItsSleep) {
  TSleepRig s(5.0);
  s.Rig.Out.reset();
  EXPECT_EQ(s.Clock->Interrupted(), 1);
  EXPECT_EQ(s.Clock->Full(), 0);
  EXPECT_EQ(s.Rig.System->Stats().DevicesOpen, 0);
  EXPECT_EQ(s.Rig.Input->Flushes.load(), 1);
}

TEST(SleepWake, AsyncStopEndsTheSleepAndDeliversOneOnDone) {
  TSleepRig s(5.0);
  s.Rig.Out->Stop(true);
  ASSERT_TRUE(s.Rig.WaitDone());
  EXPECT_EQ(s.Clock->Interrupted(), 1);
  EXPECT_EQ(s.Rig.DoneEvents.load(), 1);
  EXPECT_EQ(s.Rig.Out->Status(), osIdle);
}

}  // namespace
