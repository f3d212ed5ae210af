#include "audio/decoders/TWaveConverter.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "audio/decoders/WaveHeader.h"

TWaveConverter::TWaveConverter() : MaxFormatBytes(CodecMaxFormatBytes()) {}

void TWaveConverter::ReadWave(TStream& Source) {
  uint8_t head[12];
  int64_t count = Source.Read(head, 8);
  count += Source.Read(head + 8, 4);
  if (count != 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return;
  const int64_t sourceSize = Source.Size();
  bool haveFmt = false;
  bool haveData = false;
  // An 8-byte window (id and size) slides one byte at a time; after a chunk
  // payload it restarts 7 bytes before the payload's end.
  while (count < sourceSize - 1) {
    count -= 7;
    if (Source.Seek(count, soBeginning) != count) break;
    uint8_t window[8];
    const int64_t got = Source.Read(window, 8);
    if (got < 8) break;  // a short window cannot hold an id and a size
    count += got;
    const uint64_t available = uint64_t(sourceSize - count);
    const uint64_t payload = std::min<uint64_t>(LoadLE32(window + 4), available);
    if (std::memcmp(window, "fmt ", 4) == 0) {
      SourceFormat = TWaveFormatRecord{};
      const int64_t keep = int64_t(std::min<uint64_t>(payload, kWaveFormatRecordBytes));
      count += Source.Read(SourceFormat.Bytes.data(), keep);
      count += int64_t(payload) - keep;  // the rest of a longer payload is not kept
      haveFmt = true;
    } else if (std::memcmp(window, "fact", 4) == 0) {
      count += int64_t(payload);
    } else if (std::memcmp(window, "data", 4) == 0 && payload > 0) {
      std::vector<uint8_t>& content = Data();
      content.resize(payload);
      const int64_t read = Source.Read(content.data(), int64_t(payload));
      content.resize(size_t(std::max<int64_t>(read, 0)));
      count += int64_t(payload);
      haveData = true;
    }
    // Once both are loaded, later windows (text after the audio that happens
    // to spell an id) must not replace them.
    if (haveFmt && haveData) break;
  }
  Seek(0, soBeginning);
}

uint32_t TWaveConverter::Convert() {
  const std::vector<uint8_t>& held = Data();
  if (held.size() > UINT32_MAX) return kCodecErrInvalidParam;
  const uint32_t heldBytes = uint32_t(held.size());
  TCodecStream stream;
  if (uint32_t r = stream.Open(SourceFormat, TargetFormat)) return r;
  uint32_t destBytes = 0;
  if (uint32_t r = stream.Size(held.data(), heldBytes, destBytes)) return r;
  std::vector<uint8_t> dest;
  try {
    dest.reserve(destBytes);
    Seek(0, soBeginning);
    uint32_t sourceUsed = 0;
    if (uint32_t r = stream.Convert(held.data(), heldBytes, dest, destBytes, sourceUsed)) return r;
    // The content takes the estimated size; bytes the codec left unused stay silence.
    dest.resize(destBytes, 0);
  } catch (const std::bad_alloc&) {
    return kCodecErrNoMem;
  }
  const size_t formatBytes = std::min<size_t>(MaxFormatBytes, kWaveFormatRecordBytes);
  std::memcpy(SourceFormat.Bytes.data(), TargetFormat.Bytes.data(), formatBytes);
  Data() = std::move(dest);
  Seek(0, soBeginning);
  return kCodecOk;
}

uint32_t TWaveConverter::WriteWave(TStream& Dest) {
  const int64_t keptPosition = Position();
  try {
    const std::vector<uint8_t>& held = Data();
    if (held.size() > UINT32_MAX - 36) return kWriteFailed;
    uint8_t header[44];
    std::memcpy(header, "RIFF", 4);
    StoreLE32(header + 4, 0);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    StoreLE32(header + 16, 16);
    std::memcpy(header + 20, SourceFormat.Bytes.data(), 16);
    std::memcpy(header + 36, "data", 4);
    StoreLE32(header + 40, uint32_t(held.size()));
    bool ok = Dest.WriteExact(header, 44);
    Seek(0, soBeginning);
    ok = ok && Dest.WriteExact(held.data(), int64_t(held.size()));
    const int64_t destSize = Dest.Size();
    uint8_t riff[8];
    std::memcpy(riff, "RIFF", 4);
    StoreLE32(riff + 4, uint32_t(destSize - 8));
    ok = ok && Dest.Seek(0, soBeginning) == 0 && Dest.WriteExact(riff, 8);
    Seek(keptPosition, soBeginning);
    return ok ? 0 : kWriteFailed;
  } catch (const std::exception&) {
    Seek(keptPosition, soBeginning);
    return kWriteFailed;
  }
}
