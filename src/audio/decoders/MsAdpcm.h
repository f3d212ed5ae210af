#pragma once
// Microsoft ADPCM block decoding to 16-bit PCM (WAV format tag 2).

#include <cstddef>
#include <cstdint>

#include "audio/decoders/WaveHeader.h"

// Decoder state of one channel, reloaded from every block header. Delta is
// kept wider than the 16 bits of the header so its growth never wraps.
struct TMsChannel {
  uint8_t Predictor = 0;  // index of the block's coefficient pair
  int32_t Delta = 0;
  int16_t Sample1 = 0;  // newest decoded sample
  int16_t Sample2 = 0;  // the one before it
};

inline constexpr size_t kMsMonoHeaderBytes = 7;
inline constexpr size_t kMsStereoHeaderBytes = 14;

// Reads the block header of one or two channels (7 or 14 bytes). A predictor
// index not below coefCount (>= 1) is clamped to the last pair.
void ReadMsBlockHeader(const uint8_t* header, unsigned channelCount, uint16_t coefCount, TMsChannel* channels);

// Decodes one nibble (taken as signed) with the given coefficient pair.
int16_t DecodeMsNibble(TMsChannel& channel, const TMsCoefPair& coefs, uint8_t nibble);

// One channel: sample2, sample1 of the header, then two nibbles (high first)
// for each of nibbleBytes data bytes. Returns the bytes written.
size_t DecodeMsMono(TMsChannel& channel, const TMsCoefPair* coefs, const uint8_t* data, size_t nibbleBytes,
                    uint8_t* out);

// Two channels: the header samples, then for each data byte the high nibble
// for the left and the low nibble for the right channel. Returns bytes written.
size_t DecodeMsStereo(TMsChannel (&channels)[2], const TMsCoefPair* coefs, const uint8_t* data,
                      size_t nibbleBytes, uint8_t* out);
