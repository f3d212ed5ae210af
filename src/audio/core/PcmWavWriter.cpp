#include "audio/core/PcmWavWriter.h"

#include <cstring>
#include <limits>

#include "audio/core/EAuException.h"
#include "audio/core/TAuFileStream.h"

namespace {
constexpr uint32_t HeaderBytes = 44;

void Put16(uint8_t* At, uint32_t Value) {
  At[0] = static_cast<uint8_t>(Value);
  At[1] = static_cast<uint8_t>(Value >> 8);
}

void Put32(uint8_t* At, uint32_t Value) {
  for (int i = 0; i < 4; ++i) At[i] = static_cast<uint8_t>(Value >> (8 * i));
}

// Canonical 44-byte header for DataBytes bytes of PCM.
std::vector<uint8_t> Header(const TPcmFormat& Format, uint32_t DataBytes) {
  std::vector<uint8_t> h(HeaderBytes);
  const uint32_t padded = DataBytes + (DataBytes & 1u);
  std::memcpy(h.data(), "RIFF", 4);
  Put32(&h[4], 36 + padded);
  std::memcpy(&h[8], "WAVEfmt ", 8);
  Put32(&h[16], 16);
  Put16(&h[20], 1);
  Put16(&h[22], Format.Channels);
  Put32(&h[24], Format.SampleRate);
  Put32(&h[28], Format.SampleRate * Format.FrameSize());
  Put16(&h[32], Format.FrameSize());
  Put16(&h[34], Format.BitsPerSample);
  std::memcpy(&h[36], "data", 4);
  Put32(&h[40], DataBytes);
  return h;
}

constexpr uint64_t MaxData = std::numeric_limits<uint32_t>::max() - HeaderBytes;
}  // namespace

PcmWavWriter::PcmWavWriter() = default;

PcmWavWriter::~PcmWavWriter() {
  if (!File) return;
  try {
    Close();
  } catch (...) {
  }
}

void PcmWavWriter::Open(const std::string& FileName, const TPcmFormat& Format) {
  if (!Format.IsPlayable()) throw EAuException("Unsupported PCM format");
  File.reset();
  File = std::make_unique<TAuFileStream>(FileName, fmCreate);
  FFormat = Format;
  FDataBytes = 0;
  const auto header = Header(Format, 0);
  if (!File->WriteExact(header.data(), static_cast<int64_t>(header.size()))) {
    File.reset();
    throw EAuException("Cannot write file " + FileName);
  }
}

void PcmWavWriter::Write(const uint8_t* Data, size_t Bytes) {
  if (!File) throw EAuException("The file is not open");
  if (Bytes == 0) return;
  if (!File->WriteExact(Data, static_cast<int64_t>(Bytes))) throw EAuException("Cannot write file " + File->FileName());
  FDataBytes += Bytes;
}

void PcmWavWriter::Close() {
  if (!File) return;
  std::unique_ptr<TAuFileStream> file = std::move(File);
  if (FDataBytes > MaxData) throw EAuException("Too much data for a WAV file " + file->FileName());
  const auto dataBytes = static_cast<uint32_t>(FDataBytes);
  if (dataBytes & 1u) {
    const uint8_t pad = 0;
    if (!file->WriteExact(&pad, 1)) throw EAuException("Cannot write file " + file->FileName());
  }
  const auto header = Header(FFormat, dataBytes);
  if (file->Seek(0, soBeginning) != 0 || !file->WriteExact(header.data(), static_cast<int64_t>(header.size())))
    throw EAuException("Cannot write file " + file->FileName());
}

void PcmWavWriter::WriteFile(const std::string& FileName, const TPcmFormat& Format, const uint8_t* Data,
                             size_t Bytes) {
  PcmWavWriter writer;
  writer.Open(FileName, Format);
  writer.Write(Data, Bytes);
  writer.Close();
}

std::vector<uint8_t> PcmWavWriter::Image(const TPcmFormat& Format, const uint8_t* Data, size_t Bytes) {
  if (!Format.IsPlayable()) throw EAuException("Unsupported PCM format");
  if (Bytes > MaxData) throw EAuException("Too much data for a WAV file");
  auto image = Header(Format, static_cast<uint32_t>(Bytes));
  if (Bytes) image.insert(image.end(), Data, Data + Bytes);
  if (Bytes & 1u) image.push_back(0);
  return image;
}
