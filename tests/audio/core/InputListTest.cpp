// The input list: concatenation, moving between items, flushing, progress,
// errors, skipping items that cannot be opened, and one format per pass.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "CoreTestSupport.h"
#include "audio/core/TEventHandler.h"
#include "audio/core/TInputList.h"
#include "audio/core/TMemoryIn.h"

using namespace coretest;

namespace {

class TTestList : public TInputList {
 public:
  using TInputList::DoInit;
  using TInputList::TInputList;
};

class InputListJoins : public ::testing::TestWithParam<uint32_t> {};

}  // namespace

TEST_P(InputListJoins, StreamIsTheConcatenationOfItsItemsWithNothingLostOrRepeated) {
  TScriptedIn a, b, c;
  a.Data = Pattern(1001, 1);
  b.Data = Pattern(37, 2);
  c.Data = Pattern(2048, 3);
  a.MaxBlock = 100;
  TInputList list;
  for (TScriptedIn* in : {&a, &b, &c}) list.InputItems().Add(in);
  list.Init();
  std::vector<uint8_t> expected = a.Data;
  expected.insert(expected.end(), b.Data.begin(), b.Data.end());
  expected.insert(expected.end(), c.Data.begin(), c.Data.end());
  EXPECT_EQ(PullAll(list, GetParam()), expected);
  list.Flush();
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, InputListJoins, ::testing::Values(1u, 7u, 4096u));

TEST(InputList, EveryStartedItemIsFlushedOnceAndTheIndexReturnsToZero) {
  TScriptedIn a, empty1, empty2, b;
  a.Data = Pattern(10);
  b.Data = Pattern(10, 5);
  TInputList list;
  for (TScriptedIn* in : {&a, &empty1, &empty2, &b}) list.InputItems().Add(in);
  for (int pass = 1; pass <= 2; ++pass) {
    list.Init();
    const uint8_t* block = nullptr;
    uint32_t bytes = 100;
    list.GetData(block, bytes);
    EXPECT_EQ(bytes, 10u);
    bytes = 100;
    list.GetData(block, bytes);  // both empty items are skipped within this pull
    EXPECT_EQ(bytes, 10u);
    EXPECT_EQ(std::vector<uint8_t>(block, block + bytes), b.Data);
    EXPECT_EQ(list.CurrentIndex(), 3);
    EXPECT_EQ(b.Flushes, pass - 1);  // the last item waits for the end of the pass
    bytes = 100;
    list.GetData(block, bytes);
    EXPECT_EQ(bytes, 0u);
    list.Flush();
    EXPECT_EQ(list.CurrentIndex(), 0);
    for (TScriptedIn* in : {&a, &empty1, &empty2, &b}) {
      EXPECT_EQ(in->Inits, pass);
      EXPECT_EQ(in->Flushes, pass);
    }
  }
}

TEST(InputList, OnInputChangedIsRaisedOncePerMoveAndNotForTheFirstItem) {
  TCaptureOut out;  // owns the event thread; the list is pulled by hand here
  TScriptedIn a, b, c;
  a.Data = Pattern(8);
  b.Data = Pattern(8);
  c.Data = Pattern(8);
  TInputList list;
  for (TScriptedIn* in : {&a, &b, &c}) list.InputItems().Add(in);
  int changes = 0;
  list.OnInputChanged = [&](TComponent* Sender) {
    EXPECT_EQ(Sender, &list);
    ++changes;
  };
  list.Init();
  PullAll(list, 3);
  list.Flush();
  TComponent marker(nullptr);
  bool markerSeen = false;
  TEventHandler::PostGeneric(&marker, [&](TComponent*) { markerSeen = true; });
  ASSERT_TRUE(PumpUntil([&] { return markerSeen; }));
  EXPECT_EQ(changes, 2);
}

TEST(InputList, ProgressFollowsEachItemOrIsOpenEnded) {
  TScriptedIn a, b;
  a.Data = Pattern(100);
  b.Data = Pattern(300);
  TInputList list;
  list.InputItems().Add(&a);
  list.InputItems().Add(&b);
  list.Init();
  EXPECT_EQ(list.Size, 100);
  const uint8_t* block = nullptr;
  uint32_t bytes = 50;
  list.GetData(block, bytes);
  EXPECT_EQ(list.Position, 50);
  bytes = 50;
  list.GetData(block, bytes);
  bytes = 30;
  list.GetData(block, bytes);  // moves to b: progress restarts
  EXPECT_EQ(list.Size, 300);
  EXPECT_EQ(list.Position, 30);
  list.Flush();

  list.IndicateProgress = false;
  list.Init();
  EXPECT_EQ(list.Size, -1);
  PullAll(list, 64);
  EXPECT_EQ(list.Size, -1);
  list.Flush();
}

TEST(InputList, StartErrorsCarryTheirExactTexts) {
  TTestList list;
  EXPECT_EQ(MessageOf([&] { list.DoInit(); }), "No input items in the list.");
  list.InputItems().Add();
  EXPECT_EQ(MessageOf([&] { list.DoInit(); }), "No input assigned to the input item 0");
  TScriptedIn in;
  in.Data = Pattern(4);
  list.InputItems().Item(0)->Input = &in;
  list.Init();
  EXPECT_EQ(MessageOf([&] { list.DoInit(); }), "The component is busy.");
  list.Flush();
}

TEST(InputList, ItemWithoutInputMidPassEndsThePassThroughOnThreadException) {
  TCaptureOut out;
  TScriptedIn a;
  a.Data = Pattern(100);
  TInputList list;
  list.InputItems().Add(&a);
  list.InputItems().Add();
  out.SetInput(&list);
  std::string error;
  bool done = false;
  out.OnThreadException = [&](TComponent*) { error = out.ExceptionMessage(); };
  out.OnDone = [&](TComponent*) { done = true; };
  out.Run();
  ASSERT_TRUE(PumpUntil([&] { return done; }));
  EXPECT_EQ(error, "No input assigned to the input item 1");
  EXPECT_EQ(a.Flushes, 1);
  EXPECT_EQ(list.CurrentIndex(), 0);
  EXPECT_FALSE(list.Busy);
}

TEST(InputList, ItemsThatCannotBeOpenedAreSkippedWhereverTheyStand) {
  TScriptedIn broken1, good1, broken2, good2, broken3;
  for (TScriptedIn* in : {&broken1, &broken2, &broken3}) in->FailInit = true;
  good1.Data = Pattern(20, 1);
  good2.Data = Pattern(20, 2);
  TMemoryIn noChannels;  // a memory input whose format was never set
  const std::vector<uint8_t> junk = Pattern(8);
  noChannels.SetDataBuffer(junk.data());
  noChannels.SetDataSize(8);
  TInputList list;
  for (TAuInput* in : std::initializer_list<TAuInput*>{&broken1, &good1, &broken2, &noChannels, &good2, &broken3})
    list.InputItems().Add(in);
  list.Init();
  EXPECT_FALSE(list.EndOfData);
  std::vector<uint8_t> expected = good1.Data;
  expected.insert(expected.end(), good2.Data.begin(), good2.Data.end());
  EXPECT_EQ(PullAll(list, 7), expected);
  list.Flush();
  for (TScriptedIn* in : {&broken1, &good1, &broken2, &good2, &broken3}) EXPECT_EQ(in->Flushes, in->Inits);
}

TEST(InputList, SkippingOntoAnItemWithoutInputAtTheStartEndsTheRunAtOnce) {
  TScriptedIn broken, good;
  broken.FailInit = true;
  good.Data = Pattern(20);
  TTestList list;
  list.InputItems().Add(&broken);
  list.InputItems().Add();
  list.InputItems().Add(&good);
  EXPECT_EQ(MessageOf([&] { list.DoInit(); }), "No input assigned to the input item 1");
  EXPECT_FALSE(list.Busy);
  EXPECT_EQ(list.CurrentIndex(), 0);
  list.Init();
  EXPECT_TRUE(list.EndOfData);
  EXPECT_TRUE(PullAll(list, 64).empty());
  list.Flush();
  EXPECT_EQ(good.Inits, 0);
  EXPECT_EQ(broken.Flushes, broken.Inits);
}

TEST(InputList, ListWhoseItemsAllFailDeliversNothing) {
  TScriptedIn broken1, broken2;
  broken1.FailInit = broken2.FailInit = true;
  TInputList list;
  list.InputItems().Add(&broken1);
  list.InputItems().Add(&broken2);
  list.Init();
  EXPECT_TRUE(PullAll(list, 64).empty());
  list.Flush();
  EXPECT_EQ(broken1.Flushes, 1);
  EXPECT_EQ(broken2.Flushes, 1);
}

TEST(InputList, FormatIsTheFirstItemsWhenIdleAndThePassFormatWhileBusy) {
  TInputList list;
  EXPECT_EQ(list.SampleRate(), 0u);
  TScriptedIn broken, a, b;
  broken.Fmt = {8, 1, 8000};
  broken.FailInit = true;
  a.Fmt = {16, 2, 44100};
  a.Data = Pattern(400);
  b.Fmt = {8, 1, 22050};
  b.Data = std::vector<uint8_t>(100, 128);
  list.InputItems().Add(&broken);
  list.InputItems().Add(&a);
  list.InputItems().Add(&b);
  EXPECT_EQ(list.SampleRate(), 8000u);
  // Told beforehand by the same rule, which ends every trial run it starts
  // and tries nothing past the item that opens.
  EXPECT_EQ(TInputList::PassFormatOf({&broken, &a, &b}), (TPcmFormat{16, 2, 44100}));
  for (TScriptedIn* in : {&broken, &a}) EXPECT_EQ(in->Flushes, in->Inits);
  EXPECT_EQ(b.Inits, 0);
  EXPECT_FALSE(TInputList::PassFormatOf({&broken}).IsPlayable());
  list.Init();
  EXPECT_EQ(list.Format(), (TPcmFormat{16, 2, 44100}));
  PullAll(list, 512);
  EXPECT_EQ(list.CurrentIndex(), 2);
  EXPECT_EQ(list.Format(), (TPcmFormat{16, 2, 44100}));
  list.Flush();
}

TEST(InputList, ItemsInThePassFormatPassThroughWithoutACopy) {
  TMemoryIn first, second;
  const std::vector<uint8_t> data = Pattern(400);
  for (TMemoryIn* in : {&first, &second}) Feed(*in, data, {16, 2, 44100});
  TInputList list;
  list.InputItems().Add(&first);
  list.InputItems().Add(&second);
  list.Init();
  const uint8_t* block = nullptr;
  uint32_t bytes = 1000;
  list.GetData(block, bytes);
  EXPECT_EQ(block, data.data());
  bytes = 1000;
  list.GetData(block, bytes);
  EXPECT_EQ(block, data.data());
  EXPECT_EQ(bytes, 400u);
  list.Flush();
}

namespace {

// Frames of 16-bit stereo, both channels Value.
std::vector<uint8_t> Stereo16Constant(size_t Frames, int16_t Value) {
  std::vector<uint8_t> out(Frames * 4);
  for (size_t i = 0; i < Frames * 2; ++i) std::memcpy(&out[i * 2], &Value, 2);
  return out;
}

int16_t Sample16(const std::vector<uint8_t>& Data, size_t Index) {
  int16_t v;
  std::memcpy(&v, &Data[Index * 2], 2);
  return v;
}

}  // namespace

TEST(InputListConversion, MonoEightBitItemIsPlayedInTheStereoPassFormatAtItsOwnLength) {
  // 0.1 s of each: stereo 16-bit 44.1 kHz, mono 8-bit 22.05 kHz (silence,
  // then half-scale), stereo 16-bit 44.1 kHz again.
  const auto first = Stereo16Constant(4410, 1000);
  std::vector<uint8_t> mono(2205, 128);
  std::fill(mono.begin() + 1100, mono.end(), 192);  // +0.5 full scale
  const auto last = Stereo16Constant(4410, -1000);
  TMemoryIn a, b, c;
  Feed(a, first, {16, 2, 44100});
  Feed(b, mono, {8, 1, 22050});
  Feed(c, last, {16, 2, 44100});
  TInputList list;
  list.InputItems().Add(&a);
  list.InputItems().Add(&b);
  list.InputItems().Add(&c);
  list.Init();
  const std::vector<uint8_t> out = PullAll(list, 1000);
  list.Flush();

  ASSERT_EQ(out.size() % 4, 0u);
  // Untouched ends; the converted middle lasts 4410 frames give or take one.
  ASSERT_GE(out.size(), first.size() + last.size());
  EXPECT_TRUE(std::equal(first.begin(), first.end(), out.begin()));
  EXPECT_TRUE(std::equal(last.rbegin(), last.rend(), out.rbegin()));
  const size_t middleFrames = (out.size() - first.size() - last.size()) / 4;
  EXPECT_NEAR(static_cast<double>(middleFrames), 4410.0, 1.0);

  const size_t middle = first.size() / 2;  // index of the first converted sample
  // Silence stays exact silence (away from the step the resampler smooths).
  for (size_t frame = 0; frame < 2000; ++frame) {
    ASSERT_EQ(Sample16(out, middle + frame * 2), 0) << frame;
    ASSERT_EQ(Sample16(out, middle + frame * 2 + 1), 0) << frame;
  }
  // Half scale arrives at full level on both channels (no -3 dB mono mix).
  for (size_t frame = 2400; frame < 4300; ++frame) {
    ASSERT_NEAR(Sample16(out, middle + frame * 2), 16384, 200) << frame;
    ASSERT_NEAR(Sample16(out, middle + frame * 2 + 1), 16384, 200) << frame;
  }
}

TEST(InputListConversion, StereoItemAfterAMonoStartIsDownmixedAndResampled) {
  std::vector<uint8_t> mono(2205, 128);
  const auto stereo = Stereo16Constant(4410, 0);
  TMemoryIn a, b;
  Feed(a, mono, {8, 1, 22050});
  Feed(b, stereo, {16, 2, 44100});
  TInputList list;
  list.InputItems().Add(&a);
  list.InputItems().Add(&b);
  list.Init();
  EXPECT_EQ(list.Format(), (TPcmFormat{8, 1, 22050}));
  EXPECT_EQ(list.Size, 2205);
  const std::vector<uint8_t> out = PullAll(list, 333);
  list.Flush();
  EXPECT_NEAR(static_cast<double>(out.size()), 4410.0, 1.0);
  for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], 128) << i;  // 16-bit silence is 8-bit 128
}
