// The sound path under a starved system: two-clip announcements (WAV files
// through TWaveIn and the input list) played back to back by TDXAudioOut
// through PortAudio into a private PulseAudio null sink, with the window's
// playback settings (65535 frames, 800 ms polling), while two busy threads
// keep both cores of a small machine occupied. The sink's monitor is
// recorded all along, so what the sink actually played is checked too.
//
// Two sides take turns, announcement by announcement: the program's way
// (through a sound server's plugin its callback thread does not ask for
// real-time scheduling) and a callback thread that always asks for it.
//
// Counts, for each side:
// - underruns of the output's ring (OnUnderrun) and late polls (a poll of
//   the worker more than TDXAudioOut::kLatePollMarginMs after the previous
//   one plus the step's sleep);
// - underflows PortAudio reported (TDXAudioOut::DeviceUnderflows);
// - gaps heard at the sink: silence inside an announcement (its frames are
//   never silent and each tells where it belongs), their total and worst
//   length, and frames lost or changed on the way;
// - time behind: the silence the sink played inside announcements, by
//   which they ended later than they should.
// Goal: no gap, no underrun, no late poll.
//
// Usage: bench_underrun [--seconds N] [--latency-ms L]
//   N: the whole run (default 600: ten minutes), shared by the two sides.
//   L: the stream latency asked of PortAudio (default: the program's).
// The last line is machine-readable:
//   RESULT underruns=N late_polls=M worst_late_ms=X polling_ms=800 behind_s=S gaps=G gaps_realtime_callback=H

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
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
#include "support/SinkMonitorRecorder.h"
#include "support/WavBuilder.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr int kChannels = 2;
// One announcement: a 4 s clip and a 2.5 s clip, joined without a pause.
constexpr double kFirstClipSeconds = 4.0;
constexpr double kSecondClipSeconds = 2.5;
// Silence this long inside an announcement means the pass ended early.
constexpr int64_t kCutFrames = kRate;

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

// The announcement's signal: the left channel counts its frames (a code
// that repeats every kCodeFrames and is never 0), the right one is a tone.
// No frame is silent, and every frame heard tells where it belongs.
constexpr int64_t kCodeFrames = 65000;
int16_t LeftCode(int64_t frame) {
  const int64_t r = frame % kCodeFrames - kCodeFrames / 2;
  return int16_t(r >= 0 ? r + 1 : r);
}
int64_t CodeResidue(int16_t left) { return left > 0 ? left - 1 + kCodeFrames / 2 : left + kCodeFrames / 2; }

std::vector<int16_t> Announcement(int64_t frames) {
  std::vector<int16_t> samples(size_t(frames) * 2);
  for (int64_t i = 0; i < frames; ++i) {
    samples[size_t(2 * i)] = LeftCode(i);
    const auto tone = int16_t(std::lround(8000 * std::sin(2 * M_PI * 440 * double(i) / kRate)));
    samples[size_t(2 * i + 1)] = tone == 0 ? 1 : tone;
  }
  return samples;
}

// Follows the sink's recording frame by frame: an announcement starts at
// its first sound and must then come whole and in order. Silence before its
// last frame is a gap; frames skipped over are lost (a device that recovers
// from an underrun drops what it held). Fed on the recorder's thread.
class TGapCounter {
 public:
  struct TResult {
    int Announcements = 0;  // heard to their last frame
    int Cut = 0;            // their end never came
    int64_t Gaps = 0;
    int64_t GapFrames = 0;
    int64_t WorstGapFrames = 0;
    int64_t LostFrames = 0;        // skipped inside announcements
    int64_t LostAtStartFrames = 0;  // missing before the first frame heard
    int64_t WrongFrames = 0;        // where they belong, but not what was played
  };

  explicit TGapCounter(std::vector<int16_t> Expected) : Expected(std::move(Expected)) {}

  void Feed(const int16_t* samples, size_t frames) {
    std::lock_guard lock(CountLock);
    const int64_t total = int64_t(Expected.size() / 2);
    for (size_t f = 0; f < frames; ++f) {
      const int16_t left = samples[2 * f];
      const int16_t right = samples[2 * f + 1];
      if (left == 0 && right == 0) {
        if (Inside && ++InGap > kCutFrames) {
          ++R.Cut;  // not a gap: the rest never came
          Inside = false;
        }
        continue;
      }
      if (!Inside) {
        Inside = true;
        Index = 0;
        InGap = 0;
      }
      // The first frame from here on that carries this code.
      int64_t at = Index + ((CodeResidue(left) - Index % kCodeFrames) % kCodeFrames + kCodeFrames) % kCodeFrames;
      if (at - Index > kCutFrames || at >= total) {
        // Far ahead: the next announcement has begun.
        ++R.Cut;
        Index = 0;
        InGap = 0;
        at = CodeResidue(left);
      }
      (Index == 0 ? R.LostAtStartFrames : R.LostFrames) += at - Index;
      if (InGap > 0) {
        ++R.Gaps;
        R.GapFrames += InGap;
        R.WorstGapFrames = std::max(R.WorstGapFrames, InGap);
        InGap = 0;
      }
      if (at >= total || right != Expected[size_t(2 * at + 1)]) ++R.WrongFrames;
      Index = at + 1;
      if (Index < total) continue;
      ++R.Announcements;
      Inside = false;
    }
  }

  TResult Result() const {
    std::lock_guard lock(CountLock);
    return R;
  }

 private:
  const std::vector<int16_t> Expected;
  mutable std::mutex CountLock;  // guards everything below
  bool Inside = false;
  int64_t Index = 0;  // the frame expected next
  int64_t InGap = 0;
  TResult R;
};

// One way of playing: its own PortAudio system and output, with a policy for
// real-time scheduling of the callback thread.
struct TSide {
  TSide(const char* name, TRealtimeCallback realtime, double latency, TAuInput& input, std::vector<int16_t> expected)
      : Name(name), Realtime(realtime), Gaps(std::move(expected)) {
    TPortAudioOptions options;
    options.LatencySeconds = latency;
    options.Realtime = realtime;
    System = std::make_shared<TPortAudioSystem>(options);
    Out.reset(new TDXAudioOut(nullptr, System));
    Ready = Out->ChooseDevice(TPulseNullSink::AlsaDevice(0, false)).Found();
    Out->SetFramesInBuffer(PlaybackSettings::kFramesInBuffer);
    Out->SetPollingInterval(PlaybackSettings::kPollingInterval);
    Out->OnDone = [this](TComponent*) { ++Done; };
    Out->OnUnderrun = [this](TComponent*) { ++Underruns; };
    Out->SetInput(&input);
  }
  ~TSide() { Out->SetInput(nullptr); }

  // Plays one announcement; false when the pass did not end.
  bool Play() {
    const int before = Done.load();
    const auto start = bench::Clock::now();
    Out->Run();
    if (!GuiHandoff::Instance().PumpUntil([&] { return Done.load() > before; }, std::chrono::seconds(120))) {
      std::fprintf(stderr, "bench_underrun: a pass did not end within 120 s\n");
      ++FailedPasses;
      return false;
    }
    ++Passes;
    PassSeconds.push_back(bench::SecondsSince(start));
    DeviceUnderflows += Out->DeviceUnderflows();
    RealtimeSeen = RealtimeSeen || Out->DeviceRealtime();
    if (!Out->ExceptionMessage().empty()) {
      ++FailedPasses;
      std::fprintf(stderr, "bench_underrun: %s, pass %d: %s\n", Name, Passes, Out->ExceptionMessage().c_str());
    }
    return true;
  }

  const char* Name;
  TRealtimeCallback Realtime;
  bool Ready = false;
  std::shared_ptr<TPortAudioSystem> System;
  TComponentPtr<TDXAudioOut> Out;
  TGapCounter Gaps;
  std::atomic<int> Done{0};
  std::atomic<int> Underruns{0};
  int Passes = 0;
  int FailedPasses = 0;
  int64_t DeviceUnderflows = 0;
  bool RealtimeSeen = false;
  std::vector<double> PassSeconds;
};

double Arg(int argc, char** argv, const char* name, double fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atof(argv[i + 1]);
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = Arg(argc, argv, "--seconds", 600.0);
  const double latency = Arg(argc, argv, "--latency-ms", TPortAudioSystem::kStreamLatencySeconds * 1000) / 1000;
  if (seconds <= 0 || latency <= 0) {
    std::fprintf(stderr, "usage: bench_underrun [--seconds N] [--latency-ms L]\n");
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
  const int64_t firstFrames = int64_t(kFirstClipSeconds * kRate);
  const std::vector<int16_t> expected = Announcement(firstFrames + int64_t(kSecondClipSeconds * kRate));
  const auto split = expected.begin() + 2 * firstFrames;
  TTempFile firstFile(MakeWav(fmt, Int16Bytes({expected.begin(), split})));
  TTempFile secondFile(MakeWav(fmt, Int16Bytes({split, expected.end()})));

  auto first = MakeComponent<TWaveIn>();
  auto second = MakeComponent<TWaveIn>();
  first->SetFileName(firstFile.Path());
  second->SetFileName(secondFile.Path());
  auto list = MakeComponent<TInputList>();
  list->InputItems().Add(first.get());
  list->InputItems().Add(second.get());

  const uint32_t pollingMs = PlaybackSettings::kPollingInterval;
  // The sleep a step actually takes: at most a third of the buffer.
  const uint32_t bufferMs = uint32_t(uint64_t(PlaybackSettings::kFramesInBuffer) * 1000 / kRate);
  const uint32_t stepMs = std::min(pollingMs, bufferMs / 3);
  const double announcement = kFirstClipSeconds + kSecondClipSeconds;
  std::printf("bench_underrun: %.0f s of %.1f s announcements (%.1f s + %.1f s clips), buffer %u frames (%u ms), "
              "polling %u ms (each step sleeps %u ms), stream latency %.1f ms, 2 CPU hogs, late = more than %u ms "
              "after the step's sleep; the program's way and a real-time callback thread take turns\n",
              seconds, announcement, kFirstClipSeconds, kSecondClipSeconds, PlaybackSettings::kFramesInBuffer, bufferMs,
              pollingMs, stepMs, latency * 1000, TDXAudioOut::kLatePollMarginMs);
  std::fflush(stdout);

  // The two sides take turns, announcement by announcement, so both meet
  // the same load; the sink's recording goes to the side playing.
  TSide sides[] = {TSide("the program's way", TRealtimeCallback::HardwareDevices, latency, *list, expected),
                   TSide("real-time callback thread", TRealtimeCallback::Always, latency, *list, expected)};
  for (const TSide& side : sides)
    if (!side.Ready) {
      std::fprintf(stderr, "bench_underrun: PortAudio does not list %s\n", TPulseNullSink::AlsaDevice(0, false).c_str());
      return 1;
    }
  std::atomic<TGapCounter*> listener{nullptr};
  TSinkMonitorRecorder recorder(
      sink, 0,
      [&](const int16_t* s, size_t frames, int64_t, auto) {
        if (TGapCounter* counter = listener.load()) counter->Feed(s, frames);
      },
      1024);
  if (!recorder.Ready()) {
    std::fprintf(stderr, "bench_underrun: %s\n", recorder.Error().c_str());
    return 1;
  }
  const auto start = bench::Clock::now();
  {
    TCpuHogs hogs(2);
    for (int pass = 0; bench::SecondsSince(start) < seconds; ++pass) {
      TSide& side = sides[pass % 2];
      listener.store(&side.Gaps);
      if (!side.Play()) break;
      // The end of the announcement is on its way from the sink's monitor.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  }
  listener.store(nullptr);
  list->InputItems().Clear();

  int failed = 0;
  for (TSide& h : sides) {
    failed += h.FailedPasses;
    const double played = h.Passes * announcement;
    const TGapCounter::TResult g = h.Gaps.Result();
    const double gapMs = double(g.GapFrames) * 1000 / kRate;
    const double worstLateMs = double(h.Out->WorstPollLatenessUs()) / 1000.0;
    std::printf("\n[%s: the callback thread %s]\n", h.Name,
                h.RealtimeSeen                                  ? "ran real-time"
                : h.Realtime == TRealtimeCallback::Always ? "asked for real-time and was refused"
                                                                : "did not ask for real-time on this device");
    std::printf("played: %d announcements, %.1f s of audio (%d passes failed)\n", h.Passes, played, h.FailedPasses);
    std::printf("heard at the sink: %d whole, %d cut short; %lld gaps, %.1f ms of silence inside announcements "
                "(worst gap %.1f ms); %.1f ms of the clips lost inside them, %lld frames differ from them (goal: no "
                "gap, nothing lost); %.2f ms per announcement missing before its first frame heard\n",
                g.Announcements, g.Cut, static_cast<long long>(g.Gaps), gapMs, double(g.WorstGapFrames) * 1000 / kRate,
                double(g.LostFrames) * 1000 / kRate, static_cast<long long>(g.WrongFrames),
                g.Announcements > 0 ? double(g.LostAtStartFrames) * 1000 / kRate / (g.Announcements + g.Cut) : 0.0);
    std::printf("time behind: %.1f ms of silence played inside announcements (%.3f %% of the audio); pass time "
                "median %.2f s, worst %.2f s\n",
                gapMs, played > 0 ? gapMs / 10 / played : 0.0, bench::Median(h.PassSeconds),
                h.PassSeconds.empty() ? 0.0 : *std::max_element(h.PassSeconds.begin(), h.PassSeconds.end()));
    std::printf("ring underruns: %d, device underflows: %lld, late polls: %lld of %lld (worst %.3f ms, %.4f x the "
                "%u ms polling interval) (goal: none)\n",
                h.Underruns.load(), static_cast<long long>(h.DeviceUnderflows),
                static_cast<long long>(h.Out->LatePolls()), static_cast<long long>(h.Out->MeasuredPolls()), worstLateMs,
                worstLateMs / pollingMs, pollingMs);
    const std::string under = bench::FigureText(seconds) + " s under 2 CPU hogs, " + h.Name;
    bench::ReportRow("Silence heard inside announcements, " + under + " (" + std::to_string(g.Gaps) + " gaps, " +
                         bench::FigureText(double(g.LostFrames) * 1000 / kRate) + " ms lost, " +
                         std::to_string(h.Underruns.load()) + " underruns, " + std::to_string(h.DeviceUnderflows) +
                         " device underflows; goal no gap)",
                     gapMs, "ms", "audio played", played, "s", played > 0 ? gapMs / 1000 / played : 0);
    if (h.Realtime == TRealtimeCallback::HardwareDevices)
      bench::ReportRow("Worst poll lateness, " + under + " (" + std::to_string(h.Out->LatePolls()) +
                           " late polls; goal none)",
                       worstLateMs, "ms", "polling interval", pollingMs, "ms", worstLateMs / pollingMs);
  }
  const TSide& rt = sides[0];
  const TGapCounter::TResult rtHeard = rt.Gaps.Result();
  std::printf("RESULT underruns=%d late_polls=%lld worst_late_ms=%.3f polling_ms=%u behind_s=%.3f gaps=%lld "
              "gaps_realtime_callback=%lld\n",
              rt.Underruns.load(), static_cast<long long>(rt.Out->LatePolls()),
              double(rt.Out->WorstPollLatenessUs()) / 1000.0, pollingMs, double(rtHeard.GapFrames) / kRate,
              static_cast<long long>(rtHeard.Gaps), static_cast<long long>(sides[1].Gaps.Result().Gaps));
  return failed == 0 ? 0 : 1;
}
