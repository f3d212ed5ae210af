// What a flat button looks like in its states: face bands, frames, shadow,
// hover, press, focus.

#include <QEnterEvent>

#include <gtest/gtest.h>

#include "WidgetTestSupport.h"
#include "widgets/TFlatButton.h"

namespace {

constexpr QRgb kStart = 0xCADFF7, kEnd = 0x89B8EB, kSkyBlue = 0xA6CAF0, kBlack = 0x000000, kWhite = 0xFFFFFF;
constexpr QRgb kActiveFrame = 0xF1AF76, kDefaultFrame = 0x375906;

class FlatButtonLook : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = MakeHost();
    button_ = new TFlatButton(host_.get());
    button_->setGeometry(10, 10, 75, 25);
    button_->show();
    QApplication::processEvents();
  }
  void Hover(TFlatButton* b) {
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(b, &e);
  }
  void Focus(TFlatButton* b) {
    b->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(b->hasFocus());
  }
  // Every pixel of row y between columns x1 and x2 (inclusive) has colour c.
  static void ExpectRow(const QImage& img, int y, int x1, int x2, QRgb c) {
    for (int x = x1; x <= x2; ++x) ASSERT_EQ(Hex(Px(img, x, y)), Hex(c)) << "at (" << x << ", " << y << ")";
  }
  static void ExpectColumn(const QImage& img, int x, int y1, int y2, QRgb c) {
    for (int y = y1; y <= y2; ++y) ASSERT_EQ(Hex(Px(img, x, y)), Hex(c)) << "at (" << x << ", " << y << ")";
  }

  std::unique_ptr<QWidget> host_;
  TFlatButton* button_ = nullptr;
};

TEST_F(FlatButtonLook, FaceRunsInOneRowBandsFromStartToEndColourAndOneStepBeyond) {
  const QImage img = Render(button_);
  ExpectRow(img, 1, 1, 72, kStart);
  ExpectRow(img, 21, 1, 72, kEnd);
  // Band 10 of 20 rounds its half steps away from zero.
  ExpectRow(img, 11, 3, 70, 0xA9CBF1);
  // The extra band under the last one carries a colour past the end colour.
  ExpectRow(img, 22, 1, 72, 0x86B6EA);
  for (int y = 2; y <= 21; ++y) EXPECT_NE(Px(img, 36, y), Px(img, 36, y - 1)) << "row " << y << " repeats";
}

TEST_F(FlatButtonLook, OuterFrameAndWhiteShadowSitOnTheOutermostPixels) {
  const QImage img = Render(button_);
  ExpectRow(img, 0, 4, 69, kBlack);
  ExpectRow(img, 23, 4, 69, kBlack);
  ExpectColumn(img, 0, 4, 19, kBlack);
  ExpectColumn(img, 73, 4, 19, kBlack);
  // Rounded corners leave the corner pixel itself alone.
  EXPECT_NE(Px(img, 0, 0), kBlack);
  EXPECT_NE(Px(img, 73, 23), kBlack);
  ExpectColumn(img, 74, 0, 21, kWhite);
  ExpectRow(img, 24, 0, 71, kWhite);
  EXPECT_NE(Px(img, 74, 22), kWhite);
  EXPECT_NE(Px(img, 72, 24), kWhite);
}

TEST_F(FlatButtonLook, SquareCornersPutTheFrameIntoTheCorners) {
  button_->SetRoundedEdge(0);
  const QImage img = Render(button_);
  ExpectRow(img, 0, 0, 73, kBlack);
  ExpectColumn(img, 0, 0, 23, kBlack);
  ExpectColumn(img, 73, 0, 23, kBlack);
}

TEST_F(FlatButtonLook, PressedButtonRunsTheGradientTheOtherWayRound) {
  button_->setDown(true);
  const QImage img = Render(button_);
  ExpectRow(img, 1, 1, 72, kEnd);
  ExpectRow(img, 21, 1, 72, kStart);
}

TEST_F(FlatButtonLook, HoveredButtonIsPlainSkyBlueInsideTheActiveFrame) {
  Hover(button_);
  const QImage img = Render(button_);
  for (int y = 2; y <= 21; ++y) ExpectRow(img, y, 2, 71, kSkyBlue);
  ExpectRow(img, 1, 4, 69, kActiveFrame);
  ExpectRow(img, 22, 4, 69, kActiveFrame);
  ExpectColumn(img, 1, 4, 19, kActiveFrame);
  ExpectColumn(img, 72, 4, 19, kActiveFrame);
}

TEST_F(FlatButtonLook, HoveredAndPressedButtonShowsThePressedGradient) {
  Hover(button_);
  button_->setDown(true);
  const QImage img = Render(button_);
  ExpectRow(img, 2, 2, 71, 0x8CBAEC);  // second band of the reversed run
  ExpectRow(img, 21, 2, 71, kStart);
}

TEST_F(FlatButtonLook, SolidFaceUsesColorButtonWhenGradientIsOff) {
  button_->SetGradient(false);
  button_->SetColorButton(QColor(0x12, 0xAB, 0x34));
  const QImage img = Render(button_);
  for (int y = 1; y <= 21; ++y) ExpectRow(img, y, 1, 72, 0x12AB34);
  EXPECT_NE(Px(img, 36, 22), 0x12AB34u);
}

TEST_F(FlatButtonLook, ButtonsOf256And257RowsGetASolidFaceInTheFirstColour) {
  for (int h : {256, 257}) {
    button_->resize(75, h);
    const QImage img = Render(button_);
    for (int y = 1; y <= h - 4; ++y) ExpectRow(img, y, 3, 70, kStart);
  }
  button_->resize(75, 255);
  const QImage img = Render(button_);
  EXPECT_EQ(Hex(Px(img, 36, 1)), Hex(kStart));
  EXPECT_NE(Hex(Px(img, 36, 200)), Hex(kStart));
}

TEST_F(FlatButtonLook, FocusedButtonShowsTheDefaultFrameAndADottedFocusRectangle) {
  const QImage plain = Render(button_);
  Focus(button_);
  const QImage img = Render(button_);
  ExpectRow(img, 1, 4, 69, kDefaultFrame);
  ExpectColumn(img, 72, 4, 19, kDefaultFrame);
  // Focus rectangle (2, 2) .. (71, 21): every other pixel inverted.
  for (int x = 2; x <= 71; ++x) {
    for (int y : {2, 21}) {
      const QRgb expected = (x + y) % 2 == 0 ? (~Px(plain, x, y) & 0xFFFFFFu) : Px(plain, x, y);
      ASSERT_EQ(Hex(Px(img, x, y)), Hex(expected)) << "at (" << x << ", " << y << ")";
    }
  }
  for (int y = 3; y <= 20; ++y) {
    for (int x : {2, 71}) {
      const QRgb expected = (x + y) % 2 == 0 ? (~Px(plain, x, y) & 0xFFFFFFu) : Px(plain, x, y);
      ASSERT_EQ(Hex(Px(img, x, y)), Hex(expected)) << "at (" << x << ", " << y << ")";
    }
  }
}

TEST_F(FlatButtonLook, FocusedButtonUnderTheMouseIsSkyBlueInsideTheDefaultFrame) {
  Focus(button_);
  Hover(button_);
  const QImage img = Render(button_);
  ExpectRow(img, 1, 4, 69, kDefaultFrame);
  ExpectRow(img, 3, 3, 70, kSkyBlue);
  ExpectRow(img, 20, 3, 70, kSkyBlue);
}

TEST_F(FlatButtonLook, FocusedButtonWithTabStopOffShowsNeitherInnerFrameNorFocusRectangle) {
  button_->SetTabStop(false);
  Focus(button_);
  Hover(button_);
  const QImage img = Render(button_);
  for (int y = 1; y <= 22; ++y) ExpectRow(img, y, 1, 72, kSkyBlue);
}

TEST_F(FlatButtonLook, TabStopOffStillTakesTheFocusByClickButNotByTab) {
  auto* skipped = new TFlatButton(host_.get());
  skipped->setGeometry(10, 40, 75, 25);
  skipped->SetTabStop(false);
  auto* next = new TFlatButton(host_.get());
  next->setGeometry(10, 70, 75, 25);
  skipped->show();
  next->show();
  Focus(button_);
  SendKey(button_, QEvent::KeyPress, Qt::Key_Tab);
  EXPECT_TRUE(next->hasFocus());
  SystemClick(skipped, QPoint(5, 5));
  EXPECT_TRUE(skipped->hasFocus());
}

TEST_F(FlatButtonLook, ShadowAndFrameColoursFollowTheirProperties) {
  button_->SetShadowColor(QColor(0x01, 0x02, 0x03));
  button_->SetColorFrame(QColor(0x04, 0x05, 0x06));
  const QImage img = Render(button_);
  EXPECT_EQ(Hex(Px(img, 74, 10)), "010203");
  EXPECT_EQ(Hex(Px(img, 30, 24)), "010203");
  EXPECT_EQ(Hex(Px(img, 30, 0)), "040506");
}

TEST_F(FlatButtonLook, SubTextShowsInAFramedCornerBadge) {
  button_->SetSubText("F2");
  QImage img = Render(button_);
  // Badge frame (58, 4) .. (71, 13) with the button's rounded corners.
  ExpectRow(img, 4, 62, 67, 0x6D6D6D);
  ExpectRow(img, 13, 62, 67, 0x6D6D6D);
  button_->setEnabled(false);
  img = Render(button_);
  ExpectRow(img, 4, 62, 67, 0xE1E8EC);
}

TEST_F(FlatButtonLook, DisabledCaptionIsEmbossedInsteadOfBlack) {
  button_->SetCaption("Rendben");
  auto darkest = [](const QImage& img) {
    int best = 255 * 3;
    for (int y = 2; y < 21; ++y)
      for (int x = 2; x < 71; ++x) {
        const QRgb c = Px(img, x, y);
        best = std::min(best, qRed(c) + qGreen(c) + qBlue(c));
      }
    return best;
  };
  EXPECT_LT(darkest(Render(button_)), 3 * 0x40);
  button_->setEnabled(false);
  const QImage img = Render(button_);
  EXPECT_GE(darkest(img), 3 * 0x80);
  bool highlight = false;
  for (int y = 2; y < 21; ++y)
    for (int x = 2; x < 71; ++x) highlight |= Px(img, x, y) == kWhite;
  EXPECT_TRUE(highlight);
}

TEST_F(FlatButtonLook, ButtonWithoutAParentWindowPaintsNothing) {
  TFlatButton alone;
  alone.resize(75, 25);
  QImage img(75, 25, QImage::Format_RGB32);
  img.fill(QColor(0x11, 0x22, 0x33));
  alone.render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
  for (int y = 0; y < 25; ++y) ExpectRow(img, y, 0, 74, 0x112233);
}

}  // namespace
