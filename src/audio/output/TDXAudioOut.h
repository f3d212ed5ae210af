#pragma once
// The sound device output: plays the PCM of its input through a sound device
// (TSoundSystem: PortAudio, or the virtual device).
//
// It keeps one looping device buffer. The first step of a pass fills the
// whole buffer and starts playback; every later step sleeps, asks how much of
// the buffer has been played, refills that much from the input and checks for
// underruns. When the input ends, the rest is padded with silence and the
// buffer is left to play out before the pass ends. Every byte of a pass is
// played in the format the input reported when the pass began.
//
// What differs from TAuOutput:
// - Sleeps (polling, drain) are interrupted by Stop, Pause, Resume and
//   destruction; an interrupted step returns to the worker loop at once.
// - The worker stops the device buffer as it enters its pause state (before
//   Pause is acknowledged, and also when it gets there after Pause gave up
//   waiting) and restarts it as it leaves, unless a Stop is ending the pass.
//   The GUI thread never calls the device, so it never waits on the sound
//   server. Pause and Resume do nothing once the input has ended (nothing is
//   left to pause; the pass ends normally).
// - OnUnderrun is posted after each underrun; the pass goes on.
// - The final drain also lasts out what the device holds beyond the play
//   cursor (its latency), which the final stop would otherwise drop.
// - Device problems reach the operator in Hungarian, naming the device and
//   the cause (SoundMessages.h). A stream that the device or its server ends
//   while a pass plays is noticed at the next poll (or drain round): the pass
//   ends with that message. A device that takes no sound without an error
//   ends the pass on the 17th poll that finds no room, as before.
// - A chosen device that cannot be opened at the start of a pass (gone,
//   busy, refusing the format) is replaced by the default output for that
//   pass, and DeviceNote says so (OnDeviceNote). Every pass opens its device
//   afresh, so a device that comes back is used again by the next pass.
//
// Threads: property setters and Pause/Resume are GUI-thread calls; the
// getters may be called from any thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "audio/core/TAuOutput.h"
#include "audio/core/TEventSlot.h"
#include "audio/output/TDeviceChoice.h"
#include "audio/output/TDSWrapper.h"
#include "audio/output/TSleepWaiter.h"
#include "audio/output/TSoundSystem.h"

class TDXAudioOut : public TAuOutput {
 public:
  // Enumerates System's devices into the device table. A null System uses
  // DefaultSoundSystem().
  explicit TDXAudioOut(TComponent* AOwner = nullptr, std::shared_ptr<TSoundSystem> System = nullptr);
  ~TDXAudioOut() override;

  void Pause() override;
  void Resume() override;

  // Device buffer length in sample frames (default 65536). Ignored while Busy:
  // a pass keeps the size it started with.
  uint32_t FramesInBuffer() const { return FFramesInBuffer.load(); }
  void SetFramesInBuffer(uint32_t Value);
  // Milliseconds slept before each buffer query (default 200); a pass sleeps
  // at most a third of its buffer's duration so that short buffers do not run
  // dry between polls.
  uint32_t PollingInterval() const { return FPollingInterval.load(); }
  void SetPollingInterval(uint32_t Value) { FPollingInterval.store(Value); }
  // Index into the device table (default 0, the system's default output);
  // checked when a pass starts.
  int32_t DeviceNumber() const { return FDeviceNumber.load(); }
  void SetDeviceNumber(int32_t Value) { FDeviceNumber.store(Value); }
  // Resolves Choice, a number or a name (TDeviceChoice.h), against the device
  // table; when found, later passes play on that device. Otherwise the
  // DeviceNumber stays and the result's Message says why. Any thread.
  TDeviceChoice ChooseDevice(std::string_view Choice);

  // The device table, filled once by the constructor. Any thread.
  int32_t DeviceCount() const { return FDeviceCount; }
  const TDeviceInfo& Devices(int32_t Index) const { return FDevices.at(size_t(Index)); }

  // Seconds of the pass the device has played: what passed its play cursor
  // by the worker's last look (every poll, and when it pauses). Reading
  // costs the worker nothing; it is 0 before a pass plays and once it has
  // ended, and it includes the silence a pass ends with. Any thread.
  double PlayedSeconds() const;

  // The device the current pass plays on, or the last pass played on: its
  // number in the table and its name (-1 and "" until a pass has opened
  // one). It differs from DeviceNumber when the pass fell back to the
  // default output. Any thread.
  int32_t PlayingDeviceNumber() const { return FPlayingDeviceNumber.load(); }
  std::string PlayingDeviceName() const;
  // The operator's note from the start of the current (or last) pass, in
  // Hungarian: the chosen device could not be opened and the pass plays on
  // the default output. Empty when there is nothing to say. Posted as
  // OnDeviceNote when set. Any thread.
  std::string DeviceNote() const;

  // The underflow count when the last underrun was reported.
  int32_t Underruns() const { return FUnderruns.load(); }
  // Underflows the device itself reported in the current (or last) pass,
  // read at every poll: it found nothing to play when its time came
  // (PortAudio's output underflow), downstream of the ring that Underruns
  // watches. Any thread.
  int32_t DeviceUnderflows() const { return FDeviceUnderflows.load(); }
  // The thread that feeds the device ran with real-time priority in the
  // current (or last) pass, as far as a poll has seen. Any thread.
  bool DeviceRealtime() const { return FDeviceRealtime.load(); }

  // Poll timing since construction, for benchmarks: a poll is measured from
  // the previous poll of the same uninterrupted run of steps (the first one
  // from the start of playback), and is late when it comes more than
  // kLatePollMarginMs after that plus the step's sleep. Costs one clock read
  // per poll. Written by the worker; any thread may read.
  static constexpr uint32_t kLatePollMarginMs = 50;
  int64_t MeasuredPolls() const { return FMeasuredPolls.load(); }
  int64_t LatePolls() const { return FLatePolls.load(); }
  // Worst lateness of any measured poll, in microseconds (0 when none was late
  // at all).
  int64_t WorstPollLatenessUs() const { return FWorstPollLatenessUs.load(); }

  TEventSlot OnUnderrun;    // TUnderrunEvent
  TEventSlot OnDeviceNote;  // generic event: DeviceNote was set

 protected:
  void Prepare() override;
  bool DoOutput(bool Abort) override;
  void Done() override;
  void PauseEntered() override;
  void PauseLeft() override;

 private:
  // Waits on the worker's condition variable; Ready conditions set by other
  // threads (the simulated clock's hold) are looked at every few ms.
  class TWorkerWaiter : public TSleepWaiter {
   public:
    explicit TWorkerWaiter(TDXAudioOut& Output) : Output(Output) {}
    bool WaitFor(std::chrono::nanoseconds timeout, const std::function<bool()>& ready) override;
    void Notify() override {}

   private:
    TDXAudioOut& Output;
  };

  bool Sleep(uint32_t Ms);
  // Worker: opens device Number and its output buffer for this pass in the
  // pass's format; on failure nothing stays open.
  TSoundResult OpenOutput(int32_t Number);
  // Worker: reads the buffer's status into the counters; when the stream is
  // lost, sets the message, posts OnThreadException and returns true.
  bool DeviceLost();
  std::string DeviceName(int32_t Number) const { return FDevices.at(size_t(Number)).Name.data(); }
  uint32_t StepSleepMs(uint32_t IntervalMs) const;
  bool Drain();
  TWaveFormat BuildWaveFormat() const;

  std::shared_ptr<TSoundSystem> System;
  TWorkerWaiter Waiter{*this};

  bool Released = true;
  std::atomic<uint32_t> FFramesInBuffer{65536};
  std::atomic<uint32_t> FPollingInterval{200};
  TDSWrapper Wrapper;
  int32_t FDeviceCount = 0;
  TDeviceTable FDevices{};
  // The input's format, read once per pass in Prepare.
  int32_t FChannels = 0;
  int32_t FSampleRate = 0;
  int32_t FBitsPerSample = 0;
  std::atomic<bool> InputEnded{false};
  std::atomic<uint32_t> FPassBytesPerSecond{0};  // the pass format's, set in Prepare
  bool FirstBlock = false;
  std::unique_ptr<uint8_t[]> TransferBlock;
  std::atomic<int32_t> FDeviceNumber{0};
  uint32_t BufferBytes = 0;
  uint32_t PassFrames = 0;  // FramesInBuffer as the pass took it
  uint8_t SilenceByte = 0;
  std::atomic<int32_t> FUnderruns{0};
  int32_t LastUnderruns = 0;
  bool InputStarted = false;   // this pass called the input's Init
  int32_t DrainRoundsLeft = -1;  // -1 until the drain starts
  bool RestartAfterPause = false;  // worker: the pause stopped a running device
  // Worker: clock value at the previous poll (or at the start of playback);
  // -1 when the next poll has no reference (new pass, interrupted sleep).
  int64_t LastPollAt = -1;
  std::atomic<int64_t> FMeasuredPolls{0};
  std::atomic<int64_t> FLatePolls{0};
  std::atomic<int64_t> FWorstPollLatenessUs{0};
  void NotePoll(uint32_t SleptMs);

  std::atomic<int32_t> FPlayingDeviceNumber{-1};
  std::atomic<int32_t> FDeviceUnderflows{0};
  std::atomic<bool> FDeviceRealtime{false};
  mutable std::mutex DeviceTextsLock;  // guards FPlayingDeviceName, FDeviceNote
  std::string FPlayingDeviceName;
  std::string FDeviceNote;
};
