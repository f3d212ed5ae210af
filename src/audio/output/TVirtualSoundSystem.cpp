#include "audio/output/TVirtualSoundSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

#include "audio/core/PcmWavWriter.h"

namespace {

// Largest output buffer a device accepts (bytes).
constexpr uint32_t kMaxBufferBytes = 0x0FFFFFFF;

class TVirtualPrimaryBuffer : public TPrimarySoundBuffer {
 public:
  explicit TVirtualPrimaryBuffer(std::shared_ptr<TVirtualSoundSystem> system) : System(std::move(system)) {
    System->Update([](TVirtualStats& s) { ++s.PrimaryBuffersOpen; });
  }
  ~TVirtualPrimaryBuffer() override {
    System->Update([](TVirtualStats& s) { --s.PrimaryBuffersOpen; });
  }

  TSoundResult SetFormat(const TWaveFormat& format) override {
    const TSoundResult result = TPrimarySoundBuffer::SetFormat(format);
    if (result == srOk) System->Update([&](TVirtualStats& s) { s.PrimaryFormat = format; });
    return result;
  }

 private:
  std::shared_ptr<TVirtualSoundSystem> System;
};

// A looping ring whose play cursor moves with the clock. The cursor is
// brought up to date lazily, at every call, and the bytes it passes are
// handed to the system's record of what was heard.
class TVirtualOutputBuffer : public TSoundBuffer {
 public:
  TVirtualOutputBuffer(std::shared_ptr<TVirtualSoundSystem> system, const TDeviceId& device, const TWaveFormat& format,
                       uint32_t bytes)
      : System(std::move(system)), Clock(System->Clock()), Live(System->RegisterStream(device)), Format(format),
        Ring(bytes, SilenceByteOf(format)),
        FrameBytes(format.BlockAlign), GuardBytes(std::min<uint64_t>(uint64_t(System->Options().WriteAheadFrames) *
                                                                        format.BlockAlign, bytes - format.BlockAlign)) {
    System->Update([](TVirtualStats& s) { ++s.OutputBuffersOpen; });
  }

  ~TVirtualOutputBuffer() override {
    {
      std::lock_guard lock(CursorLock);
      CatchUp();
    }
    System->Update([](TVirtualStats& s) { --s.OutputBuffersOpen; });
  }

  TSoundResult SetFormat(const TWaveFormat&) override { return srInvalidArgument; }

  TSoundResult Lock(uint32_t offset, uint32_t bytes, TLockedRegions& regions) override {
    regions = {};
    const uint32_t size = uint32_t(Ring.size());
    if (offset >= size || bytes == 0 || bytes > size) {
      System->Update([](TVirtualStats& s) { ++s.FailedLocks; });
      return srInvalidArgument;
    }
    {
      // Bring the cursor up to now first, so bytes played before this write
      // are recorded as they were.
      std::lock_guard lock(CursorLock);
      CatchUp();
    }
    regions.First = Ring.data() + offset;
    regions.FirstBytes = std::min(bytes, size - offset);
    if (regions.FirstBytes < bytes) {
      regions.Second = Ring.data();
      regions.SecondBytes = bytes - regions.FirstBytes;
    }
    System->Update([](TVirtualStats& s) { ++s.Locks; });
    return srOk;
  }

  TSoundResult Unlock(const TLockedRegions& regions) override {
    const uint8_t* begin = Ring.data();
    const uint8_t* end = begin + Ring.size();
    auto inside = [&](const uint8_t* p, uint32_t n) { return n == 0 || (p >= begin && p <= end && n <= end - p); };
    return inside(regions.First, regions.FirstBytes) && inside(regions.Second, regions.SecondBytes)
               ? srOk
               : srInvalidArgument;
  }

  TSoundResult GetCurrentPosition(uint32_t& play, uint32_t& write) override {
    std::lock_guard lock(CursorLock);
    CatchUp();
    play = Cursor;
    write = Playing ? uint32_t((uint64_t(Cursor) + GuardBytes) % Ring.size()) : Cursor;
    return srOk;
  }

  TSoundResult SetCurrentPosition(uint32_t play) override {
    if (play >= Ring.size()) return srInvalidArgument;
    std::lock_guard lock(CursorLock);
    CatchUp();
    Cursor = play - play % FrameBytes;
    Anchor(Clock.Now());
    return srOk;
  }

  TSoundResult PlayLooping() override {
    if (System->Options().TransportHook) System->Options().TransportHook();
    if (const TSoundResult lost = Live->LostCause.load(); lost != srOk) return lost;
    {
      std::lock_guard lock(CursorLock);
      if (!Playing) {
        Playing = true;
        Anchor(Clock.Now());
      }
    }
    System->Update([](TVirtualStats& s) { ++s.Plays; });
    return srOk;
  }

  TSoundResult Stop() override {
    if (System->Options().TransportHook) System->Options().TransportHook();
    {
      std::lock_guard lock(CursorLock);
      CatchUp();
      Playing = false;
    }
    System->Update([](TVirtualStats& s) { ++s.Stops; });
    return srOk;
  }

  TSoundResult GetStatus(TBufferStatus& status) override {
    status = {};
    status.DeviceUnderflows = Live->Underflows.load();
    status.LatencyFrames = System->Options().LatencyFrames;
    status.LostCause = Live->LostCause.load();
    if (status.LostCause != srOk) {
      status.Flags = kBufferLost;
      return srOk;
    }
    std::lock_guard lock(CursorLock);
    if (Playing) status.Flags = kBufferPlaying;
    return srOk;
  }

 private:
  void Anchor(int64_t now) {
    AnchorTime = now;
    AnchorFrames = 0;
  }

  // Moves the cursor to where the clock says it is and records the bytes it
  // passed (more than one lap when nobody looked for a while). A lost
  // stream plays nothing more.
  void CatchUp() {
    if (!Playing || System->Options().FrozenCursor) return;
    if (Live->LostCause.load() != srOk) {
      Playing = false;
      return;
    }
    const int64_t frequency = Clock.Frequency();
    const int64_t elapsed = Clock.Now() - AnchorTime;
    if (frequency <= 0 || elapsed <= 0) return;
    const int64_t rate = Format.SamplesPerSec;
    // Split to keep elapsed × rate inside 64 bits.
    const int64_t due = elapsed / frequency * rate + elapsed % frequency * rate / frequency;
    uint64_t bytes = uint64_t(due - AnchorFrames) * FrameBytes;
    AnchorFrames = due;
    const uint32_t size = uint32_t(Ring.size());
    while (bytes > 0) {
      const uint32_t run = uint32_t(std::min<uint64_t>(bytes, size - Cursor));
      System->AppendHeard(Ring.data() + Cursor, run);
      Cursor = (Cursor + run) % size;
      bytes -= run;
    }
  }

  std::shared_ptr<TVirtualSoundSystem> System;
  TSoundClock& Clock;
  std::shared_ptr<TVirtualSoundSystem::TLiveStream> Live;
  TWaveFormat Format;
  std::vector<uint8_t> Ring;
  const uint32_t FrameBytes;
  const uint32_t GuardBytes;
  std::mutex CursorLock;  // guards Cursor, Playing, AnchorTime, AnchorFrames
  uint32_t Cursor = 0;
  bool Playing = false;
  int64_t AnchorTime = 0;
  int64_t AnchorFrames = 0;
};

class TVirtualDevice : public TSoundDevice {
 public:
  TVirtualDevice(std::shared_ptr<TVirtualSoundSystem> system, const TDeviceId& id) : System(std::move(system)), Id(id) {
    System->Update([](TVirtualStats& s) {
      ++s.DevicesCreated;
      ++s.DevicesOpen;
    });
  }
  ~TVirtualDevice() override {
    System->Update([](TVirtualStats& s) { --s.DevicesOpen; });
    if (!System->Options().CaptureFile.empty()) System->WriteCaptureFile();
  }

  TSoundResult SetCooperativeLevel(TWindowHandle window, int level) override {
    if (window == 0) return srInvalidArgument;
    System->Update([&](TVirtualStats& s) {
      s.LastCooperativeLevel = level;
      s.LastWindow = window;
    });
    return srOk;
  }

  TSoundResult CreatePrimaryBuffer(std::unique_ptr<TSoundBuffer>& buffer) override {
    buffer = std::make_unique<TVirtualPrimaryBuffer>(System);
    return srOk;
  }

  TSoundResult CreateOutputBuffer(const TWaveFormat& format, uint32_t bytes, uint32_t flags,
                                  std::unique_ptr<TSoundBuffer>& buffer) override {
    buffer.reset();
    if (System->Options().CreateOutputBufferResult != srOk) return System->Options().CreateOutputBufferResult;
    if (!IsPlayableFormat(format)) return srBadFormat;
    if (bytes < format.BlockAlign || bytes > kMaxBufferBytes || bytes % format.BlockAlign != 0)
      return srInvalidArgument;
    System->Update([&](TVirtualStats& s) {
      s.OutputFormat = format;
      s.OutputBufferBytes = bytes;
      s.OutputBufferFlags = flags;
    });
    buffer = std::make_unique<TVirtualOutputBuffer>(System, Id, format, bytes);
    return srOk;
  }

 private:
  std::shared_ptr<TVirtualSoundSystem> System;
  TDeviceId Id;
};

}  // namespace

TVirtualSoundSystem::TVirtualSoundSystem(TVirtualOptions options)
    : Opts(std::move(options)), ClockPtr(Opts.Clock ? Opts.Clock : std::make_shared<TRealClock>()) {}

TDeviceId TVirtualSoundSystem::DeviceIdOf(int n) {
  TDeviceId id;
  const char tag[] = "VIRTDEV";
  std::memcpy(id.Bytes.data(), tag, 7);
  id.Bytes[8] = uint8_t(n);
  id.Bytes[9] = uint8_t(n >> 8);
  return id;
}

TSoundResult TVirtualSoundSystem::EnumerateOutputDevices(const TDeviceReport& report) {
  for (int n = 0; n < Opts.DeviceCount; ++n) {
    const bool goOn = n == 0 ? report(nullptr, "Virtuális hangkimenet (alapértelmezett)")
                             : [&] {
                                 const TDeviceId id = DeviceIdOf(n);
                                 return report(&id, "Virtuális hangkimenet " + std::to_string(n));
                               }();
    if (!goOn) break;
  }
  return srOk;
}

TSoundResult TVirtualSoundSystem::CreateDevice(const TDeviceId& id, std::unique_ptr<TSoundDevice>& device) {
  device.reset();
  if (Opts.CreateDeviceResult != srOk) return Opts.CreateDeviceResult;
  bool known = id.IsDefault() && Opts.DeviceCount > 0;
  for (int n = 1; n < Opts.DeviceCount && !known; ++n) known = id == DeviceIdOf(n);
  if (!known) return srNoDevice;
  {
    std::lock_guard lock(StreamsLock);
    if (std::find(Absent.begin(), Absent.end(), id) != Absent.end()) return srNoDevice;
  }
  Update([&](TVirtualStats& s) { s.LastDeviceId = id; });
  device = std::make_unique<TVirtualDevice>(shared_from_this(), id);
  return srOk;
}

std::shared_ptr<TVirtualSoundSystem::TLiveStream> TVirtualSoundSystem::RegisterStream(const TDeviceId& Device) {
  auto stream = std::make_shared<TLiveStream>(Device);
  std::lock_guard lock(StreamsLock);
  std::erase_if(Streams, [](const std::weak_ptr<TLiveStream>& s) { return s.expired(); });
  Streams.push_back(stream);
  return stream;
}

template <class F>
void TVirtualSoundSystem::ForEachStream(F&& f) {
  std::lock_guard lock(StreamsLock);
  for (const auto& weak : Streams)
    if (const auto stream = weak.lock()) f(*stream);
}

void TVirtualSoundSystem::KillStreams(TSoundResult Cause) {
  ForEachStream([&](TLiveStream& s) { s.LostCause.store(Cause); });
}

void TVirtualSoundSystem::SetDevicePresent(int N, bool Present) {
  const TDeviceId id = N == 0 ? TDeviceId{} : DeviceIdOf(N);
  {
    std::lock_guard lock(StreamsLock);
    std::erase(Absent, id);
    if (!Present) Absent.push_back(id);
  }
  if (Present) return;
  ForEachStream([&](TLiveStream& s) {
    if (s.Device == id) s.LostCause.store(srNoDevice);
  });
}

void TVirtualSoundSystem::ReportUnderflows(uint32_t Count) {
  ForEachStream([&](TLiveStream& s) { s.Underflows.fetch_add(Count); });
}

std::vector<uint8_t> TVirtualSoundSystem::Heard() const {
  std::lock_guard lock(HeardLock);
  return HeardBytes;
}

void TVirtualSoundSystem::ClearHeard() {
  std::lock_guard lock(HeardLock);
  HeardBytes.clear();
}

TVirtualStats TVirtualSoundSystem::Stats() const {
  std::lock_guard lock(StatsLock);
  return StatsData;
}

void TVirtualSoundSystem::AppendHeard(const uint8_t* data, size_t bytes) {
  if (Opts.HeardSink) return Opts.HeardSink(data, bytes);
  std::lock_guard lock(HeardLock);
  HeardBytes.insert(HeardBytes.end(), data, data + bytes);
}

void TVirtualSoundSystem::WriteCaptureFile() {
  const TWaveFormat format = Stats().OutputFormat;
  // No output buffer was ever made: nothing was heard, and there is no format
  // to describe it (a file with a zeroed "fmt " chunk would be unreadable).
  if (!IsPlayableFormat(format)) return;
  TWavFmtForm form;
  form.Extensible = format.FormatTag == kWaveFormatExtensible;
  if (form.Extensible) {
    form.ValidBitsPerSample = format.ValidBitsPerSample;
    form.ChannelMask = format.ChannelMask;
  }
  const std::vector<uint8_t> heard = Heard();
  try {
    PcmWavWriter::WriteFile(Opts.CaptureFile, {format.BitsPerSample, format.Channels, format.SamplesPerSec},
                            heard.data(), heard.size(), form);
  } catch (const std::exception& e) {
    // Called while a device is released: report, never throw.
    std::fprintf(stderr, "vomrella: %s: a hallott hang nem írható ki (%s)\n", Opts.CaptureFile.c_str(), e.what());
  }
}
