#pragma once
// A published pipeline event: a handler bound to an object that takes the
// sending component and nothing else (handlers read state from the sender).
//
// The slot is assigned on the GUI thread and read by the worker when it posts
// the event, so access goes through a small lock; posting copies the handler.

#include <functional>
#include <mutex>

class TComponent;

using TNotifyEvent = std::function<void(TComponent* Sender)>;
using TOutputDoneEvent = TNotifyEvent;
using TOutputProgressEvent = TNotifyEvent;
using TThreadExceptionEvent = TNotifyEvent;
using TUnderrunEvent = TNotifyEvent;
using TInputChangedEvent = TNotifyEvent;

class TEventSlot {
 public:
  TEventSlot() = default;
  TEventSlot(const TEventSlot&) = delete;
  TEventSlot& operator=(const TEventSlot&) = delete;

  // Any thread.
  TEventSlot& operator=(TNotifyEvent Handler) {
    {
      std::lock_guard lock(HandlerLock);
      std::swap(FHandler, Handler);
    }
    // The old handler is destroyed here, outside the lock: its captured
    // state may free components.
    return *this;
  }
  explicit operator bool() const {
    std::lock_guard lock(HandlerLock);
    return static_cast<bool>(FHandler);
  }
  // A copy of the handler (empty when unassigned).
  TNotifyEvent Get() const {
    std::lock_guard lock(HandlerLock);
    return FHandler;
  }

 private:
  mutable std::mutex HandlerLock;  // guards FHandler
  TNotifyEvent FHandler;
};
