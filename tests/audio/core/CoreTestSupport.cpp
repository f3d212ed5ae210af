#include "CoreTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>

namespace coretest {

std::vector<uint8_t> Pattern(size_t Bytes, uint8_t Seed) {
  std::vector<uint8_t> data(Bytes);
  for (size_t i = 0; i < Bytes; ++i) data[i] = static_cast<uint8_t>((i + Seed) % 251);
  return data;
}

std::vector<uint8_t> PullAll(TAuInput& In, uint32_t Chunk, int Limit) {
  std::vector<uint8_t> out;
  for (int i = 0; i < Limit; ++i) {
    const uint8_t* block = nullptr;
    uint32_t bytes = Chunk;
    In.GetData(block, bytes);
    if (bytes == 0) break;
    EXPECT_LE(bytes, Chunk);
    out.insert(out.end(), block, block + bytes);
  }
  return out;
}

void Feed(TMemoryIn& In, const std::vector<uint8_t>& Data, const TPcmFormat& Format) {
  In.SetDataBuffer(Data.data());
  In.SetDataSize(static_cast<int64_t>(Data.size()));
  In.SetInBitsPerSample(Format.BitsPerSample);
  In.SetInChannels(Format.Channels);
  In.SetInSampleRate(Format.SampleRate);
}

void TScriptedIn::DoInit() {
  ++Inits;
  if (FailInit) throw EAuException("cannot open");
  Offset = 0;
  Position.store(0);
  Size.store(Endless ? -1 : static_cast<int64_t>(Data.size()));
  Busy.store(true);
}

void TScriptedIn::DoFlush() {
  ++Flushes;
  Busy.store(false);
}

void TScriptedIn::GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) {
  ++Pulls;
  if (Endless && Offset >= Data.size()) Offset = 0;
  const size_t left = Data.size() - Offset;
  Bytes = static_cast<uint32_t>(std::min<size_t>({Bytes, MaxBlock, left}));
  Buffer = Bytes ? Data.data() + Offset : nullptr;
  Offset += Bytes;
  Position.fetch_add(Bytes);
}

std::vector<uint8_t> TCaptureOut::Captured() {
  std::lock_guard lock(CaptureLock);
  return Bytes;
}

void TCaptureOut::ClearCaptured() {
  std::lock_guard lock(CaptureLock);
  Bytes.clear();
}

void TCaptureOut::Prepare() {
  ++Prepares;
  if (ThrowInPrepare) throw EAuException("prepare failed");
  Input()->Init();
  SeenChannels.store(Input()->Channels());
  SeenRate.store(Input()->SampleRate());
  SeenBits.store(Input()->BitsPerSample());
}

bool TCaptureOut::DoOutput(bool Abort) {
  ++Steps;
  if (Abort) return false;
  if (ThrowInStep) throw EAuException("step failed");
  if (ThrowNonStandard) throw 42;
  std::vector<uint8_t> block(BlockBytes);
  bool ended = false;
  const uint32_t got = ReadFull(*Input(), block.data(), BlockBytes, ended);
  {
    std::lock_guard lock(CaptureLock);
    Bytes.insert(Bytes.end(), block.begin(), block.begin() + got);
  }
  if (ended) return false;
  if (StepSleep.count() > 0) {
    if (WaitInterruptible(StepSleep))
      ++FinishedSleeps;
    else
      ++InterruptedSleeps;
  }
  return true;
}

void TCaptureOut::Done() {
  ++Dones;
  if (Input()) Input()->Flush();
  if (ThrowInDone) throw EAuException("done failed");
}

namespace {
void Put32(std::vector<uint8_t>& Out, uint32_t Value) {
  for (int i = 0; i < 4; ++i) Out.push_back(static_cast<uint8_t>(Value >> (8 * i)));
}
uint32_t Get32(const uint8_t* In) {
  return static_cast<uint32_t>(In[0]) | static_cast<uint32_t>(In[1]) << 8 | static_cast<uint32_t>(In[2]) << 16 |
         static_cast<uint32_t>(In[3]) << 24;
}
constexpr int64_t RawHeader = 16;
}  // namespace

std::vector<uint8_t> RawImage(const TPcmFormat& Format, const std::vector<uint8_t>& Pcm) {
  std::vector<uint8_t> image = {'R', 'A', 'W', '1'};
  Put32(image, Format.BitsPerSample);
  Put32(image, Format.Channels);
  Put32(image, Format.SampleRate);
  image.insert(image.end(), Pcm.begin(), Pcm.end());
  return image;
}

void TRawFileIn::OpenFile() {
  std::lock_guard lock(OpenLock);
  if (OpenCount > 0) return;
  ++OpenCalls;
  if (!StreamAssigned) OpenOwnStream();
  uint8_t header[RawHeader] = {};
  const bool read = Stream && Stream->ReadExact(header, RawHeader);
  FValid = read && std::memcmp(header, "RAW1", 4) == 0;
  FBitsPerSample = FValid ? Get32(header + 4) : 0;
  FChannels = FValid ? Get32(header + 8) : 0;
  FSampleRate = FValid ? Get32(header + 12) : 0;
  Size.store(FValid ? Stream->Size() - RawHeader : 0);
  ReadIndex = 1;
  FillEnd = 0;
  ++OpenCount;
}

void TRawFileIn::CloseFile() {
  std::lock_guard lock(OpenLock);
  if (OpenCount <= 0) return;
  ++CloseCalls;
  ReleaseStream();
  OpenCount = 0;
}

bool TRawFileIn::SeekToSample(int64_t& SampleNum) {
  ++Seeks;
  ReadIndex = 1;
  FillEnd = 0;
  const int64_t frame = (FChannels * FBitsPerSample) / 8;
  SampleNum = std::max<int64_t>(SampleNum + SeekLanding, 0);
  return Stream && Stream->Seek(RawHeader + SampleNum * frame, soBeginning) >= 0;
}

void TRawFileIn::GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) {
  ++BlockCalls;
  const uint32_t frame = (FChannels * FBitsPerSample) / 8;
  if (frame == 0) {
    Buffer = nullptr;
    Bytes = 0;
    return;
  }
  if (ReadIndex > FillEnd) {
    Block.resize(BufferBytes - BufferBytes % frame);
    const int64_t got = Stream ? Stream->Read(Block.data(), static_cast<int64_t>(Block.size())) : 0;
    ReadIndex = 1;
    FillEnd = static_cast<uint32_t>(got);
  }
  uint32_t count = Bytes - Bytes % frame;
  count = std::min(count, FillEnd - ReadIndex + 1);
  if (ReadIndex > FillEnd) count = 0;
  Buffer = count ? Block.data() + ReadIndex - 1 : nullptr;
  ReadIndex += count;
  Bytes = count;
}

}  // namespace coretest
