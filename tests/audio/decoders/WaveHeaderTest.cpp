// The RIFF header scan and the checks that decide what a file can deliver.

#include <gtest/gtest.h>

#include <cstring>

#include "audio/decoders/WaveHeader.h"
#include "support/WavBuilder.h"

namespace {

class TVectorSource : public TWaveByteSource {
 public:
  explicit TVectorSource(const TBytes& b, bool seekable = true) : Bytes(b), Seekable(seekable) {}
  uint32_t Read(uint8_t* dst, uint32_t n) override {
    const size_t left = Bytes.size() - Pos;
    const size_t take = n < left ? n : left;
    if (take > 0) std::memcpy(dst, Bytes.data() + Pos, take);
    Pos += take;
    return uint32_t(take);
  }
  bool AtEnd() override { return Seekable && Pos >= Bytes.size(); }
  const TBytes& Bytes;
  size_t Pos = 0;
  bool Seekable;
};

TWaveHeader Scan(const TBytes& b, bool seekable = true) {
  TVectorSource s(b, seekable);
  return ParseWaveHeader(s);
}

TFmtFields Pcm16Stereo() { return TFmtFields{}; }

TFmtFields ImaMono(uint16_t blockAlign = 256, uint16_t spb = 505) {
  TFmtFields f;
  f.Tag = 0x11;
  f.Channels = 1;
  f.SampleRate = 22050;
  f.BlockAlign = blockAlign;
  f.BitsPerSample = 4;
  f.WithExtraSize = true;
  PutLE16(f.Extra, spb);
  return f;
}

TBytes MsExtra(uint16_t spb, uint16_t coefCount, size_t pairsPresent) {
  TBytes e;
  PutLE16(e, spb);
  PutLE16(e, coefCount);
  static const int16_t kStd[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
  for (size_t i = 0; i < pairsPresent; ++i) {
    PutLE16(e, uint16_t(kStd[i % 7][0]));
    PutLE16(e, uint16_t(kStd[i % 7][1]));
  }
  return e;
}

TFmtFields Ms(uint16_t channels, uint16_t blockAlign, uint16_t spb, uint16_t coefCount = 7, size_t pairs = 7) {
  TFmtFields f;
  f.Tag = 2;
  f.Channels = channels;
  f.SampleRate = 22050;
  f.BlockAlign = blockAlign;
  f.BitsPerSample = 4;
  f.WithExtraSize = true;
  f.Extra = MsExtra(spb, coefCount, pairs);
  return f;
}

TWaveOutputPlan PlanOf(const TBytes& file, std::optional<uint64_t> available = std::nullopt) {
  return PlanWaveOutput(Scan(file), available);
}

}  // namespace

TEST(WaveChunkId, MatchesInEitherLetterCaseAndTakesZeroForSpace) {
  const uint8_t lower[] = {'r', 'i', 'f', 'f'};
  const uint8_t mixed[] = {'R', 'i', 'F', 'f'};
  const uint8_t fmtZero[] = {'f', 'm', 't', 0};
  const uint8_t other[] = {'R', 'I', 'F', 'G'};
  const uint8_t offBy16[] = {'f', 'm', 't', 0x10};
  EXPECT_TRUE(ChunkIdMatches(lower, "RIFF"));
  EXPECT_TRUE(ChunkIdMatches(mixed, "RIFF"));
  EXPECT_TRUE(ChunkIdMatches(fmtZero, "fmt "));
  EXPECT_FALSE(ChunkIdMatches(other, "RIFF"));
  EXPECT_FALSE(ChunkIdMatches(offBy16, "fmt "));
}

TEST(WaveHeaderScan, AcceptsLowerCaseIdsAndAZeroByteForTheSpaceOfFmt) {
  TWavBuilder b;
  b.Raw("riff").Raw(TBytes{0, 0, 0, 0}).Raw("wave").Chunk(std::string_view("fmt\0", 4), FmtPayload(Pcm16Stereo()));
  b.Chunk("DATA", TBytes(8, 1));
  const TWaveHeader h = Scan(b.Bytes());
  EXPECT_EQ(h.Kind, wkPcm);
  EXPECT_EQ(h.DataSize, 8u);
}

TEST(WaveHeaderScan, SkipsBytesBeforeRiffAndBetweenItsSizeAndWave) {
  TWavBuilder b;
  b.Raw("junk!").Raw("RIFF").Raw(TBytes{1, 2, 3, 4}).Raw("xyz").Raw("WAVE").Fmt(Pcm16Stereo()).Data(TBytes(4, 0));
  const TWaveHeader h = Scan(b.Bytes());
  ASSERT_EQ(h.Kind, wkPcm);
  EXPECT_EQ(h.DataOffset, 5u + 4 + 4 + 3 + 4 + 24 + 8);
}

TEST(WaveHeaderScan, SkipsChunksBetweenFmtAndDataIncludingOddOnesWithTheirPadByte) {
  TWavBuilder padded;
  padded.Header().Fmt(Pcm16Stereo()).Chunk("LIST", TBytes(13, 'a')).Chunk("junk", TBytes(3, 'b')).Data(TBytes(4, 0));
  EXPECT_EQ(Scan(padded.Bytes()).Kind, wkPcm);

  // Writers that leave the pad byte out are still read.
  TWavBuilder unpadded;
  unpadded.Header().Fmt(Pcm16Stereo()).Chunk("LIST", TBytes(13, 'a'), false).Data(TBytes(4, 0));
  EXPECT_EQ(Scan(unpadded.Bytes()).Kind, wkPcm);
}

TEST(WaveHeaderScan, GivesUpOnceTheHeaderPassesEightKilobytes) {
  auto withJunk = [](size_t junk) {
    TWavBuilder b;
    b.Header().Fmt(Pcm16Stereo()).Chunk("junk", TBytes(junk, 0)).Data(TBytes(4, 0));
    return Scan(b.Bytes()).Kind;
  };
  EXPECT_EQ(withJunk(8000), wkPcm);
  EXPECT_EQ(withJunk(8200), wkUnsupported);
  // A huge declared size is not followed.
  TWavBuilder b;
  b.Header().Fmt(Pcm16Stereo()).Chunk("junk", TBytes(4, 0), true, 0xFFFFFFF0u).Data(TBytes(4, 0));
  EXPECT_EQ(Scan(b.Bytes()).Kind, wkUnsupported);
}

TEST(WaveHeaderScan, NeedsAFactChunkBeforeDataForCompressedKinds) {
  TWavBuilder noFact;
  noFact.Header().Fmt(ImaMono()).Data(TBytes(256, 0));
  EXPECT_EQ(Scan(noFact.Bytes()).Kind, wkUnsupported);
  TWavBuilder withFact;
  withFact.Header().Fmt(ImaMono()).Chunk("LIST", TBytes(5, 0)).Fact(505).Data(TBytes(256, 0));
  const TWaveHeader h = Scan(withFact.Bytes());
  EXPECT_EQ(h.Kind, wkImaAdpcm);
  EXPECT_EQ(h.FactCount, 505u);
  EXPECT_EQ(h.SamplesPerBlock, 505u);
}

struct TTagCase {
  uint16_t Tag;
  TWaveKind Kind;
};

class WaveHeaderTags : public ::testing::TestWithParam<TTagCase> {};

TEST_P(WaveHeaderTags, ChoosesTheKindOfEachFormatTag) {
  TFmtFields f;
  f.Tag = GetParam().Tag;
  f.WithExtraSize = true;
  f.Extra = MsExtra(2, 1, 1);
  TWavBuilder b;
  b.Header().Fmt(f).Fact(1).Data(TBytes(16, 0));
  EXPECT_EQ(Scan(b.Bytes()).Kind, GetParam().Kind);
}

INSTANTIATE_TEST_SUITE_P(AllTags, WaveHeaderTags,
                         ::testing::Values(TTagCase{1, wkPcm}, TTagCase{0x11, wkImaAdpcm}, TTagCase{2, wkMsAdpcm},
                                           TTagCase{0x55, wkCodecManager}, TTagCase{3, wkIeeeFloat},
                                           TTagCase{6, wkUnsupported}, TTagCase{0x50, wkUnsupported}));

TEST(WaveHeaderScan, TellsExtensiblePcmAndFloatApartByTheirGuidAndRejectsOthers) {
  auto kindOf = [](uint16_t sub) {
    TWavBuilder b;
    b.Header().Chunk("fmt ", ExtensibleFmtPayload(2, 48000, 32, sub)).Data(TBytes(16, 0));
    return Scan(b.Bytes()).Kind;
  };
  EXPECT_EQ(kindOf(1), wkExtensiblePcm);
  EXPECT_EQ(kindOf(3), wkExtensibleFloat);
  EXPECT_EQ(kindOf(2), wkUnsupported);
}

TEST(WaveHeaderScan, RejectsAFmtPayloadTooShortForItsBasicFields) {
  TWavBuilder b;
  b.Header().Chunk("fmt ", TBytes(14, 1)).Data(TBytes(4, 0));
  EXPECT_EQ(Scan(b.Bytes()).Kind, wkUnsupported);
}

TEST(WaveHeaderScan, EndsAsUnsupportedForEveryTruncationOfAValidFile) {
  TWavBuilder b;
  b.Header().Fmt(Ms(2, 512, 500)).Chunk("LIST", TBytes(7, 'x')).Fact(1000).Data(TBytes(16, 0));
  const TBytes full = b.Bytes();
  const size_t dataField = full.size() - 16;  // up to a complete data size field
  for (size_t len = 0; len < dataField; ++len) {
    const TBytes cut(full.begin(), full.begin() + long(len));
    EXPECT_EQ(Scan(cut).Kind, wkUnsupported) << len;
    EXPECT_EQ(Scan(cut, false).Kind, wkUnsupported) << len;
  }
  EXPECT_EQ(Scan(full).Kind, wkMsAdpcm);
}

TEST(WavePlan, RejectsFormatsThatWouldDivideByZeroOrSplitBytes) {
  auto validPcm = [](uint16_t channels, uint32_t rate, uint16_t bits) {
    TFmtFields f;
    f.Channels = channels;
    f.SampleRate = rate;
    f.BitsPerSample = bits;
    f.BlockAlign = 4;
    return PlanOf(MakeWav(f, TBytes(64, 0))).Valid;
  };
  EXPECT_TRUE(validPcm(2, 44100, 16));
  EXPECT_TRUE(validPcm(1, 8000, 8));
  EXPECT_TRUE(validPcm(2, 96000, 24));
  EXPECT_FALSE(validPcm(0, 44100, 16));
  EXPECT_FALSE(validPcm(2, 0, 16));
  EXPECT_FALSE(validPcm(2, 44100, 0));
  EXPECT_FALSE(validPcm(2, 44100, 12));
  EXPECT_FALSE(validPcm(65535, 44100, 32));  // one frame would not fit the output buffer
}

TEST(WavePlan, CutsAnOverlongDataChunkToTheFileAndToWholeFrames) {
  TFmtFields f;  // 16-bit stereo: 4-byte frames
  TWavBuilder b;
  b.Header().Fmt(f).Data(TBytes(1003, 0), 0xFFFFFFFFu);
  const TWaveHeader h = Scan(b.Bytes());
  const TWaveOutputPlan plan = PlanWaveOutput(h, 1003);
  ASSERT_TRUE(plan.Valid);
  EXPECT_EQ(plan.Size, 1000);
  EXPECT_EQ(plan.DataBytes, 1003u);
  // With the source size unknown the declared size stands (cut to frames).
  EXPECT_EQ(PlanWaveOutput(h, std::nullopt).Size, 0xFFFFFFFCll);
}

TEST(WavePlan, FloatDataBecomes32BitAndHalvesForDoubles) {
  auto plan = [](uint16_t bits) {
    TFmtFields f;
    f.Tag = 3;
    f.BitsPerSample = bits;
    return PlanOf(MakeWav(f, TBytes(1600, 0)), 1600);
  };
  EXPECT_EQ(plan(32).Size, 1600);
  EXPECT_EQ(plan(32).BitsPerSample, 32u);
  EXPECT_EQ(plan(64).Size, 800);
  EXPECT_FALSE(plan(16).Valid);
}

TEST(WavePlan, ChecksImaBlockGeometry) {
  auto valid = [](uint16_t channels, uint16_t align, uint16_t spb, uint16_t bits = 4) {
    TFmtFields f = ImaMono(align, spb);
    f.Channels = channels;
    f.BitsPerSample = bits;
    TWavBuilder b;
    b.Header().Fmt(f).Fact(spb).Data(TBytes(align, 0));
    return PlanOf(b.Bytes()).Valid;
  };
  EXPECT_TRUE(valid(1, 256, 505));
  EXPECT_TRUE(valid(2, 512, 505));
  EXPECT_TRUE(valid(1, 4099, 8191));   // 8191 samples = 16382 bytes: the largest that fits
  EXPECT_FALSE(valid(1, 4100, 8193));
  EXPECT_TRUE(valid(2, 4096, 4089));   // stereo data in 8-byte groups: 4089 frames = 16356 bytes
  EXPECT_FALSE(valid(2, 4104, 4097));  // 4097 frames = 16388 bytes
  EXPECT_FALSE(valid(1, 4, 1));        // nothing after the header
  EXPECT_FALSE(valid(2, 8, 1));
  EXPECT_FALSE(valid(2, 516, 509));    // stereo data not in 8-byte groups
  EXPECT_FALSE(valid(1, 256, 0));      // would divide by zero when seeking
  EXPECT_FALSE(valid(1, 256, 506));    // more samples than a block holds
  EXPECT_FALSE(valid(1, 256, 505, 3)); // only 4-bit IMA ADPCM
  EXPECT_FALSE(valid(3, 256, 505));
}

TEST(WavePlan, ChecksMsBlockGeometryAndCoefficientTable) {
  auto valid = [](const TFmtFields& f) {
    TWavBuilder b;
    b.Header().Fmt(f).Fact(100).Data(TBytes(f.BlockAlign, 0));
    return PlanOf(b.Bytes()).Valid;
  };
  EXPECT_TRUE(valid(Ms(1, 256, 500)));
  EXPECT_TRUE(valid(Ms(2, 512, 500)));
  EXPECT_FALSE(valid(Ms(1, 256, 502)));       // samples per block do not fit the block
  EXPECT_FALSE(valid(Ms(2, 512, 501)));
  EXPECT_FALSE(valid(Ms(1, 256, 1)));
  EXPECT_FALSE(valid(Ms(1, 6, 2)));           // block smaller than its header
  EXPECT_FALSE(valid(Ms(1, 256, 500, 0, 0))); // no coefficients
  EXPECT_FALSE(valid(Ms(1, 256, 500, 33, 33)));
  EXPECT_FALSE(valid(Ms(1, 256, 500, 7, 5))); // fewer pairs present than declared
  EXPECT_TRUE(valid(Ms(1, 256, 500, 32, 32)));
  EXPECT_TRUE(valid(Ms(1, 4103, 8192)));
  EXPECT_FALSE(valid(Ms(1, 4104, 8194)));     // decoded block larger than the output buffer
  EXPECT_TRUE(valid(Ms(2, 4110, 4096)));
  EXPECT_FALSE(valid(Ms(2, 4112, 4097)));
}

TEST(WavePlan, AdpcmLengthComesFromTheFactCountCutToTheBlocksPresent) {
  TWavBuilder b;
  b.Header().Fmt(ImaMono()).Fact(110250).Data(TBytes(256 * 300, 0));
  const TWaveHeader h = Scan(b.Bytes());
  EXPECT_EQ(PlanWaveOutput(h, std::nullopt).Size, 220500);
  EXPECT_EQ(PlanWaveOutput(h, 256 * 300).Size, 220500);
  EXPECT_EQ(PlanWaveOutput(h, 256 * 10).Size, 505 * 10 * 2);
}
