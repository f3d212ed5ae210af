#pragma once
// The verdict on one item line's clip: whether a load keeps the line and,
// if not, why, in the words "vomrella --check" prints and the window's load
// lists. The one classifier both use.
//
// In order: an empty name; a name holding a NUL byte (the system would read
// it only up to the NUL, another file); no file at the clip path (ClipPath
// under `base`); a folder or another file that is not a regular one; not
// readable by this user; not readable by its reader (".wav" in any letter
// case: the WAV reader, every other name: the media-format reader). A
// reader's exception becomes the reason; it never escapes.
//
// The thread that owns the readers (the window's GUI thread, a command's
// main thread); opens the clip.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

class TAuFileIn;

enum class TClipFound { Exact, CaseFallback, Missing };

struct TClipVerdict {
  std::filesystem::path Path;  // where the clip was looked up
  TClipFound Found = TClipFound::Missing;
  bool Wav = false;     // for the WAV reader, else for the media-format reader
  std::string Kind;     // the WAV sub-format, or "media", once a reader looked
  bool Kept = false;
  int32_t Seconds = 0;  // length in whole seconds, when kept
  std::string Reason;   // Hungarian, when not kept
};

// `base` is the folder that holds "Hangok" (the current folder when empty).
TClipVerdict CheckClip(std::string_view cp1250Name, const std::filesystem::path& base, TAuFileIn& wavReader,
                       TAuFileIn& mediaReader);
