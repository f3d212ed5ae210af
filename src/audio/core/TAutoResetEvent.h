#pragma once
// An auto-reset event: Set releases one waiter (or the next Wait) and the
// event resets itself when a waiter takes it. Per object; nothing is shared
// between processes.

#include <chrono>
#include <condition_variable>
#include <mutex>

class TAutoResetEvent {
 public:
  // Any thread.
  void Set();
  void Reset();
  // Waits until signalled or Timeout passes; true when signalled (and resets).
  bool WaitFor(std::chrono::milliseconds Timeout);

 private:
  std::mutex SignalLock;  // guards Signalled
  std::condition_variable SignalCond;
  bool Signalled = false;
};
