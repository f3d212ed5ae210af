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

namespace {

// One channel's state while a block is decoded, all in 32-bit registers: the
// samples stay within 16 bits, so nothing is narrowed and widened again per
// nibble. TSum holds the prediction's sum of two 16 x 16-bit products: it
// needs 33 bits only when both coefficient and sample are -32768, so blocks
// whose coefficients avoid -32768 take 32 bits (see Fits32).
template <typename TSum>
struct TMsWorking {
  int32_t Sample1;
  int32_t Sample2;
  int32_t Delta;
  int32_t Coef1;
  int32_t Coef2;

  TMsWorking(const TMsChannel& c, const TMsCoefPair& pair)
      : Sample1(c.Sample1), Sample2(c.Sample2), Delta(c.Delta), Coef1(pair.Coef1), Coef2(pair.Coef2) {}
  void StoreTo(TMsChannel& c) const {
    c.Sample1 = int16_t(Sample1);
    c.Sample2 = int16_t(Sample2);
    c.Delta = Delta;
  }

  int32_t Next(uint32_t nibble) {
    const int32_t signedNibble = int32_t(nibble ^ 8) - 8;
    const TSum sum = TSum(Sample1) * Coef1 + TSum(Sample2) * Coef2;
    int32_t p = int32_t(sum / 256) + Delta * signedNibble;  // |Delta| <= kMaxDelta: no overflow
    // Clamped to 16 bits; a branch, as music rarely reaches the limits, keeps
    // the clamp off the chain from one sample to the next.
    if (uint32_t(p + 32768) > 65535u) [[unlikely]]
      p = (p >> 31) ^ 32767;
    // A shift instead of a division: they differ only for a negative product,
    // and any result below 16 becomes 16 either way.
    int32_t delta = (Delta * kAdapt[nibble]) >> 8;
    delta = delta < 16 ? 16 : delta;
    if (delta > kMaxDelta) [[unlikely]]
      delta = kMaxDelta;
    Delta = delta;
    Sample2 = Sample1;
    Sample1 = p;
    return p;
  }
};

// With both coefficients above -32768, |sum| <= 2 x 32768 x 32767 < 2^31.
bool Fits32(const TMsCoefPair& pair) { return pair.Coef1 != INT16_MIN && pair.Coef2 != INT16_MIN; }

// The walkers read each data byte once into a register: stores through the
// output pointer could alias the input and would force reloads.
template <typename TSum>
size_t MonoBlock(TMsChannel& channel, const TMsCoefPair& pair, const uint8_t* data, size_t nibbleBytes,
                 uint8_t* out) {
  uint8_t* start = out;
  TMsWorking<TSum> c(channel, pair);
  StoreLE16(out, uint16_t(c.Sample2));
  StoreLE16(out + 2, uint16_t(c.Sample1));
  out += 4;
  for (size_t b = 0; b < nibbleBytes; ++b) {
    const uint32_t byte = data[b];
    const uint32_t first = uint16_t(c.Next(byte >> 4));
    const uint32_t second = uint16_t(c.Next(byte & 15));
    StoreLE32(out, first | second << 16);  // two samples, the first in the low half
    out += 4;
  }
  c.StoreTo(channel);
  return size_t(out - start);
}

template <typename TSum>
size_t StereoBlock(TMsChannel (&channels)[2], const TMsCoefPair& leftPair, const TMsCoefPair& rightPair,
                   const uint8_t* data, size_t nibbleBytes, uint8_t* out) {
  uint8_t* start = out;
  TMsWorking<TSum> left(channels[0], leftPair);
  TMsWorking<TSum> right(channels[1], rightPair);
  StoreLE16(out, uint16_t(left.Sample2));
  StoreLE16(out + 2, uint16_t(right.Sample2));
  StoreLE16(out + 4, uint16_t(left.Sample1));
  StoreLE16(out + 6, uint16_t(right.Sample1));
  out += 8;
  for (size_t b = 0; b < nibbleBytes; ++b) {
    const uint32_t byte = data[b];
    const uint32_t l = uint16_t(left.Next(byte >> 4));
    const uint32_t r = uint16_t(right.Next(byte & 15));
    StoreLE32(out, l | r << 16);  // one frame, left in the low half
    out += 4;
  }
  left.StoreTo(channels[0]);
  right.StoreTo(channels[1]);
  return size_t(out - start);
}

}  // namespace

int16_t DecodeMsNibble(TMsChannel& channel, const TMsCoefPair& coefs, uint8_t nibble) {
  TMsWorking<int64_t> c(channel, coefs);
  const int32_t p = c.Next(nibble & 15u);
  c.StoreTo(channel);
  return int16_t(p);
}

size_t DecodeMsMono(TMsChannel& channel, const TMsCoefPair* coefs, const uint8_t* data, size_t nibbleBytes,
                    uint8_t* out) {
  const TMsCoefPair& pair = coefs[channel.Predictor];
  if (Fits32(pair)) return MonoBlock<int32_t>(channel, pair, data, nibbleBytes, out);
  return MonoBlock<int64_t>(channel, pair, data, nibbleBytes, out);
}

size_t DecodeMsStereo(TMsChannel (&channels)[2], const TMsCoefPair* coefs, const uint8_t* data, size_t nibbleBytes,
                      uint8_t* out) {
  const TMsCoefPair& left = coefs[channels[0].Predictor];
  const TMsCoefPair& right = coefs[channels[1].Predictor];
  if (Fits32(left) && Fits32(right)) return StereoBlock<int32_t>(channels, left, right, data, nibbleBytes, out);
  return StereoBlock<int64_t>(channels, left, right, data, nibbleBytes, out);
}
