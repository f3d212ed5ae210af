// The live playback page: which composition the play hotkey plays next
// ("Következő:") and which one follows it ("Utána:").

#include <QComboBox>
#include <QLineEdit>

#include "ui/TFrm_Main.h"

void TFrm_Main::AdatlapKitolt(int32_t n) {
  // A position outside the store finds nothing: both fields keep their text.
  PGyElem c = n < 0 ? nullptr : Store_.GyokerKeres(n);
  if (c && c != Store_.Gyoker()) {
    E_Akt->setText(Text(c->Nev));
    PGyElem after = c->Kov ? c->Kov : Store_.Gyoker()->Kov;
    E_Next->setText(Text(after->Nev));
    // From their start: names that differ at the start must look different.
    E_Akt->setCursorPosition(0);
    E_Next->setCursorPosition(0);
  }
  SetApplicationTitle(QStringLiteral("VR - ") + E_Akt->text());
  RemoteStateChanged();
}

void TFrm_Main::B_FirstClick() {
  AktIndex = 0;
  AdatlapKitolt(AktIndex);
}

void TFrm_Main::B_PrevClick() {
  const int32_t count = CB_RogzOsszeall->count();
  AktIndex = AktIndex - 1;
  if (AktIndex < 0) AktIndex = count - 1;
  AdatlapKitolt(AktIndex);
}

void TFrm_Main::B_NextClick() {
  const int32_t count = CB_RogzOsszeall->count();
  AktIndex = AktIndex + 1;
  if (AktIndex > count - 1) AktIndex = 0;
  AdatlapKitolt(AktIndex);
}
