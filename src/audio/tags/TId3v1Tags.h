#pragma once
// TId3v1Tags: the 128-byte ID3v1 tag at the end of a file (with the ID3v1.1
// track byte) and the 148-entry genre list.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "audio/tags/TAuTags.h"

using TId3v1TagsGenreId = uint8_t;

class TId3v1Tags : public TAuTags {
 public:
  static constexpr int kGenreCount = 148;
  static constexpr TId3v1TagsGenreId kOtherGenre = 12;
  static const std::array<const char*, kGenreCount>& GenreNames();

  TId3v1Tags();

  std::string Title() const { return TagAsString("title"); }
  void SetTitle(const std::string& v) { SetTag("title", v); }
  // Only text values count as an artist; an integer reads as empty.
  std::string Artist() const;
  void SetArtist(const std::string& v) { SetTag("artist", v); }
  std::string Album() const { return TagAsString("album"); }
  void SetAlbum(const std::string& v) { SetTag("album", v); }
  uint16_t Year() const { return static_cast<uint16_t>(TagAsInteger("year")); }
  void SetYear(uint16_t v) { SetTag("year", int64_t(v)); }
  std::string Comment() const { return TagAsString("comment"); }
  void SetComment(const std::string& v) { SetTag("comment", v); }
  uint8_t Track() const { return static_cast<uint8_t>(TagAsInteger("track")); }
  void SetTrack(uint8_t v) { SetTag("track", int64_t(v)); }
  // Values of 148 or more (and anything negative) read as "Other" (12).
  TId3v1TagsGenreId GenreId() const;
  void SetGenreId(TId3v1TagsGenreId v) { SetTag("genre", int64_t(v)); }
  std::string Genre() const { return GenreNames()[GenreId()]; }
  // Stores the index of the first entry equal (ignoring case) to the trimmed
  // text; text that matches no entry changes nothing.
  void SetGenre(std::string_view name);

  // Probe and Load look at the last 128 bytes and leave the position alone.
  bool ProbeHandle(int fd) override;
  bool LoadFromHandle(int fd) override;
  // Appends a tag at the end of the file (an existing one stays).
  bool SaveToHandle(int fd) override;
};
