#include "audio/decoders/WmaSyncReader.h"

#include <algorithm>
#include <new>

namespace {

constexpr int64_t kRetryOrigin = 30;

bool OpenReader(wma_sync_reader& c, TStream* source, int64_t origin, const std::string& identity) {
  try {
    c.Adapter = std::make_unique<TAudioStream>(source, origin);
    c.Reader = std::make_unique<TMediaSyncReader>();
    // A file read from byte 30 on is another file to the length cache.
    c.Reader->SetSourceIdentity(identity.empty() || origin == 0 ? identity : identity + "@" + std::to_string(origin));
  } catch (const std::bad_alloc&) {
    c.Reader.reset();
    c.Adapter.reset();
    return false;
  }
  if (c.Reader->OpenStream(c.Adapter->Context())) return true;
  c.Reader.reset();
  c.Adapter.reset();
  return false;
}

// Every choice records channels and rate along with the bits, so the format
// reported afterwards is always the one the chosen output delivers (a later
// audio output's own channels and rate never replace them).
void ChooseFormat(wma_sync_reader& c, uint32_t output, const TReaderFormat& f) {
  if (!c.Reader->SetOutputProps(output, f)) return;
  c.FormatFound = true;
  c.OutputNumber = output;
  c.OutChannels = f.Channels;
  c.OutSampleRate = f.SampleRate;
  c.OutBitsPerSample = f.BitsPerSample;
}

}  // namespace

int64_t RoundDivHalfEven(int64_t Value, int64_t Divisor) {
  int64_t q = Value / Divisor;
  int64_t r = Value % Divisor;
  if (r < 0) {  // floor division
    r += Divisor;
    --q;
  }
  if (2 * r > Divisor || (2 * r == Divisor && (q & 1))) ++q;
  return q;
}

void PcmLengthOfDuration(uint32_t DurationCs, uint32_t SampleRate, uint32_t FrameBytes, int64_t& TotalSamples,
                         int64_t& Size) {
  // (2^32 - 1)^2 fits 64 unsigned bits, and a hundredth of it fits int64.
  TotalSamples = int64_t(uint64_t(DurationCs) * SampleRate / 100);
  if (FrameBytes != 0 && TotalSamples > INT64_MAX / int64_t(FrameBytes))
    TotalSamples = INT64_MAX / int64_t(FrameBytes);
  Size = TotalSamples * int64_t(FrameBytes);
}

void wma_open(wma_sync_reader& Context, TStream* Source, bool HighPrecision, int ChannelCode,
              const std::string& Identity) {
  wma_close(Context);  // the reader goes before the adapter it reads through
  Context = wma_sync_reader{};
  if (!Source) return;
  // A file the reader does not take from its start is tried once more from
  // byte 30 on.
  if (!OpenReader(Context, Source, 0, Identity) && !OpenReader(Context, Source, kRetryOrigin, Identity)) return;
  TMediaSyncReader& reader = *Context.Reader;

  const uint32_t outputs = reader.GetOutputCount();
  for (uint32_t i = 0; i < outputs; ++i) {
    reader.SetOutputSetting(i, "EnableDiscreteOutput", HighPrecision ? 1 : 0);
    if (ChannelCode == 0) {
      // The output's own channels and rate; a format qualifies with at least
      // the bits found so far, so the last of the best wins.
      const TReaderFormat own = reader.GetOutputWaveFormat(i);
      const uint32_t count = reader.GetOutputFormatCount(i);
      for (uint32_t k = 0; k < count; ++k) {
        const TReaderFormat f = reader.GetOutputFormat(i, k);
        if (f.BitsPerSample >= Context.OutBitsPerSample && f.SampleRate == own.SampleRate &&
            f.Channels == own.Channels)
          ChooseFormat(Context, i, f);
      }
      continue;
    }
    if (ChannelCode > 2) reader.SetOutputSetting(i, "SpeakerConfig", uint32_t(ChannelCode));
    const uint32_t count = reader.GetOutputFormatCount(i);
    for (uint32_t k = 0; k < count; ++k) {
      const TReaderFormat f = reader.GetOutputFormat(i, k);
      bool qualifies = ChannelCode == -1
                           ? f.Channels >= Context.OutChannels && f.SampleRate >= Context.OutSampleRate &&
                                 f.BitsPerSample >= Context.OutBitsPerSample
                           : f.Channels == ChannelCode;
      if (qualifies) ChooseFormat(Context, i, f);
    }
  }
  if (!Context.FormatFound) return;

  Context.StreamNumber = reader.GetStreamNumberForOutput(Context.OutputNumber);
  if (!reader.SetReadStreamSamples(Context.StreamNumber)) {
    // The chosen stream cannot be decoded after all.
    Context.FormatFound = false;
    Context.OutChannels = 0;
    Context.OutSampleRate = 0;
    Context.OutBitsPerSample = 0;
    return;
  }
  int64_t duration = 0;
  Context.Duration = reader.GetDuration(duration) ? duration : 0;
  Context.HeaderDuration = reader.GetHeaderDuration(duration) ? duration : 0;
}

namespace {

uint32_t HundredthsOf(int64_t Duration100ns) {
  if (Duration100ns <= 0) return 0;
  const int64_t cs = RoundDivHalfEven(Duration100ns, 100000);
  return cs > int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(cs);
}

}  // namespace

uint32_t wma_duration_cs(const wma_sync_reader& Context) { return HundredthsOf(Context.Duration); }

uint32_t wma_header_duration_cs(const wma_sync_reader& Context) { return HundredthsOf(Context.HeaderDuration); }

void wma_get_format(const wma_sync_reader& Context, int32_t& Channels, int32_t& BitsPerSample, uint32_t& SampleRate) {
  Channels = Context.OutChannels;
  BitsPerSample = Context.OutBitsPerSample;
  SampleRate = Context.OutSampleRate;
}

bool wma_seek(wma_sync_reader& Context, uint32_t TimeCs) {
  if (!Context.Reader || !Context.FormatFound) return false;
  if (!Context.Reader->SetRange(int64_t(TimeCs) * 100000)) return false;
  // What was left of the sample before the seek belongs to the old position.
  Context.HasCurrentSample = false;
  Context.CurrentSample = {};
  Context.SampleOffset = 0;
  return true;
}

void wma_get_data(wma_sync_reader& Context, const uint8_t*& Buffer, uint32_t& Bytes) {
  const uint32_t wanted = Bytes;
  Buffer = nullptr;
  Bytes = 0;
  if (!Context.Reader || !Context.FormatFound || wanted == 0) return;
  for (;;) {
    if (Context.HasCurrentSample) {
      const TReaderSample& s = Context.CurrentSample;
      if (Context.SampleOffset < s.Length) {
        Bytes = std::min(wanted, s.Length - Context.SampleOffset);
        Buffer = s.Data + Context.SampleOffset;
        Context.SampleOffset += Bytes;
        return;
      }
      Context.HasCurrentSample = false;
      Context.SampleOffset = 0;
    }
    TReaderSample next;
    if (!Context.Reader->GetNextSample(Context.StreamNumber, next)) return;
    Context.CurrentSample = next;
    Context.HasCurrentSample = true;
  }
}

void wma_close(wma_sync_reader& Context) {
  if (Context.Reader) Context.Reader->Close();
  Context.HasCurrentSample = false;
  Context.CurrentSample = {};
  Context.SampleOffset = 0;
  Context.Reader.reset();
  Context.Adapter.reset();
}

bool wma_get_attribute(const wma_sync_reader& Context, std::string_view Name, std::wstring& Text) {
  Text.clear();
  return Context.Reader && Context.Reader->GetAttributeByName(Name, Text);
}
