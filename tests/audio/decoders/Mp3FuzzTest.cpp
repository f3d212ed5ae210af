// Thousands of damaged variants of small tagged MP3 files (ID3v2.2/2.3/2.4
// at the start, ID3v1 and APEv2 at the end) go through the media reader
// (Valid, the length queries, a full pass) and through the ID3 tag loaders:
// nothing may crash, hang, read out of bounds or overflow (the sanitizer
// builds check that), and what is delivered must keep the stream contract.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "audio/core/TStream.h"
#include "audio/decoders/MediaTestFiles.h"
#include "audio/decoders/TMP3In.h"
#include "audio/tags/TId3v1Tags.h"
#include "audio/tags/TId3v2Tags.h"
#include "support/Mp3Encoder.h"

namespace {

using TBytes = std::vector<uint8_t>;

void Append(TBytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
void AppendLE32(TBytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// An APEv2 tag (header, items, footer) as writers append it after the audio.
TBytes ApeTag() {
  TBytes items;
  auto item = [&](const std::string& key, const std::string& value) {
    AppendLE32(items, uint32_t(value.size()));
    AppendLE32(items, 0);
    Append(items, key);
    items.push_back(0);
    Append(items, value);
  };
  item("Artist", "Vomrella");
  item("Title", "Bemondas");
  item("Track", "3");
  auto frame = [&](bool isHeader) {
    TBytes f;
    Append(f, "APETAGEX");
    AppendLE32(f, 2000);
    AppendLE32(f, uint32_t(items.size() + 32));
    AppendLE32(f, 3);
    AppendLE32(f, 0x80000000u | (isHeader ? 0x20000000u : 0));
    f.resize(f.size() + 8, 0);
    return f;
  };
  TBytes tag = frame(true);
  tag.insert(tag.end(), items.begin(), items.end());
  const TBytes footer = frame(false);
  tag.insert(tag.end(), footer.begin(), footer.end());
  return tag;
}

// An ID3v2.2 tag with two text frames (3-character ids, 3-byte sizes).
TBytes Id3v22Tag() {
  TBytes frames;
  auto frame = [&](const std::string& id, const std::string& text) {
    Append(frames, id);
    const uint32_t size = uint32_t(text.size() + 1);
    frames.push_back(uint8_t(size >> 16));
    frames.push_back(uint8_t(size >> 8));
    frames.push_back(uint8_t(size));
    frames.push_back(0);
    Append(frames, text);
  };
  frame("TP1", "Vomrella");
  frame("TT2", "Bemondas");
  frames.resize(frames.size() + 12, 0);  // padding
  TBytes tag{'I', 'D', '3', 2, 0, 0, 0, 0, uint8_t(frames.size() >> 7), uint8_t(frames.size() & 0x7F)};
  tag.insert(tag.end(), frames.begin(), frames.end());
  return tag;
}

struct TSeedFile {
  std::string Path;
  TSeedFile() {
    char name[] = "/tmp/vomrella-mp3fuzz-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    Path = name;
  }
  ~TSeedFile() { std::remove(Path.c_str()); }
};

bool Encode(const std::string& path, int channels, int rate, int id3v2Version, bool id3v1) {
  TEncodeRequest r;
  r.Channels = channels;
  r.SampleRate = rate;
  r.BitRate = 64000;
  r.Metadata = {{"artist", "Vomrella"}, {"title", "Bemond\xC3\xA1s"}, {"album", "Album"}, {"track", "7"}};
  r.MuxerOptions = {{"id3v2_version", std::to_string(id3v2Version)}, {"write_id3v1", id3v1 ? "1" : "0"}};
  return EncodeAudioFile(path, ToneSignal(channels, rate, 0.25), r);
}

std::vector<TBytes> Seeds() {
  std::vector<TBytes> seeds;
  TSeedFile file;
  if (Encode(file.Path, 2, 44100, 4, true)) seeds.push_back(TMediaTestFiles::ReadBytes(file.Path));
  if (Encode(file.Path, 2, 32000, 3, false)) {
    TBytes b = TMediaTestFiles::ReadBytes(file.Path);
    const TBytes ape = ApeTag();
    b.insert(b.end(), ape.begin(), ape.end());
    seeds.push_back(b);
  }
  if (Encode(file.Path, 1, 22050, 0, true)) {
    TBytes b = Id3v22Tag();
    const TBytes audio = TMediaTestFiles::ReadBytes(file.Path);
    b.insert(b.end(), audio.begin(), audio.end());
    seeds.push_back(b);
  }
  return seeds;
}

// Values that break naive arithmetic on sizes and counts.
constexpr uint32_t kNasty[] = {0, 1, 2, 0x7F, 0x80, 0xFF, 0x7FFF, 0xFFFF, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};

TBytes Mutate(const TBytes& seed, std::mt19937& rng) {
  TBytes b = seed;
  const int edits = 1 + int(rng() % 4);
  for (int e = 0; e < edits && !b.empty(); ++e) {
    const size_t head = std::min<size_t>(b.size(), 120);  // the ID3v2 tag and the first frames
    const size_t tail = std::min<size_t>(b.size(), 200);  // ID3v1 and APEv2
    switch (rng() % 6) {
      case 0:
        b[rng() % head] = uint8_t(rng());
        break;
      case 1:
        b[b.size() - 1 - rng() % tail] = uint8_t(rng());
        break;
      case 2: {  // a nasty 32-bit value, big- or little-endian, near either end
        const uint32_t v = kNasty[rng() % std::size(kNasty)];
        const bool atHead = rng() % 2;
        const size_t span = atHead ? head : tail;
        if (span < 4) break;
        const size_t at = atHead ? rng() % (span - 3) : b.size() - span + rng() % (span - 3);
        const bool big = rng() % 2;
        for (size_t i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * (big ? 3 - i : i)));
        break;
      }
      case 3:  // damage the audio frames
        for (int k = 0; k < 8; ++k) b[rng() % b.size()] = uint8_t(rng());
        break;
      case 4:  // cut the file
        b.resize(rng() % (b.size() + 1));
        break;
      default:  // drop a piece from the middle, so frames lose their step
        if (b.size() > 16) {
          const size_t from = rng() % (b.size() - 8);
          b.erase(b.begin() + long(from), b.begin() + long(std::min(b.size(), from + 1 + rng() % 400)));
        }
        break;
    }
  }
  return b;
}

}  // namespace

TEST(Mp3Fuzz, DamagedTaggedMp3FilesNeverBreakTheReaderOrTheTagLoaders) {
  av_log_set_level(AV_LOG_QUIET);  // damaged frames make libavcodec chatty
  if (!avcodec_find_encoder_by_name("libmp3lame")) GTEST_SKIP() << "libavcodec has no libmp3lame encoder";
  const std::vector<TBytes> seeds = Seeds();
  ASSERT_EQ(seeds.size(), 3u);

  TSeedFile onDisk;
  std::mt19937 rng(20261208);
  int valid = 0;
  for (int round = 0; round < 2000; ++round) {
    const TBytes bytes = Mutate(seeds[size_t(round) % seeds.size()], rng);
    SCOPED_TRACE("round " + std::to_string(round));

    TMemoryStream stream(bytes);
    auto in = MakeComponent<TMP3In>();
    in->SetStream(&stream);
    if (in->Valid()) {
      ++valid;
      const uint32_t channels = in->Channels(), bits = in->BitsPerSample();
      ASSERT_GT(channels, 0u);
      ASSERT_GT(in->SampleRate(), 0u);
      ASSERT_TRUE(bits == 8 || bits == 16 || bits == 24 || bits == 32);
      ASSERT_GE(in->TotalTime(), 0);
      const int64_t size = in->Size.load();
      const std::vector<uint8_t> pcm = ReadWholeRun(*in, 1 + uint32_t(rng() % 9000));
      if (size > 0) {
        ASSERT_LE(int64_t(pcm.size()), size);
      }
    }
    in->SetStream(nullptr);

    // The same bytes as a file for the ID3 loaders.
    const int fd = open(onDisk.Path.c_str(), O_RDWR | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    lseek(fd, 0, SEEK_SET);
    TId3v2Tags v2;
    const bool probed = v2.ProbeHandle(fd);
    ASSERT_EQ(lseek(fd, 0, SEEK_CUR), 0);
    ASSERT_EQ(v2.LoadFromHandle(fd), probed);
    if (probed) {
      // The position lands on the tag's end, as its header gives it.
      const uint32_t tagSize =
          (uint32_t(bytes[6]) << 21) | (uint32_t(bytes[7]) << 14) | (uint32_t(bytes[8]) << 7) | bytes[9];
      ASSERT_EQ(lseek(fd, 0, SEEK_CUR), off_t(10 + tagSize + ((bytes[5] & 0x10) ? 10 : 0)));
      (void)v2.Artist();
      (void)v2.Title();
    }
    TId3v1Tags v1;
    const bool hasV1 = bytes.size() >= 128 && std::memcmp(bytes.data() + bytes.size() - 128, "TAG", 3) == 0;
    ASSERT_EQ(v1.ProbeHandle(fd), hasV1);
    ASSERT_EQ(v1.LoadFromHandle(fd), hasV1);
    (void)v1.Genre();
    close(fd);
  }
  // The mutations must leave enough files readable to exercise the decoder.
  EXPECT_GT(valid, 600);
}
