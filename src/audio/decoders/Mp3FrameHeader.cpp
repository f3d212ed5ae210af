#include "audio/decoders/Mp3FrameHeader.h"

bool ReadMp3FrameHeader(const uint8_t* p, TMp3Frame& f) {
  static constexpr uint16_t kBitrateV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static constexpr uint16_t kBitrateV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
  static constexpr uint32_t kRates[3] = {44100, 48000, 32000};
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const unsigned version = (p[1] >> 3) & 3;  // 0 = 2.5, 1 reserved, 2 = 2, 3 = 1
  const unsigned layer = (p[1] >> 1) & 3;    // 1 = layer III
  const unsigned bitrateIndex = p[2] >> 4;
  const unsigned rateIndex = (p[2] >> 2) & 3;
  if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
  const bool mpeg1 = version == 3;
  f.BitRate = 1000u * (mpeg1 ? kBitrateV1 : kBitrateV2)[bitrateIndex];
  f.SampleRate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  f.Samples = mpeg1 ? 1152 : 576;
  f.Bytes = (mpeg1 ? 144 : 72) * f.BitRate / f.SampleRate + ((p[2] >> 1) & 1);
  f.Channels = (p[3] >> 6) == 3 ? 1 : 2;
  return true;
}

ptrdiff_t FindMp3Frame(const uint8_t* buf, size_t bytes, TMp3Frame& f) {
  for (size_t pos = 0; pos + 4 <= bytes; ++pos) {
    TMp3Frame first;
    if (!ReadMp3FrameHeader(buf + pos, first)) continue;
    const size_t next = pos + first.Bytes;
    TMp3Frame second;
    if (next + 4 > bytes || !ReadMp3FrameHeader(buf + next, second)) continue;
    if (second.SampleRate != first.SampleRate || second.Channels != first.Channels) continue;
    f = first;
    return ptrdiff_t(pos);
  }
  return -1;
}

uint32_t Id3v2TagBytes(const uint8_t* head, size_t bytes) {
  if (bytes < 10 || head[0] != 'I' || head[1] != 'D' || head[2] != '3') return 0;
  // The size is stored in four bytes of seven bits each.
  for (int i = 6; i < 10; ++i)
    if (head[i] & 0x80) return 0;
  const uint32_t size = uint32_t(head[6]) << 21 | uint32_t(head[7]) << 14 | uint32_t(head[8]) << 7 | head[9];
  const bool footer = (head[5] & 0x10) != 0;
  return 10 + size + (footer ? 10 : 0);
}
