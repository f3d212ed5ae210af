#include "ChainTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "audio/core/GuiHandoff.h"
#include "audio/core/TPcmConverter.h"
#include "audio/decoders/ClipReader.h"
#include "show/PlaybackSettings.h"
#include "support/AvCodecAudio.h"
#include "support/Mp3Encoder.h"
#include "support/WavBuilder.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

const char* ClipKindName(TClipKind Kind) {
  switch (Kind) {
    case TClipKind::PcmWav: return "PcmWav";
    case TClipKind::EightBitWav: return "EightBitWav";
    case TClipKind::FloatWav: return "FloatWav";
    case TClipKind::ImaAdpcmWav: return "ImaAdpcmWav";
    case TClipKind::MsAdpcmWav: return "MsAdpcmWav";
    case TClipKind::Mp3: return "Mp3";
  }
  return "?";
}

namespace {

size_t Frames(const TClipSpec& Spec) { return size_t(std::lround(Spec.Seconds * Spec.SampleRate)); }

std::vector<int16_t> Signal(const TClipSpec& Spec) { return TestSignal(Frames(Spec), Spec.Channels, Spec.Seed); }

}  // namespace

std::vector<uint8_t> PcmClipData(const TClipSpec& Spec) {
  const std::vector<int16_t> samples = Signal(Spec);
  if (Spec.Kind == TClipKind::FloatWav) {
    std::vector<uint8_t> out(samples.size() * 4);
    for (size_t i = 0; i < samples.size(); ++i) {
      const float value = float(samples[i]) / 32768.0f;
      std::memcpy(&out[i * 4], &value, 4);  // little-endian host
    }
    return out;
  }
  if (Spec.Kind == TClipKind::EightBitWav) {
    std::vector<uint8_t> out;
    out.reserve(samples.size());
    for (int16_t s : samples) out.push_back(uint8_t((s >> 8) + 128));
    return out;
  }
  return Int16Bytes(samples);
}

void WriteFileBytes(const std::string& Path, const std::vector<uint8_t>& Bytes) {
  std::ofstream out(Path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + Path);
}

std::vector<uint8_t> ReadFileBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string WriteClip(const TTempFolder& Folder, const std::string& Stem, const TClipSpec& Spec) {
  const bool mp3 = Spec.Kind == TClipKind::Mp3;
  const std::string path = Folder.File(Stem + (mp3 ? ".mp3" : ".wav"));
  switch (Spec.Kind) {
    case TClipKind::PcmWav:
    case TClipKind::EightBitWav:
    case TClipKind::FloatWav: {
      TFmtFields fmt;
      fmt.Channels = uint16_t(Spec.Channels);
      fmt.SampleRate = uint32_t(Spec.SampleRate);
      fmt.BitsPerSample = Spec.Kind == TClipKind::EightBitWav ? 8 : Spec.Kind == TClipKind::FloatWav ? 32 : 16;
      if (Spec.Kind == TClipKind::FloatWav) fmt.Tag = 3;
      WriteFileBytes(path, MakeWav(fmt, PcmClipData(Spec)));
      break;
    }
    case TClipKind::ImaAdpcmWav:
    case TClipKind::MsAdpcmWav: {
      const std::string codec = Spec.Kind == TClipKind::ImaAdpcmWav ? "adpcm_ima_wav" : "adpcm_ms";
      const auto encoded = EncodeAdpcm(codec, Signal(Spec), Spec.Channels, Spec.SampleRate, 512 * Spec.Channels);
      if (!encoded) throw std::runtime_error("libavcodec has no " + codec + " encoder");
      WriteFileBytes(path, MakeAdpcmWav(codec, *encoded, Spec.Channels, Spec.SampleRate));
      break;
    }
    case TClipKind::Mp3:
      if (!EncodeMp3File(path, ToneSignal(Spec.Channels, Spec.SampleRate, Spec.Seconds), Spec.Channels,
                         Spec.SampleRate))
        throw std::runtime_error("cannot encode " + path);
      break;
  }
  return path;
}

TDecoded DecodeAlone(const std::string& Path) {
  TDecoded result;
  TComponentPtr<TAuFileIn> reader = CreateClipReader(Path);
  if (!reader || !reader->Valid()) return result;
  result.Valid = true;
  result.Format = reader->Format();
  reader->Init();
  for (;;) {
    const uint8_t* block = nullptr;
    uint32_t bytes = 65536;
    reader->GetData(block, bytes);
    if (bytes == 0) break;
    result.Pcm.insert(result.Pcm.end(), block, block + bytes);
  }
  reader->Flush();
  return result;
}

TTestRun::TTestRun(const std::vector<TRunItem>& Items) : FList(MakeComponent<TInputList>()) {
  FList->IndicateProgress = true;
  FChain.Build(*FList, Items);
}

TTestRun::~TTestRun() { FChain.Release(*FList); }

std::vector<uint8_t> TExpectedStream::Bytes() const {
  std::vector<uint8_t> out;
  for (const TExpectedPart& part : Parts) out.insert(out.end(), part.Pcm.begin(), part.Pcm.end());
  return out;
}

TExpectedStream ExpectedStream(const std::vector<TRunItem>& Items) {
  // Each clip alone, in its own format; the first one with samples sets the
  // pass format.
  std::vector<TDecoded> decoded;
  TExpectedStream stream;
  for (const TRunItem& item : Items) {
    decoded.push_back(DecodeAlone(item.Path));
    const TDecoded& d = decoded.back();
    if (!stream.Format.IsPlayable() && d.Valid && d.Format.IsPlayable() && !d.Pcm.empty()) stream.Format = d.Format;
  }
  if (!stream.Format.IsPlayable()) return stream;
  const TPcmFormat pass = stream.Format;
  for (size_t i = 0; i < Items.size(); ++i) {
    TDecoded& d = decoded[i];
    if (d.Valid && d.Format.IsPlayable() && !d.Pcm.empty()) {
      TExpectedPart part{Items[i].Path, d.Format, d.Pcm.size() / d.Format.FrameSize(), std::move(d.Pcm), {}};
      part.OwnPcm = part.Pcm;
      if (!(part.Own == pass)) {
        TPcmConverter converter(part.Own, pass);
        std::vector<uint8_t> converted;
        converter.Convert(part.OwnPcm.data(), part.OwnPcm.size(), converted);
        converter.Drain(converted);
        part.Pcm = std::move(converted);
      }
      stream.Parts.push_back(std::move(part));
    }
    // The pause's frames, counted here from the milliseconds.
    const double ms = std::nearbyint(Items[i].PauseMs);
    if (ms <= 0) continue;
    const uint64_t frames = uint64_t(std::llround(ms * pass.SampleRate / 1000.0));
    std::vector<uint8_t> silence(size_t(frames) * pass.FrameSize(), pass.SilenceByte());
    stream.Parts.push_back({"silence after " + Items[i].Path, pass, frames, silence, silence});
  }
  return stream;
}

std::vector<double> PcmToUnit(const uint8_t* Data, size_t Bytes, uint32_t BitsPerSample) {
  const size_t width = BitsPerSample / 8;
  std::vector<double> out;
  if (width == 0) return out;
  out.reserve(Bytes / width);
  for (size_t at = 0; at + width <= Bytes; at += width) {
    const uint8_t* p = Data + at;
    switch (BitsPerSample) {
      case 8:
        out.push_back((double(p[0]) - 128.0) / 128.0);
        break;
      case 16:
        out.push_back(double(int16_t(uint16_t(p[0] | (p[1] << 8)))) / 32768.0);
        break;
      case 24: {
        const int32_t v = int32_t(uint32_t(p[0] << 8) | uint32_t(p[1] << 16) | (uint32_t(p[2]) << 24)) >> 8;
        out.push_back(double(v) / 8388608.0);
        break;
      }
      default: {
        const int32_t v = int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
        out.push_back(double(v) / 2147483648.0);
        break;
      }
    }
  }
  return out;
}

namespace {

// Interleaved doubles resampled by libswresample on its own, channels kept.
std::vector<double> ResampleDoubles(const std::vector<double>& In, uint32_t Channels, uint32_t InRate,
                                    uint32_t OutRate) {
  if (InRate == OutRate || In.empty()) return In;
  AVChannelLayout layout{};
  av_channel_layout_default(&layout, int(Channels));
  SwrContext* swr = nullptr;
  if (swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_DBL, int(OutRate), &layout, AV_SAMPLE_FMT_DBL, int(InRate),
                          0, nullptr) < 0 ||
      swr_init(swr) < 0) {
    swr_free(&swr);
    av_channel_layout_uninit(&layout);
    throw std::runtime_error("libswresample cannot resample for the reference");
  }
  std::vector<double> out;
  const int inFrames = int(In.size() / Channels);
  const uint8_t* inPlanes[1] = {reinterpret_cast<const uint8_t*>(In.data())};
  for (bool draining = false;; draining = true) {
    const int capacity = swr_get_out_samples(swr, draining ? 0 : inFrames) + 64;
    std::vector<double> chunk(size_t(capacity) * Channels);
    uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(chunk.data())};
    const int produced = swr_convert(swr, outPlanes, capacity, draining ? nullptr : inPlanes, draining ? 0 : inFrames);
    if (produced < 0) break;
    out.insert(out.end(), chunk.begin(), chunk.begin() + long(produced) * long(Channels));
    if (draining && produced == 0) break;
  }
  swr_free(&swr);
  av_channel_layout_uninit(&layout);
  return out;
}

}  // namespace

std::vector<double> ReferenceConversion(const std::vector<uint8_t>& Pcm, const TPcmFormat& Own,
                                        const TPcmFormat& Pass) {
  const std::vector<double> own = PcmToUnit(Pcm.data(), Pcm.size(), Own.BitsPerSample);
  const size_t frames = own.size() / Own.Channels;
  std::vector<double> mapped(frames * Pass.Channels);
  for (size_t f = 0; f < frames; ++f) {
    const double* in = own.data() + f * Own.Channels;
    double* out = mapped.data() + f * Pass.Channels;
    if (Pass.Channels == 1) {
      double sum = 0;
      for (uint32_t c = 0; c < Own.Channels; ++c) sum += in[c];
      out[0] = sum / Own.Channels;
    } else {
      for (uint32_t c = 0; c < Pass.Channels; ++c) out[c] = in[std::min(c, Own.Channels - 1)];
    }
  }
  std::vector<double> result = ResampleDoubles(mapped, Pass.Channels, Own.SampleRate, Pass.SampleRate);
  const double top = 1.0 - std::ldexp(1.0, 1 - int(Pass.BitsPerSample));
  for (double& v : result) v = std::clamp(v, -1.0, top);
  return result;
}

TChainRig::TChainRig() : Clock(std::make_shared<TSimulatedClock>()) {
  TVirtualOptions options;
  options.Clock = Clock;
  System = std::make_shared<TVirtualSoundSystem>(options);
  Out.reset(new TDXAudioOut(nullptr, System));
  // The main window's settings.
  Out->SetDeviceNumber(PlaybackSettings::kDeviceNumber);
  Out->SetFramesInBuffer(PlaybackSettings::kFramesInBuffer);
  Out->SetPollingInterval(PlaybackSettings::kPollingInterval);
  Out->OnDone = [this](TComponent*) { ++DoneEvents; };
  Out->OnThreadException = [this](TComponent*) { ++ExceptionEvents; };
  auto sleeps = std::make_shared<std::atomic<int64_t>>(0);
  Clock->SetSleepHook([this, sleeps](uint32_t) {
    if (sleeps->fetch_add(1) + 1 == HoldAt.load()) Clock->Hold();
  });
  SleepCounter = sleeps;
}

TChainRig::~TChainRig() {
  Clock->Release();
  Out.reset();
}

bool TChainRig::PumpUntil(const std::function<bool()>& Condition) {
  return GuiHandoff::Instance().PumpUntil(Condition, std::chrono::seconds(60));
}

bool TChainRig::WaitDone(int Count) {
  return PumpUntil([&] { return DoneEvents.load() >= Count; });
}

bool TChainRig::Play(TAuInput& Input) {
  const int before = DoneEvents.load();
  Out->SetInput(&Input);
  Out->Run();
  return WaitDone(before + 1);
}

void TChainRig::HoldAtSleep(int64_t N) { HoldAt.store(SleepCounter->load() + N); }

::testing::AssertionResult IsStreamThenSilence(const std::vector<uint8_t>& Heard,
                                               const std::vector<uint8_t>& Expected, uint8_t Silence) {
  const auto mismatch = std::mismatch(Expected.begin(), Expected.end(), Heard.begin(), Heard.end());
  if (mismatch.first != Expected.end())
    return ::testing::AssertionFailure() << "heard " << Heard.size() << " bytes; the stream differs from the "
                                         << Expected.size() << " expected bytes at byte "
                                         << (mismatch.first - Expected.begin());
  const auto noise = std::find_if(mismatch.second, Heard.end(), [&](uint8_t b) { return b != Silence; });
  if (noise != Heard.end())
    return ::testing::AssertionFailure() << "byte " << (noise - Heard.begin()) << " after the "
                                         << Expected.size() << " expected bytes is " << int(*noise)
                                         << ", not silence " << int(Silence);
  return ::testing::AssertionSuccess();
}
