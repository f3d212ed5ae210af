// TWaveIn end to end: opening, lengths, pass-through, float, ADPCM lengths,
// seeking and the failures a clip check meets.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "WaveTestUtil.h"
#include "audio/core/EAuException.h"
#include "audio/decoders/ClipReader.h"
#include "support/AvCodecAudio.h"

namespace {

TBytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  TBytes b(n);
  for (auto& x : b) x = uint8_t(rng());
  return b;
}

TFmtFields Pcm(uint16_t channels, uint32_t rate, uint16_t bits) {
  TFmtFields f;
  f.Channels = channels;
  f.SampleRate = rate;
  f.BitsPerSample = bits;
  return f;
}

struct TPcmCase {
  uint16_t Channels;
  uint16_t Bits;
};

class WavePcmPassThrough : public ::testing::TestWithParam<TPcmCase> {};

}  // namespace

TEST_P(WavePcmPassThrough, DeliversTheDataBytesUnchangedWithTheirOwnBitDepth) {
  const auto [channels, bits] = GetParam();
  const uint32_t frame = channels * bits / 8u;
  const TBytes data = RandomBytes(frame * 9001, bits);
  TMemoryWave w(MakeWav(Pcm(channels, 48000, bits), data));
  ASSERT_TRUE(w.In->Valid());
  EXPECT_EQ(w.In->WaveKind(), wkPcm);
  EXPECT_EQ(w.In->BitsPerSample(), bits);
  EXPECT_EQ(w.In->Channels(), channels);
  EXPECT_EQ(w.In->SampleRate(), 48000u);
  EXPECT_EQ(w.In->Size.load(), int64_t(data.size()));
  for (uint32_t pull : {1u << 20, frame, 7 * frame + 1}) EXPECT_EQ(PullAll(*w.In, pull), data) << pull;
}

INSTANTIATE_TEST_SUITE_P(Depths, WavePcmPassThrough,
                         ::testing::Values(TPcmCase{1, 8}, TPcmCase{2, 8}, TPcmCase{2, 16}, TPcmCase{1, 24},
                                           TPcmCase{2, 24}, TPcmCase{6, 24}, TPcmCase{2, 32}));

TEST(WaveIn, RefillsTwentyFourBitStereoInBlocksOf16380Bytes) {
  TMemoryWave w(MakeWav(Pcm(2, 44100, 24), RandomBytes(6 * 5000, 3)));
  w.In->Init();
  const uint8_t* block = nullptr;
  uint32_t bytes = 1u << 20;
  w.In->GetData(block, bytes);
  EXPECT_EQ(bytes, 16380u);
  bytes = 1u << 20;
  w.In->GetData(block, bytes);
  EXPECT_EQ(bytes, 30000u - 16380u);
  w.In->Flush();
}

TEST(WaveIn, ReportsLengthsOfTheExampleFiles) {
  TMemoryWave pcm(MakeWav(Pcm(2, 44100, 16), TBytes(1764000, 0)));
  EXPECT_EQ(pcm.In->TotalSamples(), 441000);
  EXPECT_EQ(pcm.In->TotalTime(), 10);

  TFmtFields ima;
  ima.Tag = 0x11;
  ima.Channels = 1;
  ima.SampleRate = 22050;
  ima.BlockAlign = 256;
  ima.BitsPerSample = 4;
  ima.WithExtraSize = true;
  PutLE16(ima.Extra, 505);
  TMemoryWave adpcm(MakeWav(ima, TBytes(256 * 219, 0), 110250));
  EXPECT_TRUE(adpcm.In->Valid());
  EXPECT_EQ(adpcm.In->BitsPerSample(), 16u);
  EXPECT_EQ(adpcm.In->Size.load(), 220500);
  EXPECT_EQ(adpcm.In->TotalTime(), 5);
}

TEST(WaveIn, RoundsTotalTimeHalfToEven) {
  auto seconds = [](size_t frames) {
    TMemoryWave w(MakeWav(Pcm(1, 1000, 16), TBytes(frames * 2, 0)));
    return w.In->TotalTime();
  };
  EXPECT_EQ(seconds(1500), 2);
  EXPECT_EQ(seconds(500), 0);
  EXPECT_EQ(seconds(2500), 2);
  EXPECT_EQ(seconds(2501), 3);
}

TEST(WaveIn, PlaysWhatIsThereWhenTheDataChunkClaimsMoreThanTheFile) {
  const TBytes data = RandomBytes(4 * 1000 + 3, 5);  // a cut-off frame at the end
  for (uint32_t declared : {0xFFFFFFFFu, 100000u}) {
    TWavBuilder b;
    b.Header().Fmt(Pcm(2, 8000, 16)).Chunk("data", data, false, declared);
    TMemoryWave w(b.Bytes());
    ASSERT_TRUE(w.In->Valid());
    EXPECT_EQ(w.In->Size.load(), 4000);
    const TBytes got = PullAll(*w.In, 1u << 20);
    EXPECT_EQ(got, TBytes(data.begin(), data.begin() + 4000));
  }
}

TEST(WaveIn, ReadsFromTheDataChunkAfterAPaddedOddChunkAndStopsAtItsEnd) {
  const TBytes data = RandomBytes(400, 6);
  TWavBuilder b;
  b.Header().Fmt(Pcm(2, 8000, 16)).Chunk("LIST", TBytes(11, 'y')).Data(data).Chunk("LIST", TBytes(64, 'x'));
  TMemoryWave w(b.Bytes());
  EXPECT_EQ(PullAll(*w.In, 1u << 20), data);
}

TEST(WaveIn, ReadsFromAStreamThatCannotSeek) {
  const TBytes data = RandomBytes(4 * 3000, 10);
  TMemoryWave pcm(MakeWav(Pcm(2, 8000, 16), data));
  pcm.In->Seekable = false;
  ASSERT_TRUE(pcm.In->Valid());
  EXPECT_EQ(PullAll(*pcm.In, 1000), data);

  auto enc = EncodeAdpcm("adpcm_ima_wav", TestSignal(3000, 2, 5), 2, 22050, 512);
  if (!enc) GTEST_SKIP() << "no adpcm_ima_wav encoder";
  const TBytes file = MakeAdpcmWav("adpcm_ima_wav", *enc, 2, 22050);
  TMemoryWave seekable(file);
  TMemoryWave streamed(file);
  streamed.In->Seekable = false;
  ASSERT_TRUE(streamed.In->Valid());
  EXPECT_EQ(PullAll(*streamed.In, 4096), PullAll(*seekable.In, 4096));
}

TEST(WaveIn, DeliversExactlyTheFactCountWhenItIsShorterThanTheBlocks) {
  const std::vector<int16_t> pcm = TestSignal(3000, 2, 1);
  for (const char* codec : {"adpcm_ima_wav", "adpcm_ms"}) {
    auto enc = EncodeAdpcm(codec, pcm, 2, 22050, 512);
    if (!enc) GTEST_SKIP() << "no " << codec << " encoder";
    enc->Frames = 1234;
    TMemoryWave w(MakeAdpcmWav(codec, *enc, 2, 22050));
    ASSERT_TRUE(w.In->Valid()) << codec;
    EXPECT_EQ(PullAll(*w.In, 1u << 20).size(), 1234u * 2 * 2) << codec;
  }
}

TEST(WaveIn, ConvertsFloatFilesTo32BitIntegers) {
  const double values[] = {1.0, -1.0, 0.5, NAN, 0.0, -0.25};
  const int32_t expected[] = {2147483647, -2147483647 - 1, 1073741823, -2147483647 - 1, 0, -536870912};
  TBytes singles, doubles;
  for (double v : values) {
    const float f = float(v);
    const auto* fp = reinterpret_cast<const uint8_t*>(&f);
    const auto* dp = reinterpret_cast<const uint8_t*>(&v);
    singles.insert(singles.end(), fp, fp + 4);
    doubles.insert(doubles.end(), dp, dp + 8);
  }
  TBytes want;
  for (int32_t e : expected) PutLE32(want, uint32_t(e));

  TFmtFields f32 = Pcm(2, 48000, 32);
  f32.Tag = 3;
  TFmtFields f64 = Pcm(2, 48000, 64);
  f64.Tag = 3;
  TWavBuilder ext32;
  ext32.Header().Chunk("fmt ", ExtensibleFmtPayload(2, 48000, 32, 3)).Data(singles);
  TWavBuilder ext64;
  ext64.Header().Chunk("fmt ", ExtensibleFmtPayload(2, 48000, 64, 3)).Data(doubles);
  for (const TBytes& file : {MakeWav(f32, singles), MakeWav(f64, doubles), ext32.Bytes(), ext64.Bytes()}) {
    TMemoryWave w(file);
    ASSERT_TRUE(w.In->Valid());
    EXPECT_EQ(w.In->BitsPerSample(), 32u);
    EXPECT_EQ(w.In->Size.load(), int64_t(want.size()));  // 64-bit data report half their size
    EXPECT_EQ(PullAll(*w.In, 1u << 20), want);
    EXPECT_EQ(PullAll(*w.In, 8), want);
  }
}

TEST(WaveIn, SeeksPlainPcmButNotExtensiblePcm) {
  const TBytes data = RandomBytes(4 * 1000, 8);
  TMemoryWave plain(MakeWav(Pcm(2, 8000, 16), data));
  TWavBuilder ext;
  ext.Header().Chunk("fmt ", ExtensibleFmtPayload(2, 8000, 16, 1)).Data(data);
  TMemoryWave extensible(ext.Bytes());
  for (TMemoryWave* w : {&plain, &extensible}) {
    ASSERT_TRUE(w->In->Valid());
    w->In->Init();
    const bool isPlain = w == &plain;
    EXPECT_EQ(w->In->Seek(250), isPlain);
    const uint8_t* block = nullptr;
    uint32_t bytes = 8;
    w->In->GetData(block, bytes);
    ASSERT_EQ(bytes, 8u);
    const size_t from = isPlain ? 250 * 4 : 0;
    EXPECT_EQ(TBytes(block, block + 8), TBytes(data.begin() + long(from), data.begin() + long(from) + 8));
    w->In->Flush();
  }
}

TEST(WaveIn, SeeksAdpcmToTheStartOfTheBlockHoldingTheFrame) {
  const std::vector<int16_t> pcm = TestSignal(5000, 1, 2);
  auto enc = EncodeAdpcm("adpcm_ms", pcm, 1, 22050, 256);
  if (!enc) GTEST_SKIP() << "no adpcm_ms encoder";
  TMemoryWave w(MakeAdpcmWav("adpcm_ms", *enc, 1, 22050));
  const TBytes whole = PullAll(*w.In, 1u << 20);
  const uint32_t spb = enc->SamplesPerBlock;
  w.In->Init();
  ASSERT_TRUE(w.In->Seek(spb * 3 + 17));
  EXPECT_EQ(w.In->Position.load(), int64_t(spb * 3 + 17) * 2);
  const uint8_t* block = nullptr;
  uint32_t bytes = 64;
  w.In->GetData(block, bytes);
  ASSERT_EQ(bytes, 64u);
  // Decoding resumes at the block start, one block's worth early at most.
  EXPECT_EQ(TBytes(block, block + 64), TBytes(whole.begin() + spb * 3 * 2, whole.begin() + spb * 3 * 2 + 64));
  w.In->Flush();
}

TEST(WaveIn, RefusesAPullBeforeARunHasStarted) {
  TMemoryWave w(MakeWav(Pcm(2, 8000, 16), TBytes(40, 0)));
  ASSERT_TRUE(w.In->Valid());
  const uint8_t* block = nullptr;
  uint32_t bytes = 8;
  try {
    w.In->GetData(block, bytes);
    FAIL() << "no exception";
  } catch (const EAuException& e) {
    EXPECT_STREQ(e.what(), "The Stream is not opened");
  }
}

TEST(WaveIn, ReportsUnreadableAndForeignFilesAsNotValidAndClosesThem) {
  auto reader = MakeComponent<TWaveIn>();
  EXPECT_FALSE(reader->Valid());  // no name yet: nothing is touched
  reader->SetFileName("/nonexistent/folder/clip.wav");
  EXPECT_FALSE(reader->Valid());

  TTempFile text(TBytes{'h', 'e', 'l', 'l', 'o'});
  reader->SetFileName(text.Path());
  EXPECT_FALSE(reader->Valid());
  EXPECT_EQ(reader->WaveKind(), wkUnsupported);

  TFmtFields alaw = Pcm(1, 8000, 8);
  alaw.Tag = 6;
  TTempFile foreign(MakeWav(alaw, TBytes(100, 0)));
  reader->SetFileName(foreign.Path());
  EXPECT_FALSE(reader->Valid());
  EXPECT_EQ(reader->TotalTime(), 0);
}

TEST(WaveIn, ReadsAFileByNameAndPlaysItTwice) {
  const TBytes data = RandomBytes(2 * 8000, 9);
  TTempFile file(MakeWav(Pcm(1, 8000, 16), data));
  auto reader = MakeComponent<TWaveIn>();
  reader->SetFileName(file.Path());
  ASSERT_TRUE(reader->Valid());
  EXPECT_EQ(reader->TotalTime(), 1);
  EXPECT_EQ(PullAll(*reader, 1000), data);
  EXPECT_EQ(PullAll(*reader, 4096), data);
}

TEST(WaveIn, OpensAnInvalidImaFileAsNotValidWithoutDeliveringAnything) {
  TFmtFields ima;
  ima.Tag = 0x11;
  ima.Channels = 1;
  ima.SampleRate = 22050;
  ima.BlockAlign = 256;
  ima.BitsPerSample = 3;
  ima.WithExtraSize = true;
  PutLE16(ima.Extra, 505);
  TMemoryWave w(MakeWav(ima, TBytes(256 * 4, 0), 505 * 4));
  EXPECT_FALSE(w.In->Valid());
  EXPECT_EQ(PullAll(*w.In, 4096).size(), 0u);
}

TEST(ClipReader, GivesWavFilesInAnyLetterCaseToTheWaveReader) {
  for (const char* name : {"/tmp/a.wav", "/tmp/B.WAV", "/tmp/dir.x/c.WaV"}) {
    TComponentPtr<TAuFileIn> reader = CreateClipReader(name);
    ASSERT_NE(reader, nullptr) << name;
    EXPECT_NE(dynamic_cast<TWaveIn*>(reader.get()), nullptr) << name;
    EXPECT_EQ(reader->FileName(), name);
  }
  TComponentPtr<TAuFileIn> other = CreateClipReader("/tmp/wav.d/clip.mp3");
  EXPECT_EQ(dynamic_cast<TWaveIn*>(other.get()), nullptr);
}
