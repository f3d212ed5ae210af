#pragma once
// An input that plays caller-owned PCM bytes once or RepeatCount times in a
// row without copying them (each block points into DataBuffer). A block never
// spans two repetitions. RepeatCount < 0 (and 0, whose Size is 0) repeat
// without end. Flush sets DataSize to 0: the data must be given again before
// another run.
//
// Set up DataBuffer, DataSize, the format and RepeatCount before Init
// (GUI thread, between runs). Every accessor takes DataLock: the worker reads
// them in a run and clears DataSize at Flush, and the format queries store
// their corrections from any thread.

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

  // The bytes played (not owned; they must outlive the run).
  const uint8_t* DataBuffer();
  void SetDataBuffer(const uint8_t* Value);
  // Bytes of DataBuffer played per repetition; 0 after Flush.
  int64_t DataSize();
  void SetDataSize(int64_t Value);
  // The format of DataBuffer, as set (the queries above correct it).
  uint32_t InBitsPerSample();
  void SetInBitsPerSample(uint32_t Value);
  uint32_t InSampleRate();
  void SetInSampleRate(uint32_t Value);
  uint32_t InChannels();
  void SetInChannels(uint32_t Value);
  int32_t RepeatCount();
  void SetRepeatCount(int32_t Value);

 protected:
  void DoInit() override;
  void DoFlush() override;
  void GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  const uint8_t* FDataBuffer = nullptr;
  int64_t FDataSize = 0;
  uint32_t FInBitsPerSample = 0;
  uint32_t FInSampleRate = 0;
  uint32_t FInChannels = 0;
  int32_t FRepeatCount = 1;
  bool Opened = false;
  uint32_t PassOffset = 0;  // bytes of the current repetition delivered
  uint32_t PassLength = 0;  // bytes of one repetition
};
