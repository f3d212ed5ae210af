#include "audio/core/TAuThread.h"

#include "audio/core/GuiHandoff.h"
#include "audio/core/TAuOutput.h"

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

TAuThread::TAuThread(TAuOutput& Output) : FOutput(Output) { Thread = std::thread([this] { Execute(); }); }

TAuThread::~TAuThread() { Terminate(); }

void TAuThread::Wake() {
  { std::lock_guard lock(StateLock); }
  StateCond.notify_all();
}

void TAuThread::RequestRun() {
  {
    std::lock_guard lock(StateLock);
    // Cleared here rather than when the worker wakes, so a Stop or Pause
    // issued right after Run is not lost.
    StopRequest.store(false);
    PauseRequest.store(false);
    PauseActive.store(false);
    PauseSignal.Reset();
    FOutput.FBusy.store(true);
    RunPending = true;
    // One request per pass (a busy output refuses Run), so this count is
    // the number the worker gives the pass.
    FTracker->MarkStarted();
  }
  StateCond.notify_all();
}

void TAuThread::RequestStop() {
  StopRequest.store(true);
  if (PauseActive.load()) PauseRequest.store(false);
  Wake();
}

void TAuThread::RequestPause(bool Value) {
  PauseRequest.store(Value);
  Wake();
}

void TAuThread::Terminate() {
  Terminated.store(true);
  Wake();
  if (Thread.joinable()) Thread.join();
  FTracker->Abandon();
}

bool TAuThread::Interrupted() const {
  return StopRequest.load() || Terminated.load() || PauseRequest.load() != PauseActive.load();
}

bool TAuThread::WaitInterruptible(std::chrono::milliseconds Duration) {
  std::unique_lock lock(StateLock);
  return !StateCond.wait_for(lock, Duration, [this] { return Interrupted(); });
}

bool TAuThread::WaitInterruptible(std::chrono::milliseconds Duration, const std::function<bool()>& Ready) {
  std::unique_lock lock(StateLock);
  StateCond.wait_for(lock, Duration, [&] { return Interrupted() || Ready(); });
  return !Interrupted();
}

bool TAuThread::Parked() {
  std::lock_guard lock(StateLock);
  return Waiting && !RunPending;
}

void TAuThread::Execute() {
  for (;;) {
    {
      std::unique_lock lock(StateLock);
      Waiting = true;
    }
    // A Stop(false) may be waiting for the worker to park.
    GuiHandoff::Instance().Kick();
    {
      std::unique_lock lock(StateLock);
      StateCond.wait(lock, [this] { return RunPending || Terminated.load(); });
      if (Terminated.load()) return;
      RunPending = false;
      Waiting = false;
    }
    const uint64_t pass = FCurrentPass.fetch_add(1) + 1;
    FOutput.WorkerPass(pass);
    PassEnded.store(true);
    FTracker->MarkParked(pass);
  }
}
