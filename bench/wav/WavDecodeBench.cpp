// Decode throughput (MB of PCM output per second) of TWaveIn and of
// libavformat + libavcodec (+ libswresample where the decoder's sample layout
// differs) on the same files, to the same output format, in one run.
//
//   bench_wav [seconds-of-audio]      (default 120)

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "BenchClock.h"
#include "ReportRow.h"
#include "audio/decoders/TWaveIn.h"
#include "support/AvCodecAudio.h"
#include "support/WavBuilder.h"

namespace {

// Output bytes of one full decode.
using TDecode = std::function<uint64_t(const std::string& path)>;

uint64_t DecodeWithReader(const std::string& path) {
  auto reader = MakeComponent<TWaveIn>();
  reader->SetFileName(path);
  if (!reader->Valid()) return 0;
  uint64_t total = 0;
  reader->Init();
  for (;;) {
    const uint8_t* block = nullptr;
    uint32_t bytes = 16384;
    reader->GetData(block, bytes);
    if (bytes == 0) break;
    total += bytes;
  }
  reader->Flush();
  return total;
}

// Demux and decode with libav; converts to interleaved outFormat with swr
// when the decoder's format differs. The converted samples go to a reused
// buffer, as the reader's go to its own.
uint64_t DecodeWithLibav(const std::string& path, AVSampleFormat outFormat) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return 0;
  avformat_find_stream_info(format, nullptr);
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  const AVStream* stream = format->streams[index];
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(context, stream->codecpar);
  context->pkt_timebase = stream->time_base;
  avcodec_open2(context, codec, nullptr);
  SwrContext* swr = nullptr;
  std::vector<uint8_t> converted;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  uint64_t total = 0;
  auto drain = [&] {
    while (avcodec_receive_frame(context, frame) == 0) {
      const int channels = frame->ch_layout.nb_channels;
      const uint64_t bytes = uint64_t(frame->nb_samples) * channels * av_get_bytes_per_sample(outFormat);
      if (frame->format != outFormat) {
        if (swr == nullptr) {
          swr_alloc_set_opts2(&swr, &frame->ch_layout, outFormat, frame->sample_rate, &frame->ch_layout,
                              AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
          swr_init(swr);
        }
        if (converted.size() < bytes) converted.resize(bytes);
        uint8_t* out[1] = {converted.data()};
        swr_convert(swr, out, frame->nb_samples, const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
      }
      total += bytes;
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == index && avcodec_send_packet(context, packet) == 0) drain();
    av_packet_unref(packet);
  }
  avcodec_send_packet(context, nullptr);
  drain();
  av_frame_free(&frame);
  av_packet_free(&packet);
  swr_free(&swr);
  avcodec_free_context(&context);
  avformat_close_input(&format);
  return total;
}

// MB/s of one round: repeats the decode for at least 0.2 s.
double RoundRate(const TDecode& decode, const std::string& path) {
  uint64_t bytes = 0;
  const auto start = bench::Clock::now();
  double elapsed = 0;
  do {
    bytes += decode(path);
    elapsed = bench::SecondsSince(start);
  } while (elapsed < 0.2);
  return double(bytes) / 1e6 / elapsed;
}

struct TCase {
  std::string Name;
  TBytes File;
  AVSampleFormat LibavOut;
};

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 120;
  const int rate = 44100;
  const size_t frames = size_t(seconds) * rate;
  const std::vector<int16_t> pcm = TestSignal(frames, 2, 1);

  std::vector<TCase> cases;
  TFmtFields f;
  cases.push_back({"PCM 16-bit", MakeWav(f, Int16Bytes(pcm)), AV_SAMPLE_FMT_S16});
  if (auto e = EncodeAdpcm("adpcm_ima_wav", pcm, 2, rate, 2048))
    cases.push_back({"IMA ADPCM", MakeAdpcmWav("adpcm_ima_wav", *e, 2, rate), AV_SAMPLE_FMT_S16});
  if (auto e = EncodeAdpcm("adpcm_ms", pcm, 2, rate, 2048))
    cases.push_back({"MS ADPCM", MakeAdpcmWav("adpcm_ms", *e, 2, rate), AV_SAMPLE_FMT_S16});
  {
    TBytes floats;
    floats.reserve(pcm.size() * 4);
    for (int16_t s : pcm) {
      const float v = float(s) / 32768.0f;
      const auto* p = reinterpret_cast<const uint8_t*>(&v);
      floats.insert(floats.end(), p, p + 4);
    }
    TFmtFields ff;
    ff.Tag = 3;
    ff.BitsPerSample = 32;
    cases.push_back({"float 32-bit", MakeWav(ff, floats), AV_SAMPLE_FMT_S32});
  }
  std::string why;
  if (auto e = EncodeMp3(pcm, 2, rate, 128, &why))
    cases.push_back({"MP3 in WAV", MakeMp3Wav(*e, 2, rate, 128), AV_SAMPLE_FMT_S16});
  else
    std::printf("MP3 in WAV skipped: %s\n", why.c_str());

  std::printf("%d s of 44.1 kHz stereo; MB of PCM output per second (best of 5 alternating rounds)\n", seconds);
  std::printf("%-14s %12s %12s %8s\n", "format", "TWaveIn", "libavcodec", "ratio");
  for (const TCase& c : cases) {
    TTempFile file(c.File);
    const AVSampleFormat outFormat = c.LibavOut;
    const TDecode libav = [outFormat](const std::string& p) { return DecodeWithLibav(p, outFormat); };
    // Rounds alternate between the two so a busy machine hurts both alike;
    // the best round of each counts.
    double ours = 0, theirs = 0;
    for (int round = 0; round < 5; ++round) {
      ours = std::max(ours, RoundRate(DecodeWithReader, file.Path()));
      theirs = std::max(theirs, RoundRate(libav, file.Path()));
    }
    std::printf("%-14s %12.1f %12.1f %8.2f\n", c.Name.c_str(), ours, theirs, ours / theirs);
    bench::ReportRow("WAV decode, " + c.Name, ours, "MB/s", "libavcodec (ours/theirs)", theirs, "MB/s", ours / theirs);
  }
  return 0;
}
