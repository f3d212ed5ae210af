// The output's poll timing on the simulated clock, where the time between
// two polls is known exactly: the step's sleep plus whatever a test adds.

#include <gtest/gtest.h>

#include "OutputTestSupport.h"

namespace {

constexpr int64_t kSecondBytes = 44100 * 4;

std::unique_ptr<TScriptedInput> Seconds(double seconds) {
  return std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(size_t(seconds * 44100) * 4));
}

TEST(DXAudioOutPollTiming, OnlyASlowStepMakesALatePollAndItsLatenessIsMeasured) {
  TOutputRig rig;
  rig.Input = Seconds(6.0);
  rig.Out->SetPollingInterval(200);
  // Reading after the first block: a stall within the margin, then one
  // beyond it. Neither is long enough to underrun the 1.49 s buffer.
  bool small = false, large = false;
  rig.Input->BeforeBlock = [&](int64_t position) {
    if (position >= 2 * kSecondBytes && !small) {
      small = true;
      rig.SimClock->AdvanceMs(TDXAudioOut::kLatePollMarginMs - 10);
    } else if (position >= 4 * kSecondBytes && !large) {
      large = true;
      rig.SimClock->AdvanceMs(300);
    }
  };
  ASSERT_TRUE(rig.Play());

  EXPECT_EQ(rig.UnderrunEvents.load(), 0);
  EXPECT_GT(rig.Out->MeasuredPolls(), 10);
  EXPECT_EQ(rig.Out->LatePolls(), 1);
  EXPECT_EQ(rig.Out->WorstPollLatenessUs(), 300'000);
}

TEST(DXAudioOutPollTiming, APauseIsNotALatePoll) {
  TOutputRig rig;
  rig.Input = Seconds(5.0);
  ASSERT_TRUE(rig.RunAndHoldAfter(2 * kSecondBytes));
  rig.Out->Pause();
  ASSERT_EQ(rig.Out->Status(), osPaused);
  rig.SimClock->AdvanceMs(10000);
  rig.SimClock->Release();
  rig.Out->Resume();
  ASSERT_TRUE(rig.WaitDone());

  EXPECT_GT(rig.Out->MeasuredPolls(), 0);
  EXPECT_EQ(rig.Out->LatePolls(), 0);
  EXPECT_EQ(rig.Out->WorstPollLatenessUs(), 0);
}

}  // namespace
