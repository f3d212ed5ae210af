// Any bytes as a compressed media file through the MP3 clip reader: open
// (with the tag set filled from the file), the length queries, a full pass,
// a seek during a second pass. Half of the inputs ask for high precision.

#include "FuzzSupport.h"
#include "audio/core/TStream.h"
#include "audio/decoders/TMP3In.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietLibav();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream stream(std::vector<uint8_t>(data, data + size));
  auto in = MakeComponent<TMP3In>();
  in->SetHighPrecision(size % 2 == 1);
  in->SetStream(&stream);
  if (!in->Valid()) return 0;

  const uint32_t bits = in->BitsPerSample(), channels = in->Channels();
  FUZZ_CHECK(channels > 0 && in->SampleRate() > 0);
  FUZZ_CHECK(bits == 8 || bits == 16 || bits == 24 || bits == 32);
  FUZZ_CHECK(in->TotalTime() >= 0);
  (void)in->TotalSamples();
  (void)in->Id3v2Tags().Title();
  (void)in->Id3v2Tags().Artist();

  // A pull may end inside a frame, so no whole-frame check here.
  const uint32_t pull = 1 + uint32_t(size * 2654435761u % 9000);
  (void)PullRun(*in, pull, 0);

  // A seek only works during a run: start one, pull a block, seek back.
  in->Init();
  const uint8_t* block = nullptr;
  uint32_t bytes = 4096;
  in->GetData(block, bytes);
  (void)in->Seek(0);
  bytes = 4096;
  in->GetData(block, bytes);
  in->Flush();
  return 0;
}
