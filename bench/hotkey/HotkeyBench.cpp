// Play-hotkey latency: from the start of the play hotkey's handler
// (TFrm_Main::WMHotKey) to the first byte of the new composition written
// into the device buffer, while another composition plays. The window runs
// offscreen with the program's settings (65535-frame buffer, 800 ms
// polling); 50 presses each on the virtual device with the real clock and,
// where one exists, on PortAudio's default output. Prints the median and
// the worst against the goal of 20 ms and the polling interval.
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
#include "ui/TFrm_Main.h"

namespace fs = std::filesystem;
using bench::Clock;
using namespace bench;

namespace {

// Presses play `presses` times with composition 1 (marker kNewSample) while
// composition 0 plays; returns the latencies in seconds.
std::vector<double> Measure(std::shared_ptr<TSoundSystem> system, int presses) {
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

  std::vector<double> latencies;
  for (int i = 0; i < presses; ++i) {
    // The other composition plays first, well into its first poll.
    window.AktIndex = 0;
    watch.Arm(kOtherSample);
    window.WMHotKey(play);
    if (!WaitSeen(watch, std::chrono::seconds(10))) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50 + 7 * (i % 10)));
    // The press measured: composition 1 replaces it.
    watch.Arm(kNewSample);
    const int64_t start = Clock::now().time_since_epoch().count();
    window.WMHotKey(play);
    if (!WaitSeen(watch, std::chrono::seconds(10))) break;
    latencies.push_back(bench::Seconds(Clock::duration(watch.SeenNs.load() - start)));
  }
  window.DXOut->Stop(false);
  return latencies;
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

  Report("virtual device, real clock", Measure(std::make_shared<TVirtualSoundSystem>(), presses), presses);
  auto portAudio = std::make_shared<TPortAudioSystem>();
  int devices = 0;
  (void)portAudio->EnumerateOutputDevices([&](const TDeviceId*, const std::string&) {
    ++devices;
    return true;
  });
  if (portAudio->Initialised() && devices > 0)
    Report("PortAudio default output", Measure(portAudio, presses), presses);
  else
    std::printf("%-34s no output device\n", "PortAudio default output");

  fs::current_path(old);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}
