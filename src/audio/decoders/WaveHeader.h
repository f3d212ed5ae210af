#pragma once
// RIFF WAVE header scan: finds "RIFF"/"WAVE", the "fmt ", "fact" and "data"
// chunks, and describes the PCM a decoder can deliver for the file.

#include <array>
#include <bit>
#include <cstring>
#include <cstdint>
#include <optional>

// Sub-format of an open WAV file (stored as one byte).
enum TWaveKind : uint8_t {
  wkUnsupported = 0,
  wkPcm = 1,
  wkImaAdpcm = 2,
  wkMsAdpcm = 3,
  wkCodecManager = 4,
  wkIeeeFloat = 5,
  wkExtensiblePcm = 6,
  wkExtensibleFloat = 7,
};

const char* WaveKindName(TWaveKind kind);

// Header fields limits shared by the scan and the decoders.
inline constexpr uint32_t kWaveHeaderLimit = 8192;    // bytes scanned before giving up
inline constexpr uint32_t kWaveOutBufferBytes = 16384;  // decoder output buffer
inline constexpr uint32_t kMsMaxCoefs = 32;

struct TMsCoefPair {
  int16_t Coef1 = 0;
  int16_t Coef2 = 0;
};

// Four bytes match when each pair is equal or differs by exactly 32, so ids
// match in either letter case and a zero byte stands for a space.
bool ChunkIdMatches(const uint8_t* bytes, const char* expected);

// What the scan reads from. Read returns the bytes actually read (short at the
// end of the source). AtEnd answers only for seekable sources (false otherwise).
class TWaveByteSource {
 public:
  virtual ~TWaveByteSource() = default;
  virtual uint32_t Read(uint8_t* dst, uint32_t bytes) = 0;
  virtual bool AtEnd() = 0;
};

// Result of the scan. Fields not present in the file stay 0.
struct TWaveHeader {
  TWaveKind Kind = wkUnsupported;
  uint16_t FormatTag = 0;
  uint16_t Channels = 0;
  uint32_t SampleRate = 0;
  uint16_t BlockAlign = 0;
  uint16_t BitsPerSample = 0;
  uint16_t SamplesPerBlock = 0;  // compressed kinds: fmt field at payload offset 18
  uint32_t FactCount = 0;        // compressed kinds: sample frames from "fact"
  bool FactCountPresent = false; // the "fact" payload was long enough to hold the count
  uint16_t CoefCount = 0;        // MS ADPCM: declared coefficient pairs
  bool CoefsComplete = false;    // MS ADPCM: all declared pairs lie inside the fmt payload
  std::array<TMsCoefPair, kMsMaxCoefs> Coefs{};
  uint32_t DataSize = 0;         // size field of the "data" chunk, as declared
  uint32_t DataOffset = 0;       // first data byte, counted from where the scan started
};

// Scans from the source's current position. Never reads more than the
// 8192-byte header limit plus one chunk payload of at most that size.
TWaveHeader ParseWaveHeader(TWaveByteSource& source);

// The PCM a decoder delivers for a scanned header, after every count and size
// has been checked against what the decoders can hold and the pipeline plays
// (1..255 channels, a rate of 1 kHz .. 384 kHz).
struct TWaveOutputPlan {
  bool Valid = false;
  uint32_t Channels = 0;
  uint32_t BitsPerSample = 0;  // of the output
  uint32_t SampleRate = 0;
  int64_t Size = 0;            // bytes of output, whole frames
  uint32_t BlockFrames = 0;    // ADPCM: sample frames one block decodes to
  uint64_t DataBytes = 0;      // data bytes the decoder may read (declared, cut to the source)
};

// dataAvailable: bytes from the first data byte to the end of the source, when
// the source size is known. A data chunk claiming more is cut to it. ADPCM
// takes its length from the fact count, cut to the blocks present; without a
// usable count (a "fact" payload shorter than 4 bytes, or a count of 0 while
// data follows) from the frames the data bytes hold.
TWaveOutputPlan PlanWaveOutput(const TWaveHeader& header, std::optional<uint64_t> dataAvailable);

// Little-endian field access used by the parsers and the decoders.
inline uint16_t LoadLE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t LoadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void StoreLE16(uint8_t* p, uint16_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, 2);  // one store instead of two
  } else {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
  }
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, 4);
  } else {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
  }
}
