// Script commands: "Fájlba ment", "Fájlból olvas" and the loader both the
// menu and the start-up use.

#include <QComboBox>
#include <exception>

#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"
#include "model/ScriptFormat.h"
#include "show/ScriptLoader.h"
#include "ui/TFrm_Main.h"

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// A path typed in a dialog, as the file system takes it.
std::filesystem::path DialogPath(const QString& path) { return std::filesystem::path(path.toStdString()); }

}  // namespace

void TFrm_Main::Pop_SaveClick() {
  const std::optional<QString> path = Dialogs_->SaveFile(SaveDialog);
  if (!path) return;
  // The new content replaces the old file only once it is safely on disk; a
  // failed save keeps the old script and says why.
  try {
    SaveScript(Store_, DialogPath(*path));
  } catch (const std::exception& e) {
    Dialogs_->ErrorBox(U("Hiba a fájl mentésekor! A korábbi fájl változatlan maradt.\n") +
                       QString::fromLocal8Bit(e.what()));
    return;
  }
  Dialogs_->InfoBox(U("A mentés befejeződött."));
}

void TFrm_Main::Pop_OpenClick() {
  if (!Store_.Ures() && !Dialogs_->YesNo(U("Az eddigi rögzítése elvész. Kívánja folytatni?"))) return;
  const std::optional<QString> path = Dialogs_->OpenFile(OpenDialog_Open);
  if (!path) return;
  if (!ScriptBetolt(*path)) return;
  SelectBothRows(Store_.Ures() ? -1 : 0);
  CB_RogzOsszeallSelect();
  CB_TestOsszeallSelect();
  AktIndex = 0;
  AdatlapKitolt(0);
  Dialogs_->InfoBox(U("A beolvasás befejeződött."));
}

bool TFrm_Main::ScriptBetolt(const QString& path) {
  const TScriptLoadResult result = LoadScriptIntoStore(DialogPath(path), Store_, *WaveIn, *MP3In);
  if (result.Status == TScriptLoadResult::OpenFailed) {
    Dialogs_->ErrorBox(U("Hiba a fájl megnyitásakor!"));
    return false;
  }
  GyokerBejar();
  SelectBothRows(CB_RogzOsszeall->count() - 1);
  CB_RogzOsszeallSelect();
  CB_TestOsszeallSelect();
  if (result.Status == TScriptLoadResult::ReadFailed) {
    // What was read before the error stays, and the selectors show it.
    Dialogs_->ErrorBox(U("Hiba a fájl olvasásakor! A beolvasás idő előtt megszakadt, csak az addig beolvasott "
                         "összeállítások maradtak meg.\n") +
                       QString::fromLocal8Bit(result.Message.c_str()));
    return false;
  }
  return true;
}
