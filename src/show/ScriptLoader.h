#pragma once
// Loading a script into the composition store, as the window's load does:
// every item line's clip is looked up in the clip folder and measured with
// one of two readers (".wav" in any letter case by the WAV reader, every
// other name by the media-format reader); a line whose clip is missing or
// not readable by its reader is dropped without a message; items are
// numbered 1..n in the order kept.
//
// GUI thread (the store's thread). The readers are left holding the last clip
// of their kind that was examined.

#include <filesystem>
#include <string>

class TAuFileIn;
class TCompositionStore;

// Opens the clip at `path` with `reader` and answers whether it is readable;
// `seconds` is then its length in whole seconds.
[[nodiscard]] bool MeasureClip(TAuFileIn& reader, const std::filesystem::path& path, int32_t& seconds);

struct TScriptLoadResult {
  enum TStatus {
    Loaded,      // the whole file was read
    OpenFailed,  // the file could not be opened; the store is untouched
    ReadFailed,  // a read error stopped the load; the store holds what was read before it
  };
  TStatus Status = Loaded;
  std::string Message;  // the reason for OpenFailed and ReadFailed (file name and system error)
  int Compositions = 0;
  int ItemsKept = 0;
  int ItemsDropped = 0;
};

// Replaces the store's content with the script at `path`. The store is
// cleared only once the file is open. On return the store's AktGyoker is the
// last composition read (the root when none).
[[nodiscard]] TScriptLoadResult LoadScriptIntoStore(const std::filesystem::path& path, TCompositionStore& store,
                                                   TAuFileIn& wavReader, TAuFileIn& mediaReader);
