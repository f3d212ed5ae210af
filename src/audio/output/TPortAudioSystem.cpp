#include "audio/output/TPortAudioSystem.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// ALSA prints pages of probing noise while PortAudio looks for devices.
void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// So does the JACK client library when no JACK server runs. PortAudio loads
// it without offering its settings, so its message hooks are looked up in
// the process, where they exist only when PortAudio was built with JACK.
void SilentJackMessage(const char*) {}

void SilenceJack() {
  using TSetHook = void (*)(void (*)(const char*));
  for (const char* name : {"jack_set_error_function", "jack_set_info_function"})
    if (void* symbol = dlsym(RTLD_DEFAULT, name)) reinterpret_cast<TSetHook>(symbol)(&SilentJackMessage);
}

// Identifier of a PortAudio device: a tag, the device index and a hash of its
// name, so that a table entry never opens another device that took its index.
TDeviceId PortAudioDeviceId(PaDeviceIndex index, const char* name) {
  TDeviceId id;
  std::memcpy(id.Bytes.data(), "PADV", 4);
  const uint32_t i = uint32_t(index);
  for (int b = 0; b < 4; ++b) id.Bytes[4 + b] = uint8_t(i >> (8 * b));
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (const char* p = name ? name : ""; *p; ++p) hash = (hash ^ uint8_t(*p)) * 1099511628211ull;
  for (int b = 0; b < 8; ++b) id.Bytes[8 + b] = uint8_t(hash >> (8 * b));
  return id;
}

PaSampleFormat SampleFormatOf(uint16_t bits) {
  switch (bits) {
    case 8: return paUInt8;
    case 16: return paInt16;
    case 24: return paInt24;
    default: return paInt32;
  }
}

class TPortAudioOutputBuffer : public TSoundBuffer {
 public:
  TPortAudioOutputBuffer(uint32_t bytes, uint32_t frameBytes, uint8_t silence)
      : Ring(new uint8_t[bytes]), Size(bytes), FrameBytes(frameBytes) {
    std::memset(Ring.get(), silence, bytes);
  }

  ~TPortAudioOutputBuffer() override {
    if (!Stream) return;
    Pa_AbortStream(Stream);
    Pa_CloseStream(Stream);
  }

  TSoundResult Open(PaDeviceIndex device, const TWaveFormat& format) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (!info) return srNoDevice;
    // One callback period of about 10 ms, at most a quarter of the ring so
    // the write-ahead guard stays small against the buffer.
    const uint32_t frames = Size / FrameBytes;
    // (min of max rather than clamp: for rings under 64 frames the upper
    // bound is below 16, which clamp does not allow.)
    const uint32_t period = std::min<uint32_t>(std::max<uint32_t>(format.SamplesPerSec / 100, 16),
                                               std::max<uint32_t>(frames / 4, 1));
    PeriodBytes = period * FrameBytes;
    PaStreamParameters out{};
    out.device = device;
    out.channelCount = format.Channels;
    out.sampleFormat = SampleFormatOf(format.BitsPerSample);
    out.suggestedLatency = info->defaultHighOutputLatency;
    const PaError err = Pa_OpenStream(&Stream, nullptr, &out, format.SamplesPerSec, period, paClipOff,
                                      &TPortAudioOutputBuffer::Callback, this);
    if (err != paNoError) {
      Stream = nullptr;
      return PortAudioResult(err);
    }
    return srOk;
  }

  TSoundResult SetFormat(const TWaveFormat&) override { return srInvalidArgument; }

  TSoundResult Lock(uint32_t offset, uint32_t bytes, TLockedRegions& regions) override {
    regions = {};
    if (offset >= Size || bytes == 0 || bytes > Size) return srInvalidArgument;
    regions.First = Ring.get() + offset;
    regions.FirstBytes = std::min(bytes, Size - offset);
    if (regions.FirstBytes < bytes) {
      regions.Second = Ring.get();
      regions.SecondBytes = bytes - regions.FirstBytes;
    }
    return srOk;
  }

  TSoundResult Unlock(const TLockedRegions&) override { return srOk; }

  TSoundResult GetCurrentPosition(uint32_t& play, uint32_t& write) override {
    play = PlayCursor.load(std::memory_order_acquire);
    write = Started ? (play + PeriodBytes) % Size : play;
    return srOk;
  }

  TSoundResult SetCurrentPosition(uint32_t play) override {
    if (play >= Size) return srInvalidArgument;
    PlayCursor.store(play - play % FrameBytes, std::memory_order_release);
    return srOk;
  }

  TSoundResult PlayLooping() override {
    if (Started) return srOk;
    const PaError err = Pa_StartStream(Stream);
    if (err != paNoError) return PortAudioResult(err);
    Started = true;
    return srOk;
  }

  TSoundResult Stop() override {
    if (!Started) return srOk;
    Started = false;
    // Abort, not stop: stopping would first play out what the host holds
    // (its whole latency) and block the caller meanwhile. Aborting drops it;
    // the next start goes on from the play cursor.
    const PaError err = Pa_AbortStream(Stream);
    return err == paNoError ? srOk : PortAudioResult(err);
  }

 private:
  // PortAudio's real-time thread: copy from the ring, move the cursor on.
  static int Callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                      PaStreamCallbackFlags, void* self) {
    auto* buffer = static_cast<TPortAudioOutputBuffer*>(self);
    auto* out = static_cast<uint8_t*>(output);
    uint64_t bytes = uint64_t(frames) * buffer->FrameBytes;
    uint32_t cursor = buffer->PlayCursor.load(std::memory_order_acquire);
    while (bytes > 0) {
      const uint32_t run = uint32_t(std::min<uint64_t>(bytes, buffer->Size - cursor));
      std::memcpy(out, buffer->Ring.get() + cursor, run);
      out += run;
      bytes -= run;
      cursor = (cursor + run) % buffer->Size;
    }
    buffer->PlayCursor.store(cursor, std::memory_order_release);
    return paContinue;
  }

  std::unique_ptr<uint8_t[]> Ring;
  const uint32_t Size;
  const uint32_t FrameBytes;
  uint32_t PeriodBytes = 0;
  PaStream* Stream = nullptr;
  std::atomic<uint32_t> PlayCursor{0};
  bool Started = false;  // worker only
};

class TPortAudioDevice : public TSoundDevice {
 public:
  explicit TPortAudioDevice(PaDeviceIndex index) : Index(index) {}

  TSoundResult SetCooperativeLevel(TWindowHandle window, int) override {
    return window == 0 ? srInvalidArgument : srOk;
  }

  TSoundResult CreatePrimaryBuffer(std::unique_ptr<TSoundBuffer>& buffer) override {
    buffer = std::make_unique<TPrimarySoundBuffer>();
    return srOk;
  }

  TSoundResult CreateOutputBuffer(const TWaveFormat& format, uint32_t bytes, uint32_t,
                                  std::unique_ptr<TSoundBuffer>& buffer) override {
    buffer.reset();
    if (!IsPlayableFormat(format)) return srBadFormat;
    if (bytes < format.BlockAlign || bytes > 0x0FFFFFFF || bytes % format.BlockAlign != 0) return srInvalidArgument;
    auto ring = std::make_unique<TPortAudioOutputBuffer>(bytes, format.BlockAlign, SilenceByteOf(format));
    if (const TSoundResult r = ring->Open(Index, format); r != srOk) return r;
    buffer = std::move(ring);
    return srOk;
  }

 private:
  PaDeviceIndex Index;
};

}  // namespace

TSoundResult PortAudioResult(int paError) {
  return static_cast<int32_t>(0x80570000u | (uint32_t(-paError) & 0xFFFFu));
}

TPortAudioSystem::TPortAudioSystem() {
  snd_lib_error_set_handler(&SilentAlsaError);
  // Never start a JACK server just to look for devices.
  setenv("JACK_NO_START_SERVER", "1", 0);
  SilenceJack();
  Ready = Pa_Initialize() == paNoError;
}

TPortAudioSystem::~TPortAudioSystem() {
  if (Ready) Pa_Terminate();
}

TSoundResult TPortAudioSystem::EnumerateOutputDevices(const TDeviceReport& report) {
  if (!Ready) return srOk;
  const PaDeviceIndex defaultDevice = Pa_GetDefaultOutputDevice();
  if (defaultDevice != paNoDevice) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(defaultDevice);
    const std::string name = info && info->name ? info->name : "";
    if (!report(nullptr, "Default output (" + name + ")")) return srOk;
  }
  const PaDeviceIndex count = Pa_GetDeviceCount();
  for (PaDeviceIndex i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (!info || info->maxOutputChannels <= 0) continue;
    const TDeviceId id = PortAudioDeviceId(i, info->name);
    if (!report(&id, info->name ? info->name : "")) break;
  }
  return srOk;
}

TSoundResult TPortAudioSystem::CreateDevice(const TDeviceId& id, std::unique_ptr<TSoundDevice>& device) {
  device.reset();
  if (!Ready) return srNoDevice;
  if (id.IsDefault()) {
    const PaDeviceIndex index = Pa_GetDefaultOutputDevice();
    if (index == paNoDevice) return srNoDevice;
    device = std::make_unique<TPortAudioDevice>(index);
    return srOk;
  }
  if (std::memcmp(id.Bytes.data(), "PADV", 4) != 0) return srNoDevice;
  uint32_t index = 0;
  for (int b = 0; b < 4; ++b) index |= uint32_t(id.Bytes[4 + b]) << (8 * b);
  if (index >= uint32_t(std::max(Pa_GetDeviceCount(), 0))) return srNoDevice;
  const PaDeviceInfo* info = Pa_GetDeviceInfo(PaDeviceIndex(index));
  if (!info || info->maxOutputChannels <= 0 || PortAudioDeviceId(PaDeviceIndex(index), info->name) != id)
    return srNoDevice;
  device = std::make_unique<TPortAudioDevice>(PaDeviceIndex(index));
  return srOk;
}
