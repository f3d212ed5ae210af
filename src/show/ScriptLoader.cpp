#include "show/ScriptLoader.h"

#include <exception>
#include <optional>

#include "audio/core/TAuFileIn.h"
#include "audio/decoders/ClipReader.h"
#include "model/EFileError.h"
#include "model/TCompositionStore.h"
#include "model/TScriptReader.h"
#include "show/ClipPath.h"

bool MeasureClip(TAuFileIn& reader, const std::filesystem::path& path, int32_t& seconds) {
  reader.SetFileName(path.string());
  if (!reader.Valid()) return false;
  seconds = reader.TotalTime();
  return true;
}

TScriptLoadResult LoadScriptIntoStore(const std::filesystem::path& path, TCompositionStore& store,
                                      TAuFileIn& wavReader, TAuFileIn& mediaReader) {
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
      const std::filesystem::path clip = ClipPath(line.FileName);
      int32_t seconds = 0;
      if (!ClipExists(clip) || !MeasureClip(IsWavName(line.FileName) ? wavReader : mediaReader, clip, seconds)) {
        ++result.ItemsDropped;
        continue;
      }
      store.ElemHozzaadas(store.AktGyoker, line.FileName, seconds, line.Pause);
      ++result.ItemsKept;
    }
  } catch (const std::exception& e) {
    result.Status = TScriptLoadResult::ReadFailed;
    result.Message = e.what();
  }
  return result;
}
