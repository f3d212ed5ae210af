// Random Run/Stop/Pause/Resume/SetInput calls from the GUI thread while
// events flow: the sequence must finish (no deadlock) and leave every
// input flushed as often as it was started.

#include <gtest/gtest.h>

#include <random>

#include "CoreTestSupport.h"
#include "audio/core/TEventHandler.h"
#include "audio/core/TInputList.h"
#include "audio/core/TMemoryIn.h"

using namespace coretest;
using namespace std::chrono_literals;

TEST(Stress, TwoThousandRandomCallsWithEventsFlowingFinishCleanly) {
  TCaptureOut out;
  out.BlockBytes = 512;
  out.StepSleep = 1ms;

  TScriptedIn shortIn, endless;
  shortIn.Data = Pattern(3000);
  endless.Data = Pattern(700);
  endless.Endless = true;

  const std::vector<uint8_t> silence8(500, 128);
  const std::vector<uint8_t> tone16 = Pattern(4000);
  TMemoryIn m1, m2;
  TInputList list;
  list.InputItems().Add(&m1);
  list.InputItems().Add(&m2);
  auto refill = [&] {
    // A memory input needs its data again after every run.
    Feed(m1, tone16, {16, 2, 44100});
    Feed(m2, silence8, {8, 1, 22050});
    m2.SetRepeatCount(3);
  };
  refill();

  int done = 0, progress = 0, errors = 0, changes = 0;
  bool rerunFromDone = false;
  out.OnDone = [&](TComponent*) {
    ++done;
    if (!rerunFromDone || !out.Input()) return;
    if (out.Input() == &list) refill();
    try {
      out.Run();
    } catch (const EAuException&) {
    }
  };
  out.OnProgress = [&](TComponent*) { ++progress; };
  out.OnThreadException = [&](TComponent*) { ++errors; };
  list.OnInputChanged = [&](TComponent*) { ++changes; };

  std::mt19937 random(20261208);
  TAuInput* inputs[] = {&shortIn, &endless, &list, nullptr};
  for (int call = 0; call < 2000; ++call) {
    const int op = static_cast<int>(random() % 9);
    try {
      switch (op) {
        case 0:
        case 1:
          if (!out.Busy() && out.Input() == &list) refill();
          out.Run();
          break;
        case 2:
          out.Stop(true);
          break;
        case 3:
          out.Stop(false);
          break;
        case 4:
          out.Pause();
          break;
        case 5:
          out.Resume();
          break;
        case 6: {
          TAuInput* next = inputs[random() % 4];
          if (out.Busy()) out.Stop(false);
          if (next == &list) refill();
          out.SetInput(next);
          break;
        }
        case 7:
          rerunFromDone = !rerunFromDone;
          break;
        case 8:
          // Let the pass play for a moment with events flowing.
          GuiHandoff::Instance().PumpUntil([] { return false; }, 2ms);
          break;
      }
    } catch (const EAuException&) {
      // Busy, no input: expected along the way.
    }
    GuiHandoff::Instance().Pump();
  }
  rerunFromDone = false;
  out.Stop(false);
  GuiHandoff::Instance().Pump();
  out.Stop(false);

  EXPECT_EQ(out.Status(), osIdle);
  EXPECT_EQ(out.Prepares, out.Dones);
  for (TScriptedIn* in : {&shortIn, &endless}) EXPECT_EQ(in->Inits, in->Flushes);
  EXPECT_FALSE(list.Busy);
  EXPECT_EQ(list.CurrentIndex(), 0);
  EXPECT_EQ(errors, 0);
  EXPECT_GT(out.Prepares, 0);

  // The output still works: one whole pass of the list, events included.
  refill();
  out.SetInput(&list);
  const int doneBefore = done;
  changes = 0;
  out.Run();
  ASSERT_TRUE(PumpUntil([&] { return done > doneBefore; }));
  EXPECT_GE(changes, 1);
  EXPECT_EQ(list.CurrentIndex(), 0);
}
