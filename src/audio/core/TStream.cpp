#include "audio/core/TStream.h"

#include <algorithm>
#include <cstring>

int64_t TStream::GetSize() {
  const int64_t here = Seek(0, soCurrent);
  if (here < 0) return -1;
  const int64_t end = Seek(0, soEnd);
  Seek(here, soBeginning);
  return end;
}

bool TStream::SetSize(int64_t) { return false; }

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  const int64_t size = static_cast<int64_t>(FData.size());
  if (Count <= 0 || FPosition >= size) return 0;
  const int64_t n = std::min(Count, size - FPosition);
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const auto end = static_cast<size_t>(FPosition + Count);
  if (end > FData.size()) FData.resize(end);
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition += Count;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = 0;
  if (Origin == soCurrent) base = FPosition;
  if (Origin == soEnd) base = static_cast<int64_t>(FData.size());
  const int64_t target = base + Offset;
  if (target < 0) return -1;
  FPosition = target;
  return FPosition;
}

bool TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) return false;
  FData.resize(static_cast<size_t>(NewSize));
  FPosition = std::min(FPosition, NewSize);
  return true;
}
