#include "support/PulseNullSink.h"

#include <fcntl.h>
#include <glob.h>
#include <pulse/pulseaudio.h>
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
#include <functional>
#include <iterator>
#include <sstream>
#include <string_view>
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

// A client of the server on a mainloop of its own, driven by the calling
// thread until each answer has come.
class TPulseClient {
 public:
  explicit TPulseClient(const std::string& server) : Loop(pa_mainloop_new()) {
    if (!Loop) return;
    Context = pa_context_new(pa_mainloop_get_api(Loop), "vomrella-test-control");
    if (!Context || pa_context_connect(Context, server.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return;
    for (;;) {
      const pa_context_state_t state = pa_context_get_state(Context);
      if (state == PA_CONTEXT_READY) {
        Connected = true;
        return;
      }
      if (!PA_CONTEXT_IS_GOOD(state) || pa_mainloop_iterate(Loop, 1, nullptr) < 0) return;
    }
  }
  ~TPulseClient() {
    if (Context) {
      pa_context_disconnect(Context);
      pa_context_unref(Context);
    }
    if (Loop) pa_mainloop_free(Loop);
  }
  TPulseClient(const TPulseClient&) = delete;
  TPulseClient& operator=(const TPulseClient&) = delete;

  bool Connected = false;
  pa_context* Context = nullptr;

  // Drives the loop until the operation has ended; false when it did not
  // complete.
  bool Wait(pa_operation* op) {
    if (!op) return false;
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
      if (pa_mainloop_iterate(Loop, 1, nullptr) < 0) break;
    const bool done = pa_operation_get_state(op) == PA_OPERATION_DONE;
    pa_operation_unref(op);
    return done;
  }

  // The sink's index, the module that owns it and its latency (how far it
  // has rendered ahead); false when it is not there.
  bool FindSink(const std::string& name, uint32_t& index, uint32_t& module, pa_usec_t* latency = nullptr) {
    struct TFound {
      bool Any = false;
      uint32_t Index = PA_INVALID_INDEX, Module = PA_INVALID_INDEX;
      pa_usec_t Latency = 0;
    } found;
    const bool ok = Wait(pa_context_get_sink_info_by_name(
        Context, name.c_str(),
        [](pa_context*, const pa_sink_info* info, int eol, void* data) {
          auto* f = static_cast<TFound*>(data);
          if (eol || !info) return;
          f->Any = true;
          f->Index = info->index;
          f->Module = info->owner_module;
          f->Latency = info->latency;
        },
        &found));
    index = found.Index;
    module = found.Module;
    if (latency) *latency = found.Latency;
    return ok && found.Any;
  }

  std::vector<uint32_t> InputsOf(uint32_t sink) {
    struct TList {
      uint32_t Sink;
      std::vector<uint32_t> Inputs;
    } list{sink, {}};
    Wait(pa_context_get_sink_input_info_list(
        Context,
        [](pa_context*, const pa_sink_input_info* info, int eol, void* data) {
          auto* l = static_cast<TList*>(data);
          if (eol || !info || info->sink != l->Sink) return;
          const char* name = pa_proplist_gets(info->proplist, PA_PROP_MEDIA_NAME);
          if (name && std::string_view(name) == TPulseNullSink::kKeepAwakeStream) return;
          l->Inputs.push_back(info->index);
        },
        &list));
    return list.Inputs;
  }

 private:
  pa_mainloop* Loop = nullptr;
};

// Starts Program with Args and Env, its output to /dev/null and its errors
// appended to LogPath; -1 (errno set) when it cannot. fork + exec rather
// than posix_spawn: the child asks to be ended with its parent, so a crashed
// test leaves nothing behind. Only async-signal-safe calls between the two.
pid_t Spawn(const std::string& program, std::vector<std::string> args, std::vector<std::string> env,
            const std::string& logPath) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  const int logFd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  const int nullFd = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (logFd < 0 || nullFd < 0) {
    const int error = errno;
    if (logFd >= 0) close(logFd);
    if (nullFd >= 0) close(nullFd);
    errno = error;
    return -1;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);  // the parent is already gone
    dup2(nullFd, 0);
    dup2(nullFd, 1);
    dup2(logFd, 2);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  const int forkError = errno;
  close(logFd);
  close(nullFd);
  errno = forkError;
  return pid;
}

// Asks a child to end, and makes it after 5 s.
void EndChild(pid_t pid) {
  kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Keeps the server's yes or no to a request.
void Acknowledge(pa_context*, int success, void* result) { *static_cast<int*>(result) = success; }

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
  // The server's own settings, from its HOME: streams whose sink goes end.
  std::error_code made;
  std::filesystem::create_directories(FFolder + "/.config/pulse", made);
  if (made || !WriteFile(FFolder + "/.config/pulse/daemon.conf", "rescue-streams = no\n")) {
    FError = "cannot write " + FFolder + "/.config/pulse/daemon.conf";
    return false;
  }
  // The file plugin sits in front of the server, so the file holds exactly
  // what the application wrote, while the server paces it in real time.
  std::string asoundrc;
  for (int sink = 0; sink < kSinks; ++sink) {
    asoundrc += "pcm." + AlsaDevice(sink, false) + " { type pulse; server \"unix:" + socket + "\"; device \"" +
                SinkName(sink) + "\" }\n";
    asoundrc += "pcm." + std::string(sink == 0 ? "!default" : AlsaDevice(sink)) + " { type file; slave.pcm \"" +
                AlsaDevice(sink, false) + "\"; file \"" + FFolder + "/" + SinkName(sink) + ".raw\"; format \"raw\" }\n";
  }
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

  std::vector<std::string> args = {server, "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                                   "--log-target=stderr"};
  for (int sink = 0; sink < kSinks; ++sink) {
    args.push_back("-L");
    args.push_back("module-null-sink sink_name=" + SinkName(sink));
  }
  args.push_back("-L");
  args.push_back("module-native-protocol-unix auth-anonymous=1 socket=" + socket);
  const std::string log = FFolder + "/server.log";
  ServerPid = Spawn(server, args, env, log);
  if (ServerPid < 0) {
    FError = "cannot start " + server + ": " + std::strerror(errno);
    return false;
  }

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

  // An idle null sink sleeps in blocks of up to two seconds and holds a new
  // stream back that long, where a sound card's sink starts it at once: a
  // silent stream of low latency keeps each sink awake.
  const std::string pacat = FindOnPath("pacat");
  if (pacat.empty()) {
    FError = "the pacat program is missing: install the Debian package pulseaudio-utils";
    return false;
  }
  for (int sink = 0; sink < kSinks; ++sink) {
    const pid_t pid = Spawn(pacat,
                            {pacat, "--playback", "--server=" + ServerAddress(), "--device=" + SinkName(sink),
                             "--latency-msec=5", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                             "--stream-name=" + std::string(kKeepAwakeStream), "/dev/zero"},
                            env, FFolder + "/keep-awake.log");
    if (pid < 0) {
      FError = "cannot start " + pacat + ": " + std::strerror(errno);
      return false;
    }
    KeepAwakePids.push_back(pid);
  }
  // The sinks take the short latency once the block they were rendering
  // when the streams came has played out.
  {
    TPulseClient client(ServerAddress());
    const auto awakeBy = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int sink = 0; sink < kSinks && client.Connected;) {
      uint32_t index = 0, module = 0;
      pa_usec_t latency = 0;
      if (client.FindSink(SinkName(sink), index, module, &latency) && latency < 100'000) {
        ++sink;
        continue;
      }
      if (std::chrono::steady_clock::now() > awakeBy) {
        FError = "sink " + SinkName(sink) + " did not wake within 10 s:\n" + ServerLog();
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!client.Connected) {
      FError = "cannot reach the server as a client:\n" + ServerLog();
      return false;
    }
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
  for (const pid_t pid : KeepAwakePids) EndChild(pid);
  KeepAwakePids.clear();
  if (ServerPid <= 0) return;
  EndChild(ServerPid);
  ServerPid = -1;
}

std::string TPulseNullSink::AlsaDevice(int Sink, bool Tapped) {
  if (Tapped) return Sink == 0 ? "default" : "vomrella_" + SinkName(Sink);
  return "vomrella_" + SinkName(Sink) + "_direct";
}

std::string TPulseNullSink::SinkName(int Sink) { return Sink == 0 ? "cap" : "second"; }

std::string TPulseNullSink::ServerAddress() const { return "unix:" + FFolder + "/native"; }

int TPulseNullSink::StreamsOn(int Sink) const {
  TPulseClient client(ServerAddress());
  uint32_t index = 0, module = 0;
  if (!client.Connected || !client.FindSink(SinkName(Sink), index, module)) return -1;
  return int(client.InputsOf(index).size());
}

int TPulseNullSink::KillStreams(int Sink) const {
  TPulseClient client(ServerAddress());
  uint32_t index = 0, module = 0;
  if (!client.Connected || !client.FindSink(SinkName(Sink), index, module)) return 0;
  int killed = 0;
  for (const uint32_t input : client.InputsOf(index)) {
    int success = 0;
    if (client.Wait(pa_context_kill_sink_input(client.Context, input, &Acknowledge, &success)) && success) ++killed;
  }
  return killed;
}

int64_t TPulseNullSink::SinkLatencyUs(int Sink) const {
  TPulseClient client(ServerAddress());
  uint32_t index = 0, module = 0;
  pa_usec_t latency = 0;
  if (!client.Connected || !client.FindSink(SinkName(Sink), index, module, &latency)) return -1;
  return int64_t(latency);
}

bool TPulseNullSink::UnloadSink(int Sink) const {
  TPulseClient client(ServerAddress());
  uint32_t index = 0, module = 0;
  if (!client.Connected || !client.FindSink(SinkName(Sink), index, module)) return false;
  int success = 0;
  return client.Wait(pa_context_unload_module(client.Context, module, &Acknowledge, &success)) && success;
}

std::vector<uint8_t> TPulseNullSink::Captured(int Sink) const {
  std::ifstream in(FFolder + "/" + SinkName(Sink) + ".raw", std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TPulseNullSink::ServerLog() const {
  std::ifstream in(FFolder + "/server.log");
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
