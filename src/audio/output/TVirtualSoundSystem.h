#pragma once
// The virtual sound device: a sound system without hardware. The play cursor
// of a playing buffer moves with a clock (TRealClock or TSimulatedClock), and
// every byte that passes the play cursor is kept, so a test or a headless run
// can check what was heard. Set VOMRELLA_AUDIO=virtual (or virtual:FILE.wav)
// to run the whole program on it. Tests may also end its streams, take a
// device away or report device underflows, as a real device or server would.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/output/TSoundClock.h"
#include "audio/output/TSoundSystem.h"

struct TVirtualOptions {
  // Clock the cursors follow; a TRealClock when null.
  std::shared_ptr<TSoundClock> Clock;
  // Devices reported: the default output (without identifier) first, then
  // "Virtuális hangkimenet N" with identifiers. 0 reports none, as on a machine
  // without sound hardware.
  int DeviceCount = 2;
  // How far the write cursor runs ahead of the play cursor while playing.
  uint32_t WriteAheadFrames = 0;
  // A play cursor that never moves (a hung device).
  bool FrozenCursor = false;
  // The latency an output buffer reports in GetStatus (the virtual device
  // itself sounds every byte as the cursor passes it).
  uint32_t LatencyFrames = 0;
  // Failure codes to answer (0 = succeed), to exercise the output's errors.
  TSoundResult CreateDeviceResult = srOk;
  TSoundResult CreateOutputBufferResult = srOk;
  TSoundResult LockResult = srOk;
  // Called at the start of every PlayLooping and Stop of an output buffer,
  // on the calling thread (tests check which thread drives the device).
  std::function<void()> TransportHook;
  // When not empty, what was heard is written to this WAV file whenever a
  // device is released (once an output buffer has given it a format).
  std::string CaptureFile;
  // When set, what passes the play cursor goes to it, in order, instead of
  // being kept (Heard stays empty), so a run of any length needs no more
  // memory than the ring. Called with the buffer's cursor lock held, on
  // whichever thread moved the cursor (the worker, or the thread that
  // stops); it must not throw, nor call into the buffer.
  std::function<void(const uint8_t* data, size_t bytes)> HeardSink;
};

// What the virtual devices were asked to do; tests read it.
struct TVirtualStats {
  int DevicesCreated = 0;
  int DevicesOpen = 0;
  int OutputBuffersOpen = 0;
  int PrimaryBuffersOpen = 0;
  TDeviceId LastDeviceId;
  int LastCooperativeLevel = -1;
  TWindowHandle LastWindow = 0;
  TWaveFormat PrimaryFormat;
  TWaveFormat OutputFormat;
  uint32_t OutputBufferBytes = 0;
  uint32_t OutputBufferFlags = 0;
  int Plays = 0;
  int Stops = 0;
  int Locks = 0;
  int FailedLocks = 0;
};

class TVirtualSoundSystem : public TSoundSystem, public std::enable_shared_from_this<TVirtualSoundSystem> {
 public:
  explicit TVirtualSoundSystem(TVirtualOptions options = {});

  TSoundResult EnumerateOutputDevices(const TDeviceReport& report) override;
  TSoundResult CreateDevice(const TDeviceId& id, std::unique_ptr<TSoundDevice>& device) override;
  TSoundClock& Clock() override { return *ClockPtr; }
  TWindowHandle DesktopWindow() override { return 1; }

  // Any thread. Every byte played by any buffer of this system, in order
  // (none with a HeardSink).
  std::vector<uint8_t> Heard() const;
  void ClearHeard();
  TVirtualStats Stats() const;
  const TVirtualOptions& Options() const { return Opts; }

  // The identifier of "Virtuális hangkimenet N" (N from 1).
  static TDeviceId DeviceIdOf(int n);

  // Any thread. Ends every open output buffer's stream, as a sound server
  // that kills its clients' streams: they stop playing and report
  // themselves lost with Cause.
  void KillStreams(TSoundResult Cause = srStreamEnded);
  // Any thread. Takes device N (0 = the default output) away or brings it
  // back: while it is away it cannot be created and its open buffers are
  // lost, as with a card pulled out. The device table keeps it.
  void SetDevicePresent(int N, bool Present);
  // Any thread. Every open output buffer reports Count more device
  // underflows.
  void ReportUnderflows(uint32_t Count);

  // The state an output buffer shares with the system.
  struct TLiveStream {
    explicit TLiveStream(const TDeviceId& Device) : Device(Device) {}
    const TDeviceId Device;
    std::atomic<TSoundResult> LostCause{srOk};
    std::atomic<uint32_t> Underflows{0};
  };
  std::shared_ptr<TLiveStream> RegisterStream(const TDeviceId& Device);

  // Used by the system's devices and buffers.
  void AppendHeard(const uint8_t* data, size_t bytes);
  template <class F>
  void Update(F&& change) {
    std::lock_guard lock(StatsLock);
    change(StatsData);
  }
  void WriteCaptureFile();

 private:
  TVirtualOptions Opts;
  std::shared_ptr<TSoundClock> ClockPtr;
  mutable std::mutex HeardLock;  // guards HeardBytes
  std::vector<uint8_t> HeardBytes;
  mutable std::mutex StatsLock;  // guards StatsData
  TVirtualStats StatsData;
  std::mutex StreamsLock;  // guards Streams and Absent
  std::vector<std::weak_ptr<TLiveStream>> Streams;
  std::vector<TDeviceId> Absent;

  template <class F>
  void ForEachStream(F&& f);
};
