#include "audio/decoders/MediaTestFiles.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "support/Mp3Encoder.h"
#include "support/TTempFolder.h"
#include "support/WavBuilder.h"

namespace {

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TBytes MonoWav(const std::vector<int16_t>& samples) {
  TFmtFields fmt;
  fmt.Channels = 1;
  fmt.SampleRate = 44100;
  fmt.BitsPerSample = 16;
  return MakeWav(fmt, Int16Bytes(samples));
}

}  // namespace

std::vector<uint8_t> TMediaTestFiles::ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const TMediaTestFiles& TMediaTestFiles::Get() {
  static const TTempFolder folder;
  static const TMediaTestFiles files = [] {
    TMediaTestFiles f;
    const std::string dir = folder.Path() + "/";
    f.StereoMp3 = dir + "stereo.mp3";
    EncodeMp3File(f.StereoMp3, ToneSignal(2, 44100, 2.0), 2, 44100,
                  {{"artist", "\xC3\x81rv\xC3\xADzt\xC5\xB1r\xC5\x91"}, {"title", "Bemond\xC3\xA1s"},
                   {"album", "Album"}, {"genre", "Speech"}, {"track", "7"}, {"date", "2024"},
                   {"copyright", "(c) MAV"}});
    f.MonoMp3 = dir + "mono.mp3";
    EncodeMp3File(f.MonoMp3, ToneSignal(1, 22050, 1.0), 1, 22050);

    {
      // Two streams of MPEG frames back to back: the channel count changes
      // in the middle, as in joined recordings.
      TEncodeRequest part;
      part.MuxerOptions = {{"write_xing", "0"}};
      if (!avcodec_find_encoder_by_name("libmp3lame")) {
        part.Codec = "mp2";
        part.Container = "mp2";
        part.MuxerOptions.clear();
      }
      const std::string stereo = dir + "part-stereo.mp3", mono = dir + "part-mono.mp3";
      EncodeAudioFile(stereo, ToneSignal(2, 44100, 0.5), part);
      part.Channels = 1;
      EncodeAudioFile(mono, ToneSignal(1, 44100, 0.5), part);
      auto joined = ReadBytes(stereo);
      auto tail = ReadBytes(mono);
      joined.insert(joined.end(), tail.begin(), tail.end());
      f.StereoThenMonoMp3 = dir + "stereo-then-mono.mp3";
      WriteFile(f.StereoThenMonoMp3, joined);
    }
    f.HalfSilentMp3 = dir + "halfsilent.mp3";
    std::vector<int16_t> half = ToneSignal(2, 44100, 1.0, 440.0, 0.7);
    half.resize(half.size() * 2, 0);
    EncodeMp3File(f.HalfSilentMp3, half, 2, 44100);

    std::vector<int16_t> ramp(88200);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = int16_t(i % 30000);
    f.RampWav = dir + "ramp.wav";
    WriteFile(f.RampWav, MonoWav(ramp));
    f.OddLengthWav = dir + "odd.wav";
    WriteFile(f.OddLengthWav, MonoWav(std::vector<int16_t>(ramp.begin(), ramp.begin() + 44276)));

    TEncodeRequest pcm;
    pcm.Codec = "pcm_s16le";
    pcm.Container = "wav";
    pcm.SampleRate = 48000;
    pcm.Channels = 6;
    f.Surround51Wav = dir + "surround51.wav";
    EncodeAudioFile(f.Surround51Wav, ToneSignal(6, 48000, 0.5), pcm);
    pcm.Channels = 8;
    f.Surround71Wav = dir + "surround71.wav";
    EncodeAudioFile(f.Surround71Wav, ToneSignal(8, 48000, 0.5), pcm);

    std::vector<uint8_t> junk(30, 0);
    auto rampBytes = ReadBytes(f.RampWav);
    junk.insert(junk.end(), rampBytes.begin(), rampBytes.end());
    f.JunkThenWav = dir + "junk.bin";
    WriteFile(f.JunkThenWav, junk);

    auto mp3 = ReadBytes(f.StereoMp3);
    mp3.resize(mp3.size() * 2 / 5);
    f.TruncatedMp3 = dir + "truncated.mp3";
    WriteFile(f.TruncatedMp3, mp3);

    std::vector<uint8_t> oversized{'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
    auto whole = ReadBytes(f.StereoMp3);
    oversized.insert(oversized.end(), whole.begin(), whole.end());
    f.OversizedTagMp3 = dir + "oversized-tag.mp3";
    WriteFile(f.OversizedTagMp3, oversized);

    std::vector<uint8_t> garbage(8192);
    uint32_t x = 12345;
    for (auto& b : garbage) {
      x = x * 1103515245u + 12345u;
      b = uint8_t(x >> 24);
    }
    f.GarbageFile = dir + "garbage.mp3";
    WriteFile(f.GarbageFile, garbage);

    const std::string srt = "1\n00:00:00,000 --> 00:00:01,000\nJo napot\n\n2\n00:00:01,000 --> 00:00:02,000\nViszlat\n\n";
    f.SubtitleFile = dir + "text.srt";
    WriteFile(f.SubtitleFile, std::vector<uint8_t>(srt.begin(), srt.end()));
    f.EmptyFile = dir + "empty.mp3";
    WriteFile(f.EmptyFile, {});
    f.NoSuchFile = dir + "missing.mp3";
    return f;
  }();
  return files;
}

std::vector<uint8_t> ReadWholeRun(TAuInput& input, uint32_t block) {
  std::vector<uint8_t> out;
  input.Init();
  for (;;) {
    const uint8_t* data = nullptr;
    uint32_t bytes = block;
    input.GetData(data, bytes);
    if (bytes == 0) break;
    out.insert(out.end(), data, data + bytes);
  }
  input.Flush();
  return out;
}
