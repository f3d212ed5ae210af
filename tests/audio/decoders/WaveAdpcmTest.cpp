// IMA and MS ADPCM nibble arithmetic and block layouts, and float conversion.

#include <gtest/gtest.h>

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

TEST(ImaAdpcm, StereoBlockOf512BytesYields505FramesFromAlternatingGroupsOfFour) {
  TBytes data(504, 0);
  data[0] = 0x07;  // left, first nibble 7
  data[4] = 0x0F;  // right, first nibble 15
  data[8] = 0x70;  // left again: the channel's nibbles 16 and 17
  TImaChannel ch[2] = {{100, 0}, {-100, 0}};
  std::vector<uint8_t> out(505 * 4 + 4, 0xEE);
  EXPECT_EQ(DecodeImaStereo(ch, data.data(), data.size(), out.data()), 505u);
  const auto s = BytesToInt16(out.data(), 505 * 4);
  EXPECT_EQ(s[0], 100);
  EXPECT_EQ(s[1], -100);
  EXPECT_EQ(s[2], 111);   // frame 1 left
  EXPECT_EQ(s[3], -111);  // frame 1 right
  EXPECT_EQ(out[505 * 4], 0xEE);
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
