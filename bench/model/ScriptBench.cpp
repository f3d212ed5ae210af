// Writes a script of 10,000 items (100 compositions of 100 items), reads it
// back, and prints items per second for each step side by side: building the
// text, saving it atomically (with its fsyncs), reading it from the file, and
// classifying the same bytes in memory.
//
//   bench_model [ROUNDS]

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchClock.h"
#include "ReportRow.h"
#include "model/ScriptFormat.h"
#include "model/TCompositionStore.h"
#include "model/TScriptReader.h"

using bench::BestSeconds;

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  constexpr int kCompositions = 100, kItemsEach = 100, kItems = kCompositions * kItemsEach;

  TCompositionStore store;
  for (int c = 0; c < kCompositions; ++c) {
    PGyElem g = store.GyokerHozzaadas("\xD6ssze\xE1ll\xEDt\xE1s " + std::to_string(c));
    // Tail appends keep the set-up linear; ElemHozzaadas walks the list.
    PElem tail = g->Elemek;
    for (int i = 1; i <= kItemsEach; ++i) {
      tail->Kov = new TElem{i, "hangok/klip_" + std::to_string(c) + "_" + std::to_string(i) + ".wav", 3, double(i * 10)};
      tail = tail->Kov;
    }
  }

  std::string dir = (std::filesystem::temp_directory_path() / "vomrella-bench-XXXXXX").string();
  if (!::mkdtemp(dir.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path file = std::filesystem::path(dir) / "bench.vrs";

  std::string text;
  size_t readItems = 0;
  const double tText = BestSeconds(rounds, [&] { text = ScriptText(store); });
  const double tSave = BestSeconds(rounds, [&] { SaveScript(store, file); });
  const double tReadFile = BestSeconds(rounds, [&] {
    readItems = 0;
    for (const TScriptLine& l : TScriptReader::ReadFile(file)) readItems += l.IsItem;
  });
  const double tReadText = BestSeconds(rounds, [&] { (void)TScriptReader::ReadText(text); });
  std::filesystem::remove_all(dir);

  if (readItems != size_t(kItems)) {
    std::fprintf(stderr, "read back %zu items, wrote %d\n", readItems, kItems);
    return 1;
  }
  std::printf("script of %d items, %zu bytes, best of %d rounds\n", kItems, text.size(), rounds);
  std::printf("%-28s %12s %14s %10s\n", "step", "ms", "items/s", "vs text");
  auto row = [&](const char* name, double t) {
    std::printf("%-28s %12.3f %14.0f %9.2fx\n", name, t * 1e3, kItems / t, t / tText);
  };
  row("write text (ScriptText)", tText);
  row("atomic save (SaveScript)", tSave);
  bench::ReportRow("Atomic save, 10000 items", tSave * 1e3, "ms", "writing the text only (ours/text)", tText * 1e3, "ms",
                   tSave / tText);
  row("read file (TScriptReader)", tReadFile);
  row("classify bytes in memory", tReadText);
  return 0;
}
