#pragma once
// The worker thread of one output. Created parked with its output; every
// RequestRun wakes it for one pass, in which it calls the pass function its
// owner gave, after which it parks again. Destruction terminates and joins
// it.
//
// The thread only runs passes: what a pass does, and the state it keeps
// (stop and pause requests, Busy), belong to the output (TAuOutput). The
// thread offers the output a sleep that the output's own requests cut short:
// SleepFor waits on the thread's condition variable, and whoever changes
// what the sleeper waits for calls Wake.
//
// Threads: RequestRun, Terminate and Parked from the GUI thread; Wake from
// any thread; SleepFor from the worker (inside a pass).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "audio/core/TParkTracker.h"

class TAuThread {
 public:
  // One pass, run on the worker; given the pass's number (1, 2, ...).
  using TPass = std::function<void(uint64_t Pass)>;

  explicit TAuThread(TPass Pass);
  ~TAuThread();  // terminates and joins
  TAuThread(const TAuThread&) = delete;
  TAuThread& operator=(const TAuThread&) = delete;

  // GUI thread: wake the worker for one pass. One request per pass: the
  // caller does not request again before the pass has ended.
  void RequestRun();
  // Request termination and join; idempotent.
  void Terminate();
  // Any thread: termination has been requested.
  bool Terminating() const { return Terminated.load(); }
  // Any thread: wake a sleeping worker so it re-checks what it waits for.
  void Wake();

  // Worker: sleep up to Duration, or until Until() holds or termination is
  // requested (both checked under the thread's lock, on every Wake).
  // Returns false when the full time passed, true when woken for one of
  // those reasons.
  bool SleepFor(std::chrono::milliseconds Duration, const std::function<bool()>& Until);

  // True while the worker waits for a run (no run pending).
  bool Parked();
  const std::shared_ptr<TParkTracker>& Tracker() const { return FTracker; }
  // Number of the pass currently (or last) run.
  uint64_t CurrentPass() const { return FCurrentPass.load(); }

 private:
  void Execute();

  TPass FPass;
  std::mutex StateLock;  // guards RunPending, Waiting; pairs with StateCond
  std::condition_variable StateCond;
  bool RunPending = false;
  bool Waiting = true;  // parked in Execute
  std::atomic<bool> Terminated{false};
  std::atomic<uint64_t> FCurrentPass{0};
  std::shared_ptr<TParkTracker> FTracker = std::make_shared<TParkTracker>();
  std::thread Thread;
};
