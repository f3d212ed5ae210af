#pragma once
// An input that plays caller-owned PCM bytes once or RepeatCount times in a
// row without copying them (each block points into DataBuffer). A block never
// spans two repetitions. RepeatCount < 0 (and 0, whose Size is 0) repeat
// without end. Flush sets DataSize to 0: the data must be given again before
// another run.
//
// Set up DataBuffer, DataSize, the format and RepeatCount before Init
// (GUI thread, between runs).

#include <cstdint>

#include "audio/core/TAuInput.h"

class TMemoryIn : public TAuInput {
 public:
  explicit TMemoryIn(TComponent* AOwner = nullptr);

  // Out-of-range values are corrected (and stored) when read:
  // bits other than 8/16/24/32 -> 16; rates outside 2000..96000 -> 8000.
  // Any thread; take DataLock.
  uint32_t GetBitsPerSample() override;
  uint32_t GetChannels() override;  // InChannels unchanged
  uint32_t GetSampleRate() override;

  const uint8_t* DataBuffer = nullptr;
  int64_t DataSize = 0;
  uint32_t InBitsPerSample = 0;
  uint32_t InSampleRate = 0;
  uint32_t InChannels = 0;
  int32_t RepeatCount = 1;

 protected:
  void DoInit() override;
  void DoFlush() override;
  void GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  bool Opened = false;
  uint32_t PassOffset = 0;  // bytes of the current repetition delivered
  uint32_t PassLength = 0;  // bytes of one repetition
};
