#pragma once
// Ctrl+C for the playing commands: SIGINT/SIGTERM are waited for on a thread
// of their own (the signals are blocked everywhere else), so the reaction may
// lock and wake like any other code. Create it before any audio thread
// starts, so they inherit the mask.

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "audio/core/GuiHandoff.h"

// Sets Interrupted and kicks the hand-off queue on SIGINT or SIGTERM.
class TInterruptWatch {
 public:
  TInterruptWatch() {
    sigemptyset(&Signals);
    sigaddset(&Signals, SIGINT);
    sigaddset(&Signals, SIGTERM);
    sigaddset(&Signals, SIGUSR1);  // ends the watch
    // Block before any audio thread starts, so they inherit the mask.
    pthread_sigmask(SIG_BLOCK, &Signals, &OldMask);
    Watcher = std::thread([this] {
      int sig = 0;
      while (sigwait(&Signals, &sig) == 0 && sig != SIGUSR1) {
        Interrupted.store(true);
        GuiHandoff::Instance().Kick();
      }
    });
  }
  ~TInterruptWatch() {
    pthread_kill(Watcher.native_handle(), SIGUSR1);
    Watcher.join();
    pthread_sigmask(SIG_SETMASK, &OldMask, nullptr);
  }
  TInterruptWatch(const TInterruptWatch&) = delete;
  TInterruptWatch& operator=(const TInterruptWatch&) = delete;

  std::atomic<bool> Interrupted{false};

 private:
  sigset_t Signals;
  sigset_t OldMask;
  std::thread Watcher;
};

