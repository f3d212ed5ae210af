// Media-reader figures, side by side in one run:
//  1. opening and measuring 200 MP3 clips (Valid + TotalTime through TMP3In,
//     as the window checks clips) against a bare libavformat open that reads
//     the same duration;
//  2. opening hour-long MP3s without a length header, at a constant and a
//     variable bit rate;
//  3. decoding one long MP3 through TMP3In (Init / GetData / Flush) against a
//     direct libavcodec loop that produces the same 16-bit PCM; the ratio of
//     their throughputs is what our layers cost (goal: >= 0.95). It is given
//     in wall-clock time and in the thread's CPU time, which a busy machine
//     disturbs less (time spent waiting for a core is not counted).
//
//   bench_mp3 [ROUNDS]

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "ReportRow.h"
#include "audio/decoders/TMP3In.h"
#include "support/AvCodecAudio.h"
#include "support/Mp3Encoder.h"

namespace {

using bench::BestSeconds;

std::vector<int16_t> Music(int seconds) {
  // Tones with noise, so the encoder has real work and the frames vary.
  std::vector<int16_t> pcm = ToneSignal(2, 44100, seconds, 330.0, 0.4);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> noise(-3000, 3000);
  for (auto& s : pcm) s = int16_t(std::clamp(int(s) + noise(rng), -32768, 32767));
  return pcm;
}

// Bare libavformat: open, read the stream info and the duration.
int64_t DirectMeasure(const std::string& path) {
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return -1;
  avformat_find_stream_info(fmt, nullptr);
  int64_t d = fmt->duration;
  avformat_close_input(&fmt);
  return d;
}

// Direct libavcodec decode to interleaved 16-bit PCM; returns the bytes made.
size_t DirectDecode(const std::string& path) {
  AVFormatContext* fmt = nullptr;
  if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return 0;
  avformat_find_stream_info(fmt, nullptr);
  int index = av_find_best_stream(fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  AVStream* st = fmt->streams[index];
  const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
  AVCodecContext* dec = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(dec, st->codecpar);
  dec->pkt_timebase = st->time_base;
  avcodec_open2(dec, codec, nullptr);
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwrContext* swr = nullptr;
  std::vector<uint8_t> out;
  size_t total = 0;
  auto drain = [&] {
    while (avcodec_receive_frame(dec, frame) == 0) {
      if (!swr) {
        swr_alloc_set_opts2(&swr, &frame->ch_layout, AV_SAMPLE_FMT_S16, frame->sample_rate, &frame->ch_layout,
                            AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
        swr_init(swr);
      }
      out.resize(size_t(frame->nb_samples) * size_t(frame->ch_layout.nb_channels) * 2);
      uint8_t* p = out.data();
      int n = swr_convert(swr, &p, frame->nb_samples, const_cast<const uint8_t**>(frame->extended_data),
                          frame->nb_samples);
      total += size_t(n) * size_t(frame->ch_layout.nb_channels) * 2;
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(fmt, pkt) >= 0) {
    if (pkt->stream_index == index) avcodec_send_packet(dec, pkt);
    av_packet_unref(pkt);
    drain();
  }
  avcodec_send_packet(dec, nullptr);
  drain();
  swr_free(&swr);
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&dec);
  avformat_close_input(&fmt);
  return total;
}

// CPU time of the calling thread in seconds.
double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

size_t ReaderDecode(TMP3In& reader) {
  size_t total = 0;
  reader.Init();
  for (;;) {
    const uint8_t* data = nullptr;
    uint32_t bytes = 65536;
    reader.GetData(data, bytes);
    if (bytes == 0) break;
    total += bytes;
  }
  reader.Flush();
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  char pattern[] = "/tmp/vomrella-mp3bench-XXXXXX";
  const std::string dir = mkdtemp(pattern) ? pattern : "/tmp";

  // 1. 200 clips of 3 s.
  constexpr int kClips = 200;
  const std::string first = dir + "/clip0.mp3";
  if (!EncodeMp3File(first, Music(3), 2, 44100)) {
    std::fprintf(stderr, "cannot make the test clip\n");
    return 1;
  }
  std::vector<std::string> clips{first};
  for (int i = 1; i < kClips; ++i) {
    clips.push_back(dir + "/clip" + std::to_string(i) + ".mp3");
    std::filesystem::copy_file(first, clips.back(), std::filesystem::copy_options::overwrite_existing);
  }
  int64_t secondsSeen = 0;
  const double readerOpen = BestSeconds(rounds, [&] {
    secondsSeen = 0;
    for (const auto& path : clips) {
      auto reader = MakeComponent<TMP3In>();
      reader->SetFileName(path);
      if (reader->Valid()) secondsSeen += reader->TotalTime();
    }
  });
  const double directOpen = BestSeconds(rounds, [&] {
    for (const auto& path : clips) DirectMeasure(path);
  });
  std::printf("open+measure %d clips: TMP3In %.1f ms (%.3f ms/clip, %lld s of audio)  |  bare libavformat %.1f ms"
              "  |  ratio %.2f\n",
              kClips, readerOpen * 1e3, readerOpen * 1e3 / kClips, (long long)secondsSeen, directOpen * 1e3,
              directOpen / readerOpen);
  bench::ReportRow("MP3 open+measure per clip", readerOpen * 1e3 / kClips, "ms", "bare libavformat (theirs/ours)",
                   directOpen * 1e3 / kClips, "ms", directOpen / readerOpen);

  // 2. Hour-long MP3s without a length header (no Xing or VBRI frame): 60
  //    copies of a minute of frames. At a constant bit rate the file's size
  //    gives the length (goal: open and measure under 50 ms); at a variable
  //    one the frames are counted once, and a second open of the same file
  //    finds that count again.
  {
    std::string why;
    const auto minute = EncodeMp3(Music(60), 2, 44100, 128, &why);
    const auto quiet = EncodeMp3(ToneSignal(2, 44100, 30.0, 330.0, 0.05), 2, 44100, 32, &why);
    if (!minute || !quiet) {
      std::printf("hour-long MP3s skipped: %s\n", why.c_str());
    } else {
      auto hour = [&](const std::string& path, bool variable) {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 60; ++i) {
          const TBytes& frames = variable && i % 2 ? quiet->Data : minute->Data;
          out.write(reinterpret_cast<const char*>(frames.data()), std::streamsize(frames.size()));
        }
      };
      auto openAndMeasure = [](const std::string& path, int32_t& seconds) {
        const auto start = bench::Clock::now();
        auto reader = MakeComponent<TMP3In>();
        reader->SetFileName(path);
        seconds = reader->Valid() ? reader->TotalTime() : -1;
        return bench::SecondsSince(start);
      };
      const std::string cbr = dir + "/hour-cbr.mp3", vbr = dir + "/hour-vbr.mp3";
      hour(cbr, false);
      hour(vbr, true);
      int32_t cbrSeconds = 0, vbrSeconds = 0, againSeconds = 0;
      std::vector<double> cbrTimes;
      for (int i = 0; i < rounds; ++i) cbrTimes.push_back(openAndMeasure(cbr, cbrSeconds));
      const double vbrFirst = openAndMeasure(vbr, vbrSeconds);
      const double vbrAgain = openAndMeasure(vbr, againSeconds);
      const double cbrMedian = bench::Median(cbrTimes) * 1e3;
      std::printf("1-hour MP3 without a length header: constant bit rate %.2f ms (%d s, median of %d); variable bit "
                  "rate %.1f ms counting its frames (%d s), %.2f ms opened again (%d s)\n",
                  cbrMedian, cbrSeconds, rounds, vbrFirst * 1e3, vbrSeconds, vbrAgain * 1e3, againSeconds);
      bench::ReportRow("MP3 open+measure, 1 h, constant bit rate, no length header", cbrMedian, "ms",
                       "goal (ours/goal)", 50, "ms", cbrMedian / 50);
      bench::ReportRow("MP3 open+measure, 1 h, variable bit rate, no length header, again", vbrAgain * 1e3, "ms",
                       "first open, frames counted (again/first)", vbrFirst * 1e3, "ms", vbrAgain / vbrFirst);
    }
  }

  // 3. Decode throughput on a 60 s clip.
  const std::string longClip = dir + "/long.mp3";
  EncodeMp3File(longClip, Music(60), 2, 44100);
  auto reader = MakeComponent<TMP3In>();
  reader->SetFileName(longClip);
  reader->Valid();
  size_t viaReader = 0, viaDirect = 0;
  // Interleave the two so that both see the same machine state.
  double bestReader = 1e300, bestDirect = 1e300, cpuReader = 1e300, cpuDirect = 1e300;
  for (int i = 0; i < rounds; ++i) {
    double cpu = ThreadCpuSeconds();
    bestDirect = std::min(bestDirect, BestSeconds(1, [&] { viaDirect = DirectDecode(longClip); }));
    cpuDirect = std::min(cpuDirect, ThreadCpuSeconds() - cpu);
    cpu = ThreadCpuSeconds();
    bestReader = std::min(bestReader, BestSeconds(1, [&] { viaReader = ReaderDecode(*reader); }));
    cpuReader = std::min(cpuReader, ThreadCpuSeconds() - cpu);
  }
  const double audioSeconds = double(viaDirect) / (44100.0 * 4);
  std::printf("decode 60 s MP3: TMP3In %.1f ms (%.0fx real time, %zu bytes)  |  direct libavcodec %.1f ms "
              "(%.0fx real time, %zu bytes)  |  throughput ratio %.3f (goal >= 0.95)\n",
              bestReader * 1e3, audioSeconds / bestReader, viaReader, bestDirect * 1e3, audioSeconds / bestDirect,
              viaDirect, bestDirect / bestReader);
  std::printf("decode 60 s MP3, thread CPU time: TMP3In %.1f ms  |  direct libavcodec %.1f ms  |  throughput ratio %.3f\n",
              cpuReader * 1e3, cpuDirect * 1e3, cpuDirect / cpuReader);
  bench::ReportRow("MP3 decode, 60 s clip (wall)", audioSeconds / bestReader, "x real time",
                   "direct libavcodec (ours/theirs)", audioSeconds / bestDirect, "x real time", bestDirect / bestReader);
  bench::ReportRow("MP3 decode, 60 s clip (thread CPU)", cpuReader * 1e3, "ms", "direct libavcodec (theirs/ours)",
                   cpuDirect * 1e3, "ms", cpuDirect / cpuReader);
  std::filesystem::remove_all(dir);
  return 0;
}
