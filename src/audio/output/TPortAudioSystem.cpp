#include "audio/output/TPortAudioSystem.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <portaudio.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

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

// Drops exactly PortAudio's trace lines (FilterPortAudioTraces) and passes
// everything else on to the standard error descriptor as it came.
ssize_t WriteUnlessPortAudioTrace(void*, const char* data, size_t size) {
  const std::string_view text(data, size);
  if (text.starts_with("Expression '") && text.find("' failed in '") != std::string_view::npos) return ssize_t(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(STDERR_FILENO, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done > 0 ? ssize_t(done) : -1;
    done += size_t(n);
  }
  return ssize_t(size);
}

// Whether the calling thread runs real-time, after asking for it when Ask:
// granted where the system allows it, quietly not where it does not (no
// privilege, no rtprio limit).
bool RunsRealtime(bool ask) {
  int policy = SCHED_OTHER;
  sched_param param{};
  if (pthread_getschedparam(pthread_self(), &policy, &param) == 0 && (policy == SCHED_FIFO || policy == SCHED_RR))
    return true;  // a host that runs its callbacks real-time already
  if (!ask) return false;
  param.sched_priority = std::min(TPortAudioSystem::kCallbackPriority, sched_get_priority_max(SCHED_FIFO));
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

// Whether the callback thread of a stream on this device asks for real-time
// scheduling under Policy.
bool AsksRealtime(TRealtimeCallback policy, PaDeviceIndex index) {
  if (policy != TRealtimeCallback::HardwareDevices) return policy == TRealtimeCallback::Always;
  const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
  const PaHostApiInfo* api = info ? Pa_GetHostApiInfo(info->hostApi) : nullptr;
  return api && api->type == paALSA && info->name && std::strstr(info->name, "(hw:") != nullptr;
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
  TPortAudioOutputBuffer(uint32_t bytes, uint32_t frameBytes, uint8_t silence, bool askRealtime)
      : Ring(new uint8_t[bytes]), Size(bytes), FrameBytes(frameBytes), AskRealtime(askRealtime) {
    std::memset(Ring.get(), silence, bytes);
  }

  ~TPortAudioOutputBuffer() override {
    if (!Stream) return;
    AbortAsked.store(true);
    Pa_AbortStream(Stream);
    Pa_CloseStream(Stream);
  }

  TSoundResult Open(PaDeviceIndex device, const TWaveFormat& format, double latency) {
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
    out.suggestedLatency = latency;
    // Primed from the ring: the host's first buffer is the pass's first
    // block, not silence that every GO would wait through.
    const PaError err = Pa_OpenStream(&Stream, nullptr, &out, format.SamplesPerSec, period,
                                      paClipOff | paPrimeOutputBuffersUsingStreamCallback,
                                      &TPortAudioOutputBuffer::Callback, this);
    if (err != paNoError) {
      Stream = nullptr;
      return PortAudioResult(err);
    }
    if (const PaError e = Pa_SetStreamFinishedCallback(Stream, &TPortAudioOutputBuffer::Finished); e != paNoError)
      return PortAudioResult(e);
    if (const PaStreamInfo* stream = Pa_GetStreamInfo(Stream))
      LatencyFrames = uint32_t(std::lround(std::max(0.0, stream->outputLatency) * format.SamplesPerSec));
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
    // A new start is a new callback thread (it asks for real-time again),
    // and whatever ended the previous stream is history.
    AbortAsked.store(false);
    Ended.store(false);
    RealtimeAsked.store(false, std::memory_order_relaxed);
    const PaError err = Pa_StartStream(Stream);
    if (err != paNoError) {
      StartFailure = PortAudioResult(err);
      return StartFailure;
    }
    StartFailure = srOk;
    Started = true;
    return srOk;
  }

  TSoundResult Stop() override {
    if (!Started) return srOk;
    Started = false;
    // Abort, not stop: stopping would first play out what the host holds
    // (its whole latency) and block the caller meanwhile. Aborting drops it;
    // the next start goes on from the play cursor.
    AbortAsked.store(true);
    const PaError err = Pa_AbortStream(Stream);
    return err == paNoError ? srOk : PortAudioResult(err);
  }

  TSoundResult GetStatus(TBufferStatus& status) override {
    status = {};
    status.DeviceUnderflows = Underflows.load(std::memory_order_relaxed);
    status.Realtime = Realtime.load(std::memory_order_relaxed);
    status.LatencyFrames = LatencyFrames;
    if (StartFailure != srOk) {
      status.Flags = kBufferLost;
      status.LostCause = StartFailure;
      return srOk;
    }
    if (!Started) return srOk;
    // PortAudio calls the finished callback when a stream's thread ends on
    // an error of the device or its server.
    if (Ended.load()) {
      status.Flags = kBufferLost;
      status.LostCause = srStreamEnded;
      return srOk;
    }
    status.Flags = kBufferPlaying;
    return srOk;
  }

 private:
  // PortAudio's real-time thread: copy from the ring, move the cursor on.
  static int Callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                      PaStreamCallbackFlags flags, void* self) {
    auto* buffer = static_cast<TPortAudioOutputBuffer*>(self);
    if (!buffer->RealtimeAsked.load(std::memory_order_relaxed)) {
      buffer->RealtimeAsked.store(true, std::memory_order_relaxed);
      buffer->Realtime.store(RunsRealtime(buffer->AskRealtime), std::memory_order_relaxed);
    }
    if (flags & paOutputUnderflow) buffer->Underflows.fetch_add(1, std::memory_order_relaxed);
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

  // PortAudio's thread, when the stream has ended: by our abort, or by
  // itself (an error of the device or its server).
  static void Finished(void* self) {
    auto* buffer = static_cast<TPortAudioOutputBuffer*>(self);
    if (!buffer->AbortAsked.load()) buffer->Ended.store(true);
  }

  std::unique_ptr<uint8_t[]> Ring;
  const uint32_t Size;
  const uint32_t FrameBytes;
  const bool AskRealtime;
  uint32_t PeriodBytes = 0;
  uint32_t LatencyFrames = 0;
  PaStream* Stream = nullptr;
  std::atomic<uint32_t> PlayCursor{0};
  bool Started = false;              // worker only
  TSoundResult StartFailure = srOk;  // worker only: the last start failed
  std::atomic<bool> AbortAsked{false};
  std::atomic<bool> Ended{false};
  std::atomic<bool> RealtimeAsked{false};
  std::atomic<bool> Realtime{false};
  std::atomic<uint32_t> Underflows{0};
};

class TPortAudioDevice : public TSoundDevice {
 public:
  TPortAudioDevice(PaDeviceIndex index, double latency, bool askRealtime)
      : Index(index), Latency(latency), AskRealtime(askRealtime) {}

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
    auto ring = std::make_unique<TPortAudioOutputBuffer>(bytes, format.BlockAlign, SilenceByteOf(format), AskRealtime);
    if (const TSoundResult r = ring->Open(Index, format, Latency); r != srOk) return r;
    buffer = std::move(ring);
    return srOk;
  }

 private:
  PaDeviceIndex Index;
  double Latency;
  bool AskRealtime;
};

}  // namespace

void FilterPortAudioTraces() {
  static std::once_flag once;
  std::call_once(once, [] {
    cookie_io_functions_t io{};
    io.write = &WriteUnlessPortAudioTrace;
    FILE* filtered = fopencookie(nullptr, "w", io);
    if (!filtered) return;
    // Unbuffered: glibc hands each formatted print to the filter in one
    // write, so a trace line is never split across two.
    setvbuf(filtered, nullptr, _IONBF, 0);
    std::fflush(stderr);
    stderr = filtered;
  });
}

TSoundResult PortAudioResult(int paError) {
  if (paError == paUnanticipatedHostError) {
    const PaHostErrorInfo* host = Pa_GetLastHostErrorInfo();
    // Read as a plain number: PortAudio leaves -1 there, outside its enum.
    int hostApi = -1;
    if (host) std::memcpy(&hostApi, &host->hostApiType, sizeof hostApi);
    if (host && hostApi == int(paALSA) && host->errorCode < 0)
      return static_cast<int32_t>(0x80580000u | (uint32_t(-host->errorCode) & 0xFFFFu));
  }
  return static_cast<int32_t>(0x80570000u | (uint32_t(-paError) & 0xFFFFu));
}

std::string TPortAudioSystem::ResultText(TSoundResult result) const {
  const uint32_t code = uint32_t(result);
  if ((code & 0xFFFF0000u) == 0x80580000u) {
    switch (int(code & 0xFFFFu)) {
      case ENODEV:
      case ENXIO:
      case ENOENT: return "az eszköz nem létezik (kihúzták vagy kikapcsolták?)";
      case EBUSY: return "az eszközt egy másik program használja";
      case EACCES:
      case EPERM: return "nincs jogosultság az eszköz használatára";
      case ECONNREFUSED: return "a hangszerver nem érhető el";
      case EBADFD:
      case EPIPE: return "a hangszerver megszakította a kapcsolatot";
      case EIO: return "az eszköz vagy a hangszerver bemeneti/kimeneti hibát jelzett";
      default: return "a hangrendszer hibát jelzett (ALSA-hibakód: " + std::to_string(code & 0xFFFFu) + ")";
    }
  }
  if ((code & 0xFFFF0000u) != 0x80570000u) return TSoundSystem::ResultText(result);
  switch (-int(code & 0xFFFFu)) {
    case paNotInitialized: return "a hangrendszer nem indult el";
    case paInvalidChannelCount: return "a hangeszköz nem játszik le ennyi csatornát";
    case paInvalidSampleRate: return "a hangeszköz nem támogatja ezt a mintavételi frekvenciát";
    case paSampleFormatNotSupported: return "a hangeszköz nem támogatja ezt a mintaformátumot";
    case paInvalidDevice:
    case paDeviceUnavailable: return "az eszköz nem érhető el";
    case paInsufficientMemory: return "nincs elég memória";
    case paBufferTooBig:
    case paBufferTooSmall: return "a hangeszköz nem fogadja el ezt a pufferméretet";
    case paTimedOut: return "a hangeszköz nem válaszolt időben";
    default: return "a hangrendszer hibát jelzett";
  }
}

TPortAudioSystem::TPortAudioSystem(TPortAudioOptions Options) {
  if (Options.LatencySeconds > 0) Latency = Options.LatencySeconds;
  Realtime = Options.Realtime;
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
    if (!report(nullptr, "Alapértelmezett hangkimenet (" + name + ")")) return srOk;
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
  PaDeviceIndex index = paNoDevice;
  if (id.IsDefault()) {
    index = Pa_GetDefaultOutputDevice();
    if (index == paNoDevice) return srNoDevice;
  } else {
    if (std::memcmp(id.Bytes.data(), "PADV", 4) != 0) return srNoDevice;
    uint32_t number = 0;
    for (int b = 0; b < 4; ++b) number |= uint32_t(id.Bytes[4 + b]) << (8 * b);
    if (number >= uint32_t(std::max(Pa_GetDeviceCount(), 0))) return srNoDevice;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(PaDeviceIndex(number));
    if (!info || info->maxOutputChannels <= 0 || PortAudioDeviceId(PaDeviceIndex(number), info->name) != id)
      return srNoDevice;
    index = PaDeviceIndex(number);
  }
  device = std::make_unique<TPortAudioDevice>(index, Latency, AsksRealtime(Realtime, index));
  return srOk;
}
