// The virtual device's capture file: what was heard, in the format the output
// buffer was given, written when a device is released.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "OutputTestSupport.h"
#include "audio/output/TSoundClock.h"
#include "audio/output/TVirtualSoundSystem.h"

namespace {

TWaveFormat Format(uint16_t bits, uint16_t channels, uint32_t rate, bool extensible, uint32_t mask = 0) {
  TWaveFormat f;
  f.FormatTag = extensible ? kWaveFormatExtensible : kWaveFormatPcm;
  f.Channels = channels;
  f.SamplesPerSec = rate;
  f.BitsPerSample = bits;
  f.BlockAlign = uint16_t(channels * bits / 8);
  f.AvgBytesPerSec = f.BlockAlign * rate;
  if (extensible) {
    f.ExtraSize = kWaveFormatExtensibleExtraSize;
    f.ValidBitsPerSample = bits;
    f.ChannelMask = mask;
    f.SubFormat = kPcmSubFormat;
  }
  return f;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

uint32_t Le(const std::vector<uint8_t>& bytes, size_t at, size_t width) {
  uint32_t v = 0;
  for (size_t i = 0; i < width; ++i) v |= uint32_t(bytes.at(at + i)) << (8 * i);
  return v;
}

// Plays one second of a patterned buffer in the given format on a device of
// a system that captures to Path, then releases buffer and device.
std::vector<uint8_t> PlayOneSecond(const std::string& path, const TWaveFormat& format) {
  TVirtualOptions options;
  auto clock = std::make_shared<TSimulatedClock>();
  options.Clock = clock;
  options.CaptureFile = path;
  auto system = std::make_shared<TVirtualSoundSystem>(options);
  std::unique_ptr<TSoundDevice> device;
  std::unique_ptr<TSoundBuffer> buffer;
  EXPECT_EQ(system->CreateDevice(TDeviceId{}, device), srOk);
  const uint32_t bytes = format.AvgBytesPerSec;
  EXPECT_EQ(device->CreateOutputBuffer(format, bytes, kOutputBufferFlags, buffer), srOk);
  if (!buffer) return {};
  const std::vector<uint8_t> pattern = PatternBytes(bytes);
  TLockedRegions r;
  EXPECT_EQ(buffer->Lock(0, bytes, r), srOk);
  std::copy(pattern.begin(), pattern.end(), r.First);
  EXPECT_EQ(buffer->Unlock(r), srOk);
  EXPECT_EQ(buffer->PlayLooping(), srOk);
  clock->AdvanceMs(1000);
  buffer.reset();
  device.reset();
  EXPECT_EQ(system->Heard(), pattern);
  return pattern;
}

class VirtualCaptureFile : public ::testing::Test {
 protected:
  void SetUp() override { std::remove(Path.c_str()); }
  void TearDown() override { std::remove(Path.c_str()); }
  const std::string Path = UniqueTempPath("vomrella_virtual_capture");
};

}  // namespace

TEST_F(VirtualCaptureFile, ExtensibleFormatsAreWrittenInTheExtensibleFormWithTheirSpeakerMask) {
  const TWaveFormat six = Format(16, 6, 8000, true, 0x3F);
  const std::vector<uint8_t> heard = PlayOneSecond(Path, six);
  const std::vector<uint8_t> file = ReadFile(Path);
  ASSERT_EQ(file.size(), 68 + heard.size());
  EXPECT_EQ(Le(file, 16, 4), 40u);  // fmt chunk size
  EXPECT_EQ(Le(file, 20, 2), kWaveFormatExtensible);
  EXPECT_EQ(Le(file, 22, 2), 6u);
  EXPECT_EQ(Le(file, 24, 4), 8000u);
  EXPECT_EQ(Le(file, 32, 2), 12u);
  EXPECT_EQ(Le(file, 34, 2), 16u);
  EXPECT_EQ(Le(file, 36, 2), kWaveFormatExtensibleExtraSize);
  EXPECT_EQ(Le(file, 38, 2), 16u);  // valid bits
  EXPECT_EQ(Le(file, 40, 4), 0x3Fu);
  EXPECT_TRUE(std::equal(kPcmSubFormat.begin(), kPcmSubFormat.end(), file.begin() + 44));
  EXPECT_EQ(std::string(file.begin() + 60, file.begin() + 64), "data");
  EXPECT_EQ(Le(file, 64, 4), heard.size());
  EXPECT_TRUE(std::equal(heard.begin(), heard.end(), file.begin() + 68));
}

TEST_F(VirtualCaptureFile, PlainFormatsKeepThePlainForm) {
  const std::vector<uint8_t> heard = PlayOneSecond(Path, Format(8, 1, 11025, false));
  const std::vector<uint8_t> file = ReadFile(Path);
  ASSERT_EQ(file.size(), 44 + heard.size() + (heard.size() & 1));
  EXPECT_EQ(Le(file, 16, 4), 16u);
  EXPECT_EQ(Le(file, 20, 2), kWaveFormatPcm);
  EXPECT_EQ(Le(file, 34, 2), 8u);
  EXPECT_EQ(Le(file, 40, 4), heard.size());
  EXPECT_TRUE(std::equal(heard.begin(), heard.end(), file.begin() + 44));
}

TEST_F(VirtualCaptureFile, ADeviceReleasedBeforeAnyBufferWasMadeWritesNoFile) {
  TVirtualOptions options;
  options.CaptureFile = Path;
  auto system = std::make_shared<TVirtualSoundSystem>(options);
  std::unique_ptr<TSoundDevice> device;
  ASSERT_EQ(system->CreateDevice(TDeviceId{}, device), srOk);
  device.reset();
  EXPECT_FALSE(std::ifstream(Path).good());
}

TEST_F(VirtualCaptureFile, AnUnwritablePathIsReportedWithoutThrowing) {
  TVirtualOptions options;
  options.CaptureFile = ::testing::TempDir() + "no/such/folder/capture.wav";
  auto system = std::make_shared<TVirtualSoundSystem>(options);
  std::unique_ptr<TSoundDevice> device;
  std::unique_ptr<TSoundBuffer> buffer;
  ASSERT_EQ(system->CreateDevice(TDeviceId{}, device), srOk);
  ASSERT_EQ(device->CreateOutputBuffer(Format(16, 2, 8000, false), 3200, kOutputBufferFlags, buffer), srOk);
  buffer.reset();
  EXPECT_NO_THROW(device.reset());
}
