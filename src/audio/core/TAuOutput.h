#pragma once
// Output base of the pull pipeline: owns one worker thread (TAuThread) that
// pulls blocks from Input and hands them to a device. The output alone owns
// the state of a pass (Busy, the stop and pause requests and their
// acknowledgement); the thread only runs passes.
//
// Pass protocol (worker thread):
//   Prepare         Init the input, set up the device; called once per pass.
//   DoOutput(Abort) one step; true = continue. Called repeatedly until it
//                   returns false or a Stop is requested. Not called while
//                   paused. The base does not sleep between steps: DoOutput
//                   paces itself, sleeping with WaitInterruptible so that a
//                   Stop, Pause, Resume or destruction wakes it at once.
//   Done            release the device and Flush the input; called once per
//                   pass, also when Prepare raised.
// An exception from these ends the pass: its text goes to ExceptionMessage,
// OnThreadException is posted, Done runs and OnDone follows.
//
// Events (OnDone, OnProgress, OnThreadException, and subclass events posted
// with PostEvent) are delivered on the GUI thread through the shared event
// thread, in posting order. OnDone runs when the worker is parked: inside it
// the output is idle and may be Run again. When the output was Run again
// before the OnDone of the previous pass arrived, that OnDone is dropped
// (only the newer pass's end is reported).
//
// Threads: Run, Stop, Pause, Resume, SetInput, Status, Progress are GUI-thread
// calls. Freeing the output (TComponent::Free or its owner) stops the pass and
// joins the worker before any destructor runs; a subclass destructor that can
// be reached by a plain delete must call ShutdownWorker() first.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "audio/core/TAutoResetEvent.h"
#include "audio/core/TComponent.h"
#include "audio/core/TEventSlot.h"

class TAuInput;
class TAuThread;

enum TOutputStatus { osPlaying = 0, osPaused = 1, osIdle = 2 };

class TAuOutput : public TComponent {
 public:
  explicit TAuOutput(TComponent* AOwner = nullptr);
  ~TAuOutput() override;

  // Starts a pass on the worker and returns at once. Clears ExceptionMessage.
  // Raises EAuException "Component is Busy" when a pass is running, "Input is
  // not assigned" when Input is nothing.
  void Run();
  // Ends the running pass. Async: returns at once and OnDone follows.
  // Not Async: returns when the worker has finished the pass (Done has run);
  // no OnDone and no later event of that pass reach the GUI. While waiting it
  // pumps GuiHandoff (nothing else) and sleeps between checks.
  void Stop(bool Async = true);
  // Raises "Input is not assigned." without input; returns when idle;
  // otherwise asks the worker to idle and waits (at most PauseTimeout, and
  // not when already paused) for it to acknowledge at its next step, then
  // calls the input's Pause hook. The end of the pass also ends the wait.
  // A request that timed out stays set: the worker enters the pause (and
  // calls PauseEntered) when its step returns, and Status then says so.
  virtual void Pause();
  // When busy: the input's Resume hook, then release the worker; when it was
  // idling, wait (at most PauseTimeout) for it to acknowledge.
  virtual void Resume();
  TOutputStatus Status() const;
  // How long Pause and Resume wait for the worker's acknowledgement (default
  // 10 s). Any thread.
  std::chrono::milliseconds PauseTimeout() const { return std::chrono::milliseconds(FPauseTimeoutMs.load()); }
  void SetPauseTimeout(std::chrono::milliseconds Value) { FPauseTimeoutMs.store(Value.count()); }
  // Position x 100 / Size rounded half to even; -1 for an open-ended input,
  // 0 without input or for an empty one.
  int32_t Progress() const;

  TAuInput* Input() const { return FInput.load(); }
  // When busy: Stop(false), store Value, Run (raises "Input is not assigned"
  // for nothing). When idle: store Value.
  virtual void SetInput(TAuInput* Value);

  std::string ExceptionMessage() const;
  bool Busy() const { return FBusy.load(); }
  bool Active() const { return FActive.load(); }
  int32_t LastProgress() const { return FLastProgress.load(); }
  // Any thread: wake a WaitInterruptible so it re-checks its Ready predicate.
  void WakeWorker();

  TEventSlot OnDone;             // TOutputDoneEvent
  TEventSlot OnProgress;         // TOutputProgressEvent
  TEventSlot OnThreadException;  // TThreadExceptionEvent

 protected:
  // Worker: one output step; true = continue the pass.
  virtual bool DoOutput(bool Abort) = 0;
  // Worker: release device resources after a pass and Flush the input.
  virtual void Done() = 0;
  // Worker: Init the input and set up the device before a pass.
  virtual void Prepare() = 0;

  // Worker: sleep on the worker's condition variable for up to Duration.
  // Returns true when the full time passed, false when woken early by Stop,
  // Pause, Resume or destruction (the caller re-checks its state).
  bool WaitInterruptible(std::chrono::milliseconds Duration);
  // Worker: as above, but also ends as soon as Ready() is true (checked under
  // the worker's lock; whoever makes it true calls WakeWorker). Returns false
  // only when woken by Stop, Pause, Resume or destruction.
  bool WaitInterruptible(std::chrono::milliseconds Duration, const std::function<bool()>& Ready);
  // Worker: a Stop has been requested for this pass.
  bool StopRequested() const;
  void SetActive(bool Value) { FActive.store(Value); }
  // Worker (or GUI): replaces ExceptionMessage.
  void SetExceptionMessage(const std::string& Message);
  // Posts Slot's handler as a generic event with this output as sender.
  void PostEvent(const TEventSlot& Slot);
  // Any thread: a pause has been requested and not withdrawn.
  bool PauseRequested() const;
  // Worker: the worker enters its pause state; called before the pause is
  // acknowledged, so a device silenced here is silent when Pause returns.
  // The base does nothing.
  virtual void PauseEntered() {}
  // Worker: the worker leaves its pause state to step again; called before
  // Resume is acknowledged. Not called when a stop ends the pass from the
  // pause state (Done follows instead). The base does nothing.
  virtual void PauseLeft() {}

  // Stops the pass and joins the worker; idempotent. Called by
  // BeforeDestruction.
  void ShutdownWorker();

  void Notification(TComponent* AComponent, TOperation Operation) override;
  void BeforeDestruction() override;

 private:
  // The pass as the worker runs it.
  void WorkerPass(uint64_t Pass);
  void HandleWorkerException(const std::string& Message);
  // GUI thread: ask the worker to end the pass (and to leave a pause it is
  // in), or to enter or leave its pause; wakes its sleep.
  void RequestStop();
  void RequestPause(bool Value);
  // Any thread: the worker's sleep must end (stop, pause or resume pending,
  // or the worker terminating).
  bool Interrupted() const;

  mutable std::mutex MessageLock;  // guards FExceptionMessage
  std::string FExceptionMessage;
  std::atomic<bool> FActive{false};
  std::atomic<int32_t> FLastProgress{0};
  std::unique_ptr<TAuThread> Thread;
  std::atomic<TAuInput*> FInput{nullptr};
  bool UsesEventHandler = false;
  std::atomic<int64_t> FPauseTimeoutMs{10000};

  // The pass's state. Each flag has one writer per transition: Run clears
  // the requests and sets Busy before it wakes the worker; Stop, Pause and
  // Resume (GUI thread) set requests; the worker acknowledges a pause
  // (PauseActive, PauseSignal) and clears Busy when the pass is done.
  std::atomic<bool> FBusy{false};
  std::atomic<bool> StopRequest{false};
  std::atomic<bool> PauseRequest{false};
  std::atomic<bool> PauseActive{false};  // the worker idles in its pause
  std::atomic<bool> NotifyOnDone{true};  // false while a Stop(false) waits: no OnDone
  TAutoResetEvent PauseSignal;           // the worker acknowledged a pause or resume
};
