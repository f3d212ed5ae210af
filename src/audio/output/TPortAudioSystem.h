#pragma once
// The PortAudio backend of the sound-device layer. The output buffer is a
// byte ring that a PortAudio stream callback plays from: the callback copies
// the bytes at the play cursor and moves it on, the write cursor runs one
// callback period ahead. The callback never blocks and never allocates; the
// cursors it shares with the worker are atomics. Stop aborts the stream: the
// callbacks end at once and what the host still holds is dropped.
//
// Device table: the system's default output first (reported without an
// identifier), then every PortAudio device with output channels. A machine
// without a sound device reports none.

#include "audio/output/TSoundClock.h"
#include "audio/output/TSoundSystem.h"

class TPortAudioSystem : public TSoundSystem {
 public:
  // Initialises PortAudio with ALSA's probing messages silenced. When that
  // fails, the system reports no devices.
  TPortAudioSystem();
  ~TPortAudioSystem() override;
  TPortAudioSystem(const TPortAudioSystem&) = delete;
  TPortAudioSystem& operator=(const TPortAudioSystem&) = delete;

  bool Initialised() const { return Ready; }

  TSoundResult EnumerateOutputDevices(const TDeviceReport& report) override;
  TSoundResult CreateDevice(const TDeviceId& id, std::unique_ptr<TSoundDevice>& device) override;
  TSoundClock& Clock() override { return RealClock; }
  TWindowHandle DesktopWindow() override { return 1; }

 private:
  bool Ready = false;
  TRealClock RealClock;
};

// Result code for a PortAudio error number (shown in hex by the output).
TSoundResult PortAudioResult(int paError);
