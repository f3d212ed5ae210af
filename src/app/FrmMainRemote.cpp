// Remote control of the window over D-Bus (MPRIS), and what it is told of
// the window's state.

#include <QComboBox>
#include <QDBusConnection>
#include <QDBusError>
#include <cstdio>

#include "app/MprisService.h"
#include "app/TFrm_Main.h"

void TFrm_Main::CreateRemoteControl(bool on, const QString& connection) {
  if (!on) return;
  QDBusConnection bus = connection.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(connection);
  auto service = std::make_unique<TMprisService>(*this, bus);
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
