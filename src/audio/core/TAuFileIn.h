#pragma once
// File input base: file name, opening on demand, validity check, length
// queries and seeking. A decoder implements four operations:
//
//   OpenFile      under OpenLock; nothing when OpenCount > 0. Otherwise: when
//                 StreamAssigned is false, OpenOwnStream() (mode 0x20; a
//                 missing file raises from TAuFileStream); read the header; set
//                 FValid; fill FBitsPerSample/FChannels/FSampleRate and Size
//                 (bytes of decoded PCM, <= 0 when unknown); OpenCount++.
//                 A decoder may leave OpenCount at 0 when opening fails.
//   CloseFile     under OpenLock; when OpenCount > 0: ReleaseStream() (frees
//                 an own stream, rewinds a caller's seekable one); OpenCount = 0.
//   GetDataBlock  at most Bytes bytes of whole frames from the decoder's own
//                 buffer (refilled when ReadIndex > FillEnd); 0 at the end.
//                 DataLock held.
//   SeekToSample  reposition to an absolute frame; ReadIndex = 1, FillEnd = 0.
//
// A decoder's destructor must call CloseFile() itself: the base destructor can
// no longer reach the override (freeing through TComponent::Free also closes
// it in BeforeDestruction).
//
// FileName is a file-system path (UTF-8 bytes on Linux); callers convert from
// the Windows-1250 clip names before setting it.
//
// Threads: the GUI thread calls SetFileName, Valid, TotalTime and the format
// queries; the worker calls Init, GetData, Flush. OpenLock serialises OpenFile
// and CloseFile between them; lock order DataLock before OpenLock. Changing
// the file or stream of a busy input is allowed: it waits for the pull in
// progress and the run ends at its next pull. A decoder whose blocks point
// into memory that CloseFile frees must keep that memory until the next call
// on the input (the consumer copies the last block after the lock is gone).

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "audio/core/TAuFileStream.h"
#include "audio/core/TAuStreamedInput.h"

class TAuFileIn : public TAuStreamedInput {
 public:
  explicit TAuFileIn(TComponent* AOwner = nullptr);
  ~TAuFileIn() override;

  const std::string& FileName() const { return FFileName; }
  // Takes DataLock (waits for a pull in progress), then CloseFile and store
  // the name. A run that is open ends at its next pull (0 bytes).
  void SetFileName(const std::string& Value);
  void SetStream(TStream* Value) override;  // as SetFileName

  // Opens the file and returns the format field (0 when unknown).
  uint32_t GetBitsPerSample() override;
  uint32_t GetChannels() override;
  uint32_t GetSampleRate() override;
  // Size / bytes per second, rounded half to even; 0 when the format is unknown.
  int32_t GetTotalTime() override;
  // Size div frame size when Size > 0, else -1; stored in FTotalSamples.
  // Takes DataLock.
  int64_t GetTotalSamples() override;

  // Whether the file opens as a readable file of the decoder's kind. A valid
  // file stays open; an invalid one is closed again. Never raises.
  bool Valid();
  // Positions the next (or, while busy, the current) run at frame SampleNum.
  // False for a negative frame. Takes DataLock.
  bool Seek(int64_t SampleNum);
  void Reset() override;

  virtual void OpenFile() = 0;
  virtual void CloseFile() = 0;

  int32_t TimeSeconds() const { return FTimeSeconds; }

 protected:
  void DoInit() override;
  void DoFlush() override;
  void BeforeDestruction() override;

  // Opens FileName with mode 0x20 as the input's own stream and makes it Stream.
  void OpenOwnStream();
  // Own stream: freed and forgotten. Caller's stream: rewound when Seekable.
  void ReleaseStream();
  // Frees the own stream (if any) without touching a caller's stream.
  void ForgetOwnStream();
  // SetFileName/SetStream during a run: the run ends at its next pull.
  // DataLock held.
  void EndRunForSourceChange();

  std::recursive_mutex OpenLock;  // serialises OpenFile and CloseFile
  std::string FFileName;
  std::string WideFileName;       // the name used to open the file (same bytes here)
  int32_t OpenCount = 0;          // 0 = closed
  bool FValid = false;
  uint32_t FBitsPerSample = 0;
  uint32_t FSampleRate = 0;
  uint32_t FChannels = 0;
  int32_t FTimeSeconds = 0;
  std::unique_ptr<TStream> OwnStream;  // the stream opened from FileName, if any
};
