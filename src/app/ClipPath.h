#pragma once
// Where a clip named in a composition lives: the clip folder's base (the
// process's current folder, or the script's folder for a script opened from
// the desktop, see TFrm_Main), then "Hangok", then the stored name
// (Windows-1250 bytes, any backslash read as a folder separator). When no
// file has exactly that name, a single case-insensitive match in the same
// folder is taken, so scripts made where file names ignore letter case keep
// working. The program's folder plays no part.
//
// Any thread; reads the current folder at each call when no base is given.

#include <filesystem>
#include <string>
#include <string_view>

// The clip's path as the rule gives it, with the case-insensitive fallback
// applied to each part of the name that does not exist as written. When
// nothing matches, the path as written (which does not exist). `base` is
// the folder that holds "Hangok"; empty means the current folder.
std::filesystem::path ClipPath(std::string_view cp1250Name, const std::filesystem::path& base = {});

// The path of "Hangok" itself under `base` (the current folder when empty).
std::filesystem::path ClipFolder(const std::filesystem::path& base = {});

// True when a regular file (or a link to one) exists at the clip's path;
// false for a path holding a NUL byte.
bool ClipExists(const std::filesystem::path& path);

// True when the name's extension is ".wav" in any letter case; such clips go
// to the WAV reader, every other one to the media-format reader.
bool IsWavName(std::string_view name);
