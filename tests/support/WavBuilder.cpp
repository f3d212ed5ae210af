#include "support/WavBuilder.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>

void PutLE16(TBytes& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void PutLE32(TBytes& out, uint32_t v) {
  PutLE16(out, uint16_t(v));
  PutLE16(out, uint16_t(v >> 16));
}

TBytes FmtPayload(const TFmtFields& f) {
  TBytes p;
  const uint16_t align = f.BlockAlign != 0 ? f.BlockAlign : uint16_t(f.Channels * f.BitsPerSample / 8);
  PutLE16(p, f.Tag);
  PutLE16(p, f.Channels);
  PutLE32(p, f.SampleRate);
  PutLE32(p, f.AvgBytesPerSec != 0 ? f.AvgBytesPerSec : f.SampleRate * align);
  PutLE16(p, align);
  PutLE16(p, f.BitsPerSample);
  if (f.WithExtraSize) PutLE16(p, uint16_t(f.Extra.size()));
  p.insert(p.end(), f.Extra.begin(), f.Extra.end());
  return p;
}

TBytes ExtensibleFmtPayload(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t subFormat) {
  TFmtFields f;
  f.Tag = 0xFFFE;
  f.Channels = channels;
  f.SampleRate = rate;
  f.BitsPerSample = bits;
  f.WithExtraSize = true;
  PutLE16(f.Extra, bits);            // valid bits
  PutLE32(f.Extra, channels == 1 ? 4 : 3);  // channel mask
  PutLE16(f.Extra, subFormat);
  for (uint8_t b : {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71})
    f.Extra.push_back(b);
  return FmtPayload(f);
}

TWavBuilder& TWavBuilder::Header(std::optional<uint32_t> riffSize) {
  Raw("RIFF");
  if (!riffSize) RiffSizeAt = Out.size();
  PutLE32(Out, riffSize.value_or(0));
  return Raw("WAVE");
}

TWavBuilder& TWavBuilder::Raw(const TBytes& bytes) {
  Out.insert(Out.end(), bytes.begin(), bytes.end());
  return *this;
}

TWavBuilder& TWavBuilder::Raw(std::string_view bytes) {
  Out.insert(Out.end(), bytes.begin(), bytes.end());
  return *this;
}

TWavBuilder& TWavBuilder::Chunk(std::string_view id, const TBytes& payload, bool pad,
                                std::optional<uint32_t> declaredSize) {
  if (id.size() != 4) throw std::invalid_argument("chunk id must have 4 bytes");
  Raw(id);
  PutLE32(Out, declaredSize.value_or(uint32_t(payload.size())));
  Raw(payload);
  if (pad && payload.size() % 2 != 0) Out.push_back(0);
  return *this;
}

TWavBuilder& TWavBuilder::Fact(uint32_t frames) {
  TBytes p;
  PutLE32(p, frames);
  return Chunk("fact", p);
}

TBytes TWavBuilder::Bytes() const {
  TBytes b = Out;
  if (RiffSizeAt && b.size() >= *RiffSizeAt + 4) {
    const uint32_t size = uint32_t(b.size() - *RiffSizeAt - 4);
    for (int i = 0; i < 4; ++i) b[*RiffSizeAt + i] = uint8_t(size >> (8 * i));
  }
  return b;
}

TBytes MakeWav(const TFmtFields& fmt, const TBytes& data, std::optional<uint32_t> factFrames) {
  TWavBuilder b;
  b.Header().Fmt(fmt);
  if (factFrames) b.Fact(*factFrames);
  return b.Data(data).Bytes();
}

TBytes Int16Bytes(const std::vector<int16_t>& samples) {
  TBytes out;
  out.reserve(samples.size() * 2);
  for (int16_t s : samples) PutLE16(out, uint16_t(s));
  return out;
}

std::vector<int16_t> BytesToInt16(const uint8_t* data, size_t bytes) {
  std::vector<int16_t> out(bytes / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = int16_t(data[2 * i] | (data[2 * i + 1] << 8));
  return out;
}

TTempFile::TTempFile(const TBytes& contents, std::string_view suffix) {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir != nullptr && *dir != 0 ? dir : "/tmp") + "/vomrella-test-XXXXXX";
  pattern += suffix;
  const int fd = mkstemps(pattern.data(), int(suffix.size()));
  if (fd < 0) throw std::runtime_error("cannot create a temporary file");
  size_t done = 0;
  while (done < contents.size()) {
    const ssize_t n = write(fd, contents.data() + done, contents.size() - done);
    if (n <= 0) {
      close(fd);
      throw std::runtime_error("cannot write a temporary file");
    }
    done += size_t(n);
  }
  close(fd);
  FPath = pattern;
}

TTempFile::~TTempFile() { std::remove(FPath.c_str()); }

std::vector<int16_t> TestSignal(size_t frames, int channels, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  std::vector<int16_t> out(frames * size_t(channels));
  for (size_t i = 0; i < frames; ++i) {
    const double t = double(i) / 44100.0;
    // Every fourth stretch of 2000 frames is driven far past full scale.
    const double gain = (i / 2000) % 4 == 3 ? 3.0 : 0.4;
    for (int c = 0; c < channels; ++c) {
      const double f = 220.0 * (c + 1) * (1.0 + t);
      double v = gain * (std::sin(2 * M_PI * f * t) + 0.2 * noise(rng));
      v = std::fmax(-1.0, std::fmin(1.0, v));
      out[i * size_t(channels) + size_t(c)] = int16_t(std::lround(v * 32767.0));
    }
  }
  return out;
}
