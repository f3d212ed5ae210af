#pragma once
// A stream over a POSIX file descriptor, opened from a path and a 16-bit mode
// word.
//
// Mode 0xFFFF creates the file (or truncates it) for reading and writing.
// Any other mode opens an existing file: bits 0-1 select the access (0 read,
// 1 write, 2 read and write; 3 is invalid); bits 4-7 select the sharing (0 and
// 1 none, 2 others may read, 3 others may write, 4 others may read and write;
// codes above 4 are invalid). Linux has no mandatory sharing locks, so the
// sharing code is only validated, not enforced. The decoders open with 0x20
// (read, others may read).
//
// Failure raises EAuException "Cannot create file <name>" (mode 0xFFFF) or
// "Cannot open file <name>". The descriptor is closed by the destructor.

#include <cstdint>
#include <string>

#include "audio/core/TStream.h"

constexpr uint16_t fmCreate = 0xFFFF;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

class TAuFileStream : public TStream {
 public:
  TAuFileStream(const std::string& FileName, uint16_t Mode);
  ~TAuFileStream() override;
  TAuFileStream(const TAuFileStream&) = delete;
  TAuFileStream& operator=(const TAuFileStream&) = delete;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override;
  bool SetSize(int64_t NewSize) override;

  int Handle() const { return Fd; }
  const std::string& FileName() const { return FFileName; }

 private:
  int Fd = -1;
  std::string FFileName;
};
