#include "show/TTestRunChain.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <system_error>

#include "audio/core/TInputList.h"
#include "audio/decoders/ClipReader.h"
#include "show/ClipPath.h"

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

// The format `clip` plays in (not playable when it does not open), its file
// closed again so a long run holds no file open before it plays.
TPcmFormat ClipFormat(TAuFileIn& clip) {
  TPcmFormat format;
  try {
    if (clip.Valid()) format = clip.Format();
  } catch (const std::exception&) {
    format = TPcmFormat{};
  }
  clip.CloseFile();
  return format;
}

}  // namespace

std::vector<TRunClip> RunClipsFrom(PElem first, const std::filesystem::path& clipBase) {
  std::vector<TRunClip> clips;
  for (PElem e = first; e; e = e->Kov) clips.push_back({ClipPath(e->FajlNev, clipBase).string(), e->Szunet});
  return clips;
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

std::string TTestRunChain::NothingOpensReason() const {
  if (FClips.empty() || FPassFormat.IsPlayable()) return {};
  const std::string& first = FClips.front()->FileName();
  std::error_code ec;
  std::string reason = std::filesystem::exists(first, ec) ? "Nem olvasható hangfájl: " : "Nem található a fájl: ";
  reason += first;
  if (FClips.size() > 1)
    reason += " (és az összeállítás további " + std::to_string(FClips.size() - 1) + " klipje sem nyitható meg)";
  return reason;
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
    silence->SetInChannels(FSilenceFormat.Channels);
    silence->SetInSampleRate(FSilenceFormat.SampleRate);
    silence->SetInBitsPerSample(FSilenceFormat.BitsPerSample);
    silence->SetDataBuffer(FSilenceBuffer.get());
    silence->SetDataSize(int64_t(partFrames * frameSize));
    silence->SetRepeatCount(int32_t(std::min<uint64_t>(repeats, uint64_t(INT32_MAX))));
    list.InputItems().Add(silence.get());
    FSilences.push_back(std::move(silence));
  }
}

void TTestRunChain::Build(TInputList& list, const std::vector<TRunClip>& clips) {
  // Nothing of the previous run is referred to once the list is cleared.
  Release(list);
  FClips.reserve(clips.size());
  for (const TRunClip& clip : clips) FClips.push_back(CreateClipReader(clip.Path));

  // The pass format, by the input list's own rule, over the clips alone: a
  // silence never sets it.
  std::vector<TAuInput*> readers;
  readers.reserve(FClips.size());
  for (const auto& reader : FClips) readers.push_back(reader.get());
  FPassFormat = TInputList::PassFormatOf(readers);
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

  // Every item's format, for the conversions made before the run.
  std::vector<TPcmFormat> formats;
  for (size_t i = 0; i < clips.size(); ++i) {
    list.InputItems().Add(FClips[i].get());
    formats.push_back(silences ? ClipFormat(*FClips[i]) : TPcmFormat{});
    if (!silences) continue;
    if (const uint64_t frames = PauseFrames(clips[i].PauseMs, FSilenceFormat.SampleRate); frames > 0)
      AddSilence(list, frames);
    formats.resize(size_t(list.InputItems().Count()), FSilenceFormat);
  }
  if (silences) list.PrepareConversions(formats, FPassFormat);
}
