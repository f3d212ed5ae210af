#pragma once
// Chooses the file input for a clip by its file name extension.

#include <string>

#include "audio/core/TAuFileIn.h"
#include "audio/core/TComponent.h"

// A new, unowned reader with FileName set: ".wav" (any letter case) gives a
// TWaveIn. Returns null, with the reason in *message when given, for a file
// no reader handles. Opens nothing; call Valid() to check the file.
TComponentPtr<TAuFileIn> CreateClipReader(const std::string& path, std::string* message = nullptr);
