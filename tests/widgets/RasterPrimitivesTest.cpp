// The drawing primitives the widgets are built from, checked on images.

#include <QPainter>

#include <gtest/gtest.h>

#include "WidgetTestSupport.h"
#include "widgets/RasterPrimitives.h"

namespace {

QImage Canvas(int w, int h, QRgb fill = 0x123456) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(QColor::fromRgb(fill));
  return img;
}

TEST(GradientBands, RunLeftToRightAndBackAndFillTheRemainderWithTheEndColour) {
  const QColor red(0xFF, 0x00, 0x00), blue(0x00, 0x00, 0xFF);
  for (int direction : {2, 3}) {
    QImage img = Canvas(12, 4);  // 10 columns in 4 bands of 2 plus a 2-column remainder
    QPainter p(&img);
    Raster::FillGradientBands(p, {1, 0, 11, 4}, red, 4, direction, blue);
    p.end();
    const QRgb start = direction == 2 ? 0xFF0000 : 0x0000FF, end = direction == 2 ? 0x0000FF : 0xFF0000;
    EXPECT_EQ(Hex(Px(img, 1, 2)), Hex(start)) << direction;
    EXPECT_EQ(Hex(Px(img, 2, 2)), Hex(start)) << direction;
    EXPECT_EQ(Hex(Px(img, 7, 2)), Hex(end)) << direction;  // band 3 of 0..3 reaches the end colour
    EXPECT_EQ(Hex(Px(img, 9, 2)), Hex(end)) << direction;  // the remainder
    EXPECT_EQ(Hex(Px(img, 10, 2)), Hex(end)) << direction;
    EXPECT_EQ(Hex(Px(img, 11, 2)), "123456") << direction;  // nothing past the extra band's clip
    EXPECT_EQ(Hex(Px(img, 0, 2)), "123456") << direction;
  }
}

TEST(GradientBands, WrapChannelsToTheirLowEightBitsOnTheExtraBand) {
  QImage img = Canvas(3, 4);
  QPainter p(&img);
  // Two bands of one row from #00FF00 to #FFFF00; the extra third band
  // overshoots red to 0x1FE, which wraps to 0xFE.
  Raster::FillGradientBands(p, {0, 0, 3, 2}, QColor(0x00, 0xFF, 0x00), 2, 0, QColor(0xFF, 0xFF, 0x00));
  p.end();
  EXPECT_EQ(Hex(Px(img, 1, 0)), "00FF00");
  EXPECT_EQ(Hex(Px(img, 1, 1)), "FFFF00");
  EXPECT_EQ(Hex(Px(img, 1, 2)), "FEFF00");
  EXPECT_EQ(Hex(Px(img, 1, 3)), "123456");
}

TEST(GradientBands, FewerThanTwoBandsOrAnEmptyRectangleGiveFlatOrNothing) {
  QImage img = Canvas(4, 4);
  QPainter p(&img);
  Raster::FillGradientBands(p, {0, 0, 4, 4}, QColor(0x10, 0x20, 0x30), 1, 0, QColor(0xFF, 0xFF, 0xFF));
  Raster::FillGradientBands(p, {2, 2, 2, 4}, QColor(0xFF, 0, 0), 9, 0, QColor(0, 0, 0xFF));
  p.end();
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(Hex(Px(img, x, y)), "102030");
}

TEST(RoundedOutline, DrawsOnlyTheOutermostPixelsAndRoundsTheCorners) {
  QImage img = Canvas(20, 12);
  QPainter p(&img);
  Raster::RoundedOutline(p, {0, 0, 20, 12}, 6, Qt::black);
  p.end();
  EXPECT_EQ(Px(img, 10, 0), 0u);
  EXPECT_EQ(Px(img, 10, 11), 0u);
  EXPECT_EQ(Px(img, 0, 6), 0u);
  EXPECT_EQ(Px(img, 19, 6), 0u);
  EXPECT_EQ(Hex(Px(img, 0, 0)), "123456");
  EXPECT_EQ(Hex(Px(img, 19, 11)), "123456");
  for (int y = 2; y < 10; ++y)
    for (int x = 2; x < 18; ++x) ASSERT_EQ(Hex(Px(img, x, y)), "123456");
  // Each corner is closed: walking along the outline never leaves a gap.
  int onOutline = 0;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x) onOutline += Px(img, x, y) == 0;
  EXPECT_GT(onOutline, 2 * (20 + 12) - 4 - 16);
}

TEST(FocusRectangle, InvertsEveryOtherOutlinePixelAndUndoesItself) {
  QImage img = Canvas(10, 8, 0x808080);
  img.setPixel(3, 0, 0xFF00FF00);
  const QImage before = img.copy();
  QPainter p(&img);
  Raster::InvertFocusRect(p, {0, 0, 10, 8});
  p.end();
  EXPECT_EQ(Hex(Px(img, 0, 0)), "7F7F7F");
  EXPECT_EQ(Hex(Px(img, 1, 0)), "808080");
  EXPECT_EQ(Hex(Px(img, 3, 0)), "00FF00");  // odd position: untouched
  EXPECT_EQ(Hex(Px(img, 9, 7)), "7F7F7F");
  EXPECT_EQ(Hex(Px(img, 4, 4)), "808080");  // inside: untouched
  QPainter again(&img);
  Raster::InvertFocusRect(again, {0, 0, 10, 8});
  again.end();
  EXPECT_EQ(img, before);
}

TEST(Lines, CoverTheStartAndStopBeforeTheEnd) {
  QImage img = Canvas(8, 8);
  QPainter p(&img);
  Raster::Line(p, QPoint(1, 1), QPoint(5, 5), Qt::black);
  p.end();
  for (int i = 1; i < 5; ++i) EXPECT_EQ(Px(img, i, i), 0u) << i;
  EXPECT_EQ(Hex(Px(img, 5, 5)), "123456");
}

}  // namespace
