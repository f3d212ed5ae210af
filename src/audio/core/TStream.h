#pragma once
// Byte streams read by the decoders: an abstract seekable stream and an
// in-memory one. A stream is used by one thread at a time (its input's
// DataLock or OpenLock serialises access).

#include <cstdint>
#include <vector>

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to Count bytes; returns the number read (0 at the end or on error).
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  // Writes up to Count bytes; returns the number written.
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Moves the position; returns the new position, or -1 when it cannot.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  // Total bytes; -1 when unknown.
  virtual int64_t GetSize();
  // Truncates or extends; false when unsupported.
  virtual bool SetSize(int64_t NewSize);

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Value) { Seek(Value, soBeginning); }
  int64_t Size() { return GetSize(); }

  // Reads exactly Count bytes; false on a short read.
  bool ReadExact(void* Buffer, int64_t Count) { return Count >= 0 && Read(Buffer, Count) == Count; }
  // Writes exactly Count bytes; false on a short write.
  bool WriteExact(const void* Buffer, int64_t Count) { return Count >= 0 && Write(Buffer, Count) == Count; }
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> Data) : FData(std::move(Data)) {}

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t GetSize() override { return static_cast<int64_t>(FData.size()); }
  bool SetSize(int64_t NewSize) override;

  const std::vector<uint8_t>& Data() const { return FData; }
  std::vector<uint8_t>& Data() { return FData; }

 private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};
