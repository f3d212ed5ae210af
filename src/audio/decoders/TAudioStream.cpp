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

TAudioStream::TAudioStream(TStream* Source, int64_t Origin) : FSource(Source), FOrigin(Origin) {
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
  const int64_t size = self->FSource->GetSize();
  switch (Whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return size < self->FOrigin ? AVERROR(ENOSYS) : size - self->FOrigin;
    case SEEK_SET:
      break;
    case SEEK_CUR: {
      int64_t cur = self->FSource->Seek(0, soCurrent);
      if (cur < 0) return AVERROR(EIO);
      Offset += cur - self->FOrigin;
      break;
    }
    case SEEK_END:
      if (size < 0) return AVERROR(ENOSYS);
      Offset += size - self->FOrigin;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (Offset < 0) return AVERROR(EINVAL);
  int64_t reached = self->FSource->Seek(self->FOrigin + Offset, soBeginning);
  if (reached < 0) return AVERROR(EIO);
  return reached - self->FOrigin;
}
