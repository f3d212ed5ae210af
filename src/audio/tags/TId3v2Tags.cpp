#include "audio/tags/TId3v2Tags.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "audio/tags/TagFile.h"
#include "audio/tags/TagText.h"

namespace {

constexpr std::string_view kShortIds[TId3v2Tags::kFieldCount] = {
    "TAL", "TP1", "TCO", "TT2", "TRK", "TYE", "COM", "TCM", "TEN", "TCR", "TLA", "WXX"};
constexpr std::string_view kLongIds[TId3v2Tags::kFieldCount] = {
    "TALB", "TPE1", "TCON", "TIT2", "TRCK", "TYER", "COMM", "TCOM", "TENC", "TCOP", "TLAN", "WXXX"};

constexpr size_t kHeaderSize = 10;
constexpr uint32_t kMaxSyncSafe = (1u << 28) - 1;

struct Header {
  uint8_t version = 0;
  uint8_t flags = 0;
  uint32_t size = 0;  // bytes after the header, footer excluded

  int64_t TotalLength() const { return int64_t(kHeaderSize) + size + ((flags & 0x10) ? int64_t(kHeaderSize) : 0); }
};

bool ParseHeader(const unsigned char* h, size_t got, Header& out) {
  if (got != kHeaderSize || std::memcmp(h, "ID3", 3) != 0 || h[4] == 0xFF) return false;
  uint8_t version = h[3], flags = h[5];
  bool flagsOk = (version == 2 && (flags & 0x3F) == 0) || (version == 3 && (flags & 0x1F) == 0) ||
                 (version == 4 && (flags & 0x0F) == 0);
  if (!flagsOk) return false;
  for (int i = 6; i < 10; ++i)
    if (h[i] >= 0x80) return false;
  out.version = version;
  out.flags = flags;
  out.size = (uint32_t(h[6]) << 21) | (uint32_t(h[7]) << 14) | (uint32_t(h[8]) << 7) | uint32_t(h[9]);
  return true;
}

// Text of a frame's data (encoding byte first); nullopt-like false when the
// encoding is not one we store.
bool DecodeText(const std::vector<unsigned char>& data, TAuTagValue& value) {
  if (data.empty()) return false;
  const unsigned char* p = data.data();
  const size_t n = data.size();
  switch (p[0]) {
    case 0: {
      const auto* end = std::find(p + 1, p + n, 0);
      value = std::string(reinterpret_cast<const char*>(p + 1), size_t(end - (p + 1)));
      return true;
    }
    case 1: {
      // Little-endian unless a big-endian byte-order mark says otherwise.
      size_t start = 1;
      bool bigEndian = false;
      if (n >= 3 && p[1] == 0xFF && p[2] == 0xFE) {
        start = 3;
      } else if (n >= 3 && p[1] == 0xFE && p[2] == 0xFF) {
        start = 3;
        bigEndian = true;
      }
      std::u16string units;
      for (size_t i = start; i + 1 < n; i += 2) {
        char16_t u = bigEndian ? char16_t((p[i] << 8) | p[i + 1]) : char16_t(p[i] | (p[i + 1] << 8));
        if (u == 0) break;
        units += u;
      }
      value = tagtext::Utf16ToWide(units);
      return true;
    }
    case 3: {
      const auto* end = std::find(p + 1, p + n, 0);
      value = tagtext::Utf8ToWide(std::string_view(reinterpret_cast<const char*>(p + 1), size_t(end - (p + 1))));
      return true;
    }
    default:
      return false;
  }
}

void PutBigEndian32(std::vector<unsigned char>& out, uint32_t v) {
  out.push_back(uint8_t(v >> 24));
  out.push_back(uint8_t(v >> 16));
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}

// Unmaps a shared mapping on every path.
struct Mapping {
  void* addr = MAP_FAILED;
  size_t length = 0;
  ~Mapping() {
    if (addr != MAP_FAILED) munmap(addr, length);
  }
};

// Extends the file from oldSize to newSize with all its blocks allocated.
// On failure the length is restored (a failed reservation may have extended
// the file partly); the bytes below oldSize are never changed.
[[nodiscard]] bool ReserveSpace(int fd, int64_t oldSize, int64_t newSize) {
  int error;
  do {
    error = posix_fallocate(fd, 0, static_cast<off_t>(newSize));
  } while (error == EINTR);
  if (error == 0 && tagfile::FileSize(fd) == newSize) return true;
  if (tagfile::FileSize(fd) != oldSize) (void)!ftruncate(fd, static_cast<off_t>(oldSize));
  return false;
}

}  // namespace

std::string_view TId3v2Tags::ShortId(int field) {
  return field >= 0 && field < kFieldCount ? kShortIds[field] : std::string_view{};
}

std::string_view TId3v2Tags::LongId(int field) {
  return field >= 0 && field < kFieldCount ? kLongIds[field] : std::string_view{};
}

TId3v2Tags::TId3v2Tags() {
  for (int i = 0; i < kFieldCount; ++i) {
    AddTag(kShortIds[i]);
    AddTag(kLongIds[i]);
  }
}

bool TId3v2Tags::ProbeHandle(int fd) {
  if (!HandleIsValid(fd)) return false;
  int64_t pos = tagfile::Tell(fd);
  if (pos < 0) return false;
  unsigned char h[kHeaderSize];
  Header header;
  return ParseHeader(h, tagfile::ReadAt(fd, pos, h, kHeaderSize), header);
}

bool TId3v2Tags::LoadFromHandle(int fd) {
  if (!HandleIsValid(fd)) return false;
  ClearTags();
  const int64_t start = tagfile::Tell(fd);
  if (start < 0) return false;
  unsigned char h[kHeaderSize];
  Header header;
  if (!ParseHeader(h, tagfile::ReadAt(fd, start, h, kHeaderSize), header)) return false;
  longFrameIds_ = header.version != 2;

  const int64_t end = start + header.TotalLength();
  const size_t frameHeaderSize = header.version == 2 ? 6 : 10;
  const size_t idLength = header.version == 2 ? 3 : 4;
  const int64_t fileSize = tagfile::FileSize(fd);
  int64_t pos = start + int64_t(kHeaderSize);
  // A tag that claims to reach past the end of the file yields no frames.
  while (fileSize >= end && pos < end) {
    unsigned char fh[10];
    if (tagfile::ReadAt(fd, pos, fh, frameHeaderSize) != frameHeaderSize) break;
    if (fh[0] < 'A' || fh[0] > 'Z') break;
    pos += int64_t(frameHeaderSize);
    if (pos >= end) break;
    uint32_t size = header.version == 2
                        ? (uint32_t(fh[3]) << 16) | (uint32_t(fh[4]) << 8) | uint32_t(fh[5])
                        : (uint32_t(fh[4]) << 24) | (uint32_t(fh[5]) << 16) | (uint32_t(fh[6]) << 8) | uint32_t(fh[7]);
    if (size == 0) continue;
    // The size is checked against the tag before anything is allocated.
    if (int64_t(size) > end - pos) break;
    std::vector<unsigned char> data(size);
    if (tagfile::ReadAt(fd, pos, data.data(), size) != size) break;
    pos += size;

    std::string_view id(reinterpret_cast<const char*>(fh), idLength);
    for (int i = 0; i < kFieldCount; ++i) {
      if (i == kComment) continue;
      if (id != (header.version == 2 ? kShortIds[i] : kLongIds[i])) continue;
      TAuTagValue value;
      if (DecodeText(data, value)) SetTag(id, value);
      break;
    }
  }
  tagfile::SeekTo(fd, end);
  return true;
}

bool TId3v2Tags::SaveToHandle(int fd, bool useUtf8) {
  if (!HandleIsValid(fd)) return false;
  int accessMode = fcntl(fd, F_GETFL);
  if (accessMode == -1 || (accessMode & O_ACCMODE) != O_RDWR) return false;

  std::vector<unsigned char> frames;
  for (int i = 0; i < kFieldCount; ++i) {
    if (i == kComment) continue;
    TAuTagValue value = GetTag(FieldName(i));
    uint8_t encoding = 0;
    std::string text;
    if (useUtf8 && std::holds_alternative<std::wstring>(value)) {
      encoding = 3;
      text = tagtext::WideToUtf8(std::get<std::wstring>(value));
    } else {
      text = ValueAsString(value);
    }
    // Empty fields are skipped; the later ones are still written.
    if (text.empty()) continue;
    if (text.size() + 1 > kMaxSyncSafe) return false;
    frames.insert(frames.end(), kLongIds[i].begin(), kLongIds[i].end());
    PutBigEndian32(frames, uint32_t(text.size() + 1));
    frames.push_back(0);
    frames.push_back(0);
    frames.push_back(encoding);
    frames.insert(frames.end(), text.begin(), text.end());
  }
  const size_t padding = 16 - (frames.size() + kHeaderSize) % 16;
  const size_t tagSize = frames.size() + padding;
  if (tagSize > kMaxSyncSafe) return false;

  unsigned char header[kHeaderSize] = {'I', 'D', '3', 4, 0, 0,
                                       uint8_t((tagSize >> 21) & 0x7F), uint8_t((tagSize >> 14) & 0x7F),
                                       uint8_t((tagSize >> 7) & 0x7F), uint8_t(tagSize & 0x7F)};

  const int64_t oldSize = tagfile::FileSize(fd);
  if (oldSize < 0) return false;
  const int64_t room = int64_t(kHeaderSize + tagSize);
  const int64_t newSize = oldSize + room;
  // Storing into a shared mapping cannot report a full disk: a page without
  // backing store raises SIGBUS. So every block the move and the tag will
  // write to is reserved first, from offset 0 so that holes of a sparse file
  // are covered too; when that fails the file goes back to its old length.
  if (!ReserveSpace(fd, oldSize, newSize)) return false;

  Mapping map;
  map.length = static_cast<size_t>(newSize);
  map.addr = mmap(nullptr, map.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (map.addr == MAP_FAILED) {
    // Give back the room so the file is unchanged.
    (void)!ftruncate(fd, static_cast<off_t>(oldSize));
    return false;
  }
  auto* base = static_cast<unsigned char*>(map.addr);
  std::memmove(base + room, base, static_cast<size_t>(oldSize));
  std::memcpy(base, header, kHeaderSize);
  if (!frames.empty()) std::memcpy(base + kHeaderSize, frames.data(), frames.size());
  std::memset(base + kHeaderSize + frames.size(), 0, padding);
  return msync(map.addr, map.length, MS_SYNC) == 0;
}
