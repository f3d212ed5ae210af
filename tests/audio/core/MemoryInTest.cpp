// The memory input: repetitions, ends, format corrections, no copying.

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

#include "CoreTestSupport.h"
#include "audio/core/TMemoryIn.h"

using namespace coretest;

namespace {

struct RepeatCase {
  int32_t RepeatCount;
  int64_t Size;      // reported Size
  bool Ends;         // the data stops after Size bytes
};

class MemoryInRepeat : public ::testing::TestWithParam<RepeatCase> {};

}  // namespace

TEST_P(MemoryInRepeat, DeliversWholeRepetitionsWithoutSpanningThemAndEndsOnlyWhenCounted) {
  const RepeatCase c = GetParam();
  const std::vector<uint8_t> data = Pattern(10);
  TMemoryIn in;
  in.SetDataBuffer(data.data());
  in.SetDataSize(10);
  in.SetRepeatCount(c.RepeatCount);
  in.Init();
  EXPECT_EQ(in.Size, c.Size);
  std::vector<uint8_t> got;
  for (int i = 0; i < 40; ++i) {
    const uint8_t* block = nullptr;
    uint32_t bytes = 4;
    in.GetData(block, bytes);
    if (bytes == 0) break;
    // Blocks point into the caller's buffer and never cross a repetition.
    ASSERT_GE(block, data.data());
    ASSERT_LE(block + bytes, data.data() + data.size());
    got.insert(got.end(), block, block + bytes);
  }
  if (c.Ends) {
    ASSERT_EQ(static_cast<int64_t>(got.size()), c.Size);
  } else {
    ASSERT_EQ(got.size(), 4u * 40u - 2u * 13u);  // 4+4+2 per repetition, never ending
  }
  for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], data[i % 10]) << i;
  in.Flush();
}

INSTANTIATE_TEST_SUITE_P(Counts, MemoryInRepeat,
                         ::testing::Values(RepeatCase{1, 10, true}, RepeatCase{3, 30, true},
                                           RepeatCase{0, 0, false}, RepeatCase{-1, -1, false}));

TEST(MemoryIn, RequestLargerThanOneRepetitionGetsOnlyTheRestOfIt) {
  const std::vector<uint8_t> data = Pattern(10);
  TMemoryIn in;
  in.SetDataBuffer(data.data());
  in.SetDataSize(10);
  in.SetRepeatCount(2);
  in.Init();
  const uint8_t* block = nullptr;
  uint32_t bytes = 3;
  in.GetData(block, bytes);
  bytes = 100;
  in.GetData(block, bytes);
  EXPECT_EQ(bytes, 7u);
  EXPECT_EQ(block, data.data() + 3);
  bytes = 100;
  in.GetData(block, bytes);
  EXPECT_EQ(bytes, 10u);
  EXPECT_EQ(block, data.data());
  in.Flush();
}

TEST(MemoryIn, EmptyDataOrNoBufferDeliversNothing) {
  const std::vector<uint8_t> data = Pattern(10);
  TMemoryIn empty;
  empty.SetDataBuffer(data.data());
  empty.SetDataSize(0);
  empty.SetRepeatCount(-1);
  empty.Init();
  const uint8_t* block = nullptr;
  uint32_t bytes = 4;
  empty.GetData(block, bytes);
  EXPECT_EQ(bytes, 0u);

  TMemoryIn noBuffer;
  noBuffer.SetDataSize(10);
  noBuffer.Init();
  bytes = 4;
  noBuffer.GetData(block, bytes);
  EXPECT_EQ(bytes, 0u);
  EXPECT_EQ(block, nullptr);
}

TEST(MemoryIn, NegativeDataSizeIsNoDataAndAHugeTotalSizeSaturates) {
  const std::vector<uint8_t> data = Pattern(10);
  // A negative size must never turn into a pass of 4 GiB read past the buffer.
  TMemoryIn negative;
  negative.SetDataBuffer(data.data());
  negative.SetDataSize(-1);
  negative.SetRepeatCount(3);
  negative.Init();
  const uint8_t* block = nullptr;
  uint32_t bytes = 4;
  negative.GetData(block, bytes);
  EXPECT_EQ(bytes, 0u);
  EXPECT_LE(negative.Size.load(), 0);
  negative.Flush();

  // DataSize x RepeatCount beyond 64 bits stays a huge positive Size instead
  // of wrapping to 0 (which would repeat without end and show no progress).
  TMemoryIn huge;
  huge.SetDataBuffer(data.data());
  huge.SetDataSize(int64_t(1) << 62);
  huge.SetRepeatCount(4);
  huge.Init();
  EXPECT_EQ(huge.Size.load(), INT64_MAX);
  huge.Flush();
}

TEST(MemoryIn, PullOutsideARunRaisesAndASecondRunNeedsTheDataAgain) {
  const std::vector<uint8_t> data = Pattern(10);
  TMemoryIn in;
  in.SetDataBuffer(data.data());
  in.SetDataSize(10);
  const uint8_t* block = nullptr;
  uint32_t bytes = 4;
  try {
    in.GetData(block, bytes);
    FAIL() << "no exception";
  } catch (const EAuException& e) {
    EXPECT_STREQ(e.what(), "The Stream is not opened");
  }
  in.Init();
  in.Flush();
  EXPECT_EQ(in.DataSize(), 0);
  EXPECT_EQ(in.DataBuffer(), data.data());
  in.Init();
  bytes = 4;
  in.GetData(block, bytes);
  EXPECT_EQ(bytes, 0u);
  in.Flush();
  bytes = 4;
  EXPECT_THROW(in.GetData(block, bytes), EAuException);
}

TEST(MemoryIn, OutOfRangeFormatValuesAreCorrectedAndStored) {
  TMemoryIn in;
  in.SetInSampleRate(1600);
  in.SetInBitsPerSample(12);
  in.SetInChannels(0);
  EXPECT_EQ(in.SampleRate(), 8000u);
  EXPECT_EQ(in.InSampleRate(), 8000u);
  EXPECT_EQ(in.BitsPerSample(), 16u);
  EXPECT_EQ(in.InBitsPerSample(), 16u);
  EXPECT_EQ(in.Channels(), 0u);
  in.SetInSampleRate(96001);
  EXPECT_EQ(in.SampleRate(), 8000u);
  in.SetInSampleRate(96000);
  in.SetInBitsPerSample(24);
  EXPECT_EQ(in.SampleRate(), 96000u);
  EXPECT_EQ(in.BitsPerSample(), 24u);
}

// The GUI thread and an output's worker may ask for the format at the same
// time; the corrections are stored, so ThreadSanitizer checks they do not race.
TEST(MemoryIn, FormatAskedFromTwoThreadsAtOnceIsCorrectedOnce) {
  TMemoryIn in;
  in.SetInSampleRate(1600);
  in.SetInBitsPerSample(12);
  in.SetInChannels(2);
  const TPcmFormat expected{16, 2, 8000};
  auto ask = [&] {
    for (int i = 0; i < 200; ++i) EXPECT_EQ(in.Format(), expected);
  };
  std::thread worker(ask);
  ask();
  worker.join();
}
