#pragma once
// TMP3In: the media-format input under the name the program uses for MP3
// clips (and for every clip that is not ".wav"). Same behaviour as TWMIn.

#include "audio/decoders/TWMIn.h"

class TMP3In : public TWMIn {
 public:
  using TWMIn::TWMIn;
};
