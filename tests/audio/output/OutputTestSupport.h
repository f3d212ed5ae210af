#pragma once
// Test helpers for the sound device output: a scripted input, a recognisable
// PCM pattern, and a rig of TDXAudioOut over a virtual device on a clock.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/core/TAuInput.h"
#include "audio/core/TComponent.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/TSoundClock.h"
#include "audio/output/TVirtualSoundSystem.h"

// PCM bytes that never repeat within a test and are seldom silence.
std::vector<uint8_t> PatternBytes(size_t bytes, uint32_t seed = 1);

// An input with a fixed format and data, handed out in blocks of at most
// BlockBytes. Hooks run on the pulling thread.
class TScriptedInput : public TAuInput {
 public:
  TScriptedInput(uint32_t Bits, uint32_t Channels, uint32_t Rate, std::vector<uint8_t> Data)
      : Bits(Bits), Chans(Channels), Rate(Rate), Data(std::move(Data)) {}

  uint32_t GetBitsPerSample() override { return Bits; }
  uint32_t GetChannels() override { return Chans; }
  uint32_t GetSampleRate() override { return Rate; }
  void Pause() override { ++Pauses; }
  void Resume() override { ++Resumes; }

  const std::vector<uint8_t>& Bytes() const { return Data; }

  uint32_t BlockBytes = 4096;
  // Called before each block with the position reached (bytes delivered).
  std::function<void(int64_t)> BeforeBlock;
  // Called once when the input reports its end.
  std::function<void()> AtEnd;
  std::atomic<int> Inits{0};
  std::atomic<int> Flushes{0};
  std::atomic<int> Pauses{0};
  std::atomic<int> Resumes{0};

 protected:
  void DoInit() override;
  void DoFlush() override { ++Flushes; }
  void GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  uint32_t Bits, Chans, Rate;
  std::vector<uint8_t> Data;
  size_t Offset = 0;
  bool EndReported = false;
};

// TDXAudioOut on a virtual device, its events counted. The test thread acts
// as the GUI thread and pumps the hand-off queue while it waits.
struct TOutputRig {
  explicit TOutputRig(TVirtualOptions Options = {}, std::shared_ptr<TSoundClock> Clock = nullptr);
  ~TOutputRig();

  // Runs a pass and waits for its OnDone (false when none came in 60 s).
  bool Play();
  bool WaitDone(int Count = 1);
  // Pumps hand-offs until Condition holds (false after 60 s).
  bool PumpUntil(const std::function<bool()>& Condition);
  // Runs a pass on Input and holds the simulated clock once HoldAt bytes have
  // been pulled; returns when the worker sleeps on the held clock (false when
  // it never did).
  bool RunAndHoldAfter(int64_t HoldAt);
  // What was heard, cut into the input's part and the rest.
  std::vector<uint8_t> Heard() const { return System->Heard(); }

  std::shared_ptr<TSimulatedClock> SimClock;
  std::shared_ptr<TVirtualSoundSystem> System;
  TComponentPtr<TDXAudioOut> Out;
  std::unique_ptr<TScriptedInput> Input;
  std::atomic<int> DoneEvents{0};
  std::atomic<int> UnderrunEvents{0};
  std::atomic<int> ExceptionEvents{0};
};

// A file name in the test temp folder that no other test process uses (ctest
// runs each test as its own process, several at a time).
std::string UniqueTempPath(const std::string& Stem);

// True when Heard is Expected followed only by the silence byte.
::testing::AssertionResult IsInputThenSilence(const std::vector<uint8_t>& Heard, const std::vector<uint8_t>& Expected,
                                              uint8_t Silence);
