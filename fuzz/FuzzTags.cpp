// Any bytes as a tagged file for the tag loaders: ID3v2 at the start, ID3v1
// in the last 128 bytes, and the APEv2 set. Probe and load agree, and the
// positions they promise hold.

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "FuzzSupport.h"
#include "audio/tags/TAPEv2Tags.h"
#include "audio/tags/TId3v1Tags.h"
#include "audio/tags/TId3v2Tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = MemoryFile(data, size);
  if (fd < 0) return 0;

  TId3v2Tags v2;
  const bool probed = v2.ProbeHandle(fd);
  FUZZ_CHECK(::lseek(fd, 0, SEEK_CUR) == 0);
  const bool loaded = v2.LoadFromHandle(fd);
  FUZZ_CHECK(loaded == probed);
  if (loaded) {
    // The position lands on the tag's end as its header gives it (plus the footer).
    const uint32_t tagSize =
        (uint32_t(data[6]) << 21) | (uint32_t(data[7]) << 14) | (uint32_t(data[8]) << 7) | data[9];
    FUZZ_CHECK(::lseek(fd, 0, SEEK_CUR) == off_t(10 + tagSize + ((data[5] & 0x10) ? 10 : 0)));
    for (int field = 0; field < TId3v2Tags::kFieldCount; ++field) {
      (void)v2.TagAsWideString(v2.FieldName(field));
      (void)v2.TagAsString(v2.FieldName(field));
      (void)v2.TagAsInteger(v2.FieldName(field));
    }
  } else {
    FUZZ_CHECK(::lseek(fd, 0, SEEK_CUR) == 0);
  }

  ::lseek(fd, 0, SEEK_SET);
  TId3v1Tags v1;
  const bool hasV1 = size >= 128 && std::memcmp(data + size - 128, "TAG", 3) == 0;
  FUZZ_CHECK(v1.ProbeHandle(fd) == hasV1);
  FUZZ_CHECK(v1.LoadFromHandle(fd) == hasV1);
  FUZZ_CHECK(::lseek(fd, 0, SEEK_CUR) == 0);
  (void)v1.Genre();
  (void)v1.Artist();
  (void)v1.Title();
  (void)v1.Year();

  TAPEv2Tags ape;
  (void)ape.ProbeHandle(fd);
  (void)ape.LoadFromHandle(fd);
  (void)ape.Artist();
  ::close(fd);
  return 0;
}
