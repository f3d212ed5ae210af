#include "audio/decoders/CodecManager.h"

#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagMpegLayer3 = 0x55;
constexpr uint32_t kMpegLayer3FormatBytes = 30;

struct TMp3Frame {
  uint32_t Bytes = 0;
  uint32_t Samples = 0;  // per channel
  uint32_t SampleRate = 0;
  uint32_t Channels = 0;
};

// Reads a layer III frame header at p (4 bytes). Free-format and reserved
// values are refused.
bool ReadMp3FrameHeader(const uint8_t* p, TMp3Frame& f) {
  static constexpr uint16_t kBitrateV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static constexpr uint16_t kBitrateV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
  static constexpr uint32_t kRates[3] = {44100, 48000, 32000};
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const unsigned version = (p[1] >> 3) & 3;  // 0 = 2.5, 1 reserved, 2 = 2, 3 = 1
  const unsigned layer = (p[1] >> 1) & 3;    // 1 = layer III
  const unsigned bitrateIndex = p[2] >> 4;
  const unsigned rateIndex = (p[2] >> 2) & 3;
  if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
  const bool mpeg1 = version == 3;
  const uint32_t bitrate = 1000u * (mpeg1 ? kBitrateV1 : kBitrateV2)[bitrateIndex];
  f.SampleRate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  f.Samples = mpeg1 ? 1152 : 576;
  f.Bytes = (mpeg1 ? 144 : 72) * bitrate / f.SampleRate + ((p[2] >> 1) & 1);
  f.Channels = (p[3] >> 6) == 3 ? 1 : 2;
  return true;
}

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

}  // namespace

struct TCodecStream::TImpl {
  std::unique_ptr<AVCodecContext, TCodecContextDeleter> Context;
  uint32_t SampleRate = 0;
  uint32_t Channels = 0;
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

TCodecStream::TCodecStream() : Impl(std::make_unique<TImpl>()) {}
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

namespace {

// Appends the decoded frame as interleaved 16-bit samples; returns bytes written.
uint32_t CopyFrame(const AVFrame& frame, uint32_t channels, uint8_t* out, uint32_t room) {
  const uint32_t samples = uint32_t(frame.nb_samples);
  const uint32_t bytes = samples * channels * 2;
  if (bytes > room || frame.ch_layout.nb_channels != int(channels)) return 0;
  auto clip = [](float v) {
    const long s = std::lrintf(v * 32768.0f);
    return int16_t(s > 32767 ? 32767 : s < -32768 ? -32768 : s);
  };
  switch (frame.format) {
    case AV_SAMPLE_FMT_S16:
      std::memcpy(out, frame.data[0], bytes);
      return bytes;
    case AV_SAMPLE_FMT_S16P:
      for (uint32_t i = 0; i < samples; ++i)
        for (uint32_t c = 0; c < channels; ++c)
          std::memcpy(out + 2 * (i * channels + c), frame.extended_data[c] + 2 * i, 2);
      return bytes;
    case AV_SAMPLE_FMT_FLTP:
      for (uint32_t c = 0; c < channels; ++c) {
        const float* in = reinterpret_cast<const float*>(frame.extended_data[c]);
        for (uint32_t i = 0; i < samples; ++i) {
          const int16_t s = clip(in[i]);
          std::memcpy(out + 2 * (i * channels + c), &s, 2);
        }
      }
      return bytes;
    default:
      return 0;
  }
}

}  // namespace

uint32_t TCodecStream::Convert(const uint8_t* source, uint32_t sourceBytes, uint8_t* dest, uint32_t destBytes,
                               uint32_t& sourceUsed, uint32_t& destUsed) {
  sourceUsed = 0;
  destUsed = 0;
  if (!Impl->Context) return kCodecErrInvalidParam;
  std::unique_ptr<AVPacket, TPacketDeleter> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, TFrameDeleter> frame(av_frame_alloc());
  if (!packet || !frame) return kCodecErrNoMem;
  AVCodecContext* context = Impl->Context.get();
  uint32_t out = 0;
  uint32_t used = 0;
  ForEachFrame(source, sourceBytes, Impl->SampleRate, Impl->Channels, [&](const uint8_t* data, const TMp3Frame& f) {
    const uint32_t frameBytes = f.Samples * f.Channels * 2;
    used = uint32_t(data - source) + f.Bytes;
    if (out + uint64_t(frameBytes) > destBytes) return;  // no room: the estimate was not asked for
    if (av_new_packet(packet.get(), int(f.Bytes)) < 0) return;
    std::memcpy(packet->data, data, f.Bytes);
    uint32_t produced = 0;
    if (avcodec_send_packet(context, packet.get()) == 0) {
      while (avcodec_receive_frame(context, frame.get()) == 0) {
        produced += CopyFrame(*frame, Impl->Channels, dest + out + produced, destBytes - out - produced);
        av_frame_unref(frame.get());
      }
    }
    av_packet_unref(packet.get());
    // A rejected frame keeps its place as silence.
    if (produced < frameBytes) std::memset(dest + out + produced, 0, frameBytes - produced);
    out += produced > frameBytes ? produced : frameBytes;
  });
  sourceUsed = used;
  destUsed = out > destBytes ? destBytes : out;
  return kCodecOk;
}
