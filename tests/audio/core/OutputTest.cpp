// The output base: run/stop/pause protocol, events, progress, errors on the
// worker, input assignment; and the input base's Init and ReadFull.

#include <gtest/gtest.h>

#include "CoreTestSupport.h"
#include "audio/core/TEventHandler.h"

using namespace coretest;
using namespace std::chrono_literals;

namespace {

// Captures events on the pumping (GUI) thread.
struct EventLog {
  std::atomic<int> Done{0}, Progress{0}, Errors{0};
  std::vector<std::string> Order;  // GUI thread only
  std::string LastError;

  void Attach(TAuOutput& Out) {
    Out.OnDone = [this](TComponent*) {
      ++Done;
      Order.push_back("done");
    };
    Out.OnProgress = [this](TComponent*) {
      ++Progress;
      Order.push_back("progress");
    };
    Out.OnThreadException = [this](TComponent* Sender) {
      ++Errors;
      LastError = static_cast<TAuOutput*>(Sender)->ExceptionMessage();
      Order.push_back("error");
    };
  }
};

// Starts a pass over an endless input of Bytes whose every step sleeps until
// something wakes it, so the pass stays busy until the test ends it.
void RunHeld(TCaptureOut& Out, TScriptedIn& In, size_t Bytes = 64) {
  In.Data = Pattern(Bytes);
  In.Endless = true;
  Out.StepSleep = 1h;
  Out.SetInput(&In);
  Out.Run();
}

// Pumps until an event posted now by another component arrives, so every
// event queued before it has been delivered.
bool DeliverQueuedEvents() {
  TComponent marker(nullptr);
  bool markerSeen = false;
  TEventHandler::PostGeneric(&marker, [&](TComponent*) { markerSeen = true; });
  return PumpUntil([&] { return markerSeen; });
}

}  // namespace

TEST(InputBase, InitSwallowsAFailingStartAndReportsTheEndOfData) {
  TScriptedIn in;
  in.FailInit = true;
  EXPECT_NO_THROW(in.Init());
  EXPECT_TRUE(in.EndOfData);
  in.FailInit = false;
  in.Init();
  EXPECT_FALSE(in.EndOfData);
}

TEST(InputBase, ReadFullGathersShortBlocksAndReportsTheEnd) {
  TScriptedIn in;
  in.Data = Pattern(10);
  in.MaxBlock = 3;
  in.Init();
  uint8_t out[16] = {};
  bool ended = true;
  EXPECT_EQ(ReadFull(in, out, 8, ended), 8u);
  EXPECT_FALSE(ended);
  EXPECT_EQ(ReadFull(in, out + 8, 8, ended), 2u);
  EXPECT_TRUE(ended);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 10), in.Data);

  const int pulls = in.Pulls;
  EXPECT_EQ(ReadFull(in, out, 0, ended), 0u);
  EXPECT_TRUE(ended);
  EXPECT_EQ(in.Pulls, pulls);  // a wanted count of 0 makes no call
  EXPECT_EQ(ReadChunk(in, out, 4), 0u);
}

TEST(OutputErrors, RunAndPauseRaiseTheirExactTexts) {
  TCaptureOut out;
  EXPECT_EQ(MessageOf([&] { out.Run(); }), "Input is not assigned");
  EXPECT_EQ(MessageOf([&] { out.Pause(); }), "Input is not assigned.");
  EXPECT_NO_THROW(out.Resume());
  EXPECT_EQ(out.Status(), osIdle);
}

TEST(OutputErrors, RunOnABusyOutputRaisesAndLeavesThePassRunning) {
  TCaptureOut out;
  TScriptedIn in;
  RunHeld(out, in);
  EXPECT_EQ(MessageOf([&] { out.Run(); }), "Component is Busy");
  EXPECT_EQ(out.Status(), osPlaying);
  ASSERT_TRUE(PumpUntil([&] { return out.Steps >= 1; }));
  EXPECT_EQ(out.Prepares, 1);
  out.Stop(false);
  EXPECT_EQ(out.Dones, 1);
}

TEST(OutputPass, PassCopiesEveryByteCallsPrepareAndDoneOnceAndEndsWithOneOnDone) {
  TCaptureOut out;
  EventLog log;
  log.Attach(out);
  TScriptedIn in;
  in.Data = Pattern(10000);
  in.MaxBlock = 999;
  out.BlockBytes = 1000;
  out.SetInput(&in);
  out.Run();
  ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
  EXPECT_EQ(out.Captured(), in.Data);
  EXPECT_EQ(out.Prepares, 1);
  EXPECT_EQ(out.Dones, 1);
  EXPECT_EQ(in.Inits, 1);
  EXPECT_EQ(in.Flushes, 1);
  EXPECT_GT(log.Progress, 0);
  EXPECT_EQ(log.Order.back(), "done");  // no progress after OnDone
  EXPECT_EQ(out.Status(), osIdle);
}

TEST(OutputPass, InsideOnDoneTheOutputIsIdleAndRunStartsANewPass) {
  TCaptureOut out;
  TScriptedIn in;
  in.Data = Pattern(300);
  out.SetInput(&in);
  std::vector<TOutputStatus> statuses;
  int passes = 0;
  out.OnDone = [&](TComponent* Sender) {
    auto* output = static_cast<TAuOutput*>(Sender);
    statuses.push_back(output->Status());
    if (++passes < 3) output->Run();
  };
  out.Run();
  ASSERT_TRUE(PumpUntil([&] { return passes == 3; }));
  EXPECT_EQ(statuses, (std::vector<TOutputStatus>{osIdle, osIdle, osIdle}));
  EXPECT_EQ(out.Captured().size(), 900u);
  EXPECT_EQ(in.Flushes, 3);
}

TEST(OutputStop, StopWithoutAsyncWakesTheStepReturnsAfterDoneAndDeliversNothingMore) {
  TCaptureOut out;
  EventLog log;
  log.Attach(out);
  TScriptedIn in;
  RunHeld(out, in, 256);  // only a wake-up ends the step's sleep
  ASSERT_TRUE(PumpUntil([&] { return out.Steps >= 1; }));
  out.Stop(false);
  EXPECT_EQ(out.Dones, 1);
  EXPECT_EQ(out.InterruptedSleeps, 1);
  EXPECT_FALSE(out.Busy());
  EXPECT_EQ(out.Status(), osIdle);
  EXPECT_EQ(in.Flushes, 1);
  ASSERT_TRUE(DeliverQueuedEvents());
  EXPECT_EQ(log.Done, 0);
  // Events of the next pass flow again.
  in.Endless = false;
  out.StepSleep = 0ms;
  out.Run();
  ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
}

TEST(OutputStop, StopAsyncReturnsAtOnceAndExactlyOneOnDoneFollowsOnceTheWorkerIsIdle) {
  TCaptureOut out;
  TScriptedIn in;
  int done = 0;
  bool busyInDone = true;
  out.OnDone = [&](TComponent*) {
    ++done;
    busyInDone = out.Busy();
  };
  RunHeld(out, in, 256);
  ASSERT_TRUE(PumpUntil([&] { return out.Steps >= 1; }));
  out.Stop(true);
  ASSERT_TRUE(PumpUntil([&] { return done == 1; }));
  EXPECT_FALSE(busyInDone);
  EXPECT_EQ(out.Dones, 1);
  // Draining the queue proves no second OnDone is on its way.
  ASSERT_TRUE(DeliverQueuedEvents());
  EXPECT_EQ(done, 1);
}

TEST(OutputStop, StopRightAfterRunIsNotLost) {
  TCaptureOut out;
  TScriptedIn in;
  in.Data = Pattern(64);
  in.Endless = true;
  out.SetInput(&in);
  for (int i = 0; i < 20; ++i) {
    out.Run();
    out.Stop(false);
    ASSERT_EQ(out.Status(), osIdle);
  }
  EXPECT_EQ(out.Prepares, 20);
  EXPECT_EQ(out.Dones, 20);
}

TEST(OutputPause, PauseAndResumeMoveTheStatusWakeTheStepAndCallTheInputHooks) {
  TCaptureOut out;
  TScriptedIn in;
  RunHeld(out, in);
  ASSERT_TRUE(PumpUntil([&] { return out.Steps >= 1; }));
  out.Pause();
  EXPECT_EQ(out.Status(), osPaused);
  EXPECT_EQ(out.InterruptedSleeps, 1);  // the pause woke the step's sleep
  EXPECT_EQ(in.Pauses, 1);
  const int steps = out.Steps;
  out.Resume();
  EXPECT_EQ(in.Resumes, 1);
  ASSERT_TRUE(PumpUntil([&] { return out.Steps > steps; }));
  EXPECT_EQ(out.Status(), osPlaying);
  out.Stop(false);
  EXPECT_EQ(out.Status(), osIdle);
}

TEST(OutputPause, StopWhilePausedEndsThePass) {
  TCaptureOut out;
  TScriptedIn in;
  RunHeld(out, in);
  out.Pause();
  ASSERT_EQ(out.Status(), osPaused);
  out.Stop(false);
  EXPECT_EQ(out.Status(), osIdle);
  EXPECT_EQ(out.Dones, 1);
}

TEST(OutputPause, PauseAndResumeOnAnIdleOutputDoNothing) {
  TCaptureOut out;
  TScriptedIn in;
  out.SetInput(&in);
  out.Pause();
  out.Resume();
  EXPECT_EQ(in.Pauses, 0);
  EXPECT_EQ(in.Resumes, 0);
  EXPECT_EQ(out.Status(), osIdle);
}

TEST(OutputProgress, ProgressIsPositionOverSizeRoundedHalfToEven) {
  TCaptureOut out;
  EXPECT_EQ(out.Progress(), 0);  // no input
  TScriptedIn in;
  out.SetInput(&in);
  in.Size = -1;
  EXPECT_EQ(out.Progress(), -1);
  in.Size = 0;
  EXPECT_EQ(out.Progress(), 0);
  in.Size = 200;
  in.Position = 1;  // 0.5 %
  EXPECT_EQ(out.Progress(), 0);
  in.Position = 3;  // 1.5 %
  EXPECT_EQ(out.Progress(), 2);
  in.Position = 5;  // 2.5 %
  EXPECT_EQ(out.Progress(), 2);
  in.Position = 200;
  EXPECT_EQ(out.Progress(), 100);
  in.Size = int64_t{1} << 32;  // low 32 bits are zero: still a real size
  in.Position = int64_t{1} << 31;
  EXPECT_EQ(out.Progress(), 50);
}

namespace {

// An output with its events logged, over a short input; each test switches
// on the failure it is about.
class OutputWorkerErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    log.Attach(out);
    in.Data = Pattern(64);
    out.SetInput(&in);
  }
  TCaptureOut out;
  EventLog log;
  TScriptedIn in;
};

}  // namespace

TEST_F(OutputWorkerErrors, ExceptionInPrepareIsReportedThenDoneAndOnDoneFollow) {
  out.ThrowInPrepare = true;
  out.Run();
  ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
  EXPECT_EQ(log.LastError, "prepare failed");
  EXPECT_EQ(out.ExceptionMessage(), "prepare failed");
  EXPECT_EQ(out.Dones, 1);
  EXPECT_EQ(log.Order, (std::vector<std::string>{"error", "done"}));
  // Run clears the message of the previous pass.
  out.ThrowInPrepare = false;
  out.Run();
  EXPECT_EQ(out.ExceptionMessage(), "");
  ASSERT_TRUE(PumpUntil([&] { return log.Done == 2; }));
}

TEST_F(OutputWorkerErrors, ExceptionInAStepEndsThePassWithItsMessage) {
  out.ThrowInStep = true;
  out.Run();
  ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
  EXPECT_EQ(log.Errors, 1);
  EXPECT_EQ(log.LastError, "step failed");
  EXPECT_EQ(in.Flushes, 1);
}

TEST_F(OutputWorkerErrors, FailuresInDoneOrOfAnyTypeAreReportedInsteadOfEndingTheProcess) {
  out.ThrowInDone = true;
  out.Run();
  ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
  EXPECT_EQ(log.LastError, "done failed");
  EXPECT_FALSE(out.Busy());

  out.ThrowInDone = false;
  out.ThrowNonStandard = true;
  out.Run();
  ASSERT_TRUE(PumpUntil([&] { return log.Done == 2; }));
  EXPECT_EQ(log.LastError, "Unknown exception");
  EXPECT_EQ(log.Order, (std::vector<std::string>{"error", "done", "error", "done"}));
}

TEST_F(OutputWorkerErrors, InputWhoseStartFailsStillLetsThePassRunToItsEnd) {
  in.FailInit = true;
  out.Run();
  ASSERT_TRUE(PumpUntil([&] { return log.Done == 1; }));
  EXPECT_EQ(out.Prepares, 1);
  EXPECT_EQ(out.Dones, 1);
  EXPECT_EQ(log.Errors, 0);
}

TEST(OutputInput, AssigningANewInputWhileBusyRestartsThePassWithIt) {
  TCaptureOut out;
  TScriptedIn first, second;
  second.Data = Pattern(64, 7);
  second.Endless = true;
  RunHeld(out, first);
  out.SetInput(&second);
  EXPECT_EQ(out.Input(), &second);
  EXPECT_TRUE(out.Busy());
  EXPECT_EQ(first.Flushes, 1);
  ASSERT_TRUE(PumpUntil([&] { return second.Inits == 1; }));
  out.Stop(false);
  EXPECT_EQ(second.Flushes, 1);
}

TEST(OutputInput, AssigningNothingWhileBusyStopsThePassAndRaises) {
  TCaptureOut out;
  TScriptedIn in;
  RunHeld(out, in);
  EXPECT_EQ(MessageOf([&] { out.SetInput(nullptr); }), "Input is not assigned");
  EXPECT_EQ(out.Status(), osIdle);
  EXPECT_EQ(in.Flushes, 1);
}

TEST(OutputInput, FreeingTheInputClearsItEvenWhilePlaying) {
  TCaptureOut out;
  auto* idle = new TScriptedIn();
  out.SetInput(idle);
  TComponent::Free(idle);
  EXPECT_EQ(out.Input(), nullptr);

  auto* playing = new TScriptedIn();
  RunHeld(out, *playing);
  ASSERT_TRUE(PumpUntil([&] { return out.Steps >= 1; }));
  TComponent::Free(playing);  // the pass stops before the input goes
  EXPECT_EQ(out.Input(), nullptr);
  EXPECT_EQ(out.Status(), osIdle);
  EXPECT_EQ(out.Dones, 1);
}

TEST(OutputLifetime, FreeingAPlayingOutputStopsItWithoutDeliveringItsEvents) {
  TScriptedIn in;
  bool delivered = false;
  {
    auto out = MakeComponent<TCaptureOut>();
    out->OnDone = [&](TComponent*) { delivered = true; };
    out->OnProgress = [&](TComponent*) { delivered = true; };
    RunHeld(*out, in);
    ASSERT_TRUE(PumpUntil([&] { return out->Steps >= 1; }));
    delivered = false;
  }
  EXPECT_EQ(in.Flushes, 1);
  GuiHandoff::Instance().Pump();
  EXPECT_FALSE(delivered);
  EXPECT_FALSE(TEventHandler::Exists());
}

TEST(OutputLifetime, AnOutputMayBeFreedFromItsOwnOnDone) {
  TScriptedIn in;
  in.Data = Pattern(64);
  auto* out = new TCaptureOut();
  bool freed = false;
  out->OnDone = [&](TComponent* Sender) {
    TComponent::Free(Sender);
    freed = true;
  };
  out->SetInput(&in);
  out->Run();
  ASSERT_TRUE(PumpUntil([&] { return freed; }));
  EXPECT_FALSE(TEventHandler::Exists());
  EXPECT_EQ(in.Flushes, 1);
}

TEST(OutputLifetime, OwnerFreesAPlayingOutputAndItsInputInEitherOrder) {
  for (bool inputFirst : {false, true}) {
    auto owner = MakeComponent<TComponent>();
    TScriptedIn* in = nullptr;
    TCaptureOut* out = nullptr;
    if (inputFirst) {
      in = new TScriptedIn(owner.get());
      out = new TCaptureOut(owner.get());
    } else {
      out = new TCaptureOut(owner.get());
      in = new TScriptedIn(owner.get());
    }
    RunHeld(*out, *in);
    ASSERT_TRUE(PumpUntil([&] { return out->Steps >= 1; }));
    owner.reset();  // ASan reports any touch of freed memory
  }
  EXPECT_FALSE(TEventHandler::Exists());
}
