// "vomrella --probe FILE...": opens each clip with the reader the program would
// use and prints one line per file: valid or not, the kind, channels, sample
// rate, bits per sample, Size (bytes of PCM) and TotalTime (seconds).
// Exit status 0 when every file is valid, 1 otherwise.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "audio/decoders/ClipReader.h"
#include "audio/decoders/TWaveIn.h"
#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/TCommandArgs.h"

namespace {

// The kind of the open clip: the WAV sub-format, or "media" for the
// media-format reader.
const char* KindOf(TAuFileIn& reader) {
  if (auto* wave = dynamic_cast<TWaveIn*>(&reader)) return WaveKindName(wave->WaveKind());
  return "media";
}

// One line for a file that cannot be read at all; false then.
bool Readable(const std::string& path) {
  const std::string problem = cli::FileProblem(path);
  if (problem.empty()) return true;
  std::printf("%s: %s\n", path.c_str(), problem.c_str());
  return false;
}

bool ProbeOne(const std::string& path) {
  if (!Readable(path)) return false;
  std::string message;
  TComponentPtr<TAuFileIn> reader = CreateClipReader(path, &message);
  if (!reader) {
    std::printf("%s: érvénytelen (%s)\n", path.c_str(), message.c_str());
    return false;
  }
  const bool valid = reader->Valid();
  if (!valid) {
    std::printf("%s: érvénytelen fajta=%s\n", path.c_str(), KindOf(*reader));
    return false;
  }
  const uint32_t channels = reader->Channels();
  const uint32_t rate = reader->SampleRate();
  const uint32_t bits = reader->BitsPerSample();
  const int32_t seconds = reader->TotalTime();
  std::printf("%s: érvényes fajta=%s csatorna=%u ráta=%u bit=%u méret=%lld idő=%d\n", path.c_str(), KindOf(*reader),
              channels, rate, bits, static_cast<long long>(reader->Size.load()), seconds);
  return true;
}

int Probe(const std::vector<std::string_view>& args) {
  TCommandArgs parsed;
  if (!parsed.Parse(args, 1, TCommandArgs::kAnyNumber)) {
    std::fprintf(stderr, "Használat: vomrella --probe FÁJL...\n");
    return 2;
  }
  bool allValid = true;
  for (const std::string& arg : parsed.Operands()) {
    try {
      allValid = ProbeOne(arg) && allValid;
    } catch (const std::exception& e) {
      std::printf("%s: érvénytelen (%s)\n", arg.c_str(), e.what());
      allValid = false;
    }
  }
  if (!cli::FlushStdout()) return 1;
  return allValid ? 0 : 1;
}

}  // namespace

const CliCommand kProbeCommand{
    "--probe", "FÁJL...",
    "klipenként egy sor: érvényes-e, fajtája, formátuma, mérete és hossza",
    &Probe,
    "fajta: a WAV alformátuma (pcm, ima-adpcm, ...), vagy media a médiaolvasónál;\n"
    "méret: a PCM bájtjai, idő: hossz egész másodpercben.\n"
    "Kilépési kód: 0 mind érvényes, 1 van érvénytelen vagy olvashatatlan, 2 hibás használat."
};
