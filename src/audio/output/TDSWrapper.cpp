#include "audio/output/TDSWrapper.h"

#include <algorithm>
#include <cstring>

#include "audio/output/TSoundClock.h"

namespace {

__extension__ using TInt128 = __int128;

}  // namespace

TSoundResult EnumerateDevices(TSoundSystem& System, TDeviceTable& Devices, int32_t& DeviceCount) {
  DeviceCount = 0;
  return System.EnumerateOutputDevices([&](const TDeviceId* id, const std::string& description) {
    if (DeviceCount >= kMaxDevices) return false;
    TDeviceInfo& info = Devices[size_t(DeviceCount)];
    info = TDeviceInfo{};
    if (id) info.Guid = *id;
    size_t n = std::min(description.size(), kDeviceNameChars);
    // Never half a UTF-8 character: back off over continuation bytes.
    if (n < description.size())
      while (n > 0 && (uint8_t(description[n]) & 0xC0) == 0x80) --n;
    std::memcpy(info.Name.data(), description.data(), n);
    info.Name[n] = '\0';
    ++DeviceCount;
    return DeviceCount < kMaxDevices;
  });
}

void TDSWrapper::Reset() {
  CloseDevice();
  S.WriteOffset = 0;
  S.BufferSize = 0;
  S.FrameBytes = 0;
  S.TicksPerBuffer = 0;
  S.LastPlayTime = 0;
  S.LastPlayCursor = 0;
  S.Underflows = 0;
  S.Running = false;
}

TSoundResult TDSWrapper::OpenDevice(const TDeviceId& Id) { return System.CreateDevice(Id, S.Device); }

TSoundResult TDSWrapper::InitOutputBuffer(TWindowHandle Window, const TWaveFormat& Format, uint32_t Size) {
  S.BufferSize = Size;
  S.Running = false;
  S.Underflows = 0;
  S.FrameBytes = Format.BlockAlign;
  if (!S.Device) return srNoDevice;
  if (TSoundResult r = S.Device->SetCooperativeLevel(Window ? Window : System.DesktopWindow(), kCooperativeExclusive))
    return r;
  if (TSoundResult r = S.Device->CreatePrimaryBuffer(S.PrimaryBuffer)) return r;
  if (TSoundResult r = S.PrimaryBuffer->SetFormat(Format)) return r;
  if (TSoundResult r = S.Device->CreateOutputBuffer(Format, Size, kOutputBufferFlags, S.OutputBuffer)) return r;

  TLockedRegions regions;
  if (TSoundResult r = S.OutputBuffer->Lock(0, Size, regions)) return r;
  // Silence of the format: a zero byte is full negative level for 8 bits.
  std::memset(regions.First, SilenceByteOf(Format), regions.FirstBytes);
  if (TSoundResult r = S.OutputBuffer->Unlock(regions)) return r;

  const int64_t frequency = System.Clock().Frequency();
  S.TicksPerBuffer = frequency > 0 && Format.SamplesPerSec > 0 && Format.BlockAlign > 0
                         ? int64_t(TInt128(frequency) * (Size / Format.BlockAlign) / Format.SamplesPerSec)
                         : 0;
  uint32_t play = 0;
  return S.OutputBuffer->GetCurrentPosition(play, S.WriteOffset);
}

TSoundResult TDSWrapper::StartOutput() {
  if (!S.OutputBuffer) return srInvalidArgument;
  S.LastPlayTime = System.Clock().Now();
  S.LastPlayCursor = 0;
  if (TSoundResult r = S.OutputBuffer->SetCurrentPosition(0)) return r;
  if (TSoundResult r = S.OutputBuffer->PlayLooping()) return r;
  S.Running = true;
  return srOk;
}

TSoundResult TDSWrapper::StopOutput() {
  if (!S.OutputBuffer) return srOk;
  if (S.Running) {
    // What played since the last poll counts before the cursor is taken
    // afresh at the restart.
    uint32_t play = 0;
    uint32_t write = 0;
    if (S.OutputBuffer->GetCurrentPosition(play, write) == srOk) (void)CountPlayed(play);
  }
  S.Running = false;
  return S.OutputBuffer->Stop();
}

TSoundResult TDSWrapper::RestartOutput() {
  if (!S.OutputBuffer) return srInvalidArgument;
  // The time spent stopped is not playing time: take the clock and the cursor
  // afresh, or the next query would count the pause as laps of the buffer
  // and overwrite audio that was never played.
  uint32_t play = 0;
  uint32_t write = 0;
  if (TSoundResult r = S.OutputBuffer->GetCurrentPosition(play, write)) return r;
  S.LastPlayTime = System.Clock().Now();
  S.LastPlayCursor = play;
  if (TSoundResult r = S.OutputBuffer->PlayLooping()) return r;
  S.Running = true;
  return srOk;
}

uint32_t TDSWrapper::QueryOutputSpace() {
  if (!S.OutputBuffer || S.BufferSize == 0) return 0;
  const int64_t size = S.BufferSize;
  uint32_t playCursor = 0;
  uint32_t writeCursor = 0;
  if (S.OutputBuffer->GetCurrentPosition(playCursor, writeCursor) != srOk) return 0;
  int64_t guard = int64_t(writeCursor) - int64_t(playCursor);
  if (guard < 0) guard += size;
  int64_t play = playCursor;
  if (S.Running) play += CountPlayed(playCursor) * size;

  int64_t empty = play - int64_t(S.WriteOffset);
  if (empty < 0) empty += size;
  if (empty > size - guard) {
    // Underflow: the play cursor overtook the write offset.
    if (S.Running) ++S.Underflows;
    S.WriteOffset = writeCursor;
    empty = size - guard;
  }
  return uint32_t(empty);
}

int64_t TDSWrapper::CountPlayed(uint32_t PlayCursor) {
  const int64_t size = S.BufferSize;
  if (size == 0) return 0;
  int64_t played = int64_t(PlayCursor) - int64_t(S.LastPlayCursor);
  if (played < 0) played += size;
  S.LastPlayCursor = PlayCursor;
  int64_t wraps = 0;
  if (S.TicksPerBuffer != 0) {
    const int64_t now = System.Clock().Now();
    const int64_t elapsed = now - S.LastPlayTime;
    S.LastPlayTime = now;
    const int64_t expected = int64_t(TInt128(elapsed) * size / S.TicksPerBuffer);
    wraps = std::max<int64_t>(0, (expected - played) / size);
  }
  // Only the worker writes it: a load and a store, no read-modify-write.
  S.PlayedBytes.store(S.PlayedBytes.load(std::memory_order_relaxed) + played + wraps * size,
                      std::memory_order_relaxed);
  return wraps;
}

template <class Fill>
TSoundResult TDSWrapper::WriteAt(uint32_t N, Fill&& fill) {
  if (!S.OutputBuffer) return srInvalidArgument;
  TLockedRegions regions;
  if (TSoundResult r = S.OutputBuffer->Lock(S.WriteOffset, N, regions)) return r;
  fill(regions);
  S.WriteOffset = uint32_t((uint64_t(S.WriteOffset) + regions.FirstBytes + regions.SecondBytes) % S.BufferSize);
  return S.OutputBuffer->Unlock(regions);
}

TSoundResult TDSWrapper::FillEmptySpace(uint8_t Value) {
  const uint32_t n = QueryOutputSpace();
  if (n == 0) return srOk;
  return WriteAt(n, [&](const TLockedRegions& regions) {
    std::memset(regions.First, Value, regions.FirstBytes);
    if (regions.Second) std::memset(regions.Second, Value, regions.SecondBytes);
  });
}

TSoundResult TDSWrapper::WriteBlock(const uint8_t* Source, uint32_t N) {
  return WriteAt(N, [&](const TLockedRegions& regions) {
    std::memcpy(regions.First, Source, regions.FirstBytes);
    if (regions.Second) std::memcpy(regions.Second, Source + regions.FirstBytes, regions.SecondBytes);
  });
}

TSoundResult TDSWrapper::GetStatus(TBufferStatus& Status) {
  Status = {};
  if (!S.OutputBuffer) return srInvalidArgument;
  return S.OutputBuffer->GetStatus(Status);
}

void TDSWrapper::CloseDevice() {
  if (S.OutputBuffer) {
    S.OutputBuffer->Stop();
    S.OutputBuffer.reset();
  }
  S.Running = false;
  S.PlayedBytes.store(0, std::memory_order_relaxed);
  S.PrimaryBuffer.reset();
  S.Device.reset();
}
