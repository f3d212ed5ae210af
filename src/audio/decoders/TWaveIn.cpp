#include "audio/decoders/TWaveIn.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>

#include "audio/core/EAuException.h"
#include "audio/decoders/FloatToInt32.h"
#include "audio/decoders/TWaveConverter.h"

namespace {

// The header scan's view of a stream; counts its own position so the end test
// costs no seek.
class TStreamByteSource : public TWaveByteSource {
 public:
  TStreamByteSource(TStream& stream, bool seekable, int64_t start)
      : Stream(stream), Position(start), End(seekable ? stream.Size() : -1) {}
  uint32_t Read(uint8_t* dst, uint32_t bytes) override {
    const int64_t got = Stream.Read(dst, bytes);
    if (got <= 0) return 0;
    Position += got;
    return uint32_t(got);
  }
  bool AtEnd() override { return End >= 0 && Position >= End; }

 private:
  TStream& Stream;
  int64_t Position;
  int64_t End;
};

}  // namespace

TWaveIn::TWaveIn(TComponent* AOwner) : TAuFileIn(AOwner) {}

TWaveIn::~TWaveIn() { CloseFile(); }

void TWaveIn::OpenFile() {
  std::lock_guard<std::recursive_mutex> lock(OpenLock);
  if (OpenCount > 0) return;
  FValid = true;
  SingleFloat = false;
  FWaveKind = wkUnsupported;
  if (!StreamAssigned) OpenOwnStream();  // raises when the file cannot be opened
  if (Stream == nullptr) {
    FValid = false;
    ++OpenCount;
    return;
  }
  const int64_t start = Seekable ? Stream->Position() : 0;
  ParseAndPlan(*Stream, start < 0 ? 0 : start);
  if (FWaveKind == wkCodecManager && !ConvertCodecManager()) {
    FValid = false;
    // Stays closed, so no CloseFile will come: an own file is released here
    // (whichever query opened it), a caller's stream is rewound so the next
    // open scans from the start again.
    if (!StreamAssigned) {
      ForgetOwnStream();
    } else if (Seekable && Stream != nullptr) {
      Stream->Seek(0, soBeginning);
    }
    return;
  }
  ++OpenCount;
}

void TWaveIn::ParseAndPlan(TStream& source, int64_t scanStart) {
  FBitsPerSample = FChannels = FSampleRate = 0;
  Size = 0;
  TStreamByteSource bytes(source, Seekable, scanStart);
  const TWaveHeader h = ParseWaveHeader(bytes);
  FWaveKind = h.Kind;
  if (h.Kind == wkUnsupported) {
    FValid = false;
    return;
  }
  if (h.Kind == wkCodecManager) return;  // the converter reads the whole file
  std::optional<uint64_t> available;
  if (Seekable) {
    const int64_t end = source.Size();
    if (end >= 0) available = uint64_t(std::max<int64_t>(end - (scanStart + h.DataOffset), 0));
  }
  ApplyPlan(h, scanStart, available);
}

void TWaveIn::ApplyPlan(const TWaveHeader& h, int64_t scanStart, std::optional<uint64_t> available) {
  DataOffset = scanStart + h.DataOffset;
  const TWaveOutputPlan plan = PlanWaveOutput(h, available);
  DataEnd = DataOffset + int64_t(plan.DataBytes);
  ReadPos = DataOffset;
  AheadRead = AheadEnd = 0;
  if (h.Kind == wkImaAdpcm) {
    ImaBlockAlign = h.BlockAlign;
    ImaSamplesPerBlock = h.SamplesPerBlock;
    ImaSampleCount = h.FactCount;
  } else {
    BlockAlign = h.BlockAlign;
    SamplesPerBlock = h.SamplesPerBlock;
    SampleCount = h.FactCount;
  }
  CoefCount = h.CoefCount;
  Coefs = h.Coefs;
  SingleFloat = h.BitsPerSample == 32;
  SourceFrameBytes = uint32_t(h.Channels) * (h.BitsPerSample / 8);
  MsNibbleBytes = h.Channels == 2 ? uint32_t(h.SamplesPerBlock) - 2 : (uint32_t(h.SamplesPerBlock) - 2) / 2;
  if (!plan.Valid) {
    // Leave the format empty so nothing downstream divides by a bad field.
    FValid = false;
    return;
  }
  FChannels = plan.Channels;
  FBitsPerSample = plan.BitsPerSample;
  FSampleRate = plan.SampleRate;
  Size = plan.Size;
  if (h.Kind == wkImaAdpcm || h.Kind == wkMsAdpcm) {
    BlockBuffer.assign(h.BlockAlign, 0);
    Ahead.resize(std::max<size_t>(kAheadBytes, h.BlockAlign));
  }
}

bool TWaveIn::ConvertCodecManager() {
  try {
    auto converter = std::make_unique<TWaveConverter>();
    if (Stream->Seek(0, soBeginning) != 0) return false;
    converter->ReadWave(*Stream);
    converter->TargetFormat.SetFormatTag(1);
    if (CodecSuggestFormat(converter->SourceFormat, converter->TargetFormat, kWaveFormatRecordBytes,
                           kSuggestRestrictFormatTag) != 0)
      return false;
    if (converter->Convert() != 0) return false;
    // The converted PCM is read where it is, as the data of a PCM file in
    // the format the converter now describes: the WAV image WriteWave could
    // make around it would only copy it.
    const TWaveFormatRecord& pcm = converter->SourceFormat;
    TWaveHeader h;
    h.Kind = wkPcm;
    h.FormatTag = pcm.FormatTag();
    h.Channels = pcm.Channels();
    h.SampleRate = pcm.SamplesPerSec();
    h.BlockAlign = pcm.BlockAlign();
    h.BitsPerSample = pcm.BitsPerSample();
    const uint64_t bytes = converter->Data().size();
    if (h.FormatTag != 1 || bytes > UINT32_MAX) return false;
    h.DataSize = uint32_t(bytes);
    auto converted = std::make_unique<TMemoryStream>(std::move(converter->Data()));
    ApplyPlan(h, 0, bytes);
    if (!FValid) return false;
    ConvertedStream = std::move(converted);
    SourceStream = Stream;
    SourceStreamAssigned = StreamAssigned;
    Stream = ConvertedStream.get();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void TWaveIn::CloseFile() {
  std::lock_guard<std::recursive_mutex> lock(OpenLock);
  if (OpenCount <= 0) return;
  if (ConvertedStream) {
    ConvertedStream.reset();
    Stream = SourceStream;
    SourceStream = nullptr;
  }
  ReleaseStream();
  OpenCount = 0;
}

uint32_t TWaveIn::ReadSource(uint8_t* dst, uint32_t wanted) {
  const int64_t left = DataEnd - ReadPos;
  if (left <= 0 || Stream == nullptr) return 0;
  if (int64_t(wanted) > left) wanted = uint32_t(left);
  uint32_t total = 0;
  while (total < wanted) {
    const int64_t got = Stream->Read(dst + total, wanted - total);
    if (got <= 0) break;
    total += uint32_t(got);
  }
  ReadPos += total;
  return total;
}

uint32_t TWaveIn::RefillPcm(uint32_t frameBytes) {
  const uint32_t n = ReadSource(OutBuffer.data(), kWaveOutBufferBytes - kWaveOutBufferBytes % frameBytes);
  return n - n % frameBytes;  // a cut-off frame at the end is not delivered
}

uint32_t TWaveIn::RefillFloat() {
  uint32_t n = ReadSource(OutBuffer.data(), kWaveOutBufferBytes - kWaveOutBufferBytes % (FChannels * 8));
  n -= n % SourceFrameBytes;
  if (SingleFloat) {
    SingleToInt32(OutBuffer.data(), n / 4);
    return n;
  }
  DoubleToInt32(OutBuffer.data(), n / 8);
  return n / 2;
}

const uint8_t* TWaveIn::ReadBlock(uint32_t blockBytes) {
  // Blocks are small (often 2 KiB): the source is read in larger pieces, and
  // a block that lies whole in the piece is decoded where it is.
  if (AheadEnd - AheadRead < blockBytes) {
    const uint32_t kept = AheadEnd - AheadRead;
    std::memmove(Ahead.data(), Ahead.data() + AheadRead, kept);
    AheadRead = 0;
    AheadEnd = kept + ReadSource(Ahead.data() + kept, uint32_t(Ahead.size()) - kept);
  }
  const uint32_t got = std::min(blockBytes, AheadEnd - AheadRead);
  if (got == 0) return nullptr;
  const uint8_t* block = Ahead.data() + AheadRead;
  AheadRead += got;
  if (got == blockBytes) return block;
  // A short last block, completed with zeros.
  std::memcpy(BlockBuffer.data(), block, got);
  std::memset(BlockBuffer.data() + got, 0, blockBytes - got);
  return BlockBuffer.data();
}

uint32_t TWaveIn::RefillIma() {
  const uint8_t* block = ReadBlock(ImaBlockAlign);
  if (!block) return 0;
  const uint32_t header = uint32_t(kImaChannelHeaderBytes) * FChannels;
  const size_t dataBytes = ImaBlockAlign - header;
  if (FChannels == 2) {
    ImaState[0] = ReadImaChannelHeader(block);
    ImaState[1] = ReadImaChannelHeader(block + 4);
    return uint32_t(DecodeImaStereo(ImaState, block + header, dataBytes, OutBuffer.data()) * 4);
  }
  ImaState[0] = ReadImaChannelHeader(block);
  return uint32_t(DecodeImaMono(ImaState[0], block + header, dataBytes, OutBuffer.data()) * 2);
}

uint32_t TWaveIn::RefillMs() {
  const uint8_t* block = ReadBlock(BlockAlign);
  if (!block) return 0;
  ReadMsBlockHeader(block, FChannels, CoefCount, MsState);
  if (FChannels == 2)
    return uint32_t(DecodeMsStereo(MsState, Coefs.data(), block + kMsStereoHeaderBytes, MsNibbleBytes, OutBuffer.data()));
  return uint32_t(DecodeMsMono(MsState[0], Coefs.data(), block + kMsMonoHeaderBytes, MsNibbleBytes, OutBuffer.data()));
}

void TWaveIn::GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) {
  if (!Busy) throw EAuException("The Stream is not opened");
  const uint32_t frame = FChannels * FBitsPerSample / 8;
  if (!FValid || frame == 0) {
    Buffer = nullptr;
    Bytes = 0;
    return;
  }
  if (ReadIndex > FillEnd) {
    ReadIndex = 1;
    switch (FWaveKind) {
      case wkPcm:
      case wkExtensiblePcm:
      case wkCodecManager: FillEnd = RefillPcm(frame); break;
      case wkImaAdpcm: FillEnd = RefillIma(); break;
      case wkMsAdpcm: FillEnd = RefillMs(); break;
      case wkIeeeFloat:
      case wkExtensibleFloat: FillEnd = RefillFloat(); break;
      default: FillEnd = 0; break;
    }
  }
  uint32_t count = Bytes - Bytes % frame;
  const uint32_t remaining = ReadIndex <= FillEnd ? FillEnd - ReadIndex + 1 : 0;
  if (remaining < count) count = remaining;
  Buffer = count > 0 ? OutBuffer.data() + (ReadIndex - 1) : nullptr;
  ReadIndex += count;
  Bytes = count;
}

bool TWaveIn::SeekToSample(int64_t& SampleNum) {
  ReadIndex = 1;
  FillEnd = 0;
  // Beyond 2^40 frames no WAV file reaches; the bound keeps the offsets from overflowing.
  if (!FValid || Stream == nullptr || SampleNum < 0 || SampleNum > (int64_t(1) << 40)) return false;
  int64_t offset = 0;
  switch (FWaveKind) {
    case wkPcm: offset = DataOffset + SampleNum * int64_t(FChannels * (FBitsPerSample / 8)); break;
    case wkImaAdpcm: offset = DataOffset + (SampleNum / ImaSamplesPerBlock) * ImaBlockAlign; break;
    case wkMsAdpcm: offset = DataOffset + (SampleNum / SamplesPerBlock) * BlockAlign; break;
    default: return false;
  }
  AheadRead = AheadEnd = 0;
  if (Stream->Seek(offset, soBeginning) != offset) return false;
  ReadPos = offset;
  return true;
}
