#pragma once
// What the latency benchmarks share: a sound system whose every write into
// an output buffer is watched for a marker sample, quiet dialogs for a
// window nobody answers, a constant-valued WAV writer, and a wait for the
// marker that keeps the GUI side pumping.

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "BenchClock.h"
#include "audio/core/GuiHandoff.h"
#include "audio/output/TSoundSystem.h"
#include "services/hotkeys/THotkeyService.h"
#include "ui/TDialogs.h"

namespace bench {

namespace fs = std::filesystem;

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
  TSoundResult GetStatus(TBufferStatus& s) override { return Inner->GetStatus(s); }

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
  std::string ResultText(TSoundResult r) const override { return Inner->ResultText(r); }

 private:
  std::shared_ptr<TSoundSystem> Inner;
  TWriteWatch& Watch;
};

class TQuietDialogs : public TDialogs {
 public:
  void ErrorBox(const QString& t) override { std::fprintf(stderr, "error box: %s\n", t.toUtf8().constData()); }
  void InfoBox(const QString&) override {}
  bool YesNo(const QString&) override { return false; }
  TSaveChangesAnswer SaveChanges(const QString&) override { return TSaveChangesAnswer::Discard; }
  QString InputBox(const QString&, const QString&, const QString& d) override { return d; }
  std::optional<QString> OpenFile(const TFileDialogSpec&) override { return std::nullopt; }
  std::optional<QString> SaveFile(const TFileDialogSpec&) override { return std::nullopt; }
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

// A hotkey service that grabs nothing and answers every registration with
// `accept`.
class TFixedHotkeys : public THotkeyService {
 public:
  explicit TFixedHotkeys(bool accept) : Accept(accept) {}
  bool Register(uint16_t, QChar, std::string*) override { return Accept; }
  void Unregister(uint16_t) override {}
  void UnregisterAll() override {}

 private:
  bool Accept;
};

}  // namespace bench
