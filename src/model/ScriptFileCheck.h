#pragma once
// Whether a file may be loaded as a script, decided before anything is read
// into a store: the one rule of the window's load and of the commands that
// read a script ("--check", "--list", "--run", "--render").
//
// Refused: a path that names nothing or cannot be reached, a folder or any
// other file that is not a regular file (a FIFO would block the reader), a
// file this user cannot read, an empty file, and a file that is no
// Windows-1250 text: a UTF-16 byte-order mark, or a NUL byte in its first
// 64 KiB (UTF-16 text, a program, a picture, a sound file).
//
// Any thread; opens the file and reads its head.

#include <filesystem>
#include <string>

// Why the file at `path` is not a script, in Hungarian; empty when it may be
// one.
std::string ScriptFileProblem(const std::filesystem::path& path);
