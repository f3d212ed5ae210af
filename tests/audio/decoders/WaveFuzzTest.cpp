// Thousands of damaged variants of valid WAV files go through Valid, the
// length queries and a full pass: nothing may crash, read out of bounds or
// overflow (the sanitizer builds check that), and what is delivered must keep
// the stream contract.

#include <gtest/gtest.h>

#include <random>

extern "C" {
#include <libavutil/log.h>
}

#include "WaveTestUtil.h"
#include "support/AvCodecAudio.h"

namespace {

std::vector<TBytes> Seeds() {
  std::vector<TBytes> seeds;
  const std::vector<int16_t> mono = TestSignal(1500, 1, 11);
  const std::vector<int16_t> stereo = TestSignal(1500, 2, 12);
  TFmtFields pcm;
  seeds.push_back(MakeWav(pcm, Int16Bytes(stereo)));
  pcm.Channels = 1;
  pcm.BitsPerSample = 24;
  seeds.push_back(MakeWav(pcm, TBytes(3 * 700, 0x40)));
  TFmtFields f;
  f.Tag = 3;
  f.BitsPerSample = 64;
  seeds.push_back(MakeWav(f, TBytes(16 * 100, 0x3F)));
  TWavBuilder ext;
  ext.Header().Chunk("fmt ", ExtensibleFmtPayload(2, 48000, 32, 3)).Chunk("LIST", TBytes(5, 'x')).Data(TBytes(800, 0x3E));
  seeds.push_back(ext.Bytes());
  for (const char* codec : {"adpcm_ima_wav", "adpcm_ms"}) {
    if (auto e = EncodeAdpcm(codec, mono, 1, 22050, 256)) seeds.push_back(MakeAdpcmWav(codec, *e, 1, 22050));
    if (auto e = EncodeAdpcm(codec, stereo, 2, 22050, 512)) seeds.push_back(MakeAdpcmWav(codec, *e, 2, 22050));
  }
  if (auto e = EncodeMp3(TestSignal(4000, 2, 13), 2, 44100, 128)) seeds.push_back(MakeMp3Wav(*e, 2, 44100, 128));
  return seeds;
}

// Values that break naive arithmetic on header fields.
constexpr uint32_t kNasty[] = {0, 1, 2, 3, 7, 8, 0x58, 0x59, 0xFF, 0x7FFF, 0x8000, 0xFFFF, 0x10000, 0x7FFFFFFF,
                               0x80000000u, 0xFFFFFFFFu};

TBytes Mutate(const TBytes& seed, std::mt19937& rng) {
  TBytes b = seed;
  const size_t header = std::min<size_t>(b.size(), 140);
  const int edits = 1 + int(rng() % 4);
  for (int e = 0; e < edits; ++e) {
    switch (rng() % 5) {
      case 0:  // one random byte in the header
        b[rng() % header] = uint8_t(rng());
        break;
      case 1: {  // a nasty 16- or 32-bit value at an even header offset
        const size_t at = (rng() % (header / 2)) * 2;
        const uint32_t v = kNasty[rng() % std::size(kNasty)];
        const size_t width = rng() % 2 ? 2 : 4;
        for (size_t i = 0; i < width && at + i < b.size(); ++i) b[at + i] = uint8_t(v >> (8 * i));
        break;
      }
      case 2:  // damage the data (ADPCM block headers among it)
        b[rng() % b.size()] = uint8_t(rng());
        break;
      case 3:  // cut the file
        b.resize(rng() % (b.size() + 1));
        if (b.empty()) return b;
        break;
      default:  // a block header byte made out of range
        if (b.size() > 62) b[58 + rng() % 4] = uint8_t(0x59 + rng() % 0xA7);
        break;
    }
  }
  return b;
}

}  // namespace

TEST(WaveFuzz, DamagedHeadersAndBlocksNeverBreakTheReaderOrTheStreamContract) {
  av_log_set_level(AV_LOG_QUIET);  // damaged MP3 frames make libavcodec chatty
  const std::vector<TBytes> seeds = Seeds();
  ASSERT_GE(seeds.size(), 4u);
  std::mt19937 rng(20261208);
  int valid = 0;
  for (int round = 0; round < 4000; ++round) {
    const TBytes file = Mutate(seeds[size_t(round) % seeds.size()], rng);
    TMemoryWave w(file);
    if (!w.In->Valid()) continue;
    ++valid;
    const uint32_t frame = w.In->Channels() * w.In->BitsPerSample() / 8;
    ASSERT_GT(frame, 0u);
    ASSERT_GT(w.In->SampleRate(), 0u);
    (void)w.In->TotalTime();
    (void)w.In->TotalSamples();
    const int64_t size = w.In->Size.load();
    const uint32_t pull = 1 + uint32_t(rng() % 20000);
    const TBytes out = PullAll(*w.In, pull);
    ASSERT_EQ(out.size() % frame, 0u) << "round " << round;
    if (size > 0) {
      ASSERT_LE(int64_t(out.size()), size) << "round " << round;
    }
  }
  // The mutations must leave enough files open to exercise the decoders.
  EXPECT_GT(valid, 1000);
}
