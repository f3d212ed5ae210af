#include "audio/decoders/TAudioStream.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <new>

namespace {
constexpr int kBufferSize = 64 * 1024;
}

TAudioStream::TAudioStream(TStream* Source, int64_t Origin) : FSource(Source), FOrigin(Origin < 0 ? 0 : Origin) {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
  if (!buffer) throw std::bad_alloc();
  FContext = avio_alloc_context(buffer, kBufferSize, 0, this, &TAudioStream::ReadPacket, nullptr,
                                &TAudioStream::SeekPacket);
  if (!FContext) {
    av_free(buffer);
    throw std::bad_alloc();
  }
  // Reading starts at the origin whatever the stream's position was.
  if (FSource) FSource->Seek(FOrigin, soBeginning);
}

TAudioStream::~TAudioStream() {
  if (!FContext) return;
  av_freep(&FContext->buffer);
  avio_context_free(&FContext);
}

int TAudioStream::ReadPacket(void* Opaque, uint8_t* Buffer, int Size) {
  auto* self = static_cast<TAudioStream*>(Opaque);
  if (!self->FSource || Size <= 0) return AVERROR_EOF;
  int64_t n = self->FSource->Read(Buffer, Size);
  if (n <= 0) return AVERROR_EOF;
  return static_cast<int>(n);
}

int64_t TAudioStream::SeekPacket(void* Opaque, int64_t Offset, int Whence) {
  auto* self = static_cast<TAudioStream*>(Opaque);
  if (!self->FSource) return AVERROR(EIO);
  const int64_t origin = self->FOrigin;
  const int64_t size = self->FSource->GetSize();
  // A file's chunk sizes can send libavformat to any 64-bit offset: every
  // sum is checked before it is made, and a target no stream position can
  // hold is refused.
  int64_t base = 0;  // where Offset counts from, relative to the origin
  switch (Whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return size < origin ? AVERROR(ENOSYS) : size - origin;
    case SEEK_SET:
      break;
    case SEEK_CUR: {
      const int64_t cur = self->FSource->Seek(0, soCurrent);
      if (cur < 0) return AVERROR(EIO);
      base = cur - origin;  // both non-negative: cannot overflow
      break;
    }
    case SEEK_END:
      if (size < 0) return AVERROR(ENOSYS);
      base = size - origin;
      break;
    default:
      return AVERROR(EINVAL);
  }
  int64_t target = 0;
  if (__builtin_add_overflow(base, Offset, &target)) return AVERROR(EINVAL);
  if (target < 0 || target > INT64_MAX - origin) return AVERROR(EINVAL);
  const int64_t reached = self->FSource->Seek(origin + target, soBeginning);
  if (reached < origin) return AVERROR(EIO);
  return reached - origin;
}
