#pragma once
// The event-delivery thread shared by every output of the process.
//
// Outputs (and inputs such as the input list) post events from their worker;
// the event thread takes them oldest first and hands each to the GUI thread
// through GuiHandoff, waiting until the handler has run. Posting never waits
// for delivery. A done event is delivered only once its worker has reached
// its parking point, so inside OnDone the output is idle and may be Run again;
// events of that sender still queued behind it are discarded. A done event
// whose output the GUI thread has Run again before it arrived is dropped:
// the output is busy with the newer pass, which reports its own end.
//
// Lifetime: the first output created acquires the shared instance (creating
// it), the last one destroyed releases it (terminating and joining it). While
// no instance exists, posted events are discarded.
//
// Threads: Post* from any thread (typically the worker, possibly while input
// locks are held: the queue lock is a leaf). Mute/Unmute/RemoveEventsOf from
// the GUI thread. Acquire/Release from the GUI thread.
//
// Entries (and with them the handlers' captured state) are never freed while
// InstanceLock or QueueLock is held: freeing a captured component removes
// its events, which takes those locks again.

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/core/TAutoResetEvent.h"
#include "audio/core/TEventSlot.h"

class TComponent;
class TParkTracker;

enum TEventKind : uint8_t { ekProgress = 0, ekDone = 1, ekGeneric = 2 };

struct TEventEntry {
  TEventKind Kind = ekGeneric;
  TComponent* Sender = nullptr;
  TNotifyEvent Handler;        // copied at post time
  std::shared_ptr<TParkTracker> Park;  // ekDone: the sender's worker's parking record
  uint64_t Pass = 0;           // ekDone: the pass that ended
  bool Revoked = false;        // withdrawn while being delivered (under QueueLock)
};

class TEventHandler {
 public:
  ~TEventHandler();

  // GUI thread: user count of the shared instance.
  static void Acquire();
  static void Release();
  static int Users();
  static bool Exists();

  // Any thread. Discarded when no instance exists, when the handler is empty,
  // or when the sender is muted.
  static void PostProgress(TComponent* Sender, TNotifyEvent Handler);
  // Park: the parking record of the sender's worker; the event is delivered
  // once pass Pass has parked there.
  static void PostDone(TComponent* Sender, std::shared_ptr<TParkTracker> Park, uint64_t Pass, TNotifyEvent Handler);
  static void PostGeneric(TComponent* Sender, TNotifyEvent Handler);

  // GUI thread. Mute: new events of Sender are discarded until Unmute.
  static void Mute(TComponent* Sender);
  static void Unmute(TComponent* Sender);
  // Removes every queued event of Sender; the entry being delivered is
  // withdrawn too when its handler has not started yet.
  static void RemoveEventsOf(TComponent* Sender);

 private:
  using TEntryList = std::vector<std::unique_ptr<TEventEntry>>;

  TEventHandler();
  // Any thread; takes InstanceLock. Hands Entry to the shared instance, if
  // any; an entry that is not queued is freed after the lock is released.
  static void PostToInstance(std::unique_ptr<TEventEntry> Entry);
  // Queues Entry; returns it when it is discarded (the caller frees it
  // outside the locks).
  [[nodiscard]] std::unique_ptr<TEventEntry> Post(std::unique_ptr<TEventEntry> Entry);
  void Execute();
  void Deliver(TEventEntry& Entry);
  // Takes QueueLock; the removed entries go to the caller, to be freed once
  // every lock is released.
  [[nodiscard]] TEntryList RemoveQueued(TComponent* Sender);
  // QueueLock held: moves Sender's queued entries out of Queue.
  [[nodiscard]] TEntryList TakeQueued(TComponent* Sender);

  std::mutex QueueLock;  // guards Queue, Current, MutedSenders
  std::deque<std::unique_ptr<TEventEntry>> Queue;  // oldest first
  TEventEntry* Current = nullptr;                  // the entry being delivered
  std::vector<TComponent*> MutedSenders;  // one entry per pending Mute
  TAutoResetEvent WakeSignal;
  std::atomic<bool> Terminated{false};
  std::atomic<bool> SelfDelete{false};  // released from inside a delivered event
  std::thread Thread;
};
