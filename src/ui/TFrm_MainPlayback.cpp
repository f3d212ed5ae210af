// Clip preview and test playback through the window's one sound output.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QTimer>

#include "audio/core/GuiHandoff.h"
#include "audio/core/TInputList.h"
#include "audio/decoders/ClipReader.h"
#include "audio/output/TDXAudioOut.h"
#include "show/ClipPath.h"
#include "show/OperatorText.h"
#include "show/TTestRunChain.h"
#include "ui/TFrm_Main.h"
#include "widgets/TFlatButton.h"

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

void TFrm_Main::ConnectAudioEvents() {
  RunChain_ = std::make_unique<TTestRunChain>();
  if (!Hotkeys_) Hotkeys_ = CreateDefaultHotkeyService();
  Hotkeys_->SetPressHandler([this](uint16_t id) { WMHotKey(id); });

  // The audio core hands its events to this thread: a queued call on the
  // application object pumps them from the Qt event loop.
  GuiHandoff::Instance().SetWakeHook([] {
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(app, [] { GuiHandoff::Instance().Pump(); }, Qt::QueuedConnection);
  });
  DXOut->OnDone = [this](TComponent*) { DXOutDone(); };
  // A pass that fails in the worker (no device, nothing in the run that can
  // be played) says why. The box is shown from the event loop, not inside
  // the hand-off, so the audio event thread is not held while it is open.
  DXOut->OnThreadException = [this](TComponent*) {
    // Empty when a run started since the pass failed has cleared it.
    std::string reason = DXOut->ExceptionMessage();
    if (reason.empty()) reason = SupersededPassError_;
    const QString message = QString::fromStdString(HungarianMessage(reason));
    QMetaObject::invokeMethod(
        this, [this, message] { (void)ErrorBoxOnce(U("Hiba a lejátszás során!") + QLatin1Char('\n') + message); },
        Qt::QueuedConnection);
  };
}

void TFrm_Main::ReleasePlayback() {
  // The output is stopped: nothing pulls from the run or the preview.
  if (DXOut && InputList) DXOut->SetInput(InputList);
  if (InputList && RunChain_) RunChain_->Release(*InputList);
  PreviewReader_.reset();
}

void TFrm_Main::B_FileStartClick() {
  const std::string name = Bytes(E_FajlNev->text());
  if (name.empty()) return HibaKi(E_FajlNev, U("Adjon meg egy fájlt!"));
  const std::filesystem::path path = ClipPath(name, ClipBase_);
  if (!ClipExists(path)) return HibaKi(E_FajlNev, U("Nem találom a megadott fájlt!"));
  // The preview plays a reader of its own, so the clip check (which reopens
  // the window's readers at every keystroke) never touches a playing one.
  // A pass in progress is stopped first: its reader is freed below.
  if (DXOut->Busy()) DXOut->Stop(false);
  EndOnAir();
  TComponentPtr<TAuFileIn> reader = CreateClipReader(path.string());
  DXOut->SetInput(reader.get());
  PreviewReader_ = std::move(reader);
  SupersededPassError_ = DXOut->ExceptionMessage();
  try {
    DXOut->Run();
  } catch (...) {
    Dialogs_->ErrorBox(U("Hiba a lejátszás során!"));
    B_OsszeallRun->setEnabled(true);
    B_FileStart->setEnabled(true);
  }
  RemoteStateChanged();
}

void TFrm_Main::B_FilePauseClick() {
  if (DXOut->Status() == osPlaying)
    DXOut->Pause();
  else
    DXOut->Resume();
  if (Timer->isActive()) TimerTimer();
  RemoteStateChanged();
}

void TFrm_Main::B_FileStopClick() {
  DXOut->Stop(false);
  EndOnAir();
  B_OsszeallRun->setEnabled(true);
  B_FileStart->setEnabled(true);
  RemoteStateChanged();
}

void TFrm_Main::B_OsszeallRunClick() { (void)StartTestRun(); }

bool TFrm_Main::StartTestRun() {
  CB_TestOsszeallSelect();
  if (CB_TestOsszeall->currentIndex() < 0) {
    HibaKi(CB_TestOsszeall, U("Még nem rögzített összeállítást!"));
    return false;
  }
  B_OsszeallRun->setEnabled(false);
  // The list cannot be rebuilt under a pass: a preview (or a run started
  // from the hotkey) playing now ends here, without an OnDone.
  if (DXOut->Busy()) DXOut->Stop(false);
  DXOut->SetInput(InputList);
  RunChain_->Build(*InputList, RunClipsFrom(AktElem, ClipBase_));
  PreviewReader_.reset();
  AktElem = Store_.TesztGyoker->Elemek ? Store_.TesztGyoker->Elemek->Kov : nullptr;
  // Clips gone since the load (a pulled stick, a lost share): nothing would
  // be heard, so no run starts and the caller hears which file is missing.
  if (const std::string reason = RunChain_->NothingOpensReason(); !reason.empty()) {
    HibaKi(nullptr, U("Hiba a lejátszás során!") + QLatin1Char('\n') + QString::fromStdString(reason));
    B_OsszeallRun->setEnabled(true);
    B_FileStart->setEnabled(true);
    return false;
  }
  SupersededPassError_ = DXOut->ExceptionMessage();
  try {
    DXOut->Run();
  } catch (...) {
    // Through HibaKi (no control to focus), so a remote caller hears of it.
    HibaKi(nullptr, U("Hiba a lejátszás során!"));
    B_OsszeallRun->setEnabled(true);
    B_FileStart->setEnabled(true);
    return false;
  }
  StartOnAir();
  RemoteStateChanged(true);
  return true;
}

void TFrm_Main::StartOnAir() {
  RunProgress_.Start(CompositionSeconds(Store_.TesztGyoker));
  OnAirName_ = Text(Store_.TesztGyoker->Nev);
  ProgressBar->setMaximum(100);
  ProgressBar->setValue(0);
  L_Perc->setText(QStringLiteral("0%"));
  ProgressBar->show();
  L_Perc->show();
  ShowOnAirText(false);
  Timer->start();
}

void TFrm_Main::EndOnAir() {
  Timer->stop();
  ProgressBar->hide();
  L_Perc->hide();
  L_OnAir->setText(U("Most nem szól semmi."));
}

void TFrm_Main::ShowOnAirText(bool paused) {
  QString text = U("Most szól: ") + OnAirName_ + QLatin1Char('\n') + U("Eltelt: ") + RunProgress_.ElapsedText() +
                 U("   Hátra: ") + RunProgress_.RemainingText();
  if (paused) text += U("   (szünetel)");
  L_OnAir->setText(text);
}

void TFrm_Main::TimerTimer() {
  // The run has ended, or a preview has taken the output.
  const TOutputStatus status = DXOut ? DXOut->Status() : osIdle;
  if (status == osIdle || DXOut->Input() != InputList) return EndOnAir();
  RunProgress_.Update(DXOut->PlayedSeconds());
  ProgressBar->setValue(RunProgress_.Percent());
  L_Perc->setText(QString::number(RunProgress_.Percent()) + QLatin1Char('%'));
  ShowOnAirText(status == osPaused);
}

void TFrm_Main::DXOutDone() {
  EndOnAir();
  B_OsszeallRun->setEnabled(true);
  B_FileStart->setEnabled(true);
  ShowPlaybackDevice();  // a device chosen during the run is the one now
  RemoteStateChanged();
}
