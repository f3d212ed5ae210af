#pragma once
// Helpers shared by the fuzz targets.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "audio/core/TAuInput.h"

// A broken promise of the code under test: reported as a crash, so libFuzzer
// keeps the input.
#define FUZZ_CHECK(condition)                                                   \
  do {                                                                          \
    if (!(condition)) {                                                         \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                             \
    }                                                                           \
  } while (0)

// Damaged frames make libavcodec print a line each; that only slows a run down.
inline void QuietLibav() { av_log_set_level(AV_LOG_QUIET); }

// One run over the input in blocks of at most `pull` bytes, checked against
// the stream contract: every block no larger than asked, and (for a known
// frame size) the whole run in whole frames. Returns the bytes delivered.
inline uint64_t PullRun(TAuInput& input, uint32_t pull, uint32_t frame) {
  uint64_t total = 0;
  input.Init();
  for (;;) {
    const uint8_t* block = nullptr;
    uint32_t bytes = pull;
    input.GetData(block, bytes);
    if (bytes == 0) break;
    FUZZ_CHECK(bytes <= pull);
    FUZZ_CHECK(block != nullptr);
    // Touch every byte, so a block pointing at freed or short memory shows.
    volatile uint8_t sink = 0;
    for (uint32_t i = 0; i < bytes; ++i) sink = sink ^ block[i];
    (void)sink;
    total += bytes;
  }
  input.Flush();
  if (frame > 0) FUZZ_CHECK(total % frame == 0);
  return total;
}

// An anonymous in-memory file holding the bytes, positioned at 0; -1 on failure.
inline int MemoryFile(const uint8_t* data, size_t size) {
  const int fd = memfd_create("vomrella-fuzz", MFD_CLOEXEC);
  if (fd < 0) return -1;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) {
      ::close(fd);
      return -1;
    }
    done += size_t(n);
  }
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}
