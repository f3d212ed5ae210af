#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "audio/core/EAuException.h"
#include "audio/core/TStream.h"
#include "audio/decoders/ClipReader.h"
#include "audio/decoders/MediaTestFiles.h"
#include "audio/decoders/TMP3In.h"
#include "support/Mp3Encoder.h"
#include "support/WavBuilder.h"

namespace {

const TMediaTestFiles& Files() { return TMediaTestFiles::Get(); }

TComponentPtr<TMP3In> Reader(const std::string& path) {
  auto r = MakeComponent<TMP3In>();
  r->SetFileName(path);
  return r;
}

int OpenDescriptors() {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)e;
    ++n;
  }
  return n;
}

int16_t Sample16(const std::vector<uint8_t>& pcm, size_t i) { return int16_t(pcm[2 * i] | pcm[2 * i + 1] << 8); }

double Rms16(const std::vector<uint8_t>& pcm, size_t from, size_t count) {
  double sum = 0;
  for (size_t i = from; i < from + count; ++i) sum += double(Sample16(pcm, i)) * Sample16(pcm, i);
  return std::sqrt(sum / double(count));
}

}  // namespace

TEST(Mp3In, MeasuresLengthFromTheDurationRoundedToHundredths) {
  // 5 444 410 frames at 44100 Hz last 123.45601 s: "Duration" 1 234 560 091,
  // 12 346 hundredths, 5 444 586 samples, 123 whole seconds.
  std::vector<int16_t> samples(5444410, 0);
  TFmtFields fmt;
  fmt.Channels = 1;
  fmt.SampleRate = 44100;
  TTempFile file(MakeWav(fmt, Int16Bytes(samples)));
  auto r = Reader(file.Path());
  ASSERT_TRUE(r->Valid());
  EXPECT_EQ(r->DurationCs(), 12346u);
  EXPECT_EQ(r->TotalSamples(), 5444586);
  EXPECT_EQ(r->Size.load(), 5444586 * 2);
  EXPECT_EQ(r->TotalTime(), 123);
}

TEST(Mp3In, DeliversAMono22050HzFileAsOneChannelAt22050Hz) {
  auto r = Reader(Files().MonoMp3);
  ASSERT_TRUE(r->Valid());
  EXPECT_EQ(r->Channels(), 1u);
  EXPECT_EQ(r->SampleRate(), 22050u);
  EXPECT_EQ(r->BitsPerSample(), 16u);
  EXPECT_EQ(r->TotalTime(), 1);
  auto pcm = ReadWholeRun(*r, 4096);
  EXPECT_NEAR(double(pcm.size()) / 2, 22050.0, 1200.0);
  EXPECT_GT(Rms16(pcm, 2000, 10000), 8000.0);  // the tone is there, at its level
}

TEST(Mp3In, PlaysMonoFramesOfAStereoFileAtFullLevelOnBothSides) {
  auto r = Reader(Files().StereoThenMonoMp3);
  ASSERT_TRUE(r->Valid());
  ASSERT_EQ(r->Channels(), 2u);
  auto pcm = ReadWholeRun(*r, 65536);
  const size_t frames = pcm.size() / 4;
  ASSERT_GT(frames, 40000u);
  // In the mono half both channels carry the same samples, at the level of
  // the mono recording (0.5 of full scale: RMS about 11585), not 3 dB lower.
  double sum = 0;
  size_t count = 0, differing = 0;
  for (size_t i = frames - 15000; i < frames - 3000; ++i) {
    int16_t left = Sample16(pcm, 2 * i), right = Sample16(pcm, 2 * i + 1);
    if (left != right) ++differing;
    sum += double(left) * left;
    ++count;
  }
  EXPECT_EQ(differing, 0u);
  EXPECT_NEAR(std::sqrt(sum / double(count)), 11585.0, 600.0);
}

TEST(Mp3In, ChannelRequestsAndHighPrecisionFollowEachOther) {
  auto r = Reader(Files().StereoMp3);
  ASSERT_TRUE(r->Valid());
  EXPECT_EQ(r->BitsPerSample(), 16u);
  EXPECT_FALSE(r->HighPrecision());

  r->SetHighPrecision(true);  // reopens: the richer format is chosen at once
  EXPECT_EQ(r->BitsPerSample(), 32u);

  r->SetOutputChannels(cn5dot1);  // a stereo file has no 6-channel format
  EXPECT_TRUE(r->HighPrecision());
  EXPECT_FALSE(r->Valid());
  EXPECT_EQ(r->TotalTime(), 0);
  EXPECT_EQ(r->Size.load(), 0);

  r->SetOutputChannels(cnMaxAvailable);
  EXPECT_TRUE(r->HighPrecision());
  r->SetHighPrecision(false);  // ignored while the request is not mono-or-stereo
  EXPECT_TRUE(r->HighPrecision());
  ASSERT_TRUE(r->Valid());
  EXPECT_EQ(r->Channels(), 2u);
  EXPECT_EQ(r->BitsPerSample(), 32u);

  r->SetOutputChannels(cnMonoOrStereo);
  EXPECT_TRUE(r->HighPrecision());
  r->SetHighPrecision(false);
  EXPECT_FALSE(r->HighPrecision());
  EXPECT_EQ(r->BitsPerSample(), 16u);
}

TEST(Mp3In, IgnoresFormatSettingsDuringARun) {
  auto r = Reader(Files().StereoMp3);
  r->Init();
  ASSERT_TRUE(r->Busy.load());
  r->SetHighPrecision(true);
  r->SetOutputChannels(cn7dot1);
  EXPECT_FALSE(r->HighPrecision());
  EXPECT_EQ(r->OutputChannels(), cnMonoOrStereo);
  EXPECT_EQ(r->BitsPerSample(), 16u);
  r->Flush();
}

namespace {
// Lets a test hold the open lock the way an opening or pulling thread does.
class TLockableMp3In : public TMP3In {
 public:
  std::recursive_mutex& Lock() { return OpenLock; }
};
}  // namespace

TEST(Mp3In, AFormatSettingRacingTheStartOfARunNeitherChangesNorRestartsIt) {
  // The GUI thread changes HighPrecision just as the worker starts a run on
  // the same input. Whichever comes first, the run must deliver one format
  // from its start: the setting takes effect before the run opens the file,
  // or it is ignored because a run is on.
  const std::vector<uint8_t> reference = ReadWholeRun(*Reader(Files().StereoMp3), 65536);
  auto r = MakeComponent<TLockableMp3In>();
  r->SetFileName(Files().StereoMp3);
  ASSERT_TRUE(r->Valid());
  std::vector<uint8_t> pcm;
  {
    // The worker is inside an open (locks taken in the pipeline's order).
    std::unique_lock<std::recursive_mutex> pulls(r->DataLock);
    std::unique_lock<std::recursive_mutex> worker(r->Lock());
    std::thread gui([&] { r->SetHighPrecision(true); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the setter reach the lock
    r->Init();
    const uint8_t* data = nullptr;
    uint32_t bytes = 20000;
    r->GetData(data, bytes);
    pcm.assign(data, data + bytes);
    worker.unlock();
    pulls.unlock();
    gui.join();
  }
  for (;;) {
    const uint8_t* data = nullptr;
    uint32_t bytes = 65536;
    r->GetData(data, bytes);
    if (bytes == 0) break;
    pcm.insert(pcm.end(), data, data + bytes);
  }
  r->Flush();
  EXPECT_FALSE(r->HighPrecision());
  EXPECT_EQ(pcm.size(), reference.size());
  EXPECT_TRUE(pcm == reference);
}

struct DecodeCase {
  const char* Name;
  std::string TMediaTestFiles::*File;
  bool HighPrecision;
};

class Mp3InDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Mp3InDecoding, DeliversWhatADirectLibavcodecDecodeGivesInWholeAndTinyBlocks) {
  const std::string& path = Files().*GetParam().File;
  auto r = Reader(path);
  r->SetHighPrecision(GetParam().HighPrecision);
  ASSERT_TRUE(r->Valid());
  const int bits = int(r->BitsPerSample());
  TReferenceDecode ref = DecodeWithLibav(path, bits);
  ASSERT_TRUE(ref.Ok);
  EXPECT_EQ(int(r->Channels()), ref.Channels);
  EXPECT_EQ(int(r->SampleRate()), ref.SampleRate);

  // Everything the decoder gives, cut at Size when the container's duration
  // is shorter than the decoded audio.
  const int64_t size = r->Size.load();
  std::vector<uint8_t> expected = ref.Pcm;
  if (size > 0 && int64_t(expected.size()) > size) expected.resize(size_t(size));

  for (uint32_t block : {1u << 20, 4096u, 7u, 1u}) {
    auto got = ReadWholeRun(*r, block);
    ASSERT_EQ(got.size(), expected.size()) << "block " << block;
    EXPECT_TRUE(got == expected) << "block " << block;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Mp3InDecoding,
    ::testing::Values(DecodeCase{"StereoMp3", &TMediaTestFiles::StereoMp3, false},
                      DecodeCase{"StereoMp3At32Bits", &TMediaTestFiles::StereoMp3, true},
                      DecodeCase{"MonoMp3", &TMediaTestFiles::MonoMp3, false},
                      DecodeCase{"TruncatedMp3", &TMediaTestFiles::TruncatedMp3, false},
                      DecodeCase{"PcmWav", &TMediaTestFiles::RampWav, false},
                      DecodeCase{"SurroundWav", &TMediaTestFiles::Surround51Wav, false}),
    [](const auto& info) { return std::string(info.param.Name); });

namespace {

// Removes the Xing/Info frame an encoder puts first in an MP3 (after its
// ID3v2 tag); false when the file does not start with one.
bool StripXingFrame(std::vector<uint8_t>& mp3) {
  size_t at = 0;
  if (mp3.size() > 10 && mp3[0] == 'I' && mp3[1] == 'D' && mp3[2] == '3')
    at = 10 + (size_t(mp3[6]) << 21 | size_t(mp3[7]) << 14 | size_t(mp3[8]) << 7 | mp3[9]);
  if (at + 4 > mp3.size() || mp3[at] != 0xFF || (mp3[at + 1] & 0xFE) != 0xFA) return false;  // MPEG-1 layer III
  static const int kKbps[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static const int kRate[4] = {44100, 48000, 32000, 0};
  const int kbps = kKbps[mp3[at + 2] >> 4], rate = kRate[(mp3[at + 2] >> 2) & 3];
  if (kbps == 0 || rate == 0) return false;
  const size_t length = size_t(144000 * kbps / rate + ((mp3[at + 2] >> 1) & 1));
  if (at + length > mp3.size()) return false;
  const std::string frame(mp3.begin() + long(at), mp3.begin() + long(at + length));
  if (frame.find("Xing") == std::string::npos && frame.find("Info") == std::string::npos) return false;
  mp3.erase(mp3.begin() + long(at), mp3.begin() + long(at + length));
  return true;
}

}  // namespace

TEST(Mp3In, MeasuresAVariableBitRateFileWithoutAXingFrameByItsFrames) {
  if (!avcodec_find_encoder_by_name("libmp3lame")) GTEST_SKIP() << "libavcodec has no libmp3lame encoder";
  // 1 s at 320 kbps, then 9 s at 32 kbps, and no header frame that gives the
  // length: the first frames' bit rate makes the file look 2 s long.
  char folder[] = "/tmp/vomrella-vbr-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string loudPath = std::string(folder) + "/loud.mp3", quietPath = std::string(folder) + "/quiet.mp3";
  TEncodeRequest loud;
  loud.BitRate = 320000;
  ASSERT_TRUE(EncodeAudioFile(loudPath, ToneSignal(2, 44100, 1.0), loud));
  TEncodeRequest quiet;
  quiet.BitRate = 32000;
  quiet.MuxerOptions = {{"write_xing", "0"}, {"id3v2_version", "0"}};
  ASSERT_TRUE(EncodeAudioFile(quietPath, ToneSignal(2, 44100, 9.0, 440.0, 0.1), quiet));
  std::vector<uint8_t> bytes = TMediaTestFiles::ReadBytes(loudPath);
  ASSERT_TRUE(StripXingFrame(bytes));
  const auto tail = TMediaTestFiles::ReadBytes(quietPath);
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  std::filesystem::remove_all(folder);
  TTempFile file(bytes, ".mp3");

  TReferenceDecode ref = DecodeWithLibav(file.Path(), 16);
  ASSERT_TRUE(ref.Ok);
  const int64_t frames = int64_t(ref.Pcm.size() / 4);
  ASSERT_GT(frames, 44100 * 9);

  auto r = Reader(file.Path());
  ASSERT_TRUE(r->Valid());
  EXPECT_EQ(r->TotalTime(), std::lround(double(frames) / 44100));
  EXPECT_NEAR(double(r->TotalSamples()), double(frames), 441.0);  // the length in hundredths
  auto pcm = ReadWholeRun(*r, 65536);
  EXPECT_NEAR(double(pcm.size() / 4), double(frames), 441.0);
  const size_t common = std::min(pcm.size(), ref.Pcm.size());
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + long(common), ref.Pcm.begin()));  // from the first frame on

  // Seeking still lands where the decoder has that sample.
  r->Init();
  ASSERT_TRUE(r->Seek(5 * 44100));
  const uint8_t* data = nullptr;
  uint32_t got = 4096;
  r->GetData(data, got);
  ASSERT_GT(got, 8u);
  int worst = 0;
  for (size_t i = 0; i < got / 2; ++i)
    worst = std::max(worst, std::abs(int(int16_t(data[2 * i] | data[2 * i + 1] << 8)) -
                                     Sample16(ref.Pcm, size_t(5 * 44100) * 2 + i)));
  EXPECT_LE(worst, 64);
  r->Flush();
}

// The first 5000 bytes of a 4 s MP3 keep its Xing frame, which claims 4 s.
TEST(Mp3In, MeasuresAFileCutShortAfterItsHeaderByWhatItHoldsAndKeepsTheClaim) {
  char folder[] = "/tmp/vomrella-cut-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string whole = std::string(folder) + "/whole.mp3";
  ASSERT_TRUE(EncodeMp3File(whole, ToneSignal(2, 44100, 4.0), 2, 44100));
  std::vector<uint8_t> bytes = TMediaTestFiles::ReadBytes(whole);
  std::filesystem::remove_all(folder);
  TMemoryStream stream(bytes);  // outlives the reader, which rewinds it at close
  auto complete = MakeComponent<TMP3In>();
  complete->SetStream(&stream);
  ASSERT_TRUE(complete->Valid());
  EXPECT_EQ(complete->TotalTime(), 4);
  EXPECT_FALSE(complete->ShorterThanHeader());
  EXPECT_EQ(complete->HeaderDurationCs(), 0u);

  bytes.resize(5000);
  TTempFile cut(bytes, ".mp3");
  auto r = Reader(cut.Path());
  ASSERT_TRUE(r->Valid());
  EXPECT_TRUE(r->ShorterThanHeader());
  EXPECT_NEAR(double(r->HeaderDurationCs()), 400.0, 5.0);
  EXPECT_LT(r->DurationCs(), 40u);
  EXPECT_EQ(r->TotalTime(), 0);
  const auto pcm = ReadWholeRun(*r, 65536);
  EXPECT_NEAR(double(pcm.size() / 4), double(r->TotalSamples()), 1152.0);
}

// The length a walk through the packets found is kept by the file's identity:
// a file changed since then is walked again.
TEST(Mp3In, CountsAFileWithoutALengthHeaderAgainOnceItHasChanged) {
  if (!avcodec_find_encoder_by_name("libmp3lame")) GTEST_SKIP() << "libavcodec has no libmp3lame encoder";
  char folder[] = "/tmp/vomrella-vbr-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  auto encode = [&](const char* name, int64_t bitRate, double seconds) {
    TEncodeRequest request;
    request.BitRate = bitRate;
    request.MuxerOptions = {{"write_xing", "0"}, {"id3v2_version", "0"}};
    const std::string path = std::string(folder) + "/" + name;
    EXPECT_TRUE(EncodeAudioFile(path, ToneSignal(2, 44100, seconds), request));
    return TMediaTestFiles::ReadBytes(path);
  };
  const auto loud = encode("loud.mp3", 320000, 1.0);
  const auto quiet = encode("quiet.mp3", 32000, 4.0);
  // Constant bit rate without a header: the size over the bit rate is the length.
  const auto steady = encode("steady.mp3", 128000, 3.0);
  std::filesystem::remove_all(folder);
  TTempFile cbr(steady, ".mp3");
  auto c = Reader(cbr.Path());
  ASSERT_TRUE(c->Valid());
  EXPECT_NEAR(double(c->TotalSamples()), 3.0 * 44100, 2 * 1152.0);

  std::vector<uint8_t> bytes = loud;
  bytes.insert(bytes.end(), quiet.begin(), quiet.end());
  TTempFile file(bytes, ".mp3");
  auto r = Reader(file.Path());
  ASSERT_TRUE(r->Valid());
  EXPECT_EQ(r->TotalTime(), 5);
  r->CloseFile();
  // The same name, one more second of quiet frames.
  bytes.insert(bytes.end(), quiet.begin(), quiet.end());
  std::ofstream(file.Path(), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  ASSERT_TRUE(r->Valid());
  EXPECT_EQ(r->TotalTime(), 9);
}

// FFmpeg's own lines about damaged frames ("[mp3float @ 0x...] Header
// missing") are not the program's to print.
TEST(Mp3In, DamagedFramesLeaveNoFfmpegLinesOnStandardError) {
  av_log_set_level(AV_LOG_INFO);  // as a program that never touched it
  std::vector<uint8_t> bytes = TMediaTestFiles::ReadBytes(Files().StereoMp3);
  for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 3000; i += 7) bytes[i] ^= 0x5A;
  TTempFile damaged(bytes, ".mp3");
  testing::internal::CaptureStderr();
  auto r = Reader(damaged.Path());
  const bool valid = r->Valid();
  const auto pcm = ReadWholeRun(*r, 65536);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(valid);
  EXPECT_FALSE(pcm.empty());
  EXPECT_EQ(printed, "");
}

TEST(Mp3In, AShortPullTakesOnlyFromTheCurrentDecodedSample) {
  auto r = Reader(Files().StereoMp3);
  r->Init();
  const uint8_t* data = nullptr;
  uint32_t first = 1 << 20;
  r->GetData(data, first);
  r->Flush();
  ASSERT_GT(first, 0u);
  ASSERT_LT(first, 1u << 20);

  r->Init();
  uint32_t a = 6;
  r->GetData(data, a);
  EXPECT_EQ(a, 6u);
  uint32_t b = 1 << 20;
  r->GetData(data, b);
  EXPECT_EQ(b, first - 6);  // the rest of that sample, not more
  uint32_t c = 1 << 20;
  r->GetData(data, c);
  EXPECT_GT(c, 0u);  // the next pull fetches a new sample
  EXPECT_EQ(r->Position.load(), int64_t(first + c));
  r->Flush();
}

TEST(Mp3In, CutsTheLastPullToEndExactlyAtSize) {
  // 44276 frames last 1.004 s: 100 hundredths, so Size is 44100 frames and
  // the decoded audio runs on past it.
  auto r = Reader(Files().OddLengthWav);
  ASSERT_TRUE(r->Valid());
  ASSERT_EQ(r->Size.load(), 44100 * 2);
  r->Init();
  std::vector<uint8_t> pcm;
  for (;;) {
    const uint8_t* data = nullptr;
    uint32_t bytes = 3000;
    r->GetData(data, bytes);
    if (bytes == 0) break;
    pcm.insert(pcm.end(), data, data + bytes);
    EXPECT_LE(r->Position.load(), 44100 * 2);
  }
  ASSERT_EQ(pcm.size(), 44100u * 2);
  EXPECT_EQ(Sample16(pcm, 44099), 14099);  // the last frame before Size
  EXPECT_EQ(r->Position.load(), 44100 * 2);
  r->Flush();
}

TEST(Mp3In, SeeksDuringARunToTheSampleOfTheRequestedTime) {
  auto r = Reader(Files().RampWav);
  r->Init();
  const uint8_t* data = nullptr;
  uint32_t bytes = 100;
  r->GetData(data, bytes);
  ASSERT_TRUE(r->Seek(22050));  // 0.5 s
  EXPECT_EQ(r->Position.load(), 22050 * 2);
  bytes = 2;
  r->GetData(data, bytes);
  ASSERT_EQ(bytes, 2u);
  EXPECT_EQ(int16_t(data[0] | data[1] << 8), 22050);
  // A sample between two hundredths lands on the nearest hundredth.
  ASSERT_TRUE(r->Seek(1000));  // 2.27 cs -> 2 cs = sample 882
  EXPECT_EQ(r->Position.load(), 882 * 2);
  bytes = 2;
  r->GetData(data, bytes);
  EXPECT_EQ(int16_t(data[0] | data[1] << 8), 882);
  EXPECT_FALSE(r->Seek(10000000));  // beyond the end
  r->Flush();
}

TEST(Mp3In, SeeksInAnMp3ToWhatTheDecoderGivesAtThatTime) {
  const std::string& path = Files().HalfSilentMp3;
  TReferenceDecode ref = DecodeWithLibav(path, 16);
  ASSERT_TRUE(ref.Ok);
  auto r = Reader(path);
  r->Init();
  const uint8_t* data = nullptr;
  uint32_t bytes = 100;
  r->GetData(data, bytes);
  // Into the silent second half, back into the tone, and into the tone from
  // the silence: each time the audio is the decoder's at that sample (the
  // frames before it are decoded first, so the first one is whole).
  for (int64_t sample : {66150, 22050, 30870}) {
    ASSERT_TRUE(r->Seek(sample));
    std::vector<uint8_t> pcm;
    while (pcm.size() < 16000) {
      bytes = 4096;
      r->GetData(data, bytes);
      ASSERT_GT(bytes, 0u);
      pcm.insert(pcm.end(), data, data + bytes);
    }
    int worst = 0;
    for (size_t i = 0; i < 8000; ++i)
      worst = std::max(worst, std::abs(Sample16(pcm, i) - Sample16(ref.Pcm, size_t(sample) * 2 + i)));
    EXPECT_LE(worst, 64) << "at sample " << sample;
  }
  r->Flush();
}

TEST(Mp3In, PlaysASampleRangeAndForgetsItAfterTheRun) {
  auto r = Reader(Files().RampWav);
  r->StartSample = 4410;  // exactly 10 hundredths
  r->EndSample = 5409;
  auto pcm = ReadWholeRun(*r, 512);
  ASSERT_EQ(pcm.size(), 1000u * 2);
  EXPECT_EQ(Sample16(pcm, 0), 4410);
  EXPECT_EQ(Sample16(pcm, 999), 5409);
  EXPECT_EQ(r->StartSample, 0);
  EXPECT_EQ(r->EndSample, -1);
  EXPECT_EQ(ReadWholeRun(*r, 1 << 16).size(), 88200u * 2);
}

TEST(Mp3In, LoopsBackToTheStartWhenLoopIsOn) {
  auto r = Reader(Files().OddLengthWav);
  r->Loop = true;
  r->Init();
  int64_t total = 0;
  std::vector<uint8_t> afterLoop;
  while (total < 44100 * 2 + 4000) {
    const uint8_t* data = nullptr;
    uint32_t bytes = 4000;
    r->GetData(data, bytes);
    ASSERT_GT(bytes, 0u);
    total += bytes;
    if (total > 44100 * 2) afterLoop.assign(data, data + bytes);
  }
  ASSERT_GE(afterLoop.size(), 2u);
  EXPECT_EQ(Sample16(afterLoop, 0), 0);
  r->Flush();
}

TEST(Mp3In, FillsTheId3v2TagsFromTheFileAttributes) {
  auto r = Reader(Files().StereoMp3);
  ASSERT_TRUE(r->Valid());
  TId3v2Tags& tags = r->Id3v2Tags();
  EXPECT_EQ(tags.Artist(), L"\u00c1rv\u00edzt\u0171r\u0151");
  EXPECT_EQ(tags.Title(), L"Bemond\u00e1s");
  EXPECT_EQ(tags.Album(), L"Album");
  EXPECT_EQ(tags.Genre(), L"Speech");
  EXPECT_EQ(tags.Track(), "7");
  EXPECT_TRUE(std::holds_alternative<std::string>(tags.GetTag("TRCK")));
  EXPECT_EQ(tags.Year(), "2024");
  EXPECT_EQ(tags.Comment(), L"(c) MAV");
  // Another file replaces them all.
  r->SetFileName(Files().MonoMp3);
  ASSERT_TRUE(r->Valid());
  EXPECT_EQ(r->Id3v2Tags().Artist(), L"");
}

TEST(Mp3In, ReportsAFileAtARateThePipelineDoesNotPlayAsNotValid) {
  for (const uint32_t rate : {17u, 500000u, 100000000u}) {
    TFmtFields fmt;
    fmt.Channels = 1;
    fmt.SampleRate = rate;
    TTempFile file(MakeWav(fmt, TBytes(8192, 0)), ".snd");  // read by libavformat
    auto r = Reader(file.Path());
    EXPECT_FALSE(r->Valid()) << rate;
    EXPECT_EQ(r->TotalTime(), 0) << rate;
  }
  TFmtFields fmt;
  fmt.Channels = 1;
  fmt.SampleRate = 8000;
  TTempFile file(MakeWav(fmt, TBytes(16000, 0)), ".snd");
  auto r = Reader(file.Path());
  EXPECT_TRUE(r->Valid());
  EXPECT_EQ(r->TotalTime(), 1);
}

TEST(Mp3In, ReportsUnreadableFilesAsNotValidAndKeepsNoFileOpen) {
  const int before = OpenDescriptors();
  for (const std::string* path : {&Files().EmptyFile, &Files().GarbageFile, &Files().SubtitleFile}) {
    auto r = Reader(*path);
    EXPECT_FALSE(r->Valid()) << *path;
    EXPECT_EQ(r->TotalTime(), 0) << *path;
    EXPECT_FALSE(r->Valid()) << *path;
    EXPECT_EQ(OpenDescriptors(), before) << *path;
    // A run on it ends at once without data.
    EXPECT_TRUE(ReadWholeRun(*r, 4096).empty()) << *path;
  }
  auto missing = Reader(Files().NoSuchFile);
  EXPECT_FALSE(missing->Valid());
  EXPECT_THROW(missing->TotalTime(), EAuException);
  auto unnamed = MakeComponent<TMP3In>();
  EXPECT_FALSE(unnamed->Valid());
  try {
    unnamed->OpenFile();
    ADD_FAILURE() << "no exception";
  } catch (const EAuException& e) {
    EXPECT_STREQ(e.what(), "File name is not assigned");
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(Mp3In, ReadsAtMostTheAudioOfAFileWhoseTagClaimsMoreThanTheFileHolds) {
  auto r = Reader(Files().OversizedTagMp3);
  const bool valid = r->Valid();
  const auto pcm = ReadWholeRun(*r, 4096);
  if (!valid) {
    EXPECT_TRUE(pcm.empty());
    return;
  }
  EXPECT_LE(pcm.size(), size_t(88200 * 4 + 8192));
}

TEST(Mp3In, KeepsAValidFileOpenUntilClosedAndReadsACallersStream) {
  const int before = OpenDescriptors();
  auto r = Reader(Files().StereoMp3);
  ASSERT_TRUE(r->Valid());
  EXPECT_EQ(OpenDescriptors(), before + 1);
  EXPECT_EQ(r->TotalTime(), 2);
  r->CloseFile();
  EXPECT_EQ(OpenDescriptors(), before);

  TMemoryStream stream(TMediaTestFiles::ReadBytes(Files().StereoMp3));
  auto s = MakeComponent<TMP3In>();
  s->SetStream(&stream);
  ASSERT_TRUE(s->Valid());
  EXPECT_EQ(s->Channels(), 2u);
  auto viaStream = ReadWholeRun(*s, 65536);
  auto viaFile = ReadWholeRun(*r, 65536);
  EXPECT_TRUE(viaStream == viaFile);
  EXPECT_EQ(stream.Position(), 0);  // the caller's stream is rewound at close
}

TEST(Mp3In, ClipReaderOpensEveryNonWavExtensionWithTheMediaReader) {
  auto clip = CreateClipReader(Files().StereoMp3);
  ASSERT_NE(clip, nullptr);
  EXPECT_NE(dynamic_cast<TMP3In*>(clip.get()), nullptr);
  EXPECT_TRUE(clip->Valid());
  auto other = CreateClipReader(Files().SubtitleFile);
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(other->Valid());
}
