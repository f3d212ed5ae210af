#include "audio/decoders/CodecManager.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "audio/decoders/FfmpegInit.h"
#include "audio/decoders/Mp3FrameHeader.h"

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagMpegLayer3 = 0x55;
constexpr uint32_t kMpegLayer3FormatBytes = 30;

// Walks the complete frames of the stream's format in buf, calling visit for
// each; bytes that do not start such a frame are stepped over one by one.
template <typename Visit>
void ForEachFrame(const uint8_t* buf, uint32_t bytes, uint32_t rate, uint32_t channels, Visit visit) {
  uint32_t pos = 0;
  while (pos + 4 <= bytes) {
    TMp3Frame f;
    if (ReadMp3FrameHeader(buf + pos, f) && f.SampleRate == rate && f.Channels == channels &&
        f.Bytes <= bytes - pos) {
      visit(buf + pos, f);
      pos += f.Bytes;
    } else {
      ++pos;
    }
  }
}

bool IsMp3Rate(uint32_t rate) {
  for (uint32_t r : {44100u, 48000u, 32000u, 22050u, 24000u, 16000u, 11025u, 12000u, 8000u})
    if (r == rate) return true;
  return false;
}

struct TCodecContextDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct TPacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct TFrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct TSwrDeleter {
  void operator()(SwrContext* s) const { swr_free(&s); }
};

}  // namespace

struct TCodecStream::TImpl {
  std::unique_ptr<AVCodecContext, TCodecContextDeleter> Context;
  std::unique_ptr<SwrContext, TSwrDeleter> Resampler;  // the decoder's sample layout to 16-bit interleaved
  int ResamplerFormat = -1;
  uint32_t SampleRate = 0;
  uint32_t Channels = 0;

  // Appends the decoded frame as interleaved 16-bit samples, at most room
  // bytes; returns the bytes appended (0 for a frame it cannot take).
  uint32_t AppendFrame(const AVFrame& frame, std::vector<uint8_t>& dest, uint32_t room);
};

uint32_t CodecMaxFormatBytes() { return kMpegLayer3FormatBytes; }

uint32_t CodecSuggestFormat(const TWaveFormatRecord& source, TWaveFormatRecord& dest, uint32_t destBytes,
                            uint32_t flags) {
  if (destBytes < 16 || destBytes > kWaveFormatRecordBytes) return kCodecErrInvalidParam;
  if ((flags & kSuggestRestrictFormatTag) != 0 && dest.FormatTag() != kTagPcm) return kCodecErrNotPossible;
  if (source.FormatTag() != kTagMpegLayer3) return kCodecErrNotPossible;
  const uint16_t channels = source.Channels();
  const uint32_t rate = source.SamplesPerSec();
  if (channels < 1 || channels > 2 || !IsMp3Rate(rate)) return kCodecErrNotPossible;
  std::memset(dest.Bytes.data(), 0, destBytes);
  dest.SetFormatTag(kTagPcm);
  dest.SetChannels(channels);
  dest.SetSamplesPerSec(rate);
  dest.SetBitsPerSample(16);
  dest.SetBlockAlign(uint16_t(channels * 2));
  dest.SetAvgBytesPerSec(rate * channels * 2);
  return kCodecOk;
}

TCodecStream::TCodecStream() : Impl(std::make_unique<TImpl>()) { InitFfmpegOnce(); }
TCodecStream::~TCodecStream() = default;

uint32_t TCodecStream::Open(const TWaveFormatRecord& source, const TWaveFormatRecord& dest) {
  if (source.FormatTag() != kTagMpegLayer3 || dest.FormatTag() != kTagPcm) return kCodecErrNotPossible;
  if (source.Channels() < 1 || source.Channels() > 2 || !IsMp3Rate(source.SamplesPerSec())) return kCodecErrNotPossible;
  if (dest.Channels() != source.Channels() || dest.SamplesPerSec() != source.SamplesPerSec() ||
      dest.BitsPerSample() != 16)
    return kCodecErrNotPossible;
  // The floating-point decoder is the faster one; its output is rounded to 16 bits here.
  const AVCodec* codec = avcodec_find_decoder_by_name("mp3float");
  if (codec == nullptr) codec = avcodec_find_decoder(AV_CODEC_ID_MP3);
  if (codec == nullptr) return kCodecErrNoDriver;
  std::unique_ptr<AVCodecContext, TCodecContextDeleter> context(avcodec_alloc_context3(codec));
  if (!context) return kCodecErrNoMem;
  context->sample_rate = int(source.SamplesPerSec());
  av_channel_layout_default(&context->ch_layout, source.Channels());
  context->request_sample_fmt = AV_SAMPLE_FMT_S16;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return kCodecErrNoDriver;
  Impl->Context = std::move(context);
  Impl->SampleRate = source.SamplesPerSec();
  Impl->Channels = source.Channels();
  return kCodecOk;
}

uint32_t TCodecStream::Size(const uint8_t* source, uint32_t sourceBytes, uint32_t& destBytes) const {
  destBytes = 0;
  if (!Impl->Context) return kCodecErrInvalidParam;
  uint64_t total = 0;
  // Data without a single frame of the stream's format is not MPEG layer 3.
  ForEachFrame(source, sourceBytes, Impl->SampleRate, Impl->Channels,
               [&](const uint8_t*, const TMp3Frame& f) { total += uint64_t(f.Samples) * f.Channels * 2; });
  if (total == 0) return kCodecErrNotPossible;
  if (total > UINT32_MAX) return kCodecErrNotPossible;  // beyond what a WAV data chunk can describe
  destBytes = uint32_t(total);
  return kCodecOk;
}

uint32_t TCodecStream::TImpl::AppendFrame(const AVFrame& frame, std::vector<uint8_t>& dest, uint32_t room) {
  const uint32_t samples = uint32_t(frame.nb_samples);
  const uint32_t bytes = samples * Channels * 2;
  if (bytes > room || frame.ch_layout.nb_channels != int(Channels)) return 0;
  if (frame.format == AV_SAMPLE_FMT_S16) {
    dest.insert(dest.end(), frame.data[0], frame.data[0] + bytes);
    return bytes;
  }
  // Any other layout (the float decoder's planar floats) goes through
  // libswresample, whose vector code rounds to nearest as lrintf does.
  if (!Resampler || ResamplerFormat != frame.format) {
    SwrContext* swr = nullptr;
    AVChannelLayout layout{};
    const bool made = av_channel_layout_copy(&layout, &frame.ch_layout) == 0 &&
                      swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_S16, frame.sample_rate, &layout,
                                          AVSampleFormat(frame.format), frame.sample_rate, 0, nullptr) >= 0 &&
                      swr_init(swr) >= 0;
    av_channel_layout_uninit(&layout);
    if (!made) {
      swr_free(&swr);
      return 0;
    }
    Resampler.reset(swr);
    ResamplerFormat = frame.format;
  }
  const size_t at = dest.size();
  dest.resize(at + bytes);
  uint8_t* out = dest.data() + at;
  const int made = swr_convert(Resampler.get(), &out, int(samples), const_cast<const uint8_t**>(frame.extended_data),
                               int(samples));
  if (made != int(samples)) {
    dest.resize(at);
    return 0;
  }
  return bytes;
}

uint32_t TCodecStream::Convert(const uint8_t* source, uint32_t sourceBytes, std::vector<uint8_t>& dest,
                               uint32_t destLimit, uint32_t& sourceUsed) {
  sourceUsed = 0;
  if (!Impl->Context) return kCodecErrInvalidParam;
  std::unique_ptr<AVPacket, TPacketDeleter> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, TFrameDeleter> frame(av_frame_alloc());
  if (!packet || !frame) return kCodecErrNoMem;
  AVCodecContext* context = Impl->Context.get();
  const size_t start = dest.size();
  uint32_t used = 0;
  ForEachFrame(source, sourceBytes, Impl->SampleRate, Impl->Channels, [&](const uint8_t* data, const TMp3Frame& f) {
    const uint32_t frameBytes = f.Samples * f.Channels * 2;
    const size_t out = dest.size() - start;
    used = uint32_t(data - source) + f.Bytes;
    if (out + uint64_t(frameBytes) > destLimit) return;  // no room: the estimate was not asked for
    if (av_new_packet(packet.get(), int(f.Bytes)) < 0) return;
    std::memcpy(packet->data, data, f.Bytes);
    uint32_t produced = 0;
    if (avcodec_send_packet(context, packet.get()) == 0) {
      while (avcodec_receive_frame(context, frame.get()) == 0) {
        produced += Impl->AppendFrame(*frame, dest, uint32_t(destLimit - out - produced));
        av_frame_unref(frame.get());
      }
    }
    av_packet_unref(packet.get());
    // A rejected frame keeps its place as silence.
    if (produced < frameBytes) dest.resize(dest.size() + (frameBytes - produced), 0);
  });
  sourceUsed = used;
  return kCodecOk;
}
