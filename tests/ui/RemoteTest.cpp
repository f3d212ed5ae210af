// Remote control over MPRIS on a private session bus that the suite starts
// itself: playerctl and "vomrella --remote" against the offscreen window.

#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <cmath>
#include <memory>

#include <unistd.h>

#include "WindowTestSupport.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/TSoundClock.h"
#include "audio/output/TVirtualSoundSystem.h"
#include "services/remote/PrivateBus.h"
#include "services/remote/TMprisService.h"
#include "show/ChainTestSupport.h"
#include "widgets/TFlatButton.h"

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

const QString kPlayer = QString::fromLatin1(TMprisService::kPlayerInterface);
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");

// PlaybackStatus values from the PropertiesChanged signals on the bus.
class TStatusRecorder : public QObject {
  Q_OBJECT

 public:
  std::vector<QString> Statuses;

 public slots:
  void Changed(const QString& interface, const QVariantMap& changed, const QStringList&) {
    if (interface == kPlayer && changed.contains(QStringLiteral("PlaybackStatus")))
      Statuses.push_back(changed.value(QStringLiteral("PlaybackStatus")).toString());
  }
};

class RemoteTest : public WindowTest {
 protected:
  struct TRun {
    int Code = -1;
    QString Out;
    QString Err;
  };

  static void SetUpTestSuite() {
    Bus = std::make_unique<TPrivateBus>(QStringLiteral("remote-test-window"), QStringLiteral("remote-test-client"));
    Address = Bus->Address();
  }
  static void TearDownTestSuite() {
    Bus.reset();
    Address.clear();
  }

  void SetUp() override {
    WindowTest::SetUp();
    if (!Bus || !Bus->Up()) GTEST_SKIP() << "dbus-daemon could not be started";
    RemoteConnection = QStringLiteral("remote-test-window");
  }

  static QDBusConnection Client() { return QDBusConnection(QStringLiteral("remote-test-client")); }

  // The window with remote control and a clock for the held-key rule that
  // moves only when a test says so.
  void OpenRemoteWindow() {
    OpenWindowOnSimulatedClock();
    ASSERT_NE(Window->Remote(), nullptr);
    Window->Remote()->SetClock([this] { return Now; });
  }
  // Past the held-key window, so the next call is a new press.
  void Later() { Now += std::chrono::seconds(1); }

  void ThreeCompositions() {
    AddThreeCompositions();
    Window->B_FirstClick();
  }

  QDBusMessage Call(const QString& interface, const QString& method, const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(Window->Remote()->ServiceName(),
                                                          QString::fromLatin1(TMprisService::kObjectPath),
                                                          interface, method);
    message.setArguments(args);
    QDBusPendingCall pending = Client().asyncCall(message, 20000);
    EXPECT_TRUE(WaitUntil([&] { return pending.isFinished(); }));
    return pending.reply();
  }
  QVariant Property(const QString& interface, const QString& name) {
    const QDBusMessage reply = Call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                    {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return reply.arguments().value(0).value<QDBusVariant>().variant();
  }

  // Runs a client program against the private bus while the window serves it.
  TRun Run(const QString& program, const QStringList& args, const QString& address = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address.isEmpty() ? Address : address);
    process.setProcessEnvironment(env);
    process.start(program, args);
    TRun run;
    if (!process.waitForStarted(10000)) return run;
    EXPECT_TRUE(WaitUntil([&] { return process.state() == QProcess::NotRunning; }));
    run.Code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
  }
  TRun Playerctl(const QStringList& args) {
    Later();
    return Run(QStringLiteral("playerctl"), QStringList{QStringLiteral("-p"), QStringLiteral("vomrella")} + args);
  }
  TRun Remote(const QString& action, const QString& address = {}) {
    Later();
    return Run(QStringLiteral(VOMRELLA_PROGRAM), {QStringLiteral("--remote"), action}, address);
  }
  static bool HavePlayerctl() { return !QStandardPaths::findExecutable(QStringLiteral("playerctl")).isEmpty(); }

  static std::unique_ptr<TPrivateBus> Bus;
  static QString Address;
  std::chrono::steady_clock::time_point Now{};
};

std::unique_ptr<TPrivateBus> RemoteTest::Bus;
QString RemoteTest::Address;

#define REQUIRE_PLAYERCTL() \
  if (!HavePlayerctl()) GTEST_SKIP() << "playerctl is not installed (scripts/bootstrap installs it)"

TEST_F(RemoteTest, PlayerctlPlayPlaysTheLiveCompositionAndAdvances) {
  REQUIRE_PLAYERCTL();
  OpenRemoteWindow();
  ThreeCompositions();
  const TRun play = Playerctl({QStringLiteral("play")});
  EXPECT_EQ(play.Code, 0) << play.Err.toStdString();
  EXPECT_EQ(Window->CB_TestOsszeall->currentIndex(), 0);
  EXPECT_EQ(Window->AktIndex, 1);
  EXPECT_EQ(Window->E_Akt->text(), QStringLiteral("Masodik"));
  ASSERT_TRUE(WaitUntil([&] { return Window->B_OsszeallRun->isEnabled(); }));
  const TDecoded first = DecodeAlone((Folder / "Hangok" / "a.wav").string());
  EXPECT_TRUE(IsStreamThenSilence(Sound->Heard(), first.Pcm, 0));
  EXPECT_TRUE(Dialogs->Texts("error").empty());
}

TEST_F(RemoteTest, PlayerctlNextAndPreviousMoveTheLivePage) {
  REQUIRE_PLAYERCTL();
  OpenRemoteWindow();
  ThreeCompositions();
  EXPECT_EQ(Playerctl({QStringLiteral("next")}).Code, 0);
  EXPECT_EQ(Window->AktIndex, 1);
  EXPECT_EQ(Window->E_Next->text(), QStringLiteral("Harmadik"));
  EXPECT_EQ(Playerctl({QStringLiteral("previous")}).Code, 0);
  EXPECT_EQ(Playerctl({QStringLiteral("previous")}).Code, 0);
  EXPECT_EQ(Window->AktIndex, 2);
  EXPECT_EQ(Window->E_Akt->text(), QStringLiteral("Harmadik"));
  EXPECT_EQ(Window->E_Next->text(), QStringLiteral("Elso"));
  EXPECT_EQ(Window->ApplicationTitle(), QStringLiteral("VR - Harmadik"));
}

TEST_F(RemoteTest, StatusAndMetadataAnswerWhatTheWindowShows) {
  REQUIRE_PLAYERCTL();
  OpenRemoteWindow();
  ThreeCompositions();
  EXPECT_EQ(Playerctl({QStringLiteral("status")}).Out.trimmed(), QStringLiteral("Stopped"));
  EXPECT_EQ(Playerctl({QStringLiteral("metadata"), QStringLiteral("xesam:title")}).Out.trimmed(),
            QStringLiteral("Elso"));
  // a.wav is 3 s with no pause after it.
  EXPECT_EQ(Playerctl({QStringLiteral("metadata"), QStringLiteral("mpris:length")}).Out.trimmed(),
            QStringLiteral("3000000"));
  TRun status = Remote(QStringLiteral("status"));
  EXPECT_EQ(status.Code, 0) << status.Err.toStdString();
  EXPECT_EQ(status.Out, U("Állapot: leállítva\nKövetkező: Elso\nUtána: Masodik\n"));

  // While the run plays, its composition is the title, though the live page
  // has moved on.
  EXPECT_EQ(Property(kPlayer, QStringLiteral("Position")).toLongLong(), 0);
  Clock->Hold();
  EXPECT_EQ(Playerctl({QStringLiteral("play")}).Code, 0);
  ASSERT_TRUE(WaitUntil([&] { return Clock->WaitingSleepers() == 1; }));
  EXPECT_EQ(Playerctl({QStringLiteral("status")}).Out.trimmed(), QStringLiteral("Playing"));
  // Position: what the device has played of the run (three polls of 495 ms),
  // in microseconds, also while it is paused.
  ASSERT_TRUE(HoldClockFrom(1.0));
  const qlonglong played = std::llround(double(Sound->Heard().size()) / (44100 * 4) * 1e6);
  EXPECT_NEAR(double(played), 1485000, 100);
  EXPECT_EQ(Property(kPlayer, QStringLiteral("Position")).toLongLong(), played);
  EXPECT_EQ(Playerctl({QStringLiteral("metadata"), QStringLiteral("xesam:title")}).Out.trimmed(),
            QStringLiteral("Elso"));
  status = Remote(QStringLiteral("status"));
  EXPECT_EQ(status.Out, U("Állapot: lejátszás\nKövetkező: Masodik\nUtána: Harmadik\n"));
  EXPECT_EQ(Playerctl({QStringLiteral("pause")}).Code, 0);
  EXPECT_EQ(Window->DXOut->Status(), osPaused);
  EXPECT_EQ(Playerctl({QStringLiteral("status")}).Out.trimmed(), QStringLiteral("Paused"));
  EXPECT_EQ(Property(kPlayer, QStringLiteral("Position")).toLongLong(), played);
  Clock->Release();
}

TEST_F(RemoteTest, PlaybackStatusSignalsFollowARunThatStartsPausesAndEnds) {
  OpenRemoteWindow();
  ThreeCompositions();
  TStatusRecorder recorder;
  ASSERT_TRUE(Client().connect(Window->Remote()->ServiceName(), QString::fromLatin1(TMprisService::kObjectPath),
                               QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
                               &recorder, SLOT(Changed(QString, QVariantMap, QStringList))));
  auto heard = [&](size_t n) { return WaitUntil([&] { return recorder.Statuses.size() >= n; }); };
  Clock->Hold();
  EXPECT_EQ(Call(kPlayer, QStringLiteral("Play")).type(), QDBusMessage::ReplyMessage);
  ASSERT_TRUE(heard(1));
  ASSERT_TRUE(WaitUntil([&] { return Clock->WaitingSleepers() == 1; }));
  Later();
  EXPECT_EQ(Call(kPlayer, QStringLiteral("PlayPause")).type(), QDBusMessage::ReplyMessage);
  ASSERT_TRUE(heard(2));
  Later();
  EXPECT_EQ(Call(kPlayer, QStringLiteral("Pause")).type(), QDBusMessage::ReplyMessage);
  ASSERT_TRUE(heard(3));
  // The end of the run arrives through DXOutDone, with no call at all.
  Clock->Release();
  ASSERT_TRUE(heard(4));
  EXPECT_EQ(recorder.Statuses, (std::vector<QString>{QStringLiteral("Playing"), QStringLiteral("Paused"),
                                                     QStringLiteral("Playing"), QStringLiteral("Stopped")}));
  EXPECT_EQ(Property(kPlayer, QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
}

TEST_F(RemoteTest, TwoPlayCallsWithinTheHeldWindowStartOneRun) {
  OpenRemoteWindow();
  ThreeCompositions();
  Clock->Hold();
  EXPECT_EQ(Call(kPlayer, QStringLiteral("Play")).type(), QDBusMessage::ReplyMessage);
  Now += TMprisService::kHeldWindow - std::chrono::milliseconds(1);
  EXPECT_EQ(Call(kPlayer, QStringLiteral("Play")).type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(Window->AktIndex, 1);
  EXPECT_EQ(Window->CB_TestOsszeall->currentIndex(), 0);
  // Still held: the window runs from the call before, not from the first
  // call that ran.
  Now += TMprisService::kHeldWindow - std::chrono::milliseconds(1);
  EXPECT_EQ(Call(kPlayer, QStringLiteral("Play")).type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(Window->AktIndex, 1);
  // Other actions are keys of their own.
  EXPECT_EQ(Call(kPlayer, QStringLiteral("Next")).type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(Window->AktIndex, 2);
  Now += TMprisService::kHeldWindow;
  EXPECT_EQ(Call(kPlayer, QStringLiteral("Play")).type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(Window->CB_TestOsszeall->currentIndex(), 2);
  EXPECT_EQ(Window->AktIndex, 0);
  Clock->Release();
}

TEST_F(RemoteTest, PlayWithAnEmptyStoreShowsTheBoxAndAnswersWithItsText) {
  OpenRemoteWindow();
  EXPECT_FALSE(Property(kPlayer, QStringLiteral("CanPlay")).toBool());
  EXPECT_FALSE(Property(kPlayer, QStringLiteral("CanGoNext")).toBool());
  const QDBusMessage reply = Call(kPlayer, QStringLiteral("Play"));
  ASSERT_EQ(reply.type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(reply.errorName(), QString::fromLatin1(TMprisService::kErrorName));
  EXPECT_EQ(reply.errorMessage(), U("Még nem rögzített összeállítást!"));
  EXPECT_EQ(Dialogs->Texts("error"), (std::vector<QString>{U("Még nem rögzített összeállítást!")}));
  EXPECT_EQ(Window->AktIndex, 0);
  const TRun remote = Remote(QStringLiteral("play"));
  EXPECT_EQ(remote.Code, 1);
  EXPECT_EQ(remote.Err.toStdString(), "vomrella: Még nem rögzített összeállítást!\n");
}

// The clips gone after the load (a pulled stick): no run starts, the live
// page stays, and the box and every caller name the missing file. A repeat
// while the box is open gets the same answer and no second box.
TEST_F(RemoteTest, PlayOfClipsThatVanishedStartsNothingNamesTheFileAndOpensOneBox) {
  OpenRemoteWindow();
  ThreeCompositions();
  std::filesystem::remove(Folder / "Hangok" / "a.wav");
  QDBusMessage repeat;
  Dialogs->WhileErrorShown = [&] {
    Later();
    repeat = Call(kPlayer, QStringLiteral("Play"));
  };
  const QDBusMessage reply = Call(kPlayer, QStringLiteral("Play"));
  ASSERT_EQ(reply.type(), QDBusMessage::ErrorMessage);
  const QString expected = U("Hiba a lejátszás során!\nNem található a fájl: ") +
                           QString::fromStdString((Folder / "Hangok" / "a.wav").string());
  EXPECT_EQ(reply.errorMessage(), expected);
  ASSERT_EQ(repeat.type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(repeat.errorMessage(), expected);
  EXPECT_EQ(Dialogs->Texts("error"), (std::vector<QString>{expected}));
  EXPECT_EQ(Window->AktIndex, 0);
  EXPECT_EQ(Window->DXOut->Status(), osIdle);
  EXPECT_TRUE(Window->B_OsszeallRun->isEnabled());
  const TRun remote = Remote(QStringLiteral("play"));
  EXPECT_EQ(remote.Code, 1);
  EXPECT_EQ(remote.Err.toStdString(), "vomrella: " + expected.toStdString() + "\n");
  EXPECT_EQ(Window->AktIndex, 0);
}

TEST_F(RemoteTest, TheRootInterfaceNamesTheProgramRaisesItAndRefusesToQuit) {
  OpenRemoteWindow();
  EXPECT_EQ(Window->Remote()->ServiceName(), QString::fromLatin1(TMprisService::kServiceName));
  EXPECT_EQ(Property(kRoot, QStringLiteral("Identity")).toString(), U("Vomrella szimulátor"));
  EXPECT_EQ(Property(kRoot, QStringLiteral("DesktopEntry")).toString(), QStringLiteral("vomrella"));
  EXPECT_FALSE(Property(kRoot, QStringLiteral("CanQuit")).toBool());
  EXPECT_FALSE(Property(kPlayer, QStringLiteral("CanSeek")).toBool());
  EXPECT_TRUE(Property(kPlayer, QStringLiteral("CanControl")).toBool());
  EXPECT_EQ(Call(kRoot, QStringLiteral("Quit")).type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(ExitCalls, 0);
  EXPECT_FALSE(Window->isVisible());
  EXPECT_EQ(Call(kRoot, QStringLiteral("Raise")).type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(Window->isVisible());

  // A second window takes a name of its own; the first keeps the plain one.
  QDBusConnection second = QDBusConnection::connectToBus(Address, QStringLiteral("remote-test-second"));
  {
    TFrm_Main::TOptions options;
    options.Dialogs = std::make_unique<TScriptedDialogs>();
    options.Hotkeys = std::make_unique<TFakeHotkeyService>();
    options.SoundSystem = Sound;
    options.ExitProcess = [] {};
    options.RemoteConnection = QStringLiteral("remote-test-second");
    TFrm_Main other(std::move(options));
    ASSERT_NE(other.Remote(), nullptr);
    EXPECT_EQ(other.Remote()->ServiceName(),
              QString::fromLatin1(TMprisService::kServiceName) + QStringLiteral(".instance") +
                  QString::number(::getpid()));
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("remote-test-second"));
}

TEST_F(RemoteTest, RemoteNextDrivesTheWindowAndWithoutAnInstanceExitsOne) {
  OpenRemoteWindow();
  ThreeCompositions();
  const TRun next = Remote(QStringLiteral("next"));
  EXPECT_EQ(next.Code, 0) << next.Err.toStdString();
  EXPECT_EQ(Window->AktIndex, 1);
  EXPECT_EQ(Remote(QStringLiteral("bogus")).Code, 2);

  Window.reset();
  TRun play = Remote(QStringLiteral("play"));
  EXPECT_EQ(play.Code, 1);
  EXPECT_TRUE(play.Err.startsWith(U("vomrella: nem fut a program"))) << play.Err.toStdString();
  EXPECT_EQ(play.Err.count(QLatin1Char('\n')), 1);
  play = Remote(QStringLiteral("play"), QStringLiteral("unix:path=") + QString::fromStdString(Folder.string()) +
                                            QStringLiteral("/nincs-busz"));
  EXPECT_EQ(play.Code, 1);
  EXPECT_TRUE(play.Err.startsWith(U("vomrella: nincs D-Bus munkamenet-busz"))) << play.Err.toStdString();
}

// The program itself, with no bus to be found: one line on stderr, and the
// window keeps running.
TEST_F(RemoteTest, WithoutASessionBusTheProgramSaysSoOnceAndRuns) {
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
             QStringLiteral("unix:path=") + QString::fromStdString(Folder.string()) + QStringLiteral("/nincs-busz"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("VOMRELLA_AUDIO"), QStringLiteral("virtual"));
  program.setProcessEnvironment(env);
  program.start(QStringLiteral(VOMRELLA_PROGRAM), {});
  ASSERT_TRUE(program.waitForStarted(10000));
  QString err;
  const QString line = U("vomrella: nincs D-Bus munkamenet-busz");
  EXPECT_TRUE(WaitUntil([&] {
    err += QString::fromUtf8(program.readAllStandardError());
    return err.contains(line) || program.state() == QProcess::NotRunning;
  }));
  EXPECT_EQ(program.state(), QProcess::Running) << err.toStdString();
  EXPECT_EQ(err.count(line), 1) << err.toStdString();
  program.terminate();
  if (!program.waitForFinished(10000)) program.kill();
  program.waitForFinished(10000);
}

}  // namespace

#include "RemoteTest.moc"
