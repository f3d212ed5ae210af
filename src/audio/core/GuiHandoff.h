#pragma once
// Hand-off of work from audio threads to the GUI thread.
//
// The event thread pushes a task with Call and blocks until the GUI side has
// run it. The GUI side runs pending tasks with Pump: the Qt window installs a
// wake hook that posts an event to its own loop, which then calls Pump; tests
// pump from a plain thread of their own. A waiting TAuOutput::Stop(false)
// pumps this queue, and nothing else, so an event delivery that waits for the
// GUI thread cannot deadlock it and no user input is processed re-entrantly.
//
// One process-wide instance.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class GuiHandoff {
 public:
  using Task = std::function<void()>;

  static GuiHandoff& Instance();

  // Non-GUI thread: queue Task, call the wake hook, and wait until the GUI
  // side has run it. Returns true when it ran. When *Cancel becomes true (the
  // waiter's own stop flag; announce it with Kick) before the task has
  // started, the task is withdrawn and false is returned.
  bool Call(Task task, const std::atomic<bool>* Cancel = nullptr);

  // GUI thread: run every task queued now, oldest first; returns how many ran.
  // An exception escaping a task is caught and ignored (the waiter is released).
  size_t Pump();

  // GUI thread: pump until Done() is true, sleeping on the queue's condition
  // variable between checks (no spinning). Whoever makes Done() true must call
  // Kick. Returns false when Timeout passed first.
  bool PumpUntil(const std::function<bool()>& Done,
                 std::chrono::milliseconds Timeout = std::chrono::milliseconds::max());

  // Wake every PumpUntil and Call wait so they re-check their conditions.
  void Kick();

  // Installs the hook called (on the pushing thread) after a task is queued.
  void SetWakeHook(std::function<void()> Hook);

  // Tasks waiting to be pumped.
  size_t Pending();

  // True on the thread while it runs a task inside Pump.
  static bool InTask();

 private:
  struct Item;
  GuiHandoff() = default;

  std::mutex HandoffLock;  // guards Queue, WakeHook, KickCount and the items' states
  std::condition_variable HandoffCond;
  std::deque<std::shared_ptr<Item>> Queue;
  std::function<void()> WakeHook;
  uint64_t KickCount = 0;
};
