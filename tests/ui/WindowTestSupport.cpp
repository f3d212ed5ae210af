#include "WindowTestSupport.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTreeView>
#include <chrono>
#include <fstream>

#include "audio/core/GuiHandoff.h"
#include "audio/output/TSoundClock.h"
#include "audio/output/TVirtualSoundSystem.h"
#include "support/Mp3Encoder.h"
#include "support/WavBuilder.h"
#include "ui/TItemListModel.h"

namespace fs = std::filesystem;

void WindowTest::SetUp() {
  OldCurrent = fs::current_path();
  Temp.emplace();
  Folder = Temp->Path();
  fs::create_directories(Folder / "Hangok");
  fs::current_path(Folder);
}

void WindowTest::TearDown() {
  // A held clock would keep the closing window's Stop waiting.
  if (Clock) Clock->Release();
  Window.reset();
  fs::current_path(OldCurrent);
  Temp.reset();
}

void WindowTest::OpenWindowOnSimulatedClock() {
  Clock = std::make_shared<TSimulatedClock>();
  TVirtualOptions sound;
  sound.Clock = Clock;
  Sound = std::make_shared<TVirtualSoundSystem>(sound);
  Clock->SetSleepHook([clock = Clock.get(), from = HoldFromNs](uint32_t) {
    if (clock->Now() < from->load()) return;
    from->store(INT64_MAX);
    clock->Hold();
  });
  OpenWindow();
}

bool WindowTest::HoldClockFrom(double seconds) {
  HoldFromNs->store(int64_t(seconds * 1e9));
  Clock->Release();
  return WaitUntil([&] { return Clock->IsHeld() && Clock->WaitingSleepers() == 1; });
}

bool WindowTest::WaitUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  GuiHandoff& handoff = GuiHandoff::Instance();
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents();
    handoff.PumpUntil([&] { return handoff.Pending() > 0 || done(); }, std::chrono::milliseconds(5));
  }
  // Boxes the window queues for the event loop.
  QCoreApplication::processEvents();
  return true;
}

void WindowTest::OpenWindow(const std::string& firstArgument) {
  auto dialogs = std::make_unique<TScriptedDialogs>();
  Dialogs = dialogs.get();
  auto hotkeys = std::make_unique<TFakeHotkeyService>();
  Hotkeys = hotkeys.get();
  TFrm_Main::TOptions options;
  options.Dialogs = std::move(dialogs);
  options.Hotkeys = std::move(hotkeys);
  if (!Sound) Sound = std::make_shared<TVirtualSoundSystem>();
  options.SoundSystem = Sound;
  options.FirstArgument = firstArgument;
  options.ExitProcess = [this] { ++ExitCalls; };
  options.RemoteControl = !RemoteConnection.isEmpty();
  options.RemoteConnection = RemoteConnection;
  Window = std::make_unique<TFrm_Main>(std::move(options));
}

void WindowTest::WriteWav(const std::string& name, double seconds, int channels, int rate) {
  const auto frames = size_t(seconds * rate);
  TFmtFields fmt;
  fmt.Channels = uint16_t(channels);
  fmt.SampleRate = uint32_t(rate);
  const TBytes bytes = MakeWav(fmt, Int16Bytes(TestSignal(frames, channels, 7)));
  WriteFile(name, std::string(bytes.begin(), bytes.end()));
}

void WindowTest::WriteMp3(const std::string& name, double seconds) {
  ASSERT_TRUE(EncodeMp3File((Folder / "Hangok" / name).string(), ToneSignal(1, 22050, seconds), 1, 22050));
}

void WindowTest::WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(Folder / "Hangok" / name, std::ios::binary);
  out << bytes;
  ASSERT_TRUE(out.good());
}

void WindowTest::AddComposition(const QString& name) {
  Dialogs->InputAnswers.push_back(name);
  Window->Pop_UjClick();
}

void WindowTest::AddItem(const QString& file, const QString& pause) {
  Window->E_FajlNev->setText(file);
  Window->E_RogzSzunet->setText(pause);
  Window->B_RogzRendbenClick();
}

void WindowTest::SelectItemRow(int r) {
  const QModelIndex index = Window->VSTModel->index(r, 0);
  Window->VST->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

std::vector<QString> WindowTest::Column(int column) const {
  std::vector<QString> cells;
  for (int r = 0; r < Window->VSTModel->rowCount(); ++r)
    cells.push_back(Window->VSTModel->data(Window->VSTModel->index(r, column), Qt::DisplayRole).toString());
  return cells;
}

std::vector<QString> WindowTest::Selector(bool testSide) const {
  QComboBox* cb = testSide ? Window->CB_TestOsszeall : Window->CB_RogzOsszeall;
  std::vector<QString> names;
  for (int i = 0; i < cb->count(); ++i) names.push_back(cb->itemText(i));
  return names;
}

void WindowTest::AddThreeCompositions() {
  WriteWav("a.wav", 3.0, 2, 44100);
  WriteWav("b.wav", 0.4, 1, 8000);
  WriteWav("c.wav", 0.3, 1, 8000);
  const char* names[3] = {"Elso", "Masodik", "Harmadik"};
  const char* clips[3] = {"a.wav", "b.wav", "c.wav"};
  for (int i = 0; i < 3; ++i) {
    AddComposition(QString::fromLatin1(names[i]));
    Window->CB_RogzOsszeall->setCurrentIndex(i);
    Window->CB_RogzOsszeallSelect();
    AddItem(QString::fromLatin1(clips[i]), QStringLiteral("0"));
  }
}
