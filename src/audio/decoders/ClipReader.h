#pragma once
// Which reader a clip gets, decided here and nowhere else: a name ending in
// ".wav" (any letter case) goes to the WAV reader (TWaveIn), every other name
// to the media-format reader (TMP3In). The program reads clips with one set
// of reader settings: no loop, to the end, and from the media reader mono
// or stereo at 16 bits (the readers' defaults, set explicitly).
//
// Any thread; the readers made are unowned and idle.

#include <string>
#include <string_view>

#include "audio/core/TAuFileIn.h"
#include "audio/core/TComponent.h"

class TMP3In;
class TWaveIn;

// True when the name's extension is ".wav" in any letter case: the clip goes
// to the WAV reader.
bool IsWavName(std::string_view name);

// The program's clip settings, for readers made elsewhere (the window owns
// one reader of each kind).
void SetClipReaderSettings(TWaveIn& reader);
void SetClipReaderSettings(TMP3In& reader);

// A new, unowned reader of the clip's kind with the clip settings and
// FileName set. Opens nothing; call Valid() to check the file. message is
// kept for readers that may refuse a name outright (none does now).
TComponentPtr<TAuFileIn> CreateClipReader(const std::string& path, std::string* message = nullptr);
