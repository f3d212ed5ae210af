#include "audio/core/TEventHandler.h"

#include <algorithm>

#include "audio/core/GuiHandoff.h"
#include "audio/core/TParkTracker.h"

namespace {
std::mutex InstanceLock;  // guards Instance and UserCount; taken before QueueLock
TEventHandler* Instance = nullptr;
int UserCount = 0;

constexpr std::chrono::milliseconds IdleWait{100};
constexpr std::chrono::milliseconds ParkPoll{10};

std::unique_ptr<TEventEntry> NewEntry(TEventKind Kind, TComponent* Sender, TNotifyEvent Handler) {
  auto entry = std::make_unique<TEventEntry>();
  entry->Kind = Kind;
  entry->Sender = Sender;
  entry->Handler = std::move(Handler);
  return entry;
}
}  // namespace

TEventHandler::TEventHandler() : Thread([this] { Execute(); }) {}

TEventHandler::~TEventHandler() {
  if (Thread.joinable()) Thread.join();
}

void TEventHandler::Acquire() {
  std::lock_guard lock(InstanceLock);
  if (UserCount == 0) Instance = new TEventHandler();
  ++UserCount;
}

void TEventHandler::Release() {
  TEventHandler* handler = nullptr;
  {
    std::lock_guard lock(InstanceLock);
    if (UserCount == 0) return;
    if (--UserCount > 0) return;
    handler = Instance;
    Instance = nullptr;
  }
  if (!handler) return;
  if (GuiHandoff::InTask()) {
    // Released from inside a delivered event: the event thread waits for
    // this very task, so it cannot be joined here. It ends on its own once
    // the task returns and frees itself; nothing may touch it after
    // Terminated is set.
    handler->Thread.detach();
    handler->SelfDelete.store(true);
    handler->Terminated.store(true);
    return;
  }
  handler->Terminated.store(true);
  handler->WakeSignal.Set();
  GuiHandoff::Instance().Kick();
  handler->Thread.join();
  delete handler;
}

int TEventHandler::Users() {
  std::lock_guard lock(InstanceLock);
  return UserCount;
}

bool TEventHandler::Exists() {
  std::lock_guard lock(InstanceLock);
  return Instance != nullptr;
}

void TEventHandler::PostToInstance(std::unique_ptr<TEventEntry> Entry) {
  {
    std::lock_guard lock(InstanceLock);
    if (Instance) Entry = Instance->Post(std::move(Entry));
  }
  // A discarded entry is freed outside the locks: its handler's captured
  // state may free a component, which removes its own events.
  Entry.reset();
}

void TEventHandler::PostProgress(TComponent* Sender, TNotifyEvent Handler) {
  PostToInstance(NewEntry(ekProgress, Sender, std::move(Handler)));
}

void TEventHandler::PostDone(TComponent* Sender, std::shared_ptr<TParkTracker> Park, uint64_t Pass,
                             TNotifyEvent Handler) {
  auto entry = NewEntry(ekDone, Sender, std::move(Handler));
  entry->Park = std::move(Park);
  entry->Pass = Pass;
  PostToInstance(std::move(entry));
}

void TEventHandler::PostGeneric(TComponent* Sender, TNotifyEvent Handler) {
  PostToInstance(NewEntry(ekGeneric, Sender, std::move(Handler)));
}

void TEventHandler::Mute(TComponent* Sender) {
  std::lock_guard lock(InstanceLock);
  if (!Instance) return;
  std::lock_guard queueLock(Instance->QueueLock);
  Instance->MutedSenders.push_back(Sender);
}

void TEventHandler::Unmute(TComponent* Sender) {
  std::lock_guard lock(InstanceLock);
  if (!Instance) return;
  std::lock_guard queueLock(Instance->QueueLock);
  auto& muted = Instance->MutedSenders;
  auto it = std::find(muted.begin(), muted.end(), Sender);
  if (it != muted.end()) muted.erase(it);
}

void TEventHandler::RemoveEventsOf(TComponent* Sender) {
  TEntryList removed;
  {
    std::lock_guard lock(InstanceLock);
    if (!Instance) return;
    removed = Instance->RemoveQueued(Sender);
  }
  // Freed here, outside the locks (see PostToInstance).
  removed.clear();
}

std::unique_ptr<TEventEntry> TEventHandler::Post(std::unique_ptr<TEventEntry> Entry) {
  if (!Entry->Handler) return Entry;
  {
    std::lock_guard lock(QueueLock);
    if (std::find(MutedSenders.begin(), MutedSenders.end(), Entry->Sender) != MutedSenders.end()) return Entry;
    Queue.push_back(std::move(Entry));
  }
  WakeSignal.Set();
  return nullptr;
}

TEventHandler::TEntryList TEventHandler::TakeQueued(TComponent* Sender) {
  TEntryList taken;
  for (auto it = Queue.begin(); it != Queue.end();) {
    if ((*it)->Sender != Sender) {
      ++it;
      continue;
    }
    taken.push_back(std::move(*it));
    it = Queue.erase(it);
  }
  return taken;
}

TEventHandler::TEntryList TEventHandler::RemoveQueued(TComponent* Sender) {
  std::lock_guard lock(QueueLock);
  if (Current && Current->Sender == Sender) Current->Revoked = true;
  return TakeQueued(Sender);
}

void TEventHandler::Execute() {
  while (!Terminated.load()) {
    std::unique_ptr<TEventEntry> entry;
    {
      std::lock_guard lock(QueueLock);
      if (!Queue.empty()) {
        entry = std::move(Queue.front());
        Queue.pop_front();
        Current = entry.get();
      }
    }
    if (!entry) {
      WakeSignal.WaitFor(IdleWait);
      continue;
    }
    Deliver(*entry);
    entry.reset();  // after Deliver has let go of QueueLock
  }
  if (SelfDelete.load()) delete this;
}

void TEventHandler::Deliver(TEventEntry& Entry) {
  TEventEntry* raw = &Entry;
  auto revoked = [this, raw] {
    std::lock_guard lock(QueueLock);
    return raw->Revoked;
  };
  if (raw->Kind == ekDone) {
    // OnDone runs only once the worker has parked, so the output is idle
    // inside the handler.
    while (!Terminated.load() && !revoked()) {
      if (!raw->Park || raw->Park->WaitParked(raw->Pass, ParkPoll)) break;
    }
    // Nothing of a finished pass may arrive after its OnDone.
    TEntryList stale;
    {
      std::lock_guard lock(QueueLock);
      stale = TakeQueued(raw->Sender);
    }
    stale.clear();  // outside QueueLock (see PostToInstance)
  }
  if (!Terminated.load() && !revoked()) {
    GuiHandoff::Instance().Call(
        [this, raw] {
          {
            std::lock_guard lock(QueueLock);
            if (raw->Revoked) return;
          }
          // A Run issued on this (GUI) thread after the pass ended but before
          // its OnDone came has started a newer pass: the output is busy
          // again, so this OnDone is stale. The newer pass reports its own
          // end.
          if (raw->Kind == ekDone && raw->Park && raw->Park->StartedPass() > raw->Pass) return;
          raw->Handler(raw->Sender);
        },
        &Terminated);
  }
  std::lock_guard lock(QueueLock);
  Current = nullptr;
}
