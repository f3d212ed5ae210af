#pragma once
// Media files shared by the media-reader tests, made once per test program
// in a temporary folder: MP3s from libmp3lame (or the stand-in codec), PCM
// WAVs read through libavformat, and files the reader must refuse.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/core/TAuInput.h"

struct TMediaTestFiles {
  std::string StereoMp3;      // 2 s, 44100 Hz, tones, with artist/title/... tags
  std::string MonoMp3;        // 1 s, 22050 Hz, one channel
  std::string StereoThenMonoMp3;  // 0.5 s stereo frames, then 0.5 s mono frames (no Xing header)
  std::string HalfSilentMp3;  // 1 s tone then 1 s silence, 44100 Hz stereo
  std::string RampWav;        // mono 16 bits 44100 Hz, 2 s, sample i holds i % 30000
  std::string OddLengthWav;   // mono 16 bits 44100 Hz, 44276 frames (1.004 s)
  std::string Surround51Wav;  // 6 channels, 48000 Hz, 0.5 s
  std::string Surround71Wav;  // 8 channels, 48000 Hz, 0.5 s
  std::string JunkThenWav;    // 30 zero bytes, then RampWav's bytes
  std::string TruncatedMp3;   // the first 40 % of StereoMp3
  std::string OversizedTagMp3;  // an ID3v2 header claiming 256 MB, then StereoMp3
  std::string GarbageFile;    // pseudo-random bytes
  std::string SubtitleFile;   // a media file without audio (SubRip text)
  std::string EmptyFile;      // zero bytes
  std::string NoSuchFile;     // a path that does not exist

  static const TMediaTestFiles& Get();
  static std::vector<uint8_t> ReadBytes(const std::string& path);
};

// One run: Init, GetData in blocks of at most Block bytes until 0, Flush.
std::vector<uint8_t> ReadWholeRun(TAuInput& input, uint32_t block);
