// Any bytes as a WAV file (every kind the reader knows: PCM, extensible,
// float, IMA and MS ADPCM, MPEG layer 3): open, the length queries, a full
// pass, a seek to the middle and a second pass.

#include "FuzzSupport.h"
#include "audio/core/TStream.h"
#include "audio/decoders/TWaveIn.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietLibav();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream stream(std::vector<uint8_t>(data, data + size));
  auto in = MakeComponent<TWaveIn>();
  in->SetStream(&stream);
  if (!in->Valid()) return 0;

  const uint32_t bits = in->BitsPerSample(), channels = in->Channels();
  FUZZ_CHECK(channels > 0 && in->SampleRate() > 0);
  FUZZ_CHECK(bits == 8 || bits == 16 || bits == 24 || bits == 32);
  const uint32_t frame = channels * bits / 8;
  FUZZ_CHECK(in->TotalTime() >= 0);
  const int64_t frames = in->TotalSamples();
  const int64_t declared = in->Size.load();

  // Block sizes vary with the input, so odd pulls get their share.
  const uint32_t pull = 1 + uint32_t(size * 2654435761u % 20000);
  const uint64_t first = PullRun(*in, pull, frame);
  if (declared > 0) FUZZ_CHECK(first <= uint64_t(declared));

  if (frames > 1 && in->Seek(frames / 2)) {
    const uint64_t second = PullRun(*in, 4096, frame);
    if (declared > 0) FUZZ_CHECK(second <= uint64_t(declared));
  }
  return 0;
}
