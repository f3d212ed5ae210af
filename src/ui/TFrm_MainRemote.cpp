// Remote control of the window over D-Bus (MPRIS): the window as the
// service's TRemoteTarget, and what the service is told of its state.

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusError>
#include <QLineEdit>
#include <cstdio>

#include "audio/core/TInputList.h"
#include "audio/output/TDXAudioOut.h"
#include "services/remote/TMprisService.h"
#include "ui/TFrm_Main.h"
#include "ui/TVomrellaApplication.h"

void TFrm_Main::CreateRemoteControl(bool on, const QString& connection) {
  if (!on) return;
  QDBusConnection bus = connection.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(connection);
  auto service = std::make_unique<TMprisService>(static_cast<TRemoteTarget&>(*this), bus);
  if (service->Registered()) {
    Mpris_ = std::move(service);
    return;
  }
  // Not an error: the window works as before, without remote control. Said
  // once per process, however many windows it opens.
  static bool said = false;
  if (said) return;
  said = true;
  const QByteArray why = service->Problem().toLocal8Bit();
  if (!bus.isConnected())
    std::fprintf(stderr, "vomrella: nincs D-Bus munkamenet-busz, távvezérlés (MPRIS) nélkül fut (%s)\n",
                 why.constData());
  else
    std::fprintf(stderr, "vomrella: a távvezérlés (MPRIS) nem indult el, nélküle fut (%s)\n", why.constData());
}

void TFrm_Main::RemoteStateChanged(bool runStarted) {
  if (!Mpris_) return;
  if (runStarted && Store_.TesztGyoker && Store_.TesztGyoker != Store_.Gyoker()) {
    Mpris_->RunStarted(CB_TestOsszeall->currentIndex(), Text(Store_.TesztGyoker->Nev),
                       CompositionSeconds(Store_.TesztGyoker));
  }
  Mpris_->Refresh();
}

bool TFrm_Main::RunRemoteAction(TRemoteAction action) {
  switch (action) {
    case TRemoteAction::Play: return HotkeyPlayAction();
    case TRemoteAction::Pause: HotkeyPauseAction(); break;
    case TRemoteAction::Next: HotkeyNextAction(); break;
    case TRemoteAction::Previous: HotkeyPrevAction(); break;
    case TRemoteAction::Stop: B_FileStopClick(); break;
    case TRemoteAction::Raise:
      if (isMinimized())
        showNormal();
      else
        show();
      raise();
      activateWindow();
      break;
  }
  return true;
}

TRemoteSnapshot TFrm_Main::RemoteSnapshot() const {
  TRemoteSnapshot shown;
  const TOutputStatus status = DXOut ? DXOut->Status() : osIdle;
  shown.Status = status == osPlaying ? TRemoteSnapshot::Playing
               : status == osPaused  ? TRemoteSnapshot::Paused
                                     : TRemoteSnapshot::Stopped;
  shown.TestRunInOutput = DXOut && status != osIdle && DXOut->Input() == InputList;
  if (shown.TestRunInOutput) shown.ElapsedSeconds = RunProgress_.ElapsedFor(DXOut->PlayedSeconds());
  shown.HasCompositions = CB_RogzOsszeall->count() > 0;
  shown.Next = E_Akt->text();
  shown.After = E_Next->text();
  const PGyElem live = AktIndex < 0 ? nullptr : Store_.GyokerKeres(AktIndex);
  if (live && live != Store_.Gyoker()) {
    shown.LiveIndex = AktIndex;
    shown.LiveSeconds = CompositionSeconds(live);
  }
  return shown;
}

void TFrm_Main::ReportRemoteException(const QString& message) { TVomrellaApplication::ReportException(message); }
