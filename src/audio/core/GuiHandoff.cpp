#include "audio/core/GuiHandoff.h"

#include <algorithm>

namespace {
thread_local int TaskDepth = 0;
// Upper bound of one condition-variable wait; guards against an unannounced
// state change (a missing Kick) turning into a hang.
constexpr std::chrono::milliseconds MaxSlice{50};
}  // namespace

struct GuiHandoff::Item {
  Task Work;
  enum State { Queued, Running, Finished } Status = Queued;
};

GuiHandoff& GuiHandoff::Instance() {
  static GuiHandoff instance;
  return instance;
}

bool GuiHandoff::InTask() { return TaskDepth > 0; }

void GuiHandoff::SetWakeHook(std::function<void()> Hook) {
  std::lock_guard lock(HandoffLock);
  WakeHook = std::move(Hook);
}

size_t GuiHandoff::Pending() {
  std::lock_guard lock(HandoffLock);
  return Queue.size();
}

void GuiHandoff::Kick() {
  {
    std::lock_guard lock(HandoffLock);
    ++KickCount;
  }
  HandoffCond.notify_all();
}

bool GuiHandoff::Call(Task task, const std::atomic<bool>* Cancel) {
  auto item = std::make_shared<Item>();
  item->Work = std::move(task);
  std::function<void()> hook;
  {
    std::lock_guard lock(HandoffLock);
    Queue.push_back(item);
    hook = WakeHook;
  }
  HandoffCond.notify_all();
  if (hook) hook();

  std::unique_lock lock(HandoffLock);
  while (item->Status != Item::Finished) {
    if (item->Status == Item::Queued && Cancel && Cancel->load()) {
      auto it = std::find(Queue.begin(), Queue.end(), item);
      if (it != Queue.end()) Queue.erase(it);
      return false;
    }
    HandoffCond.wait_for(lock, MaxSlice);
  }
  return true;
}

size_t GuiHandoff::Pump() {
  std::deque<std::shared_ptr<Item>> batch;
  {
    std::lock_guard lock(HandoffLock);
    batch.swap(Queue);
    for (auto& item : batch) item->Status = Item::Running;
  }
  for (auto& item : batch) {
    ++TaskDepth;
    try {
      item->Work();
    } catch (...) {
      // The waiting thread must be released whatever the handler did.
    }
    --TaskDepth;
    item->Work = nullptr;  // drop captured state on this thread
    {
      std::lock_guard lock(HandoffLock);
      item->Status = Item::Finished;
    }
    HandoffCond.notify_all();
  }
  return batch.size();
}

bool GuiHandoff::PumpUntil(const std::function<bool()>& Done, std::chrono::milliseconds Timeout) {
  const bool unbounded = Timeout == std::chrono::milliseconds::max();
  const auto deadline = unbounded ? std::chrono::steady_clock::time_point::max()
                                  : std::chrono::steady_clock::now() + Timeout;
  for (;;) {
    Pump();
    uint64_t seen;
    {
      std::lock_guard lock(HandoffLock);
      seen = KickCount;
    }
    if (Done()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (!unbounded && now >= deadline) return false;
    auto slice = MaxSlice;
    if (!unbounded) slice = std::min(slice, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                                                std::chrono::milliseconds(1));
    std::unique_lock lock(HandoffLock);
    HandoffCond.wait_for(lock, slice, [&] { return KickCount != seen || !Queue.empty(); });
  }
}
