// How flat buttons react to the keyboard and the mouse, and what their kinds,
// hints, default/cancel roles and AutoSize do.

#include <QAccessible>
#include <QDialog>
#include <QEnterEvent>
#include <QLineEdit>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <vector>

#include "WidgetTestSupport.h"
#include "widgets/TFlatButton.h"
#include "widgets/WindowGlyphs.h"

// Qt's own entry point for delivering a key press through the shortcut map
// first, as a real key press is (the same one QtTest uses).
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace {

void SendKeyThroughShortcuts(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  if (qt_sendShortcutOverrideEvent(w, 0, key, mods, QString(), false, 1)) return;
  QKeyEvent e(QEvent::KeyPress, key, mods);
  QApplication::sendEvent(w, &e);
}

// A container that records the keys that reach it.
class KeyRecorder : public QWidget {
 public:
  using QWidget::QWidget;
  std::vector<int> presses;
  std::vector<int> releases;

 protected:
  void keyPressEvent(QKeyEvent* e) override { presses.push_back(e->key()); }
  void keyReleaseEvent(QKeyEvent* e) override { releases.push_back(e->key()); }
};

class FlatButtonBehaviour : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = MakeHost();
    panel_ = new KeyRecorder(host_.get());
    panel_->setGeometry(0, 0, 300, 300);
    panel_->show();
    button_ = new TFlatButton(panel_);
    button_->setGeometry(10, 10, 75, 25);
    button_->show();
    QObject::connect(button_, &QAbstractButton::clicked, [this] { ++clicks_; });
    QApplication::processEvents();
  }
  void Focus(QWidget* w) {
    w->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(w->hasFocus());
  }
  static void Mouse(QWidget* w, QEvent::Type type) {
    const QPointF pos(20, 10);
    QMouseEvent e(type, pos, w->mapToGlobal(pos), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  }
  QRgb FaceTop() { return Px(Render(button_), 36, 2); }

  std::unique_ptr<QWidget> host_;
  KeyRecorder* panel_ = nullptr;
  TFlatButton* button_ = nullptr;
  int clicks_ = 0;
};

TEST_F(FlatButtonBehaviour, HoldingSpaceShowsThePressedFaceAndReleasingClicksOnce) {
  Focus(button_);
  const QRgb up = FaceTop();
  SendKey(button_, QEvent::KeyPress, Qt::Key_Space);
  const QRgb held = FaceTop();
  EXPECT_NE(held, up);
  // Auto-repeat while held: neither a click nor a change of look.
  for (int i = 0; i < 3; ++i) {
    SendKey(button_, QEvent::KeyRelease, Qt::Key_Space, true);
    SendKey(button_, QEvent::KeyPress, Qt::Key_Space, true);
  }
  EXPECT_EQ(clicks_, 0);
  EXPECT_EQ(FaceTop(), held);
  SendKey(button_, QEvent::KeyRelease, Qt::Key_Space);
  EXPECT_EQ(clicks_, 1);
  EXPECT_EQ(FaceTop(), up);
  // A second release without a press does nothing.
  SendKey(button_, QEvent::KeyRelease, Qt::Key_Space);
  EXPECT_EQ(clicks_, 1);
}

TEST_F(FlatButtonBehaviour, HeldSpaceLooksPressedOnlyOnTheFocusedButton) {
  auto* other = new TFlatButton(panel_);
  other->setGeometry(100, 10, 75, 25);
  other->show();
  Focus(button_);
  const QImage otherUp = Render(other);
  SendKey(button_, QEvent::KeyPress, Qt::Key_Space);
  EXPECT_EQ(Render(other), otherUp);
  SendKey(button_, QEvent::KeyRelease, Qt::Key_Space);
}

// What a screen reader learns: a push button named by what it does, with its
// states, and a press action that clicks it.
TEST_F(FlatButtonBehaviour, AssistiveTechnologySeesAPushButtonWithItsNameStateAndPressAction) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(button_);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->role(), QAccessible::Button);
  button_->SetCaption(QStringLiteral("&Rendben"));
  EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("Rendben"));
  EXPECT_FALSE(a->text(QAccessible::Accelerator).isEmpty());
  // A glyph-only button is named by its hint, unless it has a name of its own.
  button_->SetCaption(QString());
  button_->SetGlyph(MakeWindowGlyph(WindowGlyph::Play));
  button_->SetHint(QString::fromUtf8("Lejátszás"));
  EXPECT_EQ(a->text(QAccessible::Name), QString::fromUtf8("Lejátszás"));
  button_->setAccessibleName(QString::fromUtf8("Összeállítás lejátszása"));
  EXPECT_EQ(a->text(QAccessible::Name), QString::fromUtf8("Összeállítás lejátszása"));

  EXPECT_FALSE(a->state().focused);
  Focus(button_);
  EXPECT_TRUE(a->state().focused);
  EXPECT_FALSE(a->state().pressed);
  SendKey(button_, QEvent::KeyPress, Qt::Key_Space);
  EXPECT_TRUE(a->state().pressed);  // held space shows pressed, as it looks
  SendKey(button_, QEvent::KeyRelease, Qt::Key_Space);
  EXPECT_FALSE(a->state().pressed);
  EXPECT_EQ(clicks_, 1);
  button_->SetDefault(true);
  EXPECT_TRUE(a->state().defaultButton);
  button_->setCheckable(true);
  button_->setChecked(true);
  EXPECT_TRUE(a->state().checkable && a->state().checked);
  button_->setCheckable(false);

  QAccessibleActionInterface* actions = a->actionInterface();
  ASSERT_NE(actions, nullptr);
  ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
  actions->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(clicks_, 2);
  button_->setEnabled(false);
  EXPECT_TRUE(a->state().disabled);
  EXPECT_FALSE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
  actions->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(clicks_, 2);
}

TEST_F(FlatButtonBehaviour, KeyDownsGoOnToTheParentAndKeyUpsDoNot) {
  Focus(button_);
  SendKey(button_, QEvent::KeyPress, Qt::Key_A);
  SendKey(button_, QEvent::KeyRelease, Qt::Key_A);
  SendKey(button_, QEvent::KeyPress, Qt::Key_Space);
  SendKey(button_, QEvent::KeyRelease, Qt::Key_Space);
  EXPECT_EQ(panel_->presses, (std::vector<int>{Qt::Key_A, Qt::Key_Space}));
  EXPECT_TRUE(panel_->releases.empty());
  EXPECT_EQ(clicks_, 1);
}

TEST_F(FlatButtonBehaviour, ReturnClicksTheFocusedButton) {
  Focus(button_);
  SendKey(button_, QEvent::KeyPress, Qt::Key_Return);
  EXPECT_EQ(clicks_, 1);
}

TEST_F(FlatButtonBehaviour, MouseClickAndQuickSecondClickCountAsTwoClicks) {
  Mouse(button_, QEvent::MouseButtonPress);
  EXPECT_NE(FaceTop(), 0xCADFF7u);  // shown pressed while the button is down
  Mouse(button_, QEvent::MouseButtonRelease);
  Mouse(button_, QEvent::MouseButtonDblClick);
  Mouse(button_, QEvent::MouseButtonRelease);
  EXPECT_EQ(clicks_, 2);
}

TEST_F(FlatButtonBehaviour, HoveredButtonIsSharedAndForgottenOnLeaveOrDestruction) {
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(button_, &enter);
  EXPECT_EQ(TFlatButton::HoveredButton(), button_);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(button_, &leave);
  EXPECT_EQ(TFlatButton::HoveredButton(), nullptr);
  EXPECT_EQ(Hex(FaceTop()), Hex(Px(Render(button_), 36, 2)));
  QApplication::sendEvent(button_, &enter);
  delete button_;
  button_ = nullptr;
  EXPECT_EQ(TFlatButton::HoveredButton(), nullptr);
  // Space on another button must not touch the destroyed one.
  auto* other = new TFlatButton(panel_);
  other->show();
  Focus(other);
  SendKey(other, QEvent::KeyPress, Qt::Key_Space);
  SendKey(other, QEvent::KeyRelease, Qt::Key_Space);
}

TEST_F(FlatButtonBehaviour, KindPresetsSetRoleModalResultAndATwoImageGlyph) {
  struct Case {
    TBitBtnKind kind;
    int modalResult;
    bool isDefault;
    bool isCancel;
  };
  for (const Case& c : {Case{bkOK, 1, true, false}, Case{bkCancel, 2, false, true}, Case{bkHelp, 0, false, false},
                        Case{bkYes, 6, true, false}, Case{bkNo, 7, false, true}, Case{bkClose, 0, false, false},
                        Case{bkAbort, 3, false, false}, Case{bkRetry, 4, false, false},
                        Case{bkIgnore, 5, false, false}, Case{bkAll, 8, false, false}}) {
    TFlatButton b(panel_);
    b.SetCaption("x");
    b.SetKind(c.kind);
    EXPECT_EQ(b.Kind(), c.kind);
    EXPECT_EQ(b.ModalResult(), c.modalResult) << c.kind;
    EXPECT_EQ(b.Default(), c.isDefault) << c.kind;
    EXPECT_EQ(b.Cancel(), c.isCancel) << c.kind;
    EXPECT_EQ(b.NumGlyphs(), 2) << c.kind;
    EXPECT_EQ(b.Glyph().size(), QSize(32, 16)) << c.kind;
    EXPECT_TRUE(b.Caption().isEmpty()) << c.kind;
  }
}

TEST_F(FlatButtonBehaviour, KindReadsAsCustomOnceItsPresetNoLongerMatches) {
  button_->SetKind(bkOK);
  button_->SetModalResult(0);
  EXPECT_EQ(button_->Kind(), bkCustom);
  button_->SetKind(bkCancel);
  button_->SetGlyph(MakeWindowGlyph(WindowGlyph::Stop));
  EXPECT_EQ(button_->Kind(), bkCustom);
  button_->SetKind(bkRetry);
  button_->SetDefault(true);
  EXPECT_EQ(button_->Kind(), bkCustom);
}

TEST_F(FlatButtonBehaviour, CloseKindClosesItsWindowInsteadOfClicking) {
  button_->SetKind(bkClose);
  button_->Click();
  EXPECT_FALSE(host_->isVisible());
  EXPECT_EQ(clicks_, 0);
}

TEST_F(FlatButtonBehaviour, HelpKindShowsTheNearestHelpContextOrClicksWithoutOne) {
  std::vector<int> shown;
  TFlatButton::SetHelpViewer([&](int context) { shown.push_back(context); });
  button_->SetKind(bkHelp);
  button_->Click();
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(clicks_, 1);
  panel_->setProperty("HelpContext", 42);
  button_->Click();
  EXPECT_EQ(shown, std::vector<int>{42});
  button_->SetHelpContext(7);
  button_->Click();
  EXPECT_EQ(shown, (std::vector<int>{42, 7}));
  EXPECT_EQ(clicks_, 1);
  TFlatButton::SetHelpViewer(nullptr);
}

TEST_F(FlatButtonBehaviour, ModalResultEndsTheDialogBeforeTheClickHandlerRuns) {
  QDialog dialog;
  auto* ok = new TFlatButton(&dialog);
  ok->SetModalResult(6);
  int resultSeen = -1;
  QObject::connect(ok, &QAbstractButton::clicked, [&] { resultSeen = dialog.result(); });
  dialog.show();
  ok->Click();
  EXPECT_EQ(dialog.result(), 6);
  EXPECT_EQ(resultSeen, 6);
  EXPECT_FALSE(dialog.isVisible());
}

TEST_F(FlatButtonBehaviour, DefaultButtonTakesReturnAndCancelButtonTakesEscape) {
  auto* edit = new QLineEdit(panel_);
  edit->setGeometry(10, 100, 100, 24);
  edit->show();
  auto* cancel = new TFlatButton(panel_);
  cancel->SetCancel(true);
  cancel->show();
  int cancels = 0;
  QObject::connect(cancel, &QAbstractButton::clicked, [&] { ++cancels; });
  button_->SetDefault(true);
  Focus(edit);
  SendKeyThroughShortcuts(edit, Qt::Key_Return);
  EXPECT_EQ(clicks_, 1);
  // A focused flat button takes Return itself.
  auto* other = new TFlatButton(panel_);
  other->show();
  int otherClicks = 0;
  QObject::connect(other, &QAbstractButton::clicked, [&] { ++otherClicks; });
  Focus(other);
  SendKeyThroughShortcuts(other, Qt::Key_Return);
  EXPECT_EQ(clicks_, 1);
  EXPECT_EQ(otherClicks, 1);
  Focus(edit);
  SendKeyThroughShortcuts(edit, Qt::Key_Escape);
  EXPECT_EQ(cancels, 1);
}

TEST_F(FlatButtonBehaviour, CaptionMnemonicClicksTheButtonWithItsKindsAction) {
  button_->SetCaption("&Rendben");
  panel_->setFocusPolicy(Qt::StrongFocus);
  Focus(panel_);
  SendKeyThroughShortcuts(panel_, Qt::Key_R, Qt::AltModifier);
  EXPECT_EQ(clicks_, 1);
  button_->SetKind(bkClose);
  button_->SetCaption("&Bezár");
  SendKeyThroughShortcuts(panel_, Qt::Key_B, Qt::AltModifier);
  EXPECT_EQ(clicks_, 1);
  EXPECT_FALSE(host_->isVisible());
}

TEST_F(FlatButtonBehaviour, HintShowsAsTooltipOnlyWhileShowHintIsOn) {
  button_->SetHint("Lejátszás");
  EXPECT_TRUE(button_->toolTip().isEmpty());
  button_->SetShowHint(true);
  EXPECT_EQ(button_->toolTip(), QString("Lejátszás"));
  button_->SetShowHint(false);
  EXPECT_TRUE(button_->toolTip().isEmpty());
}

TEST_F(FlatButtonBehaviour, AutoSizeFitsTheWidthToGlyphAndCaptionAndKeepsTheHeight) {
  button_->SetCaption("OK");
  EXPECT_EQ(button_->width(), 75);  // off: nothing changes
  button_->SetAutoSize(true);
  const int shortWidth = button_->width();
  EXPECT_LT(shortWidth, 75);
  button_->SetCaption("Következő lépés");
  const int longWidth = button_->width();
  EXPECT_GT(longWidth, shortWidth);
  // A two-image strip adds one image width.
  QImage strip(32, 16, QImage::Format_RGB32);
  strip.fill(Qt::white);
  button_->SetGlyph(strip);
  button_->SetAutoSize(true);
  EXPECT_EQ(button_->width(), longWidth + 16);
  EXPECT_EQ(button_->height(), 25);
  // An empty caption is measured as a blank, so the button never collapses.
  button_->SetGlyph(QImage());
  button_->SetCaption("");
  EXPECT_GT(button_->width(), 5);
}

TEST_F(FlatButtonBehaviour, MarginAndRoundedEdgeIgnoreValuesBelowMinusOne) {
  button_->SetMargin(-2);
  button_->SetRoundedEdge(-7);
  EXPECT_EQ(button_->Margin(), -1);
  EXPECT_EQ(button_->RoundedEdge(), 6);
  button_->SetMargin(3);
  button_->SetRoundedEdge(-1);
  EXPECT_EQ(button_->Margin(), 3);
  EXPECT_EQ(button_->RoundedEdge(), -1);
}

TEST_F(FlatButtonBehaviour, ConstructionValuesAreThoseOfTheWindowsButtons) {
  TFlatButton b;
  EXPECT_EQ(b.GradStartColor(), QColor(0xCA, 0xDF, 0xF7));
  EXPECT_EQ(b.GradEndColor(), QColor(0x89, 0xB8, 0xEB));
  EXPECT_EQ(b.GradMouseInStartColor(), QColor(0xA6, 0xCA, 0xF0));
  EXPECT_EQ(b.ShadowColor(), QColor(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(b.ActiveFrameColor(), QColor(0xF1, 0xAF, 0x76));
  EXPECT_EQ(b.DefaultFrameColor(), QColor(0x37, 0x59, 0x06));
  EXPECT_EQ(b.GradStyle(), gsVertical);
  EXPECT_TRUE(b.Gradient());
  EXPECT_EQ(b.Spacing(), 4);
  EXPECT_EQ(b.Kind(), bkCustom);
  EXPECT_EQ(b.NumGlyphs(), 1);
}

}  // namespace
