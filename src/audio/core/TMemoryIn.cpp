#include "audio/core/TMemoryIn.h"

#include <algorithm>

#include "audio/core/EAuException.h"

TMemoryIn::TMemoryIn(TComponent* AOwner) : TAuInput(AOwner) {}

uint32_t TMemoryIn::GetBitsPerSample() {
  if (InBitsPerSample != 8 && InBitsPerSample != 16 && InBitsPerSample != 24 && InBitsPerSample != 32)
    InBitsPerSample = 16;
  return InBitsPerSample;
}

uint32_t TMemoryIn::GetChannels() { return InChannels; }

uint32_t TMemoryIn::GetSampleRate() {
  if (InSampleRate < 2000 || InSampleRate > 96000) InSampleRate = 8000;
  return InSampleRate;
}

void TMemoryIn::DoInit() {
  Position.store(0);
  PassLength = static_cast<uint32_t>(DataSize);
  PassOffset = 0;
  Size.store(RepeatCount < 0 ? -1 : DataSize * RepeatCount);
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
    if (DataSize == 0 || PassLength == 0 || (size > 0 && Position.load() >= size)) {
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
