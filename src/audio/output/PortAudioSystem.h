#pragma once
// The PortAudio backend of the sound-device layer. The output buffer is a
// byte ring that a PortAudio stream callback plays from: the callback copies
// the bytes at the play cursor and moves it on, the write cursor runs one
// callback period ahead. The callback never blocks and never allocates; the
// cursors it shares with the worker are atomics. Stop aborts the stream: the
// callbacks end at once and what the host still holds is dropped.
//
// The stream is opened with a fixed latency (kStreamLatencySeconds, not
// PortAudio's "high" default) and primed from the ring, so the first sound
// of a pass is its first block, not a host buffer of silence. The callback
// thread asks for real-time scheduling in its first call and goes on without
// it where the system refuses. A stream that ends by itself (the device or
// its server ended it) makes its buffer lost.
//
// Device table: the system's default output first (reported without an
// identifier), then every PortAudio device with output channels. A machine
// without a sound device reports none.

#include "audio/output/SoundClock.h"
#include "audio/output/SoundSystem.h"

struct TPortAudioOptions {
  // Output latency asked of PortAudio for every stream, in seconds.
  double LatencySeconds = 0;  // 0: kStreamLatencySeconds
};

class TPortAudioSystem : public TSoundSystem {
 public:
  // The latency streams ask for. Measured on a PulseAudio null sink beside
  // two CPU hogs (bench/underrun): PortAudio's "high" default (35 ms there)
  // adds its whole length to every GO; 20 ms played without a gap.
  static constexpr double kStreamLatencySeconds = 0.020;
  // Priority asked for the callback thread (SCHED_FIFO): above every normal
  // thread, below the kernel's interrupt threads and a JACK server.
  static constexpr int kCallbackPriority = 10;

  // Initialises PortAudio with ALSA's probing messages silenced. When that
  // fails, the system reports no devices.
  explicit TPortAudioSystem(TPortAudioOptions Options = {});
  ~TPortAudioSystem() override;
  TPortAudioSystem(const TPortAudioSystem&) = delete;
  TPortAudioSystem& operator=(const TPortAudioSystem&) = delete;

  bool Initialised() const { return Ready; }
  double LatencySeconds() const { return Latency; }

  TSoundResult EnumerateOutputDevices(const TDeviceReport& report) override;
  TSoundResult CreateDevice(const TDeviceId& id, std::unique_ptr<TSoundDevice>& device) override;
  TSoundClock& Clock() override { return RealClock; }
  TWindowHandle DesktopWindow() override { return 1; }
  std::string ResultText(TSoundResult result) const override;

 private:
  bool Ready = false;
  double Latency = kStreamLatencySeconds;
  TRealClock RealClock;
};

// Result code for a PortAudio error number (shown in hex by the output).
// An ALSA error behind paUnanticipatedHostError is kept in the code instead
// (0x8058 and the errno), so the message can say what ALSA found.
TSoundResult PortAudioResult(int paError);
