// Bad ID3v2 tags from the table of bad files: each loads as a partial
// result (the frames before the fault), never reads past the tag, and leaves
// the position at the tag's end. Frame sizes are plain 32-bit numbers in
// versions 3 and 4 alike; extended headers and unsynchronisation are not
// decoded.
//
// Covered elsewhere: a frame size past the tag's end
// (Id3v2Tags.StopsAtAFrameWhoseSizeRunsPastTheTagButKeepsEarlierFields).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/tags/TId3v2Tags.h"
#include "audio/tags/TagTestFile.h"

namespace {

using ByteVec = std::vector<unsigned char>;

void Put32(ByteVec& b, uint32_t v, bool syncsafe) {
  if (syncsafe) v = ((v & 0xFE00000) << 3) | ((v & 0x1FC000) << 2) | ((v & 0x3F80) << 1) | (v & 0x7F);
  b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

ByteVec Frame(const std::string& id, const std::string& text, bool syncsafeSize = false) {
  ByteVec f(id.begin(), id.end());
  Put32(f, uint32_t(text.size() + 1), syncsafeSize);
  f.insert(f.end(), {0, 0, 0});  // flags, encoding 0
  f.insert(f.end(), text.begin(), text.end());
  return f;
}

// Header (version, flags), then the body; 40 bytes of "audio" follow the tag.
ByteVec Tag(int version, unsigned char flags, const ByteVec& body) {
  const uint32_t n = uint32_t(body.size());
  ByteVec out{'I', 'D', '3', uint8_t(version), 0, flags, uint8_t((n >> 21) & 0x7F), uint8_t((n >> 14) & 0x7F),
              uint8_t((n >> 7) & 0x7F), uint8_t(n & 0x7F)};
  out.insert(out.end(), body.begin(), body.end());
  out.insert(out.end(), 40, 0xAA);
  return out;
}

ByteVec Join(const std::vector<ByteVec>& parts) {
  ByteVec out;
  for (const ByteVec& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Loads the tag at the start of the file and checks the position landed on its end.
void Load(const ByteVec& file, TId3v2Tags& tags) {
  TagTestFile f(file);
  ASSERT_TRUE(tags.LoadFromHandle(f.fd()));
  EXPECT_EQ(f.Position(), off_t(file.size() - 40));
}

}  // namespace

TEST(BadId3v2Tags, ASyncsafeFrameSizeAmongPlainOnesEndsTheFramesThere) {
  // 200 as a syncsafe number reads as 328 plain: past the tag, so the frame
  // and everything after it are dropped; the frame before stays.
  const std::string title(199, 't');
  const ByteVec body = Join({Frame("TPE1", "Vomrella"), Frame("TIT2", title, true), Frame("TALB", "Album"),
                             ByteVec(8, 0)});
  TId3v2Tags tags;
  Load(Tag(4, 0, body), tags);
  EXPECT_EQ(tags.Artist(), L"Vomrella");
  EXPECT_EQ(tags.Title(), L"");
  EXPECT_EQ(tags.Album(), L"");

  // Below 128 both readings agree, so such frames read normally.
  TId3v2Tags small;
  Load(Tag(4, 0, Join({Frame("TPE1", "A", true), Frame("TIT2", "B"), ByteVec(4, 0)})), small);
  EXPECT_EQ(small.Artist(), L"A");
  EXPECT_EQ(small.Title(), L"B");
}

TEST(BadId3v2Tags, AnExtendedHeaderEndsTheFramesAtItsStart) {
  // Version 3: size 6, two flag bytes, padding size; version 4: syncsafe size 6, one flag-byte count, flags.
  const ByteVec v3Ext{0, 0, 0, 6, 0, 0, 0, 0, 0, 0};
  const ByteVec v4Ext{0, 0, 0, 6, 1, 0};
  for (const auto& [version, ext] : {std::pair{3, v3Ext}, std::pair{4, v4Ext}}) {
    SCOPED_TRACE(version);
    TId3v2Tags tags;
    Load(Tag(version, 0x40, Join({ext, Frame("TPE1", "Vomrella"), ByteVec(8, 0)})), tags);
    EXPECT_EQ(tags.Artist(), L"");
    EXPECT_TRUE(tags.Empty());
  }
}

TEST(BadId3v2Tags, UnsynchronisedFramesAreReadAsStored) {
  // An 0xFF followed by a stuffed 0x00: the text ends at that zero byte; the
  // frame after it is still found, as the sizes count the stuffed bytes.
  const ByteVec body = Join({Frame("TIT2", std::string("ab\xFF\x00\xE0", 5)), Frame("TPE1", "Vomrella"),
                             ByteVec(8, 0)});
  TId3v2Tags tags;
  Load(Tag(3, 0x80, body), tags);
  EXPECT_EQ(tags.TagAsString("TIT2"), "ab\xFF");
  EXPECT_EQ(tags.Artist(), L"Vomrella");
}

TEST(BadId3v2Tags, AFrameSizeOfFourGigabytesAllocatesNothingAndKeepsEarlierFrames) {
  ByteVec huge{'T', 'A', 'L', 'B', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0};
  TId3v2Tags tags;
  Load(Tag(3, 0, Join({Frame("TPE1", "Vomrella"), huge, ByteVec(20, 'x')})), tags);
  EXPECT_EQ(tags.Artist(), L"Vomrella");
  EXPECT_EQ(tags.Album(), L"");
}
