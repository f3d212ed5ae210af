// The whole real sound path: two WAV clips joined by the input list, played
// by TDXAudioOut through PortAudio into ALSA's default device, which here is
// a private PulseAudio null sink (timed in real time) with a file tap in
// front. What the device was given must be the two clips, sample for sample,
// in order, with silence only before and after. Then the choice of a second
// sink, and the loss of its stream under a pass.
//
// Its own executable: the tap is found through HOME, which must be set before
// PortAudio initialises ALSA, and no other test should see it.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "audio/core/GuiHandoff.h"
#include "audio/core/TInputList.h"
#include "audio/decoders/TWaveIn.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/TPortAudioSystem.h"
#include "show/PlaybackSettings.h"
#include "support/PulseNullSink.h"
#include "support/WavBuilder.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr int kChannels = 2;
constexpr size_t kFrameBytes = 4;

// As the program's main() does, before any thread exists.
[[maybe_unused]] const bool kTracesFiltered = (FilterPortAudioTraces(), true);

// Test audio whose first and last frames are not silence, so the clips'
// edges can be found in the capture.
std::vector<int16_t> Clip(double seconds, uint32_t seed) {
  std::vector<int16_t> samples = TestSignal(size_t(seconds * kRate), kChannels, seed);
  for (size_t i : {size_t(0), size_t(1), samples.size() - 2, samples.size() - 1})
    if (samples[i] == 0) samples[i] = int16_t(1000 + seed);
  return samples;
}

size_t FirstNonSilentFrame(const std::vector<uint8_t>& bytes) {
  const auto it = std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; });
  return size_t(it - bytes.begin()) / kFrameBytes;
}

bool Contains(const std::vector<uint8_t>& heard, const TBytes& clip) {
  return std::search(heard.begin(), heard.end(), clip.begin(), clip.end()) != heard.end();
}

// One clip on a PortAudio output with the window's settings, its events
// counted; the sink must be up before the system is made.
struct TSoundPathRig {
  explicit TSoundPathRig(const TBytes& clip) : File(MakeWav(Fmt(), clip)) {
    Reader->SetFileName(File.Path());
    Out->SetFramesInBuffer(PlaybackSettings::kFramesInBuffer);
    Out->SetPollingInterval(PlaybackSettings::kPollingInterval);
    Out->OnDone = [this](TComponent*) { ++Done; };
    Out->OnDeviceNote = [this](TComponent*) { ++Notes; };
    Out->SetInput(Reader.get());
  }
  ~TSoundPathRig() { Out->SetInput(nullptr); }
  static TFmtFields Fmt() {
    TFmtFields fmt;
    fmt.Channels = kChannels;
    fmt.SampleRate = kRate;
    fmt.BitsPerSample = 16;
    return fmt;
  }
  bool Play() {
    const int before = Done.load();
    Out->Run();
    return WaitDone(before + 1);
  }
  bool WaitDone(int count) {
    return GuiHandoff::Instance().PumpUntil([&] { return Done.load() >= count; }, std::chrono::seconds(60));
  }

  TTempFile File;
  TComponentPtr<TWaveIn> Reader = MakeComponent<TWaveIn>();
  std::shared_ptr<TPortAudioSystem> System = std::make_shared<TPortAudioSystem>();
  TComponentPtr<TDXAudioOut> Out{new TDXAudioOut(nullptr, System)};
  std::atomic<int> Done{0};
  std::atomic<int> Notes{0};
};

TEST(AlsaSoundPath, TwoClipAnnouncementReachesTheDeviceWhole) {
  TPulseNullSink sink;
  ASSERT_TRUE(sink.Ready()) << sink.Error();

  // The join falls into a refill after the first block (the buffer holds
  // about 1.5 s), where the list moves from one file to the next.
  const TBytes first = Int16Bytes(Clip(2.0, 11));
  const TBytes second = Int16Bytes(Clip(1.0, 23));
  TFmtFields fmt;
  fmt.Channels = kChannels;
  fmt.SampleRate = kRate;
  fmt.BitsPerSample = 16;
  TTempFile firstFile(MakeWav(fmt, first));
  TTempFile secondFile(MakeWav(fmt, second));

  auto system = std::make_shared<TPortAudioSystem>();
  ASSERT_TRUE(system->Initialised());
  std::unique_ptr<TSoundDevice> probe;
  ASSERT_EQ(system->CreateDevice(TDeviceId{}, probe), srOk) << "PortAudio finds no default output";
  probe.reset();

  auto a = MakeComponent<TWaveIn>();
  auto b = MakeComponent<TWaveIn>();
  a->SetFileName(firstFile.Path());
  b->SetFileName(secondFile.Path());
  ASSERT_TRUE(a->Valid());
  ASSERT_TRUE(b->Valid());
  auto list = MakeComponent<TInputList>();
  list->InputItems().Add(a.get());
  list->InputItems().Add(b.get());

  // The window's playback settings.
  TComponentPtr<TDXAudioOut> out(new TDXAudioOut(nullptr, system));
  out->SetDeviceNumber(PlaybackSettings::kDeviceNumber);
  out->SetFramesInBuffer(PlaybackSettings::kFramesInBuffer);
  out->SetPollingInterval(PlaybackSettings::kPollingInterval);
  std::atomic<bool> done{false};
  std::atomic<int> underruns{0};
  out->OnDone = [&](TComponent*) { done = true; };
  out->OnUnderrun = [&](TComponent*) { ++underruns; };
  out->SetInput(list.get());
  out->Run();
  ASSERT_TRUE(GuiHandoff::Instance().PumpUntil([&] { return done.load(); }, std::chrono::seconds(60)));
  EXPECT_EQ(out->ExceptionMessage(), "");
  EXPECT_EQ(underruns.load(), 0) << "an underrun puts silence into the announcement";
  // Closing the stream closes the tap's file.
  out->SetInput(nullptr);
  out.reset();
  list->InputItems().Clear();

  const std::vector<uint8_t> heard = sink.Captured();
  ASSERT_FALSE(heard.empty()) << "the device received nothing; server log:\n" << sink.ServerLog();
  ASSERT_EQ(heard.size() % kFrameBytes, 0u);
  TBytes expected = first;
  expected.insert(expected.end(), second.begin(), second.end());

  const size_t start = FirstNonSilentFrame(heard) * kFrameBytes;
  ASSERT_GE(heard.size(), start + expected.size()) << "the device received less than both clips";
  const auto mismatch = std::mismatch(expected.begin(), expected.end(), heard.begin() + ptrdiff_t(start));
  if (mismatch.first != expected.end()) {
    const size_t frame = size_t(mismatch.first - expected.begin()) / kFrameBytes;
    FAIL() << "first wrong frame " << frame << " of " << expected.size() / kFrameBytes << " (the join is at frame "
           << first.size() / kFrameBytes << ")";
  }
  const size_t end = start + expected.size();
  const size_t trailingNoise =
      size_t(std::count_if(heard.begin() + ptrdiff_t(end), heard.end(), [](uint8_t v) { return v != 0; }));
  EXPECT_EQ(trailingNoise, 0u) << "something other than silence follows the second clip";
}

TEST(AlsaSoundPath, TheChosenSinkPlaysTheAnnouncementAndTheOtherHearsNothing) {
  TPulseNullSink sink;
  ASSERT_TRUE(sink.Ready()) << sink.Error();
  const TBytes clip = Int16Bytes(Clip(1.0, 31));
  TSoundPathRig rig(clip);
  const TDeviceChoice choice = rig.Out->ChooseDevice(TPulseNullSink::AlsaDevice(1));
  ASSERT_TRUE(choice.Found()) << choice.Message;
  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.Out->ExceptionMessage(), "");
  EXPECT_EQ(rig.Out->PlayingDeviceName(), TPulseNullSink::AlsaDevice(1));
  EXPECT_EQ(rig.Notes.load(), 0);
  EXPECT_TRUE(Contains(sink.Captured(1), clip)) << "the chosen sink did not get the clip";
  const std::vector<uint8_t> other = sink.Captured(0);
  EXPECT_EQ(std::count(other.begin(), other.end(), 0), ptrdiff_t(other.size())) << "the default sink played too";
}

// The chosen sink's stream ends under a pass: killed by the server, or gone
// with its sink.
class AlsaSoundPathLoss : public ::testing::TestWithParam<bool> {};

TEST_P(AlsaSoundPathLoss, APassWhoseStreamEndsStopsWithinAPollAndTheNextPlaysWhereItCan) {
  const bool unloadSink = GetParam();
  TPulseNullSink sink;
  ASSERT_TRUE(sink.Ready()) << sink.Error();
  const TBytes clip = Int16Bytes(Clip(3.0, 41));
  TSoundPathRig rig(clip);
  ASSERT_TRUE(rig.Out->ChooseDevice(TPulseNullSink::AlsaDevice(1)).Found());
  rig.Out->Run();
  // Well inside the clip: half a second has gone to the sink.
  ASSERT_TRUE(GuiHandoff::Instance().PumpUntil(
      [&] { return sink.Captured(1).size() >= kRate * kFrameBytes / 2; }, std::chrono::seconds(30)))
      << sink.ServerLog();
  ASSERT_EQ(sink.StreamsOn(1), 1);
  const int64_t pollsBefore = rig.Out->MeasuredPolls();
  ::testing::internal::CaptureStderr();
  if (unloadSink)
    ASSERT_TRUE(sink.UnloadSink(1));
  else
    ASSERT_EQ(sink.KillStreams(1), 1);
  ASSERT_TRUE(rig.WaitDone(1));
  // PortAudio's own lines about the failure do not reach the operator.
  EXPECT_EQ(::testing::internal::GetCapturedStderr().find("Expression '"), std::string::npos);
  EXPECT_EQ(rig.Out->ExceptionMessage(),
            "Megszakadt a lejátszás a hangkimeneten („vomrella_second”): a hangeszköz vagy a hangszerver leállította "
            "a lejátszást.");
  // The poll under way may come before the news has reached PortAudio; the
  // one after it may not miss it.
  EXPECT_LE(rig.Out->MeasuredPolls() - pollsBefore, 2);

  ASSERT_TRUE(rig.Play());
  EXPECT_EQ(rig.Out->ExceptionMessage(), "");
  EXPECT_EQ(rig.Out->DeviceNumber(), rig.Out->ChooseDevice(TPulseNullSink::AlsaDevice(1)).Number);
  if (!unloadSink) {
    // Opened again: the same sink plays the whole clip.
    EXPECT_EQ(rig.Out->PlayingDeviceName(), TPulseNullSink::AlsaDevice(1));
    EXPECT_EQ(rig.Notes.load(), 0);
    EXPECT_TRUE(Contains(sink.Captured(1), clip));
    return;
  }
  // The sink is gone: the default output plays it, and the note says why.
  EXPECT_EQ(rig.Out->PlayingDeviceNumber(), 0);
  EXPECT_EQ(rig.Notes.load(), 1);
  EXPECT_EQ(rig.Out->DeviceNote().rfind("A választott hangkimenet („vomrella_second”) nem nyitható meg: ", 0), 0u)
      << rig.Out->DeviceNote();
  EXPECT_TRUE(Contains(sink.Captured(0), clip));
}

INSTANTIATE_TEST_SUITE_P(Ways, AlsaSoundPathLoss, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "SinkUnloaded" : "StreamKilled");
                         });

}  // namespace
