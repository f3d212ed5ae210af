#pragma once
// TWMIn: the file input that decodes compressed media files (MP3 and any
// other file libavformat opens) through the reader context.
//
// Opening picks one audio output of the file and one PCM format for it by
// HighPrecision and OutputChannels; a file without an audio output or
// without a format that matches the channel request opens with Valid false
// and Size 0. Size comes from the container's duration, rounded to
// hundredths of a second; without a duration Size is 0 and the file plays to
// the decoder's end. A file opened by name is read through for its length at
// most once in the program's run (see TMediaSyncReader::GetDuration). The
// ID3v2 tag set is filled from the file's attributes.
//
// Pulls hand out the decoder's own buffers (or the reader's conversion
// buffer) one decoded frame at a time without copying; a pull may end inside
// a sample frame when the caller asks for such a count.
//
// Threads: as TAuFileIn. The setters of HighPrecision and OutputChannels are
// GUI-thread calls between runs; they take OpenLock and are ignored while
// Busy. GetDataBlock and SeekToSample also take OpenLock (after DataLock), so
// a close from another thread never tears the reader down under a pull; a
// close during a run keeps the reader until the next call on the input, as
// the block handed out last points into it.

#include <cstdint>
#include <memory>
#include <string>

#include "audio/decoders/WmaSyncReader.h"
#include "audio/tags/TAuTaggedFileIn.h"

enum TChannelsNumber : uint8_t { cnMaxAvailable = 0, cnMonoOrStereo = 1, cn5dot1 = 2, cn7dot1 = 3 };

// The reader context's channel code of a channel request.
int ChannelCode(TChannelsNumber Value);

class TWMIn : public TAuTaggedFileIn {
 public:
  explicit TWMIn(TComponent* AOwner = nullptr);
  ~TWMIn() override;

  bool HighPrecision() const { return FHighPrecision; }
  // Ignored while Busy or when OutputChannels is not cnMonoOrStereo; an open
  // input is closed and opened again.
  void SetHighPrecision(bool Value);
  TChannelsNumber OutputChannels() const { return FOutputChannels; }
  // Ignored while Busy; anything but cnMonoOrStereo also turns HighPrecision
  // on; an open input is closed and opened again.
  void SetOutputChannels(TChannelsNumber Value);
  uint32_t DurationCs() const { return FDurationCs; }
  // Where the file's header claims a longer length than the file holds (an
  // MP3 cut short after its Xing frame), the claim in hundredths of a second;
  // DurationCs, Size and TotalTime are then what the file holds. 0 when the
  // header's length stands. Set by OpenFile.
  uint32_t HeaderDurationCs() const { return FHeaderDurationCs; }
  bool ShorterThanHeader() const { return FHeaderDurationCs > FDurationCs; }

  // Raises EAuException "File name is not assigned" with neither a stream
  // nor a file name; a file the reader cannot open leaves the input closed.
  void OpenFile() override;
  // While Busy the reader is kept (not read any more) until the next
  // GetData or Flush, so the block handed out last stays valid.
  void CloseFile() override;
  // Takes DataLock; frees a reader kept by CloseFile, then pulls.
  void GetData(const uint8_t*& Buffer, uint32_t& Bytes) override;

 protected:
  void DoFlush() override;
  void GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) override;
  // Only during a run: repositions the reader to the sample's time in
  // hundredths of a second and reports the sample reached.
  bool SeekToSample(int64_t& SampleNum) override;

 private:
  void Reopen();
  // Device, inode, size and modification time of the own file; empty for a
  // caller's stream.
  std::string StreamIdentity() const;
  // Closes and frees RetiredReader, if any (takes OpenLock).
  void DropRetiredReader();

  wma_sync_reader ReaderContext;
  std::unique_ptr<wma_sync_reader> RetiredReader;  // closed during a run, see CloseFile
  uint32_t FDurationCs = 0;
  uint32_t FHeaderDurationCs = 0;
  bool FHighPrecision = false;
  TChannelsNumber FOutputChannels = cnMonoOrStereo;
};
