// TMprisService on its own: it drives a stand-in for the window through
// TRemoteTarget and shows that target's snapshot, so nothing of the window
// is needed to serve MPRIS.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <memory>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "services/remote/PrivateBus.h"
#include "services/remote/TMprisService.h"

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Records the actions asked of it and shows what the test sets.
class TFakeTarget : public TRemoteTarget {
 public:
  bool RunRemoteAction(TRemoteAction action) override {
    Actions.push_back(action);
    if (ThrowOnNext) throw std::runtime_error("a lemez megtelt");
    return !(FailPlay && action == TRemoteAction::Play);
  }
  TRemoteSnapshot RemoteSnapshot() const override { return Shown; }
  void ReportRemoteException(const QString& message) override { Reported.push_back(message); }

  std::vector<TRemoteAction> Actions;
  std::vector<QString> Reported;
  TRemoteSnapshot Shown;
  bool FailPlay = false;
  bool ThrowOnNext = false;
};

class MprisService : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Bus = std::make_unique<TPrivateBus>(QStringLiteral("mpris-test-service"), QStringLiteral("mpris-test-client"));
  }
  static void TearDownTestSuite() { Bus.reset(); }

  void SetUp() override {
    if (!Bus->Up()) GTEST_SKIP() << "dbus-daemon could not be started";
    Service = std::make_unique<TMprisService>(Target, QDBusConnection(QStringLiteral("mpris-test-service")));
    ASSERT_TRUE(Service->Registered()) << Service->Problem().toStdString();
    Service->SetClock([this] { return Now; });
  }

  // A method of the player, answered while this thread serves the service.
  QDBusMessage Call(const QString& method,
                    const QString& interface = QString::fromLatin1(TMprisService::kPlayerInterface)) {
    Now += std::chrono::seconds(1);  // a new press, not a held key
    return CallNow(interface, method, {});
  }
  QDBusMessage CallNow(const QString& interface, const QString& method, const QVariantList& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        Service->ServiceName(), QString::fromLatin1(TMprisService::kObjectPath), interface, method);
    message.setArguments(args);
    QDBusPendingCall pending = QDBusConnection(QStringLiteral("mpris-test-client")).asyncCall(message, 10000);
    QElapsedTimer waited;
    waited.start();
    while (!pending.isFinished() && waited.elapsed() < 10000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pending.reply();
  }
  QVariant Property(const char* name) {
    const QDBusMessage reply =
        CallNow(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                {QString::fromLatin1(TMprisService::kPlayerInterface), QString::fromLatin1(name)});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
  }

  static inline std::unique_ptr<TPrivateBus> Bus;
  TFakeTarget Target;
  std::unique_ptr<TMprisService> Service;
  std::chrono::steady_clock::time_point Now{std::chrono::hours(1)};
};

}  // namespace

TEST_F(MprisService, MethodsRunTheTargetsActionsAndAnswerItsFailures) {
  for (const char* method : {"Play", "Pause", "PlayPause", "Next", "Previous", "Stop"})
    EXPECT_EQ(Call(QString::fromLatin1(method)).type(), QDBusMessage::ReplyMessage) << method;
  EXPECT_EQ(Call(QStringLiteral("Raise"), QStringLiteral("org.mpris.MediaPlayer2")).type(), QDBusMessage::ReplyMessage);
  const std::vector<TRemoteAction> expected{TRemoteAction::Play, TRemoteAction::Pause, TRemoteAction::Pause,
                                            TRemoteAction::Next, TRemoteAction::Previous, TRemoteAction::Stop,
                                            TRemoteAction::Raise};
  EXPECT_EQ(Target.Actions, expected);

  // The same key again within the held window is the key still held.
  Call(QStringLiteral("Next"));
  CallNow(QString::fromLatin1(TMprisService::kPlayerInterface), QStringLiteral("Next"), {});
  EXPECT_EQ(Target.Actions.size(), expected.size() + 1);

  Target.FailPlay = true;
  const QDBusMessage failed = Call(QStringLiteral("Play"));
  EXPECT_EQ(failed.errorName(), QString::fromLatin1(TMprisService::kErrorName));
  EXPECT_EQ(failed.errorMessage(), U("A lejátszás nem indult el."));

  Target.ThrowOnNext = true;
  const QDBusMessage threw = Call(QStringLiteral("Next"));
  EXPECT_EQ(threw.errorMessage(), U("a lemez megtelt"));
  EXPECT_EQ(Target.Reported, std::vector<QString>{U("a lemez megtelt")});
}

TEST_F(MprisService, PropertiesShowTheTargetsSnapshot) {
  Target.Shown.Status = TRemoteSnapshot::Paused;
  Target.Shown.HasCompositions = true;
  Target.Shown.Next = U("Reggeli bejelentés");
  Target.Shown.After = U("Esti zárás");
  Target.Shown.LiveIndex = 2;
  Target.Shown.LiveSeconds = 12.5;
  EXPECT_EQ(Property("PlaybackStatus").toString(), QStringLiteral("Paused"));
  EXPECT_TRUE(Property("CanPlay").toBool());
  QVariantMap idle = qdbus_cast<QVariantMap>(Property("Metadata").value<QDBusArgument>());
  EXPECT_EQ(idle.value(QStringLiteral("xesam:title")).toString(), U("Reggeli bejelentés"));
  EXPECT_EQ(idle.value(QStringLiteral("vomrella:after")).toString(), U("Esti zárás"));
  EXPECT_EQ(idle.value(QStringLiteral("mpris:length")).toLongLong(), 12500000);
  EXPECT_EQ(idle.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
            QStringLiteral("/org/vomrella/composition/2"));
  EXPECT_EQ(Property("Position").toLongLong(), 0);

  // A test run in the output: its own composition and position, whatever
  // the live page shows meanwhile.
  Service->RunStarted(0, U("Próba"), 40.0);
  Target.Shown.Status = TRemoteSnapshot::Playing;
  Target.Shown.TestRunInOutput = true;
  Target.Shown.ElapsedSeconds = 10.0;
  QVariantMap running = qdbus_cast<QVariantMap>(Property("Metadata").value<QDBusArgument>());
  EXPECT_EQ(running.value(QStringLiteral("xesam:title")).toString(), U("Próba"));
  EXPECT_EQ(running.value(QStringLiteral("mpris:length")).toLongLong(), 40000000);
  EXPECT_EQ(Property("Position").toLongLong(), 10000000);
}
