// Saving and loading scripts through the window.

#include <sys/resource.h>

#include <QComboBox>
#include <QLineEdit>
#include <csignal>
#include <fstream>
#include <iterator>

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
  EXPECT_TRUE(Dialogs->Shown.empty());  // no confirmation, no completion message
  EXPECT_EQ(Selector(true), (std::vector<QString>{U("Első"), U("Második"), U("Üres")}));
  EXPECT_EQ(Window->CB_RogzOsszeall->currentIndex(), 2);
  EXPECT_EQ(Window->CB_TestOsszeall->currentIndex(), 2);
  EXPECT_EQ(Window->VSTModel->rowCount(), 0);
  // The live page stays empty after a start-up load.
  EXPECT_TRUE(Window->E_Akt->text().isEmpty());

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
  std::ofstream(Folder / "nul.vrs", std::ios::binary) << std::string("[A]\r\nzene.mp3\0.mp3|0\r\nzene.mp3|0\r\n", 34);
  OpenWindow((Folder / "nul.vrs").string());
  ASSERT_EQ(TCompositionStore::ElemSzam(Window->Store().GyokerKeres(0)), 1);
  EXPECT_EQ(Window->Store().ElemKeres(Window->Store().GyokerKeres(0), 0)->FajlNev, "zene.mp3");
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
  EXPECT_EQ(Dialogs->Texts("error"), std::vector<QString>{U("Hiba a fájl megnyitásakor!")});
  EXPECT_TRUE(Window->Store().Ures());

  AddComposition(U("Marad"));
  Dialogs->YesNoAnswers.push_back(true);
  Dialogs->FileAnswers.push_back(QString::fromStdString(Folder.string()));  // a folder
  Window->Pop_OpenClick();
  EXPECT_EQ(Dialogs->Texts("error").size(), 2u);
  EXPECT_EQ(Selector(false), std::vector<QString>{"Marad"});
  EXPECT_TRUE(Dialogs->Texts("info").empty());
}

TEST_F(ScriptCommandsTest, EmptyScriptGivesAnEmptyStore) {
  OpenWindow(Script("ures.vrs", ""));
  EXPECT_TRUE(Window->Store().Ures());
  EXPECT_EQ(Window->CB_RogzOsszeall->currentIndex(), -1);
  EXPECT_EQ(Window->CB_RogzOsszeall->count(), 0);
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
  Window->Pop_SaveClick();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_EQ(ReadAll(Folder / "esti.vrs"), old);
  const std::vector<QString> errors = Dialogs->Texts("error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].startsWith(U("Hiba a fájl mentésekor!")));
  EXPECT_TRUE(errors[0].contains("esti.vrs"));
  EXPECT_TRUE(Dialogs->Texts("info").empty());
  // The save dialog leaves the clip folder alone.
  EXPECT_EQ(std::filesystem::current_path(), Folder);
}

}  // namespace
