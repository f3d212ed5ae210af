#pragma once
// libavcodec helpers for tests and benchmarks: encode PCM to IMA ADPCM, MS
// ADPCM and MP3 (to build test files), and decode ADPCM blocks with
// libavcodec's own decoders (the reference the WAV reader is compared with).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/WavBuilder.h"

struct TEncodedAudio {
  TBytes Data;             // encoded blocks (ADPCM) or frames (MP3), back to back
  TBytes Extradata;        // fmt bytes after the extra-size field
  uint16_t BlockAlign = 0;
  uint32_t SamplesPerBlock = 0;  // per channel (ADPCM block / MP3 frame)
  uint32_t Frames = 0;           // sample frames encoded (before block padding)
  std::vector<uint32_t> PacketBytes;  // size of each encoded packet, in order
};

// codec: "adpcm_ima_wav" or "adpcm_ms". pcm is interleaved; the last block is
// padded with silence. nullopt when libavcodec lacks the encoder.
std::optional<TEncodedAudio> EncodeAdpcm(const std::string& codec, const std::vector<int16_t>& pcm, int channels,
                                         int sampleRate, int blockAlign);

// A WAV file around encoded ADPCM (tag 0x11 or 2, fmt extra, fact, data).
TBytes MakeAdpcmWav(const std::string& codec, const TEncodedAudio& encoded, int channels, int sampleRate);

// Decodes back-to-back blocks with libavcodec's decoder; interleaved 16-bit.
std::vector<int16_t> DecodeAdpcmWithLibav(const std::string& codec, const TBytes& blocks, int channels,
                                          int sampleRate, int blockAlign, const TBytes& extradata);

// MP3 frames from libmp3lame; nullopt (with the reason in *why) when the
// encoder is missing.
std::optional<TEncodedAudio> EncodeMp3(const std::vector<int16_t>& pcm, int channels, int sampleRate,
                                       int bitrateKbps, std::string* why = nullptr);

// An MPEG layer 3 WAV file (tag 0x55, 30-byte fmt, fact, data).
TBytes MakeMp3Wav(const TEncodedAudio& encoded, int channels, int sampleRate, int bitrateKbps);
