// What the owner-drawn page control shows: its tab row in the window's
// colours, the fall-back to Qt's look, and the captions.

#include <QAccessible>
#include <QMouseEvent>
#include <QTabBar>

#include <gtest/gtest.h>

#include "WidgetTestSupport.h"
#include "widgets/RasterPrimitives.h"
#include "widgets/TOwnPageControl.h"

namespace {

constexpr QRgb kSkyBlue = 0xA6CAF0, kPageBlue = 0xE1EDFB, kHotLight = 0x0066CC, kActiveOutline = 0xF1AF76;
constexpr QRgb kTabOutline = 0x808080, kBtnShadow = 0xA0A0A0;

class OwnPageControl : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = MakeHost(450, 300);
    control_ = new TOwnPageControl(host_.get());
    control_->setGeometry(0, 0, 410, 200);
    control_->setFont(Raster::FontWithCellHeight("Arial", 16, true));
    control_->show();
  }
  // The main window's settings.
  void LikeTheWindow() {
    control_->SetOwnerDraw(true);
    control_->SetTabBackground(QColor(kSkyBlue));
    control_->SetTabColor(QColor(kSkyBlue));
    control_->SetActiveSheetColor(QColor(0x80, 0x00, 0x00));
    control_->SetActiveSheetFontColor(QColor(kHotLight));
    control_->SetInactiveSheetFontColor(Qt::black);
    control_->SetActiveSheetBackColor(QColor(kPageBlue));
  }
  void AddPages() {
    for (const char* caption : {" Összeállítás ", " Gyorsbillentyűk ", " Lejátszás "})
      control_->addTab(new QWidget, QString::fromUtf8(caption));
    QApplication::processEvents();
  }
  QRect Tab(int i) const { return control_->tabBar()->tabRect(i).translated(control_->tabBar()->pos()); }
  // Where tab i's caption is drawn: inside its sides, above the lines under the row.
  QRect CaptionArea(int i) const {
    const QRect t = Tab(i);
    return QRect(t.left() + 2, t.top() + 4, t.width() - 4, t.height() - 7);
  }
  // Number of pixels of exactly colour c inside r.
  static int Count(const QImage& img, const QRect& r, QRgb c) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) n += Px(img, x, y) == c;
    return n;
  }

  std::unique_ptr<QWidget> host_;
  TOwnPageControl* control_ = nullptr;
};

TEST_F(OwnPageControl, WithoutPagesNothingIsDrawn) {
  LikeTheWindow();
  QApplication::processEvents();
  QImage img(control_->size(), QImage::Format_RGB32);
  img.fill(QColor(0x11, 0x22, 0x33));
  control_->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
  EXPECT_EQ(Count(img, img.rect(), 0x112233), img.width() * img.height());
}

TEST_F(OwnPageControl, ShowsTheWindowsColoursInTheTabRow) {
  LikeTheWindow();
  AddPages();
  const QImage img = Render(control_);
  const QRect row = control_->TabRowRect();
  ASSERT_FALSE(row.isEmpty());
  EXPECT_EQ(row.left(), 0);
  EXPECT_EQ(row.width(), control_->width());
  const int w = control_->width(), bottom = row.bottom() + 1;
  // Band beyond the last tab, then a black and a highlight line under the row.
  EXPECT_EQ(Hex(Px(img, w - 4, row.top() + 2)), Hex(kSkyBlue));
  EXPECT_EQ(Hex(Px(img, w - 4, bottom - 2)), "000000");
  EXPECT_EQ(Hex(Px(img, w - 4, bottom - 1)), "FFFFFF");

  const QRect active = Tab(0), inactive = Tab(1);
  // Folder tab outlines: grey left side and top; the active one also orange inside.
  EXPECT_EQ(Hex(Px(img, inactive.left(), inactive.top() + 6)), Hex(kTabOutline));
  EXPECT_EQ(Hex(Px(img, inactive.left() + 10, inactive.top() + 2)), Hex(kTabOutline));
  EXPECT_EQ(Hex(Px(img, active.left(), active.top() + 6)), Hex(kTabOutline));
  EXPECT_EQ(Hex(Px(img, active.left() + 1, active.top() + 6)), Hex(kActiveOutline));
  EXPECT_EQ(Hex(Px(img, active.left() + 10, active.top() + 3)), Hex(kActiveOutline));
  // Faces.
  EXPECT_EQ(Hex(Px(img, inactive.left() + 1, inactive.top() + 3)), Hex(kSkyBlue));
  EXPECT_EQ(Hex(Px(img, active.left() + 2, active.top() + 4)), Hex(kPageBlue));
  // The active tab opens into its page: no lines under it.
  EXPECT_EQ(Hex(Px(img, active.left() + 3, bottom - 2)), Hex(kPageBlue));
  EXPECT_EQ(Hex(Px(img, active.left() + 3, bottom - 1)), Hex(kPageBlue));
  EXPECT_EQ(Hex(Px(img, inactive.center().x(), bottom - 2)), "000000");
  // Captions: hot-light on the active tab, black on the others.
  EXPECT_GT(Count(img, CaptionArea(0), kHotLight), 10);
  EXPECT_EQ(Count(img, CaptionArea(0), 0x000000), 0);
  EXPECT_GT(Count(img, CaptionArea(1), 0x000000), 10);
}

TEST_F(OwnPageControl, ActiveTabSlantOverlapsTheNextTab) {
  LikeTheWindow();
  AddPages();
  const QImage img = Render(control_);
  const QRect active = Tab(0), next = Tab(1);
  // Just inside the next tab, low down, the active tab's face still shows.
  EXPECT_EQ(Hex(Px(img, next.left() + 1, next.bottom() - 4)), Hex(kPageBlue));
  // Switching pages moves the highlight.
  control_->setCurrentIndex(1);
  QApplication::processEvents();
  const QImage after = Render(control_);
  EXPECT_EQ(Hex(Px(after, next.left() + 2, next.top() + 4)), Hex(kPageBlue));
  EXPECT_EQ(Hex(Px(after, active.left() + 1, active.top() + 3)), Hex(kSkyBlue));
}

TEST_F(OwnPageControl, ActiveSheetColorLeavesThePictureUnchanged) {
  LikeTheWindow();
  AddPages();
  const QImage before = Render(control_);
  control_->SetActiveSheetColor(QColor(0x00, 0xFF, 0x00));
  EXPECT_EQ(Render(control_), before);
}

TEST_F(OwnPageControl, WithoutTabChangeInactiveCaptionsAreGreyedButStillSelectable) {
  LikeTheWindow();
  AddPages();
  control_->SetAllowTabChange(false);
  const QImage img = Render(control_);
  const QRect inactive = CaptionArea(1);
  EXPECT_EQ(Count(img, inactive, 0x000000), 0);
  EXPECT_GT(Count(img, inactive, kBtnShadow), 10);
  EXPECT_GT(Count(img, inactive, 0xFFFFFF), 10);
  EXPECT_GT(Count(img, CaptionArea(0), kHotLight), 10);  // the active caption is not greyed

  const QPointF at = QRectF(control_->tabBar()->tabRect(2)).center();
  QMouseEvent press(QEvent::MouseButtonPress, at, control_->tabBar()->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(control_->tabBar(), &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, control_->tabBar()->mapToGlobal(at), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(control_->tabBar(), &release);
  EXPECT_EQ(control_->currentIndex(), 2);
}

TEST_F(OwnPageControl, LongCaptionEndsInAnEllipsisInsideItsTab) {
  LikeTheWindow();
  control_->tabBar()->setUsesScrollButtons(false);
  control_->tabBar()->setElideMode(Qt::ElideRight);
  control_->addTab(new QWidget, QString::fromUtf8(" Nagyon hosszú lapfül felirat, ami nem fér el "));
  control_->resize(180, 120);
  QApplication::processEvents();
  const QString shown = control_->DisplayedCaption(0);
  EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
  EXPECT_TRUE(control_->tabText(0).startsWith(shown.chopped(1)));
  EXPECT_LE(QFontMetrics(control_->font()).horizontalAdvance(shown), Tab(0).width() - 4);
  // A caption that fits is drawn whole.
  control_->resize(900, 120);
  QApplication::processEvents();
  EXPECT_EQ(control_->DisplayedCaption(0), control_->tabText(0));
}

TEST_F(OwnPageControl, FullBorderFramesThePageUnderTheTabs) {
  LikeTheWindow();
  AddPages();
  control_->SetBorderStyle(bsFull);
  const QImage img = Render(control_);
  const int bottom = control_->TabRowRect().bottom() + 1, w = control_->width(), h = control_->height();
  EXPECT_EQ(Hex(Px(img, w - 4, bottom - 2)), "000000");
  EXPECT_EQ(Hex(Px(img, w - 1, h / 2)), "000000");
  EXPECT_EQ(Hex(Px(img, 0, h / 2)), "000000");
  EXPECT_EQ(Hex(Px(img, w - 4, h - 1)), "000000");
  EXPECT_EQ(Hex(Px(img, w - 4, bottom - 1)), "FFFFFF");
  EXPECT_EQ(Hex(Px(img, 1, h / 2)), "FFFFFF");
  EXPECT_EQ(Hex(Px(img, w - 2, h / 2)), Hex(kBtnShadow));
  EXPECT_EQ(Hex(Px(img, w / 2, h - 2)), Hex(kBtnShadow));
}

TEST_F(OwnPageControl, HintTextShowsAsABadgeOnItsTab) {
  LikeTheWindow();
  AddPages();
  const QImage before = Render(control_);
  control_->setTabToolTip(1, "F2");
  const QImage img = Render(control_);
  const QRect tab = Tab(1);
  EXPECT_GT(Count(img, tab, kTabOutline), Count(before, tab, kTabOutline) + 10);
  EXPECT_EQ(Render(control_).copy(Tab(0)), before.copy(Tab(0)));
}

// The other styles and positions are Qt's own tab widget, pixel for pixel.
// Assistive technology finds a tab list among the control's children, one tab
// per page named by its caption, the current page's tab selected.
TEST_F(OwnPageControl, AssistiveTechnologySeesAPageTabListWithTheCurrentPageSelected) {
  LikeTheWindow();
  AddPages();
  control_->setTabEnabled(2, false);
  QAccessibleInterface* control = QAccessible::queryAccessibleInterface(control_);
  ASSERT_NE(control, nullptr);
  QAccessibleInterface* list = nullptr;
  for (int i = 0; i < control->childCount() && !list; ++i)
    if (control->child(i)->role() == QAccessible::PageTabList) list = control->child(i);
  ASSERT_NE(list, nullptr);
  std::vector<QAccessibleInterface*> tabs;  // the list also holds Qt's scroll arrows
  for (int i = 0; i < list->childCount(); ++i)
    if (list->child(i)->role() == QAccessible::PageTab) tabs.push_back(list->child(i));
  ASSERT_EQ(tabs.size(), 3u);
  auto tabState = [&](int i) { return tabs[i]->state(); };
  EXPECT_EQ(tabs[0]->text(QAccessible::Name), QString::fromUtf8("Összeállítás"));
  EXPECT_EQ(tabs[1]->text(QAccessible::Name), QString::fromUtf8("Gyorsbillentyűk"));
  EXPECT_TRUE(tabState(0).selected);
  EXPECT_FALSE(tabState(1).selected);
  EXPECT_TRUE(tabState(2).disabled);

  control_->setCurrentIndex(1);
  EXPECT_FALSE(tabState(0).selected);
  EXPECT_TRUE(tabState(1).selected);
  // Its pressing selects the page, as a click does.
  QAccessibleActionInterface* action = tabs[0]->actionInterface();
  ASSERT_NE(action, nullptr);
  action->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(control_->currentIndex(), 0);
}

struct Fallback {
  const char* name;
  bool ownerDraw;
  TTabStyle style;
  TTabPosition position;
};

void PrintTo(const Fallback& f, std::ostream* os) { *os << f.name; }

class OwnPageControlFallback : public OwnPageControl, public ::testing::WithParamInterface<Fallback> {};

TEST_P(OwnPageControlFallback, LooksExactlyLikeAPlainTabWidget) {
  const Fallback f = GetParam();
  LikeTheWindow();
  control_->SetOwnerDraw(f.ownerDraw);
  control_->SetStyle(f.style);
  control_->SetTabPosition(f.position);
  AddPages();
  QTabWidget plain(host_.get());
  plain.setGeometry(control_->geometry());
  plain.setFont(control_->font());
  static constexpr QTabWidget::TabPosition kQt[] = {QTabWidget::North, QTabWidget::South, QTabWidget::West,
                                                     QTabWidget::East};
  plain.setTabPosition(kQt[f.position]);
  for (int i = 0; i < control_->count(); ++i) plain.addTab(new QWidget, control_->tabText(i));
  plain.show();
  QApplication::processEvents();
  // Qt tints a focused tab bar; compare both without focus.
  if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
  EXPECT_EQ(Render(control_), Render(&plain));
  // The owner-drawn row really differs from Qt's.
  control_->SetOwnerDraw(true);
  control_->SetStyle(tsTabs);
  control_->SetTabPosition(tpTop);
  plain.setTabPosition(QTabWidget::North);
  QApplication::processEvents();
  EXPECT_NE(Render(control_), Render(&plain));
}

INSTANTIATE_TEST_SUITE_P(OtherLooks, OwnPageControlFallback,
                         ::testing::Values(Fallback{"OwnerDrawOff", false, tsTabs, tpTop},
                                           Fallback{"Buttons", true, tsButtons, tpTop},
                                           Fallback{"FlatButtons", true, tsFlatButtons, tpTop},
                                           Fallback{"Bottom", true, tsTabs, tpBottom},
                                           Fallback{"Left", true, tsTabs, tpLeft}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
