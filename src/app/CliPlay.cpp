// "vomrella --play FILE": plays one clip through device 0 of the sound output
// (PortAudio, or the virtual device under VOMRELLA_AUDIO) and exits when the
// pass is done. Ctrl+C stops the playback cleanly. The main thread stands in
// for the GUI thread: it pumps the audio core's hand-off queue while it waits.

#include <atomic>
#include <cstdio>
#include <exception>
#include <string>

#include "app/CliCommand.h"
#include "app/CliInterruptWatch.h"
#include "app/CliSupport.h"
#include "app/PlaybackSettings.h"
#include "audio/core/EAuException.h"
#include "audio/core/GuiHandoff.h"
#include "audio/decoders/ClipReader.h"
#include "audio/output/TDXAudioOut.h"

namespace {

int PlayClip(const std::vector<std::string_view>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "Használat: vomrella --play FÁJL\n");
    return 2;
  }
  const std::string path(args[0]);
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
    TComponentPtr<TDXAudioOut> out(new TDXAudioOut());
    // The main window's settings.
    out->SetDeviceNumber(PlaybackSettings::kDeviceNumber);
    out->SetFramesInBuffer(PlaybackSettings::kFramesInBuffer);
    out->SetPollingInterval(PlaybackSettings::kPollingInterval);
    std::atomic<bool> done{false};
    out->OnDone = [&](TComponent*) { done.store(true); };
    out->OnThreadException = [&](TComponent*) {
      std::fprintf(stderr, "vomrella: %s\n", out->ExceptionMessage().c_str());
    };
    out->SetInput(reader.get());
    std::printf("%s: %u Hz, %u csatorna, %u bit, %d mp\n", path.c_str(), reader->SampleRate(), reader->Channels(),
                reader->BitsPerSample(), reader->TotalTime());
    std::fflush(stdout);
    out->Run();
    GuiHandoff::Instance().PumpUntil([&] { return done.load() || watch.Interrupted.load(); });
    if (!done.load()) {
      out->Stop(false);
      status = 130;
    } else if (!out->ExceptionMessage().empty()) {
      status = 1;
    }
    out->SetInput(nullptr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vomrella: %s\n", e.what());
    status = 1;
  }
  return status;
}

const CliRegistration Registration({"--play", "FÁJL", "egy klip lejátszása a hangeszközön, aztán kilép", PlayClip,
                                    "Ctrl+C leállítja (kilépési kód 130). VOMRELLA_AUDIO=virtual:HALLOTT.wav a\n"
                                    "virtuális eszközre játszik, és a hallottakat a fájlba írja.\n"
                                    "Kilépési kód: 0 lejátszva, 1 a fájl nem játszható le, 2 hibás használat."});

}  // namespace
