// Program entry: "vomrella [SCRIPT]" opens the window (loading the script);
// arguments starting with "--" are command-line commands. Installs a
// fatal-signal handler that prints a backtrace before the process ends.

#include <execinfo.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "app/CliCommand.h"
#include "app/WindowProgram.h"

std::vector<CliCommand>& CliRegistry::Commands() {
  static std::vector<CliCommand> commands;
  return commands;
}

const CliCommand* CliRegistry::Find(std::string_view name) {
  for (const CliCommand& c : Commands())
    if (c.name == name) return &c;
  return nullptr;
}

namespace {

[[maybe_unused]] void FatalSignal(int sig) {
  // Only async-signal-safe calls here: write() and backtrace_symbols_fd().
  const char* name = sig == SIGSEGV ? "SIGSEGV" : sig == SIGABRT ? "SIGABRT" : sig == SIGBUS ? "SIGBUS"
                   : sig == SIGFPE  ? "SIGFPE"  : sig == SIGILL  ? "SIGILL"  : "fatal signal";
  const char head[] = "vomrella: ";
  (void)!write(STDERR_FILENO, head, sizeof head - 1);
  (void)!write(STDERR_FILENO, name, strlen(name));
  (void)!write(STDERR_FILENO, "\n", 1);
  void* frames[64];
  int n = backtrace(frames, 64);
  backtrace_symbols_fd(frames, n, STDERR_FILENO);
  signal(sig, SIG_DFL);
  raise(sig);
}

void InstallFatalSignalHandlers() {
#ifndef VOMRELLA_SANITIZED
  for (int sig : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) signal(sig, FatalSignal);
#endif
}

int Usage(FILE* out) {
  std::fprintf(out, "Usage: vomrella [SCRIPT]\n           opens the window, loading SCRIPT when given\n");
  std::vector<CliCommand> sorted = CliRegistry::Commands();
  std::sort(sorted.begin(), sorted.end(), [](const CliCommand& a, const CliCommand& b) { return a.name < b.name; });
  for (const CliCommand& c : sorted)
    std::fprintf(out, "       vomrella %.*s %.*s\n           %.*s\n", int(c.name.size()), c.name.data(),
                 int(c.usage.size()), c.usage.data(), int(c.help.size()), c.help.data());
  return out == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  InstallFatalSignalHandlers();
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) return RunWindowProgram(argc, argv, std::string());
  if (args[0] == "--help" || args[0] == "-h") return Usage(stdout);
  if (const CliCommand* command = CliRegistry::Find(args[0]))
    return command->run(std::vector<std::string_view>(args.begin() + 1, args.end()));
  if (args[0].starts_with("--")) {
    std::fprintf(stderr, "vomrella: unknown option %.*s\n", int(args[0].size()), args[0].data());
    return Usage(stderr);
  }
  if (args.size() > 1) {
    std::fprintf(stderr, "vomrella: csak egy script adható meg\n");
    return Usage(stderr);
  }
  return RunWindowProgram(argc, argv, std::string(args[0]));
}
