#pragma once
// A window on the offscreen platform in a fresh clip folder: the test works
// in a temporary folder holding "Hangok" with real clips it writes there.

#include <gtest/gtest.h>

#include <filesystem>
#include <atomic>
#include <climits>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "FakeHotkeyService.h"
#include "ScriptedDialogs.h"
#include "support/TTempFolder.h"
#include "ui/TFrm_Main.h"
#include "ui/TItemListModel.h"

class TSimulatedClock;
class TVirtualSoundSystem;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the window (loading `firstArgument` as a script when given).
  void OpenWindow(const std::string& firstArgument = {});
  // As OpenWindow, with DXOut's virtual device on a simulated clock (which
  // moves only while the output's worker sleeps, so a pass plays at once).
  void OpenWindowOnSimulatedClock();
  // On the simulated clock: holds it at the first worker sleep that starts
  // `seconds` or more after its zero (the worker has just looked at the
  // device), and waits until the worker sleeps on it (false when it never
  // did).
  bool HoldClockFrom(double seconds);

  // Pumps the audio hand-off queue and the Qt event loop until `done` is
  // true; false when 60 s passed first (a safety net, never a result).
  bool WaitUntil(const std::function<bool()>& done);

  // Clips under Hangok/: a 16-bit WAV of `seconds`, an MP3 of `seconds`, any
  // bytes.
  void WriteWav(const std::string& name, double seconds, int channels = 1, int rate = 8000);
  void WriteMp3(const std::string& name, double seconds);
  void WriteFile(const std::string& name, const std::string& bytes);

  // Adds a composition through "Új" with the name typed.
  void AddComposition(const QString& name);
  // Three compositions of one clip each: "Elso" (a.wav, longer than the
  // device buffer), "Masodik" (b.wav), "Harmadik" (c.wav).
  void AddThreeCompositions();
  // Adds an item through the "Felvitel" panel.
  void AddItem(const QString& file, const QString& pause);
  // Selects row r of the item list (as a click does).
  void SelectItemRow(int r);
  // The item list's cells of one column, top to bottom.
  std::vector<QString> Column(int column) const;
  std::vector<QString> Selector(bool testSide) const;

  std::optional<TTempFolder> Temp;  // the test's folder, its current folder while it runs
  std::filesystem::path Folder;      // Temp's path
  std::unique_ptr<TFrm_Main> Window;
  TScriptedDialogs* Dialogs = nullptr;  // owned by the window
  TFakeHotkeyService* Hotkeys = nullptr;  // owned by the window
  std::shared_ptr<TVirtualSoundSystem> Sound;
  std::shared_ptr<TSimulatedClock> Clock;  // set by OpenWindowOnSimulatedClock
  std::shared_ptr<std::atomic<int64_t>> HoldFromNs = std::make_shared<std::atomic<int64_t>>(INT64_MAX);
  // Remote control (MPRIS) for the next OpenWindow: off unless a test names
  // the D-Bus connection to offer it on.
  QString RemoteConnection;
  int ExitCalls = 0;

 private:
  std::filesystem::path OldCurrent;
};
