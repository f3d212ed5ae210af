// Underruns on a real, timed device under CPU load: two-clip announcements
// (WAV files through TWaveIn and the input list) played back to back by
// TDXAudioOut through PortAudio into a private PulseAudio null sink, with the
// window's playback settings (65535 frames, 800 ms polling), while two busy
// threads keep both cores of a small machine occupied.
//
// Counts underruns (OnUnderrun) and late polls (a poll of the output's worker
// that comes more than TDXAudioOut::kLatePollMarginMs after the previous one
// plus the step's sleep). Goal: none of either.
//
// Usage: bench_underrun [--seconds N] (default 600: ten minutes)
// The last line is machine-readable:
//   RESULT underruns=N late_polls=M worst_late_ms=X polling_ms=800 behind_s=S

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "BenchClock.h"
#include "ReportRow.h"
#include "audio/core/GuiHandoff.h"
#include "audio/core/TInputList.h"
#include "audio/decoders/TWaveIn.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/TPortAudioSystem.h"
#include "show/PlaybackSettings.h"
#include "support/PulseNullSink.h"
#include "support/WavBuilder.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr int kChannels = 2;
// One announcement: a 4 s clip and a 2.5 s clip, joined without a pause.
constexpr double kFirstClipSeconds = 4.0;
constexpr double kSecondClipSeconds = 2.5;

// Spins until told to stop; the sum is published so the loop is not removed.
class TCpuHogs {
 public:
  explicit TCpuHogs(int count) {
    for (int i = 0; i < count; ++i)
      Threads.emplace_back([this, i] {
        uint64_t x = 88172645463325252ull + uint64_t(i);
        while (!Stop.load(std::memory_order_relaxed))
          for (int k = 0; k < 10000; ++k) x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        Sink.fetch_add(x, std::memory_order_relaxed);
      });
  }
  ~TCpuHogs() {
    Stop.store(true);
    for (auto& t : Threads) t.join();
  }

 private:
  std::atomic<bool> Stop{false};
  std::atomic<uint64_t> Sink{0};
  std::vector<std::thread> Threads;
};

double ArgSeconds(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--seconds") == 0) return std::atof(argv[i + 1]);
  return 600.0;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = ArgSeconds(argc, argv);
  if (seconds <= 0) {
    std::fprintf(stderr, "usage: bench_underrun [--seconds N]\n");
    return 2;
  }

  // Before the first PortAudio system: ALSA reads its configuration then.
  TPulseNullSink sink;
  if (!sink.Ready()) {
    std::fprintf(stderr, "bench_underrun: %s\n", sink.Error().c_str());
    return 1;
  }

  TFmtFields fmt;
  fmt.Channels = kChannels;
  fmt.SampleRate = kRate;
  fmt.BitsPerSample = 16;
  TTempFile firstFile(MakeWav(fmt, Int16Bytes(TestSignal(size_t(kFirstClipSeconds * kRate), kChannels, 5))));
  TTempFile secondFile(MakeWav(fmt, Int16Bytes(TestSignal(size_t(kSecondClipSeconds * kRate), kChannels, 9))));

  auto system = std::make_shared<TPortAudioSystem>();
  std::unique_ptr<TSoundDevice> probe;
  if (system->CreateDevice(TDeviceId{}, probe) != srOk) {
    std::fprintf(stderr, "bench_underrun: PortAudio finds no default output on the null sink\n");
    return 1;
  }
  probe.reset();

  auto first = MakeComponent<TWaveIn>();
  auto second = MakeComponent<TWaveIn>();
  first->SetFileName(firstFile.Path());
  second->SetFileName(secondFile.Path());
  auto list = MakeComponent<TInputList>();
  list->InputItems().Add(first.get());
  list->InputItems().Add(second.get());

  TComponentPtr<TDXAudioOut> out(new TDXAudioOut(nullptr, system));
  out->SetDeviceNumber(PlaybackSettings::kDeviceNumber);
  out->SetFramesInBuffer(PlaybackSettings::kFramesInBuffer);
  out->SetPollingInterval(PlaybackSettings::kPollingInterval);
  std::atomic<int> done{0};
  std::atomic<int> underruns{0};
  out->OnDone = [&](TComponent*) { ++done; };
  out->OnUnderrun = [&](TComponent*) { ++underruns; };
  out->SetInput(list.get());

  const uint32_t pollingMs = PlaybackSettings::kPollingInterval;
  // The sleep a step actually takes: at most a third of the buffer.
  const uint32_t bufferMs = uint32_t(uint64_t(PlaybackSettings::kFramesInBuffer) * 1000 / kRate);
  const uint32_t stepMs = std::min(pollingMs, bufferMs / 3);
  std::printf("bench_underrun: %.0f s of %.1f s announcements (%.1f s + %.1f s clips), buffer %u frames (%u ms), "
              "polling %u ms (each step sleeps %u ms), 2 CPU hogs, late = more than %u ms after the step's sleep\n",
              seconds, kFirstClipSeconds + kSecondClipSeconds, kFirstClipSeconds, kSecondClipSeconds,
              PlaybackSettings::kFramesInBuffer, bufferMs, pollingMs, stepMs, TDXAudioOut::kLatePollMarginMs);
  std::fflush(stdout);

  // A pass lasts its audio plus the drain (the buffer's duration in 100 ms
  // rounds). Time beyond that is the stream's opening and closing, or the
  // device taking the audio slower than real time: starvation downstream of
  // the output's buffer (PortAudio's callback thread or the sound server),
  // which the output's underrun check cannot see but a listener hears.
  const double drainSeconds = std::ceil(bufferMs / 100.0) / 10.0;
  const double expectedPass = kFirstClipSeconds + kSecondClipSeconds + drainSeconds;
  std::vector<double> passSeconds;
  int passes = 0;
  int failedPasses = 0;
  const auto start = bench::Clock::now();
  {
    TCpuHogs hogs(2);
    while (bench::SecondsSince(start) < seconds) {
      const int before = done.load();
      const auto passStart = bench::Clock::now();
      out->Run();
      if (!GuiHandoff::Instance().PumpUntil([&] { return done.load() > before; }, std::chrono::seconds(120))) {
        std::fprintf(stderr, "bench_underrun: a pass did not end within 120 s\n");
        ++failedPasses;
        break;
      }
      ++passes;
      passSeconds.push_back(bench::SecondsSince(passStart));
      if (!out->ExceptionMessage().empty()) {
        ++failedPasses;
        std::fprintf(stderr, "bench_underrun: pass %d: %s\n", passes, out->ExceptionMessage().c_str());
      }
    }
  }
  const double wall = bench::SecondsSince(start);
  const int64_t measuredPolls = out->MeasuredPolls();
  const int64_t latePolls = out->LatePolls();
  const double worstMs = double(out->WorstPollLatenessUs()) / 1000.0;
  out->SetInput(nullptr);
  out.reset();
  list->InputItems().Clear();

  const double played = passes * (kFirstClipSeconds + kSecondClipSeconds);
  std::printf("played: %d announcements, %.1f s of audio in %.1f s wall (%d passes failed)\n", passes, played, wall,
              failedPasses);
  double behind = 0;
  for (double t : passSeconds) behind += std::max(0.0, t - expectedPass);
  const double worstPass = passSeconds.empty() ? 0 : *std::max_element(passSeconds.begin(), passSeconds.end());
  std::printf("pass time: median %.2f s, worst %.2f s, against %.2f s of audio and drain; %.1f s beyond that in "
              "all (%.1f %% of the audio played; stream set-up, or the device starved)\n",
              bench::Median(passSeconds), worstPass, expectedPass, behind, played > 0 ? behind / played * 100 : 0.0);
  std::printf("underruns: %d (goal: none)\n", underruns.load());
  std::printf("late polls: %lld of %lld measured (goal: none)\n", static_cast<long long>(latePolls),
              static_cast<long long>(measuredPolls));
  std::printf("worst poll lateness: %.3f ms = %.4f x the %u ms polling interval (%.4f x the %u ms step sleep)\n",
              worstMs, worstMs / pollingMs, pollingMs, worstMs / stepMs, stepMs);
  bench::ReportRow("Worst poll lateness, " + bench::FigureText(seconds) + " s under 2 CPU hogs (" +
                       std::to_string(underruns.load()) + " underruns, " + std::to_string(latePolls) +
                       " late polls; goal none)",
                   worstMs, "ms", "polling interval", pollingMs, "ms", worstMs / pollingMs);
  std::printf("RESULT underruns=%d late_polls=%lld worst_late_ms=%.3f polling_ms=%u behind_s=%.1f\n",
              underruns.load(), static_cast<long long>(latePolls), worstMs, pollingMs, behind);
  return failedPasses == 0 ? 0 : 1;
}
