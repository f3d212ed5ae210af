#include "audio/core/TParkTracker.h"

void TParkTracker::MarkParked(uint64_t Pass) {
  {
    std::lock_guard lock(TrackerLock);
    if (Pass > ParkedUpTo) ParkedUpTo = Pass;
  }
  TrackerCond.notify_all();
}

void TParkTracker::MarkStarted() {
  std::lock_guard lock(TrackerLock);
  ++StartedUpTo;
}

uint64_t TParkTracker::StartedPass() {
  std::lock_guard lock(TrackerLock);
  return StartedUpTo;
}

void TParkTracker::Abandon() {
  {
    std::lock_guard lock(TrackerLock);
    Abandoned = true;
  }
  TrackerCond.notify_all();
}

bool TParkTracker::WaitParked(uint64_t Pass, std::chrono::milliseconds Timeout) {
  std::unique_lock lock(TrackerLock);
  return TrackerCond.wait_for(lock, Timeout, [&] { return Abandoned || ParkedUpTo >= Pass; });
}

uint64_t TParkTracker::ParkedPass() {
  std::lock_guard lock(TrackerLock);
  return ParkedUpTo;
}
