#pragma once
// Fails a run that hangs: the watched thread marks the start and end of each
// step, and when one step runs longer than the limit the watchdog prints the
// caller's context, then the stack of every thread of the process, then
// aborts. The stacks come from the threads themselves: each is signalled
// with tgkill and prints backtrace() from the handler.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class TStackWatchdog {
 public:
  // `context` runs on the watchdog thread while the watched thread is stuck
  // in its step; it may read what that thread wrote before Begin.
  TStackWatchdog(std::chrono::milliseconds limit, std::function<void()> context);
  ~TStackWatchdog();
  TStackWatchdog(const TStackWatchdog&) = delete;
  TStackWatchdog& operator=(const TStackWatchdog&) = delete;

  // Watched thread only.
  void Begin();
  void End();

  // Prints the stack of every thread to stderr. Any thread.
  static void PrintAllStacks();

 private:
  void Watch();

  const std::chrono::milliseconds Limit;
  std::function<void()> Context;
  std::mutex StepLock;  // guards StepStarted, InStep, Quit
  std::condition_variable Changed;
  std::chrono::steady_clock::time_point StepStarted;
  bool InStep = false;
  bool Quit = false;
  std::thread Thread;
};
