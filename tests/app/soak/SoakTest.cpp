// A long random run of operator actions against the offscreen window on the
// virtual device: compositions and items edited, clips checked, previews and
// test runs paused, resumed and stopped, hotkeys pressed, remote-control
// calls over a private D-Bus, scripts saved and loaded. After every action
// the window must still agree with its store, and a watchdog aborts with
// every thread's stack when one action hangs.
//
// The run is seeded: the seed is printed, and VOMRELLA_SOAK_SEED repeats a
// run. VOMRELLA_SOAK_ACTIONS and VOMRELLA_SOAK_SECONDS bound it (whichever
// is reached first ends the run; neither is a pass condition).

#include <QComboBox>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "PrivateBus.h"
#include "StackWatchdog.h"
#include "WindowTestSupport.h"
#include "app/MprisService.h"
#include "audio/core/GuiHandoff.h"
#include "audio/output/SoundClock.h"
#include "audio/output/TDXAudioOut.h"
#include "audio/output/VirtualSoundSystem.h"
#include "widgets/TFlatButton.h"

namespace fs = std::filesystem;

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

long EnvNumber(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return (end != nullptr && *end == '\0') ? value : fallback;
}

// A composition as the store holds it: name and (file name, pause) per item.
struct TSnapshotComposition {
  std::string Name;
  std::vector<std::pair<std::string, int>> Items;
  bool operator==(const TSnapshotComposition&) const = default;
};
using TSnapshot = std::vector<TSnapshotComposition>;

class SoakTest : public WindowTest {
 protected:
  static void SetUpTestSuite() {
    Bus = std::make_unique<TPrivateBus>(QStringLiteral("soak-window"), QStringLiteral("soak-client"));
    BusUp = Bus->Up();
  }
  static void TearDownTestSuite() {
    Bus.reset();
    BusUp = false;
  }

  void SetUp() override {
    WindowTest::SetUp();
    if (BusUp) RemoteConnection = QStringLiteral("soak-window");
    Seed = uint64_t(EnvNumber("VOMRELLA_SOAK_SEED", long(std::random_device{}() & 0x7fffffff)));
    Rng.seed(Seed);
    std::fprintf(stderr, "soak seed %llu (VOMRELLA_SOAK_SEED=%llu repeats this run)\n", (unsigned long long)Seed,
                 (unsigned long long)Seed);
  }

  // ---- Clips: good ones of both kinds, unreadable ones, one of another
  // kind, and one that comes and goes.
  void WriteClips() {
    WriteWav("w1.wav", 0.3, 1, 8000);
    WriteWav("w2.wav", 0.5, 2, 22050);
    WriteWav("hosszu.wav", 2.0, 2, 44100);
    WriteWav("NAGY.WAV", 0.2, 1, 11025);
    WriteMp3("m1.mp3", 0.4);
    WriteMp3("M2.MP3", 0.3);
    WriteFile("rossz.wav", "RIFF\x10\0\0\0WAVEjunkjunk");
    WriteFile("rossz.mp3", std::string(300, 'x'));
    WriteFile("ures.wav", "");
    WriteFile("jegyzet.txt", "nem hang");
    WriteWav("valt.wav", 0.25, 1, 8000);
  }
  // Whether a script load keeps an item of this clip (what the loader's
  // readers accept; the soak knows its own clips).
  bool Loadable(const std::string& name) const {
    static const std::set<std::string> good = {"w1.wav", "w2.wav", "hosszu.wav", "NAGY.WAV", "m1.mp3", "M2.MP3",
                                               "valt.wav"};
    return good.count(name) && fs::exists(Folder / "Hangok" / name);
  }

  std::string Pick(const std::vector<std::string>& from) { return from[Rng() % from.size()]; }
  int Below(int n) { return n <= 0 ? 0 : int(Rng() % unsigned(n)); }
  bool Chance(int percent) { return Below(100) < percent; }

  QString ClipName() {
    return QString::fromStdString(Pick({"w1.wav", "w2.wav", "hosszu.wav", "NAGY.WAV", "m1.mp3", "M2.MP3", "valt.wav",
                                        "w1.wav", "m1.mp3", "rossz.wav", "rossz.mp3", "ures.wav", "jegyzet.txt",
                                        "nincs.wav", "nincs.mp3", "", " w1.wav", "alkonyvtar/w1.wav"}));
  }
  QString CompositionName() {
    static const char* names[] = {"Reggel", "Este", "Hirek", "  szokozos  ", "[zarojel]", "Árvíztűrő",
                                  "Gong", "A", "B", "C", "Tükörfúrógép", "x]", ""};
    return U(names[Below(int(std::size(names)))]);
  }

  // ---- Pumping: what the event loop and the audio hand-off have queued.
  void Pump() {
    GuiHandoff& handoff = GuiHandoff::Instance();
    for (int i = 0; i < 3; ++i) {
      QCoreApplication::processEvents();
      handoff.PumpUntil([&] { return handoff.Pending() > 0; }, std::chrono::milliseconds(1));
    }
    QCoreApplication::processEvents();
  }
  // Pumps until `done`; false after `seconds` (the watchdog fires first).
  bool PumpUntil(const std::function<bool()>& done, int seconds = 10) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    GuiHandoff& handoff = GuiHandoff::Instance();
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QCoreApplication::processEvents();
      handoff.PumpUntil([&] { return handoff.Pending() > 0 || done(); }, std::chrono::milliseconds(2));
    }
    return true;
  }

  // ---- The store as the window should show it
  std::vector<PGyElem> Compositions() {
    std::vector<PGyElem> all;
    for (PGyElem c = Window->Gyoker()->Kov; c != nullptr; c = c->Kov) all.push_back(c);
    return all;
  }
  TSnapshot Snapshot() {
    TSnapshot snapshot;
    for (PGyElem c : Compositions()) {
      TSnapshotComposition sc{c->Nev, {}};
      for (PElem e = c->Elemek->Kov; e != nullptr; e = e->Kov) sc.Items.push_back({e->FajlNev, int(e->Szunet)});
      snapshot.push_back(sc);
    }
    return snapshot;
  }

  // The first broken invariant, or empty.
  std::string CheckInvariants() {
    const std::vector<PGyElem> all = Compositions();
    const int count = int(all.size());
    std::vector<QString> names;
    for (PGyElem c : all) names.push_back(TFrm_Main::Text(c->Nev));
    if (Selector(false) != names) return "the editing selector does not list the store's compositions";
    if (Selector(true) != names) return "the test selector does not list the store's compositions";

    TCompositionStore& store = Window->Store();
    auto known = [&](PGyElem c) { return c == Window->Gyoker() || std::find(all.begin(), all.end(), c) != all.end(); };
    if (!known(store.AktGyoker)) return "AktGyoker is no composition of the store";
    if (!known(store.TesztGyoker)) return "TesztGyoker is no composition of the store";
    const int row = Window->CB_RogzOsszeall->currentIndex();
    if (row < -1 || row >= count) return "editing selector row " + std::to_string(row) + " out of range";
    if (store.AktGyoker != (row < 0 ? Window->Gyoker() : all[size_t(row)]))
      return "AktGyoker is not the composition at the editing selector's row " + std::to_string(row);

    // The item list: the items of AktGyoker, numbered 1..n.
    std::vector<QString> files;
    if (store.AktGyoker != Window->Gyoker()) {
      int n = 0;
      for (PElem e = store.AktGyoker->Elemek->Kov; e != nullptr; e = e->Kov) {
        if (e->Sorszam != ++n) return "item " + std::to_string(n) + " is numbered " + std::to_string(e->Sorszam);
        files.push_back(TFrm_Main::Text(e->FajlNev));
      }
    }
    const std::vector<QString> numbers = Column(0);
    if (numbers.size() != files.size())
      return "the item list has " + std::to_string(numbers.size()) + " rows for " + std::to_string(files.size()) +
             " items";
    for (size_t i = 0; i < numbers.size(); ++i)
      if (numbers[i] != QString::number(i + 1)) return "row " + std::to_string(i) + " shows # " + numbers[i].toStdString();
    if (Column(1) != files) return "the item list's file names differ from the items";

    // The live page.
    if (Window->AktIndex < -1 || Window->AktIndex > std::max(count - 1, 0))
      return "AktIndex " + std::to_string(Window->AktIndex) + " with " + std::to_string(count) + " compositions";
    if (Filled && Window->ApplicationTitle() != QStringLiteral("VR - ") + Window->E_Akt->text())
      return "the title " + Window->ApplicationTitle().toStdString() + " does not follow E_Akt";
    if (LiveFresh && Window->AktIndex >= 0 && Window->AktIndex < count) {
      const QString akt = names[size_t(Window->AktIndex)];
      const QString next = names[size_t((Window->AktIndex + 1) % count)];
      if (Window->E_Akt->text() != akt || Window->E_Next->text() != next)
        return "the live page shows " + Window->E_Akt->text().toStdString() + " / " +
               Window->E_Next->text().toStdString() + " at position " + std::to_string(Window->AktIndex);
    }

    // Every queued answer was asked for.
    if (!Dialogs->InputAnswers.empty() || !Dialogs->YesNoAnswers.empty() || !Dialogs->FileAnswers.empty())
      return "a queued dialog answer was not asked for";
    return {};
  }

  // ---- The actions. Each returns what it did, for the log.
  void SelectEditing(int row) {
    Window->CB_RogzOsszeall->setCurrentIndex(row);
    emit Window->CB_RogzOsszeall->activated(row);
  }
  void SelectTest(int row) {
    Window->CB_TestOsszeall->setCurrentIndex(row);
    emit Window->CB_TestOsszeall->activated(row);
  }
  // The options menu as the operator sees it: an entry greyed out cannot be
  // chosen.
  bool Choose(QAction* entry) {
    emit Window->Popup_Opciok->aboutToShow();
    if (!entry->isEnabled()) return false;
    entry->trigger();
    return true;
  }
  std::optional<QString> InputAnswer() {
    if (Chance(10)) return std::nullopt;
    return CompositionName();
  }
  static QString Show(const std::optional<QString>& answer) {
    return answer ? QStringLiteral("\"") + *answer + QStringLiteral("\"") : QStringLiteral("<cancel>");
  }

  std::string AddItemAction() {
    if (Window->Store().AktGyoker != Window->Gyoker() && TCompositionStore::ElemSzam(Window->Store().AktGyoker) > 25)
      return "add skipped (composition full)";
    const QString clip = ClipName();
    const QString pause = QString::fromStdString(Pick({"0", "0", "250", "1000", "40", "abc", ""}));
    Window->E_FajlNev->setText(clip);
    Window->E_RogzSzunet->setText(pause);
    // The clip is there and the pause is a number, but the length field
    // holds none (an unreadable clip): refused with an error box.
    bool lengthOk = false;
    Window->E_RogzHossz->text().toInt(&lengthOk);
    bool pauseOk = false;
    pause.toInt(&pauseOk);
    const bool exists = !clip.isEmpty() && fs::exists(Folder / "Hangok" / clip.toStdString());
    const bool haveComposition = !Window->Store().Ures();
    const bool unknownLength = haveComposition && exists && pauseOk && !lengthOk;
    const int before = TCompositionStore::ElemSzam(Window->Store().AktGyoker);
    const size_t errors = Dialogs->Texts("error").size();
    Window->B_RogzRendben->click();
    if (unknownLength && (Dialogs->Texts("error").size() != errors + 1 ||
                          TCompositionStore::ElemSzam(Window->Store().AktGyoker) != before))
      Failure = "an item of unknown length was not refused with one error box";
    if (haveComposition && exists && pauseOk && lengthOk &&
        TCompositionStore::ElemSzam(Window->Store().AktGyoker) != before + 1)
      Failure = "a valid item was not added";
    return "add item \"" + clip.toStdString() + "\" pause \"" + pause.toStdString() + "\" (length \"" +
           Window->E_RogzHossz->text().toStdString() + "\")";
  }

  std::string TypeClipAction() {
    Window->E_FajlNev->clear();
    const QString clip = ClipName();
    QTest::keyClicks(Window->E_FajlNev, clip);
    if (Window->E_FajlNev->text() != clip) Failure = "typing did not reach the file-name edit";
    return "type clip \"" + clip.toStdString() + "\" -> " + Window->Panel_RogzStatus->text().toStdString() + " \"" +
           Window->E_RogzHossz->text().toStdString() + "\"";
  }

  std::string ItemButtonAction() {
    const int rows = Window->VSTModel->rowCount();
    const bool select = rows > 0 && Chance(85);
    const int r = Below(rows);
    if (select) SelectItemRow(r);
    const int which = Below(3);
    TFlatButton* buttons[3] = {Window->B_Fel, Window->B_Le, Window->B_Torol};
    const char* what[3] = {"item up", "item down", "item delete"};
    buttons[which]->click();
    return std::string(what[which]) + (select ? " row " + std::to_string(r) : " (no row selected)");
  }

  std::string SaveAction() {
    if (Chance(10)) {
      Dialogs->FileAnswers.push_back(std::nullopt);
      Window->Pop_Save->trigger();
      return "save <cancel>";
    }
    const std::string name = "soak" + std::to_string(Below(3)) + ".vrs";
    const size_t infos = Dialogs->Texts("info").size();
    Dialogs->FileAnswers.push_back(QString::fromStdString((Folder / name).string()));
    if (fs::exists(Folder / name)) Dialogs->YesNoAnswers.push_back(true);  // "Lecseréli?"
    Window->Pop_Save->trigger();
    const std::vector<QString> shown = Dialogs->Texts("info");
    if (shown.size() != infos + 1 || shown.back() != U("A mentés befejeződött."))
      Failure = "saving did not end with its information box";
    else
      Saved[name] = Snapshot();
    if (fs::current_path() != Folder) Failure = "saving in the clip folder's parent changed the current folder";
    return "save " + name;
  }

  std::string LoadAction() {
    const bool ask = !Window->Store().Ures();
    const bool go = !ask || Chance(80);
    if (ask) Dialogs->YesNoAnswers.push_back(go);
    std::string name = "<cancel>";
    if (go) {
      const int choice = Below(5);
      if (choice == 0) {
        Dialogs->FileAnswers.push_back(std::nullopt);
      } else {
        name = choice == 1 ? "nincs.vrs" : "soak" + std::to_string(Below(3)) + ".vrs";
        Dialogs->FileAnswers.push_back(QString::fromStdString((Folder / name).string()));
      }
    }
    const TSnapshot before = Snapshot();
    Window->Pop_Open->trigger();
    if (!go || name == "<cancel>") {
      if (Snapshot() != before) Failure = "a cancelled load changed the store";
      return ask && !go ? "load, answered No" : "load <cancel>";
    }
    const auto saved = Saved.find(name);
    // A missing script, and an empty one (an empty store saved), are refused
    // before the store is touched.
    if (saved == Saved.end() || saved->second.empty()) {
      const std::vector<QString> errors = Dialogs->Texts("error");
      if (errors.empty() || !errors.back().startsWith(U("Hiba a fájl megnyitásakor!")))
        Failure = "loading a missing or empty script showed no open error";
      else if (Snapshot() != before)
        Failure = "a failed load changed the store";
      return "load " + name + (saved == Saved.end() ? " (missing)" : " (empty)");
    }
    // The saved store comes back without the items whose clips the
    // readers no longer accept, and those are listed instead of the
    // information box.
    TSnapshot expected = saved->second;
    bool dropped = false;
    for (TSnapshotComposition& c : expected)
      dropped |= std::erase_if(c.Items, [&](const auto& item) { return !Loadable(item.first); }) > 0;
    if (Snapshot() != expected) Failure = "loading " + name + " did not give back the saved store";
    const bool listed = !Dialogs->Texts("error").empty() && Dialogs->Texts("error").back().contains(U("kimaradt"));
    const bool informed =
        !Dialogs->Texts("info").empty() && Dialogs->Texts("info").back() == U("A beolvasás befejeződött.");
    if (dropped ? !listed : !informed)
      Failure = dropped ? "a load that dropped lines did not list them" : "loading did not end with its information box";
    if (Window->AktIndex != 0) Failure = "loading left AktIndex at " + std::to_string(Window->AktIndex);
    PageFilled();
    return "load " + name;
  }

  std::string RemoteAction() {
    if (Window->Remote() == nullptr) return "remote skipped (no bus)";
    static const char* methods[] = {"Play", "Pause", "PlayPause", "Next", "Previous", "Stop"};
    const char* method = methods[Below(6)];
    // Past the held-key window, so each call is a new press.
    RemoteNow += std::chrono::seconds(1);
    QDBusMessage message = QDBusMessage::createMethodCall(Window->Remote()->ServiceName(),
                                                          QString::fromLatin1(TMprisService::kObjectPath),
                                                          QString::fromLatin1(TMprisService::kPlayerInterface),
                                                          QString::fromLatin1(method));
    QDBusPendingCall pending = QDBusConnection(QStringLiteral("soak-client")).asyncCall(message, 20000);
    if (!PumpUntil([&] { return pending.isFinished(); })) {
      Failure = std::string("remote ") + method + " got no answer";
      return std::string("remote ") + method;
    }
    const QDBusMessage reply = pending.reply();
    std::string answer = "ok";
    if (reply.type() == QDBusMessage::ErrorMessage) {
      answer = "error " + reply.errorMessage().toStdString();
      if (reply.errorName() != QString::fromLatin1(TMprisService::kErrorName))
        Failure = "remote " + std::string(method) + " failed on the bus: " + reply.errorName().toStdString();
    }
    const std::string m = method;
    if (m == "Next" || m == "Previous" || (m == "Play" && answer == "ok")) PageFilled();
    return "remote " + m + " -> " + answer;
  }

  std::string HotkeyAction() {
    static const QChar keys[4] = {QLatin1Char('1'), QLatin1Char('2'), QLatin1Char('3'), QLatin1Char('4')};
    static const char* what[4] = {"hotkey Prev", "hotkey Play", "hotkey Pause", "hotkey Next"};
    const int k = Below(4);
    const size_t errors = Dialogs->Texts("error").size();
    if (!Hotkeys->Press(keys[k])) Failure = std::string(what[k]) + " is not registered";
    // A play that ended with an error box leaves the page as it was.
    if (k == 0 || k == 3 || (k == 1 && Dialogs->Texts("error").size() == errors)) PageFilled();
    return what[k];
  }

  std::string LiveButtonAction() {
    const int which = Below(3);
    TFlatButton* buttons[3] = {Window->B_First, Window->B_Prev, Window->B_Next};
    const char* what[3] = {"live first", "live prev", "live next"};
    buttons[which]->click();
    PageFilled();
    return what[which];
  }

  std::string ClockAction() {
    if (Clock->IsHeld()) {
      Clock->Release();
      return "clock released";
    }
    Clock->Hold();
    return "clock held";
  }

  std::string ToggleClipAction() {
    const fs::path clip = Folder / "Hangok" / "valt.wav";
    if (fs::exists(clip)) {
      fs::remove(clip);
      return "valt.wav removed";
    }
    WriteWav("valt.wav", Chance(50) ? 0.25 : 1.5, 1, 8000);
    return "valt.wav written";
  }

  std::string BrowseAction() {
    if (Chance(20)) {
      Dialogs->FileAnswers.push_back(std::nullopt);
      Window->E_Talloz->click();
      return "browse <cancel>";
    }
    // The folder chosen is dropped: the clip is looked up in Hangok.
    const QString clip = ClipName();
    Dialogs->FileAnswers.push_back(QString::fromStdString(("/somewhere/else/" + clip.toStdString())));
    Window->E_Talloz->click();
    return "browse \"" + clip.toStdString() + "\" -> \"" + Window->E_FajlNev->text().toStdString() + "\"";
  }

  std::string Step() {
    const int count = Window->CB_RogzOsszeall->count();
    // Weights keep the store of a useful size: more adds while it is small.
    struct TChoice {
      int Weight;
      std::function<std::string()> Act;
    };
    std::vector<TChoice> choices = {
        {count < 8 ? 6 : 1,
         [&] {
           const auto answer = InputAnswer();
           Dialogs->InputAnswers.push_back(answer);
           Choose(Window->Pop_Uj);
           PageFilled();
           return "new composition " + Show(answer).toStdString();
         }},
        {2,
         [&] {
           const auto answer = InputAnswer();
           Dialogs->InputAnswers.push_back(answer);
           if (!Choose(Window->Pop_Atnevez)) {
             Dialogs->InputAnswers.clear();
             return std::string("rename (greyed out)");
           }
           LiveFresh = false;  // a rename leaves the live page as it was
           return "rename to " + Show(answer).toStdString();
         }},
        {count > 4 ? 4 : 1,
         [&] {
           if (!Choose(Window->Pop_Torol)) return std::string("delete composition (greyed out)");
           PageFilled();
           return std::string("delete composition");
         }},
        {2,
         [&] {
           const bool up = Chance(50);
           if (!Choose(up ? Window->Pop_Fel : Window->Pop_Le)) return std::string("move (greyed out)");
           LiveFresh = false;  // moves leave the live page as it was
           return std::string(up ? "composition up" : "composition down");
         }},
        {4,
         [&] {
           const int row = Below(count);
           SelectEditing(count == 0 ? -1 : row);
           return "select editing row " + std::to_string(row);
         }},
        {3,
         [&] {
           const int row = Below(count);
           SelectTest(count == 0 ? -1 : row);
           return "select test row " + std::to_string(row);
         }},
        {9, [&] { return AddItemAction(); }},
        {3, [&] { return TypeClipAction(); }},
        {6, [&] { return ItemButtonAction(); }},
        {3,
         [&] {
           Window->E_FajlNev->setText(ClipName());
           Window->B_FileStart->click();
           return "preview \"" + Window->E_FajlNev->text().toStdString() + "\"";
         }},
        {4,
         [&] {
           if (count > 0 && Chance(70)) SelectTest(Below(count));
           Window->B_OsszeallRun->click();
           return "test run of row " + std::to_string(Window->CB_TestOsszeall->currentIndex());
         }},
        {3,
         [&] {
           (Chance(50) ? Window->B_FilePause : Window->B_OsszeallPause)->click();
           return std::string("pause");
         }},
        {3,
         [&] {
           (Chance(50) ? Window->B_FileStop : Window->B_OsszeallStop)->click();
           return std::string("stop");
         }},
        {2, [&] { return ClockAction(); }},
        {5, [&] { return HotkeyAction(); }},
        {4, [&] { return RemoteAction(); }},
        {2, [&] { return LiveButtonAction(); }},
        {1, [&] { return SaveAction(); }},
        {1, [&] { return LoadAction(); }},
        {1, [&] { return ToggleClipAction(); }},
        {1, [&] { return BrowseAction(); }},
    };
    int total = 0;
    for (const TChoice& c : choices) total += c.Weight;
    int pick = Below(total);
    for (const TChoice& c : choices) {
      if (pick < c.Weight) return c.Act();
      pick -= c.Weight;
    }
    return "nothing";
  }

  void PrintContext(long step, const std::string& why) {
    std::fprintf(stderr, "\nsoak seed %llu, step %ld: %s\nlast actions:\n", (unsigned long long)Seed, step,
                 why.c_str());
    for (const std::string& a : Recent) std::fprintf(stderr, "  %s\n", a.c_str());
    std::fflush(stderr);
  }

  static std::unique_ptr<TPrivateBus> Bus;
  static bool BusUp;
  uint64_t Seed = 0;
  std::mt19937_64 Rng;
  std::deque<std::string> Recent;  // the last actions, oldest first
  std::map<std::string, TSnapshot> Saved;
  std::string Failure;  // set by an action's own checks
  bool LiveFresh = true;  // the live page was filled since the last rename or move
  bool Filled = false;    // the live page was filled at least once (the title is set then)
  void PageFilled() {
    LiveFresh = true;
    Filled = true;
  }
  std::chrono::steady_clock::time_point RemoteNow{};
};

std::unique_ptr<TPrivateBus> SoakTest::Bus;
bool SoakTest::BusUp = false;

TEST_F(SoakTest, RandomOperatorActionsKeepTheWindowConsistent) {
  WriteClips();
  OpenWindowOnSimulatedClock();
  if (Window->Remote() != nullptr) Window->Remote()->SetClock([this] { return RemoteNow; });
  else std::fprintf(stderr, "soak: no private D-Bus, remote actions are skipped\n");
  // The four hotkeys on CTRL+1..4.
  QLineEdit* edits[4] = {Window->E_HotPrev, Window->E_HotPlay, Window->E_HotPause, Window->E_HotNext};
  TFlatButton* buttons[4] = {Window->B_HotPrev, Window->B_HotPlay, Window->B_HotPause, Window->B_HotNext};
  for (int i = 0; i < 4; ++i) {
    edits[i]->setText(QString::number(i + 1));
    buttons[i]->click();
  }
  ASSERT_EQ(Hotkeys->Registered.size(), 4u);

  const long maxActions = EnvNumber("VOMRELLA_SOAK_ACTIONS", 5000);
  const long seconds = EnvNumber("VOMRELLA_SOAK_SECONDS", 60);
  const auto stopAt = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  long step = 0;
  TStackWatchdog watchdog(std::chrono::seconds(5), [&] { PrintContext(step, "an action hangs"); });

  const QString unexpected = U("Váratlan hiba");
  std::map<std::string, int> actionCounts;
  std::map<QString, int> boxCounts;
  size_t boxesSeen = 0;
  for (; step < maxActions && std::chrono::steady_clock::now() < stopAt; ++step) {
    Failure.clear();
    watchdog.Begin();
    std::string done = Step();
    Pump();
    watchdog.End();
    Recent.push_back(std::to_string(step) + ": " + done);
    if (Recent.size() > 20) Recent.pop_front();
    ++actionCounts[done.substr(0, done.find_first_of("\"(<-0123456789") == std::string::npos
                                      ? done.size()
                                      : done.find_first_of("\"(<-0123456789"))];

    // Boxes shown since the last step: counted; a report of an exception
    // that escaped a handler is a fault.
    for (; boxesSeen < Dialogs->Shown.size(); ++boxesSeen) {
      const TScriptedDialogs::TShown& box = Dialogs->Shown[boxesSeen];
      ++boxCounts[QString::fromStdString(box.Kind) + QStringLiteral(": ") + QString(box.Text).replace(QLatin1Char('\n'), QStringLiteral(" | "))];
      if (box.Kind == "error" && box.Text.startsWith(unexpected)) Failure = "unexpected box: " + box.Text.toStdString();
      // A failed pass says why.
      if (box.Kind == "error" && box.Text == U("Hiba a lejátszás során!\n")) Failure = "a playback error box without its reason";
    }
    if (Failure.empty()) Failure = CheckInvariants();
    if (Failure.empty() && HasFailure()) Failure = "a check failed during the action";
    if (!Failure.empty()) {
      PrintContext(step, Failure);
      FAIL() << "seed " << Seed << ", step " << step << ": " << Failure;
    }
    if (step % 50 == 0) Sound->ClearHeard();
  }
  if (Clock->IsHeld()) Clock->Release();
  ASSERT_TRUE(PumpUntil([&] { return Window->DXOut->Status() == osIdle || Window->DXOut->Status() == osPaused; }));

  std::fprintf(stderr, "soak: %ld actions (seed %llu)\n", step, (unsigned long long)Seed);
  for (const auto& [what, n] : actionCounts) std::fprintf(stderr, "  %6d  %s\n", n, what.c_str());
  std::fprintf(stderr, "boxes:\n");
  for (const auto& [what, n] : boxCounts) std::fprintf(stderr, "  %6d  %s\n", n, what.toStdString().c_str());
  EXPECT_GT(step, 0);
}

}  // namespace
