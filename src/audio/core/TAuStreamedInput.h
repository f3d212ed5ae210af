#pragma once
// An input fed from a stream: sample range, looping, position tracking and
// end detection shared by every decoder.
//
// GetData (the streamed pull), under DataLock:
//   - after the end has been reported, returns 0 bytes without calling the
//     decoder (unless Loop is on: then the next pull starts the loop over);
//   - never lets Position pass a positive Size: the block that crosses it is
//     shortened and the end is reported; at or past Size (after a seek)
//     nothing is delivered and the decoder is not called;
//   - with Loop on, the block that reaches the end is delivered in full and
//     the following pull restarts at StartSample (SeekToSample when Seekable,
//     otherwise Flush and Init of the input itself), with Position back at 0.
//
// Stream is not owned when StreamAssigned (the caller's); a stream opened from
// a file name is owned by the file input (see TAuFileIn).

#include <cstdint>

#include "audio/core/TAuInput.h"
#include "audio/core/TStream.h"

class TAuStreamedInput : public TAuInput {
 public:
  explicit TAuStreamedInput(TComponent* AOwner = nullptr);
  ~TAuStreamedInput() override;

  // Stream := Value; StreamAssigned := Value is not null. The caller keeps
  // ownership. GUI thread, between runs.
  virtual void SetStream(TStream* Value);
  // Decoder: reposition to the absolute frame SampleNum (may adjust it to the
  // frame reached) and empty the block buffer; false on failure. Called with
  // DataLock held.
  virtual bool SeekToSample(int64_t& SampleNum) = 0;

  void GetData(const uint8_t*& Buffer, uint32_t& Bytes) override;

  TStream* Stream = nullptr;
  bool StreamAssigned = false;
  bool Seekable = true;
  int64_t StartSample = 0;  // first frame of the run
  int64_t EndSample = -1;   // last frame of the run (inclusive); -1 = to the end
  bool Loop = false;
  int64_t FTotalSamples = 0;  // frames in the run (set by DoInit); read via TotalSamples()

 protected:
  // The end was met with Loop on and its block delivered: the next pull
  // restarts. Cleared by the file input's DoInit and DoFlush.
  bool LoopPending = false;

 private:
  void RestartAndRead(const uint8_t*& Buffer, uint32_t& Bytes, uint32_t Asked);
  void Account(uint32_t& Bytes);
  // Size > 0 and Position >= Size (DataLock held).
  bool AtOrPastSize() const;
};
