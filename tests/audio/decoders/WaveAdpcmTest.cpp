// IMA and MS ADPCM nibble arithmetic and block layouts, and float conversion.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "audio/decoders/FloatToInt32.h"
#include "audio/decoders/ImaAdpcm.h"
#include "audio/decoders/MsAdpcm.h"
#include "support/WavBuilder.h"

TEST(ImaAdpcm, DecodesTheListedNibblesFromTheZeroState) {
  struct Case {
    uint8_t Nibble;
    int16_t Sample;
    uint8_t Index;
  };
  for (Case c : {Case{7, 11, 8}, Case{15, -11, 8}, Case{0, 0, 0}, Case{4, 7, 2}, Case{8, 0, 0}}) {
    TImaChannel ch;
    EXPECT_EQ(DecodeImaNibble(ch, c.Nibble), c.Sample) << int(c.Nibble);
    EXPECT_EQ(ch.StepIndex, c.Index) << int(c.Nibble);
  }
}

TEST(ImaAdpcm, ClampsTheSampleToPlusMinus32767AndTheIndexTo88) {
  TImaChannel low{-32760, 88};
  EXPECT_EQ(DecodeImaNibble(low, 15), -32767);  // not -32768
  EXPECT_EQ(low.StepIndex, 88);
  TImaChannel high{32760, 88};
  EXPECT_EQ(DecodeImaNibble(high, 7), 32767);
}

TEST(ImaAdpcm, ClampsAStepIndexAbove88InABlockHeader) {
  const uint8_t header[4] = {0x10, 0x00, 200, 0};
  const TImaChannel ch = ReadImaChannelHeader(header);
  EXPECT_EQ(ch.Predictor, 16);
  EXPECT_EQ(ch.StepIndex, 88);
}

TEST(ImaAdpcm, MonoBlockOf256BytesYields505SamplesLowNibbleFirst) {
  TBytes data(252, 0);
  data[0] = 0x70;  // low nibble 0 first, then 7
  TImaChannel ch{0, 0};
  std::vector<uint8_t> out(505 * 2 + 8, 0xEE);
  EXPECT_EQ(DecodeImaMono(ch, data.data(), data.size(), out.data()), 505u);
  const auto s = BytesToInt16(out.data(), 6);
  EXPECT_EQ(s[0], 0);   // header sample
  EXPECT_EQ(s[1], 0);   // nibble 0
  EXPECT_EQ(s[2], 11);  // nibble 7
  EXPECT_EQ(out[505 * 2], 0xEE);  // nothing written past the block
}

namespace {

// A plain IMA ADPCM decoder written from the algorithm description, with its
// own tables, nibble arithmetic and byte addressing, so the stereo block
// walker is checked against something other than itself.
struct TRefImaState {
  int Sample;
  int Index;
};

int RefImaStep(int index) {
  static const int kSteps[89] = {
      7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
      31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
      130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
      544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
      2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
      9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
  return kSteps[index];
}

int RefImaNibble(TRefImaState& s, int nibble) {
  static const int kIndexChange[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
  const int step = RefImaStep(s.Index);
  int diff = step >> 3;
  if (nibble & 4) diff += step;
  if (nibble & 2) diff += step >> 1;
  if (nibble & 1) diff += step >> 2;
  s.Sample += (nibble & 8) ? -diff : diff;
  s.Sample = std::clamp(s.Sample, -32767, 32767);
  s.Index = std::clamp(s.Index + kIndexChange[nibble & 7], 0, 88);
  return s.Sample;
}

// Interleaved frames of one stereo block: frame 0 is the header samples; the
// k-th nibble of a channel sits in byte ((k / 2) / 4) * 8 + (k / 2) % 4 (+4
// for the right channel), low nibble at even k.
std::vector<int16_t> RefImaStereoBlock(TRefImaState left, TRefImaState right, const TBytes& data) {
  std::vector<int16_t> out{int16_t(left.Sample), int16_t(right.Sample)};
  TRefImaState* channels[2] = {&left, &right};
  std::vector<int16_t> decoded[2];
  for (int c = 0; c < 2; ++c) {
    for (size_t k = 0; k < data.size(); ++k) {
      const size_t byte = (k / 2) / 4 * 8 + (k / 2) % 4 + 4 * size_t(c);
      const int nibble = (k % 2 == 0) ? data[byte] & 0x0F : data[byte] >> 4;
      decoded[c].push_back(int16_t(RefImaNibble(*channels[c], nibble)));
    }
  }
  for (size_t k = 0; k < data.size(); ++k) {
    out.push_back(decoded[0][k]);
    out.push_back(decoded[1][k]);
  }
  return out;
}

}  // namespace

TEST(ImaAdpcm, StereoBlockOf512BytesYields505FramesFromAlternatingGroupsOfFour) {
  // Random nibbles cover every code from varied states; long runs of 7 and F
  // drive the channels into both clamps of sample and index.
  struct Case {
    TImaChannel Left, Right;
    int Pattern;
  };
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (Case c : {Case{{100, 0}, {-100, 0}, 0}, Case{{-32000, 60}, {32000, 88}, 0}, Case{{0, 20}, {5, 3}, 1},
                 Case{{32767, 88}, {-32767, 88}, 2}}) {
    TBytes data(504);
    for (size_t i = 0; i < data.size(); ++i) {
      if (c.Pattern == 0) data[i] = uint8_t(next() >> 16);
      if (c.Pattern == 1) data[i] = (i / 8) % 2 == 0 ? 0x77 : 0xFF;  // up, then down, in alternating groups
      if (c.Pattern == 2) data[i] = (i % 8) < 4 ? 0x7F : 0xF7;
    }
    TImaChannel ch[2] = {c.Left, c.Right};
    std::vector<uint8_t> out(505 * 4 + 4, 0xEE);
    ASSERT_EQ(DecodeImaStereo(ch, data.data(), data.size(), out.data()), 505u);
    const auto got = BytesToInt16(out.data(), 505 * 4);
    const auto want = RefImaStereoBlock({c.Left.Predictor, c.Left.StepIndex}, {c.Right.Predictor, c.Right.StepIndex}, data);
    ASSERT_EQ(want.size(), 505u * 2);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
      ASSERT_EQ(got[i], want[i]) << "pattern " << c.Pattern << ", frame " << i / 2 << (i % 2 ? " right" : " left");
    EXPECT_EQ(out[505 * 4], 0xEE);  // nothing written past the block
  }
}

TEST(MsAdpcm, DecodesTheListedNibbles) {
  const TMsCoefPair pair{256, 0};
  TMsChannel a{0, 16, 100, 0};
  EXPECT_EQ(DecodeMsNibble(a, pair, 1), 116);
  EXPECT_EQ(a.Delta, 16);  // 230 x 16 / 256 = 14, raised to 16
  EXPECT_EQ(a.Sample1, 116);
  EXPECT_EQ(a.Sample2, 100);
  TMsChannel b{0, 16, 100, 0};
  EXPECT_EQ(DecodeMsNibble(b, pair, 8), -28);
  EXPECT_EQ(b.Delta, 48);
}

TEST(MsAdpcm, PredictionTruncatesTowardZero) {
  const TMsCoefPair pair{460, -208};
  TMsChannel c{0, 16, -3, 1};  // (-1380 - 208) / 256 = -6.2 -> -6
  EXPECT_EQ(DecodeMsNibble(c, pair, 0), -6);
}

TEST(MsAdpcm, ExtremeSamplesCoefficientsAndDeltasNeitherOverflowNorWrap) {
  const TMsCoefPair pair{-32768, -32768};
  TMsChannel c{0, 32767, -32768, -32768};
  EXPECT_EQ(DecodeMsNibble(c, pair, 7), 32767);
  for (int i = 0; i < 100; ++i) DecodeMsNibble(c, pair, 8);  // adapt x 3 each time
  EXPECT_GT(c.Delta, 32767);  // kept wider than 16 bits, and bounded
  EXPECT_LE(c.Delta, std::numeric_limits<int32_t>::max() / 768);
}

TEST(MsAdpcm, BlockHeaderFillsBothChannelsAndClampsThePredictorIndex) {
  const uint8_t stereo[14] = {1, 9, 16, 0, 32, 0, 100, 0, 200, 0, 0xFF, 0xFF, 0xFE, 0xFF};
  TMsChannel c[2];
  ReadMsBlockHeader(stereo, 2, 7, c);
  EXPECT_EQ(c[0].Predictor, 1);
  EXPECT_EQ(c[1].Predictor, 6);  // 9 is not below 7 coefficient pairs
  EXPECT_EQ(c[0].Delta, 16);
  EXPECT_EQ(c[1].Delta, 32);
  EXPECT_EQ(c[0].Sample1, 100);
  EXPECT_EQ(c[1].Sample1, 200);
  EXPECT_EQ(c[0].Sample2, -1);
  EXPECT_EQ(c[1].Sample2, -2);
}

TEST(MsAdpcm, MonoBlockStartsWithSample2ThenSample1ThenHighNibbleFirst) {
  const TMsCoefPair coefs[1] = {{256, 0}};
  TMsChannel c{0, 16, 100, 50};
  const uint8_t data[1] = {0x18};  // high nibble 1, low nibble 8
  uint8_t out[8];
  EXPECT_EQ(DecodeMsMono(c, coefs, data, 1, out), 8u);
  const auto s = BytesToInt16(out, 8);
  EXPECT_EQ(s[0], 50);
  EXPECT_EQ(s[1], 100);
  EXPECT_EQ(s[2], 116);
  EXPECT_EQ(s[3], 116 - 128);
}

TEST(FloatToInt32, MapsTheRangeEndsNaNAndHalf) {
  EXPECT_EQ(FloatSampleToInt32(1.0), 2147483647);
  EXPECT_EQ(FloatSampleToInt32(7.5), 2147483647);
  EXPECT_EQ(FloatSampleToInt32(INFINITY), 2147483647);
  EXPECT_EQ(FloatSampleToInt32(-1.0), -2147483647 - 1);
  EXPECT_EQ(FloatSampleToInt32(-3.0), -2147483647 - 1);
  EXPECT_EQ(FloatSampleToInt32(NAN), -2147483647 - 1);
  EXPECT_EQ(FloatSampleToInt32(0.5), 1073741823);
  EXPECT_EQ(FloatSampleToInt32(-0.5), -1073741824);
  EXPECT_EQ(FloatSampleToInt32(0.0), 0);
}

TEST(FloatToInt32, ConvertsSinglesAndDoublesInPlaceToTheSameIntegers) {
  const double values[] = {0.5, -0.25, 1.0, NAN, 0.125, -1.0, 0.75, 2.0};
  TBytes singles(8 * 4);
  TBytes doubles(8 * 8);
  for (int i = 0; i < 8; ++i) {
    const float f = float(values[i]);
    std::memcpy(singles.data() + 4 * i, &f, 4);
    std::memcpy(doubles.data() + 8 * i, &values[i], 8);
  }
  SingleToInt32(singles.data(), 8);
  DoubleToInt32(doubles.data(), 8);
  for (int i = 0; i < 8; ++i) {
    int32_t s, d;
    std::memcpy(&s, singles.data() + 4 * i, 4);
    std::memcpy(&d, doubles.data() + 4 * i, 4);
    EXPECT_EQ(s, FloatSampleToInt32(values[i])) << i;
    EXPECT_EQ(d, s) << i;
  }
}
