#include "audio/decoders/TWMIn.h"

#include <sys/stat.h>

#include <mutex>

#include "audio/core/EAuException.h"
#include "audio/tags/TagText.h"

int ChannelCode(TChannelsNumber Value) {
  switch (Value) {
    case cnMaxAvailable: return -1;
    case cn5dot1: return 6;
    case cn7dot1: return 8;
    case cnMonoOrStereo:
    default: return 0;
  }
}

TWMIn::TWMIn(TComponent* AOwner) : TAuTaggedFileIn(AOwner) {}

TWMIn::~TWMIn() {
  CloseFile();
  DropRetiredReader();
}

void TWMIn::Reopen() {
  std::lock_guard<std::recursive_mutex> lock(OpenLock);
  if (OpenCount <= 0) return;
  CloseFile();
  try {
    OpenFile();
  } catch (const EAuException&) {
    // The file went away meanwhile: the input stays closed, and the next
    // Valid or format query reports it.
  }
}

// The setters check Busy under OpenLock: a run that starts meanwhile sets
// Busy before it opens the input, so it either sees the new setting when it
// opens or the setting is ignored. Checked outside the lock, a change could
// reopen the reader in another format under a run that has begun.
void TWMIn::SetHighPrecision(bool Value) {
  std::lock_guard<std::recursive_mutex> lock(OpenLock);
  if (Busy || FOutputChannels != cnMonoOrStereo) return;
  FHighPrecision = Value;
  Reopen();
}

void TWMIn::SetOutputChannels(TChannelsNumber Value) {
  std::lock_guard<std::recursive_mutex> lock(OpenLock);
  if (Busy) return;
  if (Value != cnMonoOrStereo) FHighPrecision = true;
  FOutputChannels = Value;
  Reopen();
}

void TWMIn::OpenFile() {
  std::lock_guard<std::recursive_mutex> lock(OpenLock);
  if (OpenCount > 0) return;
  if (!StreamAssigned && FFileName.empty()) throw EAuException("File name is not assigned");
  if (!StreamAssigned) OpenOwnStream();

  FDurationCs = FHeaderDurationCs = 0;
  wma_open(ReaderContext, Stream, FHighPrecision, ChannelCode(FOutputChannels), StreamIdentity());
  FValid = ReaderContext.FormatFound;
  if (!ReaderContext.Reader) {
    // Not a media file: the input stays closed and keeps no file open.
    FValid = false;
    if (!StreamAssigned) ForgetOwnStream();
    return;
  }

  FDurationCs = wma_duration_cs(ReaderContext);
  FHeaderDurationCs = wma_header_duration_cs(ReaderContext);
  int32_t channels = 0, bits = 0;
  uint32_t rate = 0;
  wma_get_format(ReaderContext, channels, bits, rate);
  FChannels = channels > 0 ? uint32_t(channels) : 0;
  FBitsPerSample = bits > 0 ? uint32_t(bits) : 0;
  FSampleRate = rate;
  // Whole frames in the duration; exact integer arithmetic so that the
  // length in samples does not depend on floating-point rounding.
  int64_t size = 0;
  PcmLengthOfDuration(FDurationCs, FSampleRate, FChannels * (FBitsPerSample / 8), FTotalSamples, size);
  Size = size;
  Seekable = true;

  TId3v2Tags& tags = Id3v2Tags();
  tags.ClearTags();
  tags.SetLongFrameIds(true);
  std::wstring text;
  if (wma_get_attribute(ReaderContext, "Author", text)) tags.SetArtist(text);
  if (wma_get_attribute(ReaderContext, "Title", text)) tags.SetTitle(text);
  if (wma_get_attribute(ReaderContext, "WM/AlbumTitle", text)) tags.SetAlbum(text);
  if (wma_get_attribute(ReaderContext, "WM/Genre", text)) tags.SetGenre(text);
  if (wma_get_attribute(ReaderContext, "WM/Track", text)) tags.SetTrack(tagtext::WideToNarrow(text));
  if (wma_get_attribute(ReaderContext, "WM/Year", text)) tags.SetYear(tagtext::WideToNarrow(text));
  if (wma_get_attribute(ReaderContext, "Copyright", text)) tags.SetComment(text);

  ++OpenCount;
}

std::string TWMIn::StreamIdentity() const {
  // Only a file of our own has one; a caller's stream may change under us.
  const auto* file = StreamAssigned ? nullptr : dynamic_cast<const TAuFileStream*>(Stream);
  struct stat st{};
  if (!file || fstat(file->Handle(), &st) != 0) return {};
  // Device and inode rather than the name: a relative name means another
  // file after a change of folder.
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
         std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

void TWMIn::CloseFile() {
  std::lock_guard<std::recursive_mutex> lock(OpenLock);
  if (OpenCount <= 0) return;
  if (Busy && !RetiredReader) {
    // The last block handed out points into the reader's sample buffers, and
    // its consumer may still be copying it: the reader is kept until the
    // next call on this input. The reader no longer reads the stream, so the
    // stream itself goes now. A reader opened after that within the same run
    // has handed out nothing (the run has ended) and is closed at once.
    RetiredReader = std::make_unique<wma_sync_reader>(std::move(ReaderContext));
    ReaderContext = wma_sync_reader{};
  } else {
    wma_close(ReaderContext);
  }
  OpenCount = 0;
  ReleaseStream();
}

void TWMIn::DropRetiredReader() {
  std::lock_guard<std::recursive_mutex> lock(OpenLock);
  if (!RetiredReader) return;
  wma_close(*RetiredReader);
  RetiredReader.reset();
}

void TWMIn::GetData(const uint8_t*& Buffer, uint32_t& Bytes) {
  std::lock_guard<std::recursive_mutex> data(DataLock);
  DropRetiredReader();  // the consumer is done with the block of the last pull
  TAuTaggedFileIn::GetData(Buffer, Bytes);
}

void TWMIn::DoFlush() {
  TAuTaggedFileIn::DoFlush();
  DropRetiredReader();
}

void TWMIn::GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) {
  // The reader must not be torn down by a CloseFile from another thread
  // while it decodes (DataLock is held here, and it comes before OpenLock).
  std::lock_guard<std::recursive_mutex> lock(OpenLock);
  const int64_t size = Size;
  if (size > 0) {
    const int64_t left = size - Position;
    if (left < int64_t(Bytes)) Bytes = left > 0 ? uint32_t(left) : 0;
  }
  wma_get_data(ReaderContext, Buffer, Bytes);
}

bool TWMIn::SeekToSample(int64_t& SampleNum) {
  std::lock_guard<std::recursive_mutex> lock(OpenLock);
  if (!Busy || FSampleRate == 0 || SampleNum < 0 || SampleNum > INT64_MAX / 100) return false;
  // The time of the sample in hundredths of a second, from the sample rate
  // so that it also holds inside a sample range and without a duration.
  const int64_t cs = RoundDivHalfEven(SampleNum * 100, int64_t(FSampleRate));
  if (cs > int64_t(UINT32_MAX) || !wma_seek(ReaderContext, uint32_t(cs))) return false;
  SampleNum = cs * int64_t(FSampleRate) / 100;
  return true;
}
