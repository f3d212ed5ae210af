#pragma once
// IMA (DVI) ADPCM block decoding to 16-bit PCM, as stored in WAV files
// (format tag 0x11, 4 bits per sample).

#include <cstddef>
#include <cstdint>

#include "audio/decoders/WaveHeader.h"

// Decoder state of one channel: the current sample and step-table index.
struct TImaChannel {
  int16_t Predictor = 0;
  uint8_t StepIndex = 0;
};

inline constexpr size_t kImaChannelHeaderBytes = 4;

// Reads one channel's 4-byte block header (sample, step index, reserved).
// A step index above 88 is clamped so it never indexes outside the table.
TImaChannel ReadImaChannelHeader(const uint8_t* header);

// Step table and index adjustment of the IMA ADPCM standard.
inline constexpr int16_t kImaStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

inline constexpr int8_t kImaIndexAdjust[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

inline constexpr uint8_t kImaMaxStepIndex = 88;

// Decodes one nibble against the channel state and advances it.
inline int16_t DecodeImaNibble(TImaChannel& channel, uint8_t nibble) {
  const int step = kImaStepTable[channel.StepIndex];
  int diff = step >> 3;
  if (nibble & 4) diff += step;
  if (nibble & 2) diff += step >> 1;
  if (nibble & 1) diff += step >> 2;
  if (nibble & 8) diff = -diff;
  int p = channel.Predictor + diff;
  // The lower bound is -32767 (not -32768), which keeps the range symmetric.
  if (p > 32767) p = 32767;
  if (p < -32767) p = -32767;
  channel.Predictor = int16_t(p);
  int i = channel.StepIndex + kImaIndexAdjust[nibble & 15];
  if (i < 0) i = 0;
  if (i > kImaMaxStepIndex) i = kImaMaxStepIndex;
  channel.StepIndex = uint8_t(i);
  return channel.Predictor;
}

inline void StoreImaSample(uint8_t* p, int16_t v) { StoreLE16(p, uint16_t(v)); }

// The block walkers take the nibble arithmetic as a parameter so the block
// layout can be checked against decoders that round differently.
using TImaNibbleDecoder = int16_t (*)(TImaChannel&, uint8_t);

// One channel: the header sample, then two nibbles per data byte (low first).
// Writes 2 * dataBytes + 1 little-endian 16-bit samples; returns that count.
template <TImaNibbleDecoder Nibble = DecodeImaNibble>
size_t DecodeImaMono(TImaChannel& state, const uint8_t* data, size_t dataBytes, uint8_t* out) {
  // A local copy: stores through the byte pointer could alias the state.
  TImaChannel channel = state;
  StoreImaSample(out, channel.Predictor);
  out += 2;
  for (size_t b = 0; b < dataBytes; ++b) {
    StoreImaSample(out, Nibble(channel, data[b] & 15));
    StoreImaSample(out + 2, Nibble(channel, data[b] >> 4));
    out += 4;
  }
  state = channel;
  return 2 * dataBytes + 1;
}

// Two channels: data alternates in groups of four bytes, left first; each
// channel decodes dataBytes nibbles. dataBytes must be a multiple of 8.
// Writes dataBytes + 1 interleaved frames; returns the frame count.
template <TImaNibbleDecoder Nibble = DecodeImaNibble>
size_t DecodeImaStereo(TImaChannel (&state)[2], const uint8_t* data, size_t dataBytes, uint8_t* out) {
  TImaChannel channels[2] = {state[0], state[1]};
  StoreImaSample(out, channels[0].Predictor);
  StoreImaSample(out + 2, channels[1].Predictor);
  out += 4;
  // Each 8-byte group holds 8 samples per channel: bytes 0-3 left, 4-7 right.
  for (size_t g = 0; g + 8 <= dataBytes; g += 8) {
    const uint8_t* left = data + g;
    const uint8_t* right = left + 4;
    for (int b = 0; b < 4; ++b) {
      StoreImaSample(out, Nibble(channels[0], left[b] & 15));
      StoreImaSample(out + 2, Nibble(channels[1], right[b] & 15));
      StoreImaSample(out + 4, Nibble(channels[0], left[b] >> 4));
      StoreImaSample(out + 6, Nibble(channels[1], right[b] >> 4));
      out += 8;
    }
  }
  state[0] = channels[0];
  state[1] = channels[1];
  return dataBytes / 8 * 8 + 1;
}
