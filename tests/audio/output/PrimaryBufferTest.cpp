// The primary buffer every backend hands out: it takes a playable format and
// refuses every output-buffer call; the virtual one also records the format.

#include <gtest/gtest.h>

#include "audio/output/TSoundSystem.h"
#include "audio/output/TVirtualSoundSystem.h"

namespace {

TWaveFormat Stereo16() {
  TWaveFormat f;
  f.FormatTag = kWaveFormatPcm;
  f.Channels = 2;
  f.SamplesPerSec = 44100;
  f.BitsPerSample = 16;
  f.BlockAlign = 4;
  f.AvgBytesPerSec = 44100 * 4;
  return f;
}

void ExpectPrimaryBehaviour(TSoundBuffer& buffer) {
  EXPECT_EQ(buffer.SetFormat(Stereo16()), srOk);
  TWaveFormat bad = Stereo16();
  bad.BlockAlign = 3;
  EXPECT_EQ(buffer.SetFormat(bad), srBadFormat);
  TLockedRegions regions;
  uint32_t play = 0, write = 0;
  EXPECT_EQ(buffer.Lock(0, 4, regions), srInvalidArgument);
  EXPECT_EQ(buffer.Unlock(regions), srInvalidArgument);
  EXPECT_EQ(buffer.GetCurrentPosition(play, write), srInvalidArgument);
  EXPECT_EQ(buffer.SetCurrentPosition(0), srInvalidArgument);
  EXPECT_EQ(buffer.PlayLooping(), srInvalidArgument);
  EXPECT_EQ(buffer.Stop(), srInvalidArgument);
}

}  // namespace

TEST(PrimaryBuffer, TakesOnlyAPlayableFormatAndRefusesEveryOutputCall) {
  TPrimarySoundBuffer buffer;
  ExpectPrimaryBehaviour(buffer);
}

TEST(PrimaryBuffer, TheVirtualOneBehavesAlikeAndRecordsOnlyTheFormatItTook) {
  auto system = std::make_shared<TVirtualSoundSystem>();
  std::unique_ptr<TSoundDevice> device;
  std::unique_ptr<TSoundBuffer> buffer;
  ASSERT_EQ(system->CreateDevice(TDeviceId{}, device), srOk);
  ASSERT_EQ(device->CreatePrimaryBuffer(buffer), srOk);
  ExpectPrimaryBehaviour(*buffer);
  EXPECT_EQ(system->Stats().PrimaryFormat, Stereo16());  // the refused one left no trace
  EXPECT_EQ(system->Stats().PrimaryBuffersOpen, 1);
}
