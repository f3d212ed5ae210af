// Figures for the command line, run as a user runs it (the program is
// spawned, its start included):
// - "--check" of a 1,000-item script over real clips (WAV and MP3), in items
//   per second;
// - "--render" of a WAV and of an MP3 composition, as a multiple of real
//   time (the goal for WAV clips is over 100x);
// - the program's start alone ("--version"), for scale.
//
//   bench_cli [ROUNDS]   (default 3; the best round is reported)

#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "ReportRow.h"
#include "support/Mp3Encoder.h"
#include "support/WavBuilder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 44100;
constexpr int kChannels = 2;

// Runs the program in Folder with its output thrown away; its exit status.
int Run(const fs::path& Folder, std::vector<std::string> Args) {
  Args.insert(Args.begin(), VOMRELLA_PROGRAM);
  std::vector<char*> argv;
  for (std::string& a : Args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, Folder.c_str());
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void WriteBytes(const fs::path& Path, const TBytes& Bytes) {
  std::ofstream out(Path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
}

void WritePcmWav(const fs::path& Path, const std::vector<int16_t>& Pcm) {
  TBytes data(Pcm.size() * 2);
  for (size_t i = 0; i < Pcm.size(); ++i) {
    data[2 * i] = uint8_t(uint16_t(Pcm[i]) & 0xFF);
    data[2 * i + 1] = uint8_t(uint16_t(Pcm[i]) >> 8);
  }
  TFmtFields fmt;
  fmt.Channels = kChannels;
  fmt.SampleRate = kRate;
  WriteBytes(Path, TWavBuilder().Header().Fmt(fmt).Data(data).Bytes());
}

// Ten WAV and ten MP3 clips of Seconds each in Folder/Hangok.
bool MakeClips(const fs::path& Folder, double Seconds) {
  fs::create_directories(Folder / "Hangok");
  for (int i = 0; i < 10; ++i) {
    const std::vector<int16_t> pcm = ToneSignal(kChannels, kRate, Seconds, 300 + 40 * i);
    WritePcmWav(Folder / "Hangok" / ("klip" + std::to_string(i) + ".wav"), pcm);
    if (!EncodeMp3File((Folder / "Hangok" / ("klip" + std::to_string(i) + ".mp3")).string(), pcm, kChannels, kRate))
      return false;
  }
  return true;
}

// One composition of Items items over the clips of Extension, each followed
// by PauseMs.
void WriteScript(const fs::path& Path, int Items, const std::string& Extension, int PauseMs) {
  std::ofstream out(Path, std::ios::binary);
  out << "[Teszt]\r\n";
  for (int i = 0; i < Items; ++i) {
    const std::string ext = Extension.empty() ? (i % 2 ? ".mp3" : ".wav") : Extension;
    out << "klip" << (i % 10) << ext << "|" << PauseMs << "\r\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const fs::path folder = fs::temp_directory_path() / ("vomrella-bench-cli-" + std::to_string(getpid()));
  const double clipSeconds = 2.0;
  if (!MakeClips(folder, clipSeconds)) {
    std::fprintf(stderr, "bench_cli: cannot encode MP3 clips\n");
    return 1;
  }
  int failures = 0;
  auto timed = [&](const std::vector<std::string>& args) {
    return bench::BestSeconds(rounds, [&] {
      if (Run(folder, args) != 0) ++failures;
    });
  };

  const double start = timed({"--version"});
  std::printf("program start (--version):            %8.3f s\n", start);

  const int items = 1000;
  WriteScript(folder / "check.vrs", items, "", 250);
  const double check = timed({"--check", "check.vrs"});
  std::printf("--check, %d items (half WAV, half MP3): %7.3f s  %8.0f items/s\n", items, check, items / check);
  const double checkJson = timed({"--check", "check.vrs", "--json"});
  std::printf("--check --json, same script:           %8.3f s  %8.0f items/s\n", checkJson, items / checkJson);

  for (const char* ext : {".wav", ".mp3"}) {
    const int renderItems = 60;
    const int pauseMs = 500;
    WriteScript(folder / "render.vrs", renderItems, ext, pauseMs);
    const double audio = renderItems * (clipSeconds + pauseMs / 1000.0);
    const double seconds = timed({"--render", "render.vrs", "--composition", "1", "-o", "ki.wav"});
    std::printf("--render, %d %s clips, %.0f s of sound:  %8.3f s  %8.0fx real time (%.0fx without the start)\n",
                renderItems, ext, audio, seconds, audio / seconds, audio / std::max(1e-9, seconds - start));
    bench::ReportRow(std::string("--render, ") + ext + " clips", seconds, "s", "real time of the sound (real/ours)",
                     audio, "s", audio / seconds);
  }

  std::error_code ec;
  fs::remove_all(folder, ec);
  if (failures > 0) {
    std::fprintf(stderr, "bench_cli: %d runs failed\n", failures);
    return 1;
  }
  return 0;
}
