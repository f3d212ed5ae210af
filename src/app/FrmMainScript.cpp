// Script commands: "Fájlba ment", "Fájlból olvas", the loader both the menu
// and the start-up use, and the question before closing with unsaved edits.

#include <sys/stat.h>

#include <QCloseEvent>
#include <QComboBox>
#include <exception>
#include <system_error>

#include "app/ClipPath.h"
#include "app/ScriptLoader.h"
#include "app/TFrm_Main.h"
#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"
#include "audio/output/TDXAudioOut.h"
#include "model/AtomicFile.h"
#include "model/ScriptFileCheck.h"
#include "model/ScriptFormat.h"

namespace fs = std::filesystem;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }
QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

// A path typed in a dialog, as the file system takes it.
fs::path DialogPath(const QString& path) { return fs::path(path.toStdString()); }

// The folder a script lies in: the base of the clips beside it.
fs::path ScriptFolder(const fs::path& script) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(script, ec);
  return (ec ? script : absolute).parent_path();
}

// The folder a clip base means: the current folder when empty.
fs::path Effective(const fs::path& base) {
  std::error_code ec;
  return base.empty() ? fs::current_path(ec) : base;
}

bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) || a == b;
}

}  // namespace

void TFrm_Main::Pop_SaveClick() { (void)SaveWithDialog(); }

bool TFrm_Main::SaveWithDialog() {
  for (;;) {
    const std::optional<QString> path = Dialogs_->SaveFile(SaveDialog);
    if (!path) return false;
    const fs::path target = DialogPath(*path);
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
      // A name in use is replaced only when the operator says so; No goes
      // back to the dialog for another name.
      QString question = U("A fájl már létezik:\n%1\nLecseréli?").arg(*path);
      if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        question += U("\nA mostani tartalma megmarad ezen a néven: %1")
                        .arg(Q(BackupPath(ResolveSaveTarget(target)).filename().string()));
      if (!Dialogs_->YesNo(question)) continue;
    }
    // The new content replaces the old file only once it is safely on disk,
    // and the replaced one stays as the backup; a failed save keeps the old
    // script and says why.
    try {
      SaveScript(Store_, target, true);
    } catch (const std::exception& e) {
      Dialogs_->ErrorBox(U("Hiba a fájl mentésekor! A korábbi fájl változatlan maradt.\n") +
                         QString::fromLocal8Bit(e.what()));
      return false;
    }
    Unsaved_.MarkSaved(Store_);
    Dialogs_->InfoBox(U("A mentés befejeződött."));
    return true;
  }
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
  // A load that dropped lines has ended with their list instead.
  if (!LastLoadListedDrops_) Dialogs_->InfoBox(U("A beolvasás befejeződött."));
}

bool TFrm_Main::ScriptBetolt(const QString& path) {
  LastLoadListedDrops_ = false;
  const fs::path script = DialogPath(path);
  // What is not a script is refused by the rule the commands use, before
  // the store is touched: the compositions on screen stay.
  if (const std::string problem = ScriptFileProblem(script); !problem.empty()) {
    Dialogs_->ErrorBox(U("Hiba a fájl megnyitásakor!\n") + path + QStringLiteral(": ") + Q(problem));
    return false;
  }
  if (ClipsBesideScript_) SetClipBase(ScriptFolder(script));
  const TScriptLoadResult result = LoadScriptIntoStore(script, Store_, *WaveIn, *MP3In, ClipBase_);
  if (result.Status == TScriptLoadResult::OpenFailed) {
    Dialogs_->ErrorBox(U("Hiba a fájl megnyitásakor!\n") + QString::fromLocal8Bit(result.Message.c_str()));
    return false;
  }
  GyokerBejar();
  SelectBothRows(CB_RogzOsszeall->count() - 1);
  CB_RogzOsszeallSelect();
  CB_TestOsszeallSelect();
  Unsaved_.MarkSaved(Store_);
  if (result.Status == TScriptLoadResult::ReadFailed) {
    // What was read before the error stays, and the selectors show it.
    Dialogs_->ErrorBox(U("Hiba a fájl olvasásakor! A beolvasás idő előtt megszakadt, csak az addig beolvasott "
                         "összeállítások maradtak meg.\n") +
                       QString::fromLocal8Bit(result.Message.c_str()));
    return false;
  }
  if (result.Dropped.empty()) return true;

  LastLoadListedDrops_ = true;
  QString text = Q(DroppedLinesMessage(result, script, ClipFolder(ClipBase_)));
  const fs::path beside = ScriptFolder(script);
  if (!SameFolder(beside, Effective(ClipBase_))) {
    // The usual cause: started in another folder than the show's.
    if (const int found = DroppedLinesKeptUnder(result, beside, *WaveIn, *MP3In); found > 0) {
      text += U("\n\nA script mappájában (%1) %2 kimaradt sor klipje megvan.\n"
                "Betölti újra úgy, hogy a klipeket onnan veszi?")
                  .arg(Q(ClipFolder(beside).string()))
                  .arg(found);
      if (!Dialogs_->YesNo(text)) return true;
      SetClipBase(beside);
      return ScriptBetolt(path);
    }
  }
  Dialogs_->ErrorBox(text);
  return true;
}

void TFrm_Main::SetClipBase(const fs::path& base) {
  ClipBase_ = base;
  // The browse dialog starts in the clip folder under the same base.
  OpenDialog.InitialDir = Q((base / "hangok").string());
}

bool TFrm_Main::ConfirmClose() {
  // A run in progress stops first, so that no clip is freed under it.
  if (DXOut) DXOut->Stop(false);
  if (!Unsaved_.Any(Store_)) return true;
  switch (Dialogs_->SaveChanges(U("Az összeállítások mentetlen változásokat tartalmaznak.\n"
                                  "Menti őket, mielőtt a program bezárul?"))) {
    case TSaveChangesAnswer::Save: return SaveWithDialog();
    case TSaveChangesAnswer::Discard: return true;
    case TSaveChangesAnswer::Stay: break;
  }
  return false;
}

void TFrm_Main::closeEvent(QCloseEvent* event) {
  if (ConfirmClose())
    event->accept();
  else
    event->ignore();
}
