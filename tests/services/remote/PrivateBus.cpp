#include "services/remote/PrivateBus.h"

#include <QDBusConnection>

TPrivateBus::TPrivateBus(const QString& WindowConnection, const QString& ClientConnection)
    : WindowConnection_(WindowConnection), ClientConnection_(ClientConnection) {
  Daemon_.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
  if (!Daemon_.waitForStarted(10000) || !Daemon_.waitForReadyRead(10000)) return;
  Address_ = QString::fromLocal8Bit(Daemon_.readLine()).trimmed();
  if (Address_.isEmpty()) return;
  QDBusConnection::connectToBus(Address_, WindowConnection_);
  QDBusConnection::connectToBus(Address_, ClientConnection_);
}

TPrivateBus::~TPrivateBus() {
  QDBusConnection::disconnectFromBus(WindowConnection_);
  QDBusConnection::disconnectFromBus(ClientConnection_);
  if (Daemon_.state() == QProcess::NotRunning) return;
  Daemon_.terminate();
  if (!Daemon_.waitForFinished(5000)) Daemon_.kill();
  Daemon_.waitForFinished(5000);
}

bool TPrivateBus::Up() const {
  return !Address_.isEmpty() && QDBusConnection(WindowConnection_).isConnected() &&
         QDBusConnection(ClientConnection_).isConnected();
}
