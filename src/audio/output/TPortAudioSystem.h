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
// of a pass is its first block, not a host buffer of silence. On a hardware
// device the callback thread asks for real-time scheduling in its first call
// and goes on without it where the system refuses; through a sound server's
// ALSA plugin it does not ask (see TRealtimeCallback). A stream that ends by
// itself (the device or its server ended it) makes its buffer lost.
//
// Device table: the system's default output first (reported without an
// identifier), then every PortAudio device with output channels. A machine
// without a sound device reports none.

#include "audio/output/TSoundClock.h"
#include "audio/output/TSoundSystem.h"

// When the callback thread asks for real-time scheduling. Through the
// PulseAudio plugin (ALSA's "default" or "pulse" on a desktop) a real-time
// callback thread made gaps beside CPU hogs that a normal one did not
// (bench/underrun): the plugin's own thread, which carries the sound to the
// server, is left behind. A hardware device has no such thread.
enum class TRealtimeCallback {
  HardwareDevices,  // ALSA devices PortAudio found on a card ("... (hw:N,M)")
  Always,
  Never,
};

struct TPortAudioOptions {
  // Output latency asked of PortAudio for every stream, in seconds.
  double LatencySeconds = 0;  // 0: kStreamLatencySeconds
  TRealtimeCallback Realtime = TRealtimeCallback::HardwareDevices;
};

class TPortAudioSystem : public TSoundSystem {
 public:
  // The latency streams ask for, from bench/underrun and bench/hotkey on a
  // PulseAudio null sink beside two CPU hogs: without a real-time callback
  // thread no gap at 10, 20 or 35 ms (PortAudio's "high" default there), and
  // the first sound of a GO reaches the sink about 5 ms after the key at
  // any of them, as the stream is primed from the ring. 20 ms keeps a margin
  // for a starved client while a pause drops at most that much of what the
  // host holds, and the final drain waits that much less.
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
  TRealtimeCallback RealtimePolicy() const { return Realtime; }

  TSoundResult EnumerateOutputDevices(const TDeviceReport& report) override;
  TSoundResult CreateDevice(const TDeviceId& id, std::unique_ptr<TSoundDevice>& device) override;
  TSoundClock& Clock() override { return RealClock; }
  TWindowHandle DesktopWindow() override { return 1; }
  std::string ResultText(TSoundResult result) const override;

 private:
  bool Ready = false;
  double Latency = kStreamLatencySeconds;
  TRealtimeCallback Realtime = TRealtimeCallback::HardwareDevices;
  TRealClock RealClock;
};

// PortAudio prints its internal failures ("Expression '...' failed in
// 'src/hostapi/alsa/pa_linux_alsa.c', line: ...") on stderr, for instance
// when a stream dies, and Debian's library exports no hook to turn them off.
// This puts the C stream stderr behind a filter that drops exactly those
// lines and passes everything else on unchanged; the operator gets the
// output's own message instead. It swaps a process-wide variable, so the
// program calls it once from main() before any other thread exists (a
// thread printing meanwhile would race with the swap); the library never
// does it behind the program's back. Later calls do nothing.
void FilterPortAudioTraces();

// Result code for a PortAudio error number (shown in hex by the output).
// An ALSA error behind paUnanticipatedHostError is kept in the code instead
// (0x8058 and the errno), so the message can say what ALSA found.
TSoundResult PortAudioResult(int paError);
