#include "audio/output/TDXAudioOut.h"

#include <algorithm>
#include <cmath>

#include "audio/core/EAuException.h"
#include "audio/core/TAuInput.h"
#include "audio/output/SoundMessages.h"
#include "audio/output/TSoundClock.h"

namespace {

// Consecutive polls that may find no room before a device that reports no
// error counts as hung. (A stream the device or its server ended is noticed
// at the first poll through the buffer's status.)
constexpr int kMaxPolls = 17;
constexpr uint32_t kDrainStepMs = 100;

}  // namespace

TDXAudioOut::TDXAudioOut(TComponent* AOwner, std::shared_ptr<TSoundSystem> System)
    : TAuOutput(AOwner), System(System ? std::move(System) : DefaultSoundSystem()), Wrapper(*this->System) {
  EnumerateDevices(*this->System, FDevices, FDeviceCount);
}

TDXAudioOut::~TDXAudioOut() {
  // The worker calls this class's overrides: stop it before the members go.
  ShutdownWorker();
}

TDeviceChoice TDXAudioOut::ChooseDevice(std::string_view Choice) {
  TDeviceChoice choice = ResolveDeviceChoice(FDevices, FDeviceCount, Choice);
  if (choice.Found()) SetDeviceNumber(choice.Number);
  return choice;
}

std::string TDXAudioOut::PlayingDeviceName() const {
  std::lock_guard lock(DeviceTextsLock);
  return FPlayingDeviceName;
}

std::string TDXAudioOut::DeviceNote() const {
  std::lock_guard lock(DeviceTextsLock);
  return FDeviceNote;
}

void TDXAudioOut::SetFramesInBuffer(uint32_t Value) {
  if (Busy()) return;
  FFramesInBuffer.store(Value);
}

void TDXAudioOut::Pause() {
  if (!Input()) throw EAuException("Input is not assigned.");
  if (!Busy()) return;
  // After the end of the input only the drain is left; waiting for the worker
  // to acknowledge would block the caller for the whole timeout.
  if (InputEnded.load()) return;
  // Already paused: the worker acknowledges a pause only once, so a second
  // request would wait out the whole timeout.
  if (Status() == osPaused) return;
  // The worker stops the device itself as it enters the pause (PauseEntered),
  // also when it gets there only after this call has stopped waiting.
  TAuOutput::Pause();
}

void TDXAudioOut::Resume() {
  if (!Busy()) return;
  // After the end of the input nothing is left to resume, unless a pause
  // requested just before the end is still pending or holds the worker.
  if (InputEnded.load() && !PauseRequested()) return;
  TAuOutput::Resume();
}

void TDXAudioOut::PauseEntered() {
  // Silence at once: a device left playing would loop its last lap while
  // nobody refills it.
  RestartAfterPause = Wrapper.State().Running.load();
  Wrapper.StopOutput();
}

void TDXAudioOut::PauseLeft() {
  // A device not started yet (paused before the first block) is started by
  // the first step; a stop ending the pass leaves the device to Done.
  if (!RestartAfterPause || StopRequested()) return;
  RestartAfterPause = false;
  // A device that refuses to restart reports itself lost, and the next poll
  // ends the pass with the device's message.
  Wrapper.RestartOutput();
}

bool TDXAudioOut::TWorkerWaiter::WaitFor(std::chrono::nanoseconds timeout, const std::function<bool()>& ready) {
  using namespace std::chrono;
  if (!ready) return Output.WaitInterruptible(ceil<milliseconds>(timeout));
  const auto deadline = steady_clock::now() + timeout;
  while (!ready()) {
    const auto left = deadline - steady_clock::now();
    if (left <= nanoseconds::zero()) return true;
    if (!Output.WaitInterruptible(std::min(milliseconds(2), ceil<milliseconds>(left)))) return false;
  }
  return true;
}

bool TDXAudioOut::Sleep(uint32_t Ms) { return System->Clock().Sleep(Ms, Waiter); }

uint32_t TDXAudioOut::StepSleepMs(uint32_t IntervalMs) const {
  // A buffer shorter than a few intervals would run dry (or, while draining,
  // play stale bytes again) between two looks: sleep at most a third of its
  // duration.
  const uint64_t bufferMs = uint64_t(PassFrames) * 1000 / uint64_t(FSampleRate);
  return uint32_t(std::max<uint64_t>(1, std::min<uint64_t>(IntervalMs, bufferMs / 3)));
}

TWaveFormat TDXAudioOut::BuildWaveFormat() const {
  TWaveFormat format;
  format.Channels = uint16_t(FChannels);
  format.SamplesPerSec = uint32_t(FSampleRate);
  format.BlockAlign = uint16_t((FChannels * FBitsPerSample) >> 3);
  format.AvgBytesPerSec = uint32_t(format.BlockAlign) * uint32_t(FSampleRate);
  format.BitsPerSample = uint16_t(FBitsPerSample);
  if (FChannels >= 3 || FBitsPerSample == 24) {
    format.FormatTag = kWaveFormatExtensible;
    format.ExtraSize = kWaveFormatExtensibleExtraSize;
    format.ValidBitsPerSample = 0;
    format.ChannelMask = FChannels == 2 ? 0x3 : FChannels == 6 ? 0x3F : FChannels == 8 ? 0xFF : 0;
    format.SubFormat = kPcmSubFormat;
  } else {
    format.FormatTag = kWaveFormatPcm;
    format.ExtraSize = 0;
  }
  return format;
}

void TDXAudioOut::Prepare() {
  Released = false;
  InputStarted = false;
  RestartAfterPause = false;
  FDeviceUnderflows.store(0);
  FDeviceRealtime.store(false);
  {
    std::lock_guard lock(DeviceTextsLock);
    FDeviceNote.clear();
  }
  const int32_t device = FDeviceNumber.load();
  if (device < 0 || device >= FDeviceCount) throw EAuException(SoundMessages::NoDeviceNumber(device, FDeviceCount));
  TAuInput* input = Input();
  if (!input) throw EAuException("Input is not assigned");
  input->Init();
  InputStarted = true;
  // The only time the format is read: the whole pass plays in it.
  FChannels = int32_t(input->Channels());
  FSampleRate = int32_t(input->SampleRate());
  FBitsPerSample = int32_t(input->BitsPerSample());
  FPassBytesPerSecond.store(uint32_t(std::min<uint64_t>(
      uint64_t(uint32_t(FBitsPerSample) >> 3) * uint32_t(FChannels) * uint32_t(FSampleRate), UINT32_MAX)));

  PassFrames = FFramesInBuffer.load();
  // Saturate instead of wrapping: an absurd size is refused by the device
  // rather than silently becoming another size.
  const uint64_t bytes = uint64_t(PassFrames) * uint64_t(uint32_t(FBitsPerSample) >> 3) * uint64_t(uint32_t(FChannels));
  BufferBytes = uint32_t(std::min<uint64_t>(bytes, UINT32_MAX));
  SilenceByte = FBitsPerSample == 8 ? 128 : 0;

  int32_t playing = device;
  if (const TSoundResult failure = OpenOutput(device); failure != srOk) {
    const std::string cause = System->ResultText(failure);
    // A chosen device that is gone (or will not play this) leaves the
    // announcement to the default output rather than to silence.
    if (device == 0 || OpenOutput(0) != srOk) throw EAuException(SoundMessages::CannotOpen(DeviceName(device), cause, failure));
    playing = 0;
    {
      std::lock_guard lock(DeviceTextsLock);
      FDeviceNote = SoundMessages::FellBackToDefault(DeviceName(device), cause, DeviceName(0));
    }
  }
  {
    std::lock_guard lock(DeviceTextsLock);
    FPlayingDeviceName = DeviceName(playing);
  }
  FPlayingDeviceNumber.store(playing);
  // Posted once the device played on is set, so the note's handler reads it.
  if (playing != device) PostEvent(OnDeviceNote);
  // Allocated once the device has accepted the size.
  TransferBlock = std::make_unique_for_overwrite<uint8_t[]>(BufferBytes);

  FirstBlock = true;
  InputEnded.store(false);
  LastUnderruns = 0;
  DrainRoundsLeft = -1;
  LastPollAt = -1;
}

double TDXAudioOut::PlayedSeconds() const {
  const uint32_t bytesPerSecond = FPassBytesPerSecond.load();
  if (bytesPerSecond == 0) return 0;
  return double(Wrapper.State().PlayedBytes.load(std::memory_order_relaxed)) / bytesPerSecond;
}

TSoundResult TDXAudioOut::OpenOutput(int32_t Number) {
  Wrapper.Reset();
  if (const TSoundResult r = Wrapper.OpenDevice(FDevices[size_t(Number)].Guid); r != srOk) return r;
  if (const TSoundResult r = Wrapper.InitOutputBuffer(0, BuildWaveFormat(), BufferBytes); r != srOk) {
    Wrapper.Reset();
    return r;
  }
  return srOk;
}

bool TDXAudioOut::DeviceLost() {
  TBufferStatus status;
  if (Wrapper.GetStatus(status) != srOk) return false;
  FDeviceUnderflows.store(int32_t(std::min<uint32_t>(status.DeviceUnderflows, INT32_MAX)));
  FDeviceRealtime.store(status.Realtime);
  if (!(status.Flags & kBufferLost)) return false;
  SetExceptionMessage(SoundMessages::PlaybackBroke(PlayingDeviceName(), System->ResultText(status.LostCause)));
  PostEvent(OnThreadException);
  return true;
}

void TDXAudioOut::NotePoll(uint32_t SleptMs) {
  const TSoundClock& clock = System->Clock();
  const int64_t frequency = clock.Frequency();
  if (frequency <= 0) return;
  const int64_t now = clock.Now();
  const int64_t previous = LastPollAt;
  LastPollAt = now;
  if (previous < 0) return;
  ++FMeasuredPolls;
  const int64_t lateUs = (now - previous) * 1'000'000 / frequency - int64_t(SleptMs) * 1000;
  if (lateUs > FWorstPollLatenessUs.load()) FWorstPollLatenessUs.store(lateUs);
  if (lateUs > int64_t(kLatePollMarginMs) * 1000) ++FLatePolls;
}

bool TDXAudioOut::DoOutput(bool Abort) {
  if (!Busy()) return true;
  if (!Active()) return false;
  TAuInput* input = Input();
  if (!input) throw EAuException("Input is not assigned");

  if (FirstBlock) {
    bool ended = false;
    const uint32_t got = ReadFull(*input, TransferBlock.get(), BufferBytes, ended);
    if (ended) InputEnded.store(true);
    Wrapper.WriteBlock(TransferBlock.get(), got);
    // Input shorter than the buffer: silence behind it, so the drain that
    // follows never plays the block a second time.
    if (ended) Wrapper.FillEmptySpace(SilenceByte);
    if (const TSoundResult r = Wrapper.StartOutput(); r != srOk)
      throw EAuException(SoundMessages::PlaybackBroke(PlayingDeviceName(), System->ResultText(r)));
    FirstBlock = false;
    LastPollAt = System->Clock().Now();  // the first poll is measured from here
  }
  if (Abort) {
    Wrapper.StopOutput();
    SetActive(false);
    return false;
  }
  if (InputEnded.load()) return Drain();

  const uint32_t frameBytes = std::max<uint32_t>(1, Wrapper.State().FrameBytes);
  uint32_t n = 0;
  for (int polls = 1;; ++polls) {
    // Woken by Stop, Pause or Resume: the worker loop takes over, and the
    // next poll has no reference to be late against.
    const uint32_t sleepMs = StepSleepMs(FPollingInterval.load());
    if (!Sleep(sleepMs)) {
      LastPollAt = -1;
      return true;
    }
    NotePoll(sleepMs);
    if (DeviceLost()) return false;
    n = Wrapper.QueryOutputSpace();
    n -= n % frameBytes;
    if (polls >= kMaxPolls) {
      SetExceptionMessage(SoundMessages::PlaybackBroke(PlayingDeviceName(), SoundMessages::kDeviceNotTaking));
      PostEvent(OnThreadException);
      return false;
    }
    if (n != 0) break;
  }

  n = std::min(n, BufferBytes);
  bool ended = false;
  const uint32_t got = ReadFull(*input, TransferBlock.get(), n, ended);
  if (ended) InputEnded.store(true);
  Wrapper.WriteBlock(TransferBlock.get(), got);
  if (InputEnded.load()) Wrapper.FillEmptySpace(SilenceByte);

  const int32_t underflows = Wrapper.State().Underflows.load();
  if (underflows != LastUnderruns) {
    FUnderruns.store(underflows);
    LastUnderruns = underflows;
    Wrapper.StopOutput();
    Wrapper.FillEmptySpace(SilenceByte);
    PostEvent(OnUnderrun);
    Wrapper.RestartOutput();
  }
  return true;
}

// The input has ended and the rest of the buffer is silence: keep writing
// silence behind the play cursor until everything written has played, then
// stop. Interrupted by Stop or Pause, it returns to the worker loop and goes
// on where it was after a Resume.
bool TDXAudioOut::Drain() {
  const uint32_t stepMs = StepSleepMs(kDrainStepMs);
  if (DrainRoundsLeft < 0) {
    // Enough rounds to cover the buffer's duration and what the device holds
    // beyond the play cursor, rounded up: a shorter drain would cut off the
    // end of what was written (the final stop drops what the device holds).
    const uint64_t bytesPerSecond = uint64_t(uint32_t(FBitsPerSample) / 8) * uint32_t(FChannels) * uint32_t(FSampleRate);
    const uint64_t perRound = std::max<uint64_t>(1, bytesPerSecond * stepMs / 1000);
    TBufferStatus status;
    const uint64_t held =
        Wrapper.GetStatus(status) == srOk ? uint64_t(status.LatencyFrames) * Wrapper.State().FrameBytes : 0;
    DrainRoundsLeft = int32_t(std::min<uint64_t>((uint64_t(BufferBytes) + held + perRound - 1) / perRound, INT32_MAX));
  }
  while (DrainRoundsLeft > 0) {
    if (!Sleep(stepMs)) return true;
    if (DeviceLost()) {
      SetActive(false);
      return false;
    }
    Wrapper.FillEmptySpace(SilenceByte);
    --DrainRoundsLeft;
  }
  SetActive(false);
  Wrapper.StopOutput();
  return false;
}

void TDXAudioOut::Done() {
  if (!Released) {
    Wrapper.CloseDevice();
    TransferBlock.reset();
  }
  Released = true;
  InputEnded.store(false);
  // Only an input this pass started is flushed.
  if (!InputStarted) return;
  InputStarted = false;
  if (TAuInput* input = Input()) input->Flush();
}
