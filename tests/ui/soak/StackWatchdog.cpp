#include "StackWatchdog.h"

#include <dirent.h>
#include <execinfo.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kStackSignal = SIGUSR2;
std::atomic<int> StackPrinted{0};

void WriteText(const char* text) {
  ssize_t ignored = write(STDERR_FILENO, text, strlen(text));
  (void)ignored;
}

void WriteNumber(long value) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = char('0' + value % 10);
    value /= 10;
  } while (value > 0 && n < 23);
  char out[24];
  for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  out[n] = '\0';
  WriteText(out);
}

// Async-signal-safe apart from backtrace's first call, which loads the
// unwinder: InstallHandler makes that call up front.
void PrintOwnStack(int) {
  void* frames[64];
  const int n = backtrace(frames, 64);
  WriteText("---- thread ");
  WriteNumber(long(syscall(SYS_gettid)));
  WriteText("\n");
  backtrace_symbols_fd(frames, n, STDERR_FILENO);
  StackPrinted.store(1);
}

void InstallHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    void* warm[2];
    (void)backtrace(warm, 2);
    struct sigaction action {};
    action.sa_handler = PrintOwnStack;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(kStackSignal, &action, nullptr);
  });
}

}  // namespace

TStackWatchdog::TStackWatchdog(std::chrono::milliseconds limit, std::function<void()> context)
    : Limit(limit), Context(std::move(context)) {
  InstallHandler();
  Thread = std::thread([this] { Watch(); });
}

TStackWatchdog::~TStackWatchdog() {
  {
    std::lock_guard<std::mutex> lock(StepLock);
    Quit = true;
  }
  Changed.notify_all();
  Thread.join();
}

void TStackWatchdog::Begin() {
  {
    std::lock_guard<std::mutex> lock(StepLock);
    StepStarted = std::chrono::steady_clock::now();
    InStep = true;
  }
  Changed.notify_all();
}

void TStackWatchdog::End() {
  std::lock_guard<std::mutex> lock(StepLock);
  InStep = false;
}

void TStackWatchdog::Watch() {
  std::unique_lock<std::mutex> lock(StepLock);
  while (!Quit) {
    if (!InStep) {
      Changed.wait(lock);
      continue;
    }
    const auto deadline = StepStarted + Limit;
    if (std::chrono::steady_clock::now() < deadline) {
      Changed.wait_until(lock, deadline);
      continue;
    }
    lock.unlock();
    fprintf(stderr, "\nWATCHDOG: one step has run for over %lld ms\n", (long long)Limit.count());
    if (Context) Context();
    PrintAllStacks();
    fflush(stderr);
    std::abort();
  }
}

void TStackWatchdog::PrintAllStacks() {
  InstallHandler();
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) {
    fprintf(stderr, "cannot list /proc/self/task: %s\n", strerror(errno));
    return;
  }
  const pid_t pid = getpid();
  while (dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const long tid = strtol(entry->d_name, nullptr, 10);
    StackPrinted.store(0);
    if (syscall(SYS_tgkill, pid, tid, kStackSignal) != 0) continue;  // the thread has ended
    // A thread blocked with the signal masked never answers; move on.
    for (int waited = 0; waited < 100 && StackPrinted.load() == 0; ++waited) usleep(10000);
    if (StackPrinted.load() == 0) fprintf(stderr, "---- thread %ld did not answer\n", tid);
  }
  closedir(tasks);
}
