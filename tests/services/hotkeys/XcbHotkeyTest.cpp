// The window's hotkeys on a real X server: each test starts its own Xvfb on
// a free display, focuses a window of another client, and presses keys with
// xdotool (XTEST), so the presses travel the way an operator's do. And the
// program's window on such a server, read over AT-SPI.

#include <QComboBox>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "audio/output/TVirtualSoundSystem.h"
#include "services/hotkeys/TPressGuard.h"
#include "services/hotkeys/TXcbHotkeyService.h"
#include "ui/ScriptedDialogs.h"
#include "ui/TFrm_Main.h"
#include "widgets/TFlatButton.h"


namespace {

bool OnPath(const char* program) {
  const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// An Xvfb of the test's own; it picks a free display number itself and
// reports it (-displayfd), so tests running side by side never share one.
class TXvfb {
 public:
  TXvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
      close(fds[0]);
      return;
    }
    Pid = pid;
    // The number arrives as a line once the server accepts clients.
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) Display = ":" + number;
  }
  ~TXvfb() {
    if (Pid <= 0) return;
    kill(Pid, SIGTERM);
    waitpid(Pid, nullptr, 0);
  }
  TXvfb(const TXvfb&) = delete;
  TXvfb& operator=(const TXvfb&) = delete;
  bool Up() const { return Pid > 0 && !Display.empty(); }
  std::string Display;

 private:
  pid_t Pid = -1;
};

// Another client: a mapped window with the input focus, and grabs of its own.
class TOtherClient {
 public:
  explicit TOtherClient(const std::string& display) : C(xcb_connect(display.c_str(), nullptr)) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(C)).data;
    Root = screen->root;
    Window = xcb_generate_id(C);
    xcb_create_window(C, XCB_COPY_FROM_PARENT, Window, Root, 0, 0, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    xcb_map_window(C, Window);
    // The key repeat of a held key is on, as on a desktop.
    const uint32_t on = XCB_AUTO_REPEAT_MODE_ON;
    xcb_change_keyboard_control(C, XCB_KB_AUTO_REPEAT_MODE, &on);
    Sync();
    xcb_set_input_focus(C, XCB_INPUT_FOCUS_POINTER_ROOT, Window, XCB_CURRENT_TIME);
    Sync();
  }
  ~TOtherClient() { xcb_disconnect(C); }
 private:
  void Sync() { std::free(xcb_get_input_focus_reply(C, xcb_get_input_focus(C), nullptr)); }
  xcb_connection_t* C;
  xcb_window_t Root = 0;
  xcb_window_t Window = 0;
};

class XcbHotkeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnPath("Xvfb") || !OnPath("xdotool")) GTEST_SKIP() << "Xvfb and xdotool are needed (scripts/bootstrap)";
    Server = std::make_unique<TXvfb>();
    ASSERT_TRUE(Server->Up()) << "Xvfb did not start";
    Other = std::make_unique<TOtherClient>(Server->Display);

    auto dialogs = std::make_unique<TScriptedDialogs>();
    Dialogs = dialogs.get();
    auto hotkeys = std::make_unique<TXcbHotkeyService>(Server->Display);
    ASSERT_TRUE(hotkeys->Connected());
    Service = hotkeys.get();
    // Each press a second after the last: not a double press.
    Service->SetClock([this] { return Now += std::chrono::seconds(1); });
    TFrm_Main::TOptions options;
    options.Dialogs = std::move(dialogs);
    options.Hotkeys = std::move(hotkeys);
    options.SoundSystem = std::make_shared<TVirtualSoundSystem>();
    options.ExitProcess = [] {};
    Window = std::make_unique<TFrm_Main>(std::move(options));
    // Five compositions, so "next" moves the live index from 0 to 4.
    for (const char* name : {"Egy", "Ketto", "Harom", "Negy", "Ot"}) Window->Store().GyokerHozzaadas(name);
    Window->GyokerBejar();
    Window->AktIndex = 0;
  }
  void TearDown() override {
    Window.reset();
    Other.reset();
    Server.reset();
  }

  // Runs xdotool against the test's server.
  void XDoTool(const std::string& args) {
    const std::string command = "DISPLAY=" + Server->Display + " xdotool " + args;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  // Runs the event loop until `done` (a safety net of 20 s, never a result).
  bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  // A marker press: the Prev row on CTRL+M moves the index back. Events keep
  // their order, so once its effect is seen every earlier press has been
  // handled.
  void SyncWithMarker(int expectedAfter) {
    XDoTool("key ctrl+m");
    ASSERT_TRUE(WaitUntil([&] { return Window->AktIndex == expectedAfter; }))
        << "index " << Window->AktIndex << ", expected " << expectedAfter;
  }

  std::unique_ptr<TXvfb> Server;
  std::unique_ptr<TOtherClient> Other;
  std::unique_ptr<TFrm_Main> Window;
  TScriptedDialogs* Dialogs = nullptr;
  TXcbHotkeyService* Service = nullptr;
  std::chrono::steady_clock::time_point Now{};
};

TEST_F(XcbHotkeyTest, APressFiresOnceAHeldKeyOnceAndAnOffRowNotAtAll) {
  Window->E_HotNext->setText(QStringLiteral("N"));
  Window->B_HotNext->click();
  Window->E_HotPrev->setText(QStringLiteral("M"));
  Window->B_HotPrev->click();
  ASSERT_TRUE(Dialogs->Texts("error").empty()) << Dialogs->Texts("error").front().toStdString();
  EXPECT_EQ(Window->Panel_HotNext->text(), QString::fromUtf8("Aktív"));

  XDoTool("key ctrl+n");
  ASSERT_TRUE(WaitUntil([&] { return Window->AktIndex == 1; }));
  // NumLock on: the combination still works.
  XDoTool("key Num_Lock ctrl+n Num_Lock");
  ASSERT_TRUE(WaitUntil([&] { return Window->AktIndex == 2; }));

  // Held with auto-repeat: the server repeats the press; it fires once.
  XDoTool("keydown ctrl+n");
  ASSERT_TRUE(WaitUntil([&] {
    return Service->RepeatsIgnored() >= 3;
  })) << "the server did not repeat the held key";
  XDoTool("keyup ctrl+n");
  SyncWithMarker(2);  // 2 -> 3 by the held key, back to 2 by the marker
  EXPECT_GE(Service->RepeatsIgnored(), 3);

  // Off again: the key goes to the focused window, not to the program.
  Window->B_HotNext->click();
  EXPECT_EQ(Window->Panel_HotNext->text(), QString::fromUtf8("Inaktív"));
  XDoTool("key ctrl+n");
  SyncWithMarker(1);
  EXPECT_TRUE(Dialogs->Texts("error").empty());
}

TEST_F(XcbHotkeyTest, ACombinationAnotherClientHoldsCannotBeSwitchedOn) {
  // A second program with hotkeys of its own holds CTRL+K.
  TXcbHotkeyService otherProgram(Server->Display);
  std::string why;
  ASSERT_TRUE(otherProgram.Register(1, QLatin1Char('K'), &why)) << why;
  Window->E_HotNext->setText(QStringLiteral("K"));
  Window->B_HotNext->click();
  const std::vector<QString> errors = Dialogs->Texts("error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], QString::fromUtf8("A gyorsbillentyű nem regisztrálható! (egy másik program már lefoglalta ezt "
                                         "a billentyűkombinációt)"));
  EXPECT_EQ(Window->Panel_HotNext->text(), QString::fromUtf8("Inaktív"));
  EXPECT_EQ(Window->B_HotNext->property("Tag").toInt(), 0);
  // A free combination next to it still registers.
  Window->E_HotPrev->setText(QStringLiteral("M"));
  Window->B_HotPrev->click();
  EXPECT_EQ(Window->Panel_HotPrev->text(), QString::fromUtf8("Aktív"));
  SyncWithMarker(4);
}

}  // namespace

namespace {

TEST(PressGuard, ASecondPressOfAnActionWithinTheWindowIsDroppedMeasuredFromThePressBefore) {
  using namespace std::chrono_literals;
  std::chrono::steady_clock::time_point now{1h};
  TPressGuard guard([&] { return now; });
  EXPECT_TRUE(guard.Take(1));
  now += 299ms;
  EXPECT_FALSE(guard.Take(1));
  EXPECT_TRUE(guard.Take(2));  // another action is a key of its own
  now += 299ms;
  EXPECT_FALSE(guard.Take(1));  // measured from the dropped press
  now += 300ms;
  EXPECT_TRUE(guard.Take(1));
}

TEST(XcbHotkeyKeysyms, LettersDigitsAndOtherCharactersMapToTheirKeySymbols) {
  EXPECT_EQ(TXcbHotkeyService::KeysymFor(QLatin1Char('A')), 0x61u);  // XK_a
  EXPECT_EQ(TXcbHotkeyService::KeysymFor(QLatin1Char('Z')), 0x7au);
  EXPECT_EQ(TXcbHotkeyService::KeysymFor(QLatin1Char('0')), 0x30u);
  EXPECT_EQ(TXcbHotkeyService::KeysymFor(QLatin1Char('.')), 0x2eu);
  EXPECT_EQ(TXcbHotkeyService::KeysymFor(QChar(0x00C9)), 0xc9u);      // É: a Latin-1 key symbol
  EXPECT_EQ(TXcbHotkeyService::KeysymFor(QChar(0x0150)), 0x1000150u);  // Ő: a Unicode key symbol
}

TEST(XcbHotkeyKeysyms, WithoutADisplayEveryRegistrationFails) {
  TXcbHotkeyService service(":65000");
  EXPECT_FALSE(service.Connected());
  std::string why;
  EXPECT_FALSE(service.Register(1, QLatin1Char('A'), &why));
  EXPECT_EQ(why, "nincs kapcsolat az X11 kijelzővel");
}

}  // namespace

namespace {

// What a screen reader hears, over AT-SPI itself: the program's window runs
// on the test's Xvfb, and its accessibility tree is walked over D-Bus as
// an assistive technology walks it. A private dbus-daemon is both the
// session bus and the accessibility bus; the test answers the one question
// the desktop's at-spi-bus-launcher answers (org.a11y.Bus.GetAddress).
class TA11yBusAddress : public QDBusVirtualObject {
 public:
  explicit TA11yBusAddress(QString address) : Address(std::move(address)) {}
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.member() != QLatin1String("GetAddress")) return false;
    return connection.send(message.createReply(Address));
  }

 private:
  QString Address;
};

using TAccessibleRef = std::pair<QString, QString>;  // bus name, object path

std::vector<TAccessibleRef> Children(QDBusConnection& bus, const TAccessibleRef& of) {
  QDBusMessage call = QDBusMessage::createMethodCall(of.first, of.second, QStringLiteral("org.a11y.atspi.Accessible"),
                                                     QStringLiteral("GetChildren"));
  const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
  std::vector<TAccessibleRef> children;
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return children;
  const QDBusArgument list = reply.arguments().first().value<QDBusArgument>();
  list.beginArray();
  while (!list.atEnd()) {
    TAccessibleRef child;
    list.beginStructure();
    QDBusObjectPath path;
    list >> child.first >> path;
    list.endStructure();
    child.second = path.path();
    children.push_back(child);
  }
  list.endArray();
  return children;
}

// "role: name", as a screen reader announces the object.
QString RoleAndName(QDBusConnection& bus, const TAccessibleRef& of) {
  const auto call = [&](const char* interface, const char* member, const QVariantList& args) {
    QDBusMessage m = QDBusMessage::createMethodCall(of.first, of.second, QString::fromLatin1(interface),
                                                    QString::fromLatin1(member));
    m.setArguments(args);
    const QDBusMessage reply = bus.call(m, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return QString();
    const QVariant v = reply.arguments().first();
    return v.canConvert<QDBusVariant>() ? v.value<QDBusVariant>().variant().toString() : v.toString();
  };
  return call("org.a11y.atspi.Accessible", "GetRoleName", {}) + QStringLiteral(": ") +
         call("org.freedesktop.DBus.Properties", "Get",
              {QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("Name")});
}

TEST(WindowOverAtSpi, TheGlyphButtonsAndFieldsAreAnnouncedByWhatTheyDo) {
  if (!OnPath("Xvfb") || !OnPath("dbus-daemon")) GTEST_SKIP() << "Xvfb and dbus-daemon are needed (scripts/bootstrap)";
  TXvfb server;
  ASSERT_TRUE(server.Up()) << "Xvfb did not start";
  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
  ASSERT_TRUE(daemon.waitForStarted(10000) && daemon.waitForReadyRead(10000));
  const QString address = QString::fromLocal8Bit(daemon.readLine()).trimmed();
  const QString connectionName = QStringLiteral("atspi-test");
  {
    QDBusConnection bus = QDBusConnection::connectToBus(address, connectionName);
    ASSERT_TRUE(bus.isConnected());
    TA11yBusAddress launcher(address);
    ASSERT_TRUE(bus.registerVirtualObject(QStringLiteral("/org/a11y/bus"), &launcher));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.a11y.Bus")));

    QTemporaryDir home;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QString::fromStdString(server.Display));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    env.insert(QStringLiteral("VOMRELLA_AUDIO"), QStringLiteral("virtual"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    env.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // libxkbcommon-x11 hands strndup a name bounded by its length, not by a
    // NUL; AddressSanitizer's strict string checks take that for an overflow
    // inside the system library, so the program's own run goes without them.
    if (env.contains(QStringLiteral("ASAN_OPTIONS")))
      env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                      QStringLiteral(":strict_string_checks=0"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(home.path());
    program.start(QStringLiteral(VOMRELLA_PROGRAM), QStringList());
    ASSERT_TRUE(program.waitForStarted(10000));

    // Every accessible the program exports, as "role: name", once its window
    // is in the tree (a safety net of 30 s, never a result).
    std::set<QString> heard;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    const QString play = QString::fromUtf8("push button: Összeállítás lejátszása");
    while (!heard.count(play) && std::chrono::steady_clock::now() < deadline &&
           program.state() == QProcess::Running) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
      heard.clear();
      const QStringList names = bus.interface()->registeredServiceNames().value();
      for (const QString& name : names) {
        if (!name.startsWith(QLatin1Char(':')) || name == bus.baseService()) continue;
        std::vector<TAccessibleRef> queue{{name, QStringLiteral("/org/a11y/atspi/accessible/root")}};
        for (size_t i = 0; i < queue.size() && i < 3000; ++i) {
          heard.insert(RoleAndName(bus, queue[i]));
          for (const TAccessibleRef& child : Children(bus, queue[i])) queue.push_back(child);
        }
      }
    }
    const bool ranThrough = program.state() == QProcess::Running;
    program.terminate();
    if (!program.waitForFinished(10000)) program.kill();
    program.waitForFinished(5000);
    EXPECT_TRUE(ranThrough) << "the program ended early:\n" << program.readAllStandardError().toStdString();

    std::string all;
    for (const QString& line : heard) all += line.toStdString() + "\n";
    for (const char* expected :
         {"push button: Összeállítás lejátszása", "push button: Összeállítás lejátszásának szüneteltetése",
          "push button: Összeállítás lejátszásának leállítása", "push button: Fájl lejátszása",
          "push button: Tallózás", "text: Fájl neve"})
      EXPECT_TRUE(heard.count(QString::fromUtf8(expected))) << expected << " not in:\n" << all;
    EXPECT_FALSE(heard.count(QString::fromUtf8("push button: Összeállítás tesztelése"))) << all;
    bus.unregisterService(QStringLiteral("org.a11y.Bus"));
    bus.unregisterObject(QStringLiteral("/org/a11y/bus"));
  }
  QDBusConnection::disconnectFromBus(connectionName);
  daemon.terminate();
  if (!daemon.waitForFinished(5000)) daemon.kill();
  daemon.waitForFinished(5000);
}

}  // namespace
