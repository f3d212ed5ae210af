#include "app/ScriptLoader.h"

#include <exception>
#include <optional>

#include "app/ClipCheck.h"
#include "audio/core/TAuFileIn.h"
#include "model/Cp1250.h"
#include "model/EFileError.h"
#include "model/TCompositionStore.h"
#include "model/TScriptReader.h"

namespace {

// Script text for a message: Windows-1250 to UTF-8, control characters as "?".
std::string Shown(std::string_view cp1250) {
  std::string text(cp1250);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return Cp1250ToUtf8(text);
}

}  // namespace

bool MeasureClip(TAuFileIn& reader, const std::filesystem::path& path, int32_t& seconds) {
  reader.SetFileName(path.string());
  if (!reader.Valid()) return false;
  seconds = reader.TotalTime();
  return true;
}

TScriptLoadResult LoadScriptIntoStore(const std::filesystem::path& path, TCompositionStore& store,
                                      TAuFileIn& wavReader, TAuFileIn& mediaReader,
                                      const std::filesystem::path& clipBase) {
  TScriptLoadResult result;
  std::optional<TScriptReader> reader;
  try {
    reader.emplace(path);
  } catch (const std::exception& e) {
    result.Status = TScriptLoadResult::OpenFailed;
    result.Message = e.what();
    return result;
  }

  store.Uritas();
  store.AktGyoker = store.Gyoker();
  try {
    TScriptLine line;
    while (reader->Next(line)) {
      if (line.IsHeader) {
        store.AktGyoker = store.GyokerHozzaadas(line.Name);
        ++result.Compositions;
      }
      if (!line.IsItem || store.AktGyoker == store.Gyoker()) continue;
      ++result.ItemLines;
      const TClipVerdict verdict = CheckClip(line.FileName, clipBase, wavReader, mediaReader);
      if (!verdict.Kept) {
        result.Dropped.push_back({line.LineNumber, store.AktGyoker->Nev, line.FileName, verdict.Reason, false});
        continue;
      }
      store.ElemHozzaadas(store.AktGyoker, line.FileName, verdict.Seconds, line.Pause);
      ++result.ItemsKept;
    }
  } catch (const std::exception& e) {
    result.Status = TScriptLoadResult::ReadFailed;
    result.Message = e.what();
  }
  // Lines before the first header look like items; the load ignores them,
  // and says so as "--check" does.
  std::vector<TDroppedLine> dropped;
  for (const TScriptReader::TIgnoredItemLine& line : reader->ItemLinesBeforeFirstHeader())
    dropped.push_back({line.LineNumber, {}, line.Text, "összeállítás előtti sor, a betöltés figyelmen kívül hagyja", true});
  result.ItemLines += int(dropped.size());
  dropped.insert(dropped.end(), result.Dropped.begin(), result.Dropped.end());
  result.Dropped = std::move(dropped);
  result.ItemsDropped = int(result.Dropped.size());
  return result;
}

int DroppedLinesKeptUnder(const TScriptLoadResult& result, const std::filesystem::path& otherBase,
                          TAuFileIn& wavReader, TAuFileIn& mediaReader) {
  int kept = 0;
  for (const TDroppedLine& line : result.Dropped)
    if (!line.BeforeFirstHeader && CheckClip(line.FileName, otherBase, wavReader, mediaReader).Kept) ++kept;
  return kept;
}

std::string DroppedLinesMessage(const TScriptLoadResult& result, const std::filesystem::path& script,
                                const std::filesystem::path& clipFolder, size_t listed) {
  std::string text = "A script betöltésekor " + std::to_string(result.ItemLines) + " elemsorból " +
                     std::to_string(result.Dropped.size()) + " kimaradt.\nScript: " + script.string() +
                     "\nHangmappa: " + clipFolder.string() + "\n";
  for (size_t i = 0; i < result.Dropped.size() && i < listed; ++i) {
    const TDroppedLine& line = result.Dropped[i];
    text += "\n" + std::to_string(line.Line) + ". sor, ";
    text += line.BeforeFirstHeader ? std::string("összeállítás előtt") : "[" + Shown(line.Composition) + "]";
    text += " " + Shown(line.FileName) + ": " + line.Reason;
  }
  if (result.Dropped.size() > listed) text += "\n… és még " + std::to_string(result.Dropped.size() - listed);
  return text;
}
