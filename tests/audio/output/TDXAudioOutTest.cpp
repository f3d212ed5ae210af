// Playback through TDXAudioOut on the virtual device with the simulated
// clock: every pass runs faster than real time and sees the same cursors.

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <thread>

#include "OutputTestSupport.h"
#include "audio/core/EAuException.h"
#include "audio/core/TAuOutput.h"
#include "audio/output/TDeviceChoice.h"

namespace {

struct TPlayCase {
  uint32_t Bits, Channels, Rate;
  double Seconds;
  uint32_t Frames, PollingMs;
  const char* Name;
};

void PrintTo(const TPlayCase& c, std::ostream* os) { *os << c.Name; }

std::vector<uint8_t> Clip(const TPlayCase& c, uint32_t seed = 1) {
  const size_t frame = c.Channels * c.Bits / 8;
  return PatternBytes(size_t(c.Seconds * c.Rate) * frame, seed);
}

class DXAudioOutPlayback : public ::testing::TestWithParam<TPlayCase> {};

TEST_P(DXAudioOutPlayback, HeardStreamIsTheInputByteForByteThenSilence) {
  const TPlayCase c = GetParam();
  TOutputRig rig;
  rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, c.Rate, Clip(c));
  rig.Out->SetFramesInBuffer(c.Frames);
  rig.Out->SetPollingInterval(c.PollingMs);
  ASSERT_TRUE(rig.Play());

  EXPECT_EQ(rig.Out->ExceptionMessage(), "");
  EXPECT_TRUE(IsInputThenSilence(rig.Heard(), rig.Input->Bytes(), c.Bits == 8 ? 128 : 0));
  EXPECT_EQ(rig.Out->Underruns(), 0);
  EXPECT_EQ(rig.UnderrunEvents.load(), 0);
  EXPECT_EQ(rig.Input->Inits.load(), 1);
  EXPECT_EQ(rig.Input->Flushes.load(), 1);
  const TVirtualStats stats = rig.System->Stats();
  EXPECT_EQ(stats.OutputBufferBytes, c.Frames * c.Channels * c.Bits / 8);
  EXPECT_EQ(stats.DevicesOpen, 0);
  EXPECT_EQ(stats.OutputBuffersOpen, 0);
  EXPECT_EQ(rig.Out->Status(), osIdle);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DXAudioOutPlayback,
    ::testing::Values(
        // The window's settings: the drain must cover the whole buffer, not a rounded second.
        TPlayCase{16, 2, 44100, 4.0, 65535, 800, "WindowSettings16BitStereo"},
        TPlayCase{16, 2, 44100, 3.3, 65536, 200, "Default16BitStereo"},
        TPlayCase{8, 2, 22050, 2.5, 4096, 200, "EightBitPaddedWith128"},
        TPlayCase{8, 1, 8000, 3.0, 65536, 200, "EightBitEndingInFirstBlock"},
        TPlayCase{24, 2, 48000, 2.0, 16384, 200, "TwentyFourBit"},
        TPlayCase{32, 6, 48000, 1.5, 8192, 200, "ThirtyTwoBitSixChannels"},
        // 65535 frames at 96 kHz last 0.68 s, less than the 800 ms interval.
        TPlayCase{16, 2, 96000, 3.0, 65535, 800, "BufferShorterThanPollingInterval"},
        TPlayCase{16, 1, 44100, 2.0, 900, 200, "TinyBuffer"}),
    [](const ::testing::TestParamInfo<TPlayCase>& info) { return std::string(info.param.Name); });

TEST(DXAudioOut, FirstStepFillsTheWholeBufferAndStartsPlayback) {
  TOutputRig rig;
  const TPlayCase c{16, 2, 44100, 3.0, 65536, 200, ""};
  rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, c.Rate, Clip(c));
  int64_t positionAtFirstSleep = -1;
  int playsAtFirstSleep = -1;
  rig.SimClock->SetSleepHook([&](uint32_t) {
    if (positionAtFirstSleep >= 0) return;
    positionAtFirstSleep = rig.Input->Position.load();
    playsAtFirstSleep = rig.System->Stats().Plays;
  });
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(positionAtFirstSleep, int64_t(65536) * 4);
  EXPECT_EQ(playsAtFirstSleep, 1);
}

TEST(DXAudioOut, InputEndingInsideTheFirstBlockGoesStraightToTheDrain) {
  // The drain also lasts out what the device holds beyond its play cursor.
  for (const auto& [latencyFrames, rounds] : {std::pair{0u, 15}, {5024u, 16}, {5025u, 17}}) {
    SCOPED_TRACE(latencyFrames);
    TVirtualOptions options;
    options.LatencyFrames = latencyFrames;
    TOutputRig rig(options);
    const TPlayCase c{16, 2, 44100, 0.25, 65536, 200, ""};
    rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, c.Rate, Clip(c));
    std::vector<uint32_t> sleeps;
    rig.SimClock->SetSleepHook([&](uint32_t ms) { sleeps.push_back(ms); });
    ASSERT_TRUE(rig.Play());

    // 65536 frames last 1.486 s: fifteen 100 ms rounds of silence, no poll;
    // 5024 frames more still fit in sixteen.
    EXPECT_EQ(sleeps, std::vector<uint32_t>(size_t(rounds), 100));
    const std::vector<uint8_t> heard = rig.Heard();
    EXPECT_TRUE(IsInputThenSilence(heard, rig.Input->Bytes(), 0));
    EXPECT_EQ(heard.size(), size_t(rounds) * 4410 * 4);
    EXPECT_EQ(rig.DoneEvents.load(), 1);
    EXPECT_EQ(rig.Out->ExceptionMessage(), "");
  }
}

TEST(DXAudioOut, EightBitClipShorterThanTheBufferIsFollowedBy128NotZero) {
  TOutputRig rig;
  const TPlayCase c{8, 1, 11025, 0.02, 4096, 200, ""};
  rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, c.Rate, Clip(c));
  ASSERT_TRUE(rig.Play());
  EXPECT_TRUE(IsInputThenSilence(rig.Heard(), rig.Input->Bytes(), 128));
}

TEST(DXAudioOut, EmptyInputPlaysOnlySilenceOfItsFormat) {
  for (const uint32_t bits : {8u, 16u}) {
    SCOPED_TRACE(bits);
    TOutputRig rig;
    rig.Input = std::make_unique<TScriptedInput>(bits, 2, 8000, std::vector<uint8_t>{});
    rig.Out->SetFramesInBuffer(4000);
    ASSERT_TRUE(rig.Play());
    EXPECT_EQ(rig.Out->ExceptionMessage(), "");
    const std::vector<uint8_t> heard = rig.Heard();
    EXPECT_FALSE(heard.empty());
    EXPECT_TRUE(IsInputThenSilence(heard, {}, bits == 8 ? 128 : 0));
  }
}

TEST(DXAudioOut, FramesInBufferChangedDuringAPassDoesNotAffectIt) {
  TOutputRig rig;
  const TPlayCase c{16, 2, 44100, 3.0, 65536, 200, ""};
  rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, c.Rate, Clip(c));
  ASSERT_TRUE(rig.RunAndHoldAfter(44100 * 4));
  rig.Out->SetFramesInBuffer(1024);
  EXPECT_EQ(rig.Out->FramesInBuffer(), 65536u);
  rig.SimClock->Release();
  ASSERT_TRUE(rig.WaitDone());
  EXPECT_EQ(rig.System->Stats().OutputBufferBytes, 65536u * 4);
  EXPECT_TRUE(IsInputThenSilence(rig.Heard(), rig.Input->Bytes(), 0));

  rig.Out->SetFramesInBuffer(1024);
  EXPECT_EQ(rig.Out->FramesInBuffer(), 1024u);
  rig.Input->BeforeBlock = nullptr;
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.System->Stats().OutputBufferBytes, 1024u * 4);
}

TEST(DXAudioOut, DeviceTableHoldsTheDefaultOutputFirstAndAtMostSixteenDevices) {
  TVirtualOptions options;
  options.DeviceCount = 20;
  TOutputRig rig(options);
  ASSERT_EQ(rig.Out->DeviceCount(), 16);
  EXPECT_TRUE(rig.Out->Devices(0).Guid.IsDefault());
  EXPECT_STREQ(rig.Out->Devices(0).Name.data(), "Virtuális hangkimenet (alapértelmezett)");
  EXPECT_EQ(rig.Out->Devices(15).Guid, TVirtualSoundSystem::DeviceIdOf(15));
  EXPECT_STREQ(rig.Out->Devices(15).Name.data(), "Virtuális hangkimenet 15");

  rig.Input = std::make_unique<TScriptedInput>(16, 1, 8000, PatternBytes(800));
  rig.Out->SetDeviceNumber(3);
  ASSERT_TRUE(rig.Play());
  const TVirtualStats stats = rig.System->Stats();
  EXPECT_EQ(stats.LastDeviceId, TVirtualSoundSystem::DeviceIdOf(3));
  EXPECT_EQ(stats.LastCooperativeLevel, kCooperativeExclusive);
  EXPECT_NE(stats.LastWindow, TWindowHandle(0));
  EXPECT_EQ(stats.OutputBufferFlags, kOutputBufferFlags);
}

// Wave format handed to the device for each input format.
struct TFormatCase {
  uint32_t Bits, Channels;
  uint16_t Tag;
  uint32_t Mask;
};

void PrintTo(const TFormatCase& c, std::ostream* os) { *os << c.Bits << "-bit, " << c.Channels << " channels"; }

class DXAudioOutWaveFormat : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(DXAudioOutWaveFormat, PicksPlainPcmOrTheExtensibleLayout) {
  const TFormatCase c = GetParam();
  TOutputRig rig;
  const uint32_t frame = c.Channels * c.Bits / 8;
  rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, 8000, PatternBytes(400 * frame));
  rig.Out->SetFramesInBuffer(800);
  ASSERT_TRUE(rig.Play());
  ASSERT_EQ(rig.Out->ExceptionMessage(), "");

  const TWaveFormat f = rig.System->Stats().OutputFormat;
  EXPECT_EQ(f, rig.System->Stats().PrimaryFormat);
  EXPECT_EQ(f.FormatTag, c.Tag);
  EXPECT_EQ(f.Channels, c.Channels);
  EXPECT_EQ(f.SamplesPerSec, 8000u);
  EXPECT_EQ(f.BlockAlign, frame);
  EXPECT_EQ(f.AvgBytesPerSec, frame * 8000);
  EXPECT_EQ(f.BitsPerSample, c.Bits);
  if (c.Tag == kWaveFormatExtensible) {
    EXPECT_EQ(f.ExtraSize, 22);
    EXPECT_EQ(f.ValidBitsPerSample, 0);
    EXPECT_EQ(f.ChannelMask, c.Mask);
    EXPECT_EQ(f.SubFormat, kPcmSubFormat);
  } else {
    EXPECT_EQ(f.ExtraSize, 0);
  }
  EXPECT_TRUE(IsInputThenSilence(rig.Heard(), rig.Input->Bytes(), c.Bits == 8 ? 128 : 0));
}

INSTANTIATE_TEST_SUITE_P(Formats, DXAudioOutWaveFormat,
                         ::testing::Values(TFormatCase{8, 1, kWaveFormatPcm, 0}, TFormatCase{16, 2, kWaveFormatPcm, 0},
                                           TFormatCase{32, 2, kWaveFormatPcm, 0},
                                           TFormatCase{24, 1, kWaveFormatExtensible, 0},
                                           TFormatCase{24, 2, kWaveFormatExtensible, 0x3},
                                           TFormatCase{16, 3, kWaveFormatExtensible, 0},
                                           TFormatCase{8, 4, kWaveFormatExtensible, 0},
                                           TFormatCase{16, 6, kWaveFormatExtensible, 0x3F},
                                           TFormatCase{32, 8, kWaveFormatExtensible, 0xFF}));

TEST(DXAudioOutFailures, DeviceNumberOutsideTheTableFailsThePassWithItsText) {
  for (const int32_t number : {2, -1, 16}) {
    SCOPED_TRACE(number);
    TOutputRig rig;  // two devices
    rig.Input = std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(4000));
    rig.Out->SetDeviceNumber(number);
    ASSERT_TRUE(rig.Play());
    EXPECT_EQ(rig.Out->ExceptionMessage(),
              "Nincs ilyen számú hangkimenet: " + std::to_string(number) + " (a választható számok: 0–1).");
    EXPECT_EQ(rig.ExceptionEvents.load(), 1);
    EXPECT_EQ(rig.System->Stats().DevicesCreated, 0);
    // The pass never started the input, so it does not flush it either.
    EXPECT_EQ(rig.Input->Inits.load(), 0);
    EXPECT_EQ(rig.Input->Flushes.load(), 0);
  }
}

TEST(DXAudioOutFailures, MachineWithoutDevicesFailsEveryPassWithInvalidDeviceNumber) {
  TVirtualOptions options;
  options.DeviceCount = 0;
  TOutputRig rig(options);
  EXPECT_EQ(rig.Out->DeviceCount(), 0);
  rig.Input = std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(4000));
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.Out->ExceptionMessage(), "Nem található hangkimenet ezen a gépen.");
  EXPECT_EQ(rig.DoneEvents.load(), 1);
}

TEST(DXAudioOutFailures, DeviceThatCannotBeCreatedFailsThePassAndReleasesTheInput) {
  TVirtualOptions options;
  options.CreateDeviceResult = srFailed;
  TOutputRig rig(options);
  rig.Input = std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(4000));
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.Out->ExceptionMessage(), "Nem nyitható meg a hangkimenet („Virtuális hangkimenet (alapértelmezett)”): "
                                         "a hangrendszer hibát jelzett (hibakód: 80560001).");
  EXPECT_EQ(rig.ExceptionEvents.load(), 1);
  EXPECT_EQ(rig.Input->Flushes.load(), 1);
}

TEST(DXAudioOutFailures, BufferThatCannotBeCreatedNamesTheCodeInEightHexDigits) {
  TVirtualOptions options;
  options.CreateOutputBufferResult = static_cast<int32_t>(0x8878000Au);
  TOutputRig rig(options);
  rig.Input = std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(4000));
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.Out->ExceptionMessage(), "Nem nyitható meg a hangkimenet („Virtuális hangkimenet (alapértelmezett)”): "
                                         "a hangrendszer hibát jelzett (hibakód: 8878000A).");
  const TVirtualStats stats = rig.System->Stats();
  EXPECT_EQ(stats.DevicesOpen, 0);
  EXPECT_EQ(stats.PrimaryBuffersOpen, 0);
  EXPECT_EQ(rig.Input->Flushes.load(), 1);

  // A buffer of no frames is refused by the device the same way.
  TOutputRig empty;
  empty.Input = std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(4000));
  empty.Out->SetFramesInBuffer(0);
  ASSERT_TRUE(empty.Play());
  char expected[64];
  std::snprintf(expected, sizeof expected, "(hibakód: %08" PRIX32 ").", uint32_t(srInvalidArgument));
  EXPECT_TRUE(empty.Out->ExceptionMessage().ends_with(expected)) << empty.Out->ExceptionMessage();
}

TEST(DXAudioOutFailures, CursorThatNeverMovesGivesAudioOutputErrorOnThe17thPoll) {
  TVirtualOptions options;
  options.FrozenCursor = true;
  TOutputRig rig(options);
  rig.Input = std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(44100 * 4 * 3));
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.Out->ExceptionMessage(), "Megszakadt a lejátszás a hangkimeneten („Virtuális hangkimenet "
                                         "(alapértelmezett)”): a hangeszköz nem veszi át a hangot.");
  EXPECT_EQ(rig.ExceptionEvents.load(), 1);
  EXPECT_EQ(rig.DoneEvents.load(), 1);
  EXPECT_EQ(rig.SimClock->SleepCount(), 17);
  EXPECT_EQ(rig.System->Stats().DevicesOpen, 0);
  EXPECT_EQ(rig.Input->Flushes.load(), 1);
}

TEST(DXAudioOutUnderrun, StalledWriterCausesOneReportedUnderrunAndPlaybackGoesOn) {
  TOutputRig rig;
  const TPlayCase c{16, 2, 44100, 6.0, 65536, 200, ""};
  rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, c.Rate, Clip(c));
  const int64_t stallAt = 44100 * 4 * 3;
  bool stalled = false;
  rig.Input->BeforeBlock = [&](int64_t position) {
    if (position < stallAt || stalled) return;
    stalled = true;
    rig.SimClock->AdvanceMs(2500);  // longer than the 1.49 s buffer
  };
  ASSERT_TRUE(rig.Play());

  EXPECT_EQ(rig.Out->Underruns(), 1);
  EXPECT_EQ(rig.UnderrunEvents.load(), 1);
  EXPECT_EQ(rig.DoneEvents.load(), 1);
  EXPECT_EQ(rig.Out->ExceptionMessage(), "");
  // After the stall the rest of the input plays unbroken, then silence.
  const std::vector<uint8_t> heard = rig.Heard();
  const std::vector<uint8_t>& input = rig.Input->Bytes();
  const std::vector<uint8_t> tail(input.begin() + stallAt + 44100 * 4, input.end());
  const auto at = std::search(heard.begin(), heard.end(), tail.begin(), tail.end());
  ASSERT_NE(at, heard.end()) << "the input after the stall was not heard in one piece";
  EXPECT_TRUE(std::all_of(at + tail.size(), heard.end(), [](uint8_t b) { return b == 0; }));
}

TEST(DXAudioOutPause, PauseAndResumeKeepTheHeardStreamGaplessEvenAfterALongPause) {
  TOutputRig rig;
  const TPlayCase c{16, 2, 44100, 5.0, 65536, 200, ""};
  rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, c.Rate, Clip(c));
  ASSERT_TRUE(rig.RunAndHoldAfter(44100 * 4 * 2));

  // The played time is what passed the play cursor (three polls), not what
  // was pulled (two seconds).
  constexpr double kBytesPerSecond = 44100 * 4;
  EXPECT_EQ(rig.Heard().size(), size_t(3 * 8820 * 4));
  EXPECT_DOUBLE_EQ(rig.Out->PlayedSeconds(), double(rig.Heard().size()) / kBytesPerSecond);
  rig.Out->Pause();
  EXPECT_EQ(rig.Out->Status(), osPaused);
  rig.Out->Pause();  // a second press changes nothing
  EXPECT_EQ(rig.Input->Pauses.load(), 1);
  EXPECT_GE(rig.System->Stats().Stops, 1);
  const size_t heardBefore = rig.Heard().size();
  // Ten seconds of pause, far longer than the buffer: nothing is heard, and
  // the time stopped must not count as laps of the buffer after the resume.
  rig.SimClock->AdvanceMs(10000);
  rig.SimClock->Release();
  EXPECT_EQ(rig.Heard().size(), heardBefore);
  EXPECT_DOUBLE_EQ(rig.Out->PlayedSeconds(), double(heardBefore) / kBytesPerSecond);
  rig.Out->Resume();
  EXPECT_EQ(rig.Input->Resumes.load(), 1);
  ASSERT_TRUE(rig.WaitDone());
  EXPECT_EQ(rig.Out->PlayedSeconds(), 0);  // the pass has ended

  EXPECT_TRUE(IsInputThenSilence(rig.Heard(), rig.Input->Bytes(), 0));
  EXPECT_EQ(rig.Out->Underruns(), 0);
  EXPECT_EQ(rig.UnderrunEvents.load(), 0);
}

TEST(DXAudioOutPause, PauseThatTimesOutStillSilencesTheDeviceOnceTheWorkerIdles) {
  TOutputRig rig;
  const TPlayCase c{16, 2, 44100, 5.0, 65536, 200, ""};
  rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, c.Rate, Clip(c));
  // The worker is caught inside a step by an input that does not answer
  // until the Pause has given up waiting.
  std::atomic<bool> stuck{false};
  std::atomic<bool> release{false};
  bool once = false;
  rig.Input->BeforeBlock = [&](int64_t position) {
    if (position < 44100 * 4 * 2 || once) return;
    once = true;
    stuck = true;
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  rig.Out->SetPauseTimeout(std::chrono::milliseconds(20));
  rig.Out->SetInput(rig.Input.get());
  rig.Out->Run();
  ASSERT_TRUE(rig.PumpUntil([&] { return stuck.load(); }));
  rig.Out->Pause();
  release = true;
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Out->Status() == osPaused; }));
  EXPECT_GE(rig.System->Stats().Stops, 1);

  // Paused far longer than the buffer: a device left looping would replay
  // its last lap over and over.
  rig.SimClock->AdvanceMs(5000);
  rig.Out->Resume();
  ASSERT_TRUE(rig.WaitDone());
  EXPECT_TRUE(IsInputThenSilence(rig.Heard(), rig.Input->Bytes(), 0));
  EXPECT_EQ(rig.Out->Underruns(), 0);
}

TEST(DXAudioOutPause, PauseStillPendingWhenTheInputEndsCanBeResumed) {
  TOutputRig rig;
  const TPlayCase c{16, 2, 44100, 3.0, 65536, 200, ""};
  rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, c.Rate, Clip(c));
  std::atomic<bool> stuck{false};
  std::atomic<bool> release{false};
  rig.Input->AtEnd = [&] {
    stuck = true;
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  rig.Out->SetPauseTimeout(std::chrono::milliseconds(20));
  rig.Out->SetInput(rig.Input.get());
  rig.Out->Run();
  ASSERT_TRUE(rig.PumpUntil([&] { return stuck.load(); }));
  rig.Out->Pause();  // times out: the worker is reading the end of the input
  release = true;
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Out->Status() == osPaused; }));
  rig.SimClock->AdvanceMs(5000);
  rig.Out->Resume();
  ASSERT_TRUE(rig.WaitDone());
  EXPECT_EQ(rig.Input->Resumes.load(), 1);
  EXPECT_TRUE(IsInputThenSilence(rig.Heard(), rig.Input->Bytes(), 0));
}

TEST(DXAudioOutPause, PauseResumeAndStopNeverDriveTheDeviceFromTheGuiThread) {
  const std::thread::id gui = std::this_thread::get_id();
  std::atomic<int> guiCalls{0};
  std::atomic<int> calls{0};
  TVirtualOptions options;
  options.TransportHook = [&] {
    ++calls;
    if (std::this_thread::get_id() == gui) ++guiCalls;
  };
  TOutputRig rig(options);
  const TPlayCase c{16, 2, 44100, 5.0, 65536, 200, ""};
  rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, c.Rate, Clip(c));
  ASSERT_TRUE(rig.RunAndHoldAfter(44100 * 4 * 2));
  rig.Out->Pause();
  ASSERT_EQ(rig.Out->Status(), osPaused);
  const int stopsWhenPaused = rig.System->Stats().Stops;
  rig.SimClock->Release();
  rig.Out->Resume();
  const int playsWhenResumed = rig.System->Stats().Plays;
  rig.Out->Stop(false);

  EXPECT_GE(stopsWhenPaused, 1);
  EXPECT_GE(playsWhenResumed, 2);
  EXPECT_GT(calls.load(), 0);
  EXPECT_EQ(guiCalls.load(), 0);
  EXPECT_EQ(rig.System->Stats().OutputBuffersOpen, 0);
}

TEST(DXAudioOutPause, PauseDuringTheFinalDrainReturnsAtOnceAndThePassEndsNormally) {
  TOutputRig rig;
  const TPlayCase c{16, 2, 44100, 0.3, 65536, 200, ""};
  rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, c.Rate, Clip(c));
  rig.Input->AtEnd = [&] { rig.SimClock->Hold(); };
  rig.Out->SetInput(rig.Input.get());
  rig.Out->Run();
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.SimClock->WaitingSleepers() == 1; }));

  rig.Out->Pause();
  EXPECT_EQ(rig.Out->Status(), osPlaying);
  EXPECT_EQ(rig.Input->Pauses.load(), 0);
  rig.Out->Resume();
  EXPECT_EQ(rig.Input->Resumes.load(), 0);
  rig.SimClock->Release();
  ASSERT_TRUE(rig.WaitDone());
  EXPECT_EQ(rig.DoneEvents.load(), 1);
  EXPECT_TRUE(IsInputThenSilence(rig.Heard(), rig.Input->Bytes(), 0));
}

TEST(DXAudioOutPause, ResumeAfterAnAsyncStopOfAPausedPassLeavesTheDeviceToTheEndingPass) {
  TOutputRig rig;
  const TPlayCase c{16, 2, 44100, 5.0, 65536, 200, ""};
  rig.Input = std::make_unique<TScriptedInput>(c.Bits, c.Channels, c.Rate, Clip(c));
  ASSERT_TRUE(rig.RunAndHoldAfter(44100 * 4));
  rig.Out->Pause();
  ASSERT_EQ(rig.Out->Status(), osPaused);
  rig.SimClock->Release();
  const int plays = rig.System->Stats().Plays;

  // The worker is on its way out of the pass and will close the device: the
  // GUI thread must not restart the buffer it is about to release.
  rig.Out->Stop(true);
  rig.Out->Resume();
  ASSERT_TRUE(rig.WaitDone());
  EXPECT_EQ(rig.System->Stats().Plays, plays);
  EXPECT_EQ(rig.DoneEvents.load(), 1);
  EXPECT_EQ(rig.System->Stats().OutputBuffersOpen, 0);
  EXPECT_EQ(rig.Out->Status(), osIdle);
}

TEST(DXAudioOutPause, PauseAndResumeOnAnIdleOutputDoNothing) {
  TOutputRig rig;
  EXPECT_THROW(rig.Out->Pause(), EAuException);
  rig.Input = std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(4000));
  rig.Out->SetInput(rig.Input.get());
  rig.Out->Pause();
  rig.Out->Resume();
  EXPECT_EQ(rig.Input->Pauses.load(), 0);
  EXPECT_EQ(rig.Input->Resumes.load(), 0);
  EXPECT_EQ(rig.System->Stats().DevicesCreated, 0);
}

TEST(DXAudioOut, SecondPassPlaysAgainOnAFreshBuffer) {
  TOutputRig rig;
  rig.Input = std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(44100 * 4, 7));
  ASSERT_TRUE(rig.Play());
  const std::vector<uint8_t> first = rig.Heard();
  rig.System->ClearHeard();
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.Heard(), first);
  EXPECT_EQ(rig.System->Stats().DevicesCreated, 2);
  EXPECT_EQ(rig.Input->Flushes.load(), 2);
}

TEST(DXAudioOutDevice, ChoiceByNumberOrNameResolvesInOnePlaceOrSaysWhyNot) {
  TDeviceTable table;
  const char* names[] = {"Alapértelmezett hangkimenet (default)", "USB Audio CODEC: - (hw:1,0)",
                         "HDA Intel PCH: ALC892 Analog (hw:0,0)", "HDA Intel PCH: HDMI 0 (hw:0,3)", "default"};
  for (size_t i = 0; i < std::size(names); ++i) std::snprintf(table[i].Name.data(), 128, "%s", names[i]);
  const auto number = [&](std::string_view choice) {
    const TDeviceChoice c = ResolveDeviceChoice(table, 5, choice);
    EXPECT_EQ(c.Found(), c.Message.empty()) << choice;
    return c.Found() ? c.Number : -1;
  };
  EXPECT_EQ(number(""), 0);
  EXPECT_EQ(number(" 2 "), 2);
  EXPECT_EQ(number("default"), 4);  // the exact name, though entry 0 contains it
  EXPECT_EQ(number("DEFAULT"), 4);
  EXPECT_EQ(number("usb"), 1);
  EXPECT_EQ(ResolveDeviceChoice(table, 5, "usb").Name, names[1]);

  EXPECT_EQ(ResolveDeviceChoice(table, 5, "5").Message, "Nincs ilyen számú hangkimenet: 5 (a választható számok: 0–4).");
  EXPECT_EQ(ResolveDeviceChoice(table, 5, "99999999999").Result, TDeviceChoiceResult::NoSuchDevice);
  EXPECT_EQ(ResolveDeviceChoice(table, 5, "Scarlett").Message, "Nincs ilyen nevű hangkimenet: „Scarlett”.");
  const TDeviceChoice both = ResolveDeviceChoice(table, 5, "hda intel");
  EXPECT_EQ(both.Result, TDeviceChoiceResult::Ambiguous);
  EXPECT_EQ(both.Message, "Több hangkimenet neve is illik erre: „hda intel” („HDA Intel PCH: ALC892 Analog (hw:0,0)”, "
                          "„HDA Intel PCH: HDMI 0 (hw:0,3)”). Adja meg a teljes nevet vagy a számát.");
  EXPECT_EQ(ResolveDeviceChoice(table, 0, "").Message, "Nem található hangkimenet ezen a gépen.");

  // Through the output: a choice that fails leaves the device as it was.
  TOutputRig rig;
  EXPECT_TRUE(rig.Out->ChooseDevice("virtuális hangkimenet 1").Found());
  EXPECT_FALSE(rig.Out->ChooseDevice("Virtuális hangkimenet 7").Found());
  EXPECT_EQ(rig.Out->DeviceNumber(), 1);
  EXPECT_EQ(rig.Out->PlayingDeviceNumber(), -1);
  rig.Input = std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(44100 * 4 * 2));
  // Underflows the device reports are counted beside the ring's underruns.
  int sleeps = 0;
  rig.SimClock->SetSleepHook([&](uint32_t) {
    if (++sleeps == 2) rig.System->ReportUnderflows(3);
  });
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.System->Stats().LastDeviceId, TVirtualSoundSystem::DeviceIdOf(1));
  EXPECT_EQ(rig.Out->PlayingDeviceNumber(), 1);
  EXPECT_EQ(rig.Out->PlayingDeviceName(), "Virtuális hangkimenet 1");
  EXPECT_EQ(rig.Out->DeviceNote(), "");
  EXPECT_EQ(rig.Out->DeviceUnderflows(), 3);
  EXPECT_EQ(rig.Out->Underruns(), 0);
  EXPECT_TRUE(IsInputThenSilence(rig.Heard(), rig.Input->Bytes(), 0));
}

// The stream ends under the pass at the Nth sleep (polls and drain rounds
// alike); the pass must end right after that sleep.
struct TLossCase {
  double Seconds;
  int AtSleep;
  bool TakeDeviceAway;
  const char* Name;
};

void PrintTo(const TLossCase& c, std::ostream* os) { *os << c.Name; }

class DXAudioOutLoss : public ::testing::TestWithParam<TLossCase> {};

TEST_P(DXAudioOutLoss, LostStreamEndsThePassAtTheNextLookAndTheNextRunPlaysOnTheDefaultIfItIsGone) {
  const TLossCase c = GetParam();
  TOutputRig rig;
  int noteEvents = 0;
  rig.Out->OnDeviceNote = [&](TComponent*) { ++noteEvents; };
  rig.Out->SetDeviceNumber(1);
  rig.Input = std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(size_t(c.Seconds * 44100) * 4));
  int sleeps = 0;
  rig.SimClock->SetSleepHook([&](uint32_t) {
    if (++sleeps != c.AtSleep) return;
    if (c.TakeDeviceAway)
      rig.System->SetDevicePresent(1, false);
    else
      rig.System->KillStreams();
  });
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.SimClock->SleepCount(), c.AtSleep);
  const char* cause = c.TakeDeviceAway ? "az eszköz nem érhető el" : "a hangeszköz vagy a hangszerver leállította a lejátszást";
  EXPECT_EQ(rig.Out->ExceptionMessage(),
            std::string("Megszakadt a lejátszás a hangkimeneten („Virtuális hangkimenet 1”): ") + cause + ".");
  EXPECT_EQ(rig.ExceptionEvents.load(), 1);
  EXPECT_EQ(rig.System->Stats().DevicesOpen, 0);
  EXPECT_EQ(rig.Input->Flushes.load(), 1);

  // The next run opens the device again, or the default when it is gone.
  rig.SimClock->SetSleepHook(nullptr);
  rig.System->ClearHeard();
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.Out->ExceptionMessage(), "");
  EXPECT_TRUE(IsInputThenSilence(rig.Heard(), rig.Input->Bytes(), 0));
  EXPECT_EQ(rig.Out->DeviceNumber(), 1);
  if (!c.TakeDeviceAway) {
    EXPECT_EQ(rig.Out->PlayingDeviceNumber(), 1);
    EXPECT_EQ(noteEvents, 0);
    return;
  }
  EXPECT_EQ(rig.System->Stats().LastDeviceId, TDeviceId{});
  EXPECT_EQ(rig.Out->PlayingDeviceNumber(), 0);
  EXPECT_EQ(rig.Out->PlayingDeviceName(), "Virtuális hangkimenet (alapértelmezett)");
  EXPECT_EQ(rig.Out->DeviceNote(), "A választott hangkimenet („Virtuális hangkimenet 1”) nem nyitható meg: az eszköz nem "
                                   "érhető el. A lejátszás az alapértelmezett hangkimeneten szól („Virtuális hangkimenet "
                                   "(alapértelmezett)”).");
  EXPECT_EQ(noteEvents, 1);
  // Back again: the next run uses it, without a note.
  rig.System->SetDevicePresent(1, true);
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.Out->PlayingDeviceNumber(), 1);
  EXPECT_EQ(rig.Out->DeviceNote(), "");
  EXPECT_EQ(noteEvents, 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, DXAudioOutLoss,
                         ::testing::Values(TLossCase{5.0, 3, false, "StreamKilledWhilePolling"},
                                           TLossCase{5.0, 2, true, "DeviceTakenAwayWhilePolling"},
                                           TLossCase{0.25, 4, false, "StreamKilledDuringTheDrain"}),
                         [](const ::testing::TestParamInfo<TLossCase>& info) { return std::string(info.param.Name); });

TEST(DXAudioOutDevice, DefaultOutputThatCannotBeOpenedEitherFailsWithTheChosenDevicesCause) {
  TOutputRig rig;
  rig.Out->SetDeviceNumber(1);
  rig.System->SetDevicePresent(1, false);
  rig.System->SetDevicePresent(0, false);
  rig.Input = std::make_unique<TScriptedInput>(16, 2, 44100, PatternBytes(4000));
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.Out->ExceptionMessage(),
            "Nem nyitható meg a hangkimenet („Virtuális hangkimenet 1”): az eszköz nem érhető el (hibakód: 80560005).");
  EXPECT_EQ(rig.Out->DeviceNote(), "");
  EXPECT_EQ(rig.System->Stats().DevicesOpen, 0);
}

}  // namespace
