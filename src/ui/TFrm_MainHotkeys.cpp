// The four hotkey rows of the second page and their key presses.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "audio/output/TDXAudioOut.h"
#include "services/hotkeys/THotkeyService.h"
#include "ui/TFrm_Main.h"
#include "widgets/SystemColors.h"
#include "widgets/TFlatButton.h"

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Rows in the order presses are dispatched: Prev, Play, Pause, Next.
constexpr const char* kAtomNames[4] = {"Hotkey1", "Hotkey2", "Hotkey3", "Hotkey4"};

void SetLamp(QLabel* panel, bool on) {
  panel->setText(on ? U("Aktív") : U("Inaktív"));
  QPalette pal = panel->palette();
  pal.setColor(QPalette::Window, on ? SystemColors::clLime : SystemColors::clYellow);
  panel->setPalette(pal);
}

}  // namespace

void TFrm_Main::ToggleHotkey(int row) {
  QLineEdit* const edits[4] = {E_HotPrev, E_HotPlay, E_HotPause, E_HotNext};
  TFlatButton* const buttons[4] = {B_HotPrev, B_HotPlay, B_HotPause, B_HotNext};
  QLabel* const panels[4] = {Panel_HotPrev, Panel_HotPlay, Panel_HotPause, Panel_HotNext};
  QLineEdit* edit = edits[row];
  TFlatButton* button = buttons[row];
  QLabel* panel = panels[row];

  const uint16_t id = GlobalAddAtom(kAtomNames[row]);
  HotkeyIds_[row] = id;
  if (button->property("Tag").toInt() != 0) {
    Hotkeys_->Unregister(id);
    SetLamp(panel, false);
    button->SetCaption(U("Aktivál"));
    button->setProperty("Tag", 0);
    return;
  }
  if (edit->text().isEmpty()) return HibaKi(edit, U("Nincs megadja gyorsbillentyű!"));
  // The registration is checked: a combination another program holds (or
  // no display at all) leaves the row off and says so.
  std::string why;
  if (!Hotkeys_->Register(id, edit->text().at(0).toUpper(), &why)) {
    QString message = U("A gyorsbillentyű nem regisztrálható!");
    if (!why.empty()) message += QStringLiteral(" (") + QString::fromStdString(why) + QLatin1Char(')');
    return HibaKi(edit, message);
  }
  SetLamp(panel, true);
  button->SetCaption(U("Deaktivál"));
  button->setProperty("Tag", 1);
  // The row is on, but on Wayland its key works only while an X11 window
  // has the focus: say so once, with the way that works everywhere.
  if (WaylandHintShown_ || !OnWaylandSession()) return;
  WaylandHintShown_ = true;
  Dialogs_->InfoBox(
      U("Wayland munkamenetben a gyorsbillentyű csak akkor működik, ha egy X11-es ablakon van a fókusz "
        "(például ezen az ablakon), más program előtérben állásakor nem.\n"
        "Hogy mindig működjön, rendelje a \"vomrella --remote play\" parancsot az asztal egy "
        "billentyűparancsához (GNOME: Beállítások > Billentyűzet > Egyéni gyorsbillentyűk); "
        "a többi sorhoz a pause, next és prev parancs tartozik."));
}

void TFrm_Main::B_HotPrevClick() { ToggleHotkey(0); }
void TFrm_Main::B_HotPlayClick() { ToggleHotkey(1); }
void TFrm_Main::B_HotPauseClick() { ToggleHotkey(2); }
void TFrm_Main::B_HotNextClick() { ToggleHotkey(3); }

void TFrm_Main::ReleaseHotkeys() {
  if (Hotkeys_) Hotkeys_->UnregisterAll();
}

void TFrm_Main::WMHotKey(int hotkeyId) {
  if (hotkeyId == 0) return;
  if (hotkeyId == HotkeyIds_[0]) HotkeyPrevAction();
  if (hotkeyId == HotkeyIds_[1]) (void)HotkeyPlayAction();
  if (hotkeyId == HotkeyIds_[2]) HotkeyPauseAction();
  if (hotkeyId == HotkeyIds_[3]) HotkeyNextAction();
}

void TFrm_Main::HotkeyPrevAction() { B_PrevClick(); }

bool TFrm_Main::HotkeyPlayAction() {
  DXOut->Stop(false);
  CB_TestOsszeall->setCurrentIndex(AktIndex);
  // No "next" when the run ended with an error box: the live index stays.
  if (!StartTestRun()) {
    RemoteStateChanged();  // the stop above may have ended a run
    return false;
  }
  B_NextClick();
  return true;
}

void TFrm_Main::HotkeyPauseAction() { B_FilePauseClick(); }

void TFrm_Main::HotkeyNextAction() { B_NextClick(); }
