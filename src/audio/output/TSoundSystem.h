#pragma once
// The sound-device layer: the few operations the sound device output needs
// from a platform's sound system, and nothing else. Two backends implement it:
// PortAudio (a real device) and a virtual device whose play cursor follows a
// clock (real or simulated) and which keeps every byte it plays.
//
// Contract, shared by every backend:
// - Every operation returns a TSoundResult: 0 = success, anything else a
//   failure code (negative; shown to people as 8 hexadecimal digits).
// - A sound system outlives the devices it creates; a device outlives the
//   buffers it creates. Destroying an object releases it.
// - Threads: one thread uses a device and its buffers: the output's worker,
//   which also stops and restarts the buffer for a pause. The GUI thread
//   never calls a device. Enumeration and the clock may be used from any
//   thread.
// - Buffers are looping byte rings of a size fixed at creation. Lock hands out
//   one or two regions (the second when the range wraps round the end) that
//   the caller fills and gives back with Unlock; nothing is allocated there.
// - A new output buffer holds the format's silence (SilenceByteOf), so bytes
//   never written play as silence, not as full negative level for 8 bits.
// - Stop silences the output within one device period: what the host still
//   holds beyond the play cursor is dropped, not played out, and Stop never
//   waits for the host's latency. PlayLooping after a Stop continues from the
//   play cursor; the bytes the host had taken but not yet sounded when it was
//   stopped (at most its latency) are not played again.
// - A buffer whose device or sound server ends its stream (an error, a server
//   that kills the stream, a card pulled out) reports itself lost in
//   GetStatus at once; it plays nothing more and only releasing it helps.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TSoundClock;

using TSoundResult = int32_t;

constexpr TSoundResult srOk = 0;
constexpr TSoundResult srFailed = static_cast<int32_t>(0x80560001u);
constexpr TSoundResult srInvalidArgument = static_cast<int32_t>(0x80560002u);
constexpr TSoundResult srOutOfMemory = static_cast<int32_t>(0x80560003u);
constexpr TSoundResult srBadFormat = static_cast<int32_t>(0x80560004u);
constexpr TSoundResult srNoDevice = static_cast<int32_t>(0x80560005u);
constexpr TSoundResult srBackendError = static_cast<int32_t>(0x80560006u);
// The device or its sound server ended a playing stream.
constexpr TSoundResult srStreamEnded = static_cast<int32_t>(0x80560007u);

// Handle of the window a device is bound to (0 = none). The desktop stands in
// for a missing window.
using TWindowHandle = uintptr_t;

// Cooperative level "exclusive": the program owns the device's format.
constexpr int kCooperativeExclusive = 3;

// Output-buffer capability flags: get-current-position-2, global focus,
// volume, pan and frequency control.
constexpr uint32_t kOutputBufferFlags = 0x180E0;

// A 16-byte device identifier; all zero selects the system's default output.
struct TDeviceId {
  std::array<uint8_t, 16> Bytes{};
  bool IsDefault() const {
    for (uint8_t b : Bytes)
      if (b != 0) return false;
    return true;
  }
  bool operator==(const TDeviceId&) const = default;
};

// Wave format: the standard layout, with the extensible part used when
// FormatTag is kWaveFormatExtensible.
constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
constexpr uint16_t kWaveFormatExtensibleExtraSize = 22;

// Identifier of the PCM sub-format of the wave-format-extensible standard,
// in its stored (little-endian) byte order.
constexpr std::array<uint8_t, 16> kPcmSubFormat = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct TWaveFormat {
  uint16_t FormatTag = 0;
  uint16_t Channels = 0;
  uint32_t SamplesPerSec = 0;
  uint32_t AvgBytesPerSec = 0;
  uint16_t BlockAlign = 0;
  uint16_t BitsPerSample = 0;
  uint16_t ExtraSize = 0;
  // Extensible part (meaningful when FormatTag is kWaveFormatExtensible).
  uint16_t ValidBitsPerSample = 0;
  uint32_t ChannelMask = 0;
  std::array<uint8_t, 16> SubFormat{};

  bool operator==(const TWaveFormat&) const = default;
};

// Checks what every backend needs of a format before it sizes anything from
// it: a PCM tag (plain or extensible with the PCM sub-format), 1..32
// channels, 8/16/24/32 bits, a rate of 1..768000 Hz and a block align that
// matches channels and bits.
bool IsPlayableFormat(const TWaveFormat& format);

// The byte that fills silence in this format: 8-bit samples are unsigned
// (silence at 128), wider ones signed (silence at 0).
inline uint8_t SilenceByteOf(const TWaveFormat& format) { return format.BitsPerSample == 8 ? 0x80 : 0; }

// What GetStatus reports of an output buffer.
constexpr uint32_t kBufferPlaying = 0x1;
constexpr uint32_t kBufferLost = 0x2;  // the stream is gone: nothing more plays

struct TBufferStatus {
  uint32_t Flags = 0;
  // Why the buffer was lost (kBufferLost): srStreamEnded, or the code of the
  // call that failed.
  TSoundResult LostCause = srOk;
  // Times the device found nothing to play when its time came (PortAudio's
  // output underflow), since the buffer was created. Downstream of the ring:
  // the ring may be full while the device's own thread or server starves.
  uint32_t DeviceUnderflows = 0;
  // The thread that feeds the device runs with real-time priority.
  bool Realtime = false;
  // Frames the device holds beyond the play cursor (its own latency): they
  // sound only after the cursor has passed them, and a Stop drops them.
  uint32_t LatencyFrames = 0;
};

// The one or two regions a Lock hands out.
struct TLockedRegions {
  uint8_t* First = nullptr;
  uint32_t FirstBytes = 0;
  uint8_t* Second = nullptr;
  uint32_t SecondBytes = 0;
};

// A primary buffer (format only) or a looping output buffer.
class TSoundBuffer {
 public:
  virtual ~TSoundBuffer() = default;

  // Primary buffer only: the format the device plays in.
  virtual TSoundResult SetFormat(const TWaveFormat& format) = 0;
  // Output buffer: Bytes bytes from Offset (wrapping at the end). Fails for an
  // offset or size beyond the buffer.
  virtual TSoundResult Lock(uint32_t offset, uint32_t bytes, TLockedRegions& regions) = 0;
  virtual TSoundResult Unlock(const TLockedRegions& regions) = 0;
  // Play = the next byte the device takes; Write = the first byte that may be
  // written (the device may already hold the bytes in between).
  virtual TSoundResult GetCurrentPosition(uint32_t& play, uint32_t& write) = 0;
  virtual TSoundResult SetCurrentPosition(uint32_t play) = 0;
  virtual TSoundResult PlayLooping() = 0;
  virtual TSoundResult Stop() = 0;
  // Output buffer: playing or not, lost or not, and the device's own counts.
  // Cheap (no call into the device's server): the worker asks at every poll.
  virtual TSoundResult GetStatus(TBufferStatus& status) = 0;
};

// What every backend's primary buffer does: it takes a playable format and
// refuses every output-buffer call.
class TPrimarySoundBuffer : public TSoundBuffer {
 public:
  TSoundResult SetFormat(const TWaveFormat& format) override { return IsPlayableFormat(format) ? srOk : srBadFormat; }
  TSoundResult Lock(uint32_t, uint32_t, TLockedRegions&) override { return srInvalidArgument; }
  TSoundResult Unlock(const TLockedRegions&) override { return srInvalidArgument; }
  TSoundResult GetCurrentPosition(uint32_t&, uint32_t&) override { return srInvalidArgument; }
  TSoundResult SetCurrentPosition(uint32_t) override { return srInvalidArgument; }
  TSoundResult PlayLooping() override { return srInvalidArgument; }
  TSoundResult Stop() override { return srInvalidArgument; }
  TSoundResult GetStatus(TBufferStatus&) override { return srInvalidArgument; }
};

class TSoundDevice {
 public:
  virtual ~TSoundDevice() = default;

  virtual TSoundResult SetCooperativeLevel(TWindowHandle window, int level) = 0;
  virtual TSoundResult CreatePrimaryBuffer(std::unique_ptr<TSoundBuffer>& buffer) = 0;
  virtual TSoundResult CreateOutputBuffer(const TWaveFormat& format, uint32_t bytes, uint32_t flags,
                                          std::unique_ptr<TSoundBuffer>& buffer) = 0;
};

class TSoundSystem {
 public:
  virtual ~TSoundSystem() = default;

  // Calls Report once per output device: Id is null for the device reported
  // without an identifier (the system's default output). Report answers true
  // to go on, false to stop.
  using TDeviceReport = std::function<bool(const TDeviceId* id, const std::string& description)>;
  virtual TSoundResult EnumerateOutputDevices(const TDeviceReport& report) = 0;
  virtual TSoundResult CreateDevice(const TDeviceId& id, std::unique_ptr<TSoundDevice>& device) = 0;

  // The high-resolution counter and the sleep.
  virtual TSoundClock& Clock() = 0;
  virtual TWindowHandle DesktopWindow() { return 0; }

  // Why a call failed, in Hungarian for the operator ("az eszköz nem érhető
  // el"), without the code. Backends describe their own codes and leave the
  // shared ones to this base. Any thread.
  virtual std::string ResultText(TSoundResult result) const;
};

// The sound system the program uses: PortAudio, or the virtual device when
// VOMRELLA_AUDIO is "virtual" (real clock) or "virtual:FILE.wav" (what is
// heard is also written to FILE.wav when the device is released). One
// instance is shared while anyone holds it. Any thread.
std::shared_ptr<TSoundSystem> DefaultSoundSystem();
