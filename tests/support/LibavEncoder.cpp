#include "support/LibavEncoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>

namespace {

AVSampleFormat PickFormat(const AVCodec* codec) {
  if (!codec->sample_fmts) return AV_SAMPLE_FMT_S16;
  for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
    if (*f == AV_SAMPLE_FMT_S16 || *f == AV_SAMPLE_FMT_S16P) return *f;
  return codec->sample_fmts[0];
}

// Writes one sample of PCM into an encoder frame of any common format.
void PutSample(AVFrame& frame, int channels, int index, int channel, int16_t value) {
  const auto fmt = AVSampleFormat(frame.format);
  const bool planar = av_sample_fmt_is_planar(fmt);
  const int slot = planar ? index : index * channels + channel;
  uint8_t* base = frame.extended_data[planar ? channel : 0];
  switch (av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_S16: reinterpret_cast<int16_t*>(base)[slot] = value; break;
    case AV_SAMPLE_FMT_S32: reinterpret_cast<int32_t*>(base)[slot] = int32_t(value) * 65536; break;
    case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(base)[slot] = float(value) / 32768.0f; break;
    case AV_SAMPLE_FMT_DBL: reinterpret_cast<double*>(base)[slot] = double(value) / 32768.0; break;
    case AV_SAMPLE_FMT_U8: base[slot] = uint8_t((value >> 8) + 128); break;
    default: break;
  }
}

bool Drain(AVCodecContext& encoder, AVPacket& packet, const TPacketSink& sink) {
  for (;;) {
    const int ret = avcodec_receive_packet(&encoder, &packet);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
    if (ret < 0) return false;
    const bool taken = sink(packet);
    av_packet_unref(&packet);
    if (!taken) return false;
  }
}

}  // namespace

TAvCodecContextPtr OpenEncoder(const AVCodec* codec, const TEncoderSettings& settings) {
  TAvCodecContextPtr context(avcodec_alloc_context3(codec));
  if (!context) return nullptr;
  context->sample_fmt = PickFormat(codec);
  av_channel_layout_default(&context->ch_layout, settings.Channels);
  context->sample_rate = settings.SampleRate;
  context->time_base = AVRational{1, settings.SampleRate};
  if (settings.BitRate > 0) context->bit_rate = settings.BitRate;
  if (settings.BlockSize > 0) av_opt_set_int(context->priv_data, "block_size", settings.BlockSize, 0);
  if (settings.GlobalHeader) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return nullptr;
  return context;
}

bool EncodePcm(AVCodecContext& encoder, const std::vector<int16_t>& pcm, bool padLastFrame, const TPacketSink& sink) {
  const int channels = encoder.ch_layout.nb_channels;
  if (channels <= 0) return false;
  TAvFramePtr frame(av_frame_alloc());
  TAvPacketPtr packet(av_packet_alloc());
  if (!frame || !packet) return false;
  const int64_t total = int64_t(pcm.size()) / channels;
  const int chunk = encoder.frame_size > 0 ? encoder.frame_size : 1024;
  const bool shortFrames = !padLastFrame && ((encoder.codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) ||
                                             (encoder.codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) ||
                                             encoder.frame_size == 0);
  for (int64_t at = 0; at < total; at += chunk) {
    const int n = int(std::min<int64_t>(chunk, total - at));
    av_frame_unref(frame.get());
    frame->format = encoder.sample_fmt;
    if (av_channel_layout_copy(&frame->ch_layout, &encoder.ch_layout) < 0) return false;
    frame->sample_rate = encoder.sample_rate;
    frame->nb_samples = shortFrames ? n : chunk;
    if (av_frame_get_buffer(frame.get(), 0) < 0) return false;
    av_samples_set_silence(frame->extended_data, 0, frame->nb_samples, channels, encoder.sample_fmt);
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < channels; ++c) PutSample(*frame, channels, i, c, pcm[size_t((at + i) * channels + c)]);
    frame->pts = at;
    if (avcodec_send_frame(&encoder, frame.get()) < 0) return false;
    if (!Drain(encoder, *packet, sink)) return false;
  }
  if (avcodec_send_frame(&encoder, nullptr) < 0) return false;
  return Drain(encoder, *packet, sink);
}
