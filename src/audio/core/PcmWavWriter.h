#pragma once
// Writes a PCM WAV file (RIFF, "fmt ", "data") from a format and PCM bytes.
// The "fmt " chunk takes the plain form (tag 1, 16 bytes) unless the caller
// asks for the extensible one (tag 0xFFFE, 40 bytes, PCM sub-format), which
// carries a speaker mask and the valid bits: what a device given more than
// two channels or more than 16 bits is handed. The sizes in the header are
// patched on Close, so the data may be written in pieces. Data beyond
// 4 GiB - header is not representable and makes Close fail.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/core/PcmFormat.h"

class TAuFileStream;

// How the "fmt " chunk describes the PCM. The default is the plain form.
struct TWavFmtForm {
  bool Extensible = false;
  uint16_t ValidBitsPerSample = 0;  // extensible only; at most BitsPerSample
  uint32_t ChannelMask = 0;         // extensible only; 0 assigns no speakers
  bool operator==(const TWavFmtForm&) const = default;
};

class PcmWavWriter {
 public:
  PcmWavWriter();
  ~PcmWavWriter();  // closes (ignoring errors) when still open

  // Creates or truncates FileName and writes the header. Raises EAuException
  // when the file cannot be created or the format (or form) is not playable.
  void Open(const std::string& FileName, const TPcmFormat& Format, const TWavFmtForm& Form = {});
  // Appends PCM bytes; raises EAuException on a write error.
  void Write(const uint8_t* Data, size_t Bytes);
  // Patches the RIFF and data sizes, pads an odd data chunk, closes the file.
  void Close();
  bool IsOpen() const { return static_cast<bool>(File); }
  uint64_t DataBytes() const { return FDataBytes; }

  // Whole file in one call.
  static void WriteFile(const std::string& FileName, const TPcmFormat& Format, const uint8_t* Data, size_t Bytes,
                        const TWavFmtForm& Form = {});
  // The RIFF, "fmt " and "data" headers for DataBytes bytes of PCM, for a
  // file written elsewhere: the data follow, then a zero byte when their
  // count is odd. Raises EAuException as Open and Close do.
  static std::vector<uint8_t> Header(const TPcmFormat& Format, uint64_t DataBytes, const TWavFmtForm& Form = {});
  // The complete file image in memory.
  static std::vector<uint8_t> Image(const TPcmFormat& Format, const uint8_t* Data, size_t Bytes,
                                    const TWavFmtForm& Form = {});

 private:
  std::unique_ptr<TAuFileStream> File;
  TPcmFormat FFormat;
  TWavFmtForm FForm;
  uint64_t FDataBytes = 0;
};
