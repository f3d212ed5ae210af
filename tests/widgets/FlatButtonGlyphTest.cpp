// Glyphs on flat buttons: placement, the disabled looks, and glyph strips.

#include <QPainter>

#include <gtest/gtest.h>

#include "WidgetTestSupport.h"
#include "widgets/TButtonGlyph.h"
#include "widgets/TFlatButton.h"
#include "widgets/WindowGlyphs.h"

namespace {

constexpr QRgb kBtnShadow = 0xA0A0A0, kBtnHighlight = 0xFFFFFF;

// A 16 x 16 image per colour, side by side, each on white with a coloured
// square at (4, 4) .. (11, 11) and a marker pixel at its top-left corner.
QImage Strip(std::initializer_list<QRgb> squares) {
  QImage img(16 * static_cast<int>(squares.size()), 16, QImage::Format_RGB32);
  img.fill(Qt::white);
  int i = 0;
  for (QRgb c : squares) {
    for (int y = 4; y < 12; ++y)
      for (int x = 4; x < 12; ++x) img.setPixel(16 * i + x, y, c | 0xFF000000u);
    img.setPixel(16 * i, 0, 0xFFFF00FFu);
    ++i;
  }
  return img;
}

class FlatButtonGlyph : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = MakeHost();
    button_ = new TFlatButton(host_.get());
    button_->setGeometry(10, 10, 25, 25);
    button_->show();
    QApplication::processEvents();
  }
  // Glyph pixel (x, y) as drawn on a glyph-only 25 x 25 button.
  QRgb GlyphPx(const QImage& img, int x, int y) const { return Px(img, 4 + x, 5 + y); }

  std::unique_ptr<QWidget> host_;
  TFlatButton* button_ = nullptr;
};

TEST_F(FlatButtonGlyph, GlyphOnlyButtonDrawsTheGlyphWithItsCornerAtFourFive) {
  const QImage bare = Render(button_);
  button_->SetGlyph(Strip({0x0000FF}));
  const QImage img = Render(button_);
  EXPECT_EQ(Hex(Px(img, 4, 5)), "FF00FF");
  EXPECT_EQ(Hex(GlyphPx(img, 4, 4)), "0000FF");
  EXPECT_EQ(Hex(GlyphPx(img, 11, 11)), "0000FF");
  // White is transparent: the face shows through.
  EXPECT_EQ(Hex(GlyphPx(img, 1, 1)), Hex(Px(bare, 5, 6)));
  EXPECT_EQ(Hex(GlyphPx(img, 15, 15)), Hex(Px(bare, 19, 20)));
}

TEST_F(FlatButtonGlyph, GlyphAndCaptionAreCentredTogetherWithSpacingBetweenThem) {
  button_->resize(100, 25);
  button_->SetGlyph(Strip({0x0000FF}));
  const QImage glyphOnly = Render(button_);
  button_->SetCaption("Abc");
  const QImage both = Render(button_);
  // The glyph moves left to make room for the caption.
  int glyphOnlyX = -1, bothX = -1;
  for (int x = 0; x < 100 && (glyphOnlyX < 0 || bothX < 0); ++x) {
    if (glyphOnlyX < 0 && Px(glyphOnly, x, 5) == 0xFF00FF) glyphOnlyX = x;
    if (bothX < 0 && Px(both, x, 5) == 0xFF00FF) bothX = x;
  }
  EXPECT_EQ(glyphOnlyX, (100 - 16 + 1) / 2 - 1);
  EXPECT_GT(bothX, 0);
  EXPECT_LT(bothX, glyphOnlyX);
  // Glyph to the right of the caption when asked for.
  button_->SetLayout(blGlyphRight);
  const QImage right = Render(button_);
  int rightX = -1;
  for (int x = 0; x < 100; ++x)
    if (Px(right, x, 5) == 0xFF00FF) rightX = x;
  EXPECT_GT(rightX, glyphOnlyX);
}

TEST_F(FlatButtonGlyph, GivenMarginPlacesTheGlyphFromTheLeftEdge) {
  button_->resize(60, 25);
  button_->SetGlyph(Strip({0x0000FF}));
  button_->SetMargin(10);
  const QImage img = Render(button_);
  EXPECT_EQ(Hex(Px(img, 9, 5)), "FF00FF");  // one pixel left of the margin
}

TEST_F(FlatButtonGlyph, DisabledPlayGlyphVanishesBecauseItHasNoBlackPixels) {
  button_->setEnabled(false);
  const QImage bare = Render(button_);
  button_->SetGlyph(MakeWindowGlyph(WindowGlyph::Play));
  EXPECT_EQ(Render(button_), bare);
  button_->setEnabled(true);
  EXPECT_NE(Render(button_), bare);  // enabled, the glyph shows
}

TEST_F(FlatButtonGlyph, DisabledUpArrowShowsAsAnEmbossedSilhouetteOfItsBlackPixels) {
  const QImage glyph = MakeWindowGlyph(WindowGlyph::UpArrow);
  button_->SetGlyph(glyph);
  const QImage enabled = Render(button_);
  EXPECT_EQ(Hex(GlyphPx(enabled, 7, 1)), "000000");
  EXPECT_EQ(Hex(GlyphPx(enabled, 8, 9)), "808080");

  button_->setEnabled(false);
  const QImage img = Render(button_);
  const QImage bare = [&] {
    button_->SetGlyph(QImage());
    return Render(button_);
  }();
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool black = Px(glyph, x, y) == 0;
      const bool lit = x > 0 && y > 0 && Px(glyph, x - 1, y - 1) == 0;
      const QRgb expected = black ? kBtnShadow : lit ? kBtnHighlight : Px(bare, 4 + x, 5 + y);
      ASSERT_EQ(Hex(GlyphPx(img, x, y)), Hex(expected)) << "glyph pixel (" << x << ", " << y << ")";
    }
}

TEST_F(FlatButtonGlyph, StripOf32By16HasTwoImagesAndShowsTheSecondRecolouredWhenDisabled) {
  button_->SetGlyph(Strip({0x0000FF, 0x808080}));
  EXPECT_EQ(button_->NumGlyphs(), 2);
  QImage img = Render(button_);
  EXPECT_EQ(Hex(GlyphPx(img, 6, 6)), "0000FF");
  // Pressed: a two-image strip has no down image, the up image shows.
  button_->setDown(true);
  img = Render(button_);
  EXPECT_EQ(Hex(GlyphPx(img, 6, 6)), "0000FF");
  button_->setDown(false);
  button_->setEnabled(false);
  img = Render(button_);
  EXPECT_EQ(Hex(GlyphPx(img, 6, 6)), Hex(kBtnShadow));  // #808080 becomes the 3-D shadow
  EXPECT_EQ(Hex(GlyphPx(img, 0, 0)), "FF00FF");         // other colours stay
  const QImage bare = [&] {
    button_->SetGlyph(QImage());
    return Render(button_);
  }();
  EXPECT_EQ(Hex(GlyphPx(img, 1, 1)), Hex(Px(bare, 5, 6)));  // background still transparent
}

TEST_F(FlatButtonGlyph, StripOf48By16HasThreeImagesAndTheThirdIsTheDownImage) {
  button_->SetGlyph(Strip({0x0000FF, 0x808080, 0x00FF00}));
  EXPECT_EQ(button_->NumGlyphs(), 3);
  EXPECT_EQ(Hex(GlyphPx(Render(button_), 6, 6)), "0000FF");
  button_->setDown(true);
  EXPECT_EQ(Hex(GlyphPx(Render(button_), 6, 6)), "00FF00");
}

TEST_F(FlatButtonGlyph, StripsOfFiveOrMoreSquaresCountAsOneImage) {
  button_->SetGlyph(Strip({1, 2, 3}));
  button_->SetGlyph(Strip({1, 2, 3, 4, 5}));
  EXPECT_EQ(button_->NumGlyphs(), 1);
  // A width that is not a multiple of the height keeps the count.
  button_->SetNumGlyphs(2);
  button_->SetGlyph(QImage(40, 16, QImage::Format_RGB32));
  EXPECT_EQ(button_->NumGlyphs(), 2);
}

TEST_F(FlatButtonGlyph, NumGlyphsClampsAboveFourAndIgnoresZero) {
  button_->SetNumGlyphs(9);
  EXPECT_EQ(button_->NumGlyphs(), 4);
  button_->SetNumGlyphs(0);
  EXPECT_EQ(button_->NumGlyphs(), 4);
  button_->SetNumGlyphs(-3);
  EXPECT_EQ(button_->NumGlyphs(), 4);
}

TEST_F(FlatButtonGlyph, ZeroWidthGlyphDrawsNothingAndKeepsTheCount) {
  const QImage bare = Render(button_);
  button_->SetGlyph(QImage(0, 16, QImage::Format_RGB32));
  EXPECT_EQ(button_->NumGlyphs(), 1);
  EXPECT_EQ(Render(button_), bare);
}

TEST_F(FlatButtonGlyph, FixedTransparentColourOverridesTheBottomLeftPixel) {
  const QImage bare = Render(button_);
  QImage glyph = Strip({0x0000FF});
  button_->SetGlyph(glyph, QColor(0x00, 0x00, 0xFF));
  const QImage img = Render(button_);
  EXPECT_EQ(Hex(GlyphPx(img, 6, 6)), Hex(Px(bare, 10, 11)));
  EXPECT_EQ(Hex(GlyphPx(img, 1, 1)), "FFFFFF");
}

// A window glyph drawn at (4, 5) on a 24 x 24 surface with device pixel ratio
// `scale`: per device pixel, how much the glyph covers (0..1, found from two
// drawings over black and over white) and its colour over black.
struct ScaledGlyph {
  QImage overBlack;
  std::vector<double> coverage;
  int width = 0;
  double Coverage(int x, int y) const { return coverage[y * width + x]; }
};

ScaledGlyph DrawScaled(WindowGlyph which, qreal scale) {
  TButtonGlyph glyph;
  glyph.SetBitmap(MakeWindowGlyph(which));
  auto draw = [&](QRgb background) {
    QImage img(QSize(24, 24) * scale, QImage::Format_RGB32);
    img.setDevicePixelRatio(scale);
    img.fill(background);
    QPainter p(&img);
    glyph.Draw(p, QPoint(4, 5), TButtonGlyph::State::Up);
    return img;
  };
  ScaledGlyph result{draw(0xFF000000u), {}, 0};
  const QImage overWhite = draw(0xFFFFFFFFu);
  result.width = overWhite.width();
  for (int y = 0; y < overWhite.height(); ++y)
    for (int x = 0; x < overWhite.width(); ++x) {
      const QRgb b = result.overBlack.pixel(x, y), w = overWhite.pixel(x, y);
      const int through = (qRed(w) - qRed(b)) + (qGreen(w) - qGreen(b)) + (qBlue(w) - qBlue(b));
      result.coverage.push_back(1.0 - through / (3 * 255.0));
    }
  return result;
}

// At 1.5x a glyph pixel must not become one device pixel here and two there:
// the play triangle's slanted edge then climbs in uneven steps, and the stop
// square's light bottom edge comes out twice as thick as its dark top edge.
TEST(FlatButtonGlyphScaling, AtOneAndAHalfTheTriangleWidensEvenlyAndTheSquaresEdgesKeepTheirWeight) {
  const ScaledGlyph play = DrawScaled(WindowGlyph::Play, 1.5);
  // The glyph's rows 2..7 (device rows 11..18 from the origin at device row
  // 8) widen by 2 or 3 pixels each; every device row must be wider than the
  // one above by 2 to 3 device pixels, never by nothing or by 4 or more.
  std::vector<double> widths;
  for (int y = 11; y <= 18; ++y) {
    double width = 0;
    for (int x = 0; x < play.width; ++x) width += play.Coverage(x, y);
    widths.push_back(width);
  }
  for (size_t i = 1; i < widths.size(); ++i) {
    EXPECT_GT(widths[i] - widths[i - 1], 0.75) << "device row " << 11 + i;
    EXPECT_LT(widths[i] - widths[i - 1], 3.5) << "device row " << 11 + i;
  }

  // The stop square's light (#C0C0C0) edge is one glyph pixel thick at the
  // right and at the bottom: 1.5 device pixels' worth each, not 1 or 2.
  const ScaledGlyph stop = DrawScaled(WindowGlyph::Stop, 1.5);
  auto light = [&](int x, int y) { return qGreen(stop.overBlack.pixel(x, y)) / 192.0; };  // red has no green
  double right = 0, bottom = 0;
  const int middleX = qRound((4 + 8) * 1.5), middleY = qRound((5 + 8) * 1.5);
  for (int x = 0; x < stop.width; ++x) right += light(x, middleY);
  for (int y = 0; y < stop.overBlack.height(); ++y) bottom += light(middleX, y);
  EXPECT_NEAR(right, 1.5, 0.25);
  EXPECT_NEAR(bottom, 1.5, 0.25);
}

// Whole scales keep every pixel: at 2x each glyph pixel is a 2 x 2 square.
TEST(FlatButtonGlyphScaling, AtTwoEveryGlyphPixelIsATwoByTwoSquare) {
  const QImage source = MakeWindowGlyph(WindowGlyph::Play);
  const ScaledGlyph play = DrawScaled(WindowGlyph::Play, 2);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const QRgb expected = Px(source, x, y) == 0xFFFFFF ? 0 : Px(source, x, y);
      for (int d = 0; d < 4; ++d)
        ASSERT_EQ(Hex(Px(play.overBlack, 2 * (4 + x) + d % 2, 2 * (5 + y) + d / 2)), Hex(expected)) << x << "," << y;
    }
}

}  // namespace
