#include "audio/core/TAuFileIn.h"

#include <algorithm>
#include <cmath>

#include "audio/core/EAuException.h"

TAuFileIn::TAuFileIn(TComponent* AOwner) : TAuStreamedInput(AOwner) {}

// The decoder's own destructor has already closed the file (the override is
// gone by now); only an own stream may remain, and the unique_ptr frees it.
TAuFileIn::~TAuFileIn() = default;

void TAuFileIn::BeforeDestruction() {
  if (Destroying()) return;
  // Notify first: an output playing this input stops before the file closes.
  TAuStreamedInput::BeforeDestruction();
  try {
    CloseFile();
  } catch (...) {
  }
}

void TAuFileIn::SetFileName(const std::string& Value) {
  // DataLock first: a pull in progress finishes with the old file before it
  // is closed.
  std::lock_guard data(DataLock);
  std::lock_guard open(OpenLock);
  EndRunForSourceChange();
  CloseFile();
  ForgetOwnStream();
  FFileName = Value;
  WideFileName = Value;
}

void TAuFileIn::SetStream(TStream* Value) {
  std::lock_guard data(DataLock);
  std::lock_guard open(OpenLock);
  EndRunForSourceChange();
  CloseFile();
  ForgetOwnStream();
  TAuStreamedInput::SetStream(Value);
}

void TAuFileIn::EndRunForSourceChange() {
  if (!Busy.load()) return;
  // The run's source goes away: its next pull reports the end without
  // calling the decoder, which may meanwhile be opened on the new source.
  EndOfData.store(true);
  LoopPending = false;
}

void TAuFileIn::OpenOwnStream() {
  std::lock_guard lock(OpenLock);
  ForgetOwnStream();
  OwnStream = std::make_unique<TAuFileStream>(WideFileName, fmShareDenyWrite);
  Stream = OwnStream.get();
}

void TAuFileIn::ReleaseStream() {
  std::lock_guard lock(OpenLock);
  if (!StreamAssigned) {
    ForgetOwnStream();
    return;
  }
  if (Seekable && Stream) Stream->Seek(0, soBeginning);
}

void TAuFileIn::ForgetOwnStream() {
  std::lock_guard lock(OpenLock);
  if (!OwnStream) return;
  if (Stream == OwnStream.get()) Stream = nullptr;
  OwnStream.reset();
}

uint32_t TAuFileIn::GetBitsPerSample() {
  std::lock_guard lock(OpenLock);
  OpenFile();
  return FBitsPerSample;
}

uint32_t TAuFileIn::GetChannels() {
  std::lock_guard lock(OpenLock);
  OpenFile();
  return FChannels;
}

uint32_t TAuFileIn::GetSampleRate() {
  std::lock_guard lock(OpenLock);
  OpenFile();
  return FSampleRate;
}

int32_t TAuFileIn::GetTotalTime() {
  std::lock_guard lock(OpenLock);
  OpenFile();
  const double bytesPerSecond = static_cast<double>(FSampleRate) * FChannels * (FBitsPerSample / 8);
  const int64_t size = Size.load();
  // An unknown length (Size <= 0) reads as 0 seconds, not as a negative time.
  if (bytesPerSecond <= 0 || size <= 0) return 0;
  const double seconds = std::nearbyint(static_cast<double>(size) / bytesPerSecond);  // ties to even
  return seconds > 2147483647.0 ? 2147483647 : static_cast<int32_t>(seconds);
}

int64_t TAuFileIn::GetTotalSamples() {
  // FTotalSamples is also the run's frame count, written by DoInit under
  // DataLock: any thread may ask, so the store takes the same lock.
  std::lock_guard data(DataLock);
  std::lock_guard open(OpenLock);
  OpenFile();
  const uint32_t frame = (FChannels * FBitsPerSample) / 8;
  const int64_t size = Size.load();
  FTotalSamples = (size > 0 && frame > 0) ? size / frame : -1;
  return FTotalSamples;
}

bool TAuFileIn::Valid() {
  std::lock_guard lock(OpenLock);
  if (!StreamAssigned && WideFileName.empty()) return FValid;
  // A stream left from an earlier failed open is not reused.
  if (!StreamAssigned && OpenCount == 0) ForgetOwnStream();
  try {
    OpenFile();
  } catch (...) {
    FValid = false;
  }
  if (FValid) return true;
  if (OpenCount != 0) {
    try {
      CloseFile();
    } catch (...) {
    }
    OpenCount = 0;
  }
  if (!StreamAssigned) ForgetOwnStream();
  return false;
}

bool TAuFileIn::Seek(int64_t SampleNum) {
  if (!Seekable || SampleNum < 0) return false;
  std::lock_guard lock(DataLock);
  if (FTotalSamples != 0 && FTotalSamples < SampleNum) return false;
  if (!Busy.load()) {
    StartSample = SampleNum;
    Position.store(SampleNum * FrameSize);
    EndSample = -1;
    return true;
  }
  int64_t sample = StartSample + SampleNum;
  bool reached = false;
  try {
    reached = SeekToSample(sample);
  } catch (...) {
    return false;
  }
  // A decoder that lands on a block or time boundary may report a frame
  // before the run's start; the position stays at its start then.
  Position.store(std::max<int64_t>(sample - StartSample, 0) * FrameSize);
  return reached;
}

void TAuFileIn::Reset() {
  TAuStreamedInput::Reset();
  std::lock_guard lock(OpenLock);
  OpenCount = 0;
}

void TAuFileIn::DoInit() {
  if (Busy.load()) throw EAuException("The component is Busy");
  if (!StreamAssigned && WideFileName.empty()) throw EAuException("The file name is not assigned");
  Busy.store(true);
  Position.store(0);
  LoopPending = false;
  try {
    OpenFile();
    const uint32_t frame = (FChannels * FBitsPerSample) >> 3;
    // Not a playable file: the run fails here (no division by zero later).
    if (frame == 0 || frame > 0xFFFF || FSampleRate == 0) throw EAuException("Invalid audio format");
    FrameSize = static_cast<uint16_t>(frame);
  } catch (...) {
    // Leave the input closed and idle so a later run can try again.
    try {
      CloseFile();
    } catch (...) {
    }
    Busy.store(false);
    throw;
  }
  const int64_t size = Size.load();
  FTotalSamples = size / FrameSize;
  FTimeSeconds = static_cast<int32_t>(std::clamp<int64_t>(FTotalSamples / FSampleRate, INT32_MIN, INT32_MAX));

  if (StartSample > 0) {
    if (Seekable && (FTotalSamples == 0 || FTotalSamples >= StartSample)) {
      std::lock_guard lock(DataLock);
      int64_t sample = StartSample;
      try {
        SeekToSample(sample);
      } catch (...) {
        // A failed positioning is ignored: the run starts where the decoder is.
      }
    }
    Position.store(0);
  }
  if (StartSample <= 0 && EndSample == -1) {
    ReadIndex = 1;
    FillEnd = 0;
    return;
  }
  if (FTotalSamples <= 0) {
    // Length unknown: the run goes to the end of the source.
    ReadIndex = 1;
    FillEnd = 0;
    return;
  }
  if (EndSample > FTotalSamples) EndSample = -1;
  const int64_t first = std::max<int64_t>(StartSample, 0);
  const int64_t last = EndSample == -1 ? FTotalSamples - 1 : std::min(EndSample, FTotalSamples - 1);
  int64_t frames = last - first + 1;
  if (frames <= 0) {
    // Empty range (it starts beyond the end): nothing is delivered.
    frames = 0;
    EndOfData.store(true);
  }
  FTotalSamples = frames;
  Size.store(frames * FrameSize);
  ReadIndex = 1;
  FillEnd = 0;
}

void TAuFileIn::DoFlush() {
  CloseFile();
  StartSample = 0;
  EndSample = -1;
  LoopPending = false;
  Busy.store(false);
}
