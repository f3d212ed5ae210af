// Whole-chain playback: the chain a test run builds (clip readers, silences,
// one input list) played by TDXAudioOut on the virtual device, and the bytes
// that passed the play cursor compared with what the clips and pauses give.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "audio/core/GuiHandoff.h"
#include "audio/core/TAuOutput.h"
#include "audio/decoders/ClipReader.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/TVirtualSoundSystem.h"
#include "show/ChainTestSupport.h"
#include "show/OperatorText.h"
#include "show/TRunProgress.h"
#include "show/PlaybackSettings.h"
#include "show/TTestRunChain.h"
#include "support/WavBuilder.h"

namespace {

// Frames of source signal in a clip spec.
uint64_t SourceFrames(const TClipSpec& Spec) { return uint64_t(std::llround(Spec.Seconds * Spec.SampleRate)); }

// One MPEG audio frame holds 1152 samples per channel.
constexpr uint64_t kMp3FrameSamples = 1152;

TEST(TestRunChain, TwoClipsWithAPauseBetweenPlayBackToBackWithTheExactSilence) {
  TTempFolder folder;
  // Clips in one format, so nothing is converted and every byte, the
  // pause's included, can be counted exactly.
  const TClipSpec a{TClipKind::PcmWav, 1, 8000, 0.7, 1};
  const TClipSpec b{TClipKind::PcmWav, 1, 8000, 0.5, 2};
  const std::vector<TRunItem> items{{WriteClip(folder, "a", a), 500}, {WriteClip(folder, "b", b), 0}};
  TTestRun run(items);
  ASSERT_EQ(run.List().InputItems().Count(), 3);
  TChainRig rig;
  ASSERT_TRUE(rig.Play(run.List()));

  std::vector<uint8_t> expected = PcmClipData(a);
  expected.resize(expected.size() + 4000 * 2, 0);  // 500 ms at 8000 Hz mono
  const std::vector<uint8_t> second = PcmClipData(b);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_TRUE(IsStreamThenSilence(rig.Heard(), expected, 0));
  EXPECT_EQ(rig.Out->ExceptionMessage(), "");
  EXPECT_EQ(rig.ExceptionEvents.load(), 0);
  EXPECT_EQ(rig.Out->Underruns(), 0);
  EXPECT_EQ(rig.Out->Status(), osIdle);
  EXPECT_EQ(run.List().CurrentIndex(), 0);
  EXPECT_FALSE(run.List().Busy.load());
  const TVirtualStats stats = rig.System->Stats();
  EXPECT_EQ(stats.OutputFormat.SamplesPerSec, 8000u);
  EXPECT_EQ(stats.OutputFormat.Channels, 1u);
  EXPECT_EQ(stats.DevicesOpen, 0);
}

TEST(TestRunChain, ShortPausesLastTheirExactFramesAndNoneOrNegativeOnesJoinTheClips) {
  TTempFolder folder;
  const TClipSpec a{TClipKind::PcmWav, 2, 44100, 0.4, 3};
  const TClipSpec b{TClipKind::PcmWav, 2, 44100, 0.3, 4};
  const TClipSpec c{TClipKind::PcmWav, 2, 44100, 0.2, 5};
  const std::vector<TRunItem> items{
      {WriteClip(folder, "a", a), 34}, {WriteClip(folder, "b", b), -500}, {WriteClip(folder, "c", c), 0}};
  TTestRun run(items);
  EXPECT_EQ(run.List().InputItems().Count(), 4);
  TChainRig rig;
  ASSERT_TRUE(rig.Play(run.List()));

  std::vector<uint8_t> expected;
  for (const TClipSpec* spec : {&a, &b, &c}) {
    const std::vector<uint8_t> data = PcmClipData(*spec);
    expected.insert(expected.end(), data.begin(), data.end());
    // 34 ms at 44100 Hz: 1499.4 frames, 1499 of them, 4 bytes each.
    if (spec == &a) expected.resize(expected.size() + 1499 * 4, 0);
  }
  EXPECT_TRUE(IsStreamThenSilence(rig.Heard(), expected, 0));
}

TEST(TestRunChain, PausesLastTheirMillisecondsToTheFrameAtTheClipsRate) {
  TTempFolder folder;
  // 1000 ms at 44100 Hz stereo is 44100 frames (not 254 ms of 3200-byte
  // repeats); 2500 ms needs two whole seconds repeated and half a second.
  const TClipSpec a{TClipKind::PcmWav, 2, 44100, 0.3, 57};
  const TClipSpec b{TClipKind::PcmWav, 2, 44100, 0.2, 58};
  const TClipSpec c{TClipKind::PcmWav, 2, 44100, 0.1, 59};
  const std::vector<TRunItem> items{
      {WriteClip(folder, "a", a), 1000}, {WriteClip(folder, "b", b), 2500.4}, {WriteClip(folder, "c", c), 0}};
  TTestRun run(items);
  EXPECT_EQ(run.Chain().PassFormat(), (TPcmFormat{16, 2, 44100}));
  EXPECT_EQ(run.List().InputItems().Count(), 6);  // clip, 1 s, clip, 2 x 1 s + 0.5 s, clip
  TChainRig rig;
  ASSERT_TRUE(rig.Play(run.List()));

  std::vector<uint8_t> expected;
  for (const auto& [spec, frames] : {std::pair{&a, 44100}, std::pair{&b, 110250}, std::pair{&c, 0}}) {
    const std::vector<uint8_t> data = PcmClipData(*spec);
    expected.insert(expected.end(), data.begin(), data.end());
    expected.resize(expected.size() + size_t(frames) * 4, 0);
  }
  EXPECT_TRUE(IsStreamThenSilence(rig.Heard(), expected, 0));
  EXPECT_EQ(rig.Out->Underruns(), 0);
}

TEST(TestRunChain, APauseAfterAMissingFirstClipIsInTheFormatOfTheFirstClipThatOpens) {
  TTempFolder folder;
  const TClipSpec b{TClipKind::PcmWav, 2, 44100, 0.4, 63};
  const std::vector<TRunItem> items{{folder.File("nincs.wav"), 250}, {WriteClip(folder, "b", b), 0}};
  TTestRun run(items);
  EXPECT_EQ(run.Chain().PassFormat(), (TPcmFormat{16, 2, 44100}));
  TChainRig rig;
  ASSERT_TRUE(rig.Play(run.List()));
  const TVirtualStats stats = rig.System->Stats();
  EXPECT_EQ(stats.OutputFormat.SamplesPerSec, 44100u);
  EXPECT_EQ(stats.OutputFormat.Channels, 2u);
  std::vector<uint8_t> expected(size_t(11025) * 4, 0);
  const std::vector<uint8_t> clip = PcmClipData(b);
  expected.insert(expected.end(), clip.begin(), clip.end());
  EXPECT_TRUE(IsStreamThenSilence(rig.Heard(), expected, 0));
}

TEST(TestRunChain, ARunWithoutAClipThatOpensHasNoSilenceAndTheWorkerSaysWhy) {
  TTempFolder folder;
  const std::vector<TRunItem> items{{folder.File("nincs.wav"), 500}, {folder.File("nincs.mp3"), 500}};
  TTestRun run(items);
  EXPECT_FALSE(run.Chain().PassFormat().IsPlayable());
  EXPECT_TRUE(run.Silences().empty());
  EXPECT_EQ(run.List().InputItems().Count(), 2);
  TChainRig rig;
  ASSERT_TRUE(rig.Play(run.List()));
  EXPECT_EQ(rig.ExceptionEvents.load(), 1);
  EXPECT_FALSE(rig.Out->ExceptionMessage().empty());
  EXPECT_TRUE(rig.Heard().empty());
}

TEST(TestRunChain, RebuildingReleasesThePreviousRunAndKeepsNoStaleItems) {
  TTempFolder folder;
  const TClipSpec a{TClipKind::PcmWav, 1, 8000, 0.2, 64};
  const TClipSpec b{TClipKind::PcmWav, 1, 16000, 0.2, 65};
  const std::string pa = WriteClip(folder, "a", a);
  const std::string pb = WriteClip(folder, "b", b);
  TComponentPtr<TInputList> list = MakeComponent<TInputList>();
  TTestRunChain chain;
  chain.Build(*list, {{pa, 100}, {pa, 100}, {pa, 0}});
  EXPECT_EQ(list->InputItems().Count(), 5);
  chain.Build(*list, {{pb, 100}});
  ASSERT_EQ(list->InputItems().Count(), 2);
  EXPECT_EQ(chain.Clips().size(), 1u);
  EXPECT_EQ(chain.PassFormat().SampleRate, 16000u);
  TChainRig rig;
  ASSERT_TRUE(rig.Play(*list));
  std::vector<uint8_t> expected = PcmClipData(b);
  expected.resize(expected.size() + 1600 * 2, 0);
  EXPECT_TRUE(IsStreamThenSilence(rig.Heard(), expected, 0));
  rig.Out->SetInput(nullptr);
  chain.Release(*list);
  EXPECT_EQ(list->InputItems().Count(), 0);
  EXPECT_TRUE(chain.Clips().empty());
}

// A chain whose clips differ in kind and format: everything is heard in the
// first clip's format, each item at its own length.
struct TMixedCase {
  const char* Name;
  std::vector<TClipSpec> Clips;
  std::vector<double> Pauses;
};

void PrintTo(const TMixedCase& c, std::ostream* os) { *os << c.Name; }

class TestRunMixedFormats : public ::testing::TestWithParam<TMixedCase> {};

TEST_P(TestRunMixedFormats, EveryItemIsHeardInTheFirstClipsFormatAtItsOwnLength) {
  const TMixedCase& c = GetParam();
  TTempFolder folder;
  std::vector<TRunItem> items;
  for (size_t i = 0; i < c.Clips.size(); ++i)
    items.push_back({WriteClip(folder, "clip" + std::to_string(i), c.Clips[i]), c.Pauses[i]});
  const TExpectedStream expected = ExpectedStream(items);
  ASSERT_FALSE(expected.Parts.empty());

  // What each reader gives alone: PCM as stored, compressed clips within one
  // block or frame of their source.
  size_t part = 0;
  for (size_t i = 0; i < c.Clips.size(); ++i, ++part) {
    const TClipSpec& spec = c.Clips[i];
    ASSERT_LT(part, expected.Parts.size());
    const TExpectedPart& clip = expected.Parts[part];
    SCOPED_TRACE(clip.What);
    EXPECT_EQ(clip.Own.SampleRate, uint32_t(spec.SampleRate));
    EXPECT_EQ(clip.Own.Channels, uint32_t(spec.Channels));
    const uint64_t source = SourceFrames(spec);
    switch (spec.Kind) {
      case TClipKind::PcmWav:
      case TClipKind::EightBitWav:
      case TClipKind::FloatWav:
        EXPECT_EQ(clip.OwnFrames, source);
        break;
      case TClipKind::ImaAdpcmWav:
      case TClipKind::MsAdpcmWav:
        // The last block is padded; the fact chunk may cut it back.
        EXPECT_GE(clip.OwnFrames, source);
        EXPECT_LT(clip.OwnFrames, source + 512);
        break;
      case TClipKind::Mp3:
        EXPECT_LE(clip.OwnFrames, source + kMp3FrameSamples);
        EXPECT_GE(clip.OwnFrames + kMp3FrameSamples, source);
        break;
    }
    if (std::nearbyint(c.Pauses[i]) > 0) ++part;
  }
  ASSERT_EQ(part, expected.Parts.size());

  // Each converted item is as long as its own frames at the pass rate, to
  // within one frame: nothing lost at the joins or in the resampler.
  const TPcmFormat pass = expected.Format;
  for (const TExpectedPart& p : expected.Parts) {
    SCOPED_TRACE(p.What);
    ASSERT_EQ(p.Pcm.size() % pass.FrameSize(), 0u);
    const double frames = double(p.Pcm.size() / pass.FrameSize());
    const double nominal = double(p.OwnFrames) * pass.SampleRate / p.Own.SampleRate;
    EXPECT_NEAR(frames, nominal, 1.0);
  }

  TTestRun run(items);
  TChainRig rig;
  ASSERT_TRUE(rig.Play(run.List()));
  EXPECT_EQ(rig.Out->ExceptionMessage(), "");
  const TVirtualStats stats = rig.System->Stats();
  EXPECT_EQ(stats.OutputFormat.SamplesPerSec, pass.SampleRate);
  EXPECT_EQ(stats.OutputFormat.Channels, pass.Channels);
  EXPECT_EQ(stats.OutputFormat.BitsPerSample, pass.BitsPerSample);
  EXPECT_TRUE(IsStreamThenSilence(rig.Heard(), expected.Bytes(), pass.SilenceByte()));
  // Every conversion was set up with the chain: the worker only switched.
  EXPECT_EQ(run.List().ConvertersMadeInPass(), 0);

  // What was heard, part by part, against a reference made without the
  // converter the list uses (channels mapped by hand, libswresample resampling
  // in doubles). Tolerance: one step of the pass format (the converter rounds
  // or truncates to it; the reference is not quantized) plus 2^-11 of full
  // scale, because the converter resamples 16-bit audio in 16-bit fixed point
  // (about 8 16-bit steps apart from the doubles at worst here). A channel
  // mapped at the wrong level, swapped or shifted by one frame is far outside.
  const std::vector<uint8_t> heard = rig.Heard();
  const double step = std::ldexp(1.0, 1 - int(pass.BitsPerSample));
  const double tolerance = step + std::ldexp(1.0, -11);
  size_t offset = 0;
  for (const TExpectedPart& p : expected.Parts) {
    SCOPED_TRACE(p.What);
    ASSERT_LE(offset + p.Pcm.size(), heard.size());
    const std::vector<double> got = PcmToUnit(heard.data() + offset, p.Pcm.size(), pass.BitsPerSample);
    offset += p.Pcm.size();
    const std::vector<double> want = ReferenceConversion(p.OwnPcm, p.Own, pass);
    ASSERT_EQ(got.size(), want.size());
    size_t worst = 0;
    for (size_t i = 1; i < got.size(); ++i)
      if (std::fabs(got[i] - want[i]) > std::fabs(got[worst] - want[worst])) worst = i;
    if (got.empty()) continue;
    EXPECT_LE(std::fabs(got[worst] - want[worst]), tolerance)
        << "sample " << worst << " (frame " << worst / pass.Channels << ") is " << got[worst] << ", the reference "
        << want[worst] << "; " << std::fabs(got[worst] - want[worst]) / step << " steps apart";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Chains, TestRunMixedFormats,
    ::testing::Values(
        TMixedCase{"PcmFirstThenAdpcmEightBitAndMp3",
                   {{TClipKind::PcmWav, 2, 44100, 0.8, 11},
                    {TClipKind::ImaAdpcmWav, 1, 22050, 0.6, 12},
                    {TClipKind::EightBitWav, 1, 11025, 0.5, 13},
                    {TClipKind::Mp3, 2, 48000, 0.7, 14}},
                   {300, 0, 1000, 0}},
        TMixedCase{"ImaAdpcmFirstThenPcmAndMsAdpcm",
                   {{TClipKind::ImaAdpcmWav, 2, 22050, 0.9, 21},
                    {TClipKind::PcmWav, 2, 44100, 0.4, 22},
                    {TClipKind::MsAdpcmWav, 1, 16000, 0.6, 23}},
                   {200, 100, 0}},
        TMixedCase{"Mp3FirstThenPcmAndMp3",
                   {{TClipKind::Mp3, 1, 44100, 1.0, 31},
                    {TClipKind::PcmWav, 2, 44100, 0.5, 32},
                    {TClipKind::Mp3, 2, 22050, 0.8, 33}},
                   {500, 0, 0}},
        TMixedCase{"FloatWavFirstThenPcmAndMp3",
                   {{TClipKind::FloatWav, 2, 48000, 0.5, 43},
                    {TClipKind::PcmWav, 1, 44100, 0.4, 44},
                    {TClipKind::Mp3, 1, 22050, 0.5, 45}},
                   {250, 0, 0}},
        TMixedCase{"EightBitFirstPadsWith128",
                   {{TClipKind::EightBitWav, 1, 8000, 0.6, 41}, {TClipKind::PcmWav, 1, 8000, 0.3, 42}},
                   {400, 0}}),
    [](const ::testing::TestParamInfo<TMixedCase>& info) { return std::string(info.param.Name); });

TEST(TestRunChain, ClipsThatCannotBeReadAreSkippedAndTheirPausesStillPlay) {
  TTempFolder folder;
  const TClipSpec a{TClipKind::PcmWav, 1, 8000, 0.5, 51};
  const TClipSpec b{TClipKind::PcmWav, 1, 8000, 0.4, 52};
  const std::string garbage = folder.File("garbage.wav");
  WriteFileBytes(garbage, std::vector<uint8_t>(5000, 0x5A));
  const std::vector<TRunItem> items{{WriteClip(folder, "a", a), 500},
                                    {folder.File("missing.wav"), 300},
                                    {garbage, 0},
                                    {folder.File("missing.mp3"), 0},
                                    {WriteClip(folder, "b", b), 0}};
  TTestRun run(items);
  TChainRig rig;
  ASSERT_TRUE(rig.Play(run.List()));

  std::vector<uint8_t> expected = PcmClipData(a);
  expected.resize(expected.size() + (4000 + 2400) * 2, 0);  // 500 ms and 300 ms at 8000 Hz mono
  const std::vector<uint8_t> second = PcmClipData(b);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_TRUE(IsStreamThenSilence(rig.Heard(), expected, 0));
  EXPECT_EQ(rig.Out->ExceptionMessage(), "");
  EXPECT_EQ(rig.ExceptionEvents.load(), 0);
  for (const auto& clip : run.Clips()) EXPECT_FALSE(clip->Busy.load()) << clip->FileName();
}

TEST(TestRunChain, ClipsWithoutSamplesAddNothingButTheirPauses) {
  TTempFolder folder;
  const TClipSpec a{TClipKind::PcmWav, 1, 8000, 0.3, 55};
  const TClipSpec b{TClipKind::PcmWav, 1, 8000, 0.2, 56};
  TFmtFields fmt;
  fmt.Channels = 1;
  fmt.SampleRate = 8000;
  const std::string empty1 = folder.File("ures1.wav");
  const std::string empty2 = folder.File("ures2.wav");
  WriteFileBytes(empty1, MakeWav(fmt, {}));
  WriteFileBytes(empty2, MakeWav(fmt, {}));
  const std::vector<TRunItem> items{{empty1, 0}, {WriteClip(folder, "a", a), 0}, {empty2, 100},
                                    {WriteClip(folder, "b", b), 0}};
  TTestRun run(items);
  TChainRig rig;
  ASSERT_TRUE(rig.Play(run.List()));

  std::vector<uint8_t> expected = PcmClipData(a);
  expected.resize(expected.size() + 800 * 2, 0);  // 100 ms at 8000 Hz mono
  const std::vector<uint8_t> second = PcmClipData(b);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_TRUE(IsStreamThenSilence(rig.Heard(), expected, 0));
  EXPECT_EQ(rig.Out->ExceptionMessage(), "");
}

TEST(TestRunChain, MissingFirstClipLeavesThePassFormatToTheNextClip) {
  TTempFolder folder;
  const TClipSpec b{TClipKind::PcmWav, 2, 44100, 0.6, 61};
  const TClipSpec c{TClipKind::PcmWav, 1, 22050, 0.4, 62};
  const std::vector<TRunItem> items{
      {folder.File("nincs.wav"), 0}, {WriteClip(folder, "b", b), 0}, {WriteClip(folder, "c", c), 0}};
  const TExpectedStream expected = ExpectedStream(items);
  ASSERT_EQ(expected.Format, (TPcmFormat{16, 2, 44100}));
  TTestRun run(items);
  TChainRig rig;
  ASSERT_TRUE(rig.Play(run.List()));
  EXPECT_EQ(rig.System->Stats().OutputFormat.SamplesPerSec, 44100u);
  const std::vector<uint8_t> heard = rig.Heard();
  const std::vector<uint8_t> first = PcmClipData(b);
  ASSERT_GE(heard.size(), first.size());
  EXPECT_TRUE(std::equal(first.begin(), first.end(), heard.begin()));
  EXPECT_TRUE(IsStreamThenSilence(heard, expected.Bytes(), 0));
}

TEST(TestRunChain, EmptyCompositionEndsThePassWithAnErrorAndNothingHeard) {
  TTestRun empty({});
  TChainRig rig;
  ASSERT_TRUE(rig.Play(empty.List()));
  EXPECT_EQ(rig.DoneEvents.load(), 1);
  EXPECT_EQ(rig.ExceptionEvents.load(), 1);
  EXPECT_EQ(rig.Out->ExceptionMessage().rfind("Nem nyitható meg a hangkimenet", 0), 0u)
      << rig.Out->ExceptionMessage();
  // The operator reads it as the output words it: already Hungarian.
  EXPECT_EQ(HungarianMessage(rig.Out->ExceptionMessage()), rig.Out->ExceptionMessage());
  EXPECT_TRUE(rig.Heard().empty());
  EXPECT_EQ(rig.Out->Status(), osIdle);
  EXPECT_FALSE(empty.List().Busy.load());
  EXPECT_EQ(rig.System->Stats().DevicesOpen, 0);

  // The output is ready for the next composition.
  TTempFolder folder;
  const TClipSpec a{TClipKind::PcmWav, 2, 44100, 0.3, 71};
  TTestRun next({{WriteClip(folder, "a", a), 0}});
  ASSERT_TRUE(rig.Play(next.List()));
  EXPECT_EQ(rig.Out->ExceptionMessage(), "");
  EXPECT_TRUE(IsStreamThenSilence(rig.Heard(), PcmClipData(a), 0));
  rig.Out->SetInput(nullptr);  // the run goes before the output
}

// A preview plays the reader the clip check left behind, run after run.
class ClipPreview : public ::testing::TestWithParam<TClipSpec> {};

TEST_P(ClipPreview, TheSameReaderPlaysTheWholeClipAgainOnEveryRun) {
  const TClipSpec spec = GetParam();
  TTempFolder folder;
  const std::string path = WriteClip(folder, "elozetes", spec);
  const TDecoded alone = DecodeAlone(path);
  ASSERT_TRUE(alone.Valid);
  TComponentPtr<TAuFileIn> reader = CreateClipReader(path);
  ASSERT_TRUE(reader->Valid());  // the clip check opens it first
  TChainRig rig;
  for (int pass = 1; pass <= 2; ++pass) {
    SCOPED_TRACE(pass);
    rig.System->ClearHeard();
    ASSERT_TRUE(rig.Play(*reader));
    EXPECT_EQ(rig.Out->ExceptionMessage(), "");
    EXPECT_TRUE(IsStreamThenSilence(rig.Heard(), alone.Pcm, alone.Format.SilenceByte()));
    EXPECT_FALSE(reader->Busy.load());
  }
  rig.Out->SetInput(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ClipPreview,
                         ::testing::Values(TClipSpec{TClipKind::PcmWav, 2, 44100, 2.5, 91},
                                           TClipSpec{TClipKind::ImaAdpcmWav, 1, 22050, 1.5, 92},
                                           TClipSpec{TClipKind::Mp3, 2, 44100, 2.5, 93}),
                         [](const ::testing::TestParamInfo<TClipSpec>& info) {
                           return std::string(ClipKindName(info.param.Kind));
                         });

// The worker is held at the start of its Nth sleep (N counted from the Run),
// which falls in the first clip, the silence or the second clip.
class TestRunInterrupted : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    a = {TClipKind::PcmWav, 2, 44100, 2.0, 81};
    b = {TClipKind::Mp3, 2, 44100, 2.0, 82};
    items = {{WriteClip(folder, "a", a), 2000}, {WriteClip(folder, "b", b), 0}};
    expected = ExpectedStream(items);
  }

  TTempFolder folder;
  TClipSpec a, b;
  std::vector<TRunItem> items;
  TExpectedStream expected;
};

TEST_P(TestRunInterrupted, StopWithoutWaitingEndsThePassQuietlyAndTheNextRunStartsAfresh) {
  auto first = std::make_unique<TTestRun>(items);
  auto second = std::make_unique<TTestRun>(items);
  TChainRig rig;
  rig.HoldAtSleep(GetParam());
  rig.Out->SetInput(&first->List());
  rig.Out->Run();
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Clock->WaitingSleepers() == 1; }));

  rig.Out->Stop(false);
  EXPECT_EQ(rig.Out->Status(), osIdle);
  EXPECT_FALSE(rig.Out->Busy());
  rig.Clock->Release();
  GuiHandoff::Instance().Pump();
  EXPECT_EQ(rig.DoneEvents.load(), 0);
  // What was heard is a beginning of the announcement, nothing else.
  const std::vector<uint8_t> stopped = rig.Heard();
  const std::vector<uint8_t> all = expected.Bytes();
  // The device played while the clock moved, and not to the end.
  EXPECT_EQ(stopped.empty(), rig.Clock->Now() == 0);
  ASSERT_LT(stopped.size(), all.size());
  EXPECT_TRUE(std::equal(stopped.begin(), stopped.end(), all.begin()));
  // Every input the pass started has been flushed.
  EXPECT_FALSE(first->List().Busy.load());
  EXPECT_EQ(first->List().CurrentIndex(), 0);
  for (const auto& clip : first->Clips()) EXPECT_FALSE(clip->Busy.load()) << clip->FileName();
  EXPECT_EQ(rig.System->Stats().DevicesOpen, 0);

  // The window builds the chain afresh for the next run.
  rig.System->ClearHeard();
  ASSERT_TRUE(rig.Play(second->List()));
  EXPECT_EQ(rig.DoneEvents.load(), 1);
  EXPECT_EQ(rig.Out->ExceptionMessage(), "");
  EXPECT_TRUE(IsStreamThenSilence(rig.Heard(), all, 0));
}

TEST_P(TestRunInterrupted, PauseAndResumeKeepTheAnnouncementGapless) {
  TTestRun run(items);
  TChainRig rig;
  rig.HoldAtSleep(GetParam());
  rig.Out->SetInput(&run.List());
  rig.Out->Run();
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Clock->WaitingSleepers() == 1; }));

  rig.Out->Pause();
  EXPECT_EQ(rig.Out->Status(), osPaused);
  const size_t heardBefore = rig.Heard().size();
  ASSERT_LT(heardBefore, expected.Bytes().size());
  // A pause far longer than the device buffer: nothing is heard meanwhile,
  // and the stopped time must not count as laps of the buffer afterwards.
  rig.Clock->AdvanceMs(20000);
  rig.Clock->Release();
  EXPECT_EQ(rig.Heard().size(), heardBefore);
  rig.Out->Resume();
  EXPECT_NE(rig.Out->Status(), osPaused);
  ASSERT_TRUE(rig.WaitDone(1));

  EXPECT_EQ(rig.Out->ExceptionMessage(), "");
  EXPECT_EQ(rig.Out->Underruns(), 0);
  EXPECT_TRUE(IsStreamThenSilence(rig.Heard(), expected.Bytes(), 0));
}

TEST_P(TestRunInterrupted, PreviewStartedDuringARunRetargetsTheOutputAndPlaysFromItsStart) {
  TTestRun run(items);
  const TClipSpec clipSpec{TClipKind::PcmWav, 1, 22050, 0.7, 83};
  TComponentPtr<TAuFileIn> preview = CreateClipReader(WriteClip(folder, "elozetes", clipSpec));
  TChainRig rig;
  rig.HoldAtSleep(GetParam());
  rig.Out->SetInput(&run.List());
  rig.Out->Run();
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Clock->WaitingSleepers() == 1; }));

  // Setting the input of a busy output stops the pass (no OnDone for it) and
  // starts a new one on the new input; the clock stays held meanwhile.
  rig.Out->SetInput(preview.get());
  EXPECT_EQ(rig.Out->Input(), preview.get());
  ASSERT_TRUE(rig.PumpUntil([&] { return rig.Clock->WaitingSleepers() == 1; }));
  const std::vector<uint8_t> beforePreview = rig.Heard();
  EXPECT_FALSE(run.List().Busy.load());
  rig.Clock->Release();
  ASSERT_TRUE(rig.WaitDone(1));
  EXPECT_EQ(rig.DoneEvents.load(), 1);
  EXPECT_EQ(rig.Out->ExceptionMessage(), "");

  const std::vector<uint8_t> all = expected.Bytes();
  ASSERT_LT(beforePreview.size(), all.size());
  EXPECT_TRUE(std::equal(beforePreview.begin(), beforePreview.end(), all.begin()));
  const std::vector<uint8_t> heard = rig.Heard();
  ASSERT_GE(heard.size(), beforePreview.size());
  EXPECT_TRUE(IsStreamThenSilence(std::vector<uint8_t>(heard.begin() + ptrdiff_t(beforePreview.size()), heard.end()),
                                  PcmClipData(clipSpec), 0));
  EXPECT_EQ(rig.System->Stats().OutputFormat.SamplesPerSec, 22050u);
  rig.Out->SetInput(nullptr);
}

// The announcement is 2 s of clip, 2 s of silence, 2 s of clip. At the start
// of sleep N the worker has read about 1.49 + 0.8 x (N - 1) seconds: sleep 1
// falls in the first clip, 3 in the pause, 6 in the second clip.
INSTANTIATE_TEST_SUITE_P(AtSleep, TestRunInterrupted, ::testing::Values(1, 3, 6));

// The one output set-up: no choice is never an error, even without any
// device; a choice is a number or a name, blanks aside; a refused choice
// leaves the default output.
TEST(OutputSetUp, TheDeviceChoiceIsResolvedOnceAndNoChoiceNeverFails) {
  TVirtualOptions none;
  none.DeviceCount = 0;
  TComponentPtr<TDXAudioOut> bare(new TDXAudioOut(nullptr, std::make_shared<TVirtualSoundSystem>(none)));
  EXPECT_TRUE(PlaybackSettings::SetUpOutput(*bare, " ").Found());
  EXPECT_EQ(PlaybackSettings::SetUpOutput(*bare, "1").Message, "Nem található hangkimenet ezen a gépen.");

  TComponentPtr<TDXAudioOut> out(new TDXAudioOut(nullptr, std::make_shared<TVirtualSoundSystem>()));
  const TDeviceChoice second = PlaybackSettings::SetUpOutput(*out, " 1 ");
  ASSERT_TRUE(second.Found()) << second.Message;
  EXPECT_EQ(out->DeviceNumber(), 1);
  EXPECT_EQ(out->PollingInterval(), PlaybackSettings::kPollingInterval);
  EXPECT_EQ(PlaybackSettings::SetUpOutput(*out, "USB").Result, TDeviceChoiceResult::NoSuchDevice);
  EXPECT_EQ(out->DeviceNumber(), PlaybackSettings::kDeviceNumber);
  EXPECT_EQ(PlaybackSettings::SetUpOutput(*out, "(alapértelmezett)").Number, 0);
  EXPECT_EQ(PlaybackSettings::DeviceChoice(std::string("2")), "2");
}

}  // namespace

namespace {

TEST(RunProgress, TimesReadAsMinutesAndSecondsAndNeverGoBackOrPastTheEnd) {
  TRunProgress run;
  run.Start(90.5);
  run.Update(30.2);
  EXPECT_EQ(run.ElapsedText() + run.RemainingText(), QStringLiteral("0:301:01"));  // 60.3 s left
  EXPECT_EQ(run.Percent(), 33);
  run.Update(0);  // the output between two passes
  EXPECT_DOUBLE_EQ(run.Elapsed(), 30.2);
  run.Update(95);  // the silence after the last clip
  EXPECT_EQ(run.RemainingText() + QString::number(run.Percent()), QStringLiteral("0:00100"));
  EXPECT_EQ(TRunProgress::MinSec(6000), QStringLiteral("100:00"));
}

}  // namespace
