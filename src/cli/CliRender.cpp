// "vomrella --render SCRIPT (--composition N | --name NAME) -o OUT.wav":
// loads the script as the window does, builds that composition's test run
// with the window's chain builder (the same readers, silences and
// conversion) and plays it through the window's output settings on a
// virtual device whose clock moves as fast as the machine allows. OUT.wav
// holds every byte that device played, the trailing silence of the drain
// included: what the window's test run on the virtual device hears. The file
// is written through TAtomicFile: it appears only once it is complete ("-o -":
// standard output). What the device plays streams into it as it passes the
// play cursor, so a run of any length (a pause of weeks) holds no more than
// the device's ring in memory; a write error or the WAV format's 4 GiB limit
// ends the run with the reason.

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
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
#include "show/OperatorText.h"
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

// Takes what the virtual device plays into the output file. The header is
// written for an empty file on the first bytes (the device's format is known
// by then) and patched by Finish.
class TRenderSink {
 public:
  // Throws EFileError when the output cannot be started.
  explicit TRenderSink(const std::string& out) : Out(out), File(out) {}

  // Before the run: the system whose output format the header describes;
  // it must outlive the run.
  void SetSystem(const TVirtualSoundSystem* system) { System = system; }

  // Device thread (the system's HeardSink). After a failure the bytes are
  // dropped and Failed() answers true.
  void Append(const uint8_t* data, size_t bytes) noexcept {
    std::lock_guard lock(FileLock);
    if (FailedFlag.load()) return;
    try {
      if (!HeaderWritten) WriteHeader(System->Stats().OutputFormat);
      if (DataBytes + bytes > MaxDataBytes) return Fail("a WAV fájl legfeljebb 4 GiB hangot tárolhat, ez hosszabb");
      File.Write(std::string_view(reinterpret_cast<const char*>(data), bytes));
      DataBytes += bytes;
    } catch (const std::exception& e) {
      Fail(WriteFailure(Out, e.what()));
    }
  }

  bool Failed() const { return FailedFlag.load(); }
  // Once the device is gone.
  std::string Failure() const {
    std::lock_guard lock(FileLock);
    return FailureText;
  }
  uint64_t Bytes() const {
    std::lock_guard lock(FileLock);
    return DataBytes;
  }

  // Once the device is gone: pads, patches the header (`format`: the
  // device's, when nothing was heard), puts the file in place.
  // Throws as TAtomicFile and PcmWavWriter::Header do.
  void Finish(const TWaveFormat& format) {
    std::lock_guard lock(FileLock);
    if (!HeaderWritten) WriteHeader(format);
    if (DataBytes & 1u) File.Write(std::string_view("\0", 1));
    const std::vector<uint8_t> header = PcmWavWriter::Header(Format, DataBytes, Form);
    File.WriteAt(0, std::string_view(reinterpret_cast<const char*>(header.data()), header.size()));
    File.Commit();
  }

 private:
  // Under FileLock.
  void WriteHeader(const TWaveFormat& format) {
    Form.Extensible = format.FormatTag == kWaveFormatExtensible;
    if (Form.Extensible) {
      Form.ValidBitsPerSample = format.ValidBitsPerSample;
      Form.ChannelMask = format.ChannelMask;
    }
    Format = {format.BitsPerSample, format.Channels, format.SamplesPerSec};
    const std::vector<uint8_t> header = PcmWavWriter::Header(Format, 0, Form);
    MaxDataBytes = std::numeric_limits<uint32_t>::max() - header.size();
    File.Write(std::string_view(reinterpret_cast<const char*>(header.data()), header.size()));
    HeaderWritten = true;
  }

  void Fail(std::string why) {
    FailureText = std::move(why);
    FailedFlag.store(true);
  }

  const std::string Out;
  const TVirtualSoundSystem* System = nullptr;
  mutable std::mutex FileLock;  // guards everything below but FailedFlag
  TAtomicFile File;
  bool HeaderWritten = false;
  TPcmFormat Format;
  TWavFmtForm Form;
  uint64_t DataBytes = 0;
  uint64_t MaxDataBytes = 0;
  std::string FailureText;
  std::atomic<bool> FailedFlag{false};
};

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

  std::optional<TRenderSink> sink;
  try {
    sink.emplace(args->Out);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vomrella: %s\n", WriteFailure(args->Out, e.what()).c_str());
    return 1;
  }
  TInterruptWatch watch;
  std::string failure;
  TWaveFormat format;
  try {
    TVirtualOptions options;
    auto clock = std::make_shared<TSimulatedClock>();
    options.Clock = clock;
    options.HeardSink = [&sink](const uint8_t* data, size_t bytes) { sink->Append(data, bytes); };
    auto system = std::make_shared<TVirtualSoundSystem>(options);
    sink->SetSystem(system.get());
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
    const auto over = [&] { return done.load() || watch.Interrupted.load() || sink->Failed(); };
    while (!over()) {
      GuiHandoff::Instance().PumpUntil(over, std::chrono::milliseconds(100));
      progress.Update(double(clock->Now()) / double(clock->Frequency()));
    }
    progress.Finish();
    if (!done.load()) out->Stop(false);
    const std::string outputError = out->ExceptionMessage();
    // The output goes before the chain and the list it plays.
    out.reset();
    chain.Release(*list);
    format = system->Stats().OutputFormat;
    if (sink->Failed())
      failure = sink->Failure();
    else if (!done.load())
      failure = "megszakítva";
    else if (!outputError.empty())
      failure = HungarianMessage(outputError);
  } catch (const std::exception& e) {
    failure = HungarianMessage(e.what());
  }
  if (failure.empty() && format.BlockAlign == 0) failure = "a lejátszás nem indult el";
  if (!failure.empty()) {
    std::fprintf(stderr, "vomrella: [%s]: a hangfájl nem készült el: %s\n", name.c_str(), failure.c_str());
    return watch.Interrupted.load() ? 130 : 1;
  }
  try {
    sink->Finish(format);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vomrella: %s\n", WriteFailure(args->Out, e.what()).c_str());
    return 1;
  }
  const uint64_t heardBytes = sink->Bytes();
  const double seconds = double(heardBytes) / format.BlockAlign / format.SamplesPerSec;
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
