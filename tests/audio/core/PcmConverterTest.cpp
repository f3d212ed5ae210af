// PCM format conversion and the WAV writer.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <tuple>

#include "CoreTestSupport.h"
#include "audio/core/PcmWavWriter.h"
#include "audio/core/TPcmConverter.h"
#include "support/Mp3Encoder.h"

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
  TTempFolder dir;
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
  TTempFolder dir;
  PcmWavWriter writer;
  EXPECT_THROW(writer.Open(dir.File("a.wav"), {12, 1, 8000}), EAuException);
  EXPECT_THROW(writer.Open(dir.File("no/dir/a.wav"), {16, 1, 8000}), EAuException);
  EXPECT_THROW(writer.Open(dir.File("a.wav"), {16, 2, 8000}, {true, 24, 3}), EAuException);  // valid bits > width
  EXPECT_THROW(PcmWavWriter::Image({16, 2, 8000}, nullptr, 0, {true, 17, 3}), EAuException);
  EXPECT_FALSE(writer.IsOpen());
}

namespace {

std::vector<uint8_t> ReadWholeFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le(const std::vector<uint8_t>& Bytes, size_t At, size_t Width) {
  uint32_t v = 0;
  for (size_t i = 0; i < Width; ++i) v |= uint32_t(Bytes.at(At + i)) << (8 * i);
  return v;
}

}  // namespace

TEST(PcmWavWriter, ExtensibleFormCarriesTheMaskTheValidBitsAndThePcmSubFormat) {
  TTempFolder dir;
  const std::string path = dir.File("six.wav");
  const TPcmFormat six{24, 6, 48000};
  const TWavFmtForm form{true, 20, 0x3F};
  const std::vector<uint8_t> pcm = Pattern(18 * 5 + 1);  // five frames and an odd byte
  PcmWavWriter writer;
  writer.Open(path, six, form);
  writer.Write(pcm.data(), 40);
  writer.Write(pcm.data() + 40, pcm.size() - 40);
  writer.Close();
  const std::vector<uint8_t> file = ReadWholeFile(path);
  ASSERT_EQ(file.size(), 68u + pcm.size() + 1);  // odd data chunk padded
  EXPECT_EQ(file, PcmWavWriter::Image(six, pcm.data(), pcm.size(), form));
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(Le(file, 4, 4), 60u + pcm.size() + 1);
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le(file, 16, 4), 40u);      // fmt chunk size
  EXPECT_EQ(Le(file, 20, 2), 0xFFFEu);  // extensible tag
  EXPECT_EQ(Le(file, 22, 2), 6u);
  EXPECT_EQ(Le(file, 24, 4), 48000u);
  EXPECT_EQ(Le(file, 28, 4), 48000u * 18);
  EXPECT_EQ(Le(file, 32, 2), 18u);
  EXPECT_EQ(Le(file, 34, 2), 24u);
  EXPECT_EQ(Le(file, 36, 2), 22u);  // extension size
  EXPECT_EQ(Le(file, 38, 2), 20u);  // valid bits
  EXPECT_EQ(Le(file, 40, 4), 0x3Fu);
  const std::vector<uint8_t> pcmSubFormat = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                             0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 44, file.begin() + 60), pcmSubFormat);
  EXPECT_EQ(std::string(file.begin() + 60, file.begin() + 64), "data");
  EXPECT_EQ(Le(file, 64, 4), pcm.size());
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + 68));
}

// Format, and whether the extensible form is used.
class WavWriterReadBack : public ::testing::TestWithParam<std::tuple<TPcmFormat, bool>> {};

TEST_P(WavWriterReadBack, LibavformatReadsTheSameFormatAndSamplesBack) {
  const auto [format, extensible] = GetParam();
  TTempFolder dir;
  const std::string path = dir.File("back.wav");
  const std::vector<uint8_t> pcm = Pattern(size_t(format.FrameSize()) * 1000, 5);
  PcmWavWriter::WriteFile(path, format, pcm.data(), pcm.size(), {extensible, 0, 0});
  const TReferenceDecode back = DecodeWithLibav(path, int(format.BitsPerSample));
  ASSERT_TRUE(back.Ok);
  EXPECT_EQ(back.Channels, int(format.Channels));
  EXPECT_EQ(back.SampleRate, int(format.SampleRate));
  // 24-bit samples come back as the top three bytes of 32-bit ones.
  std::vector<uint8_t> expected;
  if (format.BitsPerSample == 24) {
    for (size_t i = 0; i < pcm.size(); i += 3) expected.insert(expected.end(), {0, pcm[i], pcm[i + 1], pcm[i + 2]});
  } else {
    expected = pcm;
  }
  EXPECT_EQ(back.Pcm, expected);
}

INSTANTIATE_TEST_SUITE_P(Forms, WavWriterReadBack,
                         ::testing::Combine(::testing::Values(TPcmFormat{8, 1, 11025}, TPcmFormat{16, 2, 44100},
                                                              TPcmFormat{24, 2, 48000}, TPcmFormat{16, 6, 48000},
                                                              TPcmFormat{32, 3, 22050}),
                                            ::testing::Bool()),
                         [](const ::testing::TestParamInfo<WavWriterReadBack::ParamType>& Info) {
                           const TPcmFormat& format = std::get<0>(Info.param);
                           return std::to_string(format.BitsPerSample) + "Bit" + std::to_string(format.Channels) +
                                  (std::get<1>(Info.param) ? "ChannelsExtensible" : "ChannelsPlain");
                         });
