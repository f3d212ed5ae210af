// The PortAudio backend on whatever this machine has: the enumeration always
// runs; playing needs a default output device and is skipped without one.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "OutputTestSupport.h"
#include "audio/core/GuiHandoff.h"
#include "audio/output/TPortAudioSystem.h"

namespace {

std::vector<uint8_t> Sine(double seconds, uint32_t rate) {
  const size_t frames = size_t(seconds * rate);
  std::vector<uint8_t> out(frames * 4);
  for (size_t i = 0; i < frames; ++i) {
    const auto v = int16_t(std::lround(3000 * std::sin(2 * M_PI * 440 * double(i) / rate)));
    for (int ch = 0; ch < 2; ++ch) {
      out[i * 4 + size_t(ch) * 2] = uint8_t(v);
      out[i * 4 + size_t(ch) * 2 + 1] = uint8_t(uint16_t(v) >> 8);
    }
  }
  return out;
}

TEST(PortAudio, EnumerationRunsAndTheOutputTableMatchesIt) {
  auto system = std::make_shared<TPortAudioSystem>();
  int reported = 0;
  bool defaultFirst = true;
  ASSERT_EQ(system->EnumerateOutputDevices([&](const TDeviceId* id, const std::string&) {
    if (!id && reported != 0) defaultFirst = false;
    ++reported;
    return true;
  }), srOk);
  EXPECT_TRUE(defaultFirst);

  TComponentPtr<TDXAudioOut> out(new TDXAudioOut(nullptr, system));
  EXPECT_EQ(out->DeviceCount(), std::min(reported, 16));
  if (reported > 0) return;

  // No device at all: a pass fails as it would for a wrong device number.
  std::atomic<bool> done{false};
  out->OnDone = [&](TComponent*) { done = true; };
  TScriptedInput input(16, 2, 44100, Sine(0.1, 44100));
  out->SetInput(&input);
  out->Run();
  ASSERT_TRUE(GuiHandoff::Instance().PumpUntil([&] { return done.load(); }, std::chrono::seconds(60)));
  EXPECT_EQ(out->ExceptionMessage(), "Nem található hangkimenet ezen a gépen.");
}

TEST(PortAudio, ShortClipPlaysThroughTheDefaultDevice) {
  auto system = std::make_shared<TPortAudioSystem>();
  bool hasDefault = false;
  system->EnumerateOutputDevices([&](const TDeviceId* id, const std::string&) {
    hasDefault = hasDefault || !id;
    return true;
  });
  if (!hasDefault) GTEST_SKIP() << "PortAudio finds no default output device on this machine";

  TComponentPtr<TDXAudioOut> out(new TDXAudioOut(nullptr, system));
  std::atomic<bool> done{false};
  out->OnDone = [&](TComponent*) { done = true; };
  TScriptedInput input(16, 2, 44100, Sine(0.3, 44100));
  out->SetFramesInBuffer(8192);
  out->SetPollingInterval(50);
  out->SetInput(&input);
  out->Run();
  ASSERT_TRUE(GuiHandoff::Instance().PumpUntil([&] { return done.load(); }, std::chrono::seconds(60)));
  EXPECT_EQ(out->ExceptionMessage(), "");
  EXPECT_EQ(input.Position.load(), int64_t(input.Bytes().size()));
  EXPECT_EQ(input.Flushes.load(), 1);
}

TEST(PortAudio, NewBufferHoldsSilenceAndARestartGoesOnFromThePlayCursor) {
  auto system = std::make_shared<TPortAudioSystem>();
  std::unique_ptr<TSoundDevice> device;
  if (system->CreateDevice(TDeviceId{}, device) != srOk)
    GTEST_SKIP() << "PortAudio finds no default output device on this machine";
  TWaveFormat format;
  format.FormatTag = kWaveFormatPcm;
  format.Channels = 1;
  format.SamplesPerSec = 8000;
  format.BitsPerSample = 8;
  format.BlockAlign = 1;
  format.AvgBytesPerSec = 8000;
  std::unique_ptr<TSoundBuffer> buffer;
  ASSERT_EQ(device->CreateOutputBuffer(format, 8000, kOutputBufferFlags, buffer), srOk);
  TLockedRegions r;
  ASSERT_EQ(buffer->Lock(0, 8000, r), srOk);
  EXPECT_EQ(std::count(r.First, r.First + r.FirstBytes, 0x80), 8000);
  ASSERT_EQ(buffer->Unlock(r), srOk);

  uint32_t play = 0, write = 0;
  ASSERT_EQ(buffer->PlayLooping(), srOk);
  ASSERT_TRUE(GuiHandoff::Instance().PumpUntil(
      [&] { return buffer->GetCurrentPosition(play, write) == srOk && play != 0; }, std::chrono::seconds(10)));
  ASSERT_EQ(buffer->Stop(), srOk);
  uint32_t stoppedAt = 0;
  ASSERT_EQ(buffer->GetCurrentPosition(stoppedAt, write), srOk);
  EXPECT_EQ(write, stoppedAt);  // stopped: nothing held ahead of the cursor
  ASSERT_EQ(buffer->PlayLooping(), srOk);
  uint32_t later = stoppedAt;
  ASSERT_TRUE(GuiHandoff::Instance().PumpUntil(
      [&] { return buffer->GetCurrentPosition(later, write) == srOk && later != stoppedAt; },
      std::chrono::seconds(10)));
  // Moved on from where it stopped, not from the start of the ring.
  EXPECT_GT((later + 8000 - stoppedAt) % 8000, 0u);
  EXPECT_EQ(buffer->Stop(), srOk);
}

}  // namespace
