#include "support/AvCodecAudio.h"

#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include "support/LibavEncoder.h"

namespace {

// Encodes with every frame full (the last padded with silence), as block
// codecs store it, and collects the packets back to back.
std::optional<TEncodedAudio> Encode(const AVCodec* codec, const std::vector<int16_t>& pcm, int channels,
                                    int sampleRate, int blockAlign, int bitrateKbps) {
  TEncoderSettings settings;
  settings.Channels = channels;
  settings.SampleRate = sampleRate;
  settings.BitRate = int64_t(bitrateKbps) * 1000;
  settings.BlockSize = blockAlign;
  TAvCodecContextPtr context = OpenEncoder(codec, settings);
  if (!context) return std::nullopt;

  TEncodedAudio result;
  result.BlockAlign = uint16_t(context->block_align);
  result.SamplesPerBlock = uint32_t(context->frame_size);
  result.Frames = uint32_t(pcm.size() / size_t(channels));
  if (context->extradata_size > 0)
    result.Extradata.assign(context->extradata, context->extradata + context->extradata_size);
  const bool encoded = EncodePcm(*context, pcm, true, [&](AVPacket& packet) {
    result.Data.insert(result.Data.end(), packet.data, packet.data + packet.size);
    result.PacketBytes.push_back(uint32_t(packet.size));
    return true;
  });
  if (!encoded) return std::nullopt;
  return result;
}

}  // namespace

std::optional<TEncodedAudio> EncodeAdpcm(const std::string& codecName, const std::vector<int16_t>& pcm, int channels,
                                         int sampleRate, int blockAlign) {
  const AVCodec* codec = avcodec_find_encoder_by_name(codecName.c_str());
  if (codec == nullptr) return std::nullopt;
  return Encode(codec, pcm, channels, sampleRate, blockAlign, 0);
}

TBytes MakeAdpcmWav(const std::string& codec, const TEncodedAudio& e, int channels, int sampleRate) {
  TFmtFields f;
  f.Tag = codec == "adpcm_ms" ? 2 : 0x11;
  f.Channels = uint16_t(channels);
  f.SampleRate = uint32_t(sampleRate);
  f.BlockAlign = e.BlockAlign;
  f.AvgBytesPerSec = uint32_t(uint64_t(sampleRate) * e.BlockAlign / e.SamplesPerBlock);
  f.BitsPerSample = 4;
  f.WithExtraSize = true;
  f.Extra = e.Extradata;
  if (f.Extra.empty()) PutLE16(f.Extra, uint16_t(e.SamplesPerBlock));
  return MakeWav(f, e.Data, e.Frames);
}

std::vector<int16_t> DecodeAdpcmWithLibav(const std::string& codecName, const TBytes& blocks, int channels,
                                          int sampleRate, int blockAlign, const TBytes& extradata) {
  std::vector<int16_t> out;
  const AVCodec* codec = avcodec_find_decoder_by_name(codecName.c_str());
  if (codec == nullptr) return out;
  TAvCodecContextPtr context(avcodec_alloc_context3(codec));
  context->sample_rate = sampleRate;
  av_channel_layout_default(&context->ch_layout, channels);
  context->block_align = blockAlign;
  context->bits_per_coded_sample = 4;
  if (!extradata.empty()) {
    context->extradata = static_cast<uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    std::memcpy(context->extradata, extradata.data(), extradata.size());
    context->extradata_size = int(extradata.size());
  }
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return out;
  TAvPacketPtr packet(av_packet_alloc());
  TAvFramePtr frame(av_frame_alloc());
  for (size_t at = 0; at + size_t(blockAlign) <= blocks.size(); at += size_t(blockAlign)) {
    if (av_new_packet(packet.get(), blockAlign) < 0) break;
    std::memcpy(packet->data, blocks.data() + at, size_t(blockAlign));
    if (avcodec_send_packet(context.get(), packet.get()) == 0) {
      while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
        for (int i = 0; i < frame->nb_samples; ++i)
          for (int c = 0; c < channels; ++c)
            out.push_back(frame->format == AV_SAMPLE_FMT_S16
                              ? reinterpret_cast<const int16_t*>(frame->data[0])[i * channels + c]
                              : reinterpret_cast<const int16_t*>(frame->extended_data[c])[i]);
        av_frame_unref(frame.get());
      }
    }
    av_packet_unref(packet.get());
  }
  return out;
}

std::optional<TEncodedAudio> EncodeMp3(const std::vector<int16_t>& pcm, int channels, int sampleRate,
                                       int bitrateKbps, std::string* why) {
  const AVCodec* codec = avcodec_find_encoder_by_name("libmp3lame");
  if (codec == nullptr) {
    if (why != nullptr) *why = "this libavcodec has no libmp3lame encoder";
    return std::nullopt;
  }
  auto result = Encode(codec, pcm, channels, sampleRate, 0, bitrateKbps);
  if (!result && why != nullptr) *why = "libmp3lame could not be opened";
  if (result) result->BlockAlign = 1;
  return result;
}

TBytes MakeMp3Wav(const TEncodedAudio& e, int channels, int sampleRate, int bitrateKbps) {
  TFmtFields f;
  f.Tag = 0x55;
  f.Channels = uint16_t(channels);
  f.SampleRate = uint32_t(sampleRate);
  f.AvgBytesPerSec = uint32_t(bitrateKbps * 1000 / 8);
  f.BlockAlign = 1;
  f.BitsPerSample = 0;
  f.WithExtraSize = true;
  PutLE16(f.Extra, 1);  // MPEG layer 3 id
  PutLE32(f.Extra, 2);  // flags: padding off
  PutLE16(f.Extra, uint16_t(144 * bitrateKbps * 1000 / sampleRate));  // block size
  PutLE16(f.Extra, 1);     // frames per block
  PutLE16(f.Extra, 1393);  // codec delay
  return MakeWav(f, e.Data, e.Frames);
}
