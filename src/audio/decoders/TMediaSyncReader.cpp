#include "audio/decoders/TMediaSyncReader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "audio/core/PcmFormat.h"
#include "audio/decoders/FfmpegInit.h"
#include "audio/decoders/Mp3FrameHeader.h"
#include "audio/decoders/WaveHeader.h"
#include "audio/tags/TagText.h"

namespace {

constexpr AVRational k100ns{1, 10000000};

AVSampleFormat PackedFormatFor(uint16_t bits) {
  switch (bits) {
    case 8: return AV_SAMPLE_FMT_U8;
    case 16: return AV_SAMPLE_FMT_S16;
    default: return AV_SAMPLE_FMT_S32;  // 24 bits are cut from 32
  }
}

// A layout with a known channel order, for mixing.
AVChannelLayout UsableLayout(const AVChannelLayout& in) {
  AVChannelLayout out{};
  if (in.order == AV_CHANNEL_ORDER_NATIVE || in.order == AV_CHANNEL_ORDER_AMBISONIC) {
    av_channel_layout_copy(&out, &in);
  } else {
    av_channel_layout_default(&out, in.nb_channels);
  }
  return out;
}

// Media-file attribute names and the metadata keys FFmpeg uses for them.
struct AttributeKeys {
  std::string_view Name;
  const char* Keys[3];
};
constexpr AttributeKeys kAttributeKeys[] = {
    {"Author", {"artist", "author", nullptr}},
    {"Title", {"title", nullptr, nullptr}},
    {"WM/AlbumTitle", {"album", nullptr, nullptr}},
    {"WM/Genre", {"genre", nullptr, nullptr}},
    {"WM/Track", {"track", "WM/TrackNumber", nullptr}},
    {"WM/Year", {"date", "year", nullptr}},
    {"Copyright", {"copyright", nullptr, nullptr}},
};

}  // namespace

TMediaSyncReader::TMediaSyncReader() { InitFfmpegOnce(); }

TMediaSyncReader::~TMediaSyncReader() { Close(); }

namespace {

AVFormatContext* OpenInput(AVIOContext* Io, const AVInputFormat* Format) {
  if (avio_seek(Io, 0, SEEK_SET) != 0) return nullptr;
  AVFormatContext* fmt = avformat_alloc_context();
  if (!fmt) return nullptr;
  fmt->pb = Io;
  fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (avformat_open_input(&fmt, "", Format, nullptr) < 0) return nullptr;  // frees fmt
  return fmt;
}

}  // namespace

void TMediaSyncReader::PeekStart(AVIOContext* Io) {
  FAudioStart = 0;
  FStartsAsMp3 = false;
  uint8_t head[4096];
  int got = avio_read(Io, head, 10);
  FAudioStart = Id3v2TagBytes(head, size_t(std::max(got, 0)));
  if (avio_seek(Io, FAudioStart, SEEK_SET) != FAudioStart) return;
  got = avio_read(Io, head, sizeof head);
  TMp3Frame frame;
  FStartsAsMp3 = got > 0 && FindMp3Frame(head, size_t(got), frame) == 0;
}

bool TMediaSyncReader::OpenStream(AVIOContext* Io) {
  Close();
  if (!Io) return false;
  // Most clips are MP3s: one that starts (after its ID3v2 tag) with two
  // frames in a row goes straight to the MP3 demuxer. Asking every demuxer
  // whether it knows the file costs more than the rest of the open; any
  // other file is still asked about that way.
  PeekStart(Io);
  AVFormatContext* fmt = FStartsAsMp3 ? OpenInput(Io, av_find_input_format("mp3")) : nullptr;
  if (!fmt) fmt = OpenInput(Io, nullptr);
  if (!fmt) return false;
  FFormat = fmt;
  if (avformat_find_stream_info(FFormat, nullptr) < 0 && FFormat->nb_streams == 0) {
    Close();
    return false;
  }
  for (unsigned i = 0; i < FFormat->nb_streams; ++i) {
    const AVCodecParameters* par = FFormat->streams[i]->codecpar;
    if (par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    Output out;
    out.StreamIndex = static_cast<int>(i);
    const int channels = par->ch_layout.nb_channels;
    out.Channels = channels > 0 && channels <= int(kMaxChannels) ? static_cast<uint16_t>(channels) : 0;
    out.SampleRate = par->sample_rate > 0 ? static_cast<uint32_t>(par->sample_rate) : 0;
    // A rate the pipeline does not play makes the stream offer nothing, so
    // such a file is not valid.
    out.Decodable = out.Channels > 0 && IsSupportedSampleRate(out.SampleRate) &&
                    avcodec_find_decoder(par->codec_id) != nullptr;
    FOutputs.push_back(out);
  }
  FPacket = av_packet_alloc();
  FFrame = av_frame_alloc();
  if (!FPacket || !FFrame) {
    Close();
    return false;
  }
  return true;
}

TReaderFormat TMediaSyncReader::GetOutputWaveFormat(uint32_t Output) const {
  if (Output >= FOutputs.size()) return {};
  return {FOutputs[Output].Channels, FOutputs[Output].SampleRate, 16};
}

bool TMediaSyncReader::SetOutputSetting(uint32_t Output, std::string_view Name, uint32_t Value) {
  if (Output >= FOutputs.size()) return false;
  if (Name == "EnableDiscreteOutput") {
    FOutputs[Output].Discrete = Value != 0;
    return true;
  }
  if (Name == "SpeakerConfig") {
    FOutputs[Output].SpeakerConfig = Value;
    return true;
  }
  return false;
}

std::vector<TReaderFormat> TMediaSyncReader::FormatsOf(const Output& Out) const {
  std::vector<TReaderFormat> formats;
  if (!Out.Decodable) return formats;
  std::vector<uint16_t> depths{8, 16};
  if (Out.Discrete) depths.insert(depths.end(), {24, 32});
  for (uint16_t bits : depths) formats.push_back({Out.Channels, Out.SampleRate, bits});
  uint32_t speakers = Out.SpeakerConfig;
  if ((speakers == 6 || speakers == 8) && Out.Channels > speakers)
    for (uint16_t bits : depths) formats.push_back({static_cast<uint16_t>(speakers), Out.SampleRate, bits});
  return formats;
}

uint32_t TMediaSyncReader::GetOutputFormatCount(uint32_t Output) const {
  if (Output >= FOutputs.size()) return 0;
  return static_cast<uint32_t>(FormatsOf(FOutputs[Output]).size());
}

TReaderFormat TMediaSyncReader::GetOutputFormat(uint32_t Output, uint32_t Index) const {
  if (Output >= FOutputs.size()) return {};
  auto formats = FormatsOf(FOutputs[Output]);
  return Index < formats.size() ? formats[Index] : TReaderFormat{};
}

bool TMediaSyncReader::SetOutputProps(uint32_t Output, const TReaderFormat& Format) {
  if (Output >= FOutputs.size()) return false;
  auto formats = FormatsOf(FOutputs[Output]);
  if (std::find(formats.begin(), formats.end(), Format) == formats.end()) return false;
  FOutputs[Output].Chosen = Format;
  return true;
}

uint16_t TMediaSyncReader::GetStreamNumberForOutput(uint32_t Output) const {
  if (Output >= FOutputs.size()) return 0;
  return static_cast<uint16_t>(FOutputs[Output].StreamIndex);
}

const TMediaSyncReader::Output* TMediaSyncReader::OutputOfStream(int Stream) const {
  for (const Output& out : FOutputs)
    if (out.StreamIndex == Stream) return &out;
  return nullptr;
}

bool TMediaSyncReader::SetReadStreamSamples(uint16_t Stream) {
  const Output* out = OutputOfStream(Stream);
  if (!FFormat || !out || out->Chosen.Channels == 0) return false;
  avcodec_free_context(&FDecoder);
  const AVStream* st = FFormat->streams[Stream];
  const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
  if (!codec) return false;
  FDecoder = avcodec_alloc_context3(codec);
  if (!FDecoder) return false;
  if (avcodec_parameters_to_context(FDecoder, st->codecpar) < 0) {
    avcodec_free_context(&FDecoder);
    return false;
  }
  // With the stream's time base the decoder trims encoder delay and padding.
  FDecoder->pkt_timebase = st->time_base;
  FDecoder->thread_count = 1;
  if (avcodec_open2(FDecoder, codec, nullptr) < 0) {
    avcodec_free_context(&FDecoder);
    return false;
  }
  for (unsigned i = 0; i < FFormat->nb_streams; ++i)
    FFormat->streams[i]->discard = static_cast<int>(i) == Stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  FReadStream = Stream;
  FTarget = out->Chosen;
  FFlushSent = false;
  FSkipTo = -1;
  FCountedDuration = -1;
  FHeaderDuration = -1;
  if (!MeasureLength()) {
    avcodec_free_context(&FDecoder);
    FReadStream = -1;
    return false;
  }
  return true;
}

namespace {

// Lengths found by walking a file's packets, by file identity and stream, for
// the rest of the run (-1: the walk found no complete sum). A few thousand
// clips at most; the map is emptied rather than grown past that.
class TCountedLengths {
 public:
  static TCountedLengths& Instance() {
    static TCountedLengths cache;
    return cache;
  }
  bool Find(const std::string& Key, int64_t& Duration) {
    std::lock_guard lock(Lock);
    const auto it = Lengths.find(Key);
    if (it == Lengths.end()) return false;
    Duration = it->second;
    return true;
  }
  void Keep(const std::string& Key, int64_t Duration) {
    std::lock_guard lock(Lock);
    if (Lengths.size() >= kMaxEntries) Lengths.clear();
    Lengths[Key] = Duration;
  }

 private:
  static constexpr size_t kMaxEntries = 4096;
  std::mutex Lock;  // guards Lengths (GUI thread and output workers open files)
  std::unordered_map<std::string, int64_t> Lengths;
};

// Reads up to Bytes bytes at Offset of the demuxer's own input and puts the
// input back where the demuxer left it; the bytes read.
int ReadAt(AVIOContext* Io, int64_t Offset, uint8_t* Buffer, int Bytes) {
  const int64_t keep = avio_tell(Io);
  int got = 0;
  if (avio_seek(Io, Offset, SEEK_SET) >= 0) got = std::max(avio_read(Io, Buffer, Bytes), 0);
  avio_seek(Io, keep, SEEK_SET);
  return got;
}

}  // namespace

bool TMediaSyncReader::MeasureLength() {
  if (FFormat->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) {
    // Size over the first frames' bit rate: exact for a constant bit rate.
    if (FramesShareOneBitRate()) return true;
  } else {
    const int64_t claimed = ClaimedDuration();
    if (claimed <= 0 || FileHoldsClaim(claimed)) return true;
    FHeaderDuration = claimed;
  }
  const std::string key = FIdentity.empty() ? std::string() : FIdentity + "#" + std::to_string(FReadStream);
  int64_t counted = -1;
  if (key.empty() || !TCountedLengths::Instance().Find(key, counted)) {
    if (!CountPacketDurations()) return false;
    counted = FCountedDuration;
    if (!key.empty()) TCountedLengths::Instance().Keep(key, counted);
  }
  FCountedDuration = counted;
  // The header was only doubted: it is kept as a claim the file does not
  // hold only when the walk found clearly less (a thirty-second less, as
  // encoder delay and padding may make a whole file's count a little short).
  if (FHeaderDuration > 0 && (FCountedDuration <= 0 || FCountedDuration >= FHeaderDuration - FHeaderDuration / 32))
    FHeaderDuration = -1;
  return true;
}

int64_t TMediaSyncReader::ClaimedDuration() const {
  const AVStream* st = FFormat->streams[FReadStream];
  if (st->duration != AV_NOPTS_VALUE && st->duration > 0) return av_rescale_q(st->duration, st->time_base, k100ns);
  if (FFormat->duration != AV_NOPTS_VALUE && FFormat->duration > 0)
    return av_rescale_q(FFormat->duration, AVRational{1, AV_TIME_BASE}, k100ns);
  return -1;
}

// A file cut short keeps the header that gives the whole length (an MP3's
// Xing frame comes first): at the stream's bit rate, that length needs about
// as many bytes as the file had. A sixteenth less is allowed, as libavformat
// allows between a Xing frame's byte count and the file.
bool TMediaSyncReader::FileHoldsClaim(int64_t Claimed100ns) {
  const int64_t bitRate = FFormat->streams[FReadStream]->codecpar->bit_rate;
  const int64_t fileSize = FFormat->pb ? avio_size(FFormat->pb) : -1;
  if (bitRate <= 0 || fileSize <= 0) return true;  // nothing to check it against
  const int64_t claimedBytes = av_rescale(Claimed100ns, bitRate, int64_t(8) * k100ns.den);
  const int64_t held = fileSize - FAudioStart;
  return held >= claimedBytes - claimedBytes / 16;
}

// Frame headers sampled at evenly spread places of an MP3: one bit rate
// throughout means constant bit rate, and the size over it is the length.
bool TMediaSyncReader::FramesShareOneBitRate() {
  const AVStream* st = FFormat->streams[FReadStream];
  if (st->codecpar->codec_id != AV_CODEC_ID_MP3 || !FFormat->pb) return false;
  const int64_t end = avio_size(FFormat->pb);
  const int64_t start = FAudioStart;
  constexpr int kProbes = 16;
  constexpr int kProbeBytes = 8192;  // more than two of the longest frames
  if (end <= start) return false;
  std::vector<uint8_t> probe(kProbeBytes);
  uint32_t bitRate = 0;
  for (int i = 0; i < kProbes; ++i) {
    const int64_t span = std::max<int64_t>(end - start - kProbeBytes, 0);
    const int64_t at = start + span * i / (kProbes - 1);
    const int got = ReadAt(FFormat->pb, at, probe.data(), kProbeBytes);
    TMp3Frame frame;
    if (FindMp3Frame(probe.data(), size_t(got), frame) < 0) return false;
    if (i == 0) bitRate = frame.BitRate;
    if (frame.BitRate != bitRate || int(frame.SampleRate) != st->codecpar->sample_rate) return false;
  }
  return true;
}

// The read stream's packets are walked once and their durations summed: the
// demuxer only parses frame headers for that, nothing is decoded. False when
// the stream cannot be brought back to its start afterwards.
bool TMediaSyncReader::CountPacketDurations() {
  AVStream* st = FFormat->streams[FReadStream];
  int64_t total = 0;
  int64_t firstPos = -1;
  bool complete = true;
  while (av_read_frame(FFormat, FPacket) >= 0) {
    if (FPacket->stream_index == FReadStream) {
      if (firstPos < 0) firstPos = FPacket->pos;
      if (FPacket->duration <= 0 || FPacket->duration > INT64_MAX - total) complete = false;
      else total += FPacket->duration;
      // Encoder delay and padding the decoder drops (an MP3's LAME tag says
      // how much) are not heard, so they do not count.
      size_t bytes = 0;
      const uint8_t* skip = av_packet_get_side_data(FPacket, AV_PKT_DATA_SKIP_SAMPLES, &bytes);
      const int rate = st->codecpar->sample_rate;
      if (skip && bytes >= 8 && rate > 0) {
        const int64_t samples = int64_t(LoadLE32(skip)) + LoadLE32(skip + 4);  // from the start, from the end
        total -= std::min(total, av_rescale_q(samples, AVRational{1, rate}, st->time_base));
      }
    }
    av_packet_unref(FPacket);
  }
  // Without a duration on every packet the sum says less than the estimate.
  if (complete && total > 0) FCountedDuration = av_rescale_q(total, st->time_base, k100ns);
  const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
  if (av_seek_frame(FFormat, FReadStream, start, AVSEEK_FLAG_BACKWARD) >= 0) return true;
  return firstPos >= 0 && av_seek_frame(FFormat, -1, firstPos, AVSEEK_FLAG_BYTE) >= 0;
}

bool TMediaSyncReader::GetAttributeByName(std::string_view Name, std::wstring& Text) const {
  if (!FFormat) return false;
  std::vector<std::string> keys{std::string(Name)};
  for (const auto& a : kAttributeKeys)
    if (a.Name == Name)
      for (const char* k : a.Keys)
        if (k) keys.emplace_back(k);
  const AVDictionary* dictionaries[2] = {FFormat->metadata,
                                         FReadStream >= 0 ? FFormat->streams[FReadStream]->metadata : nullptr};
  for (const std::string& key : keys) {
    for (const AVDictionary* dict : dictionaries) {
      if (!dict) continue;
      if (const AVDictionaryEntry* e = av_dict_get(dict, key.c_str(), nullptr, 0)) {
        Text = tagtext::Utf8ToWide(e->value ? e->value : "");
        return true;
      }
    }
  }
  return false;
}

bool TMediaSyncReader::GetDuration(int64_t& Duration100ns) const {
  if (!FFormat) return false;
  if (FReadStream >= 0) {
    const AVStream* st = FFormat->streams[FReadStream];
    if (FCountedDuration > 0) {
      Duration100ns = FCountedDuration;
      return true;
    }
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
      Duration100ns = av_rescale_q(st->duration, st->time_base, k100ns);
      return true;
    }
  }
  if (FFormat->duration != AV_NOPTS_VALUE && FFormat->duration > 0) {
    Duration100ns = av_rescale_q(FFormat->duration, AVRational{1, AV_TIME_BASE}, k100ns);
    return true;
  }
  return false;
}

bool TMediaSyncReader::GetHeaderDuration(int64_t& Duration100ns) const {
  if (FHeaderDuration <= 0) return false;
  Duration100ns = FHeaderDuration;
  return true;
}

bool TMediaSyncReader::ReceiveFrame() {
  for (;;) {
    int ret = avcodec_receive_frame(FDecoder, FFrame);
    if (ret == 0) return true;
    if (ret != AVERROR(EAGAIN)) return false;  // drained, or a decoder failure
    if (FFlushSent) return false;
    ret = av_read_frame(FFormat, FPacket);
    if (ret < 0) {
      // End of the file (or unreadable data): let the decoder hand out what
      // it still holds.
      avcodec_send_packet(FDecoder, nullptr);
      FFlushSent = true;
      continue;
    }
    if (FPacket->stream_index == FReadStream) {
      // A corrupt packet is dropped; decoding goes on with the next one.
      avcodec_send_packet(FDecoder, FPacket);
    }
    av_packet_unref(FPacket);
  }
}

bool TMediaSyncReader::PrepareResampler() {
  const AVChannelLayout& inLayout = FFrame->ch_layout;
  uint64_t mask = inLayout.order == AV_CHANNEL_ORDER_NATIVE ? inLayout.u.mask : 0;
  if (FResampler && FResamplerFormat == FFrame->format && FResamplerRate == FFrame->sample_rate &&
      FResamplerChannels == inLayout.nb_channels && FResamplerMask == mask)
    return true;
  swr_free(&FResampler);
  AVChannelLayout in = UsableLayout(inLayout);
  AVChannelLayout out{};
  if (in.nb_channels == FTarget.Channels) {
    av_channel_layout_copy(&out, &in);
  } else {
    av_channel_layout_default(&out, FTarget.Channels);
  }
  int ret = swr_alloc_set_opts2(&FResampler, &out, PackedFormatFor(FTarget.BitsPerSample),
                                static_cast<int>(FTarget.SampleRate), &in,
                                static_cast<AVSampleFormat>(FFrame->format), FFrame->sample_rate, 0, nullptr);
  if (ret >= 0 && in.nb_channels == 1 && out.nb_channels == 2) {
    // A mono frame in a stereo stream plays at full level on both sides
    // (the default matrix would lower it by 3 dB).
    const double matrix[2] = {1.0, 1.0};
    ret = swr_set_matrix(FResampler, matrix, 1);
  }
  av_channel_layout_uninit(&in);
  av_channel_layout_uninit(&out);
  if (ret < 0 || swr_init(FResampler) < 0) {
    swr_free(&FResampler);
    return false;
  }
  FResamplerFormat = FFrame->format;
  FResamplerRate = FFrame->sample_rate;
  FResamplerChannels = inLayout.nb_channels;
  FResamplerMask = mask;
  return true;
}

bool TMediaSyncReader::ConvertFrame(TReaderSample& Sample) {
  const int channels = FFrame->ch_layout.nb_channels;
  if (channels <= 0 || FFrame->nb_samples <= 0 || FFrame->sample_rate <= 0) return false;
  int skip = 0;
  if (FSkipTo >= 0) {
    const AVStream* st = FFormat->streams[FReadStream];
    int64_t pts = FFrame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) {
      FSkipTo = -1;
    } else {
      if (st->start_time != AV_NOPTS_VALUE) pts -= st->start_time;
      int64_t first = av_rescale_q(pts, st->time_base, AVRational{1, FFrame->sample_rate});
      if (first + FFrame->nb_samples <= FSkipTo) return false;  // wholly before the target
      skip = first < FSkipTo ? static_cast<int>(FSkipTo - first) : 0;
      FSkipTo = -1;
    }
  }
  const int count = FFrame->nb_samples - skip;
  const auto format = static_cast<AVSampleFormat>(FFrame->format);
  const int bytesPerSample = av_get_bytes_per_sample(format);
  const bool planar = av_sample_fmt_is_planar(format);
  const uint32_t frameBytes = uint32_t(FTarget.Channels) * FTarget.BitsPerSample / 8;

  // Zero copy: the decoder's frame already holds the chosen interleaved PCM.
  const bool sameLayout = !planar || channels == 1;
  if (FTarget.BitsPerSample != 24 && channels == FTarget.Channels && FFrame->sample_rate == int(FTarget.SampleRate) &&
      sameLayout && av_get_packed_sample_fmt(format) == PackedFormatFor(FTarget.BitsPerSample)) {
    Sample.Data = FFrame->extended_data[0] + size_t(skip) * frameBytes;
    Sample.Length = uint32_t(count) * frameBytes;
    return true;
  }

  if (!PrepareResampler()) return false;
  const int outCapacity = swr_get_out_samples(FResampler, count);
  if (outCapacity <= 0) return false;
  const size_t outBytesPerSample = FTarget.BitsPerSample == 24 ? 4 : FTarget.BitsPerSample / 8;
  FConverted.resize(size_t(outCapacity) * FTarget.Channels * outBytesPerSample);
  // The planes start at the frame's own pointers unless a seek cut the front
  // off; only then are shifted pointers made (no allocation per frame).
  const uint8_t** in = const_cast<const uint8_t**>(FFrame->extended_data);
  if (skip > 0) {
    FPlanes.resize(planar ? size_t(channels) : 1);
    for (size_t p = 0; p < FPlanes.size(); ++p)
      FPlanes[p] = FFrame->extended_data[p] + size_t(skip) * size_t(bytesPerSample) * (planar ? 1 : size_t(channels));
    in = FPlanes.data();
  }
  uint8_t* out = FConverted.data();
  int produced = swr_convert(FResampler, &out, outCapacity, in, count);
  if (produced <= 0) return false;
  size_t samples = size_t(produced) * FTarget.Channels;
  if (FTarget.BitsPerSample == 24) {
    // Keep the three most significant bytes of each 32-bit sample.
    for (size_t i = 0; i < samples; ++i) std::memmove(&FConverted[3 * i], &FConverted[4 * i + 1], 3);
  }
  Sample.Data = FConverted.data();
  Sample.Length = uint32_t(produced) * frameBytes;
  return true;
}

bool TMediaSyncReader::GetNextSample(uint16_t Stream, TReaderSample& Sample) {
  Sample = {};
  if (!FDecoder || Stream != FReadStream) return false;
  for (;;) {
    av_frame_unref(FFrame);
    if (!ReceiveFrame()) return false;
    if (ConvertFrame(Sample)) return true;
  }
}

bool TMediaSyncReader::SetRange(int64_t Start100ns) {
  if (!FDecoder || FReadStream < 0 || Start100ns < 0) return false;
  const AVStream* st = FFormat->streams[FReadStream];
  const int rate = FDecoder->sample_rate > 0 ? FDecoder->sample_rate : int(FTarget.SampleRate);
  // Decoding starts a little before the wanted time and what comes before
  // it is dropped: MPEG audio needs the frames before (bit reservoir and
  // overlap) to decode the first wanted one properly.
  int64_t preroll = st->codecpar->seek_preroll;
  const AVCodecID id = st->codecpar->codec_id;
  // The bit reservoir reaches back up to 511 bytes (255 in MPEG-2), which at
  // the lowest bit rates spans about ten frames; until it is whole the decoder
  // gives silence.
  if (id == AV_CODEC_ID_MP3 || id == AV_CODEC_ID_MP2 || id == AV_CODEC_ID_MP1) preroll = std::max<int64_t>(preroll, 12 * 1152);
  int64_t startSample = av_rescale(Start100ns, rate, k100ns.den);
  int64_t ts = av_rescale_q(std::max<int64_t>(startSample - preroll, 0), AVRational{1, rate}, st->time_base);
  if (st->start_time != AV_NOPTS_VALUE) ts += st->start_time;
  if (av_seek_frame(FFormat, FReadStream, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
      avformat_seek_file(FFormat, FReadStream, INT64_MIN, ts, INT64_MAX, 0) < 0)
    return false;
  avcodec_flush_buffers(FDecoder);
  av_frame_unref(FFrame);
  swr_free(&FResampler);
  FFlushSent = false;
  FSkipTo = startSample;
  return true;
}

void TMediaSyncReader::Close() {
  swr_free(&FResampler);
  avcodec_free_context(&FDecoder);
  av_frame_free(&FFrame);
  av_packet_free(&FPacket);
  if (FFormat) avformat_close_input(&FFormat);  // the custom AVIO stays with its owner
  FOutputs.clear();
  FReadStream = -1;
  FTarget = {};
  FFlushSent = false;
  FSkipTo = -1;
  FCountedDuration = -1;
  FHeaderDuration = -1;
  FResamplerFormat = -1;
  FResamplerRate = 0;
  FResamplerMask = 0;
  FResamplerChannels = 0;
}
