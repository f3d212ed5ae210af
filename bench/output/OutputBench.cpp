// Sound device output figures, on the virtual device with the real clock
// (44.1 kHz, 16-bit stereo, the main window's 65535-frame buffer):
//  1. CPU time the process spends per second of audio played, against the
//     goal of 1 % of one core;
//  2. how long Stop(false) takes while a pass sleeps between polls, against
//     the goal of 20 ms and the 800 ms polling interval a sleep that ignored
//     Stop would wait out;
//  3. on PortAudio's default output (when there is one): how long Pause,
//     Resume and Stop(false) hold the calling (GUI) thread, and, for
//     comparison, how long stopping a bare stream takes when it plays out
//     what the host holds (Pa_StopStream) and when it drops it
//     (Pa_AbortStream).
// Usage: bench_output [seconds of audio for the CPU figure, default 5]

#include <portaudio.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "BenchClock.h"
#include "ReportRow.h"
#include "audio/core/GuiHandoff.h"
#include "audio/core/TAuInput.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/TPortAudioSystem.h"
#include "audio/output/TVirtualSoundSystem.h"

namespace {

using bench::Clock;

// Endless or fixed-length 16-bit stereo noise at 44.1 kHz.
class TNoiseInput : public TAuInput {
 public:
  explicit TNoiseInput(int64_t bytes) : Total(bytes), Block(1 << 16) {
    std::mt19937 random(7);
    for (auto& b : Block) b = uint8_t(random());
  }
  uint32_t GetBitsPerSample() override { return 16; }
  uint32_t GetChannels() override { return 2; }
  uint32_t GetSampleRate() override { return 44100; }

 protected:
  void DoInit() override {
    Position = 0;
    Size = Total;
  }
  void DoFlush() override {}
  void GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) override {
    int64_t left = Total < 0 ? int64_t(Block.size()) : Total - Position.load();
    Bytes = uint32_t(std::min<int64_t>({int64_t(Bytes), int64_t(Block.size()), std::max<int64_t>(left, 0)}));
    Buffer = Block.data();
    Position += Bytes;
  }

 private:
  int64_t Total;
  std::vector<uint8_t> Block;
};

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct TOutput {
  TOutput() : System(std::make_shared<TVirtualSoundSystem>()), Out(new TDXAudioOut(nullptr, System)) {
    Out->SetFramesInBuffer(65535);
    Out->OnDone = [this](TComponent*) { Done.store(true); };
  }
  std::shared_ptr<TVirtualSoundSystem> System;
  TComponentPtr<TDXAudioOut> Out;
  std::atomic<bool> Done{false};
};

void CpuPerSecond(double seconds, uint32_t pollingMs) {
  TOutput o;
  o.Out->SetPollingInterval(pollingMs);
  TNoiseInput input(int64_t(seconds * 44100) * 4);
  o.Out->SetInput(&input);
  const double cpu0 = ProcessCpuSeconds();
  const auto wall0 = Clock::now();
  o.Out->Run();
  GuiHandoff::Instance().PumpUntil([&] { return o.Done.load(); });
  const double cpu = ProcessCpuSeconds() - cpu0;
  const double wall = bench::SecondsSince(wall0);
  const double heardSeconds = double(o.System->Heard().size()) / (44100.0 * 4);
  const double percent = cpu / heardSeconds * 100;
  std::printf("CPU per second of audio, polling %4u ms: %.3f ms CPU per s = %.4f %% of one core "
              "(goal < 1 %%: %.1fx under); %.2f s heard in %.2f s wall\n",
              pollingMs, cpu / heardSeconds * 1000, percent, 1.0 / std::max(percent, 1e-9), heardSeconds, wall);
  bench::ReportRow("Output CPU per s of sound, polling " + std::to_string(pollingMs) + " ms", percent, "% of a core",
                   "goal (ours/goal)", 1, "% of a core", percent);
  o.Out->SetInput(nullptr);
}

void StopLatency(int rounds) {
  std::vector<double> ms;
  for (int i = 0; i < rounds; ++i) {
    TOutput o;
    o.Out->SetPollingInterval(800);
    // A buffer long enough that the 800 ms interval is the sleep actually used.
    o.Out->SetFramesInBuffer(44100 * 4);
    TNoiseInput input(-1);
    o.Out->SetInput(&input);
    o.Out->Run();
    // Land somewhere inside a polling sleep.
    std::this_thread::sleep_for(std::chrono::milliseconds(150 + 97 * i % 600));
    const auto t0 = Clock::now();
    o.Out->Stop(false);
    ms.push_back(bench::SecondsSince(t0) * 1000.0);
    o.Out->SetInput(nullptr);
  }
  const double median = bench::Median(ms);
  const double worst = *std::max_element(ms.begin(), ms.end());
  std::printf("Stop(false) while playing, %d rounds: median %.3f ms, max %.3f ms (goal < 20 ms: %.0fx under); "
              "a sleep that ignored Stop would wait up to 800 ms (%.0fx the max measured)\n",
              rounds, median, worst, 20.0 / std::max(worst, 1e-6), 800.0 / std::max(worst, 1e-6));
  bench::ReportRow("Stop(false) while playing, virtual device (worst)", worst, "ms", "polling interval", 800, "ms",
                   worst / 800.0);
}

// Endless 16-bit stereo noise through TDXAudioOut on PortAudio's default
// output; times the GUI-thread calls.
void PortAudioTransport(int rounds) {
  auto system = std::make_shared<TPortAudioSystem>();
  std::unique_ptr<TSoundDevice> probe;
  if (system->CreateDevice(TDeviceId{}, probe) != srOk) {
    std::printf("PortAudio: no default output device, transport figures skipped\n");
    return;
  }
  probe.reset();
  std::vector<double> pause, resume, stop;
  for (int i = 0; i < rounds; ++i) {
    TComponentPtr<TDXAudioOut> out(new TDXAudioOut(nullptr, system));
    out->SetFramesInBuffer(65535);
    out->SetPollingInterval(200);
    TNoiseInput input(-1);
    out->SetInput(&input);
    out->Run();
    std::this_thread::sleep_for(std::chrono::milliseconds(300 + 37 * i % 200));
    auto t0 = Clock::now();
    out->Pause();
    pause.push_back(bench::SecondsSince(t0) * 1000.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    t0 = Clock::now();
    out->Resume();
    resume.push_back(bench::SecondsSince(t0) * 1000.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    t0 = Clock::now();
    out->Stop(false);
    stop.push_back(bench::SecondsSince(t0) * 1000.0);
    out->SetInput(nullptr);
  }
  auto show = [&](const char* what, const std::vector<double>& ms) {
    std::printf("PortAudio %-12s %d rounds: median %.3f ms, max %.3f ms (goal: within one 10 ms period)\n", what,
                rounds, bench::Median(ms), *std::max_element(ms.begin(), ms.end()));
  };
  show("Pause:", pause);
  show("Resume:", resume);
  show("Stop(false):", stop);
  const double stopMedian = bench::Median(stop);
  bench::ReportRow("Stop(false) while playing, PortAudio (median)", stopMedian, "ms", "polling interval", 200, "ms",
                   stopMedian / 200);

  // A bare stream at the latency the backend asks for, stopped both ways.
  const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  if (!info) return;
  auto silence = [](const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                    PaStreamCallbackFlags, void*) -> int {
    std::memset(output, 0, frames * 4);
    return paContinue;
  };
  for (const bool abort : {false, true}) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
      PaStreamParameters params{};
      params.device = device;
      params.channelCount = 2;
      params.sampleFormat = paInt16;
      params.suggestedLatency = info->defaultHighOutputLatency;
      PaStream* stream = nullptr;
      if (Pa_OpenStream(&stream, nullptr, &params, 44100, 441, paClipOff, silence, nullptr) != paNoError) return;
      Pa_StartStream(stream);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      const auto t0 = Clock::now();
      if (abort)
        Pa_AbortStream(stream);
      else
        Pa_StopStream(stream);
      ms.push_back(bench::SecondsSince(t0) * 1000.0);
      Pa_CloseStream(stream);
    }
    std::printf("bare stream, %s: median %.3f ms, max %.3f ms (host latency asked: %.1f ms)\n",
                abort ? "Pa_AbortStream" : "Pa_StopStream ", bench::Median(ms), *std::max_element(ms.begin(), ms.end()),
                info->defaultHighOutputLatency * 1000);
    if (abort)
      bench::ReportRow("Stop(false) while playing, PortAudio (median)", stopMedian, "ms",
                       "bare Pa_AbortStream (ours/bare)", bench::Median(ms), "ms", stopMedian / bench::Median(ms));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  CpuPerSecond(seconds, 800);
  CpuPerSecond(seconds, 200);
  StopLatency(10);
  PortAudioTransport(5);
  return 0;
}
