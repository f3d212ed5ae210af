// Saving and loading scripts through the window, closing it with unsaved
// edits, and the program started as the desktop entry starts it.

#include <sys/resource.h>

#include <QComboBox>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>

#include "PrivateBus.h"
#include "WindowTestSupport.h"
#include "model/Cp1250.h"

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ScriptCommandsTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WriteWav("gong.wav", 2);
    WriteWav("Hír.WAV", 3);
    WriteMp3("zene.mp3", 1.0);
  }
  // A script in the test folder, written as Windows-1250 bytes.
  std::string Script(const std::string& name, const std::string& utf8Text) {
    std::ofstream out(Folder / name, std::ios::binary);
    out << Utf8ToCp1250(utf8Text);
    return (Folder / name).string();
  }
};

TEST_F(ScriptCommandsTest, SaveAndLoadRoundTripKeepsHungarianNamesOrderAndPauses) {
  OpenWindow();
  AddComposition(U("Árvíztűrő tükörfúrógép"));
  AddItem("gong.wav", "500");
  AddItem(U("Hír.WAV"), "-20");
  AddComposition(U("Őszi ünnep"));
  AddItem("zene.mp3", "0");
  const QString path = QString::fromStdString((Folder / "mentett.vrs").string());
  Dialogs->FileAnswers.push_back(path);
  Window->Pop_SaveClick();
  EXPECT_EQ(Dialogs->Texts("info"), std::vector<QString>{U("A mentés befejeződött.")});
  EXPECT_EQ(ReadAll(Folder / "mentett.vrs"),
            Utf8ToCp1250("[Árvíztűrő tükörfúrógép]\r\ngong.wav|500\r\nHír.WAV|-20\r\n[Őszi ünnep]\r\nzene.mp3|0\r\n"));

  Dialogs->YesNoAnswers.push_back(true);
  Dialogs->FileAnswers.push_back(path);
  Window->Pop_OpenClick();
  EXPECT_EQ(Selector(false), (std::vector<QString>{U("Árvíztűrő tükörfúrógép"), U("Őszi ünnep")}));
  // A load from the menu selects the first composition and resets the live page.
  EXPECT_EQ(Window->CB_RogzOsszeall->currentIndex(), 0);
  EXPECT_EQ(Window->CB_TestOsszeall->currentIndex(), 0);
  EXPECT_EQ(Column(1), (std::vector<QString>{"gong.wav", U("Hír.WAV")}));
  EXPECT_EQ(Column(2), (std::vector<QString>{"2s", "3s"}));
  EXPECT_EQ(Column(3), (std::vector<QString>{"500ms", "-20ms"}));
  EXPECT_EQ(Window->E_Akt->text(), U("Árvíztűrő tükörfúrógép"));
  EXPECT_EQ(Window->ApplicationTitle(), U("VR - Árvíztűrő tükörfúrógép"));
  EXPECT_EQ(Dialogs->Texts("info").back(), U("A beolvasás befejeződött."));
}

TEST_F(ScriptCommandsTest, StartUpLoadDropsMissingAndUnreadableClipsAndSelectsTheLast) {
  // Any extension but ".wav" is examined by the media reader.
  std::ifstream mp3(Folder / "Hangok" / "zene.mp3", std::ios::binary);
  WriteFile("ZENE2.MP3", std::string(std::istreambuf_iterator<char>(mp3), {}));
  WriteFile("hamis.wav", "RIFF....nem wav");
  const std::string script = Script("be.vrs",
                                    "[Első]\r\ngong.wav|100\r\nnincs.wav|0\r\nhamis.wav|0\r\nZENE2.MP3|7\r\n"
                                    "[Második]\r\nHÍR.wav|x\r\n[Üres]\r\nnincs.mp3|5\r\n");
  OpenWindow(script);
  // No confirmation and no completion message; the dropped lines are listed
  // with the reasons "--check" gives.
  ASSERT_EQ(Dialogs->Shown.size(), 1u);
  const QString box = Dialogs->Texts("error").at(0);
  for (const char* part : {"6 elemsorból 3 kimaradt", "3. sor, [Első] nincs.wav: nem található",
                           "4. sor, [Első] hamis.wav: a WAV-olvasó nem tudja olvasni",
                           "9. sor, [Üres] nincs.mp3: nem található"})
    EXPECT_TRUE(box.contains(U(part))) << part << "\n" << box.toStdString();
  EXPECT_EQ(Selector(true), (std::vector<QString>{U("Első"), U("Második"), U("Üres")}));
  EXPECT_EQ(Window->CB_RogzOsszeall->currentIndex(), 2);
  EXPECT_EQ(Window->CB_TestOsszeall->currentIndex(), 2);
  EXPECT_EQ(Window->VSTModel->rowCount(), 0);
  // The live page stays empty after a start-up load; the load is no edit.
  EXPECT_TRUE(Window->E_Akt->text().isEmpty());
  EXPECT_FALSE(Window->HasUnsavedChanges());

  const TCompositionStore& store = Window->Store();
  PElem first = store.ElemKeres(store.GyokerKeres(0), 0);
  ASSERT_EQ(TCompositionStore::ElemSzam(store.GyokerKeres(0)), 2);
  EXPECT_EQ(first->FajlNev, "gong.wav");
  EXPECT_EQ(first->Kov->FajlNev, "ZENE2.MP3");
  EXPECT_EQ(first->Kov->Sorszam, 2);
  EXPECT_EQ(first->Kov->Hossz, 1);
  // "HÍR.wav" finds "Hír.WAV" by the case-insensitive fallback; "x" is pause 0.
  PElem hir = store.ElemKeres(store.GyokerKeres(1), 0);
  ASSERT_NE(hir, nullptr);
  EXPECT_EQ(hir->Hossz, 3);
  EXPECT_EQ(hir->Szunet, 0);
}

TEST_F(ScriptCommandsTest, ANameWithANulByteNamesNoClip) {
  // "zene.mp3\0.mp3" would open "zene.mp3", another file than the one named.
  // Past the head that tells a script from binary data, so the file loads.
  std::string text;
  for (int i = 0; i < 15000; ++i) text += "[x]\r\n";
  text += std::string("[A]\r\nzene.mp3\0.mp3|0\r\nzene.mp3|0\r\n", 34);
  std::ofstream(Folder / "nul.vrs", std::ios::binary) << text;
  OpenWindow((Folder / "nul.vrs").string());
  PGyElem a = Window->Store().GyokerKeres(15000);
  ASSERT_EQ(TCompositionStore::ElemSzam(a), 1);
  EXPECT_EQ(Window->Store().ElemKeres(a, 0)->FajlNev, "zene.mp3");
  EXPECT_TRUE(Dialogs->Texts("error").at(0).contains(U("érvénytelen fájlnév (NUL bájt)")));
}

TEST_F(ScriptCommandsTest, DeclinedOrCancelledLoadLeavesTheStore) {
  OpenWindow();
  AddComposition(U("Marad"));
  AddItem("gong.wav", "0");
  const std::string other = Script("masik.vrs", "[Más]\r\n");
  Dialogs->YesNoAnswers.push_back(false);
  Window->Pop_OpenClick();
  EXPECT_EQ(Dialogs->Texts("yesno"), std::vector<QString>{U("Az eddigi rögzítése elvész. Kívánja folytatni?")});
  Dialogs->YesNoAnswers.push_back(true);
  Dialogs->FileAnswers.push_back(std::nullopt);
  Window->Pop_OpenClick();
  EXPECT_EQ(Dialogs->FileDialogs.back().Title, U("Fájl megnyitása"));
  EXPECT_EQ(Selector(false), std::vector<QString>{"Marad"});
  EXPECT_EQ(TCompositionStore::ElemSzam(Window->Store().GyokerKeres(0)), 1);
  EXPECT_TRUE(Dialogs->Texts("info").empty());
}

TEST_F(ScriptCommandsTest, UnopenableScriptShowsTheErrorAndKeepsTheStore) {
  OpenWindow((Folder / "nincs.vrs").string());
  EXPECT_EQ(Dialogs->Texts("error"),
            std::vector<QString>{U("Hiba a fájl megnyitásakor!\n%1: nincs ilyen fájl").arg((Folder / "nincs.vrs").c_str())});
  EXPECT_TRUE(Window->Store().Ures());

  // Nothing that is not a script replaces the compositions on screen: a
  // folder, the program itself, UTF-16 text, an empty file.
  AddComposition(U("Marad"));
  AddItem("gong.wav", "0");
  std::ofstream(Folder / "utf16.vrs", std::ios::binary) << std::string("\xFF\xFE[\0A\0]\0", 8);
  const std::vector<std::pair<std::string, const char*>> refused{
      {Folder.string(), "ez egy mappa, nem fájl"},
      {VOMRELLA_PROGRAM, "nem szöveges fájl (bináris adat), nem script"},
      {(Folder / "utf16.vrs").string(), "UTF-16 kódolású szöveg"},
      {Script("ures.vrs", ""), "a script üres"}};
  for (const auto& [path, reason] : refused) {
    Dialogs->YesNoAnswers.push_back(true);
    Dialogs->FileAnswers.push_back(QString::fromStdString(path));
    Window->Pop_OpenClick();
    EXPECT_TRUE(Dialogs->Texts("error").back().startsWith(U("Hiba a fájl megnyitásakor!\n%1: %2").arg(path.c_str(), U(reason))))
        << Dialogs->Texts("error").back().toStdString();
    EXPECT_EQ(Selector(false), std::vector<QString>{"Marad"});
    EXPECT_EQ(Column(1), std::vector<QString>{"gong.wav"});
  }
  EXPECT_TRUE(Dialogs->Texts("info").empty());
  EXPECT_TRUE(Window->HasUnsavedChanges());  // a refused load is no load
}

TEST_F(ScriptCommandsTest, EmptyScriptIsRefusedAndTheStoreStaysEmpty) {
  OpenWindow(Script("ures.vrs", ""));
  EXPECT_TRUE(Window->Store().Ures());
  EXPECT_EQ(Window->CB_RogzOsszeall->currentIndex(), -1);
  EXPECT_EQ(Window->CB_RogzOsszeall->count(), 0);
  EXPECT_EQ(Dialogs->Texts("error").size(), 1u);
}

TEST_F(ScriptCommandsTest, FailedSaveKeepsTheOldFileAndSaysWhy) {
  OpenWindow();
  const std::string old = "[Régi]\r\ngong.wav|0\r\n";
  std::ofstream(Folder / "esti.vrs", std::ios::binary) << old;
  for (int i = 0; i < 200; ++i) {
    AddComposition(QStringLiteral("Összeállítás %1").arg(i));
  }
  // A file size limit makes the write of the new content fail, as a full
  // disk does.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  Dialogs->FileAnswers.push_back(QString::fromStdString((Folder / "esti.vrs").string()));
  Dialogs->YesNoAnswers.push_back(true);
  Window->Pop_SaveClick();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_EQ(ReadAll(Folder / "esti.vrs"), old);
  // No temporary file and no backup: the new content never got whole.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder), {}), 2);  // esti.vrs, Hangok
  const std::vector<QString> errors = Dialogs->Texts("error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].startsWith(U("Hiba a fájl mentésekor!")));
  EXPECT_TRUE(errors[0].contains("esti.vrs"));
  EXPECT_TRUE(Dialogs->Texts("info").empty());
  // The save dialog leaves the clip folder alone.
  EXPECT_EQ(std::filesystem::current_path(), Folder);
}

TEST_F(ScriptCommandsTest, DroppedLinesAreListedAndYesLoadsTheClipsFromBesideTheScript) {
  // The show in its own folder; the current folder's Hangok lacks its clips.
  const std::filesystem::path show = Folder / "show";
  std::filesystem::create_directories(show / "Hangok");
  WriteWav("dallam.wav", 2);
  std::filesystem::rename(Folder / "Hangok" / "dallam.wav", show / "Hangok" / "dallam.wav");
  std::string text = "[Reggel]\r\ndallam.wav|500\r\nnincs.wav|0\r\n[Sok]\r\n";
  for (int i = 0; i < 18; ++i) text += "hiany" + std::to_string(i) + ".wav|0\r\n";
  const QString script = QString::fromStdString(Script("show/esti.vrs", text));
  OpenWindow();

  for (const bool yes : {false, true}) {
    if (!Window->Store().Ures()) Dialogs->YesNoAnswers.push_back(true);  // "Az eddigi rögzítése elvész"
    Dialogs->FileAnswers.push_back(script);
    Dialogs->YesNoAnswers.push_back(yes);
    Window->Pop_OpenClick();
    const QString offer = Dialogs->Texts("yesno").back();
    for (const char* part : {"20 elemsorból 20 kimaradt", "2. sor, [Reggel] dallam.wav: nem található",
                             "17. sor, [Sok] hiany12.wav: nem található\n… és még 5\n",
                             "kimaradt sor klipje megvan.\nBetölti újra"})
      EXPECT_TRUE(offer.contains(U(part))) << part << "\n" << offer.toStdString();
    EXPECT_TRUE(offer.contains(QString::fromStdString((show / "Hangok").string()) + U(") 1 kimaradt")));
  }
  // Yes loaded again from the script's folder, which the window now keeps
  // for its clips; the lines still missing there are listed once more.
  EXPECT_EQ(Window->ClipBase(), show);
  EXPECT_EQ(Column(1), std::vector<QString>{"dallam.wav"});
  EXPECT_EQ(Column(2), std::vector<QString>{"2s"});
  const QString last = Dialogs->Texts("error").back();
  EXPECT_TRUE(last.contains(U("20 elemsorból 19 kimaradt"))) << last.toStdString();
  EXPECT_FALSE(last.contains(U("Betölti újra")));
  EXPECT_TRUE(Dialogs->Texts("info").empty());  // never "A beolvasás befejeződött."
  Window->E_FajlNev->setText("dallam.wav");
  EXPECT_EQ(Window->Panel_RogzStatus->text(), U("Rendben"));
}

TEST_F(ScriptCommandsTest, SavingOverAScriptAsksAndKeepsOneBackupGeneration) {
  OpenWindow();
  const std::filesystem::path target = Folder / "esti.vrs";
  std::ofstream(target, std::ios::binary) << "[Régi]\r\n";
  AddComposition(U("Első"));
  // No: back to the dialog, which is cancelled; the file is untouched.
  Dialogs->FileAnswers.push_back(QString::fromStdString(target.string()));
  Dialogs->YesNoAnswers.push_back(false);
  Dialogs->FileAnswers.push_back(std::nullopt);
  Window->Pop_SaveClick();
  EXPECT_EQ(Dialogs->Texts("yesno").back(),
            U("A fájl már létezik:\n%1\nLecseréli?\nA mostani tartalma megmarad ezen a néven: esti.vrs.bak")
                .arg(target.c_str()));
  EXPECT_EQ(Dialogs->FileDialogs.size(), 2u);
  EXPECT_EQ(ReadAll(target), "[Régi]\r\n");
  EXPECT_FALSE(std::filesystem::exists(Folder / "esti.vrs.bak"));
  EXPECT_TRUE(Dialogs->Texts("info").empty());

  for (const char* name : {"Második", "Harmadik"}) {
    const std::string before = ReadAll(target);
    AddComposition(U(name));
    Dialogs->FileAnswers.push_back(QString::fromStdString(target.string()));
    Dialogs->YesNoAnswers.push_back(true);
    Window->Pop_SaveClick();
    EXPECT_EQ(ReadAll(Folder / "esti.vrs.bak"), before);  // the one replaced, no older one
  }
  EXPECT_EQ(ReadAll(target), Utf8ToCp1250("[Első]\r\n[Második]\r\n[Harmadik]\r\n"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder), {}), 3);  // no temporary left
}

TEST_F(ScriptCommandsTest, ClosingAsksOnlyWhenThereAreUnsavedEdits) {
  OpenWindow();
  EXPECT_TRUE(Window->close());  // nothing edited: closes at once
  AddComposition(U("Új"));
  Dialogs->SaveChangesAnswers = {TSaveChangesAnswer::Stay, TSaveChangesAnswer::Save, TSaveChangesAnswer::Save};
  Window->MMI_ExitClick();
  // "Mentés" saves through the dialog; a cancelled dialog keeps the window.
  Dialogs->FileAnswers = {std::nullopt, QString::fromStdString((Folder / "uj.vrs").string())};
  EXPECT_FALSE(Window->close());
  EXPECT_TRUE(Window->close());
  EXPECT_EQ(ExitCalls, 0);
  EXPECT_EQ(ReadAll(Folder / "uj.vrs"), Utf8ToCp1250("[Új]\r\n"));
  Window->MMI_ExitClick();  // saved: no question
  EXPECT_EQ(ExitCalls, 1);
  Dialogs->InputAnswers.push_back(U("Más név"));
  Window->Pop_AtnevezClick();
  Dialogs->SaveChangesAnswers = {TSaveChangesAnswer::Discard};
  Window->MMI_ExitClick();
  EXPECT_EQ(ExitCalls, 2);
  EXPECT_EQ(Dialogs->Texts("savechanges").size(), 4u);
}

// The program as the desktop starts it: the installed entry's Exec line,
// from a folder that has nothing to do with the show. The items must be
// there; the MPRIS metadata on a private bus tell the first composition's
// length, which only its loaded items give.
TEST_F(ScriptCommandsTest, TheDesktopEntryOpensAScriptWithTheClipsBesideIt) {
  std::ifstream entry(VOMRELLA_DESKTOP_ENTRY);
  std::string exec;
  for (std::string line; std::getline(entry, line);)
    if (line.starts_with("Exec=")) exec = line.substr(5);
  QStringList args = QString::fromStdString(exec).split(QLatin1Char(' '));
  ASSERT_EQ(args.takeFirst(), QStringLiteral("vomrella"));
  const std::filesystem::path show = Folder / "show";
  std::filesystem::create_directories(show / "Hangok");
  std::filesystem::create_directories(Folder / "elsewhere");
  WriteWav("elso.wav", 2);
  WriteWav("masodik.wav", 1);
  for (const char* clip : {"elso.wav", "masodik.wav"})
    std::filesystem::rename(Folder / "Hangok" / clip, show / "Hangok" / clip);
  const std::string script = Script("show/esti.vrs", "[Reggel]\r\nelso.wav|500\r\nmasodik.wav|0\r\n");
  args.replaceInStrings(QStringLiteral("%f"), QString::fromStdString(script));

  TPrivateBus bus(QStringLiteral("desktop-test-unused"), QStringLiteral("desktop-test-client"));
  if (!bus.Up()) GTEST_SKIP() << "dbus-daemon could not be started";
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("VOMRELLA_AUDIO"), QStringLiteral("virtual"));
  env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.Address());
  program.setProcessEnvironment(env);
  program.setWorkingDirectory(QString::fromStdString((Folder / "elsewhere").string()));
  program.start(QStringLiteral(VOMRELLA_PROGRAM), args);
  ASSERT_TRUE(program.waitForStarted(10000));

  QDBusConnection client(QStringLiteral("desktop-test-client"));
  const QString service = QStringLiteral("org.mpris.MediaPlayer2.vomrella");
  // A load that dropped lines would wait in its box before the remote
  // control starts; the wait is a safety net, never a result.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!client.interface()->isServiceRegistered(service) && std::chrono::steady_clock::now() < deadline &&
         program.state() == QProcess::Running)
    program.waitForFinished(50);
  QDBusMessage get = QDBusMessage::createMethodCall(service, QStringLiteral("/org/mpris/MediaPlayer2"),
                                                    QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("Get"));
  get.setArguments({QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Metadata")});
  const QDBusMessage reply = client.call(get, QDBus::Block, 10000);
  program.terminate();
  program.waitForFinished(10000);
  ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << program.readAllStandardError().toStdString();
  const QVariantMap metadata =
      qdbus_cast<QVariantMap>(reply.arguments().at(0).value<QDBusVariant>().variant().value<QDBusArgument>());
  EXPECT_EQ(metadata.value(QStringLiteral("mpris:length")).toLongLong(), 3500000);  // 2 s + 0.5 s + 1 s
}

}  // namespace
