#include "audio/output/WaveFileWriter.h"

#include <cstdio>
#include <memory>

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

void PutTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

}  // namespace

bool WriteWaveFile(const std::string& path, const TWaveFormat& format, const std::vector<uint8_t>& data) {
  const bool extensible = format.FormatTag == kWaveFormatExtensible;
  const uint32_t fmtBytes = extensible ? 40 : 16;
  // RIFF sizes are 32-bit; keep whole frames that fit.
  uint64_t dataBytes = data.size();
  const uint64_t limit = 0xFFFFFFFFull - 64;
  if (dataBytes > limit) dataBytes = format.BlockAlign ? limit / format.BlockAlign * format.BlockAlign : limit;
  const uint32_t padded = uint32_t(dataBytes + (dataBytes & 1));

  std::vector<uint8_t> head;
  PutTag(head, "RIFF");
  Put32(head, 4 + 8 + fmtBytes + 8 + padded);
  PutTag(head, "WAVE");
  PutTag(head, "fmt ");
  Put32(head, fmtBytes);
  Put16(head, format.FormatTag);
  Put16(head, format.Channels);
  Put32(head, format.SamplesPerSec);
  Put32(head, format.AvgBytesPerSec);
  Put16(head, format.BlockAlign);
  Put16(head, format.BitsPerSample);
  if (extensible) {
    Put16(head, kWaveFormatExtensibleExtraSize);
    Put16(head, format.ValidBitsPerSample);
    Put32(head, format.ChannelMask);
    head.insert(head.end(), format.SubFormat.begin(), format.SubFormat.end());
  }
  PutTag(head, "data");
  Put32(head, uint32_t(dataBytes));

  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) return false;
  if (std::fwrite(head.data(), 1, head.size(), file.get()) != head.size()) return false;
  if (dataBytes && std::fwrite(data.data(), 1, size_t(dataBytes), file.get()) != dataBytes) return false;
  if (dataBytes & 1) {
    const uint8_t pad = 0;
    if (std::fwrite(&pad, 1, 1, file.get()) != 1) return false;
  }
  return std::fflush(file.get()) == 0;
}
