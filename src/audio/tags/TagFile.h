#pragma once
// Small POSIX file helpers for the tag containers: whole reads and writes
// that retry after interruptions and short transfers.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace tagfile {

// Bytes read from the current position (fewer only at the end or on error).
size_t ReadFull(int fd, void* buffer, size_t count);
// Bytes read at an absolute offset; the file position does not move.
size_t ReadAt(int fd, int64_t offset, void* buffer, size_t count);
// Bytes written at an absolute offset; the file position does not move.
size_t WriteAt(int fd, int64_t offset, const void* buffer, size_t count);
// Current size, or -1 when it cannot be read.
int64_t FileSize(int fd);
// Current position, or -1.
int64_t Tell(int fd);
bool SeekTo(int fd, int64_t offset);

}  // namespace tagfile
