// A Run issued just as the previous pass ends: its OnDone and a Stop that
// follows must belong to the right pass.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "CoreTestSupport.h"
#include "audio/core/TAuOutput.h"

using namespace coretest;

TEST(OutputDone, OnDoneOfAPassOvertakenByANewRunIsDroppedSoTheHandlerAlwaysSeesAnIdleOutput) {
  TCaptureOut out;
  TScriptedIn in;
  in.Data = Pattern(5000);
  int done = 0;
  int doneWhileBusy = 0;
  out.OnDone = [&](TComponent*) {
    ++done;
    if (out.Busy() || out.Status() != osIdle) ++doneWhileBusy;
  };
  out.SetInput(&in);
  out.Run();
  // The first pass ends on its own; its OnDone waits in the hand-off queue
  // because this "GUI thread" does not pump yet.
  auto& handoff = GuiHandoff::Instance();
  for (int i = 0; i < 30000 && handoff.Pending() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(handoff.Pending(), 1u);
  ASSERT_FALSE(out.Busy());

  // The GUI starts the next pass before it gets to the OnDone.
  in.Endless = true;
  out.Run();
  ASSERT_TRUE(out.Busy());
  ASSERT_TRUE(PumpUntil([&] { return handoff.Pending() == 0 && out.Steps >= 2; }));
  EXPECT_EQ(doneWhileBusy, 0);
  EXPECT_EQ(done, 0);

  // The newer pass reports its own end.
  out.Stop(true);
  ASSERT_TRUE(PumpUntil([&] { return done == 1; }));
  EXPECT_EQ(doneWhileBusy, 0);
  EXPECT_EQ(in.Flushes.load(), 2);
}

namespace {

// Stops the first thread that copies it once armed, until opened. The
// worker copies the OnDone handler after the pass is over (Busy clear) and
// before it marks the pass as ended, so this holds it exactly there.
struct TGate {
  std::mutex GateLock;  // guards Armed, Reached, Open
  std::condition_variable GateCond;
  bool Armed = false, Reached = false, Open = false;
};

struct TGatedHandler {
  std::shared_ptr<TGate> Gate;
  explicit TGatedHandler(std::shared_ptr<TGate> G) : Gate(std::move(G)) {}
  TGatedHandler(const TGatedHandler& Other) : Gate(Other.Gate) {
    std::unique_lock lock(Gate->GateLock);
    if (!Gate->Armed) return;
    Gate->Armed = false;
    Gate->Reached = true;
    Gate->GateCond.notify_all();
    Gate->GateCond.wait_for(lock, std::chrono::seconds(30), [&] { return Gate->Open; });
  }
  void operator()(TComponent*) const {}
};

// Its second run starts slowly, so a Stop that does not wait for that run
// returns while it is still starting.
class TSlowSecondStartIn : public TScriptedIn {
 public:
  void DoInit() override {
    if (Inits.load() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    TScriptedIn::DoInit();
  }
};

}  // namespace

TEST(OutputStop, StopWithoutAsyncAfterARunIssuedAsThePreviousPassEndedWaitsForTheNewPass) {
  TCaptureOut out;
  TSlowSecondStartIn in;
  in.Data = Pattern(3000);
  auto gate = std::make_shared<TGate>();
  out.OnDone = TGatedHandler(gate);
  out.SetInput(&in);
  {
    std::lock_guard lock(gate->GateLock);
    gate->Armed = true;
  }
  out.Run();
  {
    // The first pass is over and its worker is held before it marks the end.
    std::unique_lock lock(gate->GateLock);
    ASSERT_TRUE(gate->GateCond.wait_for(lock, std::chrono::seconds(30), [&] { return gate->Reached; }));
  }
  ASSERT_FALSE(out.Busy());
  in.Endless = true;
  out.Run();  // the second pass is requested while the worker is still held

  // Released from inside Stop's own wait, as a GUI hand-off it pumps.
  std::thread opener([&] {
    GuiHandoff::Instance().Call([&] {
      std::lock_guard lock(gate->GateLock);
      gate->Open = true;
      gate->GateCond.notify_all();
    });
  });
  for (int i = 0; i < 30000 && GuiHandoff::Instance().Pending() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  out.Stop(false);
  // Stop returns only once the second pass has run and ended.
  EXPECT_EQ(out.Prepares.load(), 2);
  EXPECT_EQ(out.Dones.load(), 2);
  EXPECT_EQ(in.Flushes.load(), 2);
  EXPECT_EQ(out.Status(), osIdle);
  opener.join();
}
