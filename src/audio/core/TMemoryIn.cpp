#include "audio/core/TMemoryIn.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "audio/core/EAuException.h"

TMemoryIn::TMemoryIn(TComponent* AOwner) : TAuInput(AOwner) {}

const uint8_t* TMemoryIn::DataBuffer() {
  std::lock_guard lock(DataLock);
  return FDataBuffer;
}

void TMemoryIn::SetDataBuffer(const uint8_t* Value) {
  std::lock_guard lock(DataLock);
  FDataBuffer = Value;
}

int64_t TMemoryIn::DataSize() {
  std::lock_guard lock(DataLock);
  return FDataSize;
}

void TMemoryIn::SetDataSize(int64_t Value) {
  std::lock_guard lock(DataLock);
  FDataSize = Value;
}

uint32_t TMemoryIn::InBitsPerSample() {
  std::lock_guard lock(DataLock);
  return FInBitsPerSample;
}

void TMemoryIn::SetInBitsPerSample(uint32_t Value) {
  std::lock_guard lock(DataLock);
  FInBitsPerSample = Value;
}

uint32_t TMemoryIn::InSampleRate() {
  std::lock_guard lock(DataLock);
  return FInSampleRate;
}

void TMemoryIn::SetInSampleRate(uint32_t Value) {
  std::lock_guard lock(DataLock);
  FInSampleRate = Value;
}

uint32_t TMemoryIn::InChannels() {
  std::lock_guard lock(DataLock);
  return FInChannels;
}

void TMemoryIn::SetInChannels(uint32_t Value) {
  std::lock_guard lock(DataLock);
  FInChannels = Value;
}

int32_t TMemoryIn::RepeatCount() {
  std::lock_guard lock(DataLock);
  return FRepeatCount;
}

void TMemoryIn::SetRepeatCount(int32_t Value) {
  std::lock_guard lock(DataLock);
  FRepeatCount = Value;
}

// The corrections are stored: under DataLock, since the GUI thread and an
// output's worker may both ask for the format.
uint32_t TMemoryIn::GetBitsPerSample() {
  std::lock_guard lock(DataLock);
  if (FInBitsPerSample != 8 && FInBitsPerSample != 16 && FInBitsPerSample != 24 && FInBitsPerSample != 32)
    FInBitsPerSample = 16;
  return FInBitsPerSample;
}

uint32_t TMemoryIn::GetChannels() {
  std::lock_guard lock(DataLock);
  return FInChannels;
}

uint32_t TMemoryIn::GetSampleRate() {
  std::lock_guard lock(DataLock);
  if (FInSampleRate < 2000 || FInSampleRate > 96000) FInSampleRate = 8000;
  return FInSampleRate;
}

void TMemoryIn::DoInit() {
  Position.store(0);
  // A negative size is no data: taken to 32 bits it would become a pass of
  // up to 4 GiB read past the caller's buffer.
  const int64_t dataSize = std::max<int64_t>(FDataSize, 0);
  PassLength = static_cast<uint32_t>(dataSize);
  PassOffset = 0;
  int64_t total = 0;
  // A product beyond 64 bits saturates rather than wrapping (to 0 or below,
  // which would repeat without end and show no progress).
  if (__builtin_mul_overflow(dataSize, static_cast<int64_t>(FRepeatCount), &total)) total = INT64_MAX;
  Size.store(FRepeatCount < 0 ? -1 : total);
  Opened = true;
}

void TMemoryIn::DoFlush() {
  Opened = false;
  FDataSize = 0;
}

void TMemoryIn::GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) {
  if (!Opened) throw EAuException("The Stream is not opened");
  Buffer = nullptr;
  if (!FDataBuffer) {
    Bytes = 0;
    return;
  }
  if (PassOffset >= PassLength) {
    const int64_t size = Size.load();
    if (FDataSize <= 0 || PassLength == 0 || (size > 0 && Position.load() >= size)) {
      Bytes = 0;
      return;
    }
    PassOffset = 0;
  }
  Bytes = std::min(Bytes, PassLength - PassOffset);
  Buffer = FDataBuffer + PassOffset;
  PassOffset += Bytes;
  Position.fetch_add(Bytes);
}
