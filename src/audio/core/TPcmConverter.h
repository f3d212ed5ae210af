#pragma once
// Converts interleaved integer PCM (8/16/24/32 bits) between formats:
// channels, bits per sample and sample rate, through libswresample.
// Channels are mapped without level loss: mono is copied to every output
// channel, several channels down to mono are averaged, otherwise channel i
// goes to channel i (extra output channels take the last input channel).
// Partial input frames are carried over to the next call. Not thread-safe.

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/core/TPcmFormat.h"

struct SwrContext;

class TPcmConverter {
 public:
  // Raises EAuException when either format is not playable or libswresample
  // cannot be set up.
  TPcmConverter(const TPcmFormat& In, const TPcmFormat& Out);
  ~TPcmConverter();
  TPcmConverter(const TPcmConverter&) = delete;
  TPcmConverter& operator=(const TPcmConverter&) = delete;

  // Converts Bytes bytes of input and appends the result to Output.
  void Convert(const uint8_t* Data, size_t Bytes, std::vector<uint8_t>& Output);
  // Appends what the resampler still holds; call once at the end of the input.
  void Drain(std::vector<uint8_t>& Output);

  // Output bytes that InBytes bytes of input become (rounded to whole frames).
  int64_t OutputBytesFor(int64_t InBytes) const;

  const TPcmFormat& InFormat() const { return FIn; }
  const TPcmFormat& OutFormat() const { return FOut; }

 private:
  void Run(const uint8_t* const* InPlanes, int InFrames, std::vector<uint8_t>& Output);

  TPcmFormat FIn;
  TPcmFormat FOut;
  SwrContext* Swr = nullptr;
  std::vector<uint8_t> Carry;      // partial input frame
  std::vector<uint8_t> Unpacked;   // 24-bit input widened to 32 bits
  std::vector<uint8_t> Converted;  // resampler output before 24-bit packing
};
