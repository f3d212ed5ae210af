#pragma once
// File input for RIFF WAVE files. Delivers:
//   - PCM as stored (tag 1, and WAVE_FORMAT_EXTENSIBLE with the PCM GUID);
//   - IMA ADPCM (0x11) and Microsoft ADPCM (2), decoded block by block to 16 bits;
//   - IEEE float (3, and extensible with the float GUID), 32 or 64 bits, as
//     32-bit integer PCM;
//   - MPEG layer 3 in WAV (0x55), converted as a whole at open through
//     TWaveConverter and then read as PCM.
// Any other file opens with Valid false.
//
// Differences from the TAuFileIn contract:
//   - Every count and size in the header is checked before use: a format the
//     decoders cannot hold or the pipeline does not play (no channels or more
//     than 255, a rate outside 1 kHz .. 384 kHz, bits not a multiple of 8 in
//     the output, ADPCM blocks larger than the output buffer or whose samples
//     per block do not fit them, a bad coefficient table) opens with Valid
//     false. A data chunk that claims more than the file holds plays what is
//     there, and Size is cut to it and to whole frames. ADPCM without a usable
//     fact count takes its length from the blocks present.
//   - SeekToSample succeeds for plain PCM and both ADPCM kinds only; ADPCM
//     lands on the start of the block holding the frame.
//   - A failed MPEG layer 3 conversion leaves the reader closed (OpenCount 0).
//
// Threads: OpenFile/CloseFile take OpenLock (GUI thread or worker);
// GetDataBlock and SeekToSample run with DataLock held (worker). No lock of
// its own. Blocks point into OutBuffer, which a close (SetFileName during a
// run) does not free or overwrite.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "audio/core/TAuFileIn.h"
#include "audio/core/TStream.h"
#include "audio/decoders/ImaAdpcm.h"
#include "audio/decoders/MsAdpcm.h"
#include "audio/decoders/WaveHeader.h"

class TWaveIn : public TAuFileIn {
 public:
  explicit TWaveIn(TComponent* AOwner = nullptr);
  ~TWaveIn() override;

  void OpenFile() override;
  void CloseFile() override;
  bool SeekToSample(int64_t& SampleNum) override;

  // Sub-format of the open file (wkUnsupported before the first open).
  TWaveKind WaveKind() const { return FWaveKind; }

 protected:
  void GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) override;

 private:
  void ParseAndPlan(TStream& source, int64_t scanStart);
  // Checks the header's plan and takes its format, Size and data bounds.
  void ApplyPlan(const TWaveHeader& h, int64_t scanStart, std::optional<uint64_t> available);
  bool ConvertCodecManager();
  uint32_t ReadSource(uint8_t* dst, uint32_t wanted);
  uint32_t RefillPcm(uint32_t frameBytes);
  uint32_t RefillFloat();
  uint32_t RefillIma();
  uint32_t RefillMs();
  // The next ADPCM block (zero-completed when the data ends inside it), or
  // null at the end; valid until the next call.
  const uint8_t* ReadBlock(uint32_t blockBytes);

  alignas(8) std::array<uint8_t, kWaveOutBufferBytes> OutBuffer{};
  TWaveKind FWaveKind = wkUnsupported;

  uint16_t ImaBlockAlign = 0;
  uint16_t ImaSamplesPerBlock = 0;
  uint32_t ImaSampleCount = 0;
  TImaChannel ImaState[2];  // per channel (left, right): predictor and step index

  uint16_t BlockAlign = 0;
  uint16_t SamplesPerBlock = 0;
  uint32_t SampleCount = 0;
  uint16_t CoefCount = 0;
  std::array<TMsCoefPair, kMsMaxCoefs> Coefs{};
  TMsChannel MsState[2];  // per channel (left, right): predictor, delta, sample1, sample2
  uint32_t MsNibbleBytes = 0;  // data bytes of one block that carry nibbles

  int64_t DataOffset = 0;  // source offset of the first data byte
  int64_t DataEnd = 0;     // source offset just past the last data byte read
  int64_t ReadPos = 0;     // source offset of the next byte read
  uint32_t SourceFrameBytes = 0;  // PCM and float: bytes of one frame in the file
  std::vector<uint8_t> BlockBuffer;  // one ADPCM block, when the data ends inside it
  static constexpr uint32_t kAheadBytes = 65536;
  std::vector<uint8_t> Ahead;        // ADPCM: data read ahead of the blocks decoded
  uint32_t AheadRead = 0;            // next unread byte in Ahead
  uint32_t AheadEnd = 0;             // bytes in Ahead

  std::unique_ptr<TMemoryStream> ConvertedStream;  // MPEG layer 3: the converted PCM, read as the data
  TStream* SourceStream = nullptr;                 // the file's stream, set aside meanwhile
  bool SourceStreamAssigned = false;
  bool SingleFloat = false;
};
