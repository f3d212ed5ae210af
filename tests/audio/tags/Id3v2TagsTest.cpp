#include <gtest/gtest.h>

#include "audio/tags/TId3v2Tags.h"
#include "audio/tags/TagTestFile.h"

namespace {

using ByteVec = std::vector<unsigned char>;

ByteVec Header(int version, uint32_t size, unsigned char flags = 0) {
  return {'I', 'D', '3', uint8_t(version), 0, flags, uint8_t((size >> 21) & 0x7F), uint8_t((size >> 14) & 0x7F),
          uint8_t((size >> 7) & 0x7F), uint8_t(size & 0x7F)};
}

ByteVec Frame(const std::string& id, const ByteVec& data) {
  ByteVec f(id.begin(), id.end());
  uint32_t n = uint32_t(data.size());
  if (id.size() == 3) {
    f.insert(f.end(), {uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
  } else {
    f.insert(f.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0, 0});
  }
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

ByteVec Text(uint8_t encoding, const std::string& raw) {
  ByteVec d(raw.size() + 1);
  d[0] = encoding;
  for (size_t i = 0; i < raw.size(); ++i) d[i + 1] = static_cast<unsigned char>(raw[i]);
  return d;
}

// A tag of the given version holding the frames, plus some trailing audio.
ByteVec Tag(int version, const std::vector<ByteVec>& frames, size_t padding = 8) {
  ByteVec body;
  for (const auto& f : frames) body.insert(body.end(), f.begin(), f.end());
  body.resize(body.size() + padding, 0);
  ByteVec out = Header(version, uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  ByteVec audio(40, 0xAA);
  out.insert(out.end(), audio.begin(), audio.end());
  return out;
}

}  // namespace

TEST(Id3v2Tags, ReadsVersion3TextFramesInEveryStoredEncoding) {
  std::string utf16{'\xFF', '\xFE', 'H', 0, '\xE9', 0, 'l', 0, 0, 0, 'x', 0};
  TagTestFile file(Tag(3, {Frame("TPE1", Text(0, std::string("Art\xE9st\0junk", 11))),
                           Frame("TIT2", Text(1, utf16)),
                           Frame("TALB", Text(3, "\xC3\x81lbum \xE2\x99\xAB")),
                           Frame("TCON", Text(2, "ignored")),       // encoding 2 is not stored
                           Frame("COMM", Text(0, "engskipped")),   // comments are skipped
                           Frame("TRCK", Text(0, "5/12")),
                           Frame("TXXX", Text(0, "unknown"))}));
  TId3v2Tags tags;
  ASSERT_TRUE(tags.ProbeHandle(file.fd()));
  EXPECT_EQ(file.Position(), 0);
  ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
  EXPECT_TRUE(tags.LongFrameIds());
  EXPECT_EQ(tags.Artist(), L"Art\u00e9st");
  EXPECT_TRUE(std::holds_alternative<std::string>(tags.GetTag("TPE1")));
  EXPECT_EQ(tags.Title(), L"H\u00e9l");
  EXPECT_EQ(tags.Album(), L"\u00c1lbum \u266b");
  EXPECT_EQ(tags.Genre(), L"");
  EXPECT_EQ(tags.Comment(), L"");
  EXPECT_EQ(tags.Track(), "5/12");
}

TEST(Id3v2Tags, ReadsBigEndianUtf16WhenItsByteOrderMarkSaysSo) {
  std::string be{'\xFE', '\xFF', 0, 'O', 0, 'K'};
  std::string plain{'N', 0, 'o', 0};
  TagTestFile file(Tag(4, {Frame("TIT2", Text(1, be)), Frame("TPE1", Text(1, plain))}));
  TId3v2Tags tags;
  ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
  EXPECT_EQ(tags.Title(), L"OK");
  EXPECT_EQ(tags.Artist(), L"No");
}

TEST(Id3v2Tags, Version22TagsUseTheShortFrameIds) {
  TagTestFile file(Tag(2, {Frame("TP1", Text(0, "Short artist")), Frame("TYE", Text(0, "1987"))}));
  TId3v2Tags tags;
  ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
  EXPECT_FALSE(tags.LongFrameIds());
  EXPECT_EQ(tags.Artist(), L"Short artist");
  EXPECT_EQ(tags.Year(), "1987");
  EXPECT_EQ(tags.TagAsString("TPE1"), "");
  tags.SetLongFrameIds(true);
  EXPECT_EQ(tags.Artist(), L"");
}

TEST(Id3v2Tags, RejectsHeadersWithBadVersionFlagsOrSizeBytes) {
  auto expectNoTag = [](ByteVec bytes) {
    TagTestFile file(bytes);
    TId3v2Tags tags;
    EXPECT_FALSE(tags.ProbeHandle(file.fd()));
    EXPECT_FALSE(tags.LoadFromHandle(file.fd()));
    EXPECT_EQ(file.Position(), 0);
  };
  ByteVec good = Tag(3, {Frame("TIT2", Text(0, "x"))});
  auto version5 = good;
  version5[3] = 5;
  expectNoTag(version5);
  auto bigSizeByte = good;
  bigSizeByte[8] = 0x80;
  expectNoTag(bigSizeByte);
  auto revisionFF = good;
  revisionFF[4] = 0xFF;
  expectNoTag(revisionFF);
  auto v3BadFlag = good;
  v3BadFlag[5] = 0x10;
  expectNoTag(v3BadFlag);
  expectNoTag(ByteVec{'I', 'D', '3', 3, 0});  // header cut short
  expectNoTag(ByteVec{});
  TagTestFile ok(good);
  TId3v2Tags tags;
  EXPECT_TRUE(tags.ProbeHandle(ok.fd()));
}

TEST(Id3v2Tags, LeavesThePositionAtTheEndOfTheTagIncludingTheFooter) {
  ByteVec bytes = Tag(4, {Frame("TIT2", Text(0, "x"))}, 6);
  bytes[5] = 0x10;  // footer present: 10 more bytes belong to the tag
  TagTestFile file(bytes);
  TId3v2Tags tags;
  ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
  EXPECT_EQ(file.Position(), 10 + 18 + 10);
}

TEST(Id3v2Tags, TagsThatClaimMoreThanTheFileHoldsYieldNoFields) {
  ByteVec bytes = Header(3, 100000);
  ByteVec frame = Frame("TIT2", Text(0, "Title"));
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  TagTestFile file(bytes);
  TId3v2Tags tags;
  EXPECT_TRUE(tags.LoadFromHandle(file.fd()));
  EXPECT_EQ(tags.Title(), L"");
}

TEST(Id3v2Tags, StopsAtAFrameWhoseSizeRunsPastTheTagButKeepsEarlierFields) {
  ByteVec huge{'T', 'A', 'L', 'B', 0xFF, 0xFF, 0xFF, 0xF0, 0, 0, 0, 'A'};
  TagTestFile file(Tag(3, {Frame("TPE1", Text(0, "Kept")), huge, Frame("TIT2", Text(0, "Lost"))}));
  TId3v2Tags tags;
  ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
  EXPECT_EQ(tags.Artist(), L"Kept");
  EXPECT_EQ(tags.Album(), L"");
  EXPECT_EQ(tags.Title(), L"");
}

TEST(Id3v2Tags, SkipsEmptyFramesAndStopsAtPaddingOrLowerCaseIds) {
  ByteVec empty = Frame("TCOM", {});
  ByteVec lower = Frame("tit2", Text(0, "no"));
  TagTestFile file(Tag(3, {empty, Frame("TPE1", Text(0, "A")), lower, Frame("TALB", Text(0, "B"))}));
  TId3v2Tags tags;
  ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
  EXPECT_EQ(tags.Artist(), L"A");
  EXPECT_EQ(tags.Album(), L"");
}

TEST(Id3v2Tags, SavedTagLoadsBackAndKeepsTheFileContentBehindIt) {
  ByteVec audio;
  for (int i = 0; i < 5000; ++i) audio.push_back(uint8_t(i * 7));
  TagTestFile file(audio);
  TId3v2Tags tags;
  tags.SetArtist(L"\u00c1rv\u00edzt\u0171r\u0151");
  tags.SetTitle(L"Title");
  tags.SetTrack("4");
  tags.SetYear("2020");
  tags.SetLink(L"http://x");
  tags.SetComment(L"not written");
  ASSERT_TRUE(tags.SaveToHandle(file.fd(), true));

  ByteVec bytes = file.Contents();
  ASSERT_GT(bytes.size(), audio.size());
  size_t tagLength = bytes.size() - audio.size();
  EXPECT_EQ(tagLength % 16, 0u);
  EXPECT_TRUE(std::equal(audio.begin(), audio.end(), bytes.begin() + long(tagLength)));
  EXPECT_EQ(bytes[3], 4);

  TId3v2Tags back;
  lseek(file.fd(), 0, SEEK_SET);
  ASSERT_TRUE(back.LoadFromHandle(file.fd()));
  EXPECT_EQ(file.Position(), off_t(tagLength));
  EXPECT_EQ(back.Artist(), L"\u00c1rv\u00edzt\u0171r\u0151");
  EXPECT_EQ(back.Title(), L"Title");
  EXPECT_EQ(back.Track(), "4");
  EXPECT_EQ(back.Year(), "2020");
  EXPECT_EQ(back.Link(), L"http://x");
  EXPECT_EQ(back.Comment(), L"");
}

TEST(Id3v2Tags, WriterSkipsEmptyFieldsInsteadOfStoppingAtThem) {
  TagTestFile file(ByteVec{});
  TId3v2Tags tags;
  // Album (the first field) stays empty; later fields must still be written.
  tags.SetCopyright(L"(c) Narrow \u0151");
  tags.SetYear("1999");
  ASSERT_TRUE(tags.SaveToHandle(file.fd(), false));
  TId3v2Tags back;
  lseek(file.fd(), 0, SEEK_SET);
  ASSERT_TRUE(back.LoadFromHandle(file.fd()));
  EXPECT_EQ(back.Copyright(), L"(c) Narrow \u0151");
  EXPECT_TRUE(std::holds_alternative<std::string>(back.GetTag("TCOP")));
  EXPECT_EQ(back.Year(), "1999");
}

TEST(Id3v2Tags, SaveWritesTheFieldsOfAVersion22TagUnderLongIds) {
  TagTestFile file(Tag(2, {Frame("TT2", Text(0, "Old title"))}));
  TId3v2Tags tags;
  ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
  ASSERT_TRUE(tags.SaveToHandle(file.fd(), false));
  TId3v2Tags back;
  lseek(file.fd(), 0, SEEK_SET);
  ASSERT_TRUE(back.LoadFromHandle(file.fd()));
  EXPECT_TRUE(back.LongFrameIds());
  EXPECT_EQ(back.Title(), L"Old title");
  // The old tag stays behind the new one.
  TId3v2Tags old;
  ASSERT_TRUE(old.LoadFromHandle(file.fd()));
  EXPECT_FALSE(old.LongFrameIds());
}

TEST(Id3v2Tags, SaveLeavesAFileNotOpenForReadingAndWritingUnchanged) {
  ByteVec audio(100, 3);
  TagTestFile file(audio, O_RDONLY);
  TId3v2Tags tags;
  tags.SetTitle(L"x");
  EXPECT_FALSE(tags.SaveToHandle(file.fd(), true));
  EXPECT_FALSE(tags.SaveToHandle(-1, true));
  EXPECT_EQ(file.Contents(), audio);
}

TEST(Id3v2Tags, SurvivesRandomlyCorruptedTagsAndAlwaysEndsAtTheTagEnd) {
  // Byte flips anywhere in a tag of many frames: loading never reads out of
  // bounds (the sanitizer build checks) and stops at the header's end.
  ByteVec base = Tag(3, {Frame("TPE1", Text(1, std::string("\xFF\xFE" "A\0B\0", 6))), Frame("TIT2", Text(3, "x")),
                         Frame("TALB", Text(0, "album")), Frame("TRCK", Text(0, "1"))});
  uint32_t seed = 99;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (int round = 0; round < 300; ++round) {
    ByteVec bytes = base;
    for (int k = 0; k < 4; ++k) bytes[10 + next() % (bytes.size() - 10)] = uint8_t(next() >> 24);
    if (round % 3 == 0) bytes.resize(10 + next() % (bytes.size() - 10));
    TagTestFile file(bytes);
    TId3v2Tags tags;
    ASSERT_TRUE(tags.LoadFromHandle(file.fd()));
    EXPECT_EQ(file.Position(), off_t(base.size() - 40));  // header size unchanged: E stays
  }
}
