#include <gtest/gtest.h>

#include <memory>
#include <ostream>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

#include <type_traits>

#include "audio/core/TStream.h"
#include "audio/decoders/MediaTestFiles.h"
#include "audio/decoders/TMP3In.h"
#include "audio/decoders/WmaSyncReader.h"
#include "support/WavBuilder.h"
// The sound output's format type lives in the same program as the reader's:
// this file only compiles while their names differ.
#include "audio/output/TSoundSystem.h"

namespace {

struct Format {
  int32_t Channels = 0, Bits = 0;
  uint32_t Rate = 0;
  bool operator==(const Format&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Format& f) {
  return os << f.Channels << " ch " << f.Bits << " bits " << f.Rate << " Hz";
}

// A reader context over an in-memory copy of a file (the program's stream).
struct OpenedReader {
  std::unique_ptr<TStream> Stream;
  wma_sync_reader Context;

  OpenedReader(const std::string& path, bool highPrecision, int channelCode)
      : Stream(std::make_unique<TMemoryStream>(TMediaTestFiles::ReadBytes(path))) {
    wma_open(Context, Stream.get(), highPrecision, channelCode);
  }
  ~OpenedReader() { wma_close(Context); }

  Format Chosen() const {
    Format f;
    wma_get_format(Context, f.Channels, f.Bits, f.Rate);
    return f;
  }
  // Every byte the reader hands out, pulled in blocks of at most `block`.
  std::vector<uint8_t> Drain(uint32_t block) {
    std::vector<uint8_t> out;
    for (;;) {
      const uint8_t* data = nullptr;
      uint32_t bytes = block;
      wma_get_data(Context, data, bytes);
      if (bytes == 0) return out;
      out.insert(out.end(), data, data + bytes);
    }
  }
};

struct ChoiceCase {
  const char* Name;
  std::string TMediaTestFiles::*File;
  bool HighPrecision;
  int ChannelCode;
  bool Found;
  Format Expected;
};

class MediaReaderFormatChoice : public ::testing::TestWithParam<ChoiceCase> {};

}  // namespace

TEST_P(MediaReaderFormatChoice, PicksTheFormatTheChannelRequestAsksFor) {
  const ChoiceCase& c = GetParam();
  OpenedReader r(TMediaTestFiles::Get().*c.File, c.HighPrecision, c.ChannelCode);
  ASSERT_NE(r.Context.Reader, nullptr);
  EXPECT_EQ(r.Context.FormatFound, c.Found);
  if (c.Found) {
    EXPECT_EQ(r.Chosen(), c.Expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, MediaReaderFormatChoice,
    ::testing::Values(
        ChoiceCase{"OwnFormatSixteenBits", &TMediaTestFiles::StereoMp3, false, 0, true, {2, 16, 44100}},
        ChoiceCase{"OwnFormatHighPrecision", &TMediaTestFiles::StereoMp3, true, 0, true, {2, 32, 44100}},
        ChoiceCase{"MonoStaysMono", &TMediaTestFiles::MonoMp3, false, 0, true, {1, 16, 22050}},
        ChoiceCase{"RichestOfStereo", &TMediaTestFiles::StereoMp3, true, -1, true, {2, 32, 44100}},
        ChoiceCase{"RichestOfSevenOne", &TMediaTestFiles::Surround71Wav, true, -1, true, {8, 32, 48000}},
        ChoiceCase{"SixChannelsOfStereoMissing", &TMediaTestFiles::StereoMp3, true, 6, false, {}},
        ChoiceCase{"SixChannelsOfFiveOne", &TMediaTestFiles::Surround51Wav, true, 6, true, {6, 32, 48000}},
        ChoiceCase{"SixChannelsMixedFromSevenOne", &TMediaTestFiles::Surround71Wav, true, 6, true, {6, 32, 48000}},
        ChoiceCase{"EightChannelsOfFiveOneMissing", &TMediaTestFiles::Surround51Wav, true, 8, false, {}},
        ChoiceCase{"EightChannelsOfSevenOne", &TMediaTestFiles::Surround71Wav, false, 8, true, {8, 16, 48000}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MediaReader, DeliversEveryChosenWidthWithTheSameSignal) {
  // The same file read at 8, 16, 24 and 32 bits: each narrower sample is the
  // top bits of the 32-bit one (within one step of rounding).
  const std::string& path = TMediaTestFiles::Get().Surround71Wav;
  OpenedReader wide(path, true, -1);
  auto w32 = wide.Drain(1 << 20);
  ASSERT_EQ(wide.Chosen().Bits, 32);
  ASSERT_EQ(w32.size() % 32, 0u);
  const size_t samples = w32.size() / 4;
  ASSERT_GT(samples, 1000u);
  auto s32 = [&](size_t i) { return int32_t(uint32_t(w32[4 * i]) | uint32_t(w32[4 * i + 1]) << 8 |
                                            uint32_t(w32[4 * i + 2]) << 16 | uint32_t(w32[4 * i + 3]) << 24); };

  OpenedReader sixteen(path, false, 8);
  auto w16 = sixteen.Drain(1 << 20);
  ASSERT_EQ(w16.size(), samples * 2);
  for (size_t i = 0; i < samples; i += 97)
    EXPECT_EQ(int16_t(w16[2 * i] | w16[2 * i + 1] << 8), s32(i) >> 16) << i;

  // 24 bits: read through the context's own format walk by hand.
  wma_sync_reader c24;
  TMemoryStream stream(TMediaTestFiles::ReadBytes(path));
  wma_open(c24, &stream, true, 8);
  ASSERT_TRUE(c24.FormatFound);
  ASSERT_TRUE(c24.Reader->SetOutputProps(c24.OutputNumber, {8, 48000, 24}));
  ASSERT_TRUE(c24.Reader->SetReadStreamSamples(c24.StreamNumber));
  std::vector<uint8_t> w24;
  for (;;) {
    const uint8_t* data = nullptr;
    uint32_t bytes = 1 << 20;
    wma_get_data(c24, data, bytes);
    if (bytes == 0) break;
    w24.insert(w24.end(), data, data + bytes);
  }
  wma_close(c24);
  ASSERT_EQ(w24.size(), samples * 3);
  for (size_t i = 0; i < samples; i += 89) {
    int32_t v = int32_t(uint32_t(w24[3 * i]) << 8 | uint32_t(w24[3 * i + 1]) << 16 | uint32_t(w24[3 * i + 2]) << 24) >> 8;
    EXPECT_EQ(v, s32(i) >> 8) << i;
  }
}

TEST(MediaReader, ReadsTheDurationAndTextAttributesFromTheContainer) {
  OpenedReader r(TMediaTestFiles::Get().StereoMp3, false, 0);
  ASSERT_TRUE(r.Context.FormatFound);
  // 2 s of audio; the container counts whole MP3 frames, encoder delay and
  // padding included, so its figure may be a few hundredths longer.
  EXPECT_GE(wma_duration_cs(r.Context), 200u);
  EXPECT_LE(wma_duration_cs(r.Context), 206u);
  std::wstring text;
  EXPECT_TRUE(wma_get_attribute(r.Context, "Author", text));
  EXPECT_EQ(text, L"\u00c1rv\u00edzt\u0171r\u0151");
  EXPECT_TRUE(wma_get_attribute(r.Context, "WM/Year", text));
  EXPECT_EQ(text, L"2024");
  EXPECT_TRUE(wma_get_attribute(r.Context, "Copyright", text));
  EXPECT_EQ(text, L"(c) MAV");
  EXPECT_FALSE(wma_get_attribute(r.Context, "WM/Composer", text));
  EXPECT_EQ(text, L"");
}

TEST(MediaReader, RoundsDurationsToHundredthsHalfToEven) {
  wma_sync_reader c;
  c.Duration = 1234560000;  // 123.456 s
  EXPECT_EQ(wma_duration_cs(c), 12346u);
  c.Duration = 250000;  // 2.5 cs
  EXPECT_EQ(wma_duration_cs(c), 2u);
  c.Duration = 350000;
  EXPECT_EQ(wma_duration_cs(c), 4u);
  c.Duration = 0;
  EXPECT_EQ(wma_duration_cs(c), 0u);
  EXPECT_EQ(RoundDivHalfEven(-5, 10), 0);
  EXPECT_EQ(RoundDivHalfEven(-15, 10), -2);
}

TEST(MediaReader, LengthOfADeclaredDurationSaturatesInsteadOfOverflowing) {
  int64_t samples = 0, size = 0;
  PcmLengthOfDuration(12346, 44100, 4, samples, size);  // 123.46 s of 16-bit stereo
  EXPECT_EQ(samples, 5444586);
  EXPECT_EQ(size, 5444586 * 4);
  // A container may claim 497 days at 2 GHz in 255 channels of 32 bits.
  PcmLengthOfDuration(UINT32_MAX, INT32_MAX, 255 * 4, samples, size);
  EXPECT_EQ(samples, INT64_MAX / 1020);
  EXPECT_EQ(size, samples * 1020);
  EXPECT_GT(size, 0);
  PcmLengthOfDuration(UINT32_MAX, UINT32_MAX, 0, samples, size);  // no format chosen
  EXPECT_EQ(size, 0);
}

TEST(MediaReader, HandsOutAtMostTheRestOfTheCurrentSample) {
  OpenedReader whole(TMediaTestFiles::Get().StereoMp3, false, 0);
  const uint8_t* data = nullptr;
  uint32_t first = 1 << 20;
  wma_get_data(whole.Context, data, first);
  ASSERT_GT(first, 0u);
  ASSERT_LT(first, 1u << 20);  // one decoded sample, not the whole file

  OpenedReader parts(TMediaTestFiles::Get().StereoMp3, false, 0);
  uint32_t a = 10;
  wma_get_data(parts.Context, data, a);
  EXPECT_EQ(a, 10u);
  uint32_t b = 1 << 20;
  wma_get_data(parts.Context, data, b);
  EXPECT_EQ(a + b, first);
  uint32_t zero = 0;
  wma_get_data(parts.Context, data, zero);
  EXPECT_EQ(zero, 0u);
  EXPECT_EQ(data, nullptr);
}

TEST(MediaReader, SeeksByTimeAndDropsWhatWasLeftOfTheOldSample) {
  OpenedReader r(TMediaTestFiles::Get().RampWav, false, 0);
  ASSERT_TRUE(r.Context.FormatFound);
  const uint8_t* data = nullptr;
  uint32_t bytes = 10;
  wma_get_data(r.Context, data, bytes);
  ASSERT_TRUE(wma_seek(r.Context, 50));  // 0.5 s = sample 22050
  bytes = 4;
  wma_get_data(r.Context, data, bytes);
  ASSERT_EQ(bytes, 4u);
  EXPECT_EQ(int16_t(data[0] | data[1] << 8), 22050);
  EXPECT_EQ(int16_t(data[2] | data[3] << 8), 22051);
}

TEST(MediaReader, TriesAgainFromByteThirtyWhenTheStartIsNotAMediaFile) {
  OpenedReader r(TMediaTestFiles::Get().JunkThenWav, false, 0);
  ASSERT_NE(r.Context.Reader, nullptr);
  ASSERT_TRUE(r.Context.FormatFound);
  EXPECT_EQ(r.Chosen(), (Format{1, 16, 44100}));
  auto pcm = r.Drain(4096);
  ASSERT_EQ(pcm.size(), 88200u * 2);
  EXPECT_EQ(int16_t(pcm[2 * 1234] | pcm[2 * 1234 + 1] << 8), 1234);
}

TEST(MediaReader, RefusesFilesWithoutReadableAudioWithoutCrashing) {
  const auto& f = TMediaTestFiles::Get();
  for (const std::string* path : {&f.EmptyFile, &f.GarbageFile}) {
    OpenedReader r(*path, false, 0);
    EXPECT_EQ(r.Context.Reader, nullptr) << *path;
    EXPECT_FALSE(r.Context.FormatFound);
    EXPECT_TRUE(r.Drain(4096).empty());
    EXPECT_FALSE(wma_seek(r.Context, 10));
    std::wstring text;
    EXPECT_FALSE(wma_get_attribute(r.Context, "Title", text));
  }
  OpenedReader subtitles(f.SubtitleFile, false, 0);
  EXPECT_NE(subtitles.Context.Reader, nullptr);
  EXPECT_FALSE(subtitles.Context.FormatFound);
  EXPECT_EQ(subtitles.Chosen(), Format{});
  EXPECT_TRUE(subtitles.Drain(4096).empty());

  wma_sync_reader none;
  wma_open(none, nullptr, false, 0);
  EXPECT_EQ(none.Reader, nullptr);
}

TEST(MediaReader, DecodesATruncatedMp3UpToWhereItEnds) {
  OpenedReader whole(TMediaTestFiles::Get().StereoMp3, false, 0);
  OpenedReader cut(TMediaTestFiles::Get().TruncatedMp3, false, 0);
  ASSERT_TRUE(cut.Context.FormatFound);
  auto all = whole.Drain(65536);
  auto part = cut.Drain(65536);
  EXPECT_GT(part.size(), all.size() / 4);
  EXPECT_LT(part.size(), all.size() * 3 / 4);
}

TEST(MediaReader, ReaderFormatAndSoundOutputFormatAreDistinctTypes) {
  static_assert(!std::is_same_v<TReaderFormat, TWaveFormat>);
  TReaderFormat reader{2, 44100, 16};
  TWaveFormat device;
  device.Channels = reader.Channels;
  device.SamplesPerSec = reader.SampleRate;
  device.BitsPerSample = reader.BitsPerSample;
  EXPECT_EQ(device.Channels * device.BitsPerSample / 8, 4);
}

namespace {

// A Sony Wave64 file behind 30 zero bytes (so the reader finds it on its
// second try, from byte 30): "riff" and "wave" headers, a "fmt " chunk and a
// "junk" chunk whose size sends libavformat to just below 2^63.
std::vector<uint8_t> Wave64WithHugeJunkChunk() {
  const uint8_t suffix[12] = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};
  std::vector<uint8_t> b(30, 0);
  auto le64 = [&](uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(uint8_t(v >> (8 * i)));
  };
  auto guid = [&](const char* tag, const uint8_t* rest) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(tag[i]));
    for (int i = 0; i < 12; ++i) b.push_back(rest[i]);
  };
  const uint8_t riff[12] = {0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
  guid("riff", riff);
  le64(136);
  guid("wave", suffix);
  guid("fmt ", suffix);
  le64(24 + 48);
  const uint8_t fmt[16] = {1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0};  // PCM mono 8 kHz 16 bits
  b.insert(b.end(), fmt, fmt + 16);
  b.resize(b.size() + 32, 0);
  guid("junk", suffix);
  le64(0x7FFFFFFFFFFFFF77ull);
  return b;
}

}  // namespace

TEST(MediaReader, AdapterRefusesSeeksNoStreamPositionCanHold) {
  TMemoryStream stream(std::vector<uint8_t>(166, 0));
  TAudioStream adapter(&stream, 30);
  AVIOContext* io = adapter.Context();
  EXPECT_EQ(avio_seek(io, 100, SEEK_SET), 100);
  EXPECT_EQ(avio_seek(io, INT64_MAX - 23, SEEK_SET), AVERROR(EINVAL));  // beyond INT64_MAX with the origin
  EXPECT_EQ(avio_seek(io, INT64_MAX - 30, SEEK_SET), INT64_MAX - 30);   // the last reachable byte
  EXPECT_EQ(avio_seek(io, 0, SEEK_SET), 0);
  EXPECT_EQ(stream.Seek(0, soCurrent), 30);
  EXPECT_EQ(avio_size(io), 136);
}

TEST(MediaReader, RefusesAWave64FileWithAChunkSizeNear2To63) {
  const auto bytes = Wave64WithHugeJunkChunk();
  ASSERT_EQ(bytes.size(), 166u);
  TMemoryStream memory(bytes);
  wma_sync_reader context;
  wma_open(context, &memory, false, 0);
  EXPECT_FALSE(context.FormatFound);
  wma_close(context);

  // The same through a file, as the window opens a clip not named ".wav".
  TTempFile file(bytes, ".w64");
  auto input = MakeComponent<TMP3In>();
  input->SetFileName(file.Path());
  EXPECT_FALSE(input->Valid());
  EXPECT_EQ(input->TotalTime(), 0);
}
