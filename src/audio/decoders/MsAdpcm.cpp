#include "audio/decoders/MsAdpcm.h"

namespace {

constexpr int32_t kAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

// Above this the next adaptation (x 768) would overflow 32 bits.
constexpr int32_t kMaxDelta = INT32_MAX / 768;

}  // namespace

void ReadMsBlockHeader(const uint8_t* h, unsigned channelCount, uint16_t coefCount, TMsChannel* c) {
  const unsigned n = channelCount == 2 ? 2 : 1;
  for (unsigned i = 0; i < n; ++i) {
    const uint8_t predictor = h[i];
    c[i].Predictor = predictor < coefCount ? predictor : uint8_t(coefCount - 1);
    c[i].Delta = int16_t(LoadLE16(h + n + 2 * i));
    c[i].Sample1 = int16_t(LoadLE16(h + 3 * n + 2 * i));
    c[i].Sample2 = int16_t(LoadLE16(h + 5 * n + 2 * i));
  }
}

int16_t DecodeMsNibble(TMsChannel& c, const TMsCoefPair& coefs, uint8_t nibble) {
  const int32_t signedNibble = int32_t(int8_t(uint8_t(nibble << 4))) >> 4;
  // The sum of two 16 x 16-bit products may need 33 bits; its quotient fits 32.
  int32_t p = int32_t((int64_t(c.Sample1) * coefs.Coef1 + int64_t(c.Sample2) * coefs.Coef2) / 256);
  p += c.Delta * signedNibble;  // |Delta| <= kMaxDelta, so this cannot overflow
  if (p > 32767) p = 32767;
  if (p < -32768) p = -32768;
  // A shift instead of a division: they differ only for a negative product,
  // and any result below 16 becomes 16 either way.
  int32_t delta = (c.Delta * kAdapt[nibble]) >> 8;
  if (delta < 16) delta = 16;
  if (delta > kMaxDelta) delta = kMaxDelta;
  c.Delta = delta;
  c.Sample2 = c.Sample1;
  c.Sample1 = int16_t(p);
  return c.Sample1;
}

// The walkers decode into local copies of the channel state: stores through
// the byte pointer could alias it and would force a reload per sample.
size_t DecodeMsMono(TMsChannel& channel, const TMsCoefPair* coefs, const uint8_t* data, size_t nibbleBytes,
                    uint8_t* out) {
  uint8_t* start = out;
  TMsChannel c = channel;
  const TMsCoefPair pair = coefs[c.Predictor];
  StoreLE16(out, uint16_t(c.Sample2));
  StoreLE16(out + 2, uint16_t(c.Sample1));
  out += 4;
  for (size_t b = 0; b < nibbleBytes; ++b) {
    StoreLE16(out, uint16_t(DecodeMsNibble(c, pair, data[b] >> 4)));
    StoreLE16(out + 2, uint16_t(DecodeMsNibble(c, pair, data[b] & 15)));
    out += 4;
  }
  channel = c;
  return size_t(out - start);
}

size_t DecodeMsStereo(TMsChannel (&channels)[2], const TMsCoefPair* coefs, const uint8_t* data, size_t nibbleBytes,
                      uint8_t* out) {
  uint8_t* start = out;
  TMsChannel c[2] = {channels[0], channels[1]};
  const TMsCoefPair left = coefs[c[0].Predictor];
  const TMsCoefPair right = coefs[c[1].Predictor];
  StoreLE16(out, uint16_t(c[0].Sample2));
  StoreLE16(out + 2, uint16_t(c[1].Sample2));
  StoreLE16(out + 4, uint16_t(c[0].Sample1));
  StoreLE16(out + 6, uint16_t(c[1].Sample1));
  out += 8;
  for (size_t b = 0; b < nibbleBytes; ++b) {
    StoreLE16(out, uint16_t(DecodeMsNibble(c[0], left, data[b] >> 4)));
    StoreLE16(out + 2, uint16_t(DecodeMsNibble(c[1], right, data[b] & 15)));
    out += 4;
  }
  channels[0] = c[0];
  channels[1] = c[1];
  return size_t(out - start);
}
