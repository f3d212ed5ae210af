#pragma once
// The chain a test run plays: one input list holding a clip reader per item
// and, after each item with a pause, a silence of exactly that pause.
//
// The pass format is that of the first clip that opens; the silences are
// made in that format (to the frame, so a pause of P ms is P ms whatever the
// clips' rate), and never choose it themselves. Clips in another format are
// converted by the input list. Clips that cannot be opened are skipped by the
// list wherever they stand; their pauses still play.
//
// Used by the window's test run (and so by the play hotkey) and by the
// command line's "--run".
//
// Threads: GUI thread, while the list is not playing.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/core/PcmFormat.h"
#include "audio/core/TAuFileIn.h"
#include "audio/core/TComponent.h"
#include "audio/core/TMemoryIn.h"
#include "model/TCompositionStore.h"

class TInputList;

struct TRunClip {
  std::string Path;    // file-system path of the clip
  double PauseMs = 0;  // silence after it; rounded to whole ms, <= 0 gives none
};

// The items from `first` to the end of its composition, clip paths resolved
// in the "Hangok" folder under `clipBase` (ClipPath; the current folder when
// empty).
std::vector<TRunClip> RunClipsFrom(PElem first, const std::filesystem::path& clipBase = {});

// A reader for one clip with the window's reader settings: ".wav" in any
// letter case gives a TWaveIn, anything else the media-format reader
// (TMP3In). Opens nothing.
TComponentPtr<TAuFileIn> MakeClipReader(const std::string& path);

// Frames of silence for a pause: round(P) ms at `sampleRate`, rounded to the
// nearest frame; 0 for pauses that round to 0 ms or less.
uint64_t PauseFrames(double pauseMs, uint32_t sampleRate);

class TTestRunChain {
 public:
  TTestRunChain() = default;
  // Frees the components. The list they were added to must be idle, and
  // cleared or already freed.
  ~TTestRunChain();
  TTestRunChain(const TTestRunChain&) = delete;
  TTestRunChain& operator=(const TTestRunChain&) = delete;

  // Clears the list's items, frees the previous run's components, then adds
  // the new chain. The list must not be busy.
  void Build(TInputList& list, const std::vector<TRunClip>& clips);
  // Clears the list's items and frees the components. The list must not be
  // busy.
  void Release(TInputList& list);

  // The format the silences were made in: the first clip that opens; not
  // playable when none opens (the chain then holds no silence).
  const TPcmFormat& PassFormat() const { return FPassFormat; }
  const std::vector<TComponentPtr<TAuFileIn>>& Clips() const { return FClips; }
  const std::vector<TComponentPtr<TMemoryIn>>& Silences() const { return FSilences; }

 private:
  void FreeComponents();
  void AddSilence(TInputList& list, uint64_t frames);

  TPcmFormat FPassFormat;
  TPcmFormat FSilenceFormat;  // the pass format, or at 8000 Hz where TMemoryIn cannot hold its rate
  std::vector<TComponentPtr<TAuFileIn>> FClips;
  std::vector<TComponentPtr<TMemoryIn>> FSilences;
  // One buffer of silence shared by every silence of the run (they only read
  // it): at most kSilenceChunkSeconds long; longer pauses repeat it.
  std::unique_ptr<uint8_t[]> FSilenceBuffer;
  size_t FSilenceBufferBytes = 0;
};
