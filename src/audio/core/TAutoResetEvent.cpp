#include "audio/core/TAutoResetEvent.h"

void TAutoResetEvent::Set() {
  {
    std::lock_guard lock(SignalLock);
    Signalled = true;
  }
  SignalCond.notify_one();
}

void TAutoResetEvent::Reset() {
  std::lock_guard lock(SignalLock);
  Signalled = false;
}

bool TAutoResetEvent::WaitFor(std::chrono::milliseconds Timeout) {
  std::unique_lock lock(SignalLock);
  if (!SignalCond.wait_for(lock, Timeout, [this] { return Signalled; })) return false;
  Signalled = false;
  return true;
}
