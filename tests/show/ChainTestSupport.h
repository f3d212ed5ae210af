#pragma once
// Helpers for the whole-chain tests: clip files made on the spot, the chain a
// test run builds (a clip reader per clip, a repeated silence buffer after
// each long enough pause, all in one input list), a TDXAudioOut on the
// virtual device with the simulated clock, and the stream a chain should
// give, worked out from each clip's reader on its own.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/core/TAuFileIn.h"
#include "audio/core/TComponent.h"
#include "audio/core/TInputList.h"
#include "audio/core/TMemoryIn.h"
#include "audio/core/TPcmFormat.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/TSoundClock.h"
#include "audio/output/TVirtualSoundSystem.h"
#include "show/TTestRunChain.h"
#include "support/TTempFolder.h"

enum class TClipKind { PcmWav, EightBitWav, FloatWav, ImaAdpcmWav, MsAdpcmWav, Mp3 };

struct TClipSpec {
  TClipKind Kind = TClipKind::PcmWav;
  int Channels = 2;
  int SampleRate = 44100;
  double Seconds = 1.0;
  uint32_t Seed = 1;
};

const char* ClipKindName(TClipKind Kind);

// Writes the clip into Folder under a name with the right extension and
// returns its path. Frames() of the source signal is Seconds x SampleRate.
std::string WriteClip(const TTempFolder& Folder, const std::string& Stem, const TClipSpec& Spec);
// The data bytes written for a PCM or float WAV clip (a PCM clip must play
// exactly these).
std::vector<uint8_t> PcmClipData(const TClipSpec& Spec);

void WriteFileBytes(const std::string& Path, const std::vector<uint8_t>& Bytes);
std::vector<uint8_t> ReadFileBytes(const std::string& Path);

// What a reader delivers on its own, pulled in one run.
struct TDecoded {
  bool Valid = false;
  TPcmFormat Format;
  std::vector<uint8_t> Pcm;
};
TDecoded DecodeAlone(const std::string& Path);

using TRunItem = TRunClip;

// A test run's chain as the window builds it (TTestRunChain), in a list of
// its own. The list is cleared before the inputs go.
class TTestRun {
 public:
  explicit TTestRun(const std::vector<TRunItem>& Items);
  ~TTestRun();
  TInputList& List() { return *FList; }
  const TTestRunChain& Chain() const { return FChain; }
  const std::vector<TComponentPtr<TAuFileIn>>& Clips() const { return FChain.Clips(); }
  const std::vector<TComponentPtr<TMemoryIn>>& Silences() const { return FChain.Silences(); }

 private:
  TComponentPtr<TInputList> FList;
  TTestRunChain FChain;
};

// What a chain should give: each clip as its reader delivers it alone,
// converted to the pass format (the first clip that opens) where its own
// format differs; after each clip with a pause of P ms, round(P x rate /
// 1000) frames of the pass format's silence. Clips that do not open
// contribute nothing but their pauses; before the first clip that opens, a
// pause is in the pass format too.
struct TExpectedPart {
  std::string What;
  TPcmFormat Own;          // the item's own format
  uint64_t OwnFrames = 0;  // frames it delivers alone
  std::vector<uint8_t> Pcm;  // in the pass format
  std::vector<uint8_t> OwnPcm;  // as the item delivers it, in its own format
};
struct TExpectedStream {
  TPcmFormat Format;
  std::vector<TExpectedPart> Parts;
  std::vector<uint8_t> Bytes() const;
};
TExpectedStream ExpectedStream(const std::vector<TRunItem>& Items);

// Samples of interleaved PCM as values in [-1, 1): 8-bit unsigned, 16, 24
// and 32-bit signed, little-endian.
std::vector<double> PcmToUnit(const uint8_t* Data, size_t Bytes, uint32_t BitsPerSample);

// A part's own PCM as the pass format should hold it, made without
// TPcmConverter: channels mapped here (mono to every channel at full level,
// several channels to mono averaged, otherwise channel by channel with the
// last input channel repeated), the rate changed by libswresample called
// directly in doubles, the result clipped to the pass format's range. Values
// in [-1, 1), not yet quantized.
std::vector<double> ReferenceConversion(const std::vector<uint8_t>& Pcm, const TPcmFormat& Own,
                                        const TPcmFormat& Pass);

// TDXAudioOut with the window's settings on a virtual device whose clock
// only moves when the worker sleeps. The test thread acts as the GUI thread.
struct TChainRig {
  TChainRig();
  ~TChainRig();

  // Sets the input, runs, and pumps the hand-off queue until OnDone (false
  // when none came in 60 s, a safety net only).
  bool Play(TAuInput& Input);
  bool WaitDone(int Count);
  bool PumpUntil(const std::function<bool()>& Condition);
  // Holds the clock at the start of the Nth sleep of the worker from now on.
  void HoldAtSleep(int64_t N);
  std::vector<uint8_t> Heard() const { return System->Heard(); }

  std::shared_ptr<TSimulatedClock> Clock;
  std::shared_ptr<TVirtualSoundSystem> System;
  TComponentPtr<TDXAudioOut> Out;
  std::atomic<int> DoneEvents{0};
  std::atomic<int> ExceptionEvents{0};
  std::atomic<int64_t> HoldAt{-1};
  std::shared_ptr<std::atomic<int64_t>> SleepCounter;  // sleeps the worker has begun
};

// True when Heard is Expected followed by nothing but the Silence byte.
::testing::AssertionResult IsStreamThenSilence(const std::vector<uint8_t>& Heard,
                                               const std::vector<uint8_t>& Expected, uint8_t Silence);
