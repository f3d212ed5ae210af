#pragma once
// Makes compressed test files with libavformat/libavcodec, and decodes files
// directly with libavcodec as the reference the media reader is compared to.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TEncodeRequest {
  std::string Codec = "libmp3lame";  // encoder name
  std::string Container = "mp3";     // muxer name
  int Channels = 2;
  int SampleRate = 44100;
  int64_t BitRate = 128000;
  std::map<std::string, std::string> Metadata;  // container tags ("artist", "title", ...)
  std::map<std::string, std::string> MuxerOptions;  // e.g. {"write_xing", "0"}
};

// Encodes interleaved 16-bit PCM into Path. False (with the reason in *Why)
// when the encoder or muxer is missing or fails.
bool EncodeAudioFile(const std::string& Path, const std::vector<int16_t>& Pcm, const TEncodeRequest& Request,
                     std::string* Why = nullptr);

// An MP3 file made by libmp3lame. Where that encoder is missing, MPEG audio
// layer 2 (encoded and decoded by libavcodec itself) stands in; the reason is
// printed once.
bool EncodeMp3File(const std::string& Path, const std::vector<int16_t>& Pcm, int Channels, int SampleRate,
                   const std::map<std::string, std::string>& Metadata = {});

// Sine tones, one frequency per channel (base Hz + 220 Hz per channel).
std::vector<int16_t> ToneSignal(int Channels, int SampleRate, double Seconds, double BaseHz = 440.0,
                                double Amplitude = 0.5);

struct TReferenceDecode {
  bool Ok = false;
  int Channels = 0;
  int SampleRate = 0;
  std::vector<uint8_t> Pcm;  // interleaved, little-endian
};

// Decodes the first audio stream of Path with libavcodec (the stream's time
// base given to the decoder) and converts it with libswresample to
// interleaved 8-, 16- or 32-bit PCM in the stream's own channels and rate.
TReferenceDecode DecodeWithLibav(const std::string& Path, int BitsPerSample);
