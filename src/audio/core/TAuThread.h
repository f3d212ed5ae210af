#pragma once
// The worker thread of one output. Created parked with its output; every Run
// wakes it for one pass (Prepare, the step loop over DoOutput, Done), after
// which it parks again. Destruction terminates and joins it.
//
// Waits: the pause idling, WaitInterruptible sleeps of DoOutput and the
// parking all wait on the worker's own condition variable, so Stop, Pause,
// Resume and destruction wake them at once.
//
// All members are used by TAuOutput (GUI thread) and by the worker itself;
// nothing else should need this class.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/core/TAutoResetEvent.h"

class TAuOutput;

// The pass numbers that have reached a worker's parking point. Shared with
// queued done events, so it outlives the worker; any thread.
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

class TAuThread {
 public:
  explicit TAuThread(TAuOutput& Output);
  ~TAuThread();  // terminates and joins
  TAuThread(const TAuThread&) = delete;
  TAuThread& operator=(const TAuThread&) = delete;

  // GUI thread: request a pass (under StateLock: also clears the request
  // flags and sets the output's Busy, so no Stop or second Run is lost).
  void RequestRun();
  // GUI thread: set StopRequest (and clear PauseRequest when paused), waking
  // any interruptible sleep.
  void RequestStop();
  void RequestPause(bool Value);
  // Request termination and join.
  void Terminate();
  // Any thread: notify the worker's condition variable.
  void Wake();

  // Worker: sleep up to Duration; returns false when woken early because a
  // stop, a pause or resume, or termination is pending.
  bool WaitInterruptible(std::chrono::milliseconds Duration);
  // Also ends when Ready() is true; false only when interrupted.
  bool WaitInterruptible(std::chrono::milliseconds Duration, const std::function<bool()>& Ready);
  // True when the sleeping worker should give up its sleep.
  bool Interrupted() const;

  // True while the worker waits for a Run (no run pending).
  bool Parked();
  const std::shared_ptr<TParkTracker>& Tracker() const { return FTracker; }
  // Number of the pass currently (or last) run.
  uint64_t CurrentPass() const { return FCurrentPass.load(); }

  // Flags shared with the output; each written by one side per transition.
  TAutoResetEvent PauseSignal;
  std::atomic<bool> NotifyOnDone{true};
  std::atomic<bool> PassEnded{false};
  std::atomic<bool> StopRequest{false};
  std::atomic<bool> PauseRequest{false};
  std::atomic<bool> PauseActive{false};
  std::atomic<bool> Terminated{false};

 private:
  void Execute();
  void RunPass();

  TAuOutput& FOutput;
  std::mutex StateLock;  // guards RunPending, Waiting; pairs with StateCond
  std::condition_variable StateCond;
  bool RunPending = false;
  bool Waiting = true;  // parked in Execute
  std::atomic<uint64_t> FCurrentPass{0};
  std::shared_ptr<TParkTracker> FTracker = std::make_shared<TParkTracker>();
  std::thread Thread;
};
