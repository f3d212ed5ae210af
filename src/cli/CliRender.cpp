// "vomrella --render SCRIPT (--composition N | --name NAME) -o OUT.wav":
// loads the script as the window does, builds that composition's test run
// with the window's chain builder (the same readers, silences and
// conversion) and plays it through the window's output settings on a
// virtual device whose clock moves as fast as the machine allows. OUT.wav
// holds every byte that device played, the trailing silence of the drain
// included: what the window's test run on the virtual device hears. The file
// is written through TAtomicFile: it appears only once it is complete ("-o -":
// standard output).

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/core/GuiHandoff.h"
#include "audio/core/PcmWavWriter.h"
#include "audio/core/TInputList.h"
#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/TSoundClock.h"
#include "audio/output/TVirtualSoundSystem.h"
#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/TCommandArgs.h"
#include "cli/TInterruptWatch.h"
#include "model/AtomicFile.h"
#include "model/Cp1250.h"
#include "model/ScriptFileCheck.h"
#include "model/TCompositionStore.h"
#include "show/PlaybackSettings.h"
#include "show/ScriptLoader.h"
#include "show/TTestRunChain.h"

namespace {

constexpr const char* kUsage = "Használat: vomrella --render SCRIPT (--composition N | --name NÉV) -o KIMENET.wav\n";

struct TRenderArgs {
  std::string Script;
  std::optional<int> Number;       // 1 = the first composition
  std::optional<std::string> Name;  // UTF-8, as typed
  std::string Out;
};

std::optional<TRenderArgs> ParseArgs(const std::vector<std::string_view>& args) {
  TCommandArgs given;
  given.AddValue({"composition"});
  given.AddValue({"name"});
  given.AddValue({"o", "output"});
  if (!given.Parse(args, 1, 1) || !given.Has("o") || given.Has("composition") == given.Has("name"))
    return std::nullopt;
  TRenderArgs parsed;
  parsed.Script = given.Operands()[0];
  parsed.Out = *given.Value("o");
  if (parsed.Out.empty()) return std::nullopt;
  if (const std::optional<std::string> value = given.Value("composition")) {
    int number = 0;
    const auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), number);
    if (ec != std::errc{} || end != value->data() + value->size() || number < 1) return std::nullopt;
    parsed.Number = number;
  } else {
    parsed.Name = given.Value("name");
  }
  return parsed;
}

// The composition asked for, or null after naming those the script has.
PGyElem FindComposition(const TCompositionStore& store, const TRenderArgs& args) {
  int number = 0;
  for (PGyElem c = store.Gyoker()->Kov; c; c = c->Kov) {
    ++number;
    if (args.Number ? number == *args.Number : Cp1250ToUtf8(c->Nev) == *args.Name) return c;
  }
  const std::string wanted = args.Number ? std::to_string(*args.Number) + "." : "[" + *args.Name + "]";
  if (store.Ures()) {
    std::fprintf(stderr, "vomrella: %s: nincs %s összeállítás, a scriptben egy sincs\n", args.Script.c_str(),
                 wanted.c_str());
    return nullptr;
  }
  std::string existing;
  number = 0;
  for (PGyElem c = store.Gyoker()->Kov; c; c = c->Kov) {
    if (number > 0) existing += ", ";
    existing += std::to_string(++number) + ". [" + cli::Printable(c->Nev) + "]";
  }
  std::fprintf(stderr, "vomrella: %s: nincs %s összeállítás; ezek vannak: %s\n", args.Script.c_str(), wanted.c_str(),
               existing.c_str());
  return nullptr;
}

int Render(const std::vector<std::string_view>& rawArgs) {
  const std::optional<TRenderArgs> args = ParseArgs(rawArgs);
  if (!args) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (cli::Refuse(args->Out, cli::OutputProblem(args->Out))) return 1;
  if (cli::Refuse(args->Script, ScriptFileProblem(args->Script))) return 1;

  TCompositionStore store;
  TComponentPtr<TWaveIn> wav = MakeComponent<TWaveIn>();
  TComponentPtr<TMP3In> media = MakeComponent<TMP3In>();
  const TScriptLoadResult loaded = LoadScriptIntoStore(args->Script, store, *wav, *media);
  if (loaded.Status == TScriptLoadResult::OpenFailed) {
    std::fprintf(stderr, "vomrella: Hiba a fájl megnyitásakor! (%s)\n", loaded.Message.c_str());
    return 1;
  }
  if (loaded.Status == TScriptLoadResult::ReadFailed) {
    std::fprintf(stderr, "vomrella: Hiba a fájl olvasásakor! (%s)\n", loaded.Message.c_str());
    return 1;
  }
  const PGyElem composition = FindComposition(store, *args);
  if (!composition) return 1;
  const std::string name = cli::Printable(composition->Nev);
  if (!composition->Elemek->Kov) {
    std::fprintf(stderr, "vomrella: [%s]: az összeállításban nincs lejátszható elem\n", name.c_str());
    return 1;
  }
  if (loaded.ItemsDropped > 0)
    std::fprintf(stderr, "vomrella: figyelem: a betöltés %d sort kihagyott (részletek: vomrella --check %s)\n",
                 loaded.ItemsDropped, args->Script.c_str());

  TInterruptWatch watch;
  std::string failure;
  std::vector<uint8_t> heard;
  TWaveFormat format;
  try {
    TVirtualOptions options;
    auto clock = std::make_shared<TSimulatedClock>();
    options.Clock = clock;
    auto system = std::make_shared<TVirtualSoundSystem>(options);
    TComponentPtr<TInputList> list = MakeComponent<TInputList>();
    list->IndicateProgress = true;
    TTestRunChain chain;
    chain.Build(*list, RunClipsFrom(composition->Elemek->Kov));
    TComponentPtr<TDXAudioOut> out(new TDXAudioOut(nullptr, system));
    PlaybackSettings::SetUpOutput(*out);
    std::atomic<bool> done{false};
    out->OnDone = [&](TComponent*) { done.store(true); };
    out->SetInput(list.get());
    cli::TProgress progress("Hangfájl készítése", CompositionSeconds(composition));
    out->Run();
    while (!done.load() && !watch.Interrupted.load()) {
      GuiHandoff::Instance().PumpUntil([&] { return done.load() || watch.Interrupted.load(); },
                                       std::chrono::milliseconds(100));
      progress.Update(double(clock->Now()) / double(clock->Frequency()));
    }
    progress.Finish();
    if (!done.load()) {
      out->Stop(false);
      failure = "megszakítva";
    } else if (!out->ExceptionMessage().empty()) {
      failure = out->ExceptionMessage();
    }
    // The output goes before the chain and the list it plays.
    out.reset();
    chain.Release(*list);
    heard = system->Heard();
    format = system->Stats().OutputFormat;
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (failure.empty() && format.BlockAlign == 0) failure = "a lejátszás nem indult el";
  if (!failure.empty()) {
    std::fprintf(stderr, "vomrella: [%s]: a hangfájl nem készült el: %s\n", name.c_str(), failure.c_str());
    return watch.Interrupted.load() ? 130 : 1;
  }
  try {
    TWavFmtForm form;
    form.Extensible = format.FormatTag == kWaveFormatExtensible;
    if (form.Extensible) {
      form.ValidBitsPerSample = format.ValidBitsPerSample;
      form.ChannelMask = format.ChannelMask;
    }
    const std::vector<uint8_t> header =
        PcmWavWriter::Header({format.BitsPerSample, format.Channels, format.SamplesPerSec}, heard.size(), form);
    TAtomicFile file(args->Out);
    file.Write(std::string_view(reinterpret_cast<const char*>(header.data()), header.size()));
    file.Write(std::string_view(reinterpret_cast<const char*>(heard.data()), heard.size()));
    if (heard.size() & 1u) file.Write(std::string_view("\0", 1));
    file.Commit();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vomrella: %s: nem írható (%s)\n", args->Out.c_str(), e.what());
    return 1;
  }
  const double seconds = double(heard.size()) / format.BlockAlign / format.SamplesPerSec;
  std::fprintf(cli::ReportStream(args->Out), "[%s] -> %s: %.2f mp, %u Hz, %u csatorna, %u bit\n", name.c_str(),
               args->Out.c_str(), seconds, format.SamplesPerSec, format.Channels, format.BitsPerSample);
  return cli::FlushStdout() ? 0 : 1;
}

}  // namespace

const CliCommand kRenderCommand{
    "--render", "SCRIPT (--composition N | --name NÉV) -o KIMENET.wav",
    "egy összeállítás próbalejátszása WAV fájlba, az ablak láncával, virtuális eszközön, gyorsan", &Render,
    "N: az összeállítás sorszáma (1 az első); NÉV: a neve pontosan, ahogy a --list mutatja.\n"
    "A fájl minden bájtot tartalmaz, amit az eszköz lejátszott, a végén a kifutó csenddel együtt;\n"
    "csak a sikeres végén jelenik meg. A klipeket a jelenlegi mappa Hangok almappájában keresi.\n"
    "Kilépési kód: 0 kész, 1 a script, az összeállítás vagy a kimenet hibás, 2 hibás használat,\n"
    "130 Ctrl+C."
};
