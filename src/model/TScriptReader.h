#pragma once
// Reads a script file line by line and classifies each line (see
// ScriptFormat.h), keeping track of whether a composition is open.
//
// Line ends: CR LF, LF and CR alike, mixed freely, so scripts edited on
// other systems read the same; a last line without a line end counts. The
// file is read in blocks, so a read error in the middle leaves the lines
// already returned usable (the loader keeps what it has read so far).
//
// One reader per thread; not shared.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/ScriptFormat.h"

class TScriptReader {
 public:
  // Opens the script. Throws EFileError (naming the file and the system's
  // error text) when it cannot be opened or is a folder.
  explicit TScriptReader(const std::filesystem::path& path);
  ~TScriptReader();
  TScriptReader(const TScriptReader&) = delete;
  TScriptReader& operator=(const TScriptReader&) = delete;

  // The next header or item line in file order; ignored lines are skipped.
  // False at the end of the file. Throws EFileError on a read error.
  bool Next(TScriptLine& line);

  // The lines before the first header that hold a "|": they look like item
  // lines, but no composition is open, so a load ignores them. Those Next
  // has passed so far.
  struct TIgnoredItemLine {
    size_t LineNumber = 0;
    std::string Text;  // the whole line, Windows-1250
  };
  const std::vector<TIgnoredItemLine>& ItemLinesBeforeFirstHeader() const { return BeforeFirstHeader_; }

  // Every header and item line of a file, or of script bytes in memory.
  static std::vector<TScriptLine> ReadFile(const std::filesystem::path& path);
  static std::vector<TScriptLine> ReadText(std::string_view bytes);

 private:
  struct TInMemory {};
  TScriptReader(TInMemory, std::string_view bytes);
  bool NextRawLine(std::string& line);
  void Fill();

  std::filesystem::path Path_;
  int Fd_ = -1;             // -1 when reading bytes held in memory
  std::string Buffer_;
  size_t Pos_ = 0;          // start of the unread part of Buffer_
  bool Eof_ = false;
  size_t LineNumber_ = 0;
  bool CompositionOpen_ = false;
  std::string Raw_;         // the current raw line, reused between calls
  std::vector<TIgnoredItemLine> BeforeFirstHeader_;
};
