#include "audio/core/TAuFileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "audio/core/EAuException.h"

namespace {
// Translates the mode word into open(2) flags; -1 for an invalid mode.
int OpenFlags(uint16_t Mode) {
  if (Mode == fmCreate) return O_RDWR | O_CREAT | O_TRUNC;
  const unsigned access = Mode & 0x3u;
  const unsigned sharing = (Mode >> 4) & 0xFu;
  if (access == 3 || sharing > 4) return -1;
  // The sharing code is only validated: Linux has no mandatory sharing modes.
  if (access == 0) return O_RDONLY;
  if (access == 1) return O_WRONLY;
  return O_RDWR;
}
}  // namespace

TAuFileStream::TAuFileStream(const std::string& FileName, uint16_t Mode) : FFileName(FileName) {
  const int flags = OpenFlags(Mode);
  if (flags >= 0 && !FileName.empty()) {
    do {
      Fd = ::open(FileName.c_str(), flags | O_CLOEXEC, 0644);
    } while (Fd < 0 && errno == EINTR);
  }
  if (Fd >= 0) {
    struct stat info {};
    // Directories open read-only on Linux but are not files.
    if (::fstat(Fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      ::close(Fd);
      Fd = -1;
    }
  }
  if (Fd < 0) {
    if (Mode == fmCreate) throw EAuException("Cannot create file " + FileName);
    throw EAuException("Cannot open file " + FileName);
  }
}

TAuFileStream::~TAuFileStream() {
  if (Fd >= 0) ::close(Fd);
}

int64_t TAuFileStream::Read(void* Buffer, int64_t Count) {
  int64_t total = 0;
  auto* out = static_cast<char*>(Buffer);
  while (total < Count) {
    const ssize_t n = ::read(Fd, out + total, static_cast<size_t>(Count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  return total;
}

int64_t TAuFileStream::Write(const void* Buffer, int64_t Count) {
  int64_t total = 0;
  const auto* in = static_cast<const char*>(Buffer);
  while (total < Count) {
    const ssize_t n = ::write(Fd, in + total, static_cast<size_t>(Count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += n;
  }
  return total;
}

int64_t TAuFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int whence = SEEK_SET;
  if (Origin == soCurrent) whence = SEEK_CUR;
  if (Origin == soEnd) whence = SEEK_END;
  const off_t result = ::lseek(Fd, static_cast<off_t>(Offset), whence);
  return result < 0 ? -1 : static_cast<int64_t>(result);
}

int64_t TAuFileStream::GetSize() {
  struct stat info {};
  if (::fstat(Fd, &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool TAuFileStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) return false;
  return ::ftruncate(Fd, static_cast<off_t>(NewSize)) == 0;
}
