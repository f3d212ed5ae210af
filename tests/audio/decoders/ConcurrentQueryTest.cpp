// The GUI thread asks a clip reader for its validity, length and format while
// the output's worker pulls a run from the very same reader: the queries must
// keep answering what the file is, and the run must deliver exactly what it
// delivers alone (run under ThreadSanitizer this also checks for races).

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/decoders/ClipReader.h"
#include "audio/decoders/MediaTestFiles.h"
#include "support/AvCodecAudio.h"
#include "support/WavBuilder.h"

namespace {

struct TQueryCase {
  const char* Name;
  std::string (*MakeFile)();
};

std::string KeptFile(const TBytes& bytes, const char* suffix) {
  static std::vector<std::unique_ptr<TTempFile>> kept;
  kept.push_back(std::make_unique<TTempFile>(bytes, suffix));
  return kept.back()->Path();
}

std::string PcmWav() {
  TFmtFields f;
  f.Channels = 2;
  f.SampleRate = 22050;
  return KeptFile(MakeWav(f, Int16Bytes(TestSignal(22050 * 2, 2, 31))), ".wav");
}

std::string ImaWav() {
  auto e = EncodeAdpcm("adpcm_ima_wav", TestSignal(22050 * 2, 1, 32), 1, 22050, 256);
  return e ? KeptFile(MakeAdpcmWav("adpcm_ima_wav", *e, 1, 22050), ".wav") : std::string();
}

std::string Mp3() { return TMediaTestFiles::Get().StereoMp3; }

class ConcurrentQueries : public ::testing::TestWithParam<TQueryCase> {};

}  // namespace

TEST_P(ConcurrentQueries, AnswerTheSameWhileTheWorkerPullsTheSameReader) {
  const std::string path = GetParam().MakeFile();
  if (path.empty()) GTEST_SKIP() << "libavcodec cannot make this file here";
  const std::vector<uint8_t> alone = ReadWholeRun(*CreateClipReader(path), 3000);
  ASSERT_FALSE(alone.empty());

  auto reader = CreateClipReader(path);
  ASSERT_TRUE(reader->Valid());
  const int32_t seconds = reader->TotalTime();
  const uint32_t channels = reader->Channels(), rate = reader->SampleRate(), bits = reader->BitsPerSample();

  std::vector<uint8_t> pulled;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    pulled = ReadWholeRun(*reader, 3000);
    done.store(true);
  });
  int asked = 0;
  while (!done.load() || asked < 50) {
    ASSERT_TRUE(reader->Valid());
    ASSERT_EQ(reader->TotalTime(), seconds);
    ASSERT_EQ(reader->Channels(), channels);
    ASSERT_EQ(reader->SampleRate(), rate);
    ASSERT_EQ(reader->BitsPerSample(), bits);
    ++asked;
  }
  worker.join();
  EXPECT_EQ(pulled.size(), alone.size());
  EXPECT_TRUE(pulled == alone);
}

INSTANTIATE_TEST_SUITE_P(Readers, ConcurrentQueries,
                         ::testing::Values(TQueryCase{"PcmWav", PcmWav}, TQueryCase{"ImaWav", ImaWav},
                                           TQueryCase{"Mp3", Mp3}),
                         [](const auto& info) { return std::string(info.param.Name); });
