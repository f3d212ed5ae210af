#pragma once
// The sound-device wrapper of TDXAudioOut: a state record over one device and
// its looping output buffer, with the buffer arithmetic (how much may be
// written, where, and whether the play cursor overtook the writer).
//
// Threads: the output's worker calls everything. Running, Underflows and
// PlayedBytes are atomics so that other threads may read them.
//
// Every operation returns a TSoundResult (0 = success) and stops at the first
// failing call.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/output/TSoundSystem.h"

constexpr int kMaxDevices = 16;
constexpr size_t kDeviceNameChars = 127;

struct TDeviceInfo {
  TDeviceId Guid;                // all zero for the system's default output
  std::array<char, 128> Name{};  // at most 127 characters and a terminating zero
};

using TDeviceTable = std::array<TDeviceInfo, kMaxDevices>;

// Fills Devices from the system's enumeration, at most 16 entries. Names are
// UTF-8 as the system gives them, cut to 127 bytes at a character boundary.
TSoundResult EnumerateDevices(TSoundSystem& System, TDeviceTable& Devices, int32_t& DeviceCount);

struct TDSOutputState {
  std::unique_ptr<TSoundDevice> Device;
  std::unique_ptr<TSoundBuffer> OutputBuffer;
  uint32_t WriteOffset = 0;
  uint32_t BufferSize = 0;
  uint32_t FrameBytes = 0;
  int64_t TicksPerBuffer = 0;  // counter ticks for one pass through the buffer; 0 = no counter
  int64_t LastPlayTime = 0;
  uint32_t LastPlayCursor = 0;
  std::atomic<int32_t> Underflows{0};
  std::atomic<bool> Running{false};
  // Bytes that have passed the play cursor since the device was opened, as
  // the worker last looked (each query of the output space, and when it
  // stops the buffer); laps of the buffer count in full. Zero once closed.
  std::atomic<int64_t> PlayedBytes{0};
  std::unique_ptr<TSoundBuffer> PrimaryBuffer;
};

class TDSWrapper {
 public:
  explicit TDSWrapper(TSoundSystem& System) : System(System) {}
  ~TDSWrapper() { CloseDevice(); }
  TDSWrapper(const TDSWrapper&) = delete;
  TDSWrapper& operator=(const TDSWrapper&) = delete;

  // Releases everything and zeroes the state.
  void Reset();

  TSoundResult OpenDevice(const TDeviceId& Id);
  TSoundResult InitOutputBuffer(TWindowHandle Window, const TWaveFormat& Format, uint32_t Size);
  TSoundResult StartOutput();
  TSoundResult StopOutput();
  TSoundResult RestartOutput();
  // Bytes that may be written at WriteOffset now; counts an underflow when
  // the play cursor has overtaken the writer (then writing restarts at the
  // write cursor).
  uint32_t QueryOutputSpace();
  TSoundResult FillEmptySpace(uint8_t Value);
  // Writes N bytes at WriteOffset; a buffer that cannot be locked drops them.
  TSoundResult WriteBlock(const uint8_t* Source, uint32_t N);
  // The output buffer's status: lost or not, the device's underflows. Fails
  // without an output buffer.
  TSoundResult GetStatus(TBufferStatus& Status);
  void CloseDevice();

  TDSOutputState& State() { return S; }
  const TDSOutputState& State() const { return S; }

 private:
  template <class Fill>
  TSoundResult WriteAt(uint32_t N, Fill&& fill);
  // Adds what passed the play cursor since the last look to PlayedBytes;
  // returns the whole laps of the buffer the cursor made meanwhile (known
  // from the clock: the cursor alone cannot tell).
  int64_t CountPlayed(uint32_t PlayCursor);

  TSoundSystem& System;
  TDSOutputState S;
};
