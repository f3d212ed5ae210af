#include <gtest/gtest.h>

#include "OutputTestSupport.h"

#include <unistd.h>

#include <algorithm>

#include "audio/core/GuiHandoff.h"

std::vector<uint8_t> PatternBytes(size_t bytes, uint32_t seed) {
  std::vector<uint8_t> out(bytes);
  uint32_t state = seed * 2654435761u + 12345u;
  for (auto& b : out) {
    state = state * 1664525u + 1013904223u;
    b = uint8_t(state >> 24);
    if (b == 0 || b == 128) b = 77;  // keep silence values for padding only
  }
  return out;
}

void TScriptedInput::DoInit() {
  ++Inits;
  Offset = 0;
  EndReported = false;
  Position = 0;
  Size = int64_t(Data.size());
}

void TScriptedInput::GetDataBlock(const uint8_t*& Buffer, uint32_t& Bytes) {
  if (BeforeBlock) BeforeBlock(int64_t(Offset));
  const size_t n = std::min<size_t>({Bytes, BlockBytes, Data.size() - Offset});
  Buffer = Data.data() + Offset;
  Bytes = uint32_t(n);
  Offset += n;
  Position = int64_t(Offset);
  if (n == 0 && !EndReported) {
    EndReported = true;
    EndOfData = true;
    if (AtEnd) AtEnd();
  }
}

TOutputRig::TOutputRig(TVirtualOptions Options, std::shared_ptr<TSoundClock> Clock) {
  if (!Clock && !Options.Clock) {
    SimClock = std::make_shared<TSimulatedClock>();
    Clock = SimClock;
  }
  if (!Options.Clock) Options.Clock = Clock;
  System = std::make_shared<TVirtualSoundSystem>(Options);
  Out.reset(new TDXAudioOut(nullptr, System));
  Out->OnDone = [this](TComponent*) { ++DoneEvents; };
  Out->OnUnderrun = [this](TComponent*) { ++UnderrunEvents; };
  Out->OnThreadException = [this](TComponent*) { ++ExceptionEvents; };
}

TOutputRig::~TOutputRig() {
  if (SimClock) SimClock->Release();
  Out.reset();
}

std::string UniqueTempPath(const std::string& Stem) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = Stem + "_" + std::to_string(getpid());
  if (test) name += std::string("_") + test->name();
  return ::testing::TempDir() + name + ".wav";
}

bool TOutputRig::RunAndHoldAfter(int64_t HoldAt) {
  auto held = std::make_shared<bool>(false);
  Input->BeforeBlock = [this, held, HoldAt](int64_t position) {
    if (position < HoldAt || *held) return;
    *held = true;
    SimClock->Hold();
  };
  Out->SetInput(Input.get());
  Out->Run();
  return PumpUntil([this] { return SimClock->WaitingSleepers() == 1; });
}

bool TOutputRig::PumpUntil(const std::function<bool()>& Condition) {
  return GuiHandoff::Instance().PumpUntil(Condition, std::chrono::seconds(60));
}

bool TOutputRig::WaitDone(int Count) {
  return PumpUntil([&] { return DoneEvents.load() >= Count; });
}

bool TOutputRig::Play() {
  const int before = DoneEvents.load();
  Out->SetInput(Input.get());
  Out->Run();
  return WaitDone(before + 1);
}

::testing::AssertionResult IsInputThenSilence(const std::vector<uint8_t>& Heard, const std::vector<uint8_t>& Expected,
                                              uint8_t Silence) {
  if (Heard.size() < Expected.size())
    return ::testing::AssertionFailure() << "heard " << Heard.size() << " bytes, fewer than the "
                                         << Expected.size() << " of the input";
  const auto mismatch = std::mismatch(Expected.begin(), Expected.end(), Heard.begin());
  if (mismatch.first != Expected.end())
    return ::testing::AssertionFailure() << "heard stream differs from the input at byte "
                                         << (mismatch.first - Expected.begin()) << " of " << Expected.size();
  const auto noise = std::find_if(Heard.begin() + Expected.size(), Heard.end(), [&](uint8_t b) { return b != Silence; });
  if (noise != Heard.end())
    return ::testing::AssertionFailure() << "byte " << (noise - Heard.begin()) << " after the input is "
                                         << int(*noise) << ", not silence " << int(Silence);
  return ::testing::AssertionSuccess();
}
