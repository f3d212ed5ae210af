#include <gtest/gtest.h>

#include <cstring>

#include "audio/tags/TId3v1Tags.h"
#include "audio/tags/TagTestFile.h"

namespace {

// Some audio bytes followed by a 128-byte tag built field by field.
std::vector<unsigned char> FileWithTag(const std::string& title, const std::string& comment30,
                                       unsigned char b125, unsigned char b126, unsigned char genre,
                                       const std::string& year = "2001") {
  std::vector<unsigned char> f(300, 0x55);
  unsigned char tag[128] = {};
  std::memcpy(tag, "TAG", 3);
  std::memcpy(tag + 3, title.data(), std::min<size_t>(30, title.size()));
  std::memcpy(tag + 33, "Artist", 6);
  std::memcpy(tag + 63, "  Album\t", 8);
  std::memcpy(tag + 93, year.data(), std::min<size_t>(4, year.size()));
  std::memcpy(tag + 97, comment30.data(), std::min<size_t>(30, comment30.size()));
  tag[125] = b125;
  tag[126] = b126;
  tag[127] = genre;
  f.insert(f.end(), tag, tag + 128);
  return f;
}

}  // namespace

TEST(Id3v1Tags, FindsNoTagInAFileShorterThanATag) {
  TagTestFile file(Bytes(std::string("TAG") + std::string(100, 'x')));
  TId3v1Tags tags;
  EXPECT_FALSE(tags.ProbeHandle(file.fd()));
  EXPECT_FALSE(tags.LoadFromHandle(file.fd()));
  EXPECT_TRUE(tags.Empty());
}

TEST(Id3v1Tags, ProbeAndLoadLeaveTheFilePositionAlone) {
  TagTestFile file(FileWithTag("Title", "Comment", 0, 0, 3));
  lseek(file.fd(), 17, SEEK_SET);
  TId3v1Tags tags;
  EXPECT_TRUE(tags.ProbeHandle(file.fd()));
  EXPECT_EQ(file.Position(), 17);
  EXPECT_TRUE(tags.LoadFromHandle(file.fd()));
  EXPECT_EQ(file.Position(), 17);
}

TEST(Id3v1Tags, ReadsTrimmedFieldsYearAndGenre) {
  TagTestFile file(FileWithTag(" Hello world", "Comment", 0, 0, 8, "19x7"));
  TId3v1Tags tags;
  ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
  EXPECT_EQ(tags.Title(), "Hello world");
  EXPECT_EQ(tags.Artist(), "Artist");
  EXPECT_EQ(tags.Album(), "Album");
  EXPECT_EQ(tags.Year(), 0);  // not a number
  EXPECT_EQ(tags.GenreId(), 8);
  EXPECT_EQ(tags.Genre(), "Jazz");
}

TEST(Id3v1Tags, ReadsTheTrackByteOnlyAfterAZeroOrBlankSeparator) {
  std::string comment30 = "0123456789012345678901234567AB";
  {
    TagTestFile file(FileWithTag("t", comment30, 0, 7, 0));
    TId3v1Tags tags;
    ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
    EXPECT_EQ(tags.Comment(), comment30.substr(0, 28));
    EXPECT_EQ(tags.Track(), 7);
  }
  {
    TagTestFile file(FileWithTag("t", comment30.substr(0, 28), 0, 0, 0));
    TId3v1Tags tags;
    ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
    EXPECT_EQ(tags.Comment(), comment30.substr(0, 28));
    EXPECT_EQ(tags.Track(), 0);
  }
  {
    TagTestFile file(FileWithTag("t", comment30, ' ', '9', 0));
    TId3v1Tags tags;
    ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
    EXPECT_EQ(tags.Track(), '9');
  }
  {
    TagTestFile file(FileWithTag("t", comment30, 'A', 'B', 0));
    TId3v1Tags tags;
    ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
    EXPECT_EQ(tags.Comment(), comment30);
    EXPECT_EQ(tags.Track(), 0);
  }
}

TEST(Id3v1Tags, ReadsGenresOutsideTheListAsOther) {
  TagTestFile file(FileWithTag("t", "c", 0, 0, 200));
  TId3v1Tags tags;
  ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
  EXPECT_EQ(tags.GenreId(), 12);
  EXPECT_EQ(tags.Genre(), "Other");
  EXPECT_EQ(tags.TagAsInteger("genre"), 200);
}

TEST(Id3v1Tags, GenreListHas148EntriesFromBluesToSynthpop) {
  const auto& names = TId3v1Tags::GenreNames();
  EXPECT_STREQ(names[0], "Blues");
  EXPECT_STREQ(names[12], "Other");
  EXPECT_STREQ(names[79], "Hard Rock");
  EXPECT_STREQ(names[80], "Folk");
  EXPECT_STREQ(names[147], "Synthpop");
  TId3v1Tags tags;
  EXPECT_EQ(tags.GenreId(), 12);  // the initial genre
}

TEST(Id3v1Tags, SetsGenreByTrimmedNameIgnoringCase) {
  TId3v1Tags tags;
  tags.SetGenre(" blues ");
  EXPECT_EQ(tags.GenreId(), 0);
  tags.SetGenre("No such genre");
  EXPECT_EQ(tags.GenreId(), 0);
  tags.SetGenre("SYNTHPOP");
  EXPECT_EQ(tags.GenreId(), 147);
}

TEST(Id3v1Tags, AppendsATagThatLoadsBackTheSameFields) {
  TagTestFile file(std::vector<unsigned char>(50, 1));
  TId3v1Tags tags;
  tags.SetTitle("A title that is longer than thirty bytes");
  tags.SetArtist("Artist");
  tags.SetAlbum("Album");
  tags.SetYear(2024);
  tags.SetComment("A comment longer than twenty-eight");
  tags.SetTrack(3);
  tags.SetGenre("Speech");
  ASSERT_TRUE(tags.SaveToHandle(file.fd()));
  auto bytes = file.Contents();
  ASSERT_EQ(bytes.size(), 50u + 128u);
  EXPECT_EQ(bytes[49], 1);

  TId3v1Tags back;
  ASSERT_TRUE(back.LoadFromHandle(file.fd()));
  EXPECT_EQ(back.Title(), "A title that is longer than th");
  EXPECT_EQ(back.Artist(), "Artist");
  EXPECT_EQ(back.Album(), "Album");
  EXPECT_EQ(back.Year(), 2024);
  EXPECT_EQ(back.Comment(), "A comment longer than twenty");
  EXPECT_EQ(back.Track(), 3);
  EXPECT_EQ(back.Genre(), "Speech");

  // Without a track the comment keeps all 30 bytes.
  tags.SetTrack(0);
  ASSERT_TRUE(tags.SaveToHandle(file.fd()));
  ASSERT_TRUE(back.LoadFromHandle(file.fd()));
  EXPECT_EQ(back.Comment(), "A comment longer than twenty-e");
  EXPECT_EQ(back.Track(), 0);
}

TEST(Id3v1Tags, ReportsFailureForInvalidOrReadOnlyHandles) {
  TId3v1Tags tags;
  EXPECT_FALSE(tags.ProbeHandle(-1));
  EXPECT_FALSE(tags.LoadFromHandle(12345));
  EXPECT_FALSE(tags.SaveToHandle(-1));
  TagTestFile file(std::vector<unsigned char>(10, 0), O_RDONLY);
  EXPECT_FALSE(tags.SaveToHandle(file.fd()));
  EXPECT_EQ(file.Contents().size(), 10u);
}
