#include "audio/core/TAuInput.h"

#include <cstring>

TAuInput::TAuInput(TComponent* AOwner) : TComponent(AOwner) {}

TAuInput::~TAuInput() = default;

void TAuInput::Init() {
  std::lock_guard lock(DataLock);
  EndOfData.store(false);
  try {
    DoInit();
  } catch (...) {
    // A run that cannot start simply has no data.
    EndOfData.store(true);
  }
}

void TAuInput::Flush() {
  std::lock_guard lock(DataLock);
  DoFlush();
}

void TAuInput::GetData(const uint8_t*& Buffer, uint32_t& Bytes) {
  std::lock_guard lock(DataLock);
  GetDataBlock(Buffer, Bytes);
}

void TAuInput::Reset() {
  try {
    Flush();
  } catch (...) {
  }
  Busy.store(false);
}

uint32_t ReadChunk(TAuInput& Input, uint8_t* Destination, uint32_t Wanted) {
  const uint8_t* block = nullptr;
  uint32_t bytes = Wanted;
  Input.GetData(block, bytes);
  if (bytes > Wanted) bytes = Wanted;  // an input must not hand out more than asked
  if (bytes == 0 || !block) return 0;
  std::memcpy(Destination, block, bytes);
  return bytes;
}

uint32_t ReadFull(TAuInput& Input, uint8_t* Destination, uint32_t Wanted, bool& EndReached) {
  EndReached = true;
  uint32_t gathered = 0;
  while (gathered < Wanted) {
    const uint32_t got = ReadChunk(Input, Destination + gathered, Wanted - gathered);
    if (got == 0) {
      EndReached = true;
      return gathered;
    }
    EndReached = false;
    gathered += got;
  }
  return gathered;
}
