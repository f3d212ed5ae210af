#include "audio/core/TAuThread.h"

#include "audio/core/GuiHandoff.h"

TAuThread::TAuThread(TPass Pass) : FPass(std::move(Pass)) { Thread = std::thread([this] { Execute(); }); }

TAuThread::~TAuThread() { Terminate(); }

void TAuThread::Wake() {
  // Taking the lock orders the caller's change before the sleeper's next
  // check, so the notification cannot fall between its check and its wait.
  { std::lock_guard lock(StateLock); }
  StateCond.notify_all();
}

void TAuThread::RequestRun() {
  {
    std::lock_guard lock(StateLock);
    RunPending = true;
    // One request per pass (a busy output refuses Run), so this count is
    // the number the worker gives the pass.
    FTracker->MarkStarted();
  }
  StateCond.notify_all();
}

void TAuThread::Terminate() {
  Terminated.store(true);
  Wake();
  if (Thread.joinable()) Thread.join();
  FTracker->Abandon();
}

bool TAuThread::SleepFor(std::chrono::milliseconds Duration, const std::function<bool()>& Until) {
  std::unique_lock lock(StateLock);
  return StateCond.wait_for(lock, Duration, [&] { return Terminated.load() || Until(); });
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
    FPass(pass);
    FTracker->MarkParked(pass);
  }
}
