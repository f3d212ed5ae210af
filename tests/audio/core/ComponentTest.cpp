// Component ownership and free notification, the GUI hand-off queue and the
// shared event thread.

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <new>
#include <thread>

#include "CoreTestSupport.h"
#include "audio/core/TComponent.h"
#include "audio/core/TEventHandler.h"

using namespace coretest;
using namespace std::chrono_literals;

namespace {

std::vector<std::string>* FreedLog = nullptr;

class TLoggedComponent : public TComponent {
 public:
  TLoggedComponent(TComponent* AOwner, std::string Tag) : TComponent(AOwner), FTag(std::move(Tag)) {}
  ~TLoggedComponent() override {
    if (FreedLog) FreedLog->push_back(FTag);
  }
  std::vector<TComponent*> Removed;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    if (Operation == TOperation::opRemove) Removed.push_back(AComponent);
  }

 private:
  std::string FTag;
};

// Storage that outlives a freed watcher, so a dangling link to it would call
// into whatever is placed there next.
alignas(std::max_align_t) unsigned char WatcherStorage[512];

class TRecycledWatcher : public TLoggedComponent {
 public:
  using TLoggedComponent::TLoggedComponent;
  static void* operator new(size_t Size) {
    if (Size > sizeof WatcherStorage) throw std::bad_alloc();
    return WatcherStorage;
  }
  static void operator delete(void*) {}
};

// Placed where a freed watcher was: counts the notifications it receives.
class TTrap : public TComponent {
 public:
  TTrap() : TComponent(nullptr) {}
  int Calls = 0;

 protected:
  void Notification(TComponent*, TOperation) override { ++Calls; }
};

}  // namespace

TEST(Component, OwnerFreesItsComponentsInReverseOrderOfCreation) {
  std::vector<std::string> log;
  FreedLog = &log;
  {
    auto owner = MakeComponent<TLoggedComponent>(nullptr, "owner");
    new TLoggedComponent(owner.get(), "a");
    auto* b = new TLoggedComponent(owner.get(), "b");
    new TLoggedComponent(b, "b1");
    new TLoggedComponent(owner.get(), "c");
    EXPECT_EQ(owner->ComponentCount(), 3);
  }
  FreedLog = nullptr;
  EXPECT_EQ(log, (std::vector<std::string>{"c", "b1", "b", "a", "owner"}));
}

TEST(Component, ComponentFreedEarlyLeavesItsOwnerAndIsNotFreedTwice) {
  std::vector<std::string> log;
  FreedLog = &log;
  {
    auto owner = MakeComponent<TLoggedComponent>(nullptr, "owner");
    auto* a = new TLoggedComponent(owner.get(), "a");
    new TLoggedComponent(owner.get(), "b");
    TComponent::Free(a);
    EXPECT_EQ(owner->ComponentCount(), 1);
    EXPECT_EQ(owner->Components(0)->Owner(), owner.get());
  }
  FreedLog = nullptr;
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "owner"}));
}

TEST(Component, FreeNotificationTellsEachPartnerOnceAndUnlinksBothSides) {
  TLoggedComponent watcher(nullptr, "watcher");
  TLoggedComponent other(nullptr, "other");
  auto* watched = new TLoggedComponent(nullptr, "watched");
  watcher.FreeNotification(watched);
  watcher.FreeNotification(watched);  // a second request does not double the call
  other.FreeNotification(watched);
  other.RemoveFreeNotification(watched);
  TComponent::Free(watched);
  ASSERT_EQ(watcher.Removed.size(), 1u);
  EXPECT_EQ(watcher.Removed[0], watched);
  EXPECT_TRUE(other.Removed.empty());
  // The link is gone from the watcher's side too: freeing the watcher later
  // must not touch the freed component (ASan would catch it).
}

TEST(Component, WatcherFreedFirstIsNotCalledLater) {
  auto* watcher = new TRecycledWatcher(nullptr, "watcher");
  auto watched = MakeComponent<TLoggedComponent>(nullptr, "watched");
  watcher->FreeNotification(watched.get());
  TComponent::Free(watcher);
  // The link is two-way: the watched side hears that the watcher went.
  ASSERT_EQ(watched->Removed.size(), 1u);
  EXPECT_EQ(static_cast<void*>(watched->Removed[0]), static_cast<void*>(WatcherStorage));
  // A link left behind would now call into the trap.
  auto* trap = new (WatcherStorage) TTrap;
  watched.reset();
  EXPECT_EQ(trap->Calls, 0);
  trap->~TTrap();
}

TEST(Component, DesignModeIsInheritedFromTheOwner) {
  TComponent form(nullptr);
  form.SetDesigning(true);
  auto* child = new TComponent(&form);
  EXPECT_TRUE(child->Designing());
  TComponent plain(nullptr);
  EXPECT_FALSE(plain.Designing());
}

TEST(GuiHandoff, CallReturnsOnlyAfterTheGuiSideHasRunTheTask) {
  std::atomic<bool> ran{false};
  std::atomic<bool> returned{false};
  std::thread eventThread([&] {
    EXPECT_TRUE(GuiHandoff::Instance().Call([&] { ran = true; }));
    returned = true;
  });
  // Nothing runs until the GUI side pumps.
  ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
  eventThread.join();
  EXPECT_TRUE(ran);
}

TEST(GuiHandoff, TaskRunsOnThePumpingThread) {
  std::thread::id taskThread;
  std::thread eventThread([&] { GuiHandoff::Instance().Call([&] { taskThread = std::this_thread::get_id(); }); });
  ASSERT_TRUE(PumpUntil([&] { return taskThread != std::thread::id(); }));
  eventThread.join();
  EXPECT_EQ(taskThread, std::this_thread::get_id());
}

TEST(GuiHandoff, CancelledCallWithdrawsATaskThatHasNotStarted) {
  std::atomic<bool> cancel{false};
  std::atomic<bool> ran{false};
  std::atomic<int> result{-1};
  std::atomic<int> hooked{0};
  GuiHandoff::Instance().SetWakeHook([&] { ++hooked; });
  std::thread eventThread([&] { result = GuiHandoff::Instance().Call([&] { ran = true; }, &cancel) ? 1 : 0; });
  while (GuiHandoff::Instance().Pending() == 0) std::this_thread::yield();
  cancel = true;
  GuiHandoff::Instance().Kick();
  eventThread.join();
  GuiHandoff::Instance().SetWakeHook(nullptr);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(GuiHandoff::Instance().Pump(), 0u);
  EXPECT_FALSE(ran);
  EXPECT_EQ(hooked, 1);
}

TEST(GuiHandoff, TaskThatThrowsStillReleasesItsCaller) {
  std::atomic<bool> returned{false};
  std::thread eventThread([&] {
    GuiHandoff::Instance().Call([] { throw std::runtime_error("handler failed"); });
    returned = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return returned.load(); }));
  eventThread.join();
}

TEST(EventHandler, SharedInstanceLivesFromTheFirstOutputToTheLastOne) {
  ASSERT_FALSE(TEventHandler::Exists());
  {
    TCaptureOut first;
    EXPECT_TRUE(TEventHandler::Exists());
    {
      TCaptureOut second;
      EXPECT_EQ(TEventHandler::Users(), 2);
    }
    EXPECT_EQ(TEventHandler::Users(), 1);
    EXPECT_TRUE(TEventHandler::Exists());
  }
  EXPECT_EQ(TEventHandler::Users(), 0);
  EXPECT_FALSE(TEventHandler::Exists());
}

TEST(EventHandler, OutputInDesignModeUsesNoEventThread) {
  TComponent form(nullptr);
  form.SetDesigning(true);
  auto* out = new TCaptureOut(&form);
  EXPECT_FALSE(TEventHandler::Exists());
  TScriptedIn in;
  out->SetInput(&in);
  out->Run();  // no worker: nothing happens
  EXPECT_EQ(out->Status(), osIdle);
}

TEST(EventHandler, EventsReachTheGuiInPostingOrderAndMutedOrRemovedOnesNever) {
  TCaptureOut keeper;  // keeps the shared event thread alive
  TComponent a(nullptr), b(nullptr);
  std::vector<std::string> seen;
  auto log = [&](const char* tag) { return [&seen, tag](TComponent*) { seen.push_back(tag); }; };
  TEventHandler::PostGeneric(&a, log("a1"));
  TEventHandler::Mute(&b);
  TEventHandler::PostGeneric(&b, log("muted"));
  TEventHandler::Unmute(&b);
  TEventHandler::PostProgress(&a, log("a2"));
  TEventHandler::PostGeneric(&b, log("b1"));
  TEventHandler::PostGeneric(&a, log("a3"));
  ASSERT_TRUE(PumpUntil([&] { return seen.size() == 4; }));
  EXPECT_EQ(seen, (std::vector<std::string>{"a1", "a2", "b1", "a3"}));

  // Removal while the first entry may already be on its way to the GUI:
  // nothing of the removed sender is delivered.
  seen.clear();
  for (int i = 0; i < 5; ++i) TEventHandler::PostGeneric(&a, log("gone"));
  TEventHandler::RemoveEventsOf(&a);
  TEventHandler::PostGeneric(&b, log("b2"));
  ASSERT_TRUE(PumpUntil([&] { return !seen.empty() && seen.back() == "b2"; }));
  EXPECT_EQ(seen, (std::vector<std::string>{"b2"}));
}

TEST(EventHandler, EventsOfAFreedSenderAreNeverDelivered) {
  TCaptureOut keeper;
  std::atomic<int> calls{0};
  auto* sender = new TComponent(nullptr);
  for (int i = 0; i < 3; ++i) TEventHandler::PostGeneric(sender, [&](TComponent*) { ++calls; });
  TComponent::Free(sender);
  TComponent marker(nullptr);
  std::atomic<bool> markerSeen{false};
  TEventHandler::PostGeneric(&marker, [&](TComponent*) { markerSeen = true; });
  ASSERT_TRUE(PumpUntil([&] { return markerSeen.load(); }));
  EXPECT_EQ(calls, 0);
}

// A handler owning a component frees it when the handler is destroyed, and
// the component's destructor removes its own events: destroyed while the
// event locks are held, such a handler deadlocked.
TEST(EventHandler, HandlersThatFreeAComponentAreDestroyedOutsideTheEventLocks) {
  TCaptureOut keeper;
  std::atomic<int> freed{0};
  auto owningHandler = [&freed] {
    std::shared_ptr<TComponent> owned(new TComponent(nullptr), [&freed](TComponent* c) {
      TComponent::Free(c);
      ++freed;
    });
    return [owned](TComponent*) {};
  };
  // The event thread waits for the GUI with the plug, so what follows stays queued.
  TComponent plug(nullptr), sender(nullptr);
  std::atomic<bool> plugSeen{false};
  TEventHandler::PostGeneric(&plug, [&](TComponent*) { plugSeen = true; });
  TEventHandler::PostGeneric(&sender, owningHandler());
  TEventHandler::RemoveEventsOf(&sender);
  EXPECT_EQ(freed, 1);
  TEventHandler::Mute(&sender);
  TEventHandler::PostGeneric(&sender, owningHandler());  // discarded at once
  TEventHandler::Unmute(&sender);
  EXPECT_EQ(freed, 2);
  ASSERT_TRUE(PumpUntil([&] { return plugSeen.load(); }));
}

TEST(EventHandler, PostsWithoutAnyOutputAreDiscarded) {
  ASSERT_FALSE(TEventHandler::Exists());
  TComponent sender(nullptr);
  bool called = false;
  TEventHandler::PostGeneric(&sender, [&](TComponent*) { called = true; });
  TCaptureOut out;  // a new event thread starts with an empty queue
  GuiHandoff::Instance().PumpUntil([] { return false; }, 100ms);
  EXPECT_FALSE(called);
}
