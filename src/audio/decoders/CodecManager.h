#pragma once
// A small codec layer over libavcodec that turns MPEG layer 3 data (the
// payload of WAV files with format tag 0x55) into 16-bit PCM. It offers what
// the WAV converter needs of a codec manager: the largest format-record size,
// a PCM suggestion for a source format, a size estimate, and a one-shot
// conversion of a whole buffer. Every step answers 0 or an error code.
//
// Threads: no shared state; a TCodecStream belongs to one thread at a time.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// A format record: the WAVEFORMATEX fields (format tag, channels, samples per
// second, average bytes per second, block align, bits per sample, extra size)
// followed by the format's extra bytes; 129 bytes of room in all.
inline constexpr uint32_t kWaveFormatRecordBytes = 129;

struct TWaveFormatRecord {
  std::array<uint8_t, kWaveFormatRecordBytes> Bytes{};

  uint16_t FormatTag() const { return U16(0); }
  uint16_t Channels() const { return U16(2); }
  uint32_t SamplesPerSec() const { return U32(4); }
  uint32_t AvgBytesPerSec() const { return U32(8); }
  uint16_t BlockAlign() const { return U16(12); }
  uint16_t BitsPerSample() const { return U16(14); }
  uint16_t ExtraSize() const { return U16(16); }
  void SetFormatTag(uint16_t v) { SetU16(0, v); }
  void SetChannels(uint16_t v) { SetU16(2, v); }
  void SetSamplesPerSec(uint32_t v) { SetU32(4, v); }
  void SetAvgBytesPerSec(uint32_t v) { SetU32(8, v); }
  void SetBlockAlign(uint16_t v) { SetU16(12, v); }
  void SetBitsPerSample(uint16_t v) { SetU16(14, v); }
  void SetExtraSize(uint16_t v) { SetU16(16, v); }

 private:
  uint16_t U16(size_t o) const { return uint16_t(Bytes[o] | (Bytes[o + 1] << 8)); }
  uint32_t U32(size_t o) const { return uint32_t(U16(o)) | (uint32_t(U16(o + 2)) << 16); }
  void SetU16(size_t o, uint16_t v) {
    Bytes[o] = uint8_t(v);
    Bytes[o + 1] = uint8_t(v >> 8);
  }
  void SetU32(size_t o, uint32_t v) {
    SetU16(o, uint16_t(v));
    SetU16(o + 2, uint16_t(v >> 16));
  }
};

// Result codes (0 = success).
enum : uint32_t {
  kCodecOk = 0,
  kCodecErrNoDriver = 6,      // no decoder in this libavcodec
  kCodecErrNoMem = 7,
  kCodecErrInvalidParam = 11,
  kCodecErrNotPossible = 512,  // the layer cannot convert between these formats
};

// Flag of CodecSuggestFormat: the suggestion keeps the destination's preset format tag.
inline constexpr uint32_t kSuggestRestrictFormatTag = 0x00010000;

// The largest format record the layer uses (MPEG layer 3: 30 bytes).
uint32_t CodecMaxFormatBytes();

// Suggests a destination format for source: 16-bit PCM with the source's
// channels and rate. With kSuggestRestrictFormatTag the destination's preset
// tag must be PCM (1). destBytes is the room in dest (at least 16).
uint32_t CodecSuggestFormat(const TWaveFormatRecord& source, TWaveFormatRecord& dest, uint32_t destBytes,
                            uint32_t flags);

// One conversion stream from MPEG layer 3 to 16-bit PCM.
class TCodecStream {
 public:
  TCodecStream();
  ~TCodecStream();
  TCodecStream(const TCodecStream&) = delete;
  TCodecStream& operator=(const TCodecStream&) = delete;

  uint32_t Open(const TWaveFormatRecord& source, const TWaveFormatRecord& dest);
  // Bytes of PCM the whole source buffer yields at most: the sum over its
  // complete frames (the frame headers are read, nothing is decoded). A
  // buffer without a single frame is refused (kCodecErrNotPossible).
  uint32_t Size(const uint8_t* source, uint32_t sourceBytes, uint32_t& destBytes) const;
  // Decodes every complete frame of source and appends its PCM to dest, at
  // most destLimit bytes in all (reserve that much: nothing is zeroed first);
  // a bit of a frame cut off at the end is not converted. A frame the decoder
  // rejects becomes silence of its length, so the timing of the rest is kept.
  uint32_t Convert(const uint8_t* source, uint32_t sourceBytes, std::vector<uint8_t>& dest, uint32_t destLimit,
                   uint32_t& sourceUsed);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> Impl;
};
