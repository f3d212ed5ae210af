#pragma once
// The reader context of the media-format input: a synchronous media reader
// over one of the program's streams, with one audio output and one PCM
// format chosen for it.
//
// wma_open picks the format by a channel code: 0 = the output's own channels
// and rate with the most bits offered; -1 = the richest format offered (most
// channels, highest rate, most bits); 6 or 8 = a format with exactly that
// many channels. The other operations act on an opened context; on one whose
// open failed they do nothing and report nothing.
//
// Not thread-safe: the owning input serialises calls (OpenLock for open and
// close, DataLock for data and seeking).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "audio/core/TStream.h"
#include "audio/decoders/TAudioStream.h"
#include "audio/decoders/TMediaSyncReader.h"

struct wma_sync_reader {
  std::unique_ptr<TAudioStream> Adapter;      // the adapter over the source stream
  std::unique_ptr<TMediaSyncReader> Reader;   // null when creation or opening failed
  bool HasCurrentSample = false;              // CurrentSample is being handed out
  TReaderSample CurrentSample;
  uint32_t SampleOffset = 0;                  // bytes of CurrentSample already handed out
  uint16_t StreamNumber = 0;
  uint32_t OutputNumber = 0;
  bool FormatFound = false;
  int32_t OutChannels = 0;
  uint32_t OutSampleRate = 0;
  int32_t OutBitsPerSample = 0;
  int64_t Duration = 0;                       // 100-ns units, 0 when unknown
  int64_t HeaderDuration = 0;                 // what the header claimed where the file holds less; else 0
};

// Resets the context and opens Source (not owned; must outlive the context).
// Identity names the file behind Source (see TMediaSyncReader::
// SetSourceIdentity); empty for a stream without one.
void wma_open(wma_sync_reader& Context, TStream* Source, bool HighPrecision, int ChannelCode,
              const std::string& Identity = {});
// Duration in hundredths of a second, rounded half to even.
uint32_t wma_duration_cs(const wma_sync_reader& Context);
// The header's claim the file does not hold, the same way; 0 when none.
uint32_t wma_header_duration_cs(const wma_sync_reader& Context);
void wma_get_format(const wma_sync_reader& Context, int32_t& Channels, int32_t& BitsPerSample, uint32_t& SampleRate);
// Repositions to TimeCs hundredths of a second from the start; bytes left of
// the current sample are dropped.
bool wma_seek(wma_sync_reader& Context, uint32_t TimeCs);
// At most Bytes bytes of the current decoded sample (fetching the next one
// when it is used up); Bytes = 0 and a null Buffer at the end.
void wma_get_data(wma_sync_reader& Context, const uint8_t*& Buffer, uint32_t& Bytes);
void wma_close(wma_sync_reader& Context);
// A text attribute of the file ("Author", "Title", ...); false when absent.
bool wma_get_attribute(const wma_sync_reader& Context, std::string_view Name, std::wstring& Text);

// Round(Value / Divisor) with ties to the even integer (Divisor > 0).
int64_t RoundDivHalfEven(int64_t Value, int64_t Divisor);

// Whole sample frames in DurationCs hundredths of a second at SampleRate, and
// their bytes at FrameBytes per frame. A file may declare any duration, rate
// and channel count; a length beyond int64 saturates at the most whole frames
// that fit instead of overflowing.
void PcmLengthOfDuration(uint32_t DurationCs, uint32_t SampleRate, uint32_t FrameBytes, int64_t& TotalSamples,
                         int64_t& Size);
