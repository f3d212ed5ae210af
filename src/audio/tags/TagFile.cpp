#include "audio/tags/TagFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tagfile {

size_t ReadFull(int fd, void* buffer, size_t count) {
  auto* p = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fd, p + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t ReadAt(int fd, int64_t offset, void* buffer, size_t count) {
  if (offset < 0) return 0;
  auto* p = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(fd, p + done, count - done, static_cast<off_t>(offset + int64_t(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t WriteAt(int fd, int64_t offset, const void* buffer, size_t count) {
  if (offset < 0) return 0;
  const auto* p = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::pwrite(fd, p + done, count - done, static_cast<off_t>(offset + int64_t(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

int64_t FileSize(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int64_t Tell(int fd) { return static_cast<int64_t>(::lseek(fd, 0, SEEK_CUR)); }

bool SeekTo(int fd, int64_t offset) {
  return offset >= 0 && ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

}  // namespace tagfile
