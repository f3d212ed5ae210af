// TWaveConverter (loading, converting, writing the PCM image) and MPEG
// layer 3 WAV files read through TWaveIn.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <iterator>

#include "WaveTestUtil.h"
#include "audio/decoders/TWaveConverter.h"
#include "support/AvCodecAudio.h"

namespace {

TFmtFields Mp3Fmt(uint16_t channels, uint32_t rate) {
  TFmtFields f;
  f.Tag = 0x55;
  f.Channels = channels;
  f.SampleRate = rate;
  f.BlockAlign = 1;
  f.BitsPerSample = 0;
  f.WithExtraSize = true;
  f.Extra = TBytes(12, 0);
  return f;
}

double Rms(const std::vector<int16_t>& s) {
  double sum = 0;
  for (int16_t v : s) sum += double(v) * v;
  return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
}

// Encodes a test tone as MPEG layer 3 in WAV, or explains why not.
std::optional<TBytes> Mp3Wav(int channels, int rate, size_t frames, TEncodedAudio* encodedOut = nullptr) {
  std::string why;
  const auto encoded = EncodeMp3(TestSignal(frames, channels, 4), channels, rate, 128, &why);
  if (!encoded) {
    std::printf("[ skip ] %s\n", why.c_str());
    return std::nullopt;
  }
  if (encodedOut != nullptr) *encodedOut = *encoded;
  return MakeMp3Wav(*encoded, channels, rate, 128);
}

}  // namespace

TEST(WaveConverterLoad, FindsFmtAndDataAtAnyBytePositionAndKeepsA16ByteFmtsExtraSizeZero) {
  TWavBuilder b;
  b.Header().Raw("xx").Chunk("fmt ", TBytes(16, 7)).Raw("abc");
  b.Chunk("data", TBytes{1, 2, 3, 4, 5});
  TMemoryStream source(b.Bytes());
  TWaveConverter c;
  c.ReadWave(source);
  EXPECT_EQ(c.Data(), (TBytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(c.SourceFormat.FormatTag(), 0x0707);
  EXPECT_EQ(c.SourceFormat.ExtraSize(), 0);
  EXPECT_EQ(c.Position(), 0);
}

TEST(WaveConverterLoad, LoadsNothingWithoutAnExactRiffWaveStart) {
  TWavBuilder lower;
  lower.Raw("riff").Raw(TBytes(4, 0)).Raw("WAVE").Fmt(Mp3Fmt(1, 8000)).Data(TBytes(10, 1));
  TWavBuilder shifted;
  shifted.Raw("x").Header().Fmt(Mp3Fmt(1, 8000)).Data(TBytes(10, 1));
  for (const TBytes& file : {lower.Bytes(), shifted.Bytes()}) {
    TMemoryStream source(file);
    TWaveConverter c;
    c.ReadWave(source);
    EXPECT_TRUE(c.Data().empty());
    EXPECT_EQ(c.SourceFormat.FormatTag(), 0);
  }
}

TEST(WaveConverterLoad, HoldsNothingForAMissingOrEmptyDataChunk) {
  TWavBuilder none;
  none.Header().Fmt(Mp3Fmt(1, 8000)).Fact(10);
  TWavBuilder empty;
  empty.Header().Fmt(Mp3Fmt(1, 8000)).Fact(10).Data({});
  for (const TBytes& file : {none.Bytes(), empty.Bytes()}) {
    TMemoryStream source(file);
    TWaveConverter c;
    c.ReadWave(source);
    EXPECT_TRUE(c.Data().empty());
    EXPECT_EQ(c.SourceFormat.FormatTag(), 0x55);
  }
}

TEST(WaveConverterLoad, KeepsTheAudioWhenTextAfterItSpellsDataOrAnOverlongSize) {
  TBytes text;
  for (char ch : std::string("comment: data")) text.push_back(uint8_t(ch));
  PutLE32(text, 3);
  text.insert(text.end(), {9, 9, 9});
  TWavBuilder b;
  b.Header().Fmt(Mp3Fmt(1, 8000)).Data(TBytes{1, 2, 3, 4}, 1000).Chunk("LIST", text);
  TMemoryStream source(b.Bytes());
  TWaveConverter c;
  c.ReadWave(source);
  ASSERT_GE(c.Data().size(), 4u);
  EXPECT_EQ(TBytes(c.Data().begin(), c.Data().begin() + 4), (TBytes{1, 2, 3, 4}));
  EXPECT_LE(c.Data().size(), b.Bytes().size());  // an overlong size reads what is there
}

TEST(WaveConverterWrite, WritesA44ByteHeaderWithA16ByteFmtWhateverTheExtraSize) {
  TWaveConverter c;
  c.SourceFormat.SetFormatTag(1);
  c.SourceFormat.SetChannels(2);
  c.SourceFormat.SetSamplesPerSec(22050);
  c.SourceFormat.SetAvgBytesPerSec(88200);
  c.SourceFormat.SetBlockAlign(4);
  c.SourceFormat.SetBitsPerSample(16);
  c.SourceFormat.SetExtraSize(22);
  c.Write("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
  c.Seek(3, soBeginning);
  TMemoryStream image;
  EXPECT_EQ(c.WriteWave(image), 0u);
  EXPECT_EQ(c.Position(), 3);  // the converter's position is kept
  const TBytes& b = image.Data();
  ASSERT_EQ(b.size(), 52u);
  EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
  EXPECT_EQ(LoadLE32(b.data() + 4), 44u);
  EXPECT_EQ(std::memcmp(b.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(LoadLE32(b.data() + 16), 16u);
  EXPECT_EQ(std::memcmp(b.data() + 20, c.SourceFormat.Bytes.data(), 16), 0);
  EXPECT_EQ(std::memcmp(b.data() + 36, "data", 4), 0);
  EXPECT_EQ(LoadLE32(b.data() + 40), 8u);
  EXPECT_EQ(b[44], 1);
  EXPECT_EQ(b[51], 8);
}

TEST(WaveConverterConvert, LeavesContentAndFormatAsLoadedWhenTheCodecRefuses) {
  TWaveConverter c;
  c.SourceFormat.SetFormatTag(0x55);
  c.SourceFormat.SetChannels(7);  // no MPEG layer 3 stream has 7 channels
  c.SourceFormat.SetSamplesPerSec(44100);
  c.Write("abcd", 4);
  c.TargetFormat.SetFormatTag(1);
  EXPECT_NE(CodecSuggestFormat(c.SourceFormat, c.TargetFormat, kWaveFormatRecordBytes, kSuggestRestrictFormatTag), 0u);
  EXPECT_NE(c.Convert(), 0u);
  EXPECT_EQ(c.Size(), 4);
  EXPECT_EQ(c.SourceFormat.Channels(), 7);
}

TEST(WaveConverterConvert, DecodesWholeFramesOnlyAndDescribesTheDataByTheTarget) {
  TEncodedAudio encoded;
  const auto file = Mp3Wav(2, 44100, 44100, &encoded);
  if (!file) GTEST_SKIP() << "no MP3 encoder";
  // The encoder's packets are the MPEG frames; a cut of fewer bytes than the
  // last frame holds leaves that frame incomplete, a cut of exactly its size
  // removes it whole.
  ASSERT_GT(encoded.PacketBytes.size(), 2u);
  const size_t lastFrame = encoded.PacketBytes.back();
  for (size_t cut : {size_t(0), size_t(1), size_t(100), lastFrame - 1, lastFrame, lastFrame + 1}) {
    TBytes data = encoded.Data;
    data.resize(data.size() - cut);
    size_t wholeFrames = 0;
    for (size_t at = 0, i = 0; i < encoded.PacketBytes.size() && at + encoded.PacketBytes[i] <= data.size(); ++i) {
      at += encoded.PacketBytes[i];
      ++wholeFrames;
    }
    TMemoryStream source(MakeMp3Wav(TEncodedAudio{data, {}, 1, 1152, 0, {}}, 2, 44100, 128));
    TWaveConverter c;
    c.ReadWave(source);
    c.TargetFormat.SetFormatTag(1);
    ASSERT_EQ(CodecSuggestFormat(c.SourceFormat, c.TargetFormat, kWaveFormatRecordBytes, kSuggestRestrictFormatTag), 0u);
    ASSERT_EQ(c.Convert(), 0u);
    EXPECT_EQ(c.SourceFormat.FormatTag(), 1);
    EXPECT_EQ(c.SourceFormat.BitsPerSample(), 16);
    EXPECT_EQ(c.SourceFormat.Channels(), 2);
    EXPECT_EQ(c.Size(), int64_t(wholeFrames) * 1152 * 4) << "cut " << cut << " of " << encoded.PacketBytes.size() << " frames";
  }
}

TEST(WaveMp3In, PlaysAsPcmOfTheSuggestedFormat) {
  for (int channels : {1, 2}) {
    TEncodedAudio encoded;
    const auto file = Mp3Wav(channels, 44100, 30000, &encoded);
    if (!file) GTEST_SKIP() << "no MP3 encoder";
    TMemoryWave w(*file);
    ASSERT_TRUE(w.In->Valid());
    EXPECT_EQ(w.In->WaveKind(), wkCodecManager);
    EXPECT_EQ(w.In->Channels(), uint32_t(channels));
    EXPECT_EQ(w.In->SampleRate(), 44100u);
    EXPECT_EQ(w.In->BitsPerSample(), 16u);
    const TBytes pcm = PullAll(*w.In, 4096);
    EXPECT_EQ(int64_t(pcm.size()), w.In->Size.load());
    // The encoder adds about one frame of delay and pads the last frame.
    EXPECT_GE(pcm.size(), 30000u * 2 * size_t(channels));
    EXPECT_LE(pcm.size(), (30000u + 3 * 1152) * 2 * size_t(channels));
    const auto samples = BytesToInt16(pcm.data(), pcm.size());
    EXPECT_GT(Rms(samples), 0.5 * Rms(TestSignal(30000, channels, 4)));
    w.In->Init();
    EXPECT_FALSE(w.In->Seek(100));  // converted data is not seekable
    w.In->Flush();
  }
}

TEST(WaveMp3In, IsNotValidAndStaysClosedWhenNothingDecodes) {
  TWavBuilder b;
  b.Header().Fmt(Mp3Fmt(2, 44100)).Fact(1000).Data(TBytes(5000, 0x11));
  TTempFile file(b.Bytes());
  auto reader = MakeComponent<TWaveIn>();
  reader->SetFileName(file.Path());
  EXPECT_FALSE(reader->Valid());  // data, but not one frame in it
  EXPECT_EQ(reader->WaveKind(), wkCodecManager);
  // A caller's stream is rewound, so asking again gives the same answer.
  TMemoryStream stream(b.Bytes());
  auto streamed = MakeComponent<TWaveIn>();
  streamed->SetStream(&stream);
  EXPECT_FALSE(streamed->Valid());
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_FALSE(streamed->Valid());
  EXPECT_EQ(streamed->WaveKind(), wkCodecManager);
  TWavBuilder bad;
  bad.Header().Fmt(Mp3Fmt(2, 44101)).Fact(1000).Data(TBytes(5000, 0x11));  // no MPEG rate
  TTempFile badFile(bad.Bytes());
  reader->SetFileName(badFile.Path());
  EXPECT_FALSE(reader->Valid());
  EXPECT_EQ(reader->WaveKind(), wkCodecManager);
  // A length or format query that meets the failed conversion keeps no file open either.
  auto descriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
  };
  const auto before = descriptors();
  EXPECT_EQ(reader->TotalTime(), 0);
  EXPECT_EQ(reader->Channels(), 0u);
  EXPECT_EQ(descriptors(), before);
}
