#include "audio/output/TSoundClock.h"

#include <algorithm>
#include <chrono>

int64_t TRealClock::Now() const {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool TRealClock::Sleep(uint32_t ms, TSleepWaiter& waiter) {
  return waiter.WaitFor(std::chrono::milliseconds(ms), nullptr);
}

int64_t TSimulatedClock::Now() const { return NowNs.load(); }

void TSimulatedClock::Advance(int64_t nanoseconds) { NowNs.fetch_add(nanoseconds); }

void TSimulatedClock::Hold() { Held.store(true); }

void TSimulatedClock::Release() {
  Held.store(false);
  // Notify under SleepersLock so a sleeper cannot unregister and vanish in
  // between; a waiter's Ready() only reads the atomic, never this lock.
  std::lock_guard lock(SleepersLock);
  for (TSleepWaiter* sleeper : Sleepers) sleeper->Notify();
}

int TSimulatedClock::WaitingSleepers() const {
  std::lock_guard lock(SleepersLock);
  return int(Sleepers.size());
}

bool TSimulatedClock::Sleep(uint32_t ms, TSleepWaiter& waiter) {
  Sleeps.fetch_add(1);
  if (SleepHook) SleepHook(ms);
  if (Held.load()) {
    {
      std::lock_guard lock(SleepersLock);
      Sleepers.push_back(&waiter);
    }
    bool slept = true;
    while (slept && Held.load()) slept = waiter.WaitFor(std::chrono::hours(1), [this] { return !Held.load(); });
    {
      std::lock_guard lock(SleepersLock);
      Sleepers.erase(std::find(Sleepers.begin(), Sleepers.end(), &waiter));
    }
    if (!slept) return false;
  }
  AdvanceMs(ms);
  return true;
}
