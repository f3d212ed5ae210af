// The table of bad WAV files, each read end to end through the WAV reader:
// it opens as not valid, or plays a partial result that keeps the stream
// contract (whole frames, never more than Size), and nothing else. The
// sanitizer builds check that no case reads out of bounds or overflows.
//
// Covered elsewhere and not repeated here:
//   a data size of 0xFFFFFFFF      WavePlan.CutsAnOverlongDataChunkToTheFileAndToWholeFrames,
//                                  WaveIn.PlaysWhatIsThereWhenTheDataChunkClaimsMoreThanTheFile
//   an odd chunk with its pad byte WaveIn.ReadsFromTheDataChunkAfterAPaddedOddChunkAndStopsAtItsEnd
//   a truncated "fmt " chunk       WaveHeaderScan.RejectsAFmtPayloadTooShortForItsBasicFields,
//                                  WaveHeaderScan.EndsAsUnsupportedForEveryTruncationOfAValidFile
//   a coefficient count of 0       WavePlan.ChecksMsBlockGeometryAndCoefficientTable
//   zero channels or sample rate   WavePlan.RejectsFormatsThatWouldDivideByZeroOrSplitBytes (PCM)

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "WaveTestUtil.h"

namespace {

class TVectorSource : public TWaveByteSource {
 public:
  explicit TVectorSource(const TBytes& b) : Bytes(b) {}
  uint32_t Read(uint8_t* dst, uint32_t n) override {
    const size_t take = std::min<size_t>(n, Bytes.size() - Pos);
    if (take > 0) std::memcpy(dst, Bytes.data() + Pos, take);
    Pos += take;
    return uint32_t(take);
  }
  bool AtEnd() override { return false; }  // as a pipe: the size is unknown
  const TBytes& Bytes;
  size_t Pos = 0;
};

TFmtFields Ima(uint16_t channels, uint16_t blockAlign, uint16_t spb) {
  TFmtFields f;
  f.Tag = 0x11;
  f.Channels = channels;
  f.SampleRate = 22050;
  f.BlockAlign = blockAlign;
  f.BitsPerSample = 4;
  f.WithExtraSize = true;
  PutLE16(f.Extra, spb);
  return f;
}

TFmtFields Ms(uint16_t channels, uint16_t blockAlign, uint16_t spb) {
  TFmtFields f;
  f.Tag = 2;
  f.Channels = channels;
  f.SampleRate = 22050;
  f.BlockAlign = blockAlign;
  f.BitsPerSample = 4;
  f.WithExtraSize = true;
  PutLE16(f.Extra, spb);
  static const int16_t kStd[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
  PutLE16(f.Extra, 7);
  for (const auto& pair : kStd) {
    PutLE16(f.Extra, uint16_t(pair[0]));
    PutLE16(f.Extra, uint16_t(pair[1]));
  }
  return f;
}

// Mono IMA blocks: header (predictor, step index, 0), then nibble bytes.
TBytes ImaBlocks(size_t count, uint16_t align, uint8_t stepIndex, uint8_t nibbles) {
  TBytes out;
  for (size_t b = 0; b < count; ++b) {
    PutLE16(out, uint16_t(int16_t(-1000 + int(b) * 300)));
    out.push_back(stepIndex);
    out.push_back(0);
    out.resize(out.size() + align - 4, nibbles);
  }
  return out;
}

// Mono MS blocks: predictor index, delta, sample1, sample2, then nibbles.
TBytes MsBlocks(size_t count, uint16_t align, uint8_t predictor, uint16_t delta, uint8_t nibbles) {
  TBytes out;
  for (size_t b = 0; b < count; ++b) {
    out.push_back(predictor);
    PutLE16(out, delta);
    PutLE16(out, uint16_t(int16_t(20000)));
    PutLE16(out, uint16_t(int16_t(-20000)));
    out.resize(out.size() + align - 7, nibbles);
  }
  return out;
}

TBytes File(const TFmtFields& fmt, const TBytes& data, uint32_t fact, std::optional<uint32_t> declared = {}) {
  TWavBuilder b;
  b.Header().Fmt(fmt).Fact(fact).Data(data, declared);
  return b.Bytes();
}

struct TOutcome {
  bool Valid = false;
  int64_t Size = 0;
  TBytes Pcm;
};

// Opens the image, and when valid checks the stream contract over a full pass.
TOutcome Read(const TBytes& image) {
  TMemoryWave w(image);
  TOutcome o;
  o.Valid = w.In->Valid();
  if (!o.Valid) return o;
  const uint32_t frame = w.In->Channels() * w.In->BitsPerSample() / 8;
  EXPECT_GT(frame, 0u);
  o.Size = w.In->Size.load();
  o.Pcm = PullAll(*w.In, 5000);
  if (frame > 0) {
    EXPECT_EQ(o.Pcm.size() % frame, 0u);
  }
  EXPECT_LE(int64_t(o.Pcm.size()), o.Size);
  return o;
}

}  // namespace

TEST(BadWaveFiles, AdpcmBlocksThatWouldOverrunTheDecodeBufferAreNotValid) {
  // 8193 IMA samples or 8194 MS samples are 16386 / 16388 bytes, above the 16384-byte buffer.
  EXPECT_FALSE(Read(File(Ima(1, 4100, 8193), ImaBlocks(2, 4100, 0, 0x11), 8193)).Valid);
  EXPECT_FALSE(Read(File(Ms(1, 4104, 8194), MsBlocks(2, 4104, 0, 16, 0x11), 8194)).Valid);
  // Samples per block that the block cannot hold.
  EXPECT_FALSE(Read(File(Ima(1, 256, 600), ImaBlocks(2, 256, 0, 0x11), 600)).Valid);
  EXPECT_FALSE(Read(File(Ms(1, 256, 600), MsBlocks(2, 256, 0, 16, 0x11), 600)).Valid);
}

TEST(BadWaveFiles, SamplesPerBlockTimesBlockCountBeyond32BitsIsCountedIn64) {
  // 4099-byte blocks of 8191 samples: a declared 0xFFFFFFFF data bytes hold
  // 1 047 811 blocks, 8.6 billion samples; the fact count caps them at 0xFFFFFFFF.
  const TBytes image = File(Ima(1, 4099, 8191), ImaBlocks(4, 4099, 10, 0x35), 0xFFFFFFFFu, 0xFFFFFFFFu);
  TVectorSource pipe(image);
  const TWaveHeader h = ParseWaveHeader(pipe);
  ASSERT_EQ(h.Kind, wkImaAdpcm);
  const TWaveOutputPlan unknownLength = PlanWaveOutput(h, std::nullopt);
  ASSERT_TRUE(unknownLength.Valid);
  EXPECT_EQ(unknownLength.Size, int64_t(0xFFFFFFFFu) * 2);
  // The file holds four blocks: exactly those play.
  const TOutcome o = Read(image);
  ASSERT_TRUE(o.Valid);
  EXPECT_EQ(o.Size, 4 * 8191 * 2);
  EXPECT_EQ(int64_t(o.Pcm.size()), o.Size);

  const TBytes ms = File(Ms(1, 4103, 8192), MsBlocks(2, 4103, 1, 300, 0x9C), 0xFFFFFFFFu, 0xFFFFFFFFu);
  TVectorSource msPipe(ms);
  EXPECT_EQ(PlanWaveOutput(ParseWaveHeader(msPipe), std::nullopt).Size, int64_t(0xFFFFFFFFu) * 2);
  EXPECT_EQ(Read(ms).Pcm.size(), 2u * 8192 * 2);
}

TEST(BadWaveFiles, APredictorIndexPastTheCoefficientsDecodesWithTheLastPair) {
  const TOutcome past = Read(File(Ms(1, 256, 500), MsBlocks(3, 256, 200, 500, 0x4B), 1500));
  const TOutcome last = Read(File(Ms(1, 256, 500), MsBlocks(3, 256, 6, 500, 0x4B), 1500));
  ASSERT_TRUE(past.Valid);
  EXPECT_EQ(past.Pcm.size(), 1500u * 2);
  EXPECT_EQ(past.Pcm, last.Pcm);
}

TEST(BadWaveFiles, ExtremeAdaptationDeltasNeitherOverflowNorStopTheDecoder) {
  // The largest delta and nibbles of the largest adaptation factor (768/256)
  // grow the delta each sample; a negative delta in a header must not break it either.
  for (uint16_t delta : {uint16_t(0x7FFF), uint16_t(0x8000), uint16_t(0xFFFF)}) {
    SCOPED_TRACE(delta);
    const TOutcome o = Read(File(Ms(1, 256, 500), MsBlocks(4, 256, 1, delta, 0x77), 2000));
    ASSERT_TRUE(o.Valid);
    EXPECT_EQ(o.Pcm.size(), 2000u * 2);
  }
}

// A short last block is read with its missing bytes as zeros: it plays as
// the whole block of those bytes, within the fact count, and nothing more.
TEST(BadWaveFiles, BlockHeadersLargerThanTheDataChunkPlayOneZeroCompletedBlock) {
  struct TCase {
    TFmtFields Fmt;
    size_t Present;  // data bytes, fewer than the block header needs
    uint32_t Frames;
  };
  for (const TCase& c : {TCase{Ms(2, 512, 500), 10, 500}, TCase{Ima(2, 512, 505), 5, 505},
                         TCase{Ima(1, 256, 505), 3, 505}}) {
    SCOPED_TRACE("tag " + std::to_string(c.Fmt.Tag) + ", " + std::to_string(c.Fmt.Channels) + " channels");
    TBytes data(c.Present, 0x11);
    const TOutcome cut = Read(File(c.Fmt, data, c.Frames));
    data.resize(c.Fmt.BlockAlign, 0);
    const TOutcome whole = Read(File(c.Fmt, data, c.Frames));
    ASSERT_TRUE(cut.Valid);
    EXPECT_EQ(cut.Size, int64_t(c.Frames) * c.Fmt.Channels * 2);
    EXPECT_EQ(cut.Pcm, whole.Pcm);
  }
}

TEST(BadWaveFiles, AnImaStepIndexAbove88DecodesAs88) {
  const TOutcome high = Read(File(Ima(1, 256, 505), ImaBlocks(2, 256, 200, 0x3A), 1010));
  const TOutcome top = Read(File(Ima(1, 256, 505), ImaBlocks(2, 256, 88, 0x3A), 1010));
  ASSERT_TRUE(high.Valid);
  EXPECT_EQ(high.Pcm.size(), 1010u * 2);
  EXPECT_EQ(high.Pcm, top.Pcm);
}

TEST(BadWaveFiles, ZeroChannelsBlockAlignOrSampleRateAreNotValid) {
  auto withChannels = [](TFmtFields f, uint16_t v) { f.Channels = v; return f; };
  auto withAlign = [](TFmtFields f, uint16_t v) { f.BlockAlign = v; return f; };
  auto withRate = [](TFmtFields f, uint32_t v) { f.SampleRate = v; f.AvgBytesPerSec = 1; return f; };
  for (const TFmtFields& f : {withChannels(Ima(1, 256, 505), 0), withAlign(Ima(1, 256, 505), 0),
                              withRate(Ima(1, 256, 505), 0), withChannels(Ms(1, 256, 500), 0),
                              withAlign(Ms(1, 256, 500), 0), withRate(Ms(1, 256, 500), 0)}) {
    SCOPED_TRACE("tag " + std::to_string(f.Tag));
    EXPECT_FALSE(Read(File(f, TBytes(1024, 0x11), 1000)).Valid);
  }
  TFmtFields pcm;
  EXPECT_FALSE(Read(MakeWav(withChannels(pcm, 0), TBytes(400, 1))).Valid);
  EXPECT_FALSE(Read(MakeWav(withRate(pcm, 0), TBytes(400, 1))).Valid);
  TFmtFields pcmNoAlign;
  pcmNoAlign.AvgBytesPerSec = 176400;
  const TOutcome o = Read(MakeWav(withAlign(pcmNoAlign, 0), TBytes(400, 1)));
  // PCM frames come from channels and bits, so a zero block align plays all the data.
  EXPECT_TRUE(o.Valid);
  EXPECT_EQ(o.Pcm.size(), 400u);
}

// Below 1 kHz a few bytes claim hours of sound; above 384 kHz the conversion
// to the device rate costs seconds and gigabytes to set up.
TEST(BadWaveFiles, RatesOutsideOneTo384KilohertzAreNotValidInEveryKind) {
  auto withRate = [](TFmtFields f, uint32_t v) { f.SampleRate = v; f.AvgBytesPerSec = 1; return f; };
  TFmtFields pcm;
  TFmtFields single;
  single.Tag = 3;
  single.BitsPerSample = 32;
  TFmtFields doubles = single;
  doubles.BitsPerSample = 64;
  auto extensible = [](uint32_t rate, uint16_t sub, uint16_t bits) {
    TWavBuilder b;
    b.Header().Chunk("fmt ", ExtensibleFmtPayload(2, rate, bits, sub)).Data(TBytes(4096, 1));
    return b.Bytes();
  };
  for (const uint32_t rate : {17u, 999u, 384001u, 100000000u, 0x80000000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE("rate " + std::to_string(rate));
    EXPECT_FALSE(Read(MakeWav(withRate(pcm, rate), TBytes(4096, 1))).Valid);
    EXPECT_FALSE(Read(MakeWav(withRate(single, rate), TBytes(4096, 1))).Valid);
    EXPECT_FALSE(Read(MakeWav(withRate(doubles, rate), TBytes(4096, 1))).Valid);
    EXPECT_FALSE(Read(extensible(rate, 1, 16)).Valid);
    EXPECT_FALSE(Read(extensible(rate, 3, 32)).Valid);
    EXPECT_FALSE(Read(File(withRate(Ima(1, 256, 505), rate), ImaBlocks(2, 256, 0, 0x11), 1010)).Valid);
    EXPECT_FALSE(Read(File(withRate(Ms(1, 256, 500), rate), MsBlocks(2, 256, 0, 16, 0x11), 1000)).Valid);
  }
  for (const uint32_t rate : {1000u, 384000u}) {
    EXPECT_TRUE(Read(MakeWav(withRate(pcm, rate), TBytes(4096, 1))).Valid);
    EXPECT_TRUE(Read(File(withRate(Ms(1, 256, 500), rate), MsBlocks(2, 256, 0, 16, 0x11), 1000)).Valid);
  }
}

// A "fact" payload too short for its count, or a count of 0 before data,
// once made the length 0 s while the whole data played.
TEST(BadWaveFiles, AnAdpcmFactChunkWithoutAUsableCountTakesTheLengthFromTheData) {
  auto withShortFact = [](const TFmtFields& fmt, const TBytes& data, const TBytes& fact) {
    TWavBuilder b;
    b.Header().Fmt(fmt).Chunk("fact", fact).Data(data);
    return b.Bytes();
  };
  // Mono IMA, 256-byte blocks of 505 frames: two whole blocks and 104 bytes
  // of a third (its 4-byte header and 100 data bytes: 201 frames).
  TBytes ima = ImaBlocks(3, 256, 0, 0x21);
  ima.resize(2 * 256 + 104);
  // Mono MS, 256-byte blocks of 500 frames: three whole blocks.
  const TBytes ms = MsBlocks(3, 256, 0, 16, 0x21);
  for (const TBytes& fact : {TBytes{0x10, 0x27, 0}, TBytes{}, TBytes{0, 0, 0, 0}}) {
    SCOPED_TRACE("fact of " + std::to_string(fact.size()) + " bytes");
    const TOutcome i = Read(withShortFact(Ima(1, 256, 505), ima, fact));
    ASSERT_TRUE(i.Valid);
    EXPECT_EQ(i.Size, (2 * 505 + 201) * 2);
    EXPECT_EQ(int64_t(i.Pcm.size()), i.Size);
    const TOutcome m = Read(withShortFact(Ms(1, 256, 500), ms, fact));
    ASSERT_TRUE(m.Valid);
    EXPECT_EQ(m.Size, 3 * 500 * 2);
    EXPECT_EQ(int64_t(m.Pcm.size()), m.Size);
  }
  TMemoryWave w(withShortFact(Ms(1, 256, 500), MsBlocks(100, 256, 0, 16, 0x21), {0xE8, 0x03, 0}));
  EXPECT_EQ(w.In->TotalTime(), 2);  // 50,000 frames at 22,050 Hz: 2.27 s
}

TEST(BadWaveFiles, AnOddChunkWithoutItsPadByteStillLeadsToTheDataChunk) {
  TFmtFields pcm;
  TWavBuilder b;
  b.Header().Fmt(pcm).Chunk("junk", TBytes(3, 7), /*pad=*/false).Data(TBytes(400, 5));
  const TOutcome o = Read(b.Bytes());
  // The scan still finds the "data" id where the writer put it, right after the odd payload.
  EXPECT_TRUE(o.Valid);
  EXPECT_EQ(o.Pcm.size(), 400u);
}

TEST(BadWaveFiles, ATruncatedLastBlockPlaysTheWholeBlocksThenItsZeroCompletedRest) {
  struct TCase {
    TFmtFields Fmt;
    TBytes Blocks;
    size_t Keep;  // bytes kept of the four blocks
    uint32_t Spb;
  };
  for (const TCase& c : {TCase{Ima(1, 256, 505), ImaBlocks(4, 256, 20, 0x5D), 3 * 256 + 100, 505},
                         TCase{Ms(1, 256, 500), MsBlocks(4, 256, 2, 40, 0x5D), 3 * 256 + 5, 500}}) {
    SCOPED_TRACE("tag " + std::to_string(c.Fmt.Tag));
    const TOutcome full = Read(File(c.Fmt, c.Blocks, 4 * c.Spb));
    TBytes data(c.Blocks.begin(), c.Blocks.begin() + long(c.Keep));
    const TOutcome cut = Read(File(c.Fmt, data, 4 * c.Spb));
    data.resize(c.Blocks.size(), 0);
    const TOutcome zeroed = Read(File(c.Fmt, data, 4 * c.Spb));
    ASSERT_TRUE(cut.Valid);
    ASSERT_EQ(cut.Pcm.size(), 4u * c.Spb * 2);
    EXPECT_TRUE(std::equal(full.Pcm.begin(), full.Pcm.begin() + 3 * c.Spb * 2, cut.Pcm.begin()));
    EXPECT_EQ(cut.Pcm, zeroed.Pcm);
  }
}

TEST(BadWaveFiles, AFmtChunkRunningPastTheEndOfTheFileIsNotValid) {
  TBytes fmt = FmtPayload(TFmtFields{});
  fmt.resize(9);  // the file ends inside the payload of 16 it declares
  TWavBuilder b;
  b.Header().Chunk("fmt ", fmt, true, 16);
  EXPECT_FALSE(Read(b.Bytes()).Valid);
}

TEST(BadWaveFiles, IntegerPcmWiderThan32BitsIsNotValid) {
  // Stored PCM is delivered as it is, and the stream carries 8 to 32 bits only.
  for (uint16_t bits : {40, 48, 56, 64}) {
    TFmtFields f;
    f.BitsPerSample = bits;
    EXPECT_FALSE(Read(MakeWav(f, TBytes(size_t(bits / 4) * 50, 0x3E))).Valid) << bits;
    TWavBuilder ext;
    ext.Header().Chunk("fmt ", ExtensibleFmtPayload(2, 48000, bits, 1)).Data(TBytes(size_t(bits / 4) * 50, 0x3E));
    EXPECT_FALSE(Read(ext.Bytes()).Valid) << bits;
  }
  TFmtFields f;
  f.BitsPerSample = 32;
  EXPECT_TRUE(Read(MakeWav(f, TBytes(8 * 50, 0x3E))).Valid);
}
