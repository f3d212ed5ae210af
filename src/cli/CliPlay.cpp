// "vomrella --play [--device D] FILE": plays one clip on the chosen sound
// output (PortAudio, or the virtual device under VOMRELLA_AUDIO) and exits when the
// pass is done. Ctrl+C stops the playback cleanly. The main thread stands in
// for the GUI thread: it pumps the audio core's hand-off queue while it waits.

#include <cstdio>
#include <exception>
#include <string>

#include "audio/core/EAuException.h"
#include "audio/decoders/ClipReader.h"
#include "cli/CliCommands.h"
#include "cli/CliPlayback.h"
#include "cli/CliSupport.h"
#include "cli/TCommandArgs.h"
#include "cli/TInterruptWatch.h"
#include "show/OperatorText.h"

namespace {

int PlayClip(const std::vector<std::string_view>& args) {
  TCommandArgs parsed;
  parsed.AddValue({"device"});
  if (!parsed.Parse(args, 1, 1)) {
    std::fprintf(stderr, "Használat: vomrella --play [--device ESZKÖZ] FÁJL\n");
    return 2;
  }
  TComponentPtr<TDXAudioOut> out = ChosenOutput(PlaybackSettings::DeviceChoice(parsed.Value("device")));
  if (!out) return 2;
  const std::string path = parsed.Operands()[0];
  if (cli::Refuse(path, cli::FileProblem(path))) return 1;
  std::string why;
  TComponentPtr<TAuFileIn> reader = CreateClipReader(path, &why);
  if (!reader) {
    std::fprintf(stderr, "vomrella: %s: %s\n", path.c_str(), why.c_str());
    return 1;
  }
  if (!reader->Valid()) {
    std::fprintf(stderr, "vomrella: %s: a fájl nem játszható le\n", path.c_str());
    return 1;
  }

  TInterruptWatch watch;
  int status = 0;
  try {
    std::printf("%s: %u Hz, %u csatorna, %u bit, %d mp\n", path.c_str(), reader->SampleRate(), reader->Channels(),
                reader->BitsPerSample(), reader->TotalTime());
    std::fflush(stdout);
    status = PlayOnDevice(std::move(out), *reader, watch);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vomrella: %s\n", HungarianMessage(e.what()).c_str());
    status = 1;
  }
  return status;
}

}  // namespace

const CliCommand kPlayCommand{
    "--play", "[--device ESZKÖZ] FÁJL", "egy klip lejátszása a hangeszközön, aztán kilép", PlayClip,
    "Ctrl+C leállítja (kilépési kód 130). VOMRELLA_AUDIO=virtual:HALLOTT.wav a\n"
    "virtuális eszközre játszik, és a hallottakat a fájlba írja.\n"
    "--device ESZKÖZ: a hangkimenet száma vagy neve (vomrella --devices).\n"
    "Kilépési kód: 0 lejátszva, 1 a fájl nem játszható le, 2 hibás használat\n"
    "(ismeretlen vagy többértelmű hangkimenet is)."
};
