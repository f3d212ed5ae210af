#pragma once
// Writes a canonical PCM WAV file (RIFF, "fmt " with tag 1, "data") from a
// format and PCM bytes. The sizes in the header are patched on Close, so the
// data may be written in pieces. Data beyond 4 GiB - header is not
// representable and makes Close fail.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/core/PcmFormat.h"

class TAuFileStream;

class PcmWavWriter {
 public:
  PcmWavWriter();
  ~PcmWavWriter();  // closes (ignoring errors) when still open

  // Creates or truncates FileName and writes the header. Raises EAuException
  // when the file cannot be created or the format is not playable.
  void Open(const std::string& FileName, const TPcmFormat& Format);
  // Appends PCM bytes; raises EAuException on a write error.
  void Write(const uint8_t* Data, size_t Bytes);
  // Patches the RIFF and data sizes, pads an odd data chunk, closes the file.
  void Close();
  bool IsOpen() const { return static_cast<bool>(File); }
  uint64_t DataBytes() const { return FDataBytes; }

  // Whole file in one call.
  static void WriteFile(const std::string& FileName, const TPcmFormat& Format, const uint8_t* Data,
                        size_t Bytes);
  // The complete file image in memory.
  static std::vector<uint8_t> Image(const TPcmFormat& Format, const uint8_t* Data, size_t Bytes);

 private:
  std::unique_ptr<TAuFileStream> File;
  TPcmFormat FFormat;
  uint64_t FDataBytes = 0;
};
