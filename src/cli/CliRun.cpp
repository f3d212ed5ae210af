// "vomrella --run [--device D] SCRIPT [N]": plays composition N (1 = the first) of a
// script as the window's test run plays it (the same chain: a reader per
// clip from the current folder's "Hangok", the pauses as silence), through
// the chosen sound output with the window's settings, and exits when the pass is done.
// Ctrl+C stops the playback cleanly.

#include <charconv>
#include <cstdio>
#include <exception>
#include <string>

#include "audio/core/TInputList.h"
#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"
#include "cli/CliCommands.h"
#include "cli/CliPlayback.h"
#include "cli/CliSupport.h"
#include "cli/TCommandArgs.h"
#include "cli/TInterruptWatch.h"
#include "model/Cp1250.h"
#include "model/ScriptFileCheck.h"
#include "show/OperatorText.h"
#include "show/ScriptLoader.h"
#include "show/TTestRunChain.h"

namespace {

int RunComposition(const std::vector<std::string_view>& args) {
  int number = 1;
  TCommandArgs parsed;
  parsed.AddValue({"device"});
  const bool usable = parsed.Parse(args, 1, 2);
  const std::vector<std::string>& operands = parsed.Operands();
  if (!usable || (operands.size() == 2 && std::from_chars(operands[1].data(), operands[1].data() + operands[1].size(),
                                                          number).ec != std::errc{})) {
    std::fprintf(stderr, "Használat: vomrella --run [--device ESZKÖZ] SCRIPT [N]\n");
    return 2;
  }
  TComponentPtr<TDXAudioOut> out = ChosenOutput(PlaybackSettings::DeviceChoice(parsed.Value("device")));
  if (!out) return 2;
  const std::string& script = operands[0];
  if (cli::Refuse(script, ScriptFileProblem(script))) return 1;
  TCompositionStore store;
  TComponentPtr<TWaveIn> wav = MakeComponent<TWaveIn>();
  TComponentPtr<TMP3In> media = MakeComponent<TMP3In>();
  const TScriptLoadResult loaded = LoadScriptIntoStore(script, store, *wav, *media);
  if (loaded.Status != TScriptLoadResult::Loaded) {
    std::fprintf(stderr, "vomrella: %s\n", loaded.Message.c_str());
    return 1;
  }
  PGyElem composition = number >= 1 ? store.GyokerKeres(number - 1) : nullptr;
  if (!composition || composition == store.Gyoker()) {
    std::fprintf(stderr, "vomrella: a scriptben nincs %d. összeállítás\n", number);
    return 1;
  }
  std::printf("%s\n", Cp1250ToUtf8(composition->Nev).c_str());
  std::fflush(stdout);

  TInterruptWatch watch;
  int status = 0;
  try {
    TComponentPtr<TInputList> list = MakeComponent<TInputList>();
    TTestRunChain chain;
    chain.Build(*list, RunClipsFrom(composition->Elemek ? composition->Elemek->Kov : nullptr));
    // The output is gone before the chain and the list it played are freed.
    status = PlayOnDevice(std::move(out), *list, watch);
    chain.Release(*list);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vomrella: %s\n", HungarianMessage(e.what()).c_str());
    status = 1;
  }
  return status;
}

}  // namespace

const CliCommand kRunCommand{
    "--run", "[--device ESZKÖZ] SCRIPT [N]",
    "az N. összeállítás (alapból az 1.) lejátszása a hangeszközön, ahogy a próba "
    "játssza",
    RunComposition,
    "Ctrl+C leállítja (kilépési kód 130). Fájlba gyorsan: vomrella --render.\n"
    "--device ESZKÖZ: a hangkimenet száma vagy neve (vomrella --devices).\n"
    "Kilépési kód: 0 lejátszva, 1 a script vagy az összeállítás hibás, vagy a\n"
    "lejátszás megszakadt, 2 hibás használat (ismeretlen vagy többértelmű hangkimenet is)."
};
