// Composition editing through the window's handlers, with real clips.

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "WindowTestSupport.h"
#include "widgets/TFlatButton.h"

namespace {

QString U(const char* s) { return QString::fromUtf8(s); }

class EditingTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    WriteWav("egy.wav", 2);
    WriteWav("ketto.wav", 3);
    WriteWav("HAROM.WAV", 1);
    WriteMp3("negy.mp3", 1.0);
    OpenWindow();
  }
  QString Status() const { return Window->Panel_RogzStatus->text(); }
};

TEST_F(EditingTest, NewCompositionSelectsTheLastRowEvenWhenCancelledOrBlank) {
  AddComposition(U("Reggel"));
  AddComposition(U("Este"));
  Window->CB_RogzOsszeall->setCurrentIndex(0);
  Window->CB_RogzOsszeallSelect();

  Dialogs->InputAnswers.push_back(std::nullopt);  // cancelled
  Window->Pop_UjClick();
  Dialogs->InputAnswers.push_back(U("   "));  // blanks only
  Window->Pop_UjClick();

  EXPECT_EQ(Selector(false), (std::vector<QString>{U("Reggel"), U("Este")}));
  EXPECT_EQ(Selector(true), Selector(false));
  EXPECT_EQ(Window->CB_RogzOsszeall->currentIndex(), 1);
  EXPECT_EQ(Window->CB_TestOsszeall->currentIndex(), 1);
  EXPECT_EQ(Window->Store().AktGyoker, Window->Store().GyokerKeres(1));

  // A name is kept as typed, blanks included.
  AddComposition(U(" Délben "));
  EXPECT_EQ(Window->Store().GyokerKeres(2)->Nev, TFrm_Main::Bytes(U(" Délben ")));
}

TEST_F(EditingTest, RenameAcceptsEmptyAndKeepsTheTestTotal) {
  AddComposition(U("A"));
  AddItem("egy.wav", "500");
  // The total follows the item edit at once, not only a new test selection.
  EXPECT_EQ(Window->E_TestHossz->text(), QLocale().toString(2.5, 'g', 15));
  Window->CB_TestOsszeallSelect();
  EXPECT_EQ(Window->E_TestHossz->text(), QLocale().toString(2.5, 'g', 15));

  AddItem("ketto.wav", "0");
  Dialogs->InputAnswers.push_back(QString());
  Window->Pop_AtnevezClick();
  EXPECT_EQ(Window->Store().GyokerKeres(0)->Nev, "");
  EXPECT_EQ(Selector(false), std::vector<QString>{QString()});
  EXPECT_EQ(Window->CB_RogzOsszeall->currentIndex(), 0);
  EXPECT_EQ(Window->E_TestHossz->text(), QLocale().toString(5.5, 'g', 15));

  // Cancelling keeps the name.
  Dialogs->InputAnswers.push_back(U("B"));
  Window->Pop_AtnevezClick();
  Dialogs->InputAnswers.push_back(std::nullopt);
  Window->Pop_AtnevezClick();
  EXPECT_EQ(Window->Store().GyokerKeres(0)->Nev, "B");
}

TEST_F(EditingTest, DeletingTheOnlyCompositionEmptiesSelectorsAndList) {
  AddComposition(U("Egyetlen"));
  AddItem("egy.wav", "0");
  ASSERT_EQ(Window->VSTModel->rowCount(), 1);
  Window->Pop_TorolClick();
  EXPECT_TRUE(Window->Store().Ures());
  EXPECT_EQ(Window->CB_RogzOsszeall->count(), 0);
  EXPECT_EQ(Window->CB_TestOsszeall->count(), 0);
  EXPECT_EQ(Window->VSTModel->rowCount(), 0);
  EXPECT_EQ(Window->E_TestHossz->text(), QStringLiteral("0"));
  Window->Popup_OpciokPopup();
  EXPECT_TRUE(Window->Pop_Uj->isEnabled());
  EXPECT_FALSE(Window->Pop_Torol->isEnabled());
  EXPECT_FALSE(Window->Pop_Fel->isEnabled());
}

TEST_F(EditingTest, MovingCompositionsFollowsTheSelectionAndRefusesTheEnds) {
  for (const char* name : {"A", "B", "C"}) AddComposition(U(name));
  Window->Pop_LeClick();  // C is last: nothing
  Window->Pop_FelClick();
  EXPECT_EQ(Selector(false), (std::vector<QString>{"A", "C", "B"}));
  EXPECT_EQ(Window->CB_RogzOsszeall->currentIndex(), 1);
  EXPECT_EQ(Window->CB_TestOsszeall->currentIndex(), 1);
  Window->Pop_FelClick();
  Window->Pop_FelClick();  // now first: nothing
  EXPECT_EQ(Selector(true), (std::vector<QString>{"C", "A", "B"}));
  Window->Pop_LeClick();
  EXPECT_EQ(Selector(false), (std::vector<QString>{"A", "C", "B"}));
  EXPECT_EQ(Window->Store().AktGyoker->Nev, "C");
}

TEST_F(EditingTest, ItemMovesAndDeletesRenumberAndLeaveNoSelection) {
  AddComposition(U("A"));
  for (const char* clip : {"egy.wav", "ketto.wav", "HAROM.WAV", "negy.mp3"}) AddItem(U(clip), "10");
  ASSERT_EQ(Column(1), (std::vector<QString>{"egy.wav", "ketto.wav", "HAROM.WAV", "negy.mp3"}));
  EXPECT_EQ(Column(2), (std::vector<QString>{"2s", "3s", "1s", "1s"}));
  EXPECT_EQ(Column(3)[0], QStringLiteral("10ms"));
  auto total = [&] { return Window->E_TestHossz->text(); };
  EXPECT_EQ(total(), QLocale().toString(7.04, 'g', 15));

  SelectItemRow(2);
  Window->B_FelClick();
  EXPECT_EQ(Column(1), (std::vector<QString>{"egy.wav", "HAROM.WAV", "ketto.wav", "negy.mp3"}));
  EXPECT_EQ(Column(0), (std::vector<QString>{"1", "2", "3", "4"}));
  // No row is selected now: the buttons do nothing.
  Window->B_TorolClick();
  Window->B_LeClick();
  EXPECT_EQ(Window->VSTModel->rowCount(), 4);

  SelectItemRow(0);
  Window->B_FelClick();  // first item up: nothing
  SelectItemRow(3);
  Window->B_LeClick();  // last item down: nothing
  EXPECT_EQ(Column(1)[0], QStringLiteral("egy.wav"));
  SelectItemRow(0);
  Window->B_LeClick();
  EXPECT_EQ(Column(1), (std::vector<QString>{"HAROM.WAV", "egy.wav", "ketto.wav", "negy.mp3"}));
  EXPECT_EQ(total(), QLocale().toString(7.04, 'g', 15));
  SelectItemRow(1);
  Window->B_TorolClick();
  EXPECT_EQ(Column(1), (std::vector<QString>{"HAROM.WAV", "ketto.wav", "negy.mp3"}));
  EXPECT_EQ(Column(0), (std::vector<QString>{"1", "2", "3"}));
  // The test group's total follows the delete, by the one length rule.
  EXPECT_EQ(total(), QLocale().toString(CompositionSeconds(Window->Store().TesztGyoker), 'g', 15));
  EXPECT_EQ(total(), QLocale().toString(5.03, 'g', 15));
}

TEST_F(EditingTest, ClipCheckMeasuresEveryExtensionAndAddResetsTheStatus) {
  AddComposition(U("A"));
  Window->E_FajlNev->setText("HAROM.WAV");  // upper-case extension: the WAV reader
  EXPECT_EQ(Status(), U("Rendben"));
  EXPECT_EQ(Window->E_RogzHossz->text(), "1");
  EXPECT_EQ(Window->E_RogzSzunet->text(), "0");
  Window->E_FajlNev->setText("nincs.wav");
  EXPECT_EQ(Status(), U("Hibás"));
  EXPECT_TRUE(Window->E_RogzHossz->text().isEmpty());

  // An MP3 under another extension is measured by the media reader, and a
  // file no reader takes is refused: no length of an earlier clip remains.
  std::ifstream mp3(Folder / "Hangok" / "negy.mp3", std::ios::binary);
  WriteFile("bemondas.hang", std::string(std::istreambuf_iterator<char>(mp3), {}));
  WriteFile("jegyzet.txt", "nem hang");
  Window->E_FajlNev->setText("ketto.wav");
  EXPECT_EQ(Window->E_RogzHossz->text(), "3");
  Window->E_FajlNev->setText("bemondas.hang");
  EXPECT_EQ(Status(), U("Rendben"));
  EXPECT_EQ(Window->E_RogzHossz->text(), "1");
  Window->E_FajlNev->setText("jegyzet.txt");
  EXPECT_EQ(Status(), U("Hibás"));
  EXPECT_TRUE(Window->E_RogzHossz->text().isEmpty());

  Window->E_FajlNev->setText("bemondas.hang");
  Window->E_RogzSzunet->setText("250");
  Window->B_RogzRendbenClick();
  EXPECT_EQ(Column(2), std::vector<QString>{"1s"});
  EXPECT_EQ(Column(3), std::vector<QString>{"250ms"});
  EXPECT_EQ(Status(), U("Hibás"));
  EXPECT_TRUE(Window->E_FajlNev->text().isEmpty());
  EXPECT_TRUE(Window->E_RogzSzunet->text().isEmpty());
  EXPECT_TRUE(Window->E_RogzHossz->text().isEmpty());
}

TEST_F(EditingTest, AddRefusesWithTheMessageAndFocusOfEachFault) {
  Window->show();
  AddItem("egy.wav", "0");
  EXPECT_EQ(Window->focusWidget(), Window->B_Opciok);
  AddComposition(U("A"));
  AddItem("nincs.wav", "0");
  AddItem("egy.wav", "fél");
  EXPECT_EQ(Window->focusWidget(), Window->E_RogzSzunet);
  AddItem("egy.wav", "");
  AddItem("egy.wav", "3600001");  // a typo of hours
  EXPECT_EQ(Window->E_RogzSzunet->maxLength(), 8);
  WriteFile("jegyzet.txt", "nem hang");
  AddItem("jegyzet.txt", "0");  // exists, unreadable: the length is unknown
  EXPECT_EQ(Dialogs->Texts("error"),
            (std::vector<QString>{U("Audio fájl felvitele előtt készítsen Összeállítást!"), U("Nem találom a fájlt!"),
                                  U("Hibás szám a Szünet mezőben!"), U("Hibás szám a Szünet mezőben!"),
                                  U("A szünet legfeljebb 3600000 ms (1 óra) lehet!"),
                                  U("A fájl hossza nem ismert: a fájl nem olvasható hangfájl, ezért nem vehető fel!")}));
  EXPECT_EQ(Window->VSTModel->rowCount(), 0);
  EXPECT_EQ(TCompositionStore::ElemSzam(Window->Store().AktGyoker), 0);
  EXPECT_EQ(Window->focusWidget(), Window->E_FajlNev);
}

TEST_F(EditingTest, AnExceptionInAHandlerShowsABoxAndKeepsTheStore) {
  AddComposition(U("A"));
  AddItem("egy.wav", "0");
  Window->show();
  Dialogs->BeforeAnswer = [] { throw std::runtime_error("a tallózó összeomlott"); };
  QTest::mouseClick(Window->E_Talloz, Qt::LeftButton);  // through the event loop, as a user click
  Dialogs->BeforeAnswer = nullptr;
  const std::vector<QString> errors = Dialogs->Texts("error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].contains("a tallózó összeomlott"));
  EXPECT_EQ(Window->Store().GyokerSzam(), 1);
  EXPECT_EQ(Column(1), std::vector<QString>{"egy.wav"});
}

TEST_F(EditingTest, BrowseKeepsOnlyTheFileName) {
  Dialogs->FileAnswers.push_back((Folder / "elsewhere" / "ketto.wav").c_str());
  Window->E_TallozClick();
  EXPECT_EQ(Window->E_FajlNev->text(), "ketto.wav");
  EXPECT_EQ(Window->E_RogzHossz->text(), "3");
  EXPECT_EQ(Dialogs->FileDialogs.back().Title, U("Fájl keresés"));
  EXPECT_EQ(Dialogs->FileDialogs.back().Filter, U("Wav fájlok|*.wav|MP3 fájlok|*.mp3"));
  Dialogs->FileAnswers.push_back(std::nullopt);
  Window->E_TallozClick();
  EXPECT_EQ(Window->E_FajlNev->text(), "ketto.wav");
}

// The browser opens the clip folder as clip lookup finds it, whatever its
// letter case; the current folder only when there is none.
TEST_F(EditingTest, BrowseStartsInTheClipFolderAsLookupFindsIt) {
  const auto startsIn = [this] {
    Dialogs->FileAnswers.push_back(std::nullopt);
    Window->E_TallozClick();
    const QString dir = QDir::current().absoluteFilePath(Dialogs->FileDialogs.back().InitialDir);
    return std::filesystem::weakly_canonical(dir.toStdString());
  };
  const auto in = [this](const char* name) { return std::filesystem::weakly_canonical(Folder / name); };
  std::filesystem::create_directories(Folder / "Hangok");
  EXPECT_EQ(startsIn(), in("Hangok"));
  std::filesystem::rename(Folder / "Hangok", Folder / "HANGOK");
  EXPECT_EQ(startsIn(), in("HANGOK"));
  std::filesystem::rename(Folder / "HANGOK", Folder / "klipek");
  EXPECT_EQ(startsIn(), std::filesystem::weakly_canonical(Folder));
}

}  // namespace
