// The hotkey rows and their presses, through the fake hotkey service.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "WindowTestSupport.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/TSoundClock.h"
#include "audio/output/TVirtualSoundSystem.h"
#include "services/remote/TMprisService.h"
#include "show/ChainTestSupport.h"
#include "widgets/SystemColors.h"
#include "widgets/TFlatButton.h"

namespace {

class HotkeyTest : public WindowTest {
 protected:
  struct TRow {
    QLineEdit* Edit;
    TFlatButton* Button;
    QLabel* Panel;
  };
  TRow Row(int r) const {
    const TRow rows[4] = {{Window->E_HotPrev, Window->B_HotPrev, Window->Panel_HotPrev},
                          {Window->E_HotPlay, Window->B_HotPlay, Window->Panel_HotPlay},
                          {Window->E_HotPause, Window->B_HotPause, Window->Panel_HotPause},
                          {Window->E_HotNext, Window->B_HotNext, Window->Panel_HotNext}};
    return rows[r];
  }
  void SwitchOn(int r, const QString& key) {
    Row(r).Edit->setText(key);
    Row(r).Button->click();
  }
  static QColor Colour(QLabel* panel) { return panel->palette().color(QPalette::Window); }
  ::testing::AssertionResult IsOff(int r) const {
    const TRow row = Row(r);
    if (row.Panel->text() != QString::fromUtf8("Inaktív") || Colour(row.Panel) != SystemColors::clYellow ||
        row.Button->Caption() != QString::fromUtf8("Aktivál") || row.Button->property("Tag").toInt() != 0)
      return ::testing::AssertionFailure() << "row " << r << " shows " << row.Panel->text().toStdString() << " / "
                                           << row.Button->Caption().toStdString();
    return ::testing::AssertionSuccess();
  }
  ::testing::AssertionResult IsOn(int r) const {
    const TRow row = Row(r);
    if (row.Panel->text() != QString::fromUtf8("Aktív") || Colour(row.Panel) != SystemColors::clLime ||
        row.Button->Caption() != QString::fromUtf8("Deaktivál") || row.Button->property("Tag").toInt() != 1)
      return ::testing::AssertionFailure() << "row " << r << " shows " << row.Panel->text().toStdString() << " / "
                                           << row.Button->Caption().toStdString();
    return ::testing::AssertionSuccess();
  }
  // Three compositions of one clip each: "Elso" (a.wav), "Masodik" (b.wav),
  // "Harmadik" (c.wav); the first is longer than the device buffer.
  void ThreeCompositions() {
    AddThreeCompositions();
    ASSERT_EQ(Window->CB_TestOsszeall->count(), 3);
  }
};

// Sets an environment variable for one scope, or unsets it (null).
class TEnvironment {
 public:
  TEnvironment(const char* name, const char* value) : Name(name) {
    if (const char* old = std::getenv(name)) Old = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~TEnvironment() { Old ? setenv(Name, Old->c_str(), 1) : unsetenv(Name); }

 private:
  const char* Name;
  std::optional<std::string> Old;
};

// On a Wayland session the first row switched on says, once, that the key
// works only while an X11 window has the focus and how to bind the remote
// command instead; the row is on all the same.
TEST_F(HotkeyTest, OnWaylandTheFirstActivatedRowTellsOnceHowToBindTheRemoteCommand) {
  for (const auto& [type, display] : {std::pair<const char*, const char*>{"wayland", nullptr}, {"x11", "wayland-0"}}) {
    SCOPED_TRACE(type);
    TEnvironment session("XDG_SESSION_TYPE", type);
    TEnvironment wayland("WAYLAND_DISPLAY", display);
    OpenWindow();
    SwitchOn(1, QStringLiteral("P"));
    EXPECT_TRUE(IsOn(1));
    SwitchOn(3, QStringLiteral("N"));
    Row(1).Button->click();
    Row(1).Button->click();
    EXPECT_TRUE(IsOn(1) && IsOn(3));
    const std::vector<QString> infos = Dialogs->Texts("info");
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_TRUE(infos[0].startsWith(QString::fromUtf8("Wayland munkamenetben a gyorsbillentyű csak akkor működik, ha "
                                                      "egy X11-es ablakon van a fókusz")))
        << infos[0].toStdString();
    EXPECT_TRUE(infos[0].contains(QStringLiteral("\"vomrella --remote play\""))) << infos[0].toStdString();
    EXPECT_TRUE(Dialogs->Texts("error").empty());
  }
  // On X11 nothing is said.
  TEnvironment session("XDG_SESSION_TYPE", "x11");
  TEnvironment wayland("WAYLAND_DISPLAY", nullptr);
  OpenWindow();
  SwitchOn(1, QStringLiteral("P"));
  EXPECT_TRUE(IsOn(1));
  EXPECT_TRUE(Dialogs->Texts("info").empty());
}

TEST_F(HotkeyTest, RowsSwitchOnAndOffUnderTheSameIdEachTime) {
  OpenWindow();
  for (int r = 0; r < 4; ++r) EXPECT_TRUE(IsOff(r));
  EXPECT_EQ(Window->HotkeyId(1), 0);
  SwitchOn(1, QStringLiteral("P"));
  EXPECT_TRUE(IsOn(1));
  const uint16_t id = Window->HotkeyId(1);
  EXPECT_NE(id, 0);
  Row(1).Button->click();
  EXPECT_TRUE(IsOff(1));
  Row(1).Button->click();
  EXPECT_TRUE(IsOn(1));
  ASSERT_EQ(Hotkeys->Calls.size(), 3u);
  EXPECT_EQ(Hotkeys->Calls[0].What, "register");
  EXPECT_EQ(Hotkeys->Calls[1].What, "unregister");
  EXPECT_EQ(Hotkeys->Calls[2].What, "register");
  for (const auto& call : Hotkeys->Calls) EXPECT_EQ(call.Id, id);
  EXPECT_EQ(Hotkeys->Calls[0].Key, QLatin1Char('P'));
  // Each row has its own id; a character that is neither letter nor digit
  // is registered as it is.
  SwitchOn(3, QStringLiteral("."));
  EXPECT_TRUE(IsOn(3));
  EXPECT_NE(Window->HotkeyId(3), id);
  EXPECT_EQ(Hotkeys->Registered.at(Window->HotkeyId(3)), QLatin1Char('.'));
  EXPECT_TRUE(Dialogs->Texts("error").empty());
}

TEST_F(HotkeyTest, AnEmptyKeyOrATakenCombinationLeavesTheRowOffWithAMessage) {
  OpenWindow();
  Row(0).Button->click();
  EXPECT_TRUE(IsOff(0));
  Hotkeys->Taken.insert(QLatin1Char('B'));
  SwitchOn(2, QStringLiteral("B"));
  EXPECT_TRUE(IsOff(2));
  EXPECT_TRUE(Hotkeys->Registered.empty());
  const std::vector<QString> errors = Dialogs->Texts("error");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], QString::fromUtf8("Nincs megadja gyorsbillentyű!"));
  EXPECT_TRUE(errors[1].startsWith(QString::fromUtf8("A gyorsbillentyű nem regisztrálható!")))
      << errors[1].toStdString();
  // Once the other program lets go, the row switches on.
  Hotkeys->Taken.clear();
  Row(2).Button->click();
  EXPECT_TRUE(IsOn(2));
}

TEST_F(HotkeyTest, KeyEditsHoldOneUpperCaseCharacter) {
  OpenWindow();
  QTest::keyClicks(Row(0).Edit, QStringLiteral("qx"));
  EXPECT_EQ(Row(0).Edit->text(), QStringLiteral("Q"));
  QTest::keyClicks(Row(1).Edit, QStringLiteral("7"));
  EXPECT_EQ(Row(1).Edit->text(), QStringLiteral("7"));
}

TEST_F(HotkeyTest, PlayWhileARunPlaysStopsItPlaysTheLiveCompositionAndAdvancesTheIndex) {
  OpenWindowOnSimulatedClock();
  ThreeCompositions();
  SwitchOn(1, QStringLiteral("P"));
  Window->AktIndex = 2;  // the last: the index wraps after it
  Clock->Hold();
  Window->CB_TestOsszeall->setCurrentIndex(0);
  Window->B_OsszeallRunClick();
  ASSERT_TRUE(WaitUntil([&] { return Clock->WaitingSleepers() == 1; }));
  const size_t before = Sound->Heard().size();

  ASSERT_TRUE(Hotkeys->Press(QLatin1Char('P')));
  EXPECT_EQ(Window->AktIndex, 0);
  EXPECT_EQ(Window->E_Akt->text(), QStringLiteral("Elso"));
  EXPECT_EQ(Window->CB_TestOsszeall->currentIndex(), 2);
  EXPECT_FALSE(Window->B_OsszeallRun->isEnabled());
  // A double press is one GO, by the rule the remote control follows: the
  // second press within the window neither cuts the run nor skips one.
  ASSERT_TRUE(Hotkeys->Press(QLatin1Char('P'), TMprisService::kHeldWindow - std::chrono::milliseconds(1)));
  EXPECT_EQ(Window->AktIndex, 0);
  EXPECT_EQ(Window->CB_TestOsszeall->currentIndex(), 2);
  Clock->Release();
  ASSERT_TRUE(WaitUntil([&] { return Window->B_OsszeallRun->isEnabled(); }));

  // After what the first run had played: the third composition, whole.
  const std::vector<uint8_t> heard = Sound->Heard();
  ASSERT_GE(heard.size(), before);
  const TDecoded third = DecodeAlone((Folder / "Hangok" / "c.wav").string());
  EXPECT_TRUE(IsStreamThenSilence(std::vector<uint8_t>(heard.begin() + long(before), heard.end()), third.Pcm, 0));
  EXPECT_TRUE(Dialogs->Texts("error").empty());
}

TEST_F(HotkeyTest, PlayWithAnEmptyStoreSaysSoAndLeavesTheIndex) {
  OpenWindow();
  SwitchOn(1, QStringLiteral("P"));
  Window->AktIndex = 0;
  ASSERT_TRUE(Hotkeys->Press(QLatin1Char('P')));
  EXPECT_EQ(Dialogs->Texts("error"), (std::vector<QString>{QString::fromUtf8("Még nem rögzített összeállítást!")}));
  EXPECT_EQ(Window->AktIndex, 0);
  EXPECT_EQ(Window->DXOut->Status(), osIdle);
}

TEST_F(HotkeyTest, PrevNextAndPauseRunTheirButtonsActions) {
  OpenWindowOnSimulatedClock();
  ThreeCompositions();
  SwitchOn(0, QStringLiteral("V"));
  SwitchOn(2, QStringLiteral("S"));
  SwitchOn(3, QStringLiteral("K"));
  Window->AktIndex = 0;
  ASSERT_TRUE(Hotkeys->Press(QLatin1Char('V')));
  EXPECT_EQ(Window->AktIndex, 2);
  EXPECT_EQ(Window->E_Akt->text(), QStringLiteral("Harmadik"));
  ASSERT_TRUE(Hotkeys->Press(QLatin1Char('K')));
  ASSERT_TRUE(Hotkeys->Press(QLatin1Char('K')));
  EXPECT_EQ(Window->AktIndex, 1);

  Clock->Hold();
  Window->CB_TestOsszeall->setCurrentIndex(0);
  Window->B_OsszeallRunClick();
  ASSERT_TRUE(WaitUntil([&] { return Clock->WaitingSleepers() == 1; }));
  ASSERT_TRUE(Hotkeys->Press(QLatin1Char('S')));
  EXPECT_EQ(Window->DXOut->Status(), osPaused);
  ASSERT_TRUE(Hotkeys->Press(QLatin1Char('S')));
  EXPECT_EQ(Window->DXOut->Status(), osPlaying);
  // A row switched off is no longer registered; a press already delivered
  // under its id still runs its action (presses are matched by id).
  Row(3).Button->click();
  EXPECT_FALSE(Hotkeys->Press(QLatin1Char('K')));
  Window->WMHotKey(Window->HotkeyId(3));
  EXPECT_EQ(Window->AktIndex, 2);
  Window->WMHotKey(0);
  EXPECT_EQ(Window->AktIndex, 2);
  Clock->Release();
}

}  // namespace
