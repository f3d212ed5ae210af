#include "audio/decoders/WaveHeader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "audio/core/PcmFormat.h"

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagMsAdpcm = 2;
constexpr uint16_t kTagIeeeFloat = 3;
constexpr uint16_t kTagImaAdpcm = 0x11;
constexpr uint16_t kTagMpegLayer3 = 0x55;
constexpr uint16_t kTagExtensible = 0xFFFE;

// Sub-format GUIDs as stored in the file (little-endian fields).
constexpr uint8_t kGuidPcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint8_t kGuidFloat[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                    0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool IsCompressed(TWaveKind kind) {
  return kind == wkImaAdpcm || kind == wkMsAdpcm || kind == wkCodecManager;
}

TWaveKind KindOfTag(uint16_t tag, const std::vector<uint8_t>& fmt) {
  switch (tag) {
    case kTagPcm: return wkPcm;
    case kTagImaAdpcm: return wkImaAdpcm;
    case kTagMsAdpcm: return wkMsAdpcm;
    case kTagMpegLayer3: return wkCodecManager;
    case kTagIeeeFloat: return wkIeeeFloat;
    case kTagExtensible: {
      const uint8_t* guid = fmt.data() + fmt.size() - 16;  // the caller ensures >= 16 bytes
      if (std::memcmp(guid, kGuidPcm, 16) == 0) return wkExtensiblePcm;
      if (std::memcmp(guid, kGuidFloat, 16) == 0) return wkExtensibleFloat;
      return wkUnsupported;
    }
    default: return wkUnsupported;
  }
}

// Takes the fields of a "fmt " payload; returns the kind it selects.
TWaveKind TakeFmt(const std::vector<uint8_t>& fmt, TWaveHeader& h) {
  if (fmt.size() < 16) return wkUnsupported;  // too short to hold the basic fields
  const uint8_t* p = fmt.data();
  h.FormatTag = LoadLE16(p);
  h.Channels = LoadLE16(p + 2);
  h.SampleRate = LoadLE32(p + 4);
  h.BlockAlign = LoadLE16(p + 12);
  h.BitsPerSample = LoadLE16(p + 14);
  const TWaveKind kind = KindOfTag(h.FormatTag, fmt);
  if (IsCompressed(kind) && fmt.size() >= 20) h.SamplesPerBlock = LoadLE16(p + 18);
  if (kind == wkMsAdpcm && fmt.size() >= 22) {
    h.CoefCount = LoadLE16(p + 20);
    const size_t room = (fmt.size() - 22) / 4;
    const size_t n = std::min<size_t>({h.CoefCount, kMsMaxCoefs, room});
    for (size_t i = 0; i < n; ++i) {
      h.Coefs[i].Coef1 = int16_t(LoadLE16(p + 22 + 4 * i));
      h.Coefs[i].Coef2 = int16_t(LoadLE16(p + 24 + 4 * i));
    }
    h.CoefsComplete = h.CoefCount <= kMsMaxCoefs && h.CoefCount <= room;
  }
  return kind;
}

// Sample frames that dataBytes of ADPCM blocks decode to: whole blocks, then
// the frames the bytes of a cut-off last block hold (the decoder fills the
// rest of that block with zeros, which must not count).
uint64_t AdpcmFramesInData(const TWaveHeader& h, uint32_t blockFrames, uint64_t dataBytes) {
  const uint64_t whole = dataBytes / h.BlockAlign;
  const uint32_t rest = uint32_t(dataBytes % h.BlockAlign);
  const bool stereo = h.Channels == 2;
  uint64_t partial = 0;
  if (h.Kind == wkImaAdpcm) {
    const uint32_t header = 4u * h.Channels;
    if (rest >= header) {
      const uint32_t bytes = rest - header;
      // Stereo data comes in groups of 4 left and 4 right bytes; a frame needs both.
      partial = stereo ? 1 + 8 * (bytes / 8) + (bytes % 8 > 4 ? 2 * (bytes % 8 - 4) : 0) : 1 + 2 * uint64_t(bytes);
    }
  } else {
    const uint32_t header = 7u * h.Channels;
    if (rest >= header) partial = 2 + (stereo ? rest - header : 2 * uint64_t(rest - header));
  }
  return whole * blockFrames + std::min<uint64_t>(partial, blockFrames);
}

}  // namespace

const char* WaveKindName(TWaveKind kind) {
  switch (kind) {
    case wkPcm: return "pcm";
    case wkImaAdpcm: return "ima-adpcm";
    case wkMsAdpcm: return "ms-adpcm";
    case wkCodecManager: return "mpeg-layer3";
    case wkIeeeFloat: return "ieee-float";
    case wkExtensiblePcm: return "extensible-pcm";
    case wkExtensibleFloat: return "extensible-float";
    default: return "unsupported";
  }
}

bool ChunkIdMatches(const uint8_t* bytes, const char* expected) {
  for (int i = 0; i < 4; ++i) {
    const int a = bytes[i];
    const int b = static_cast<unsigned char>(expected[i]);
    if (a != b && a - b != 32 && b - a != 32) return false;
  }
  return true;
}

TWaveHeader ParseWaveHeader(TWaveByteSource& source) {
  TWaveHeader h;
  uint8_t last[4];
  uint32_t consumed = 0;
  auto readExact = [&](uint8_t* dst, uint32_t n) {
    consumed += n;
    return source.Read(dst, n) == n;
  };
  auto shiftIn = [&] {
    uint8_t b;
    if (!readExact(&b, 1)) return false;
    std::memmove(last, last + 1, 3);
    last[3] = b;
    return true;
  };

  enum class State { FindRiff, FindWave, FindFmt, FindFact, FindData } state = State::FindRiff;
  TWaveKind kind = wkUnsupported;
  std::vector<uint8_t> payload;
  if (!readExact(last, 4)) return h;
  for (;;) {
    if (state == State::FindRiff) {
      if (ChunkIdMatches(last, "RIFF")) {
        if (!readExact(last, 4)) return h;  // the RIFF size, not used
        state = State::FindWave;
      } else if (!shiftIn()) {
        return h;
      }
    } else if (state == State::FindWave) {
      if (ChunkIdMatches(last, "WAVE")) {
        if (!readExact(last, 4)) return h;  // first chunk id
        state = State::FindFmt;
      } else if (!shiftIn()) {
        return h;
      }
    } else {
      uint8_t sizeField[4];
      if (!readExact(sizeField, 4)) return h;
      const uint32_t size = LoadLE32(sizeField);
      if (state == State::FindData && ChunkIdMatches(last, "data")) {
        h.DataSize = size;
        h.DataOffset = consumed;
        h.Kind = kind;
        return h;
      }
      // A payload that would carry the scan past the header limit ends it
      // now; the limit test after this step would end it anyway.
      if (uint64_t(consumed) + size + 4 >= kWaveHeaderLimit) return h;
      payload.resize(size);
      if (size > 0 && !readExact(payload.data(), size)) return h;
      if (state == State::FindFmt && ChunkIdMatches(last, "fmt ")) {
        kind = TakeFmt(payload, h);
        if (kind == wkUnsupported) return h;
        state = IsCompressed(kind) ? State::FindFact : State::FindData;
      } else if (state == State::FindFact && ChunkIdMatches(last, "fact")) {
        // A payload too short for the count is ignored; the plan then
        // measures the data instead.
        if (size >= 4) {
          h.FactCount = LoadLE32(payload.data());
          h.FactCountPresent = true;
        }
        state = State::FindData;
      }
      // Next chunk id. A chunk of odd size is followed by a pad byte; writers
      // that leave it out are still read, since no chunk id starts with 0.
      if (!readExact(last, 4)) return h;
      if ((size & 1) != 0 && last[0] == 0 && !shiftIn()) return h;
    }
    if (source.AtEnd() || consumed >= kWaveHeaderLimit) return h;
  }
}

TWaveOutputPlan PlanWaveOutput(const TWaveHeader& h, std::optional<uint64_t> dataAvailable) {
  TWaveOutputPlan plan;
  plan.Channels = h.Channels;
  plan.SampleRate = h.SampleRate;
  plan.DataBytes = h.DataSize;
  if (dataAvailable) plan.DataBytes = std::min<uint64_t>(plan.DataBytes, *dataAvailable);
  if (h.Channels == 0 || h.Channels > kMaxChannels || !IsSupportedSampleRate(h.SampleRate)) return plan;

  switch (h.Kind) {
    case wkPcm:
    case wkExtensiblePcm: {
      plan.BitsPerSample = h.BitsPerSample;
      // Delivered as stored, so only the sample widths of the stream contract.
      if (h.BitsPerSample == 0 || h.BitsPerSample % 8 != 0 || h.BitsPerSample > 32) return plan;
      const uint64_t frame = uint64_t(h.Channels) * (h.BitsPerSample / 8);
      if (frame > kWaveOutBufferBytes) return plan;  // not one frame fits a refill
      plan.Size = int64_t(plan.DataBytes - plan.DataBytes % frame);
      plan.Valid = true;
      return plan;
    }
    case wkIeeeFloat:
    case wkExtensibleFloat: {
      plan.BitsPerSample = 32;
      if (h.BitsPerSample != 32 && h.BitsPerSample != 64) return plan;
      const uint64_t inFrame = uint64_t(h.Channels) * 8;  // a refill reads whole 64-bit frames
      if (inFrame > kWaveOutBufferBytes) return plan;
      const uint64_t fileFrame = uint64_t(h.Channels) * (h.BitsPerSample / 8);
      const uint64_t whole = plan.DataBytes - plan.DataBytes % fileFrame;
      plan.Size = int64_t(h.BitsPerSample == 32 ? whole : whole / 2);
      plan.Valid = true;
      return plan;
    }
    case wkImaAdpcm: {
      plan.BitsPerSample = 16;
      if (h.BitsPerSample != 4 || h.Channels > 2) return plan;
      const uint32_t header = 4u * h.Channels;
      if (h.BlockAlign <= header) return plan;
      const uint32_t dataBytes = h.BlockAlign - header;
      if (h.Channels == 2 && dataBytes % 8 != 0) return plan;  // stereo data comes in 4+4-byte groups
      plan.BlockFrames = h.Channels == 2 ? dataBytes + 1 : 2 * dataBytes + 1;
      if (uint64_t(plan.BlockFrames) * h.Channels * 2 > kWaveOutBufferBytes) return plan;
      if (h.SamplesPerBlock == 0 || h.SamplesPerBlock > plan.BlockFrames) return plan;
      break;
    }
    case wkMsAdpcm: {
      plan.BitsPerSample = 16;
      if (h.Channels > 2 || h.CoefCount == 0 || !h.CoefsComplete) return plan;
      const uint32_t header = 7u * h.Channels;
      if (h.BlockAlign < header || h.SamplesPerBlock < 2) return plan;
      const uint32_t nibbleBytes = h.Channels == 2 ? h.SamplesPerBlock - 2u : (h.SamplesPerBlock - 2u) / 2;
      if (nibbleBytes > h.BlockAlign - header) return plan;  // samples per block do not fit the block
      plan.BlockFrames = h.Channels == 2 ? h.SamplesPerBlock : 2 + 2 * nibbleBytes;
      if (uint64_t(plan.BlockFrames) * h.Channels * 2 > kWaveOutBufferBytes) return plan;
      break;
    }
    default:
      return plan;
  }

  // ADPCM: the fact count gives the length, cut to what the blocks present hold.
  const uint64_t frame = uint64_t(h.Channels) * 2;
  if (!h.FactCountPresent || (h.FactCount == 0 && plan.DataBytes > 0)) {
    plan.Size = int64_t(AdpcmFramesInData(h, plan.BlockFrames, plan.DataBytes) * frame);
    plan.Valid = true;
    return plan;
  }
  uint64_t size = uint64_t(h.FactCount) * frame;
  if (dataAvailable) {
    const uint64_t blocks = (plan.DataBytes + h.BlockAlign - 1) / h.BlockAlign;
    size = std::min(size, blocks * plan.BlockFrames * frame);
  }
  plan.Size = int64_t(size);
  plan.Valid = true;
  return plan;
}
