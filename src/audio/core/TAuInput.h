#pragma once
// Input base of the pull pipeline.
//
// PCM stream contract: an input delivers interleaved little-endian sample
// frames in the format it reports: BitsPerSample 8 (unsigned, silence 128),
// 16, 24 or 32 (signed, silence 0), Channels, SampleRate in Hz. Byte counts
// and positions are 64-bit; a Size of -1 means open-ended.
//
// Calling order per run (the consumer, usually an output's worker):
//   Init, any number of GetData, Flush.
// The format queries may be called at any time and from the GUI thread; file
// inputs open their source on demand to answer them.
//
// GetData(Buffer, Bytes): on entry Bytes is the most the caller wants; on
// return Buffer points into memory owned by the input (valid until the next
// call on that input) holding Bytes bytes, at most the amount asked. Bytes = 0
// means no more data in this run. Consumers copy the data out before calling
// again.
//
// Locks: DataLock is re-entrant (a streamed input calls Flush and Init on
// itself while holding it) and is taken by Init, GetData and Flush. Lock order
// for containers: the container's DataLock, its own list lock, the current
// item's DataLock, a file input's OpenLock; the event queue lock is a leaf.
//
// Position and Size are atomics: the worker writes them, the GUI thread reads
// them for progress. What only the input and its subclasses touch (the
// decoder cursors, FrameSize, DataLock) is protected.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "audio/core/TComponent.h"
#include "audio/core/TPcmFormat.h"

class TAuInput : public TComponent {
 public:
  explicit TAuInput(TComponent* AOwner = nullptr);
  ~TAuInput() override;

  // Read-only properties, read through the virtual queries below.
  uint32_t BitsPerSample() { return GetBitsPerSample(); }
  uint32_t Channels() { return GetChannels(); }
  uint32_t SampleRate() { return GetSampleRate(); }
  int32_t TotalTime() { return GetTotalTime(); }
  int64_t TotalSamples() { return GetTotalSamples(); }
  // The three format queries in one record.
  TPcmFormat Format() { return TPcmFormat{GetBitsPerSample(), GetChannels(), GetSampleRate()}; }

  // Takes DataLock; clears EndOfData; calls DoInit. When DoInit raises, the
  // exception is swallowed and EndOfData is set. Never raises.
  void Init();
  // Takes DataLock; calls DoFlush. Exceptions of DoFlush propagate after the
  // lock is released.
  void Flush();

  // Virtual operations, in their fixed order.
  virtual uint32_t GetBitsPerSample() = 0;
  virtual uint32_t GetChannels() = 0;
  virtual uint32_t GetSampleRate() = 0;
  virtual int32_t GetTotalTime() { return 0; }     // seconds
  virtual int64_t GetTotalSamples() { return 0; }  // frames

 protected:
  virtual void DoInit() = 0;   // input-specific start of a run (DataLock held)
  virtual void DoFlush() = 0;  // input-specific end of a run (DataLock held)
  // Input-specific pull of one block (DataLock held).
  virtual void GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) = 0;

 public:
  // Takes DataLock, calls GetDataBlock, releases the lock.
  virtual void GetData(const uint8_t*& Buffer, uint32_t& Bytes);
  // Flush ignoring any exception, then clear Busy.
  virtual void Reset();
  // Hooks called by the output's Pause and Resume (GUI thread); do nothing.
  virtual void Pause() {}
  virtual void Resume() {}

  // Fields any thread may read.
  std::atomic<int64_t> Position{0};    // bytes delivered since the run's Init
  std::atomic<int64_t> Size{0};        // bytes this run will deliver; -1 = open-ended
  std::atomic<bool> Busy{false};       // a run is open (inputs that track it)
  std::atomic<bool> EndOfData{false};  // the input has reported its end in this run

 protected:
  uint16_t FrameSize = 0;         // bytes per frame, set by file inputs at DoInit
  uint32_t ReadIndex = 1;         // 1-based next unread byte of a decoder's own buffer
  uint32_t FillEnd = 0;           // last valid byte there; exhausted when ReadIndex > FillEnd
  std::recursive_mutex DataLock;  // serialises Init, GetData, Flush (and Seek)
};

// One GetData call asking for Wanted bytes; copies the block to Destination.
// Returns the byte count (0 = the input has ended).
uint32_t ReadChunk(TAuInput& Input, uint8_t* Destination, uint32_t Wanted);

// Repeats ReadChunk after the bytes gathered so far until Wanted bytes are
// gathered or a call returns 0; EndReached is true when the last call returned
// 0. Wanted = 0 makes no call and reports EndReached true.
uint32_t ReadFull(TAuInput& Input, uint8_t* Destination, uint32_t Wanted, bool& EndReached);
