#include "audio/core/TMemoryIn.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "audio/core/EAuException.h"

TMemoryIn::TMemoryIn(TComponent* AOwner) : TAuInput(AOwner) {}

// The corrections are stored: under DataLock, since the GUI thread and an
// output's worker may both ask for the format.
uint32_t TMemoryIn::GetBitsPerSample() {
  std::lock_guard lock(DataLock);
  if (InBitsPerSample != 8 && InBitsPerSample != 16 && InBitsPerSample != 24 && InBitsPerSample != 32)
    InBitsPerSample = 16;
  return InBitsPerSample;
}

uint32_t TMemoryIn::GetChannels() {
  std::lock_guard lock(DataLock);
  return InChannels;
}

uint32_t TMemoryIn::GetSampleRate() {
  std::lock_guard lock(DataLock);
  if (InSampleRate < 2000 || InSampleRate > 96000) InSampleRate = 8000;
  return InSampleRate;
}

void TMemoryIn::DoInit() {
  Position.store(0);
  // A negative size is no data: taken to 32 bits it would become a pass of
  // up to 4 GiB read past the caller's buffer.
  const int64_t dataSize = std::max<int64_t>(DataSize, 0);
  PassLength = static_cast<uint32_t>(dataSize);
  PassOffset = 0;
  int64_t total = 0;
  // A product beyond 64 bits saturates rather than wrapping (to 0 or below,
  // which would repeat without end and show no progress).
  if (__builtin_mul_overflow(dataSize, static_cast<int64_t>(RepeatCount), &total)) total = INT64_MAX;
  Size.store(RepeatCount < 0 ? -1 : total);
  Opened = true;
}

void TMemoryIn::DoFlush() {
  Opened = false;
  DataSize = 0;
}

void TMemoryIn::GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) {
  if (!Opened) throw EAuException("The Stream is not opened");
  Buffer = nullptr;
  if (!DataBuffer) {
    Bytes = 0;
    return;
  }
  if (PassOffset >= PassLength) {
    const int64_t size = Size.load();
    if (DataSize <= 0 || PassLength == 0 || (size > 0 && Position.load() >= size)) {
      Bytes = 0;
      return;
    }
    PassOffset = 0;
  }
  Bytes = std::min(Bytes, PassLength - PassOffset);
  Buffer = DataBuffer + PassOffset;
  PassOffset += Bytes;
  Position.fetch_add(Bytes);
}
