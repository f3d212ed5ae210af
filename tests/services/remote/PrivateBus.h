#pragma once
// A private D-Bus session daemon for one test suite, with two named
// connections to it: the one the window offers its remote control on and a
// client's. The daemon is stopped and the connections closed when it goes.

#include <QProcess>
#include <QString>

class TPrivateBus {
 public:
  TPrivateBus(const QString& WindowConnection, const QString& ClientConnection);
  ~TPrivateBus();
  TPrivateBus(const TPrivateBus&) = delete;
  TPrivateBus& operator=(const TPrivateBus&) = delete;

  // The daemon runs and both connections are connected.
  bool Up() const;
  // The daemon's address; empty when it could not be started.
  const QString& Address() const { return Address_; }

 private:
  QProcess Daemon_;
  QString Address_;
  QString WindowConnection_;
  QString ClientConnection_;
};
