// Composition editing on the first page: the options menu, the two
// selectors, the item list and its buttons, and the "Felvitel" panel.

#include <QComboBox>
#include <QCursor>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QTreeView>
#include <QFileInfo>
#include <cmath>
#include <optional>

#include "app/ClipPath.h"
#include "app/ScriptLoader.h"
#include "app/TFrm_Main.h"
#include "app/TItemListModel.h"
#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"
#include "widgets/SystemColors.h"
#include "widgets/TFlatButton.h"

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// The whole text as a 32-bit signed integer (blanks around it allowed, as the
// platform's conversion does); nothing when it is not one.
std::optional<int32_t> ToInt32(const QString& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok, 10);
  if (!ok) return std::nullopt;
  return int32_t(value);
}

}  // namespace

void TFrm_Main::B_OpciokClick() {
  // At the mouse cursor, also when the button was pressed from the keyboard.
  Popup_Opciok->popup(QCursor::pos());
}

void TFrm_Main::Popup_OpciokPopup() {
  const bool selected = CB_RogzOsszeall->currentIndex() >= 0;
  Pop_Uj->setEnabled(true);
  for (QAction* a : {Pop_Atnevez, Pop_Torol, Pop_Fel, Pop_Le}) a->setEnabled(selected);
}

void TFrm_Main::Pop_UjClick() {
  const QString name = Dialogs_->InputBox(U("Összeállítás neve"), U("Adjon megy egy nevet"), QString());
  if (!name.trimmed().isEmpty()) Store_.GyokerHozzaadas(Bytes(name));
  GyokerBejar();
  SelectBothRows(CB_RogzOsszeall->count() - 1);
  CB_RogzOsszeallSelect();
  CB_TestOsszeallSelect();
  AdatlapKitolt(AktIndex);
}

void TFrm_Main::Pop_AtnevezClick() {
  const int row = CB_RogzOsszeall->currentIndex();
  const QString name =
      Dialogs_->InputBox(U("Összeállítás neve"), U("Adjon megy egy új nevet"), Text(Store_.AktGyoker->Nev));
  Store_.GyokerAtnevezes(Store_.AktGyoker, Bytes(name));
  GyokerBejar();
  SelectBothRows(row);
}

void TFrm_Main::Pop_TorolClick() {
  Store_.GyokerTorles(Store_.AktGyoker);
  GyokerBejar();
  SelectBothRows(Store_.Ures() ? -1 : 0);
  CB_RogzOsszeallSelect();
  CB_TestOsszeallSelect();
  AktIndex = 0;
  AdatlapKitolt(0);
}

void TFrm_Main::Pop_FelClick() {
  if (Store_.AktGyoker == Store_.Gyoker()->Kov) return;
  const int row = CB_RogzOsszeall->currentIndex();
  if (!Store_.GyokerFeljebb(Store_.AktGyoker)) return;
  GyokerBejar();
  SelectBothRows(row - 1);
  CB_RogzOsszeallSelect();
  CB_TestOsszeallSelect();
}

void TFrm_Main::Pop_LeClick() {
  if (Store_.AktGyoker == Store_.Gyoker() || !Store_.AktGyoker->Kov) return;
  const int row = CB_RogzOsszeall->currentIndex();
  if (!Store_.GyokerFeljebb(Store_.AktGyoker->Kov)) return;
  GyokerBejar();
  SelectBothRows(row + 1);
  CB_RogzOsszeallSelect();
  CB_TestOsszeallSelect();
}

void TFrm_Main::CB_RogzOsszeallSelect() {
  const int row = CB_RogzOsszeall->currentIndex();
  PGyElem c = row < 0 ? Store_.Gyoker() : Store_.GyokerKeres(row);
  Store_.AktGyoker = c ? c : Store_.Gyoker();
  Listakiir();
}

void TFrm_Main::CB_TestOsszeallSelect() {
  double total = 0;
  if (!Store_.Ures()) {
    PGyElem c = Store_.GyokerKeres(CB_TestOsszeall->currentIndex());
    Store_.TesztGyoker = c ? c : Store_.Gyoker();
    AktElem = Store_.TesztGyoker->Elemek ? Store_.TesztGyoker->Elemek->Kov : nullptr;
    for (PElem e = AktElem; e; e = e->Kov) {
      total += e->Hossz + e->Szunet / 1000;
      ProgressBar->setMaximum(100);
      ProgressStep = int(std::nearbyint(total * 10));
      ProgressBar->setValue(0);
      L_Perc->setText(QStringLiteral("0%"));
    }
  }
  E_TestHossz->setText(FloatToStr(total));
}

QString TFrm_Main::VSTGetText(int row, int column) const {
  PElem e = Store_.ElemKeres(Store_.AktGyoker, row);
  if (!e || e == Store_.AktGyoker->Elemek) return {};
  switch (column) {
    case 0: return QString::number(e->Sorszam);
    case 1: return Text(e->FajlNev);
    case 2: return FloatToStr(e->Hossz) + QStringLiteral("s");
    case 3: return FloatToStr(e->Szunet) + QStringLiteral("ms");
    default: return {};
  }
}

int TFrm_Main::ListSelectedCount() const {
  return VST->selectionModel() ? int(VST->selectionModel()->selectedRows().size()) : 0;
}

int TFrm_Main::ListFocusedRow() const { return VST->currentIndex().isValid() ? VST->currentIndex().row() : -1; }

void TFrm_Main::B_FelClick() {
  if (ListSelectedCount() < 1 || VSTModel->RowCount() < 1) return;
  const int r = ListFocusedRow();
  if (r <= 0) return;
  Store_.ElemFeljebb(Store_.AktGyoker, Store_.ElemKeres(Store_.AktGyoker, r));
  Listakiir();
}

void TFrm_Main::B_LeClick() {
  if (ListSelectedCount() < 1 || VSTModel->RowCount() < 1) return;
  const int r = ListFocusedRow();
  PElem next = r < 0 ? nullptr : Store_.ElemKeres(Store_.AktGyoker, r + 1);
  if (!next) return;
  Store_.ElemFeljebb(Store_.AktGyoker, next);
  Listakiir();
}

void TFrm_Main::B_TorolClick() {
  if (ListSelectedCount() < 1 || VSTModel->RowCount() < 1) return;
  const int r = ListFocusedRow();
  if (r < 0) return;
  Store_.ElemTorles(Store_.AktGyoker, r);
  Listakiir();
}

void TFrm_Main::SetRogzStatus(bool ok) {
  Panel_RogzStatus->setText(ok ? U("Rendben") : U("Hibás"));
  QPalette pal = Panel_RogzStatus->palette();
  pal.setColor(QPalette::Window, ok ? SystemColors::clLime : SystemColors::clRed);
  Panel_RogzStatus->setPalette(pal);
}

void TFrm_Main::E_FajlNevChange() {
  const std::string name = Bytes(E_FajlNev->text());
  const std::filesystem::path path = ClipPath(name, ClipBase_);
  if (!ClipExists(path)) {
    SetRogzStatus(false);
    E_RogzHossz->clear();
    return;
  }
  // Every name that is not ".wav" is measured by the media-format reader, as
  // loading a script does, so no extension keeps the previous clip's length.
  // A reader that is playing is never touched.
  TAuFileIn& reader = IsWavName(name) ? static_cast<TAuFileIn&>(*WaveIn) : static_cast<TAuFileIn&>(*MP3In);
  int32_t seconds = 0;
  if (!MeasureClip(reader, path, seconds)) {
    SetRogzStatus(false);
    E_RogzHossz->clear();
    return;
  }
  SetRogzStatus(true);
  E_RogzHossz->setText(QString::number(seconds));
  if (E_RogzSzunet->text().trimmed().isEmpty()) E_RogzSzunet->setText(QStringLiteral("0"));
}

void TFrm_Main::E_TallozClick() {
  const std::optional<QString> chosen = Dialogs_->OpenFile(OpenDialog);
  if (!chosen) return;
  // Only the name counts: the clip is always looked up in the clip folder.
  E_FajlNev->setText(QFileInfo(*chosen).fileName());
  E_FajlNevChange();
}

void TFrm_Main::B_RogzRendbenClick() {
  if (Store_.Ures()) return HibaKi(B_Opciok, U("Audio fájl felvitele előtt készítsen Összeállítást!"));
  if (!ClipExists(ClipPath(Bytes(E_FajlNev->text()), ClipBase_)))
    return HibaKi(E_FajlNev, U("Nem találom a fájlt!"));
  const std::optional<int32_t> pause = ToInt32(E_RogzSzunet->text());
  if (!pause) return HibaKi(E_RogzSzunet, U("Hibás szám a Szünet mezőben!"));
  const std::optional<int32_t> length = ToInt32(E_RogzHossz->text());
  if (!length)
    return HibaKi(E_FajlNev, U("A fájl hossza nem ismert: a fájl nem olvasható hangfájl, ezért nem vehető fel!"));
  // Items are added to the editing side's composition; the root (no row
  // selected) takes none.
  if (!Store_.ElemHozzaadas(Store_.AktGyoker, Bytes(E_FajlNev->text()), *length, *pause)) return;
  Listakiir();
  E_FajlNev->clear();
  E_RogzSzunet->clear();
}
