#include "audio/tags/TId3v1Tags.h"

#include <algorithm>
#include <cstring>

#include "audio/tags/TagFile.h"
#include "audio/tags/TagText.h"

namespace {

constexpr size_t kTagSize = 128;

bool ReadTail(int fd, unsigned char (&tag)[kTagSize]) {
  int64_t size = tagfile::FileSize(fd);
  if (size < int64_t(kTagSize)) return false;
  if (tagfile::ReadAt(fd, size - int64_t(kTagSize), tag, kTagSize) != kTagSize) return false;
  return std::memcmp(tag, "TAG", 3) == 0;
}

// A fixed-width text field: up to its first zero byte, trimmed.
std::string FieldText(const unsigned char* p, size_t width) {
  const auto* end = std::find(p, p + width, 0);
  return tagtext::Trim(std::string_view(reinterpret_cast<const char*>(p), size_t(end - p)));
}

void PutField(unsigned char* p, size_t width, const std::string& text) {
  std::memcpy(p, text.data(), std::min(width, text.size()));
}

}  // namespace

const std::array<const char*, TId3v1Tags::kGenreCount>& TId3v1Tags::GenreNames() {
  static const std::array<const char*, kGenreCount> names = {
      // The ID3v1 list.
      "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
      "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
      "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop",
      "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game",
      "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative",
      "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial",
      "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta",
      "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
      "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka",
      "Retro", "Musical", "Rock & Roll", "Hard Rock",
      // The customary extension.
      "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic",
      "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock",
      "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson",
      "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire",
      "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul",
      "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A capella", "Euro-House", "Dance Hall", "Goa",
      "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk",
      "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian",
      "Christian Rock", "Merengue", "Salsa", "Thrash Metal", "Anime", "JPop", "Synthpop"};
  return names;
}

TId3v1Tags::TId3v1Tags() {
  AddTag("artist");
  AddTag("album");
  AddTag("genre", int64_t(kOtherGenre));
  AddTag("year");
  AddTag("track");
  AddTag("title");
  AddTag("comment");
}

std::string TId3v1Tags::Artist() const {
  TAuTagValue v = GetTag("artist");
  if (std::holds_alternative<std::string>(v) || std::holds_alternative<std::wstring>(v)) return ValueAsString(v);
  return {};
}

TId3v1TagsGenreId TId3v1Tags::GenreId() const {
  int64_t id = TagAsInteger("genre");
  if (id < 0 || id >= kGenreCount) return kOtherGenre;
  return static_cast<TId3v1TagsGenreId>(id);
}

void TId3v1Tags::SetGenre(std::string_view name) {
  std::string wanted = tagtext::Trim(name);
  const auto& names = GenreNames();
  for (int i = 0; i < kGenreCount; ++i) {
    if (tagtext::EqualNoCase(names[size_t(i)], wanted)) {
      SetTag("genre", int64_t(i));
      return;
    }
  }
}

bool TId3v1Tags::ProbeHandle(int fd) {
  if (!HandleIsValid(fd)) return false;
  unsigned char tag[kTagSize];
  return ReadTail(fd, tag);
}

bool TId3v1Tags::LoadFromHandle(int fd) {
  if (!HandleIsValid(fd)) return false;
  ClearTags();
  unsigned char tag[kTagSize];
  if (!ReadTail(fd, tag)) return false;
  SetTag("title", FieldText(tag + 3, 30));
  SetTag("artist", FieldText(tag + 33, 30));
  SetTag("album", FieldText(tag + 63, 30));
  SetTag("year", tagtext::ParseInteger(FieldText(tag + 93, 4)).value_or(0));
  // ID3v1.1: a zero (or blank) before a non-zero (non-blank) last comment
  // byte marks that byte as the track number.
  bool hasTrack = (tag[125] == 0 && tag[126] != 0) || (tag[125] == ' ' && tag[126] != ' ');
  if (hasTrack) {
    SetTag("comment", FieldText(tag + 97, 28));
    SetTag("track", int64_t(tag[126]));
  } else {
    SetTag("comment", FieldText(tag + 97, 30));
    SetTag("track", int64_t(0));
  }
  SetTag("genre", int64_t(tag[127]));
  return true;
}

bool TId3v1Tags::SaveToHandle(int fd) {
  if (!HandleIsValid(fd)) return false;
  int64_t end = tagfile::FileSize(fd);
  if (end < 0) return false;
  unsigned char tag[kTagSize] = {};
  std::memcpy(tag, "TAG", 3);
  PutField(tag + 3, 30, Title());
  PutField(tag + 33, 30, Artist());
  PutField(tag + 63, 30, Album());
  PutField(tag + 93, 4, std::to_string(Year()));
  if (Track() != 0) {
    PutField(tag + 97, 28, Comment());
    tag[125] = 0;
    tag[126] = Track();
  } else {
    PutField(tag + 97, 30, Comment());
  }
  tag[127] = GenreId();
  if (tagfile::WriteAt(fd, end, tag, kTagSize) != kTagSize) return false;
  tagfile::SeekTo(fd, end + int64_t(kTagSize));
  return true;
}
