// Remote-control latency: from a D-Bus Play call (MPRIS, sent by a client
// connection to a private session bus the program starts) to the first byte
// of the new composition written into the device buffer, while another
// composition plays. Beside it, the same press through the hotkey's action
// called directly, so the difference is what D-Bus adds. The window runs
// offscreen with the program's settings on the virtual device with the real
// clock. Calls are more than 300 ms apart (the held-key rule).
// Usage: bench_remote [presses, default 30]

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "BenchClock.h"
#include "LatencyWatch.h"
#include "ReportRow.h"
#include "audio/core/GuiHandoff.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/TVirtualSoundSystem.h"
#include "services/remote/TMprisService.h"
#include "show/PlaybackSettings.h"
#include "ui/TFrm_Main.h"

namespace fs = std::filesystem;
using bench::Clock;
using namespace bench;

namespace {

using TPress = std::function<void(TFrm_Main&)>;

// `presses` times: composition 0 (kOtherSample) is started directly, plays
// a while, then `press` starts composition 1 (kNewSample). Latencies in
// seconds.
std::vector<double> Measure(const QString& connection, int presses, const TPress& press) {
  TWriteWatch watch;
  TFrm_Main::TOptions options;
  options.Dialogs = std::make_unique<TQuietDialogs>();
  options.Hotkeys = std::make_unique<TFixedHotkeys>(false);
  options.SoundSystem = std::make_shared<TWatchedSystem>(std::make_shared<TVirtualSoundSystem>(), watch);
  options.ExitProcess = [] {};
  options.RemoteConnection = connection;
  TFrm_Main window(std::move(options));
  if (!window.Remote()) return {};
  PGyElem other = window.Store().GyokerHozzaadas("Masik");
  window.Store().ElemHozzaadas(other, "masik.wav", 30, 0);
  PGyElem fresh = window.Store().GyokerHozzaadas("Uj");
  window.Store().ElemHozzaadas(fresh, "uj.wav", 2, 500);
  window.GyokerBejar();

  std::vector<double> latencies;
  for (int i = 0; i < presses; ++i) {
    window.AktIndex = 0;
    watch.Arm(kOtherSample);
    (void)window.HotkeyPlayAction();
    if (!WaitSeen(watch, std::chrono::seconds(10))) break;
    // Past the held-key window since the last call, at a varying point of
    // the output's polling cycle.
    const auto until = Clock::now() + std::chrono::milliseconds(320 + 37 * (i % 10));
    while (Clock::now() < until) {
      GuiHandoff::Instance().Pump();
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    watch.Arm(kNewSample);
    const int64_t start = Clock::now().time_since_epoch().count();
    press(window);
    if (!WaitSeen(watch, std::chrono::seconds(10))) break;
    latencies.push_back(bench::Seconds(Clock::duration(watch.SeenNs.load() - start)));
  }
  window.DXOut->Stop(false);
  return latencies;
}

struct TFigures {
  double Median = 0;
  double Worst = 0;
};

TFigures Report(const char* name, const std::vector<double>& latencies, int presses) {
  if (latencies.empty()) {
    std::printf("%-30s no measurement\n", name);
    return {};
  }
  const TFigures f{bench::Median(latencies), *std::max_element(latencies.begin(), latencies.end())};
  const double polling = PlaybackSettings::kPollingInterval / 1000.0;
  std::printf("%-30s %3zu/%d presses  median %7.3f ms  worst %7.3f ms  (polling interval %u ms: median %.4f, "
              "worst %.4f of it)\n",
              name, latencies.size(), presses, f.Median * 1e3, f.Worst * 1e3, PlaybackSettings::kPollingInterval,
              f.Median / polling, f.Worst / polling);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const int presses = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  QApplication app(argc, argv);

  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
  if (!daemon.waitForStarted(10000) || !daemon.waitForReadyRead(10000)) {
    std::printf("dbus-daemon could not be started (scripts/bootstrap installs dbus)\n");
    return 1;
  }
  const QString address = QString::fromLocal8Bit(daemon.readLine()).trimmed();
  QDBusConnection::connectToBus(address, QStringLiteral("bench-window"));
  const QDBusConnection client = QDBusConnection::connectToBus(address, QStringLiteral("bench-client"));

  char pattern[] = "/tmp/vomrella-bench-remote-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const fs::path folder = pattern;
  fs::create_directories(folder / "Hangok");
  WriteConstantWav(folder / "Hangok" / "masik.wav", 30.0, kOtherSample);
  WriteConstantWav(folder / "Hangok" / "uj.wav", 2.0, kNewSample);
  const fs::path old = fs::current_path();
  fs::current_path(folder);

  std::vector<QDBusPendingCall> calls;
  const TFigures remote = Report("D-Bus Play (virtual device)",
                                 Measure(QStringLiteral("bench-window"), presses, [&](TFrm_Main& window) {
                                   calls.push_back(client.asyncCall(QDBusMessage::createMethodCall(
                                       window.Remote()->ServiceName(), QString::fromLatin1(TMprisService::kObjectPath),
                                       QString::fromLatin1(TMprisService::kPlayerInterface), QStringLiteral("Play"))));
                                 }),
                                 presses);
  int failed = 0;
  for (QDBusPendingCall& call : calls) {
    call.waitForFinished();
    if (call.isError()) ++failed;
  }
  if (failed) std::printf("  %d of the Play calls answered with an error\n", failed);
  const TFigures hotkey =
      Report("hotkey action (direct call)", Measure(QStringLiteral("bench-window"), presses,
                                                     [](TFrm_Main& window) { (void)window.HotkeyPlayAction(); }),
             presses);
  if (remote.Median > 0 && hotkey.Median > 0)
    std::printf("D-Bus adds %.3f ms to the median (%.2f x the hotkey's latency)\n",
                (remote.Median - hotkey.Median) * 1e3, remote.Median / hotkey.Median);
  const double polling = PlaybackSettings::kPollingInterval;
  if (remote.Median > 0) {
    bench::ReportRow("D-Bus Play to first byte (median)", remote.Median * 1e3, "ms", "polling interval", polling, "ms",
                     remote.Median * 1e3 / polling);
    bench::ReportRow("D-Bus Play to first byte (worst)", remote.Worst * 1e3, "ms", "polling interval", polling, "ms",
                     remote.Worst * 1e3 / polling);
  }
  if (remote.Median > 0 && hotkey.Median > 0)
    bench::ReportRow("D-Bus Play vs direct hotkey call (median)", remote.Median * 1e3, "ms",
                     "hotkey action called directly (ours/direct)", hotkey.Median * 1e3, "ms",
                     remote.Median / hotkey.Median);

  fs::current_path(old);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  QDBusConnection::disconnectFromBus(QStringLiteral("bench-client"));
  QDBusConnection::disconnectFromBus(QStringLiteral("bench-window"));
  daemon.terminate();
  daemon.waitForFinished(5000);
  return 0;
}
