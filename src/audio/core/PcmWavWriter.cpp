#include "audio/core/PcmWavWriter.h"

#include <cstring>
#include <limits>

#include "audio/core/EAuException.h"
#include "audio/core/TAuFileStream.h"

namespace {
constexpr uint16_t PlainTag = 1;
constexpr uint16_t ExtensibleTag = 0xFFFE;
constexpr uint16_t ExtensibleExtraBytes = 22;
// The PCM sub-format identifier as stored (little-endian fields).
constexpr uint8_t PcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                      0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

void Put16(uint8_t* At, uint32_t Value) {
  At[0] = static_cast<uint8_t>(Value);
  At[1] = static_cast<uint8_t>(Value >> 8);
}

void Put32(uint8_t* At, uint32_t Value) {
  for (int i = 0; i < 4; ++i) At[i] = static_cast<uint8_t>(Value >> (8 * i));
}

uint32_t FmtBytes(const TWavFmtForm& Form) { return Form.Extensible ? 16 + 2 + ExtensibleExtraBytes : 16; }

// RIFF header, "fmt " chunk and "data" chunk header.
uint32_t HeaderBytes(const TWavFmtForm& Form) { return 12 + 8 + FmtBytes(Form) + 8; }

// The RIFF size field must hold the header (less its first 8 bytes) plus the
// padded data.
uint64_t MaxData(const TWavFmtForm& Form) { return std::numeric_limits<uint32_t>::max() - HeaderBytes(Form); }

void CheckPlayable(const TPcmFormat& Format, const TWavFmtForm& Form) {
  if (!Format.IsPlayable() || (Form.Extensible && Form.ValidBitsPerSample > Format.BitsPerSample))
    throw EAuException("Unsupported PCM format");
}

// The header for DataBytes bytes of PCM.
std::vector<uint8_t> MakeHeader(const TPcmFormat& Format, const TWavFmtForm& Form, uint32_t DataBytes) {
  std::vector<uint8_t> h(HeaderBytes(Form));
  const uint32_t padded = DataBytes + (DataBytes & 1u);
  const uint32_t fmtBytes = FmtBytes(Form);
  std::memcpy(h.data(), "RIFF", 4);
  Put32(&h[4], HeaderBytes(Form) - 8 + padded);
  std::memcpy(&h[8], "WAVEfmt ", 8);
  Put32(&h[16], fmtBytes);
  Put16(&h[20], Form.Extensible ? ExtensibleTag : PlainTag);
  Put16(&h[22], Format.Channels);
  Put32(&h[24], Format.SampleRate);
  Put32(&h[28], Format.SampleRate * Format.FrameSize());
  Put16(&h[32], Format.FrameSize());
  Put16(&h[34], Format.BitsPerSample);
  if (Form.Extensible) {
    Put16(&h[36], ExtensibleExtraBytes);
    Put16(&h[38], Form.ValidBitsPerSample);
    Put32(&h[40], Form.ChannelMask);
    std::memcpy(&h[44], PcmSubFormat, sizeof PcmSubFormat);
  }
  const uint32_t data = 20 + fmtBytes;
  std::memcpy(&h[data], "data", 4);
  Put32(&h[data + 4], DataBytes);
  return h;
}
}  // namespace

PcmWavWriter::PcmWavWriter() = default;

PcmWavWriter::~PcmWavWriter() {
  if (!File) return;
  try {
    Close();
  } catch (...) {
  }
}

void PcmWavWriter::Open(const std::string& FileName, const TPcmFormat& Format, const TWavFmtForm& Form) {
  CheckPlayable(Format, Form);
  File.reset();
  File = std::make_unique<TAuFileStream>(FileName, fmCreate);
  FFormat = Format;
  FForm = Form;
  FDataBytes = 0;
  const auto header = MakeHeader(Format, Form, 0);
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
  if (FDataBytes > MaxData(FForm)) throw EAuException("Too much data for a WAV file " + file->FileName());
  const auto dataBytes = static_cast<uint32_t>(FDataBytes);
  if (dataBytes & 1u) {
    const uint8_t pad = 0;
    if (!file->WriteExact(&pad, 1)) throw EAuException("Cannot write file " + file->FileName());
  }
  const auto header = MakeHeader(FFormat, FForm, dataBytes);
  if (file->Seek(0, soBeginning) != 0 || !file->WriteExact(header.data(), static_cast<int64_t>(header.size())))
    throw EAuException("Cannot write file " + file->FileName());
}

void PcmWavWriter::WriteFile(const std::string& FileName, const TPcmFormat& Format, const uint8_t* Data, size_t Bytes,
                             const TWavFmtForm& Form) {
  PcmWavWriter writer;
  writer.Open(FileName, Format, Form);
  writer.Write(Data, Bytes);
  writer.Close();
}

std::vector<uint8_t> PcmWavWriter::Image(const TPcmFormat& Format, const uint8_t* Data, size_t Bytes,
                                         const TWavFmtForm& Form) {
  CheckPlayable(Format, Form);
  if (Bytes > MaxData(Form)) throw EAuException("Too much data for a WAV file");
  auto image = MakeHeader(Format, Form, static_cast<uint32_t>(Bytes));
  if (Bytes) image.insert(image.end(), Data, Data + Bytes);
  if (Bytes & 1u) image.push_back(0);
  return image;
}

std::vector<uint8_t> PcmWavWriter::Header(const TPcmFormat& Format, uint64_t DataBytes, const TWavFmtForm& Form) {
  CheckPlayable(Format, Form);
  if (DataBytes > MaxData(Form)) throw EAuException("Too much data for a WAV file");
  return MakeHeader(Format, Form, static_cast<uint32_t>(DataBytes));
}
