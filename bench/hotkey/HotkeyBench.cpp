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
#include "app/PlaybackSettings.h"
#include "app/TFrm_Main.h"
#include "audio/core/GuiHandoff.h"
#include "audio/output/PortAudioSystem.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/VirtualSoundSystem.h"

namespace fs = std::filesystem;
using bench::Clock;

namespace {

// The first sample of the composition being measured; the other one holds
// only kOtherSample, so the two are told apart in every write.
constexpr int16_t kNewSample = 0x1234;
constexpr int16_t kOtherSample = 0x0101;

// When the marker sample first reaches the device buffer after Arm.
struct TWriteWatch {
  std::atomic<bool> Armed{false};
  std::atomic<int16_t> Marker{kNewSample};
  std::atomic<int64_t> SeenNs{0};  // steady-clock ticks; 0 until seen
  void Arm(int16_t marker) {
    Marker = marker;
    SeenNs = 0;
    Armed = true;
  }
  void Look(const uint8_t* data, uint32_t bytes) {
    if (!Armed || !data) return;
    const int16_t marker = Marker;
    for (uint32_t i = 0; i + 1 < bytes; i += 2) {
      if (int16_t(data[i] | (data[i + 1] << 8)) != marker) continue;
      SeenNs = Clock::now().time_since_epoch().count();
      Armed = false;
      return;
    }
  }
};

class TWatchedBuffer : public TSoundBuffer {
 public:
  TWatchedBuffer(std::unique_ptr<TSoundBuffer> inner, TWriteWatch& watch) : Inner(std::move(inner)), Watch(watch) {}
  TSoundResult SetFormat(const TWaveFormat& f) override { return Inner->SetFormat(f); }
  TSoundResult Lock(uint32_t o, uint32_t b, TLockedRegions& r) override { return Inner->Lock(o, b, r); }
  TSoundResult Unlock(const TLockedRegions& r) override {
    Watch.Look(r.First, r.FirstBytes);
    Watch.Look(r.Second, r.SecondBytes);
    return Inner->Unlock(r);
  }
  TSoundResult GetCurrentPosition(uint32_t& p, uint32_t& w) override { return Inner->GetCurrentPosition(p, w); }
  TSoundResult SetCurrentPosition(uint32_t p) override { return Inner->SetCurrentPosition(p); }
  TSoundResult PlayLooping() override { return Inner->PlayLooping(); }
  TSoundResult Stop() override { return Inner->Stop(); }

 private:
  std::unique_ptr<TSoundBuffer> Inner;
  TWriteWatch& Watch;
};

class TWatchedDevice : public TSoundDevice {
 public:
  TWatchedDevice(std::unique_ptr<TSoundDevice> inner, TWriteWatch& watch) : Inner(std::move(inner)), Watch(watch) {}
  TSoundResult SetCooperativeLevel(TWindowHandle w, int l) override { return Inner->SetCooperativeLevel(w, l); }
  TSoundResult CreatePrimaryBuffer(std::unique_ptr<TSoundBuffer>& b) override { return Inner->CreatePrimaryBuffer(b); }
  TSoundResult CreateOutputBuffer(const TWaveFormat& f, uint32_t bytes, uint32_t flags,
                                  std::unique_ptr<TSoundBuffer>& buffer) override {
    std::unique_ptr<TSoundBuffer> inner;
    const TSoundResult r = Inner->CreateOutputBuffer(f, bytes, flags, inner);
    if (r == srOk) buffer = std::make_unique<TWatchedBuffer>(std::move(inner), Watch);
    return r;
  }

 private:
  std::unique_ptr<TSoundDevice> Inner;
  TWriteWatch& Watch;
};

// Any sound system, with every write into an output buffer watched.
class TWatchedSystem : public TSoundSystem {
 public:
  TWatchedSystem(std::shared_ptr<TSoundSystem> inner, TWriteWatch& watch) : Inner(std::move(inner)), Watch(watch) {}
  TSoundResult EnumerateOutputDevices(const TDeviceReport& r) override { return Inner->EnumerateOutputDevices(r); }
  TSoundResult CreateDevice(const TDeviceId& id, std::unique_ptr<TSoundDevice>& device) override {
    std::unique_ptr<TSoundDevice> inner;
    const TSoundResult r = Inner->CreateDevice(id, inner);
    if (r == srOk) device = std::make_unique<TWatchedDevice>(std::move(inner), Watch);
    return r;
  }
  TSoundClock& Clock() override { return Inner->Clock(); }
  TWindowHandle DesktopWindow() override { return Inner->DesktopWindow(); }

 private:
  std::shared_ptr<TSoundSystem> Inner;
  TWriteWatch& Watch;
};

class TQuietDialogs : public TDialogs {
 public:
  void ErrorBox(const QString& t) override { std::fprintf(stderr, "error box: %s\n", t.toUtf8().constData()); }
  void InfoBox(const QString&) override {}
  bool YesNo(const QString&) override { return false; }
  QString InputBox(const QString&, const QString&, const QString& d) override { return d; }
  std::optional<QString> OpenFile(const TFileDialogSpec&) override { return std::nullopt; }
  std::optional<QString> SaveFile(const TFileDialogSpec&) override { return std::nullopt; }
};

class TAcceptingHotkeys : public THotkeyService {
 public:
  bool Register(uint16_t, QChar, std::string*) override { return true; }
  void Unregister(uint16_t) override {}
  void UnregisterAll() override {}
};

// A 16-bit stereo 44.1 kHz WAV holding `seconds` of one sample value.
void WriteConstantWav(const fs::path& path, double seconds, int16_t value) {
  const uint32_t frames = uint32_t(seconds * 44100);
  const uint32_t data = frames * 4;
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out.write("RIFF", 4);
  u32(36 + data);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(2);
  u32(44100);
  u32(44100 * 4);
  u16(4);
  u16(16);
  out.write("data", 4);
  u32(data);
  std::vector<int16_t> samples(size_t(frames) * 2, value);
  out.write(reinterpret_cast<const char*>(samples.data()), std::streamsize(data));
}

bool WaitSeen(TWriteWatch& watch, std::chrono::seconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (watch.SeenNs.load() == 0) {
    if (Clock::now() > deadline) return false;
    GuiHandoff::Instance().Pump();
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// Presses play `presses` times with composition 1 (marker kNewSample) while
// composition 0 plays; returns the latencies in seconds.
std::vector<double> Measure(std::shared_ptr<TSoundSystem> system, int presses) {
  TWriteWatch watch;
  TFrm_Main::TOptions options;
  options.Dialogs = std::make_unique<TQuietDialogs>();
  options.Hotkeys = std::make_unique<TAcceptingHotkeys>();
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
