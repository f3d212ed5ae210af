#pragma once
// Where a clip named in a composition lives: the process's current folder,
// then "Hangok", then the stored name (Windows-1250 bytes, any backslash
// read as a folder separator). When no file has exactly that name, a single
// case-insensitive match in the same folder is taken, so scripts made where
// file names ignore letter case keep working. The script's own folder and
// the program's folder play no part.
//
// Any thread; reads the current folder at each call.

#include <filesystem>
#include <string>
#include <string_view>

// The clip's path as the rule gives it, with the case-insensitive fallback
// applied to each part of the name that does not exist as written. When
// nothing matches, the path as written (which does not exist).
std::filesystem::path ClipPath(std::string_view cp1250Name);

// True when a regular file (or a link to one) exists at the clip's path;
// false for a path holding a NUL byte.
bool ClipExists(const std::filesystem::path& path);
