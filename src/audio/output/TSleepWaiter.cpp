#include "audio/output/TSleepWaiter.h"

bool TPlainWaiter::WaitFor(std::chrono::nanoseconds timeout, const std::function<bool()>& ready) {
  std::unique_lock lock(WaitLock);
  WaitSignal.wait_for(lock, timeout, [&] { return Interrupted || (ready && ready()); });
  return !Interrupted;
}

void TPlainWaiter::Notify() {
  std::lock_guard lock(WaitLock);
  WaitSignal.notify_all();
}

void TPlainWaiter::Interrupt() {
  std::lock_guard lock(WaitLock);
  Interrupted = true;
  WaitSignal.notify_all();
}

void TPlainWaiter::Clear() {
  std::lock_guard lock(WaitLock);
  Interrupted = false;
}
