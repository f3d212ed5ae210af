// The six window glyphs: size, transparent white background, where each
// picture lies and which colours it uses.

#include <gtest/gtest.h>

#include <set>

#include "WidgetTestSupport.h"
#include "widgets/WindowGlyphs.h"

namespace {

struct GlyphCase {
  const char* name;
  WindowGlyph glyph;
  QRect box;                 // bounding box of the non-white pixels
  std::set<QRgb> colours;    // every colour besides white
};

void PrintTo(const GlyphCase& c, std::ostream* os) { *os << c.name; }

class WindowGlyphPicture : public ::testing::TestWithParam<GlyphCase> {};

TEST_P(WindowGlyphPicture, IsSixteenSquareOnWhiteWithinItsBoxInItsColours) {
  const GlyphCase& c = GetParam();
  const QImage img = MakeWindowGlyph(c.glyph);
  ASSERT_EQ(img.size(), QSize(16, 16));
  EXPECT_EQ(Px(img, 0, 15), 0xFFFFFFu);  // white bottom-left: the transparent colour
  QRect box;
  std::set<QRgb> seen;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const QRgb p = Px(img, x, y);
      if (p == 0xFFFFFF) continue;
      box |= QRect(x, y, 1, 1);
      seen.insert(p);
    }
  EXPECT_EQ(box, c.box);
  EXPECT_EQ(seen, c.colours);
}

INSTANTIATE_TEST_SUITE_P(
    AllSix, WindowGlyphPicture,
    ::testing::Values(
        GlyphCase{"Play", WindowGlyph::Play, QRect(QPoint(2, 2), QPoint(15, 13)), {0x00FF00, 0x808080, 0xC0C0C0}},
        GlyphCase{"Pause", WindowGlyph::Pause, QRect(QPoint(4, 2), QPoint(11, 13)), {0xFFFF00, 0x808000, 0xC0C0C0}},
        GlyphCase{"Stop", WindowGlyph::Stop, QRect(QPoint(3, 3), QPoint(12, 12)), {0xFF0000, 0x800000, 0xC0C0C0}},
        GlyphCase{"UpArrow", WindowGlyph::UpArrow, QRect(QPoint(2, 1), QPoint(13, 11)), {0x000000, 0x808080}},
        GlyphCase{"DownArrow", WindowGlyph::DownArrow, QRect(QPoint(2, 3), QPoint(13, 13)), {0x000000, 0x808080}},
        GlyphCase{"RedCross", WindowGlyph::RedCross, QRect(QPoint(2, 2), QPoint(13, 13)),
                  {0xFF0000, 0x800000, 0xC0C0C0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WindowGlyphShape, DownArrowIsTheUpArrowMirroredTopToBottom) {
  const QImage up = MakeWindowGlyph(WindowGlyph::UpArrow);
  const QImage down = MakeWindowGlyph(WindowGlyph::DownArrow);
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(Px(down, x, 14 - y), Px(up, x, y)) << x << "," << y;
}

TEST(WindowGlyphShape, PlayTrianglePointsRightWithItsTipAtTheMiddleRows) {
  const QImage play = MakeWindowGlyph(WindowGlyph::Play);
  EXPECT_NE(Px(play, 15, 7), 0xFFFFFFu);
  EXPECT_NE(Px(play, 15, 8), 0xFFFFFFu);
  EXPECT_EQ(Px(play, 15, 6), 0xFFFFFFu);
  EXPECT_EQ(Px(play, 15, 9), 0xFFFFFFu);
  for (int y = 2; y <= 13; ++y) EXPECT_EQ(Px(play, 2, y), 0x808080u) << y;  // left side
}

}  // namespace
