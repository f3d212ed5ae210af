// "vomrella --remote ACTION": drives the running program over its MPRIS
// interface on the session bus, as a desktop shortcut does on Wayland
// (where the program cannot grab keys itself).

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/TCommandArgs.h"
#include "services/remote/TMprisService.h"

namespace {

// An answer from the program takes as long as its action (the play action
// stops a run first); a hung program is not waited for longer than this.
constexpr int kCallTimeoutMs = 15000;

struct TRemoteAction {
  const char* Name;
  const char* Method;  // Player method; null for status
};
constexpr TRemoteAction kActions[] = {{"play", "Play"}, {"pause", "Pause"}, {"next", "Next"},
                                      {"prev", "Previous"}, {"stop", "Stop"}, {"status", nullptr}};

// The bus name of a running instance: the plain name first, else any
// ".instance<pid>" one. Empty when none runs.
QString FindInstance(const QDBusConnection& bus) {
  const QString plain = QString::fromLatin1(TMprisService::kServiceName);
  QDBusConnectionInterface* names = bus.interface();
  if (!names) return {};
  if (names->isServiceRegistered(plain)) return plain;
  const QStringList all = names->registeredServiceNames().value();
  for (const QString& name : all)
    if (name.startsWith(plain + QStringLiteral(".instance"))) return name;
  return {};
}

// A property of the player, unwrapped from its variant; invalid on error.
QVariant PlayerProperty(const QDBusConnection& bus, const QString& service, const char* name, QString* error) {
  QDBusMessage get = QDBusMessage::createMethodCall(service, QString::fromLatin1(TMprisService::kObjectPath),
                                                    QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("Get"));
  get << QString::fromLatin1(TMprisService::kPlayerInterface) << QString::fromLatin1(name);
  const QDBusMessage reply = bus.call(get, QDBus::Block, kCallTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    *error = reply.errorMessage();
    return {};
  }
  return reply.arguments().first().value<QDBusVariant>().variant();
}

int Status(const QDBusConnection& bus, const QString& service) {
  QString error;
  const QVariant status = PlayerProperty(bus, service, "PlaybackStatus", &error);
  const QVariant metadata = status.isValid() ? PlayerProperty(bus, service, "Metadata", &error) : QVariant();
  if (!metadata.isValid()) {
    std::fprintf(stderr, "vomrella: a futó program nem válaszolt (%s)\n", error.toLocal8Bit().constData());
    return 1;
  }
  const QVariantMap fields = qdbus_cast<QVariantMap>(metadata.value<QDBusArgument>());
  std::printf("Állapot: %s\nKövetkező: %s\nUtána: %s\n", status.toString().toLocal8Bit().constData(),
              fields.value(QStringLiteral("vomrella:next")).toString().toLocal8Bit().constData(),
              fields.value(QStringLiteral("vomrella:after")).toString().toLocal8Bit().constData());
  return cli::FlushStdout() ? 0 : 1;
}

int Call(const QDBusConnection& bus, const TRemoteAction& action) {
  if (!bus.isConnected()) {
    std::fprintf(stderr, "vomrella: nincs D-Bus munkamenet-busz, a futó program nem érhető el (%s)\n",
                 bus.lastError().message().toLocal8Bit().constData());
    return 1;
  }
  const QString service = FindInstance(bus);
  if (service.isEmpty()) {
    std::fprintf(stderr, "vomrella: nem fut a program (a munkamenet-buszon nincs %s)\n", TMprisService::kServiceName);
    return 1;
  }
  if (!action.Method) return Status(bus, service);
  const QDBusMessage call =
      QDBusMessage::createMethodCall(service, QString::fromLatin1(TMprisService::kObjectPath),
                                     QString::fromLatin1(TMprisService::kPlayerInterface),
                                     QString::fromLatin1(action.Method));
  const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    std::fprintf(stderr, "vomrella: %s\n", reply.errorMessage().toLocal8Bit().constData());
    return 1;
  }
  return 0;
}

int Remote(const std::vector<std::string_view>& args) {
  const TRemoteAction* action = nullptr;
  TCommandArgs parsed;
  if (parsed.Parse(args, 1, 1))
    for (const TRemoteAction& a : kActions)
      if (parsed.Operands()[0] == a.Name) action = &a;
  if (!action) {
    std::fprintf(stderr, "Használat: vomrella --remote play|pause|next|prev|stop|status\n");
    return 2;
  }
  int status = 0;
  {
    static int argc = 1;
    static char program[] = "vomrella";
    static char* argv[] = {program, nullptr};
    QCoreApplication app(argc, argv);
    const QString name = QStringLiteral("vomrella-remote");
    {
      const QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
      status = Call(bus, *action);
    }
    QDBusConnection::disconnectFromBus(name);
  }
  // Qt D-Bus's own thread may still be delivering the answer's internal
  // signals while the exit handlers free Qt's type registry, which prints
  // warnings about invalid types (seen after error answers). Nothing is left
  // to do: end here, without the exit handlers.
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}

}  // namespace

const CliCommand kRemoteCommand{
    "--remote", "play|pause|next|prev|stop|status", "a futó programot vezérli (MPRIS, a munkamenet-buszon)", Remote,
    "play: a lejátszás gyorsbillentyű (a \"Következő:\" összeállítás lejátszása, majd léptetés),\n"
    "pause: szünet vagy folytatás, next/prev: következő/előző összeállítás, stop: leállítás,\n"
    "status: a lejátszás állapota és a \"Következő:\", \"Utána:\" összeállítás neve.\n"
    "Wayland alatt ezt lehet a rendszer beállításaiban gyorsbillentyűhöz rendelni\n"
    "(GNOME: Beállítások > Billentyűzet > Egyéni gyorsbillentyűk).\n"
    "Kilépési kód: 0 rendben, 1 nem fut a program vagy a művelet hibát jelzett, 2 hibás használat."
};
