#pragma once
// The libavcodec encoding loop shared by the test-file makers: owning handles
// for the libav objects they use, an encoder opened for 16-bit PCM input, and
// the loop that feeds it the PCM frame by frame and hands on every packet.

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct TAvCodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct TAvPacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct TAvFrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using TAvCodecContextPtr = std::unique_ptr<AVCodecContext, TAvCodecContextFree>;
using TAvPacketPtr = std::unique_ptr<AVPacket, TAvPacketFree>;
using TAvFramePtr = std::unique_ptr<AVFrame, TAvFrameFree>;

struct TEncoderSettings {
  int Channels = 2;
  int SampleRate = 44100;
  int64_t BitRate = 0;        // bits per second; 0 keeps the encoder's default
  int BlockSize = 0;          // the encoder's "block_size" option (ADPCM); 0 keeps it
  bool GlobalHeader = false;  // the muxer wants the codec headers as extradata
};

// Opens codec with its 16-bit sample format (interleaved or planar), or the
// first format it lists when it has none; null when it cannot be opened.
TAvCodecContextPtr OpenEncoder(const AVCodec* codec, const TEncoderSettings& settings);

// Takes each packet the encoder makes; false stops the encoding as failed.
using TPacketSink = std::function<bool(AVPacket& packet)>;

// Encodes interleaved 16-bit pcm in frames of the encoder's frame size (1024
// where it has none), then flushes the encoder. The last frame is padded with
// silence to the full size when padLastFrame is set or the encoder cannot take
// a short one. Frame pts count samples from 0. False when libavcodec or the
// sink fails.
bool EncodePcm(AVCodecContext& encoder, const std::vector<int16_t>& pcm, bool padLastFrame, const TPacketSink& sink);
