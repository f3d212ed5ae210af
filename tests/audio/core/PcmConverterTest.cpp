// PCM format conversion and the WAV writer.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "CoreTestSupport.h"
#include "audio/core/PcmWavWriter.h"
#include "audio/core/TPcmConverter.h"

using namespace coretest;

namespace {

struct WidthCase {
  uint32_t Bits;
};

class ConverterWidths : public ::testing::TestWithParam<uint32_t> {};

// A 16-bit value written in Bits-wide little-endian PCM.
std::vector<uint8_t> Encode(int16_t Value, uint32_t Bits) {
  switch (Bits) {
    case 8:
      return {static_cast<uint8_t>((Value >> 8) + 128)};
    case 16:
      return {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8)};
    case 24:
      return {0, static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8)};
    default:
      return {0, 0, static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8)};
  }
}

}  // namespace

TEST_P(ConverterWidths, SampleWidthChangesKeepTheValueAtTheSameRate) {
  const uint32_t bits = GetParam();
  TPcmConverter toWide({16, 1, 8000}, {bits, 1, 8000});
  TPcmConverter back({bits, 1, 8000}, {16, 1, 8000});
  std::vector<uint8_t> in;
  const int16_t values[] = {0, 256, -256, 12800, -32768, 32512};
  for (int16_t v : values) {
    auto e = Encode(v, 16);
    in.insert(in.end(), e.begin(), e.end());
  }
  std::vector<uint8_t> wide;
  // Fed one byte at a time: partial frames are carried over.
  for (uint8_t byte : in) toWide.Convert(&byte, 1, wide);
  toWide.Drain(wide);
  std::vector<uint8_t> expected;
  for (int16_t v : values) {
    auto e = Encode(v, bits);
    expected.insert(expected.end(), e.begin(), e.end());
  }
  EXPECT_EQ(wide, expected);
  std::vector<uint8_t> round;
  back.Convert(wide.data(), wide.size(), round);
  back.Drain(round);
  EXPECT_EQ(round, in);
}

INSTANTIATE_TEST_SUITE_P(Bits, ConverterWidths, ::testing::Values(8u, 16u, 24u, 32u));

TEST(PcmConverter, UnplayableFormatsAreRefused) {
  EXPECT_THROW(TPcmConverter({12, 1, 8000}, {16, 1, 8000}), EAuException);
  EXPECT_THROW(TPcmConverter({16, 0, 8000}, {16, 1, 8000}), EAuException);
  EXPECT_THROW(TPcmConverter({16, 1, 8000}, {16, 1, 0}), EAuException);
}

TEST(PcmConverter, OutputLengthFollowsTheRateRatio) {
  TPcmConverter up({16, 1, 8000}, {16, 2, 48000});
  std::vector<uint8_t> in(8000 * 2, 0), out;
  up.Convert(in.data(), in.size(), out);
  up.Drain(out);
  EXPECT_NEAR(static_cast<double>(out.size() / 4), 48000.0, 1.0);
  EXPECT_EQ(up.OutputBytesFor(16000), 48000 * 4);
}

TEST(PcmWavWriter, WritesACanonicalHeaderAndPatchesTheSizesOnClose) {
  TempDir dir;
  const std::string path = dir.File("out.wav");
  const std::vector<uint8_t> pcm = Pattern(7);
  PcmWavWriter writer;
  writer.Open(path, {8, 1, 11025});
  writer.Write(pcm.data(), 3);
  writer.Write(pcm.data() + 3, 4);
  writer.Close();
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(file.size(), 44u + 8u);  // odd data chunk padded
  EXPECT_EQ(file, PcmWavWriter::Image({8, 1, 11025}, pcm.data(), pcm.size()));
  auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, &file[at], 4);
    return v;
  };
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(u32(4), 44u);  // 36 + padded data
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(u32(24), 11025u);
  EXPECT_EQ(u32(28), 11025u);
  EXPECT_EQ(u32(40), 7u);
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + 44));
}

TEST(PcmWavWriter, RefusesAnUnplayableFormatAndAnUncreatableFile) {
  TempDir dir;
  PcmWavWriter writer;
  EXPECT_THROW(writer.Open(dir.File("a.wav"), {12, 1, 8000}), EAuException);
  EXPECT_THROW(writer.Open(dir.File("no/dir/a.wav"), {16, 1, 8000}), EAuException);
  EXPECT_FALSE(writer.IsOpen());
}
