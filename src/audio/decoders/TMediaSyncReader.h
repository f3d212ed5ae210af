#pragma once
// TMediaSyncReader: the synchronous media reader the reader context drives,
// built on libavformat, libavcodec and libswresample.
//
// Outputs are the file's audio streams, in stream order. An output offers
// PCM wave formats in its stream's own channel count and rate: 8 and 16 bits,
// plus 24 and 32 bits while "EnableDiscreteOutput" is on; while
// "SpeakerConfig" is 6 or 8 and the stream has more channels than that, the
// same bit depths are also offered mixed down to that many channels. An
// output whose stream has no decoder, or a rate the pipeline does not play
// (outside 1 kHz .. 384 kHz), offers nothing.
//
// After SetOutputProps and SetReadStreamSamples, GetNextSample hands out
// decoded audio one decoder frame at a time as interleaved little-endian
// PCM in the chosen format. The sample's bytes point into the decoder's own
// frame when its layout already is the chosen one (mono, or a packed format
// of the chosen width), otherwise into the reader's conversion buffer; they
// stay valid until the next GetNextSample, SetRange or Close.
//
// Not thread-safe: one thread at a time (the owning input's locks).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct AVIOContext;
struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

// One PCM format an output offers. (The sound output has its own, fuller
// TWaveFormat; both libraries go into one program, so the names differ.)
struct TReaderFormat {
  uint16_t Channels = 0;
  uint32_t SampleRate = 0;
  uint16_t BitsPerSample = 0;
  bool operator==(const TReaderFormat&) const = default;
};

// One decoded piece of audio: Length bytes at Data.
struct TReaderSample {
  const uint8_t* Data = nullptr;
  uint32_t Length = 0;
};

class TMediaSyncReader {
 public:
  TMediaSyncReader();
  ~TMediaSyncReader();
  TMediaSyncReader(const TMediaSyncReader&) = delete;
  TMediaSyncReader& operator=(const TMediaSyncReader&) = delete;

  // Names the file the next OpenStream reads (device, inode, size and
  // modification time), or nothing (empty) for a stream without one. A length
  // found by reading a named file's packets through is kept for the rest of
  // the program's run, so no file is read through twice.
  void SetSourceIdentity(std::string Identity) { FIdentity = std::move(Identity); }
  // Opens the media file read through Io (not owned; must outlive the
  // reader). False when it is not a readable media file.
  bool OpenStream(AVIOContext* Io);
  uint32_t GetOutputCount() const { return static_cast<uint32_t>(FOutputs.size()); }
  // The output's own format (its stream's channels and rate, 16 bits).
  TReaderFormat GetOutputWaveFormat(uint32_t Output) const;
  // "EnableDiscreteOutput" (0 or 1) and "SpeakerConfig" (channel count);
  // false for other names or outputs.
  bool SetOutputSetting(uint32_t Output, std::string_view Name, uint32_t Value);
  uint32_t GetOutputFormatCount(uint32_t Output) const;
  TReaderFormat GetOutputFormat(uint32_t Output, uint32_t Index) const;
  // Chooses one of the offered formats for the output.
  bool SetOutputProps(uint32_t Output, const TReaderFormat& Format);
  uint16_t GetStreamNumberForOutput(uint32_t Output) const;
  // Opens the decoder of Stream (an output's stream) for decoded samples.
  bool SetReadStreamSamples(uint16_t Stream);
  // Text attributes by their media-file names ("Author", "Title",
  // "WM/AlbumTitle", "WM/Genre", "WM/Track", "WM/Year", "Copyright") or by a
  // container's own metadata key; false when absent.
  bool GetAttributeByName(std::string_view Name, std::wstring& Text) const;
  // "Duration" in 100-ns units (the read stream's, else the container's);
  // false when the container does not give it. SetReadStreamSamples decides
  // whether the container's length stands:
  //   - a length from the header (an MP3's Xing or VBRI frame, a container's
  //     own field) stands when the file is large enough to hold it at the
  //     stream's bit rate;
  //   - a length libavformat estimated from the first frames' bit rate stands
  //     for an MP3 whose frames, sampled across the file, share one bit rate;
  //   - otherwise the read stream's packets are walked once (their headers
  //     only, nothing is decoded) and their durations summed.
  bool GetDuration(int64_t& Duration100ns) const;
  // The length the header claimed (100-ns units) when the file turned out to
  // hold less; false when the header's length stands or there was none.
  bool GetHeaderDuration(int64_t& Duration100ns) const;
  // The next decoded sample of Stream; false at the end or on an error.
  bool GetNextSample(uint16_t Stream, TReaderSample& Sample);
  // Repositions so that the next samples start at Start100ns.
  bool SetRange(int64_t Start100ns);
  void Close();

 private:
  struct Output {
    int StreamIndex = -1;
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    bool Decodable = false;
    bool Discrete = false;
    uint32_t SpeakerConfig = 0;
    TReaderFormat Chosen;
  };

  std::vector<TReaderFormat> FormatsOf(const Output& Out) const;
  const Output* OutputOfStream(int Stream) const;
  bool ReceiveFrame();  // decodes until a frame is in FFrame; false at the end
  bool ConvertFrame(TReaderSample& Sample);
  bool PrepareResampler();
  bool MeasureLength();
  int64_t ClaimedDuration() const;  // 100-ns units, -1 without one
  bool FileHoldsClaim(int64_t Claimed100ns);
  bool FramesShareOneBitRate();
  void PeekStart(AVIOContext* Io);  // FAudioStart, FStartsAsMp3
  bool CountPacketDurations();

  AVFormatContext* FFormat = nullptr;
  AVCodecContext* FDecoder = nullptr;
  SwrContext* FResampler = nullptr;
  AVPacket* FPacket = nullptr;
  AVFrame* FFrame = nullptr;
  std::vector<Output> FOutputs;
  int FReadStream = -1;
  TReaderFormat FTarget;
  bool FFlushSent = false;   // the decoder has been told the input ended
  int64_t FSkipTo = -1;      // after a seek: first wanted sample (stream rate), -1 = none
  int64_t FCountedDuration = -1;  // summed packet durations (100-ns units), -1 = not counted
  int64_t FHeaderDuration = -1;   // the header's length the file did not hold (100-ns units)
  std::string FIdentity;
  int64_t FAudioStart = 0;     // bytes of a leading ID3v2 tag
  bool FStartsAsMp3 = false;   // two MP3 frames in a row right after it
  std::vector<uint8_t> FConverted;
  std::vector<const uint8_t*> FPlanes;  // shifted plane pointers after a seek
  // Input layout the resampler was set up for.
  int FResamplerFormat = -1;
  int FResamplerRate = 0;
  uint64_t FResamplerMask = 0;
  int FResamplerChannels = 0;
};
