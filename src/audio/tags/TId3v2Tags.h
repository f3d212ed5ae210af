#pragma once
// TId3v2Tags: the text frames of an ID3v2 tag. Each field is registered
// under both its ID3v2.2 (3-character) and its ID3v2.3+ (4-character) frame
// id; LongFrameIds picks which of the two the properties read and write.

#include <cstdint>
#include <string>
#include <string_view>

#include "audio/tags/TAuTags.h"

class TId3v2Tags : public TAuTags {
 public:
  enum Field : int {
    kAlbum, kArtist, kGenre, kTitle, kTrack, kYear, kComment,
    kComposer, kEncoder, kCopyright, kLanguage, kLink, kFieldCount
  };
  static std::string_view ShortId(int field);  // "TAL", ...
  static std::string_view LongId(int field);   // "TALB", ...

  TId3v2Tags();

  bool LongFrameIds() const { return longFrameIds_; }
  void SetLongFrameIds(bool v) { longFrameIds_ = v; }
  // The field name the properties use for a field under LongFrameIds.
  std::string_view FieldName(int field) const { return longFrameIds_ ? LongId(field) : ShortId(field); }

  std::wstring Album() const { return Wide(kAlbum); }
  void SetAlbum(const std::wstring& v) { SetTag(FieldName(kAlbum), v); }
  std::wstring Artist() const { return Wide(kArtist); }
  void SetArtist(const std::wstring& v) { SetTag(FieldName(kArtist), v); }
  std::wstring Genre() const { return Wide(kGenre); }
  void SetGenre(const std::wstring& v) { SetTag(FieldName(kGenre), v); }
  std::wstring Title() const { return Wide(kTitle); }
  void SetTitle(const std::wstring& v) { SetTag(FieldName(kTitle), v); }
  std::string Track() const { return TagAsString(FieldName(kTrack)); }
  void SetTrack(const std::string& v) { SetTag(FieldName(kTrack), v); }
  std::string Year() const { return TagAsString(FieldName(kYear)); }
  void SetYear(const std::string& v) { SetTag(FieldName(kYear), v); }
  std::wstring Comment() const { return Wide(kComment); }
  void SetComment(const std::wstring& v) { SetTag(FieldName(kComment), v); }
  std::wstring Composer() const { return Wide(kComposer); }
  void SetComposer(const std::wstring& v) { SetTag(FieldName(kComposer), v); }
  std::wstring Encoder() const { return Wide(kEncoder); }
  void SetEncoder(const std::wstring& v) { SetTag(FieldName(kEncoder), v); }
  std::wstring Copyright() const { return Wide(kCopyright); }
  void SetCopyright(const std::wstring& v) { SetTag(FieldName(kCopyright), v); }
  std::wstring Language() const { return Wide(kLanguage); }
  void SetLanguage(const std::wstring& v) { SetTag(FieldName(kLanguage), v); }
  std::wstring Link() const { return Wide(kLink); }
  void SetLink(const std::wstring& v) { SetTag(FieldName(kLink), v); }

  // Checks for a valid header at the current position; the position is kept.
  bool ProbeHandle(int fd) override;
  // Reads the tag at the current position and leaves the position at the
  // tag's end (false and position kept when no valid header is there).
  bool LoadFromHandle(int fd) override;
  bool SaveToHandle(int fd) override { return SaveToHandle(fd, false); }
  // Writes a version 4 tag in front of the file's content. With useUtf8, wide
  // text values are written as UTF-8, otherwise every value as narrow text.
  // Empty fields are left out. The descriptor must be open for reading and
  // writing; on failure the file is left as it was.
  bool SaveToHandle(int fd, bool useUtf8);

 private:
  std::wstring Wide(int field) const { return TagAsWideString(FieldName(field)); }
  bool longFrameIds_ = true;
};
