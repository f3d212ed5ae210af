#pragma once
// TAudioStream: an AVIOContext over one of the program's streams, so that
// libavformat reads a file through the same TStream the file input opened
// (or the caller supplied).
//
// The adapter sees the wrapped stream from Origin on: position 0 of the
// AVIOContext is byte Origin of the stream. Reads pass to the stream; seeks
// are absolute 64-bit positions (SEEK_SET, SEEK_CUR, SEEK_END and the size
// query AVSEEK_SIZE); a target before the origin or beyond what int64 can
// hold is AVERROR(EINVAL). A negative Origin counts as 0. The context is
// read-only. The stream is not owned and must outlive the adapter. Used by
// one thread at a time (the file input's OpenLock or DataLock).

#include <cstdint>

#include "audio/core/TStream.h"

struct AVIOContext;

class TAudioStream {
 public:
  // Throws std::bad_alloc when FFmpeg cannot allocate the context.
  explicit TAudioStream(TStream* Source, int64_t Origin = 0);
  ~TAudioStream();
  TAudioStream(const TAudioStream&) = delete;
  TAudioStream& operator=(const TAudioStream&) = delete;

  AVIOContext* Context() const { return FContext; }
  TStream* Source() const { return FSource; }

 private:
  static int ReadPacket(void* Opaque, uint8_t* Buffer, int Size);
  static int64_t SeekPacket(void* Opaque, int64_t Offset, int Whence);

  TStream* FSource;
  int64_t FOrigin;
  AVIOContext* FContext = nullptr;
};
