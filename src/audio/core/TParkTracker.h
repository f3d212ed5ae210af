#pragma once
// The pass numbers that have reached a worker's parking point. Shared by the
// worker (TAuThread) with queued done events (TEventHandler), so it outlives
// the worker.
//
// Threads: any; TrackerLock guards every field.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class TParkTracker {
 public:
  void MarkParked(uint64_t Pass);
  // GUI thread (under the worker's StateLock): a new pass has been requested.
  void MarkStarted();
  // The number of passes requested so far (the newest pass's number).
  uint64_t StartedPass();
  // Marks the worker gone: every wait returns true from now on.
  void Abandon();
  // Waits until pass Pass (or a later one) has parked, or Timeout passes.
  bool WaitParked(uint64_t Pass, std::chrono::milliseconds Timeout);
  uint64_t ParkedPass();

 private:
  std::mutex TrackerLock;  // guards ParkedUpTo, StartedUpTo, Abandoned
  std::condition_variable TrackerCond;
  uint64_t ParkedUpTo = 0;
  uint64_t StartedUpTo = 0;
  bool Abandoned = false;
};
