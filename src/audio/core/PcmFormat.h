#pragma once
// The format of an interleaved little-endian PCM stream.

#include <cstdint>

// What the pipeline plays. Rates outside 1 kHz .. 384 kHz come only from
// damaged or hostile headers: below, a few bytes claim hours of sound; above,
// setting up a conversion to a device rate costs seconds and gigabytes.
inline constexpr uint32_t kMinSampleRate = 1000;
inline constexpr uint32_t kMaxSampleRate = 384000;
inline constexpr uint32_t kMaxChannels = 255;

inline bool IsSupportedSampleRate(uint32_t Rate) { return Rate >= kMinSampleRate && Rate <= kMaxSampleRate; }

struct TPcmFormat {
  uint32_t BitsPerSample = 0;  // 8 (unsigned, silence 128), 16, 24 or 32 (signed, silence 0)
  uint32_t Channels = 0;
  uint32_t SampleRate = 0;  // Hz

  // Bytes per sample frame (Channels x BitsPerSample / 8).
  uint32_t FrameSize() const { return Channels * BitsPerSample / 8; }
  // True for 8/16/24/32 bits, 1..255 channels and a non-zero rate.
  bool IsPlayable() const {
    return (BitsPerSample == 8 || BitsPerSample == 16 || BitsPerSample == 24 || BitsPerSample == 32) &&
           Channels >= 1 && Channels <= kMaxChannels && SampleRate > 0;
  }
  uint8_t SilenceByte() const { return BitsPerSample == 8 ? 128 : 0; }
  bool operator==(const TPcmFormat&) const = default;
};
