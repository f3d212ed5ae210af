#include "audio/core/TAuStreamedInput.h"

TAuStreamedInput::TAuStreamedInput(TComponent* AOwner) : TAuInput(AOwner) {}

TAuStreamedInput::~TAuStreamedInput() = default;

void TAuStreamedInput::SetStream(TStream* Value) {
  Stream = Value;
  StreamAssigned = Value != nullptr;
}

void TAuStreamedInput::Account(uint32_t& Bytes) {
  if (Bytes == 0) {
    EndOfData.store(true);
    return;
  }
  const int64_t before = Position.load();
  const int64_t position = before + Bytes;
  const int64_t size = Size.load();
  Position.store(position);
  if (size <= 0 || position < size) return;
  EndOfData.store(true);
  if (position > size) {
    // Only the part below Size is delivered; a block that starts at or past
    // it (a seek can leave the position there) delivers nothing.
    Bytes = before < size ? static_cast<uint32_t>(size - before) : 0;
    Position.store(size);
  }
  if (Loop) LoopPending = true;
}

bool TAuStreamedInput::AtOrPastSize() const {
  const int64_t size = Size.load();
  return size > 0 && Position.load() >= size;
}

void TAuStreamedInput::RestartAndRead(const uint8_t*& Buffer, uint32_t& Bytes, uint32_t Asked) {
  LoopPending = false;
  EndOfData.store(false);
  if (Seekable) {
    int64_t sample = StartSample;
    SeekToSample(sample);
  } else {
    Flush();
    Init();
  }
  Position.store(0);
  Buffer = nullptr;
  Bytes = 0;
  if (EndOfData.load()) return;  // the restart itself failed
  Bytes = Asked;
  GetDataBlock(Buffer, Bytes);
  if (Bytes > Asked) Bytes = Asked;
  Account(Bytes);
  if (Bytes == 0) LoopPending = false;  // an empty source must not loop forever
}

void TAuStreamedInput::GetData(const uint8_t*& Buffer, uint32_t& Bytes) {
  std::lock_guard lock(DataLock);
  const uint32_t asked = Bytes;
  if (EndOfData.load()) {
    if (Loop && LoopPending) {
      RestartAndRead(Buffer, Bytes, asked);
      return;
    }
    Buffer = nullptr;
    Bytes = 0;
    return;
  }
  if (AtOrPastSize()) {
    // Reached by a seek: the end, without another block from the decoder.
    Position.store(Size.load());
    Bytes = 0;
  } else {
    GetDataBlock(Buffer, Bytes);
    if (Bytes > asked) Bytes = asked;
  }
  Account(Bytes);
  if (Bytes == 0 && Loop) {
    // The source ran dry before Size: start over within this pull.
    RestartAndRead(Buffer, Bytes, asked);
    return;
  }
  if (Bytes == 0) Buffer = nullptr;
}
