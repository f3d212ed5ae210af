#pragma once
// MPEG audio layer III frame headers, as the MP3-in-WAV converter walks them
// and as the media reader samples a file to tell a constant bit rate.

#include <cstddef>
#include <cstdint>

struct TMp3Frame {
  uint32_t Bytes = 0;    // the whole frame, header included
  uint32_t Samples = 0;  // per channel
  uint32_t SampleRate = 0;
  uint32_t Channels = 0;
  uint32_t BitRate = 0;  // bits per second
};

// Reads a layer III frame header at p (4 bytes). Free-format and reserved
// values are refused.
bool ReadMp3FrameHeader(const uint8_t* p, TMp3Frame& f);

// The offset in buf of the first frame header that a second one of the same
// rate and channel count follows right after; -1 when there is none (a lone
// 0xFF byte pair in the audio data is no frame).
ptrdiff_t FindMp3Frame(const uint8_t* buf, size_t bytes, TMp3Frame& f);

// Bytes an ID3v2 tag takes at the start of a file, given its first 10 bytes
// (header and, when flagged, footer); 0 when there is none.
uint32_t Id3v2TagBytes(const uint8_t* head, size_t bytes);
