#pragma once
// The high-resolution counter and the sleep of the sound-device layer.
// TRealClock follows the monotonic system clock; TSimulatedClock only moves
// when a sleep (or a test) advances it, so a pass over the virtual device runs
// as fast as the CPU allows and always sees the same cursor positions.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "audio/output/TSleepWaiter.h"

class TSoundClock {
 public:
  virtual ~TSoundClock() = default;

  // Counter ticks per second; 0 when there is no counter. Any thread.
  virtual int64_t Frequency() const = 0;
  // Counter value now. Any thread.
  virtual int64_t Now() const = 0;
  // Sleeps Ms milliseconds through Waiter. Returns false when the waiter
  // interrupted the sleep (stop, pause, destruction).
  virtual bool Sleep(uint32_t ms, TSleepWaiter& waiter) = 0;
};

// Nanoseconds of the monotonic clock; sleeps are waits on the waiter.
class TRealClock : public TSoundClock {
 public:
  int64_t Frequency() const override { return 1'000'000'000; }
  int64_t Now() const override;
  bool Sleep(uint32_t ms, TSleepWaiter& waiter) override;
};

// Simulated nanoseconds. A sleep advances the time by its length at once,
// unless the clock is held: then the sleeper waits (interruptibly) until a
// test releases it, and only then advances. Tests hold the clock to catch the
// worker at a known point (for instance from a hook inside an input).
class TSimulatedClock : public TSoundClock {
 public:
  int64_t Frequency() const override { return 1'000'000'000; }
  int64_t Now() const override;
  bool Sleep(uint32_t ms, TSleepWaiter& waiter) override;

  // Any thread.
  void Advance(int64_t nanoseconds);
  void AdvanceMs(uint32_t ms) { Advance(int64_t(ms) * 1'000'000); }
  void Hold();
  void Release();
  bool IsHeld() const { return Held.load(); }
  // Number of sleeps entered, and how many of them are waiting on a hold.
  int64_t SleepCount() const { return Sleeps.load(); }
  int WaitingSleepers() const;
  // Called on the sleeping thread at the start of every sleep (before the
  // hold is looked at), with the sleep's length. Set before use, not while a
  // pass runs.
  void SetSleepHook(std::function<void(uint32_t ms)> hook) { SleepHook = std::move(hook); }

 private:
  std::atomic<int64_t> NowNs{0};
  std::atomic<bool> Held{false};
  std::atomic<int64_t> Sleeps{0};
  std::function<void(uint32_t)> SleepHook;
  mutable std::mutex SleepersLock;  // guards Sleepers
  std::vector<TSleepWaiter*> Sleepers;
};
