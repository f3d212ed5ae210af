// "vomrella --list SCRIPT": prints each composition of a script and its item
// lines (file name, pause) in UTF-8, exactly as the loader's classifier reads
// them. Clips are not looked up; this shows the script, not the clip folder.

#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "app/CliCommand.h"
#include "model/Cp1250.h"
#include "model/EFileError.h"
#include "model/TScriptReader.h"

namespace {

// Script text for the terminal: Windows-1250 to UTF-8, with control
// characters shown as "?" so a stray escape byte cannot drive the terminal.
std::string Printable(const std::string& cp1250) {
  std::string text = cp1250;
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return Cp1250ToUtf8(text);
}

int ListScript(const std::vector<std::string_view>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "Használat: vomrella --list SCRIPT\n");
    return 2;
  }
  const std::string path(args[0]);
  int compositions = 0;
  int items = 0;
  int itemsInComposition = 0;
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
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::perror("vomrella: standard output");
    return 1;
  }
  return 0;
}

const CliRegistration kRegistration({"--list", "SCRIPT", "lists the compositions and items of a script", ListScript});

}  // namespace
