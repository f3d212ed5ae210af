#include "audio/core/TPcmConverter.h"

#include <algorithm>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "audio/core/EAuException.h"

namespace {
// Sample format libswresample works in for a PCM width (24 bits travel as 32).
AVSampleFormat SwrFormat(uint32_t BitsPerSample) {
  switch (BitsPerSample) {
    case 8:
      return AV_SAMPLE_FMT_U8;
    case 16:
      return AV_SAMPLE_FMT_S16;
    default:
      return AV_SAMPLE_FMT_S32;
  }
}

uint32_t SwrBytes(uint32_t BitsPerSample) { return BitsPerSample == 8 ? 1 : BitsPerSample == 16 ? 2 : 4; }

struct ChannelLayout {
  AVChannelLayout Layout{};
  explicit ChannelLayout(uint32_t Channels) { av_channel_layout_default(&Layout, static_cast<int>(Channels)); }
  ~ChannelLayout() { av_channel_layout_uninit(&Layout); }
  ChannelLayout(const ChannelLayout&) = delete;
  ChannelLayout& operator=(const ChannelLayout&) = delete;
};
}  // namespace

TPcmConverter::TPcmConverter(const TPcmFormat& In, const TPcmFormat& Out) : FIn(In), FOut(Out) {
  if (!In.IsPlayable() || !Out.IsPlayable()) throw EAuException("Unsupported PCM format");
  ChannelLayout inLayout(In.Channels);
  ChannelLayout outLayout(Out.Channels);
  if (swr_alloc_set_opts2(&Swr, &outLayout.Layout, SwrFormat(Out.BitsPerSample), static_cast<int>(Out.SampleRate),
                          &inLayout.Layout, SwrFormat(In.BitsPerSample), static_cast<int>(In.SampleRate), 0,
                          nullptr) < 0 ||
      !Swr)
    throw EAuException("Cannot create the PCM format converter");

  // Explicit channel matrix: libswresample would otherwise lower a mono
  // source by 3 dB on each stereo channel and mix downwards with its own
  // surround coefficients.
  const uint32_t inCh = In.Channels;
  const uint32_t outCh = Out.Channels;
  std::vector<double> matrix(static_cast<size_t>(inCh) * outCh, 0.0);
  for (uint32_t o = 0; o < outCh; ++o) {
    double* row = matrix.data() + static_cast<size_t>(o) * inCh;
    if (outCh == 1) {
      for (uint32_t i = 0; i < inCh; ++i) row[i] = 1.0 / inCh;
    } else {
      row[std::min(o, inCh - 1)] = 1.0;
    }
  }
  if (swr_set_matrix(Swr, matrix.data(), static_cast<int>(inCh)) < 0 || swr_init(Swr) < 0) {
    swr_free(&Swr);
    throw EAuException("Cannot create the PCM format converter");
  }
}

TPcmConverter::~TPcmConverter() { swr_free(&Swr); }

int64_t TPcmConverter::OutputBytesFor(int64_t InBytes) const {
  if (InBytes <= 0) return InBytes;
  const int64_t frames = InBytes / FIn.FrameSize();
  const int64_t outFrames =
      av_rescale_rnd(frames, FOut.SampleRate, FIn.SampleRate, AV_ROUND_NEAR_INF);
  return outFrames * FOut.FrameSize();
}

void TPcmConverter::Convert(const uint8_t* Data, size_t Bytes, std::vector<uint8_t>& Output) {
  const size_t inFrame = FIn.FrameSize();
  const uint8_t* source = Data;
  size_t available = Bytes;
  std::vector<uint8_t> joined;
  if (!Carry.empty()) {
    joined.reserve(Carry.size() + Bytes);
    joined.insert(joined.end(), Carry.begin(), Carry.end());
    if (Bytes) joined.insert(joined.end(), Data, Data + Bytes);
    Carry.clear();
    source = joined.data();
    available = joined.size();
  }
  const size_t frames = available / inFrame;
  const size_t used = frames * inFrame;
  if (used < available) Carry.assign(source + used, source + available);
  if (frames == 0) return;

  const uint8_t* plane = source;
  if (FIn.BitsPerSample == 24) {
    // Widen packed 24-bit samples to 32 bits (value in the upper bytes).
    const size_t samples = frames * FIn.Channels;
    Unpacked.resize(samples * 4);
    for (size_t s = 0; s < samples; ++s) {
      const uint8_t* in = source + s * 3;
      uint8_t* out = Unpacked.data() + s * 4;
      out[0] = 0;
      out[1] = in[0];
      out[2] = in[1];
      out[3] = in[2];
    }
    plane = Unpacked.data();
  }
  const uint8_t* planes[1] = {plane};
  Run(planes, static_cast<int>(frames), Output);
}

void TPcmConverter::Drain(std::vector<uint8_t>& Output) {
  Carry.clear();  // a partial frame at the very end cannot be played
  Run(nullptr, 0, Output);
}

void TPcmConverter::Run(const uint8_t* const* InPlanes, int InFrames, std::vector<uint8_t>& Output) {
  const uint32_t outSampleBytes = SwrBytes(FOut.BitsPerSample);
  for (;;) {
    const int capacity = std::max(swr_get_out_samples(Swr, InFrames), 0) + 32;
    Converted.resize(static_cast<size_t>(capacity) * FOut.Channels * outSampleBytes);
    uint8_t* outPlanes[1] = {Converted.data()};
    const int produced =
        swr_convert(Swr, outPlanes, capacity, const_cast<const uint8_t**>(InPlanes), InFrames);
    if (produced < 0) throw EAuException("PCM format conversion failed");
    const size_t samples = static_cast<size_t>(produced) * FOut.Channels;
    if (FOut.BitsPerSample == 24) {
      const size_t start = Output.size();
      Output.resize(start + samples * 3);
      for (size_t s = 0; s < samples; ++s) std::memcpy(Output.data() + start + s * 3, Converted.data() + s * 4 + 1, 3);
    } else {
      Output.insert(Output.end(), Converted.data(), Converted.data() + samples * outSampleBytes);
    }
    // Draining: repeat until the resampler has nothing left.
    if (InPlanes || produced == 0) return;
    InFrames = 0;
  }
}
