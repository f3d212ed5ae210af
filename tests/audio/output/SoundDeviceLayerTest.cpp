// The sound-device layer without the output: the simulated clock, the
// virtual device's cursors and record of what was heard, the wrapper's buffer
// arithmetic, and the choice of backend from VOMRELLA_AUDIO.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "OutputTestSupport.h"
#include "audio/core/GuiHandoff.h"
#include "audio/output/TDSWrapper.h"
#include "audio/output/TSoundClock.h"
#include "audio/output/TVirtualSoundSystem.h"

namespace {

using namespace std::chrono_literals;

TWaveFormat Pcm(uint16_t bits, uint16_t channels, uint32_t rate) {
  TWaveFormat f;
  f.FormatTag = kWaveFormatPcm;
  f.Channels = channels;
  f.SamplesPerSec = rate;
  f.BitsPerSample = bits;
  f.BlockAlign = uint16_t(channels * bits / 8);
  f.AvgBytesPerSec = f.BlockAlign * rate;
  return f;
}

void WaitForSleepers(const TSimulatedClock& clock, int count) {
  while (clock.WaitingSleepers() != count) std::this_thread::sleep_for(1ms);
}

TEST(SimulatedClock, SleepAdvancesTimeAtOnceUnlessHeld) {
  TSimulatedClock clock;
  TPlainWaiter waiter;
  EXPECT_TRUE(clock.Sleep(250, waiter));
  EXPECT_EQ(clock.Now(), 250'000'000);

  clock.Hold();
  bool slept = false;
  std::thread sleeper([&] { slept = clock.Sleep(100, waiter); });
  WaitForSleepers(clock, 1);
  EXPECT_EQ(clock.Now(), 250'000'000);
  clock.Release();
  sleeper.join();
  EXPECT_TRUE(slept);
  EXPECT_EQ(clock.Now(), 350'000'000);
  EXPECT_EQ(clock.SleepCount(), 2);
}

TEST(SimulatedClock, InterruptedHeldSleepReturnsFalseWithoutAdvancing) {
  TSimulatedClock clock;
  TPlainWaiter waiter;
  clock.Hold();
  bool slept = true;
  std::thread sleeper([&] { slept = clock.Sleep(100, waiter); });
  WaitForSleepers(clock, 1);
  waiter.Interrupt();
  sleeper.join();
  EXPECT_FALSE(slept);
  EXPECT_EQ(clock.Now(), 0);
  EXPECT_EQ(clock.WaitingSleepers(), 0);
}

TVirtualOptions OnClockOptions(std::shared_ptr<TSoundClock> clock) {
  TVirtualOptions options;
  options.Clock = std::move(clock);
  return options;
}

// A virtual device on a simulated clock with one 16-bit mono output buffer of
// 1000 frames at 1000 Hz (one second, 2000 bytes) holding a known pattern.
struct TVirtualBufferRig {
  explicit TVirtualBufferRig(TVirtualOptions options = {}) {
    options.Clock = Clock;
    System = std::make_shared<TVirtualSoundSystem>(options);
    EXPECT_EQ(System->CreateDevice(TDeviceId{}, Device), srOk);
    EXPECT_EQ(Device->CreateOutputBuffer(Pcm(16, 1, 1000), 2000, kOutputBufferFlags, Buffer), srOk);
    TLockedRegions r;
    EXPECT_EQ(Buffer->Lock(0, 2000, r), srOk);
    std::copy(Pattern.begin(), Pattern.end(), r.First);
    EXPECT_EQ(Buffer->Unlock(r), srOk);
  }
  std::shared_ptr<TSimulatedClock> Clock = std::make_shared<TSimulatedClock>();
  std::shared_ptr<TVirtualSoundSystem> System;
  std::unique_ptr<TSoundDevice> Device;
  std::unique_ptr<TSoundBuffer> Buffer;
  std::vector<uint8_t> Pattern = PatternBytes(2000);
};

TEST(VirtualDevice, PlayCursorFollowsTheClockAndRecordsEveryByteItPasses) {
  TVirtualBufferRig rig;
  ASSERT_EQ(rig.Buffer->PlayLooping(), srOk);
  rig.Clock->AdvanceMs(250);
  uint32_t play = 0, write = 0;
  ASSERT_EQ(rig.Buffer->GetCurrentPosition(play, write), srOk);
  EXPECT_EQ(play, 500u);
  // More than a lap unseen: the bytes are still recorded in playing order.
  rig.Clock->AdvanceMs(1000);
  ASSERT_EQ(rig.Buffer->GetCurrentPosition(play, write), srOk);
  EXPECT_EQ(play, 500u);
  const std::vector<uint8_t> heard = rig.System->Heard();
  ASSERT_EQ(heard.size(), 2500u);
  for (size_t i = 0; i < heard.size(); ++i) ASSERT_EQ(heard[i], rig.Pattern[i % 2000]) << "byte " << i;
}

TEST(VirtualDevice, StoppedBufferHearsNothingAndRestartsWhereItStopped) {
  TVirtualBufferRig rig;
  ASSERT_EQ(rig.Buffer->PlayLooping(), srOk);
  rig.Clock->AdvanceMs(100);
  ASSERT_EQ(rig.Buffer->Stop(), srOk);
  rig.Clock->AdvanceMs(5000);
  EXPECT_EQ(rig.System->Heard().size(), 200u);
  ASSERT_EQ(rig.Buffer->PlayLooping(), srOk);
  rig.Clock->AdvanceMs(100);
  rig.Buffer.reset();  // releasing brings the record up to date
  const std::vector<uint8_t> heard = rig.System->Heard();
  EXPECT_EQ(heard, std::vector<uint8_t>(rig.Pattern.begin(), rig.Pattern.begin() + 400));
  EXPECT_EQ(rig.System->Stats().OutputBuffersOpen, 0);
}

TEST(VirtualDevice, BytesNeverWrittenPlayAsTheFormatsSilence) {
  auto clock = std::make_shared<TSimulatedClock>();
  auto system = std::make_shared<TVirtualSoundSystem>(OnClockOptions(clock));
  std::unique_ptr<TSoundDevice> device;
  ASSERT_EQ(system->CreateDevice(TDeviceId{}, device), srOk);
  for (const uint16_t bits : {8, 16}) {
    SCOPED_TRACE(bits);
    system->ClearHeard();
    std::unique_ptr<TSoundBuffer> buffer;
    ASSERT_EQ(device->CreateOutputBuffer(Pcm(bits, 2, 1000), 2000, kOutputBufferFlags, buffer), srOk);
    ASSERT_EQ(buffer->PlayLooping(), srOk);
    clock->AdvanceMs(1500);
    buffer.reset();
    const uint8_t silence = bits == 8 ? 0x80 : 0;
    EXPECT_EQ(system->Heard(), std::vector<uint8_t>(size_t(1500) * 2 * bits / 8, silence));
  }
}

TEST(VirtualDevice, WriteCursorRunsAheadOnlyWhilePlayingAndSetPositionMovesThePlayCursor) {
  TVirtualOptions options;
  options.WriteAheadFrames = 10;
  TVirtualBufferRig rig(options);
  uint32_t play = 0, write = 0;
  ASSERT_EQ(rig.Buffer->SetCurrentPosition(1991), srOk);  // rounded down to a frame
  ASSERT_EQ(rig.Buffer->GetCurrentPosition(play, write), srOk);
  EXPECT_EQ(play, 1990u);
  EXPECT_EQ(write, 1990u);
  ASSERT_EQ(rig.Buffer->PlayLooping(), srOk);
  ASSERT_EQ(rig.Buffer->GetCurrentPosition(play, write), srOk);
  EXPECT_EQ(write, (1990u + 20u) % 2000u);
  EXPECT_NE(rig.Buffer->SetCurrentPosition(2000), srOk);
}

TEST(VirtualDevice, LockSplitsAtTheEndOfTheBufferAndRefusesRangesOutsideIt) {
  TVirtualBufferRig rig;
  TLockedRegions r;
  ASSERT_EQ(rig.Buffer->Lock(1500, 1000, r), srOk);
  EXPECT_EQ(r.FirstBytes, 500u);
  EXPECT_EQ(r.SecondBytes, 500u);
  EXPECT_NE(r.Second, nullptr);
  EXPECT_EQ(rig.Buffer->Unlock(r), srOk);
  EXPECT_NE(rig.Buffer->Lock(2000, 1, r), srOk);
  EXPECT_NE(rig.Buffer->Lock(0, 2001, r), srOk);
  EXPECT_NE(rig.Buffer->Lock(0, 0, r), srOk);
}

TEST(VirtualDevice, RefusesFormatsAndSizesItCannotPlay) {
  TVirtualBufferRig rig;
  std::unique_ptr<TSoundBuffer> buffer;
  TWaveFormat badAlign = Pcm(16, 2, 44100);
  badAlign.BlockAlign = 3;
  TWaveFormat floatTag = Pcm(32, 2, 44100);
  floatTag.FormatTag = 3;
  TWaveFormat twelveBits = Pcm(16, 1, 8000);
  twelveBits.BitsPerSample = 12;
  TWaveFormat noRate = Pcm(16, 1, 0);
  for (const TWaveFormat& f : {badAlign, floatTag, twelveBits, noRate})
    EXPECT_EQ(rig.Device->CreateOutputBuffer(f, 4000, 0, buffer), srBadFormat);
  EXPECT_NE(rig.Device->CreateOutputBuffer(Pcm(16, 2, 44100), 4001, 0, buffer), srOk);  // not whole frames
  EXPECT_NE(rig.Device->CreateOutputBuffer(Pcm(16, 2, 44100), 0, 0, buffer), srOk);
  EXPECT_NE(rig.Device->CreateOutputBuffer(Pcm(16, 2, 44100), 0x10000000, 0, buffer), srOk);
  EXPECT_EQ(buffer, nullptr);
}

TEST(VirtualDevice, UnknownIdentifiersAndMachinesWithoutDevicesCreateNothing) {
  TVirtualOptions none;
  none.DeviceCount = 0;
  TVirtualSoundSystem empty(none);
  int reported = 0;
  empty.EnumerateOutputDevices([&](const TDeviceId*, const std::string&) { return ++reported, true; });
  EXPECT_EQ(reported, 0);
  std::unique_ptr<TSoundDevice> device;
  EXPECT_EQ(empty.CreateDevice(TDeviceId{}, device), srNoDevice);

  auto two = std::make_shared<TVirtualSoundSystem>();
  EXPECT_EQ(two->CreateDevice(TVirtualSoundSystem::DeviceIdOf(1), device), srOk);
  EXPECT_EQ(two->CreateDevice(TVirtualSoundSystem::DeviceIdOf(2), device), srNoDevice);
  EXPECT_EQ(device, nullptr);
}

// A sound system that reports many devices with long names.
class TCrowdedSystem : public TSoundSystem {
 public:
  TSoundResult EnumerateOutputDevices(const TDeviceReport& report) override {
    for (int n = 0; n < 20; ++n) {
      ++Reported;
      TDeviceId id;
      id.Bytes[0] = uint8_t(n + 1);
      // Entry 1 has a two-byte character across the 127-byte limit.
      const std::string name = n == 1 ? std::string(126, 'b') + "éééé" : std::string(200, char('a' + n));
      if (!report(n == 0 ? nullptr : &id, name)) break;
    }
    return srOk;
  }
  TSoundResult CreateDevice(const TDeviceId&, std::unique_ptr<TSoundDevice>&) override { return srNoDevice; }
  TSoundClock& Clock() override { return RealClock; }
  int Reported = 0;
  TRealClock RealClock;
};

TEST(DSWrapper, EnumerationStopsAtSixteenDevicesAndCutsNamesTo127Characters) {
  TCrowdedSystem system;
  TDeviceTable table;
  int32_t count = -1;
  ASSERT_EQ(EnumerateDevices(system, table, count), srOk);
  EXPECT_EQ(count, 16);
  EXPECT_EQ(system.Reported, 16);
  EXPECT_TRUE(table[0].Guid.IsDefault());
  EXPECT_EQ(table[5].Guid.Bytes[0], 6);
  EXPECT_EQ(std::string(table[15].Name.data()), std::string(127, 'p'));
  EXPECT_EQ(std::string(table[1].Name.data()), std::string(126, 'b'));  // never half a character
}

// A wrapper over a one-second 16-bit mono buffer at 1000 Hz on a simulated clock.
TVirtualOptions OnClock(std::shared_ptr<TSoundClock> clock) {
  TVirtualOptions options;
  options.Clock = std::move(clock);
  return options;
}

struct TWrapperRig {
  TWrapperRig() {
    EXPECT_EQ(Wrapper.OpenDevice(TDeviceId{}), srOk);
    EXPECT_EQ(Wrapper.InitOutputBuffer(0, Pcm(16, 1, 1000), 2000), srOk);
    const std::vector<uint8_t> data = PatternBytes(2000);
    EXPECT_EQ(Wrapper.WriteBlock(data.data(), 2000), srOk);
    EXPECT_EQ(Wrapper.StartOutput(), srOk);
  }
  std::shared_ptr<TSimulatedClock> Clock = std::make_shared<TSimulatedClock>();
  std::shared_ptr<TVirtualSoundSystem> System = std::make_shared<TVirtualSoundSystem>(OnClock(Clock));
  TDSWrapper Wrapper{*System};
};

TEST(DSWrapper, NewOutputBufferStartsOutSilentInTheInputsFormat) {
  auto clock = std::make_shared<TSimulatedClock>();
  auto system = std::make_shared<TVirtualSoundSystem>(OnClock(clock));
  for (const uint16_t bits : {8, 16}) {
    SCOPED_TRACE(bits);
    system->ClearHeard();
    TDSWrapper wrapper(*system);
    ASSERT_EQ(wrapper.OpenDevice(TDeviceId{}), srOk);
    ASSERT_EQ(wrapper.InitOutputBuffer(0, Pcm(bits, 1, 1000), 1000 * bits / 8), srOk);
    ASSERT_EQ(wrapper.StartOutput(), srOk);
    clock->AdvanceMs(500);
    wrapper.CloseDevice();
    EXPECT_EQ(system->Heard(), std::vector<uint8_t>(size_t(500) * bits / 8, bits == 8 ? 0x80 : 0));
  }
}

TEST(DSWrapper, SpaceFollowsThePlayCursorWhileTheWriterKeepsUp) {
  TWrapperRig rig;
  EXPECT_EQ(rig.Wrapper.State().TicksPerBuffer, 1'000'000'000);
  rig.Clock->AdvanceMs(300);
  EXPECT_EQ(rig.Wrapper.QueryOutputSpace(), 600u);
  EXPECT_EQ(rig.Wrapper.FillEmptySpace(0), srOk);
  EXPECT_EQ(rig.Wrapper.QueryOutputSpace(), 0u);
  rig.Clock->AdvanceMs(900);
  EXPECT_EQ(rig.Wrapper.QueryOutputSpace(), 1800u);
  EXPECT_EQ(rig.Wrapper.State().Underflows.load(), 0);
}

TEST(DSWrapper, LapThePlayCursorMadeUnseenCountsAsAnUnderflow) {
  TWrapperRig rig;
  rig.Clock->AdvanceMs(300);
  ASSERT_EQ(rig.Wrapper.FillEmptySpace(0), srOk);
  // 1.2 s later the cursor stands only 0.2 s further on: it went round once.
  rig.Clock->AdvanceMs(1200);
  EXPECT_EQ(rig.Wrapper.QueryOutputSpace(), 2000u);
  EXPECT_EQ(rig.Wrapper.State().Underflows.load(), 1);
  uint32_t play = 0, write = 0;
  ASSERT_EQ(rig.Wrapper.State().OutputBuffer->GetCurrentPosition(play, write), srOk);
  EXPECT_EQ(rig.Wrapper.State().WriteOffset, write);
}

TEST(DSWrapper, TimeSpentStoppedIsNotCountedAsPlayingAfterARestart) {
  TWrapperRig rig;
  rig.Clock->AdvanceMs(300);
  ASSERT_EQ(rig.Wrapper.FillEmptySpace(0), srOk);
  ASSERT_EQ(rig.Wrapper.StopOutput(), srOk);
  rig.Clock->AdvanceMs(10000);
  ASSERT_EQ(rig.Wrapper.RestartOutput(), srOk);
  rig.Clock->AdvanceMs(200);
  EXPECT_EQ(rig.Wrapper.QueryOutputSpace(), 400u);
  EXPECT_EQ(rig.Wrapper.State().Underflows.load(), 0);
}

TEST(DSWrapper, OperationsWithoutABufferFailOrDoNothing) {
  auto system = std::make_shared<TVirtualSoundSystem>();
  TDSWrapper wrapper(*system);
  EXPECT_EQ(wrapper.StopOutput(), srOk);
  EXPECT_NE(wrapper.RestartOutput(), srOk);
  EXPECT_NE(wrapper.StartOutput(), srOk);
  EXPECT_EQ(wrapper.QueryOutputSpace(), 0u);
  const uint8_t byte = 1;
  EXPECT_NE(wrapper.WriteBlock(&byte, 1), srOk);
  EXPECT_NE(wrapper.InitOutputBuffer(0, Pcm(16, 1, 1000), 2000), srOk);  // no device
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(DefaultSoundSystem, VirtualWithAFileWritesWhatWasHeardWhenTheDeviceIsReleased) {
  const std::string path = UniqueTempPath("vomrella_output_capture");
  std::remove(path.c_str());
  setenv("VOMRELLA_AUDIO", ("virtual:" + path).c_str(), 1);
  std::shared_ptr<TSoundSystem> system = DefaultSoundSystem();
  unsetenv("VOMRELLA_AUDIO");
  auto* virtualSystem = dynamic_cast<TVirtualSoundSystem*>(system.get());
  ASSERT_NE(virtualSystem, nullptr);
  {
    TComponentPtr<TDXAudioOut> out(new TDXAudioOut(nullptr, system));
    std::atomic<bool> done{false};
    out->OnDone = [&](TComponent*) { done = true; };
    TScriptedInput input(16, 1, 8000, PatternBytes(1600));
    out->SetFramesInBuffer(2048);
    out->SetInput(&input);
    out->Run();
    ASSERT_TRUE(GuiHandoff::Instance().PumpUntil([&] { return done.load(); }, std::chrono::seconds(60)));
    EXPECT_TRUE(IsInputThenSilence(virtualSystem->Heard(), input.Bytes(), 0));
  }
  const std::vector<uint8_t> file = ReadFile(path);
  const std::vector<uint8_t> heard = virtualSystem->Heard();
  ASSERT_EQ(file.size(), 44 + heard.size() + (heard.size() & 1));
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(file[22], 1);                    // channels
  EXPECT_EQ(file[24] | file[25] << 8, 8000);  // rate
  EXPECT_TRUE(std::equal(heard.begin(), heard.end(), file.begin() + 44));
  std::remove(path.c_str());
}

TEST(DefaultSoundSystem, PlainVirtualNeedsNoFileAndInstancesAreShared) {
  setenv("VOMRELLA_AUDIO", "virtual", 1);
  std::shared_ptr<TSoundSystem> first = DefaultSoundSystem();
  std::shared_ptr<TSoundSystem> second = DefaultSoundSystem();
  unsetenv("VOMRELLA_AUDIO");
  auto* virtualSystem = dynamic_cast<TVirtualSoundSystem*>(first.get());
  ASSERT_NE(virtualSystem, nullptr);
  EXPECT_TRUE(virtualSystem->Options().CaptureFile.empty());
  EXPECT_EQ(first, second);
}

}  // namespace
