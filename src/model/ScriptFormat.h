#pragma once
// The script file's text: how the store is written as lines and how one line
// read back is classified and taken apart.
//
// Writing: Windows-1250 bytes exactly as held, every line ending in CR LF,
// no byte-order mark, header, count, blank line or comment. For each
// composition in list order a header line "[" name "]", then for each item
// with a non-empty file name an item line: file name "|" pause, the pause in
// decimal ("-" when negative, no leading zeros, no blanks). Lengths and item
// numbers are not stored; an empty store writes zero bytes.
//
// Reading one line (without its line end):
// - header: non-empty and starting with "["; the name is what lies between
//   the "[" and the last character that is not a blank or control character,
//   that last character (normally "]") excluded;
// - item: non-empty, contains "|", and a composition is open (a header came
//   before or is this very line); the file name is the text before the first
//   "|", the pause the text after it as a 32-bit signed decimal integer, 0
//   when that text is not one. A header line with a bar is an item line too.
// - anything else is ignored.
//
// Pure functions on bytes; any thread.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

class TCompositionStore;

// The whole store as script bytes.
std::string ScriptText(const TCompositionStore& store);

// Writes the store to `path` with SaveFileAtomically (an old file there is
// replaced only once the new content is safely on disk; with `keepBackup`
// the replaced content stays at BackupPath). Throws EFileError.
void SaveScript(const TCompositionStore& store, const std::filesystem::path& path, bool keepBackup = false);

struct TScriptLine {
  size_t LineNumber = 0;  // 1-based line of the file (set by TScriptReader)
  bool IsHeader = false;
  std::string Name;       // composition name, when IsHeader
  bool IsItem = false;
  std::string FileName;   // clip file name, when IsItem (may be empty)
  int32_t Pause = 0;      // milliseconds, when IsItem
};

// Classifies one line; `compositionOpen` tells whether a header was read
// before it. Any bytes are accepted.
TScriptLine ClassifyScriptLine(std::string_view line, bool compositionOpen);

// The pause field: an optional "+" or "-" followed by decimal digits and
// nothing else, within the 32-bit signed range; anything else gives 0.
int32_t ParseScriptPause(std::string_view text);
