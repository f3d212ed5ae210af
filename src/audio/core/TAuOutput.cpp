#include "audio/core/TAuOutput.h"

#include <cmath>
#include <limits>

#include "audio/core/EAuException.h"
#include "audio/core/GuiHandoff.h"
#include "audio/core/TAuInput.h"
#include "audio/core/TAuThread.h"
#include "audio/core/TEventHandler.h"

namespace {
constexpr std::chrono::milliseconds PausedSleep{50};
}  // namespace

TAuOutput::TAuOutput(TComponent* AOwner) : TComponent(AOwner) {
  if (Designing()) return;
  Thread = std::make_unique<TAuThread>([this](uint64_t Pass) { WorkerPass(Pass); });
  TEventHandler::Acquire();
  UsesEventHandler = true;
}

TAuOutput::~TAuOutput() { ShutdownWorker(); }

void TAuOutput::BeforeDestruction() {
  if (Destroying()) return;
  ShutdownWorker();
  TComponent::BeforeDestruction();
}

void TAuOutput::ShutdownWorker() {
  if (Thread) {
    Stop(false);
    Thread->Terminate();
    Thread.reset();
  }
  if (UsesEventHandler) {
    UsesEventHandler = false;
    TEventHandler::RemoveEventsOf(this);
    TEventHandler::Release();
  }
}

void TAuOutput::Run() {
  SetExceptionMessage("");
  if (Busy()) throw EAuException("Component is Busy");
  if (!Input()) throw EAuException("Input is not assigned");
  if (!Thread) return;  // design mode: no worker
  // Cleared here rather than when the worker wakes, so a Stop or Pause
  // issued right after Run is not lost.
  StopRequest.store(false);
  PauseRequest.store(false);
  PauseActive.store(false);
  PauseSignal.Reset();
  FBusy.store(true);
  Thread->RequestRun();
}

void TAuOutput::RequestStop() {
  StopRequest.store(true);
  if (PauseActive.load()) PauseRequest.store(false);
  Thread->Wake();
}

void TAuOutput::RequestPause(bool Value) {
  PauseRequest.store(Value);
  Thread->Wake();
}

bool TAuOutput::Interrupted() const {
  return StopRequest.load() || (Thread && Thread->Terminating()) || PauseRequest.load() != PauseActive.load();
}

void TAuOutput::Stop(bool Async) {
  if (!Thread) return;
  NotifyOnDone.store(Async);
  RequestStop();
  if (Async) return;

  TEventHandler::Mute(this);
  TEventHandler::RemoveEventsOf(this);
  TAuThread* worker = Thread.get();
  // Wait for the newest pass requested: when Run was called just as the
  // pass before ended, that one may still be parking, and Stop would
  // otherwise return while the new pass starts.
  const uint64_t target = worker->Tracker()->StartedPass();
  GuiHandoff::Instance().PumpUntil(
      [worker, target] { return worker->Parked() || worker->Tracker()->ParkedPass() >= target; });
  TEventHandler::Unmute(this);
  NotifyOnDone.store(true);
}

void TAuOutput::Pause() {
  TAuInput* input = Input();
  if (!input) throw EAuException("Input is not assigned.");
  if (!Busy() || !Thread) return;
  // Already idling: the worker acknowledged before and will not again.
  const bool alreadyPaused = PauseRequest.load() && PauseActive.load();
  if (!alreadyPaused) PauseSignal.Reset();  // drop a late acknowledgement of an earlier request
  RequestPause(true);
  // The pass may have ended since the Busy test above; its closing signal
  // may then have been dropped by the Reset, and no acknowledgement would
  // ever come. The worker clears Busy before that signal, so looking again
  // after the Reset tells the two apart.
  if (!Busy()) return;
  if (!alreadyPaused) PauseSignal.WaitFor(PauseTimeout());
  input->Pause();
}

void TAuOutput::Resume() {
  if (!Busy() || !Thread) return;
  if (TAuInput* input = Input()) input->Resume();
  // Only a worker that is idling acknowledges; waiting when it is playing
  // (or has not entered a requested pause yet, which is simply withdrawn)
  // would block the caller for the whole timeout.
  const bool idling = PauseActive.load();
  RequestPause(false);
  if (idling) PauseSignal.WaitFor(PauseTimeout());
}

TOutputStatus TAuOutput::Status() const {
  if (!Busy()) return osIdle;
  if (PauseActive.load()) return osPaused;
  return osPlaying;
}

int32_t TAuOutput::Progress() const {
  TAuInput* input = Input();
  if (!input) return 0;
  const int64_t size = input->Size.load();
  if (size == -1) return -1;
  if (size == 0) return 0;
  const double percent = std::nearbyint(static_cast<double>(input->Position.load()) * 100.0 / static_cast<double>(size));
  if (!(percent >= std::numeric_limits<int32_t>::min() && percent <= std::numeric_limits<int32_t>::max())) return -1;
  return static_cast<int32_t>(percent);
}

void TAuOutput::SetInput(TAuInput* Value) {
  auto store = [this](TAuInput* NewInput) {
    TAuInput* old = FInput.exchange(NewInput);
    if (old && old != NewInput) RemoveFreeNotification(old);
    if (NewInput) FreeNotification(NewInput);
  };
  if (!Busy()) {
    store(Value);
    return;
  }
  Stop(false);
  store(Value);
  Run();
}

void TAuOutput::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove || AComponent != Input()) return;
  try {
    SetInput(nullptr);
  } catch (const EAuException&) {
    // A busy output stopped its pass and cannot restart without an input;
    // that is the expected outcome of removing the input.
  }
}

std::string TAuOutput::ExceptionMessage() const {
  std::lock_guard lock(MessageLock);
  return FExceptionMessage;
}

void TAuOutput::SetExceptionMessage(const std::string& Message) {
  std::lock_guard lock(MessageLock);
  FExceptionMessage = Message;
}

bool TAuOutput::WaitInterruptible(std::chrono::milliseconds Duration) {
  if (!Thread) return true;
  return !Thread->SleepFor(Duration, [this] { return Interrupted(); });
}

bool TAuOutput::WaitInterruptible(std::chrono::milliseconds Duration, const std::function<bool()>& Ready) {
  if (!Thread) return true;
  Thread->SleepFor(Duration, [&] { return Interrupted() || Ready(); });
  return !Interrupted();
}

void TAuOutput::WakeWorker() {
  if (Thread) Thread->Wake();
}

bool TAuOutput::StopRequested() const { return StopRequest.load(); }

void TAuOutput::PostEvent(const TEventSlot& Slot) {
  TNotifyEvent handler = Slot.Get();
  if (handler) TEventHandler::PostGeneric(this, std::move(handler));
}

bool TAuOutput::PauseRequested() const { return PauseRequest.load(); }

void TAuOutput::HandleWorkerException(const std::string& Message) {
  SetExceptionMessage(Message);
  PostEvent(OnThreadException);
}

void TAuOutput::WorkerPass(uint64_t Pass) {
  // Busy and the request flags were set by Run.
  bool idling = false;  // in the pause state, PauseEntered called
  try {
    Prepare();
    FActive.store(true);
    bool result = true;
    while (result && !StopRequest.load()) {
      const int32_t progress = Progress();
      if (progress != FLastProgress.load()) {
        FLastProgress.store(progress);
        if (TNotifyEvent handler = OnProgress.Get()) TEventHandler::PostProgress(this, std::move(handler));
      }
      if (PauseRequest.load()) {
        // Before the acknowledgement, so the device is silent once Pause returns.
        if (!idling) {
          idling = true;
          PauseEntered();
        }
        if (!PauseActive.load() && !StopRequest.load()) {
          PauseActive.store(true);
          PauseSignal.Set();
        }
        PauseActive.store(true);
        WaitInterruptible(PausedSleep);
        continue;
      }
      if (idling) {
        idling = false;
        PauseLeft();
      }
      if (PauseActive.load() && !StopRequest.load()) {
        PauseActive.store(false);
        PauseSignal.Set();
      }
      PauseActive.store(false);
      result = DoOutput(StopRequest.load());
    }
  } catch (const std::exception& e) {
    HandleWorkerException(e.what());
  } catch (...) {
    HandleWorkerException("Unknown exception");
  }
  StopRequest.store(false);
  if (FBusy.load()) {
    FActive.store(false);
    try {
      Done();
    } catch (const std::exception& e) {
      HandleWorkerException(e.what());
    } catch (...) {
      HandleWorkerException("Unknown exception");
    }
    PauseActive.store(false);
    FBusy.store(false);
  }
  // Release a Pause or Resume still waiting for an acknowledgement.
  PauseSignal.Set();
  if (NotifyOnDone.load()) {
    if (TNotifyEvent handler = OnDone.Get()) TEventHandler::PostDone(this, Thread->Tracker(), Pass, std::move(handler));
  }
}
