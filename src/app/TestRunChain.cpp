#include "app/TestRunChain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/ClipPath.h"
#include "audio/core/TInputList.h"
#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"

namespace {

// Longest stretch one silence buffer holds; longer pauses repeat it.
constexpr uint64_t kSilenceChunkSeconds = 1;

// The format silences are made in: the pass format, except that the memory
// input corrects rates outside 2000..96000 Hz to 8000 Hz; such a silence is
// made at 8000 Hz and converted by the list.
TPcmFormat SilenceFormatFor(const TPcmFormat& pass) {
  TPcmFormat format = pass;
  if (format.SampleRate < 2000 || format.SampleRate > 96000) format.SampleRate = 8000;
  return format;
}

// True when the reader has a playable format and is not known to be empty:
// the input list will open it and take its format as the pass format.
bool Opens(TAuFileIn& reader) {
  if (!reader.Valid()) return false;
  if (!reader.Format().IsPlayable()) return false;
  return reader.Size.load() != 0;
}

}  // namespace

std::vector<TRunClip> RunClipsFrom(PElem first, const std::filesystem::path& clipBase) {
  std::vector<TRunClip> clips;
  for (PElem e = first; e; e = e->Kov) clips.push_back({ClipPath(e->FajlNev, clipBase).string(), e->Szunet});
  return clips;
}

TComponentPtr<TAuFileIn> MakeClipReader(const std::string& path) {
  if (IsWavName(path)) {
    auto reader = MakeComponent<TWaveIn>();
    reader->Loop = false;
    reader->EndSample = -1;
    reader->SetFileName(path);
    return reader;
  }
  auto reader = MakeComponent<TMP3In>();
  reader->Loop = false;
  reader->EndSample = -1;
  reader->SetOutputChannels(cnMonoOrStereo);
  reader->SetHighPrecision(false);
  reader->SetFileName(path);
  return reader;
}

uint64_t PauseFrames(double pauseMs, uint32_t sampleRate) {
  if (!std::isfinite(pauseMs)) return 0;
  // Whole milliseconds first, as the pause is stored; ties to even.
  const double ms = std::nearbyint(pauseMs);
  if (ms <= 0) return 0;
  return uint64_t(std::llround(ms * double(sampleRate) / 1000.0));
}

TTestRunChain::~TTestRunChain() { FreeComponents(); }

void TTestRunChain::FreeComponents() {
  // Silences point into the shared buffer: they go first.
  FSilences.clear();
  FClips.clear();
  FSilenceBuffer.reset();
  FSilenceBufferBytes = 0;
  FPassFormat = TPcmFormat{};
  FSilenceFormat = TPcmFormat{};
}

void TTestRunChain::Release(TInputList& list) {
  list.InputItems().Clear();
  FreeComponents();
}

void TTestRunChain::AddSilence(TInputList& list, uint64_t frames) {
  const uint64_t frameSize = FSilenceFormat.FrameSize();
  const uint64_t chunkFrames = uint64_t(FSilenceFormat.SampleRate) * kSilenceChunkSeconds;
  // Whole chunks repeated, then the rest: at most two inputs per pause.
  const uint64_t parts[2][2] = {{frames >= chunkFrames ? chunkFrames : 0, frames / chunkFrames},
                                {frames % chunkFrames, 1}};
  for (const auto& [partFrames, repeats] : parts) {
    if (partFrames == 0 || repeats == 0) continue;
    auto silence = MakeComponent<TMemoryIn>();
    silence->InChannels = FSilenceFormat.Channels;
    silence->InSampleRate = FSilenceFormat.SampleRate;
    silence->InBitsPerSample = FSilenceFormat.BitsPerSample;
    silence->DataBuffer = FSilenceBuffer.get();
    silence->DataSize = int64_t(partFrames * frameSize);
    silence->RepeatCount = int32_t(std::min<uint64_t>(repeats, uint64_t(INT32_MAX)));
    list.InputItems().Add(silence.get());
    FSilences.push_back(std::move(silence));
  }
}

void TTestRunChain::Build(TInputList& list, const std::vector<TRunClip>& clips) {
  // Nothing of the previous run is referred to once the list is cleared.
  Release(list);
  FClips.reserve(clips.size());
  for (const TRunClip& clip : clips) FClips.push_back(MakeClipReader(clip.Path));

  // The pass format: the first clip that opens. A silence never sets it.
  for (const auto& reader : FClips) {
    if (!Opens(*reader)) continue;
    FPassFormat = reader->Format();
    break;
  }
  // Without a clip that opens nothing can be heard: no silences either.
  const bool silences = FPassFormat.IsPlayable();
  FSilenceFormat = silences ? SilenceFormatFor(FPassFormat) : TPcmFormat{};
  uint64_t longest = 0;
  if (silences)
    for (const TRunClip& clip : clips)
      longest = std::max(longest, PauseFrames(clip.PauseMs, FSilenceFormat.SampleRate));
  if (longest > 0) {
    const uint64_t chunkFrames = uint64_t(FSilenceFormat.SampleRate) * kSilenceChunkSeconds;
    FSilenceBufferBytes = size_t(std::min(longest, chunkFrames) * FSilenceFormat.FrameSize());
    FSilenceBuffer = std::make_unique<uint8_t[]>(FSilenceBufferBytes);
    std::memset(FSilenceBuffer.get(), FSilenceFormat.SilenceByte(), FSilenceBufferBytes);
  }

  for (size_t i = 0; i < clips.size(); ++i) {
    list.InputItems().Add(FClips[i].get());
    if (!silences) continue;
    if (const uint64_t frames = PauseFrames(clips[i].PauseMs, FSilenceFormat.SampleRate); frames > 0)
      AddSilence(list, frames);
  }
}
