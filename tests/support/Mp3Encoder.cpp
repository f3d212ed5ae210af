#include "support/Mp3Encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "support/LibavEncoder.h"

namespace {

struct FormatCloser {
  void operator()(AVFormatContext* f) const {
    if (!f) return;
    if (f->pb && !(f->oformat && (f->oformat->flags & AVFMT_NOFILE))) avio_closep(&f->pb);
    avformat_free_context(f);
  }
};
struct InputCloser {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct SwrCloser {
  void operator()(SwrContext* s) const { swr_free(&s); }
};

bool Fail(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

}  // namespace

bool EncodeAudioFile(const std::string& Path, const std::vector<int16_t>& Pcm, const TEncodeRequest& Request,
                     std::string* Why) {
  const AVCodec* codec = avcodec_find_encoder_by_name(Request.Codec.c_str());
  if (!codec) return Fail(Why, "libavcodec has no encoder " + Request.Codec);
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, nullptr, Request.Container.c_str(), Path.c_str()) < 0 || !raw)
    return Fail(Why, "libavformat has no muxer " + Request.Container);
  std::unique_ptr<AVFormatContext, FormatCloser> out(raw);
  AVStream* st = avformat_new_stream(out.get(), nullptr);
  if (!st) return Fail(Why, "out of memory");
  TEncoderSettings settings;
  settings.Channels = Request.Channels;
  settings.SampleRate = Request.SampleRate;
  settings.BitRate = Request.BitRate;
  settings.GlobalHeader = out->oformat->flags & AVFMT_GLOBALHEADER;
  TAvCodecContextPtr enc = OpenEncoder(codec, settings);
  if (!enc) return Fail(Why, "cannot open encoder " + Request.Codec);
  if (avcodec_parameters_from_context(st->codecpar, enc.get()) < 0) return Fail(Why, "bad parameters");
  st->time_base = enc->time_base;
  for (const auto& [key, value] : Request.Metadata) av_dict_set(&out->metadata, key.c_str(), value.c_str(), 0);
  if (avio_open(&out->pb, Path.c_str(), AVIO_FLAG_WRITE) < 0) return Fail(Why, "cannot create " + Path);
  AVDictionary* options = nullptr;
  for (const auto& [key, value] : Request.MuxerOptions) av_dict_set(&options, key.c_str(), value.c_str(), 0);
  const int headerResult = avformat_write_header(out.get(), &options);
  av_dict_free(&options);
  if (headerResult < 0) return Fail(Why, "cannot write the header");

  // Packets go to the muxer in the stream's time base.
  bool written = true;
  const bool encoded = EncodePcm(*enc, Pcm, false, [&](AVPacket& packet) {
    av_packet_rescale_ts(&packet, enc->time_base, st->time_base);
    packet.stream_index = st->index;
    written = av_interleaved_write_frame(out.get(), &packet) >= 0;
    return written;
  });
  if (!written) return Fail(Why, "writing failed");
  if (!encoded) return Fail(Why, "encoding failed");
  if (av_write_trailer(out.get()) < 0) return Fail(Why, "cannot write the trailer");
  return true;
}

bool EncodeMp3File(const std::string& Path, const std::vector<int16_t>& Pcm, int Channels, int SampleRate,
                   const std::map<std::string, std::string>& Metadata) {
  TEncodeRequest request;
  request.Channels = Channels;
  request.SampleRate = SampleRate;
  request.BitRate = Channels == 1 ? 64000 : 128000;
  request.Metadata = Metadata;
  if (avcodec_find_encoder_by_name("libmp3lame")) return EncodeAudioFile(Path, Pcm, request);
  static bool told = false;
  if (!told) {
    std::printf("libavcodec has no libmp3lame encoder: test files use MPEG audio layer 2 instead\n");
    told = true;
  }
  request.Codec = "mp2";
  request.Container = "mp2";
  return EncodeAudioFile(Path, Pcm, request);
}

std::vector<int16_t> ToneSignal(int Channels, int SampleRate, double Seconds, double BaseHz, double Amplitude) {
  const size_t frames = size_t(std::llround(Seconds * SampleRate));
  std::vector<int16_t> pcm(frames * size_t(Channels));
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < Channels; ++c) {
      double hz = BaseHz + 220.0 * c;
      pcm[i * size_t(Channels) + size_t(c)] =
          int16_t(std::lround(Amplitude * 32767.0 * std::sin(2.0 * M_PI * hz * double(i) / SampleRate)));
    }
  return pcm;
}

TReferenceDecode DecodeWithLibav(const std::string& Path, int BitsPerSample) {
  TReferenceDecode result;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, Path.c_str(), nullptr, nullptr) < 0) return result;
  std::unique_ptr<AVFormatContext, InputCloser> in(raw);
  if (avformat_find_stream_info(in.get(), nullptr) < 0) return result;
  const int index = av_find_best_stream(in.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (index < 0) return result;
  AVStream* st = in->streams[index];
  const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
  if (!codec) return result;
  TAvCodecContextPtr dec(avcodec_alloc_context3(codec));
  avcodec_parameters_to_context(dec.get(), st->codecpar);
  dec->pkt_timebase = st->time_base;
  if (avcodec_open2(dec.get(), codec, nullptr) < 0) return result;

  const AVSampleFormat target = BitsPerSample == 8 ? AV_SAMPLE_FMT_U8
                                : BitsPerSample == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
  TAvFramePtr frame(av_frame_alloc());
  TAvPacketPtr pkt(av_packet_alloc());
  std::unique_ptr<SwrContext, SwrCloser> swr;
  result.Channels = st->codecpar->ch_layout.nb_channels;
  result.SampleRate = st->codecpar->sample_rate;
  const int bytes = av_get_bytes_per_sample(target);

  auto take = [&]() {
    while (avcodec_receive_frame(dec.get(), frame.get()) == 0) {
      if (!swr) {
        SwrContext* s = nullptr;
        AVChannelLayout layout{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE) av_channel_layout_copy(&layout, &frame->ch_layout);
        else av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
        swr_alloc_set_opts2(&s, &layout, target, frame->sample_rate, &layout, AVSampleFormat(frame->format),
                            frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        swr_init(s);
        swr.reset(s);
      }
      size_t at = result.Pcm.size();
      result.Pcm.resize(at + size_t(frame->nb_samples) * size_t(result.Channels) * size_t(bytes));
      uint8_t* outp = result.Pcm.data() + at;
      swr_convert(swr.get(), &outp, frame->nb_samples, const_cast<const uint8_t**>(frame->extended_data),
                  frame->nb_samples);
      av_frame_unref(frame.get());
    }
  };
  while (av_read_frame(in.get(), pkt.get()) >= 0) {
    if (pkt->stream_index == index) avcodec_send_packet(dec.get(), pkt.get());
    av_packet_unref(pkt.get());
    take();
  }
  avcodec_send_packet(dec.get(), nullptr);
  take();
  result.Ok = true;
  return result;
}
