// The GUI thread changes the file of a reader whose run the output's worker
// is pulling: the pull in progress finishes with the old file, the block it
// handed out stays readable, and the run ends at its next pull. Run under
// ThreadSanitizer and AddressSanitizer this also checks that no stream or
// decoder buffer is freed or rewritten under the worker.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/decoders/MediaTestFiles.h"
#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"
#include "support/WavBuilder.h"

namespace {

struct TChangeCase {
  const char* Name;
  bool Media;  // TMP3In, else TWaveIn
  int Changes;  // file changes made while runs pull
};

class SourceChange : public ::testing::TestWithParam<TChangeCase> {
 protected:
  void SetUp() override {
    if (GetParam().Media) {
      First = TMediaTestFiles::Get().StereoMp3;
      Second = TMediaTestFiles::Get().HalfSilentMp3;
    } else {
      TFmtFields f;
      f.Channels = 2;
      f.SampleRate = 22050;
      FirstFile = std::make_unique<TTempFile>(MakeWav(f, Int16Bytes(TestSignal(22050, 2, 41))));
      SecondFile = std::make_unique<TTempFile>(MakeWav(f, Int16Bytes(TestSignal(11025, 2, 42))));
      First = FirstFile->Path();
      Second = SecondFile->Path();
    }
  }

  TComponentPtr<TAuFileIn> NewReader(const std::string& Path) const {
    TComponentPtr<TAuFileIn> reader;
    if (GetParam().Media) {
      reader.reset(new TMP3In());
    } else {
      reader.reset(new TWaveIn());
    }
    reader->SetFileName(Path);
    return reader;
  }

  std::vector<uint8_t> Alone(const std::string& Path) const { return ReadWholeRun(*NewReader(Path), 3000); }

  std::string First, Second;
  std::unique_ptr<TTempFile> FirstFile, SecondFile;
};

bool IsPrefix(const std::vector<uint8_t>& Part, const std::vector<uint8_t>& Whole) {
  return Part.size() <= Whole.size() && std::equal(Part.begin(), Part.end(), Whole.begin());
}

}  // namespace

TEST_P(SourceChange, TheLastBlockStaysReadableAndTheRunEndsAtItsNextPull) {
  const std::vector<uint8_t> second = Alone(Second);
  ASSERT_FALSE(second.empty());
  auto reader = NewReader(First);
  reader->Init();
  const uint8_t* block = nullptr;
  uint32_t bytes = 3000;
  reader->GetData(block, bytes);
  ASSERT_GT(bytes, 0u);
  const std::vector<uint8_t> copy(block, block + bytes);

  reader->SetFileName(Second);
  ASSERT_TRUE(reader->Valid());  // opens the new file before the run is over
  // The consumer copies the block after the pull: it must still be there.
  EXPECT_TRUE(std::equal(copy.begin(), copy.end(), block));
  bytes = 3000;
  reader->GetData(block, bytes);
  EXPECT_EQ(bytes, 0u);
  reader->Flush();
  EXPECT_TRUE(ReadWholeRun(*reader, 3000) == second);
}

TEST_P(SourceChange, FileNameChangedRepeatedlyWhileRunsPull) {
  const std::vector<uint8_t> first = Alone(First), second = Alone(Second);
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  auto reader = NewReader(First);
  std::atomic<bool> stop{false};
  std::atomic<int> runs{0}, torn{0};
  std::thread worker([&] {
    while (!stop.load()) {
      const std::vector<uint8_t> got = ReadWholeRun(*reader, 1000);
      if (!IsPrefix(got, first) && !IsPrefix(got, second)) ++torn;
      ++runs;
    }
  });
  for (int i = 0; i < GetParam().Changes || runs.load() < 3; ++i) {
    reader->SetFileName(i % 2 ? First : Second);
    if (i % 5 == 0) (void)reader->Valid();
    if (i % 7 == 0) (void)reader->TotalSamples();
  }
  stop.store(true);
  worker.join();
  EXPECT_EQ(torn, 0);
}

INSTANTIATE_TEST_SUITE_P(Readers, SourceChange,
                         ::testing::Values(TChangeCase{"Wave", false, 2000}, TChangeCase{"Media", true, 200}),
                         [](const auto& info) { return std::string(info.param.Name); });
