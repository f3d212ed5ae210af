#pragma once
// Loading a script into the composition store, as the window's load does:
// every item line's clip is looked up in the clip folder and judged by
// CheckClip (measured with the WAV reader for ".wav" in any letter case, the
// media-format reader for every other name); a line whose clip is missing or
// not readable is dropped and listed with the reason; items are numbered
// 1..n in the order kept.
//
// GUI thread (the store's thread). The readers are left holding the last clip
// of their kind that was examined.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class TAuFileIn;
class TCompositionStore;

// Opens the clip at `path` with `reader` and answers whether it is readable;
// `seconds` is then its length in whole seconds.
[[nodiscard]] bool MeasureClip(TAuFileIn& reader, const std::filesystem::path& path, int32_t& seconds);

// An item line a load did not take.
struct TDroppedLine {
  size_t Line = 0;            // 1-based line of the file
  std::string Composition;    // Windows-1250; empty for a line before the first header
  std::string FileName;       // Windows-1250, as in the script (the whole line before the first header)
  std::string Reason;         // Hungarian, CheckClip's words
  bool BeforeFirstHeader = false;
};

struct TScriptLoadResult {
  enum TStatus {
    Loaded,      // the whole file was read
    OpenFailed,  // the file could not be opened; the store is untouched
    ReadFailed,  // a read error stopped the load; the store holds what was read before it
  };
  TStatus Status = Loaded;
  std::string Message;  // the reason for OpenFailed and ReadFailed (file name and system error)
  int Compositions = 0;
  int ItemLines = 0;     // item lines read, those before the first header included
  int ItemsKept = 0;
  int ItemsDropped = 0;  // = Dropped.size()
  std::vector<TDroppedLine> Dropped;
};

// Replaces the store's content with the script at `path`, clips looked up
// under `clipBase` (the folder holding "Hangok"; the current folder when
// empty). The store is cleared only once the file is open. On return the
// store's AktGyoker is the last composition read (the root when none).
[[nodiscard]] TScriptLoadResult LoadScriptIntoStore(const std::filesystem::path& path, TCompositionStore& store,
                                                   TAuFileIn& wavReader, TAuFileIn& mediaReader,
                                                   const std::filesystem::path& clipBase = {});

// How many of the dropped item lines (those inside a composition) a load
// under `otherBase` would keep.
[[nodiscard]] int DroppedLinesKeptUnder(const TScriptLoadResult& result, const std::filesystem::path& otherBase,
                                        TAuFileIn& wavReader, TAuFileIn& mediaReader);

// The text of the box after a load that dropped lines, UTF-8: how many of
// how many item lines were dropped from `script`, then each (line,
// composition, clip name, reason), at most `listed` of them and
// "… és még N" for the rest, then the clip folder searched.
std::string DroppedLinesMessage(const TScriptLoadResult& result, const std::filesystem::path& script,
                                const std::filesystem::path& clipFolder, size_t listed = 15);
