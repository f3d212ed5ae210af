#pragma once
// Test doubles for the audio core: a scripted input, an output that captures
// what it pulls, a tiny raw-PCM file decoder, and helpers for the "GUI
// thread" (the test's own thread pumps the hand-off queue while it waits).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "audio/core/EAuException.h"
#include "audio/core/GuiHandoff.h"
#include "audio/core/TAuFileIn.h"
#include "audio/core/TAuInput.h"
#include "audio/core/TAuOutput.h"
#include "audio/core/TMemoryIn.h"
#include "support/TTempFolder.h"

namespace coretest {

// Pumps the GUI hand-off until Done() holds. The limit only keeps a broken
// build from hanging the suite; tests assert on the returned condition.
inline bool PumpUntil(const std::function<bool()>& Done, std::chrono::milliseconds Limit = std::chrono::seconds(30)) {
  return GuiHandoff::Instance().PumpUntil(Done, Limit);
}

// Bytes 0, 1, 2, ... (mod 251, so joins and repeats are visible).
std::vector<uint8_t> Pattern(size_t Bytes, uint8_t Seed = 0);

// Pulls everything a started input delivers, Chunk bytes at a time (at most
// Limit pulls, so an input that never ends cannot hang the test), checking
// that no block is larger than asked for.
std::vector<uint8_t> PullAll(TAuInput& In, uint32_t Chunk, int Limit = 100000);

// The message of the EAuException Call raises, or "<no exception>".
template <class F>
std::string MessageOf(F&& Call) {
  try {
    Call();
  } catch (const EAuException& e) {
    return e.what();
  }
  return "<no exception>";
}

// Points a memory input at Data (which must outlive its use) in Format.
void Feed(TMemoryIn& In, const std::vector<uint8_t>& Data, const TPcmFormat& Format);

// An input with a scripted format and data.
class TScriptedIn : public TAuInput {
 public:
  explicit TScriptedIn(TComponent* AOwner = nullptr) : TAuInput(AOwner) {}

  uint32_t GetBitsPerSample() override { return Fmt.BitsPerSample; }
  uint32_t GetChannels() override { return Fmt.Channels; }
  uint32_t GetSampleRate() override { return Fmt.SampleRate; }
  void Pause() override { ++Pauses; }
  void Resume() override { ++Resumes; }

  void DoInit() override;

  TPcmFormat Fmt{16, 2, 44100};
  std::vector<uint8_t> Data;
  uint32_t MaxBlock = 0xFFFFFFFFu;  // largest block handed out
  bool FailInit = false;            // DoInit raises
  bool Endless = false;             // repeats Data without end (Size -1)
  std::atomic<int> Inits{0}, Flushes{0}, Pulls{0}, Pauses{0}, Resumes{0};

 protected:
  void DoFlush() override;
  void GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  size_t Offset = 0;
};

// An output that copies every pulled byte into memory.
class TCaptureOut : public TAuOutput {
 public:
  explicit TCaptureOut(TComponent* AOwner = nullptr) : TAuOutput(AOwner) {}
  ~TCaptureOut() override { ShutdownWorker(); }

  std::vector<uint8_t> Captured();
  void ClearCaptured();

  uint32_t BlockBytes = 4096;
  std::chrono::milliseconds StepSleep{0};  // interruptible sleep after each step
  bool ThrowInPrepare = false;
  bool ThrowInStep = false;
  bool ThrowInDone = false;
  bool ThrowNonStandard = false;  // the step throws something not derived from std::exception
  std::atomic<int> Prepares{0}, Dones{0}, Steps{0}, InterruptedSleeps{0}, FinishedSleeps{0};
  std::atomic<uint32_t> SeenBits{0}, SeenChannels{0}, SeenRate{0};

 protected:
  void Prepare() override;
  bool DoOutput(bool Abort) override;
  void Done() override;

 private:
  std::mutex CaptureLock;  // guards Bytes
  std::vector<uint8_t> Bytes;
};

// Decoder of a trivial raw format: "RAW1", then bits, channels and rate as
// little-endian uint32, then PCM. Refills a small buffer to exercise the
// ReadIndex/FillEnd contract.
class TRawFileIn : public TAuFileIn {
 public:
  explicit TRawFileIn(TComponent* AOwner = nullptr) : TAuFileIn(AOwner) {}
  ~TRawFileIn() override { CloseFile(); }

  void OpenFile() override;
  void CloseFile() override;
  bool SeekToSample(int64_t& SampleNum) override;

  using TAuFileIn::DoInit;
  int32_t Opens() const { return OpenCount; }
  bool HasOwnStream() const { return OwnStream != nullptr; }

  uint32_t BufferBytes = 64;
  // Frames added to the frame a seek reaches, as a decoder that lands on a
  // block or time boundary reports it.
  int64_t SeekLanding = 0;
  std::atomic<int> OpenCalls{0}, CloseCalls{0}, BlockCalls{0}, Seeks{0};

 protected:
  void GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  std::vector<uint8_t> Block;
};

// Raw file image for TRawFileIn.
std::vector<uint8_t> RawImage(const TPcmFormat& Format, const std::vector<uint8_t>& Pcm);

}  // namespace coretest
