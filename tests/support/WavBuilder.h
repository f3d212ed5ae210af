#pragma once
// Builds RIFF/WAV files byte by byte for tests: any chunk, in any order, with
// declared sizes that may lie, and fmt payloads with any field values.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using TBytes = std::vector<uint8_t>;

// Fields of a "fmt " payload. Extra follows the 16 basic bytes; with
// WithExtraSize the 2-byte extra-size field (= Extra.size()) comes first.
struct TFmtFields {
  uint16_t Tag = 1;
  uint16_t Channels = 2;
  uint32_t SampleRate = 44100;
  uint32_t AvgBytesPerSec = 0;  // 0: computed from rate and block align
  uint16_t BlockAlign = 0;      // 0: channels x bits / 8
  uint16_t BitsPerSample = 16;
  bool WithExtraSize = false;
  TBytes Extra;
};

TBytes FmtPayload(const TFmtFields& fmt);
// WAVE_FORMAT_EXTENSIBLE payload (40 bytes) with sub-format 1 (PCM) or 3 (float).
TBytes ExtensibleFmtPayload(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t subFormat);

class TWavBuilder {
 public:
  // "RIFF", a size (patched by Bytes() unless given), "WAVE".
  TWavBuilder& Header(std::optional<uint32_t> riffSize = std::nullopt);
  TWavBuilder& Raw(const TBytes& bytes);
  TWavBuilder& Raw(std::string_view bytes);
  // id, size (declaredSize or payload size), payload, and a pad byte after an
  // odd payload when pad is set.
  TWavBuilder& Chunk(std::string_view id, const TBytes& payload, bool pad = true,
                     std::optional<uint32_t> declaredSize = std::nullopt);
  TWavBuilder& Fmt(const TFmtFields& fmt) { return Chunk("fmt ", FmtPayload(fmt)); }
  TWavBuilder& Fact(uint32_t frames);
  TWavBuilder& Data(const TBytes& data, std::optional<uint32_t> declaredSize = std::nullopt) {
    return Chunk("data", data, true, declaredSize);
  }
  TBytes Bytes() const;

 private:
  TBytes Out;
  std::optional<size_t> RiffSizeAt;
};

// A canonical WAV: fmt, fact when given, data.
TBytes MakeWav(const TFmtFields& fmt, const TBytes& data, std::optional<uint32_t> factFrames = std::nullopt);

// Little-endian sample packing.
TBytes Int16Bytes(const std::vector<int16_t>& samples);
std::vector<int16_t> BytesToInt16(const uint8_t* data, size_t bytes);
void PutLE16(TBytes& out, uint16_t v);
void PutLE32(TBytes& out, uint32_t v);

// A file in the system temporary folder, removed when the object goes.
class TTempFile {
 public:
  explicit TTempFile(const TBytes& contents, std::string_view suffix = ".wav");
  ~TTempFile();
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

// Deterministic test audio: sines with a slow sweep, noise, and stretches
// near full scale (so clamps are reached), interleaved.
std::vector<int16_t> TestSignal(size_t frames, int channels, uint32_t seed);
