// The window's start state, its growth when resized, and the live page.

#include <QAccessible>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "WindowTestSupport.h"
#include "ui/TVomrellaApplication.h"
#include "widgets/SystemColors.h"
#include "widgets/TFlatButton.h"
#include "widgets/TOwnPageControl.h"

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

using LayoutTest = WindowTest;

TEST_F(LayoutTest, StartsEmptyOnTheFirstPageWithTheDesignedControls) {
  OpenWindow("");  // an empty first argument is no argument
  EXPECT_EQ(Window->windowTitle(), U("Vomrella szimulátor"));
  EXPECT_EQ(Window->PageControl->currentIndex(), 0);
  Window->show();
  EXPECT_EQ(Window->PageControl->size(), QSize(410, 508));
  EXPECT_EQ(Window->PageControl->geometry().top(), Window->menuBar()->geometry().bottom() + 1);
  EXPECT_EQ(Window->minimumSize(), Window->size());
  EXPECT_EQ(Window->PageControl->tabText(1), U(" Gyorsbillentyűk "));
  EXPECT_TRUE(Window->Store().Ures());
  EXPECT_TRUE(Dialogs->Shown.empty());
  EXPECT_EQ(Window->E_TestHossz->text(), "0");
  EXPECT_EQ(Window->Panel_RogzStatus->text(), U("Rendben"));
  EXPECT_EQ(Window->Panel_HotPlay->text(), U("Inaktív"));
  EXPECT_TRUE(Window->ProgressBar->isHidden());
  EXPECT_TRUE(Window->L_Perc->isHidden());
  EXPECT_EQ(Window->E_HotPrev->maxLength(), 1);
  // Every control is found by its name.
  for (const char* name : {"CB_RogzOsszeall", "B_Opciok", "VST", "B_Fel", "B_Torol", "B_Le", "E_FajlNev",
                           "B_RogzRendben", "CB_TestOsszeall", "B_OsszeallRun", "E_Akt", "E_Next", "B_HotNext"})
    EXPECT_NE(Window->findChild<QWidget*>(name), nullptr) << name;
  EXPECT_EQ(Window->VST->model()->headerData(1, Qt::Horizontal).toString(), U("Fájl név"));
  EXPECT_EQ(Window->VST->columnWidth(1), 166);
}

// Qt's own texts come from its Hungarian catalogue, whatever the locale.
TEST_F(LayoutTest, QtsOwnBoxesAndFileDialogSpeakHungarianAndTheWindowHasTheProgramsIcon) {
  auto* app = dynamic_cast<TVomrellaApplication*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  EXPECT_TRUE(app->QtCatalogueLoaded());

  QMessageBox box(QMessageBox::Question, U("Megerősítés"), U("Betölti?"), QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text(), U("&Igen"));
  EXPECT_EQ(box.button(QMessageBox::No)->text(), U("&Nem"));

  QFileDialog dialog(nullptr, U("Megnyitás"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setFileMode(QFileDialog::ExistingFile);
  auto label = [&](const char* name) {
    auto* l = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return l ? l->text().toStdString() : std::string("(none)");
  };
  EXPECT_EQ(label("lookInLabel"), "Keresés itt:");
  EXPECT_EQ(label("fileNameLabel"), "Fájl &neve:");
  EXPECT_EQ(label("fileTypeLabel"), "Fájlok típusa:");
  auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
  ASSERT_NE(buttons, nullptr);
  EXPECT_EQ(buttons->button(QDialogButtonBox::Open)->text(), U("&Megnyitás"));
  EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), U("Mégse"));
  auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tree->model()->headerData(0, Qt::Horizontal).toString(), U("Név"));

  // Docks find the icon through the window and the desktop entry's name.
  EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("vomrella"));
  OpenWindow();
  for (int size : {16, 48, 256})
    EXPECT_EQ(Window->windowIcon().pixmap(size, size).size(), QSize(size, size)) << size;
}

// What assistive technology reads of each control, through Qt's
// accessibility interface: every control that takes the focus has a name
// saying what it does, fields the name of their label.
TEST_F(LayoutTest, EveryControlIsNamedForAssistiveTechnology) {
  OpenWindow();
  Window->show();
  const auto name = [](QWidget* w) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name) : QStringLiteral("(no interface)");
  };
  for (QWidget* w : Window->findChildren<QWidget*>()) {
    if (w->focusPolicy() == Qt::NoFocus || w->objectName().isEmpty() || w->objectName().startsWith("qt_")) continue;
    if (qobject_cast<QMenuBar*>(w)) continue;
    const QString n = name(w);
    EXPECT_FALSE(n.trimmed().isEmpty() || n == QStringLiteral("...")) << w->objectName().toStdString();
  }
  const std::pair<QWidget*, const char*> expected[] = {
      {Window->B_OsszeallRun, "Összeállítás lejátszása"},
      {Window->B_OsszeallPause, "Összeállítás lejátszásának szüneteltetése"},
      {Window->B_OsszeallStop, "Összeállítás lejátszásának leállítása"},
      {Window->B_FileStart, "Fájl lejátszása"},
      {Window->E_Talloz, "Tallózás"},
      {Window->B_Torol, "Kijelölt elem törlése"},
      {Window->E_FajlNev, "Fájl neve"},
      {Window->E_RogzSzunet, "Szünet utána"},
      {Window->E_HotPlay, "Lejátszás:"},
      {Window->CB_TestOsszeall, "Tesztelendő összeállítás"},
  };
  for (const auto& [widget, text] : expected) EXPECT_EQ(name(widget), U(text)) << widget->objectName().toStdString();
  // A lamp is named by its state and describes whose it is.
  QAccessibleInterface* lamp = QAccessible::queryAccessibleInterface(Window->Panel_HotPlay);
  ASSERT_NE(lamp, nullptr);
  EXPECT_EQ(lamp->text(QAccessible::Name), U("Inaktív"));
  EXPECT_EQ(lamp->text(QAccessible::Description), U("A Lejátszás gyorsbillentyű állapota"));
  EXPECT_EQ(Window->Label2->buddy(), Window->E_FajlNev);
}

// Ctrl+O, Ctrl+S and Ctrl+Q run the menu's commands; F10 opens the menu;
// Alt and a label's letter moves to its field.
TEST_F(LayoutTest, TheUsualKeysOpenSaveQuitAndReachTheMenuAndTheFields) {
  OpenWindow();
  Window->show();
  QApplication::setActiveWindow(Window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
  EXPECT_EQ(Window->Pop_Open->text(), U("Fájlból &olvas"));
  EXPECT_EQ(Window->MMI_File->title(), U("&Fájl"));
  EXPECT_EQ(Window->MMI_Device->title(), U("&Hangkártya"));

  Dialogs->FileAnswers.push_back(std::nullopt);
  QTest::keyClick(Window.get(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(Dialogs->FileDialogs.size(), 1u);
  EXPECT_EQ(Dialogs->FileDialogs.back().Title, U("Fájl megnyitása"));
  AddComposition(U("A"));
  Dialogs->FileAnswers.push_back(std::nullopt);
  QTest::keyClick(Window.get(), Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(Dialogs->FileDialogs.size(), 2u);
  EXPECT_EQ(Dialogs->FileDialogs.back().Title, U("Fájl mentése"));

  QTest::keyClick(Window.get(), Qt::Key_N, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), Window->E_FajlNev);

  QTest::keyClick(Window.get(), Qt::Key_F10);
  EXPECT_EQ(Window->menuBar()->activeAction(), Window->MMI_File->menuAction());
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();

  Dialogs->SaveChangesAnswers.push_back(TSaveChangesAnswer::Discard);
  QTest::keyClick(Window.get(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(ExitCalls, 1);
}

TEST_F(LayoutTest, GrowingMovesTheRightButtonsAndKeepsTheTestGroupAtTheBottom) {
  OpenWindow();
  Window->show();
  const QSize start = Window->size();
  auto rightGap = [](QWidget* w) { return w->parentWidget()->width() - w->geometry().right(); };
  auto bottomGap = [](QWidget* w) { return w->parentWidget()->height() - w->geometry().bottom(); };
  std::vector<QWidget*> right = {Window->B_Opciok, Window->B_Fel, Window->B_Torol, Window->B_Le,
                                 Window->B_First, Window->B_Prev, Window->B_Next};
  for (int page = 0; page < 3; ++page) Window->PageControl->setCurrentIndex(page);  // lay every page out
  std::vector<int> gaps;
  for (QWidget* w : right) gaps.push_back(rightGap(w));
  const int testBottom = bottomGap(Window->GB_Teszt);
  const int listWidth = Window->VST->width();
  const int groupWidth = Window->GB_Rogzit->width();
  const int selectorWidth = Window->CB_RogzOsszeall->width();
  const int addGroupTop = Window->GB_Rogzit->y();

  Window->resize(start + QSize(120, 90));
  for (int page = 0; page < 3; ++page) Window->PageControl->setCurrentIndex(page);
  for (size_t i = 0; i < right.size(); ++i) EXPECT_EQ(rightGap(right[i]), gaps[i]) << right[i]->objectName().toStdString();
  EXPECT_EQ(bottomGap(Window->GB_Teszt), testBottom);
  EXPECT_EQ(Window->VST->width(), listWidth + 120);
  EXPECT_EQ(Window->GB_Rogzit->width(), groupWidth + 120);
  EXPECT_EQ(Window->CB_RogzOsszeall->width(), selectorWidth + 120);
  // The composition group has a fixed height: what sits at its bottom stays.
  EXPECT_EQ(Window->GB_Osszeallitas->height(), 391);
  EXPECT_EQ(Window->GB_Rogzit->y(), addGroupTop);
  EXPECT_EQ(Window->B_FileStart->pos(), QPoint(302, 36));  // unanchored inside its group

  Window->resize(start);
  Window->PageControl->setCurrentIndex(0);
  EXPECT_EQ(Window->CB_RogzOsszeall->width(), selectorWidth);
  Window->resize(start - QSize(100, 100));
  EXPECT_EQ(Window->size(), start);
}

class LiveTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    OpenWindow();
  }
};

TEST_F(LiveTest, NextAndPreviousWrapAtBothEnds) {
  for (const char* name : {"A", "B", "C"}) AddComposition(U(name));
  // Adding fills the page for the unchanged index 0.
  EXPECT_EQ(Window->E_Akt->text(), "A");
  EXPECT_EQ(Window->E_Next->text(), "B");
  Window->B_PrevClick();
  EXPECT_EQ(Window->AktIndex, 2);
  EXPECT_EQ(Window->E_Akt->text(), "C");
  EXPECT_EQ(Window->E_Next->text(), "A");
  EXPECT_EQ(Window->ApplicationTitle(), "VR - C");
  EXPECT_EQ(Window->windowIconText(), "VR - C");
  Window->B_NextClick();
  EXPECT_EQ(Window->AktIndex, 0);
  Window->B_NextClick();
  Window->B_FirstClick();
  EXPECT_EQ(Window->AktIndex, 0);
  EXPECT_EQ(Window->E_Akt->text(), "A");

  // Long names show from their start, in the system's grey text on white.
  AddComposition(U("Zárás előtt – kérjük, fáradjanak a kijárathoz, a pénztárak hamarosan bezárnak"));
  Window->B_PrevClick();  // the long name is next
  EXPECT_EQ(Window->E_Akt->cursorPosition(), 0);
  Window->B_PrevClick();  // and after the next
  EXPECT_EQ(Window->E_Next->cursorPosition(), 0);
  for (QLineEdit* field : {Window->E_Akt, Window->E_Next}) {
    EXPECT_EQ(field->palette().color(QPalette::Disabled, QPalette::Text), SystemColors::clGrayText);
    EXPECT_EQ(field->palette().color(QPalette::Disabled, QPalette::Base), SystemColors::clWhite);
  }
}

TEST_F(LiveTest, OneCompositionStaysAtZeroAndAnEmptyStoreKeepsTheFields) {
  Window->B_NextClick();
  Window->B_PrevClick();
  EXPECT_EQ(Window->AktIndex, -1);  // the last of none
  EXPECT_TRUE(Window->E_Akt->text().isEmpty());
  EXPECT_EQ(Window->ApplicationTitle(), "VR - ");

  Window->AktIndex = 0;
  AddComposition(U("Egy"));
  Window->B_NextClick();
  EXPECT_EQ(Window->AktIndex, 0);
  Window->B_PrevClick();
  EXPECT_EQ(Window->AktIndex, 0);
  EXPECT_EQ(Window->E_Akt->text(), U("Egy"));
  EXPECT_EQ(Window->E_Next->text(), U("Egy"));

  // After deleting the last composition both fields keep the deleted name.
  Window->Pop_TorolClick();
  EXPECT_EQ(Window->AktIndex, 0);
  EXPECT_EQ(Window->E_Akt->text(), U("Egy"));
  EXPECT_EQ(Window->E_Next->text(), U("Egy"));
}

TEST_F(LiveTest, MovingCompositionsKeepsTheIndexAndTheExitCommandStopsFirst) {
  for (const char* name : {"A", "B"}) AddComposition(U(name));
  Window->B_NextClick();
  Window->Pop_FelClick();  // B moves up; index 1 now names A
  EXPECT_EQ(Window->AktIndex, 1);
  EXPECT_EQ(Window->E_Akt->text(), "B");  // the page is not refreshed by a move
  Window->B_FirstClick();
  Window->B_NextClick();
  EXPECT_EQ(Window->E_Akt->text(), "A");
  Dialogs->SaveChangesAnswers.push_back(TSaveChangesAnswer::Discard);  // the new compositions are not saved
  Window->MMI_ExitClick();
  EXPECT_EQ(ExitCalls, 1);
}

}  // namespace
