#pragma once
// Chooses the file input for a clip by its file name extension.

#include <string>

#include "audio/core/TAuFileIn.h"
#include "audio/core/TComponent.h"

// A new, unowned reader with FileName set: ".wav" (any letter case) gives a
// TWaveIn, every other name the media-format reader. Opens nothing; call
// Valid() to check the file. message is kept for readers that may refuse a
// name outright (none does now).
TComponentPtr<TAuFileIn> CreateClipReader(const std::string& path, std::string* message = nullptr);
