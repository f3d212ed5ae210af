#pragma once
// Turns the audio of a compressed WAV file into PCM, entirely in memory,
// through the codec layer (CodecManager.h). The stream content is the audio
// payload held: first the compressed data, after Convert the PCM data.
//
// Calling order: construct; ReadWave on the source rewound to 0; preset
// TargetFormat's tag to PCM (1) and ask CodecSuggestFormat for the rest;
// Convert; WriteWave into a fresh stream; release. A converter lives inside
// one open of a reader and has no lock of its own.

#include <cstdint>

#include "audio/core/TStream.h"
#include "audio/decoders/CodecManager.h"

class TWaveConverter : public TMemoryStream {
 public:
  TWaveConverter();

  // Loads the format and the audio payload of a WAV file. The source must
  // start with "RIFF" and have "WAVE" as form type (exact case); otherwise
  // nothing is loaded. Chunk ids are looked for at every byte position.
  void ReadWave(TStream& Source);
  // Converts the held data from SourceFormat to TargetFormat; 0 or the first
  // non-zero codec result. On failure the content and SourceFormat stay as loaded.
  uint32_t Convert();
  // Writes the held data as a 44-byte-header PCM WAV image; 0, or 286 when
  // writing failed.
  uint32_t WriteWave(TStream& Dest);

  static constexpr uint32_t kWriteFailed = 286;

  uint32_t MaxFormatBytes = 0;
  TWaveFormatRecord SourceFormat;
  TWaveFormatRecord TargetFormat;
};
