// Any bytes through the MPEG-layer-3-in-WAV converter, in the order the WAV
// reader uses it: load, ask for a PCM format, convert, write the PCM image.
// A written image must be a WAV file the reader opens as PCM.

#include "FuzzSupport.h"
#include "audio/core/TStream.h"
#include "audio/decoders/TWaveConverter.h"
#include "audio/decoders/TWaveIn.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietLibav();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream source(std::vector<uint8_t>(data, data + size));
  TWaveConverter converter;
  converter.ReadWave(source);
  converter.TargetFormat.SetFormatTag(1);
  if (CodecSuggestFormat(converter.SourceFormat, converter.TargetFormat, kWaveFormatRecordBytes,
                         kSuggestRestrictFormatTag) != 0)
    return 0;
  if (converter.Convert() != 0) return 0;
  TMemoryStream image;
  if (converter.WriteWave(image) != 0) return 0;

  image.Seek(0, soBeginning);
  auto in = MakeComponent<TWaveIn>();
  in->SetStream(&image);
  if (converter.Size() == 0) return 0;  // no frame decoded: an empty image is all there is
  FUZZ_CHECK(in->Valid());
  FUZZ_CHECK(in->WaveKind() == wkPcm);
  const uint32_t frame = in->Channels() * in->BitsPerSample() / 8;
  FUZZ_CHECK(frame > 0);
  FUZZ_CHECK(PullRun(*in, 8192, frame) == uint64_t(converter.Size()) / frame * frame);
  return 0;
}
