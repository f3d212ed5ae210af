#pragma once
// Small helpers shared by the WAV reader tests.

#include <cstdint>
#include <vector>

#include "audio/core/TStream.h"
#include "audio/decoders/TWaveIn.h"
#include "support/WavBuilder.h"

// Runs one pass over the input, pulling at most pull bytes per call.
inline TBytes PullAll(TAuInput& input, uint32_t pull) {
  TBytes out;
  input.Init();
  for (;;) {
    const uint8_t* block = nullptr;
    uint32_t bytes = pull;
    input.GetData(block, bytes);
    if (bytes == 0) break;
    out.insert(out.end(), block, block + bytes);
  }
  input.Flush();
  return out;
}

// A TWaveIn reading a file image from memory.
struct TMemoryWave {
  explicit TMemoryWave(const TBytes& image) : Stream(image), In(MakeComponent<TWaveIn>()) { In->SetStream(&Stream); }
  TMemoryStream Stream;
  TComponentPtr<TWaveIn> In;
};
