// "vomrella --list SCRIPT": prints each composition of a script and its item
// lines (file name, pause) in UTF-8, exactly as the loader's classifier reads
// them. Clips are not looked up; this shows the script, not the clip folder.

#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/TCommandArgs.h"
#include "model/Cp1250.h"
#include "model/EFileError.h"
#include "model/ScriptFileCheck.h"
#include "model/TScriptReader.h"

namespace {

using cli::Printable;

int ListScript(const std::vector<std::string_view>& args) {
  TCommandArgs parsed;
  if (!parsed.Parse(args, 1, 1)) {
    std::fprintf(stderr, "Használat: vomrella --list SCRIPT\n");
    return 2;
  }
  const std::string path = parsed.Operands()[0];
  int compositions = 0;
  int items = 0;
  int itemsInComposition = 0;
  if (cli::Refuse(path, ScriptFileProblem(path))) return 1;
  std::optional<TScriptReader> reader;
  try {
    reader.emplace(path);
  } catch (const EFileError& e) {
    std::fprintf(stderr, "vomrella: Hiba a fájl megnyitásakor! (%s)\n", e.what());
    return 1;
  }
  try {
    TScriptLine line;
    while (reader->Next(line)) {
      if (line.IsHeader) {
        if (compositions > 0 && itemsInComposition == 0) std::printf("  (üres)\n");
        ++compositions;
        itemsInComposition = 0;
        std::printf("%s[%s]\n", compositions > 1 ? "\n" : "", Printable(line.Name).c_str());
      }
      if (line.IsItem) {
        ++items;
        ++itemsInComposition;
        std::printf("  %d. %s, szünet: %d ms\n", itemsInComposition, Printable(line.FileName).c_str(), line.Pause);
      }
    }
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "vomrella: Hiba a fájl olvasásakor! (%s)\n", e.what());
    return 1;
  }
  if (compositions > 0 && itemsInComposition == 0) std::printf("  (üres)\n");
  if (compositions == 0)
    std::printf("A scriptben nincs összeállítás.\n");
  else
    std::printf("\nÖsszesen: %d összeállítás, %d elem\n", compositions, items);
  return cli::FlushStdout() ? 0 : 1;
}

}  // namespace

const CliCommand kListCommand{
    "--list", "SCRIPT", "a script összeállításai és elemei (a klipeket nem keresi meg)", ListScript,
    "Kilépési kód: 0 rendben, 1 a script nem olvasható, üres vagy nem szöveg,\n"
    "2 hibás használat."
};
