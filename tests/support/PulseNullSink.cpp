#include "support/PulseNullSink.h"

#include <fcntl.h>
#include <glob.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "support/TTempFolder.h"

extern char** environ;

namespace {

// The full path of Name on PATH, or "" when it is not there.
std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    const std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// ALSA's PulseAudio plugin, wherever the multiarch layout puts it.
bool HasAlsaPulsePlugin() {
  for (const char* pattern : {"/usr/lib/*/alsa-lib/libasound_module_pcm_pulse.so",
                              "/usr/lib*/alsa-lib/libasound_module_pcm_pulse.so"}) {
    glob_t found{};
    const bool any = glob(pattern, 0, nullptr, &found) == 0 && found.gl_pathc > 0;
    globfree(&found);
    if (any) return true;
  }
  return false;
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return bool(out.flush());
}

}  // namespace

TPulseNullSink::TPulseNullSink() {
  if (!Start()) StopServer();
}

TPulseNullSink::~TPulseNullSink() {
  StopServer();
  if (HadHome)
    setenv("HOME", OldHome.c_str(), 1);
  else
    unsetenv("HOME");
  // Temp_ removes the folder.
}

bool TPulseNullSink::Start() {
  const std::string server = FindOnPath("pulseaudio");
  if (server.empty()) {
    FError = "the pulseaudio program is missing: install the Debian package pulseaudio";
    return false;
  }
  if (!HasAlsaPulsePlugin()) {
    FError = "ALSA's PulseAudio plugin is missing: install the Debian package libasound2-plugins";
    return false;
  }

  try {
    Temp_ = std::make_unique<TTempFolder>();
  } catch (const std::exception& e) {
    FError = "cannot create a temporary folder: " + std::string(e.what()) + " (" + std::strerror(errno) + ")";
    return false;
  }
  FFolder = Temp_->Path();
  const std::string runtime = FFolder + "/rt";
  const std::string socket = FFolder + "/native";
  if (mkdir(runtime.c_str(), 0700) != 0) {
    FError = "cannot create " + runtime;
    return false;
  }
  // The file plugin sits in front of the server, so the file holds exactly
  // what the application wrote, while the server paces it in real time.
  const std::string asoundrc = "pcm.paout { type pulse; server \"unix:" + socket +
                               "\" }\n"
                               "pcm.!default { type file; slave.pcm \"paout\"; file \"" +
                               FFolder + "/cap.raw\"; format \"raw\" }\n";
  if (!WriteFile(FFolder + "/.asoundrc", asoundrc)) {
    FError = "cannot write " + FFolder + "/.asoundrc";
    return false;
  }

  // The server's environment: this one with its own HOME and runtime folder.
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("HOME=", 0) == 0 || entry.rfind("XDG_RUNTIME_DIR=", 0) == 0 ||
        entry.rfind("PULSE_", 0) == 0)
      continue;
    env.push_back(entry);
  }
  env.push_back("HOME=" + FFolder);
  env.push_back("XDG_RUNTIME_DIR=" + runtime);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  std::vector<std::string> args = {server,
                                   "-n",
                                   "--daemonize=no",
                                   "--exit-idle-time=-1",
                                   "--disallow-exit",
                                   "--log-target=stderr",
                                   "-L",
                                   "module-null-sink sink_name=cap",
                                   "-L",
                                   "module-native-protocol-unix auth-anonymous=1 socket=" + socket};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const std::string log = FFolder + "/server.log";
  const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int nullFd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (logFd < 0 || nullFd < 0) {
    if (logFd >= 0) close(logFd);
    if (nullFd >= 0) close(nullFd);
    FError = "cannot open " + log;
    return false;
  }
  // fork + exec rather than posix_spawn: the child asks to be ended with its
  // parent, so a crashed test leaves no server behind. Only async-signal-safe
  // calls between the two.
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);  // the parent is already gone
    dup2(nullFd, 1);
    dup2(logFd, 2);
    execve(server.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  const int forkError = errno;
  close(logFd);
  close(nullFd);
  if (pid < 0) {
    FError = "cannot start " + server + ": " + std::strerror(forkError);
    return false;
  }
  ServerPid = pid;

  // Ready once its socket exists; a server that exits first has failed.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  struct stat st {};
  while (stat(socket.c_str(), &st) != 0) {
    int status = 0;
    if (waitpid(ServerPid, &status, WNOHANG) == ServerPid) {
      ServerPid = -1;
      FError = "pulseaudio exited at start:\n" + ServerLog();
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      FError = "pulseaudio did not open its socket within 10 s:\n" + ServerLog();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  // From here on ALSA in this process finds the configuration above.
  if (const char* home = std::getenv("HOME")) {
    HadHome = true;
    OldHome = home;
  }
  setenv("HOME", FFolder.c_str(), 1);
  return true;
}

void TPulseNullSink::StopServer() {
  if (ServerPid <= 0) return;
  kill(ServerPid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (waitpid(ServerPid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(ServerPid, SIGKILL);
      waitpid(ServerPid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ServerPid = -1;
}

std::vector<uint8_t> TPulseNullSink::Captured() const {
  std::ifstream in(FFolder + "/cap.raw", std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TPulseNullSink::ServerLog() const {
  std::ifstream in(FFolder + "/server.log");
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
