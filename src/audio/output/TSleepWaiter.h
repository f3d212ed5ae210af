#pragma once
// How a thread that sleeps for the sound device waits. The output's worker
// passes one whose waits Stop, Pause and destruction cut short; the
// simulated clock uses Notify to make a waiting sleeper look at its time again.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class TSleepWaiter {
 public:
  virtual ~TSleepWaiter() = default;

  // Sleeping thread: waits until Ready() holds or Timeout has passed.
  // Returns false when the wait was interrupted (stop, pause, destruction),
  // true otherwise. An empty Ready never holds (a plain timed sleep). Ready
  // may be called with the waiter's own lock held, so it must not take a lock
  // that is held while calling Notify.
  virtual bool WaitFor(std::chrono::nanoseconds timeout, const std::function<bool()>& ready) = 0;
  // Any thread: makes a current WaitFor look at Ready() again.
  virtual void Notify() = 0;
};

// A waiter on its own condition variable, interrupted by Interrupt(); used
// where no output is involved (tests, tools).
class TPlainWaiter : public TSleepWaiter {
 public:
  bool WaitFor(std::chrono::nanoseconds timeout, const std::function<bool()>& ready) override;
  void Notify() override;
  // Any thread: interrupts the current and every later wait until Clear().
  void Interrupt();
  void Clear();

 private:
  std::mutex WaitLock;  // guards Interrupted and the condition variable's waits
  std::condition_variable WaitSignal;
  bool Interrupted = false;
};
