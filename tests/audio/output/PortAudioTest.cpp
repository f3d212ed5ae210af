// The PortAudio backend on whatever this machine has: the enumeration always
// runs; playing needs a default output device and is skipped without one.

#include <gtest/gtest.h>

#include <cmath>

#include "OutputTestSupport.h"
#include "audio/core/GuiHandoff.h"
#include "audio/output/PortAudioSystem.h"

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
  EXPECT_EQ(out->ExceptionMessage(), "Invalid device number");
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

}  // namespace
