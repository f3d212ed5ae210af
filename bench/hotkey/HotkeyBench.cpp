// Play-hotkey latency: from the start of the play hotkey's handler
// (TFrm_Main::WMHotKey) to the first byte of the new composition written
// into the device buffer, while another composition plays. The window runs
// offscreen with the program's settings (65535-frame buffer, 800 ms
// polling); 50 presses each on the virtual device with the real clock and on
// PortAudio. Prints the median and the worst against the goal of 20 ms and
// the polling interval.
//
// On PortAudio the sound plays into a private PulseAudio null sink, and the
// same presses are also timed to the first sound at the sink, recorded from
// its monitor: the whole way from GO to what a listener would hear (goal:
// under 30 ms). Without PulseAudio, PortAudio's default output is used and
// only the first-byte figure is given.
// Usage: bench_hotkey [presses, default 50]

#include <QApplication>
#include <QLineEdit>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "BenchClock.h"
#include "LatencyWatch.h"
#include "ReportRow.h"
#include "audio/core/GuiHandoff.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/TPortAudioSystem.h"
#include "audio/output/TVirtualSoundSystem.h"
#include "show/PlaybackSettings.h"
#include "support/PulseNullSink.h"
#include "support/SinkMonitorRecorder.h"
#include "ui/TFrm_Main.h"

namespace fs = std::filesystem;
using bench::Clock;
using namespace bench;

namespace {

// When the marker first reached the sink, from its monitor's recording.
struct TSinkWatch {
  std::atomic<bool> Armed{false};
  std::atomic<int64_t> SeenNs{0};  // steady-clock ticks; 0 until heard
  void Arm() {
    SeenNs = 0;
    Armed = true;
  }
  void Look(const int16_t* samples, size_t frames, TSinkMonitorRecorder::TClock::time_point arrived) {
    if (!Armed) return;
    for (size_t i = 0; i < frames; ++i) {
      if (samples[2 * i] != kNewSample) continue;
      SeenNs = TSinkMonitorRecorder::FrameTime(arrived, frames, i).time_since_epoch().count();
      Armed = false;
      return;
    }
  }
};

struct TLatencies {
  std::vector<double> FirstByte;    // into the device buffer
  std::vector<double> FirstMixed;   // mixed by the sink (its monitor), when it is watched
  std::vector<double> SinkLatency;  // what the sink had mixed ahead of real time then
  std::vector<double> FirstSound() const {
    std::vector<double> sound;
    for (size_t i = 0; i < FirstMixed.size(); ++i) sound.push_back(FirstMixed[i] + SinkLatency[i]);
    return sound;
  }
};

// Presses play `presses` times with composition 1 (marker kNewSample) while
// composition 0 plays, on the device named `device` (the default when
// empty); returns the latencies in seconds.
TLatencies Measure(std::shared_ptr<TSoundSystem> system, int presses, const std::string& device = "",
                   TSinkWatch* sink = nullptr, const TPulseNullSink* server = nullptr) {
  TWriteWatch watch;
  TFrm_Main::TOptions options;
  options.Dialogs = std::make_unique<TQuietDialogs>();
  options.Hotkeys = std::make_unique<TFixedHotkeys>(true);
  options.SoundSystem = std::make_shared<TWatchedSystem>(std::move(system), watch);
  options.ExitProcess = [] {};
  TFrm_Main window(std::move(options));
  PGyElem other = window.Store().GyokerHozzaadas("Masik");
  window.Store().ElemHozzaadas(other, "masik.wav", 30, 0);
  PGyElem fresh = window.Store().GyokerHozzaadas("Uj");
  window.Store().ElemHozzaadas(fresh, "uj.wav", 2, 500);
  window.GyokerBejar();
  window.E_HotPlay->setText(QStringLiteral("P"));
  window.B_HotPlayClick();
  const int play = window.HotkeyId(1);
  if (!device.empty() && !window.DXOut->ChooseDevice(device).Found()) {
    std::printf("no device %s\n", device.c_str());
    return {};
  }

  TLatencies latencies;
  for (int i = 0; i < presses; ++i) {
    // The other composition plays first, well into its first poll.
    window.AktIndex = 0;
    watch.Arm(kOtherSample);
    window.WMHotKey(play);
    if (!WaitSeen(watch, std::chrono::seconds(10))) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50 + 7 * (i % 10)));
    // The press measured: composition 1 replaces it.
    watch.Arm(kNewSample);
    if (sink) sink->Arm();
    const int64_t start = Clock::now().time_since_epoch().count();
    window.WMHotKey(play);
    if (!WaitSeen(watch, std::chrono::seconds(10))) break;
    latencies.FirstByte.push_back(bench::Seconds(Clock::duration(watch.SeenNs.load() - start)));
    if (!sink) continue;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (sink->SeenNs.load() == 0 && Clock::now() < deadline) {
      GuiHandoff::Instance().Pump();
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (sink->SeenNs.load() == 0) break;
    latencies.FirstMixed.push_back(bench::Seconds(Clock::duration(sink->SeenNs.load() - start)));
    latencies.SinkLatency.push_back(std::max<int64_t>(0, server->SinkLatencyUs(0)) / 1e6);
  }
  window.DXOut->Stop(false);
  return latencies;
}

// The first sound at the sink beside its goal and beside the first byte.
// The sink's monitor gives the sound as the sink mixes it; a card plays it
// once what the sink had mixed ahead has played, so that is added.
void ReportSound(const TLatencies& l, int presses) {
  const std::vector<double> sound = l.FirstSound();
  const std::vector<double>& firstByte = l.FirstByte;
  if (sound.empty()) {
    std::printf("%-34s no measurement\n", "first sound at the sink");
    return;
  }
  constexpr double kGoal = 0.030;
  const double median = bench::Median(sound);
  const double worst = *std::max_element(sound.begin(), sound.end());
  std::printf("%-34s %3zu/%d presses  median %7.3f ms  worst %7.3f ms  (goal %.0f ms; first byte in the buffer: "
              "median %.3f ms; mixed by the sink: median %.3f ms, plus what it had mixed ahead: median %.3f ms)\n",
              "first sound at the sink", sound.size(), presses, median * 1e3, worst * 1e3, kGoal * 1e3,
              bench::Median(firstByte) * 1e3, bench::Median(l.FirstMixed) * 1e3, bench::Median(l.SinkLatency) * 1e3);
  bench::ReportRow("Hotkey Play to first sound at the sink, PortAudio (median)", median * 1e3, "ms", "goal (ours/goal)",
                   kGoal * 1e3, "ms", median / kGoal);
  bench::ReportRow("Hotkey Play to first sound at the sink, PortAudio (worst)", worst * 1e3, "ms", "goal (ours/goal)",
                   kGoal * 1e3, "ms", worst / kGoal);
}

void Report(const char* name, std::vector<double> latencies, int presses) {
  if (latencies.empty()) {
    std::printf("%-34s no measurement\n", name);
    return;
  }
  const double median = bench::Median(latencies);
  const double worst = *std::max_element(latencies.begin(), latencies.end());
  const double polling = PlaybackSettings::kPollingInterval / 1000.0;
  std::printf("%-34s %3zu/%d presses  median %7.3f ms  worst %7.3f ms  (goal 20 ms; polling interval %u ms: "
              "median %.4f, worst %.4f of it)\n",
              name, latencies.size(), presses, median * 1e3, worst * 1e3, PlaybackSettings::kPollingInterval,
              median / polling, worst / polling);
  const std::string where = name;
  bench::ReportRow("Hotkey Play to first byte, " + where + " (median)", median * 1e3, "ms", "polling interval",
                   polling * 1e3, "ms", median / polling);
  bench::ReportRow("Hotkey Play to first byte, " + where + " (worst)", worst * 1e3, "ms", "polling interval",
                   polling * 1e3, "ms", worst / polling);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  TPulseNullSink sink;
  const int presses = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  QApplication app(argc, argv);
  char pattern[] = "/tmp/vomrella-bench-hotkey-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path folder = pattern;
  fs::create_directories(folder / "Hangok");
  WriteConstantWav(folder / "Hangok" / "masik.wav", 30.0, kOtherSample);
  WriteConstantWav(folder / "Hangok" / "uj.wav", 2.0, kNewSample);
  const fs::path old = fs::current_path();
  fs::current_path(folder);

  Report("virtual device, real clock", Measure(std::make_shared<TVirtualSoundSystem>(), presses).FirstByte, presses);
  // Before the first PortAudio system: ALSA reads its configuration then.
  if (!sink.Ready()) std::printf("no private sound server (%s): PortAudio's default output\n", sink.Error().c_str());
  auto portAudio = std::make_shared<TPortAudioSystem>();
  int devices = 0;
  (void)portAudio->EnumerateOutputDevices([&](const TDeviceId*, const std::string&) {
    ++devices;
    return true;
  });
  if (!portAudio->Initialised() || devices == 0) {
    std::printf("%-34s no output device\n", "PortAudio default output");
  } else if (!sink.Ready()) {
    Report("PortAudio default output", Measure(portAudio, presses).FirstByte, presses);
  } else {
    std::printf("PortAudio stream latency asked: %.1f ms\n", portAudio->LatencySeconds() * 1e3);
    TSinkWatch heard;
    TSinkMonitorRecorder recorder(sink, 0, [&](const int16_t* s, size_t frames, int64_t, auto arrived) {
      heard.Look(s, frames, arrived);
    });
    if (!recorder.Ready()) std::printf("%s\n", recorder.Error().c_str());
    const TLatencies l = Measure(portAudio, presses, TPulseNullSink::AlsaDevice(0, false),
                                 recorder.Ready() ? &heard : nullptr, &sink);
    Report("PortAudio, PulseAudio null sink", l.FirstByte, presses);
    ReportSound(l, presses);
  }

  fs::current_path(old);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
