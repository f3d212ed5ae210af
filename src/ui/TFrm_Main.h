#pragma once
// TFrm_Main: the program's one window. Three pages on an owner-drawn page
// control: composing and test-playing compositions, the four hotkeys, and
// the live playback page; a "Fájl" menu for scripts.
//
// The class is split across files by concern:
//   TFrm_Main.cpp          creation, destruction, store mirrors, HibaKi
//   TFrm_MainLayout.cpp    controls, fonts, colours, anchoring, tab order, menus
//   TFrm_MainEditing.cpp   compositions, items, clip check, browse, add item
//   TFrm_MainScript.cpp    save, load, ScriptBetolt, closing with edits
//   TFrm_MainLive.cpp      live playback page
//   TFrm_MainPlayback.cpp  clip preview, test run, pause/stop, done
//   TFrm_MainHotkeys.cpp   the hotkey rows and their key presses
//   TFrm_MainRemote.cpp    remote control: the window as a TRemoteTarget
// Handlers keep the names of the events they serve (B_OpciokClick, ...);
// the logic they call lives in small classes of their own (TCompositionStore,
// ClipPath, LoadScriptIntoStore, TUnsavedChanges, TTestRunChain in show/;
// TDialogs, TAnchors, TItemListModel here).
//
// Texts: the store holds Windows-1250 bytes; Text()/Bytes() convert at the
// controls.
//
// Threads: GUI thread only, like every Qt widget. Audio events reach it
// through the audio core's hand-off queue.

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "audio/core/TAuFileIn.h"
#include "audio/core/TComponent.h"
#include "model/TCompositionStore.h"
#include "services/hotkeys/THotkeyService.h"
#include "services/remote/TRemoteTarget.h"
#include "show/TRunProgress.h"
#include "show/TUnsavedChanges.h"
#include "ui/TDialogs.h"

class QAction;
class QCloseEvent;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QTimer;
class QTreeView;
class TAnchors;
class TDXAudioOut;
class TFlatButton;
class TInputList;
class TItemListModel;
class TMP3In;
class TMprisService;
class TOwnPageControl;
class TSoundSystem;
class TTestRunChain;
class TWaveIn;

class TFrm_Main : public QMainWindow, private TRemoteTarget {
  Q_OBJECT

 public:
  struct TOptions {
    // The dialogs the window asks through; TQtDialogs when null.
    std::unique_ptr<TDialogs> Dialogs;
    // The sound system DXOut plays through; the process default when null.
    std::shared_ptr<TSoundSystem> SoundSystem;
    // The first command-line argument: a script loaded at creation.
    std::string FirstArgument;
    // The operator's choice of sound output (PlaybackSettings::SetUpOutput);
    // the default output when it is empty or fits no device.
    std::string Device;
    // Started through the desktop entry: every load looks the script's clips
    // up in the "Hangok" folder beside it, not under the current folder
    // (which the desktop chose, not the operator).
    bool ClipsBesideScript = false;
    // Ends the process for "Kilépés"; quits the event loop when null.
    std::function<void()> ExitProcess;
    // The system-wide hotkeys; CreateDefaultHotkeyService() when null.
    std::unique_ptr<THotkeyService> Hotkeys;
    // Remote control (MPRIS) on D-Bus: on the Qt D-Bus connection of this
    // name, or on the session bus when empty; none when RemoteControl is off.
    bool RemoteControl = true;
    QString RemoteConnection;
  };

  explicit TFrm_Main(TOptions options);
  TFrm_Main() : TFrm_Main(TOptions{}) {}
  ~TFrm_Main() override;

  // ---- Creation and the store's mirrors
  void FormCreate();
  void FormShow() {}
  void FormDestroy();
  void MMI_ExitClick();
  void GyokerBejar();
  void Listakiir();
  // Error box with OK, then focus on `control`. The caller ends its action
  // right after (every call is followed by a return).
  void HibaKi(QWidget* control, const QString& message);
  // Shows the error box unless one with the same text is open (a remote
  // caller pressing again while the operator has not answered): one box
  // per problem at a time. False when it showed nothing.
  bool ErrorBoxOnce(const QString& message);

  // ---- Composition editing
  void B_OpciokClick();
  void Popup_OpciokPopup();
  void Pop_UjClick();
  void Pop_AtnevezClick();
  void Pop_TorolClick();
  void Pop_FelClick();
  void Pop_LeClick();
  void CB_RogzOsszeallSelect();
  void CB_TestOsszeallSelect();
  void VSTInitNode() {}
  QString VSTGetText(int row, int column) const;
  void E_FajlNevChange();
  void E_TallozClick();
  void B_RogzRendbenClick();
  void B_FelClick();
  void B_LeClick();
  void B_TorolClick();

  // ---- Script commands
  void Pop_SaveClick();
  void Pop_OpenClick();
  // Replaces the store with the script at `path`. False when the action must
  // end (the file is no script or could not be opened, or the load stopped
  // at a read error). What is not a script is refused before the store is
  // touched. Dropped item lines are listed in one box; when their clips are
  // found beside the script, the box offers to load again from there.
  [[nodiscard]] bool ScriptBetolt(const QString& path);
  // Edits made since the last load or save.
  [[nodiscard]] bool HasUnsavedChanges() const { return Unsaved_.Any(Store_); }
  // The folder whose "Hangok" holds the clips; empty: the current folder.
  const std::filesystem::path& ClipBase() const { return ClipBase_; }

  // ---- Live playback page
  // Shows composition n as the one the play hotkey plays next, and the one
  // after it; the names show from their start.
  void AdatlapKitolt(int32_t n);
  void B_FirstClick();
  void B_PrevClick();
  void B_NextClick();

  // ---- Clip preview and test playback
  void B_FileStartClick();
  void B_FilePauseClick();
  void B_FileStopClick();
  void B_OsszeallRunClick();
  // While a test run plays: its progress in the test group (ProgressBar,
  // L_Perc) and on the live page (L_OnAir), from what the device has played.
  // Ends the display once the run is no longer in the output.
  void TimerTimer();
  // The run on air as last shown (elapsed, remaining, percent).
  const TRunProgress& OnAir() const { return RunProgress_; }
  void DXOutDone();

  // ---- Sound output choice (TFrm_MainDevices.cpp)
  // The "Hangkártya" menu's item for device table entry `number`: later
  // runs play there (a run playing now goes on where it is).
  void MMI_DeviceClick(int number);
  // The device the window plays on, in L_Device: the chosen one, or the one
  // a run still plays on when another was chosen during it; marked when the
  // last run fell back to the default output, with the reason in its tooltip.
  void ShowPlaybackDevice();
  // The output's note that a run plays on the default output instead of the
  // chosen one: the label shows it, and a box says it once per run.
  void DXOutDeviceNote();

  // ---- Hotkeys
  void B_HotPrevClick();
  void B_HotPlayClick();
  void B_HotPauseClick();
  void B_HotNextClick();
  void WMHotKey(int hotkeyId);
  // What the four hotkeys do; remote control (MPRIS) runs the same. The play
  // action stops the output, test-runs the composition at AktIndex and moves
  // to the next one; false when the run ended with an error box (the live
  // index then stays).
  void HotkeyPrevAction();
  [[nodiscard]] bool HotkeyPlayAction();
  void HotkeyPauseAction();
  void HotkeyNextAction();
  // Remote control on D-Bus; null without a bus (TFrm_MainRemote.cpp).
  TMprisService* Remote() const { return Mpris_.get(); }
  // The id row 0..3 (Prev, Play, Pause, Next) was last registered under; 0
  // before its button was first clicked.
  uint16_t HotkeyId(int row) const { return HotkeyIds_[row]; }
  THotkeyService& Hotkeys() { return *Hotkeys_; }
  // What the last test run built, and the reader the last preview plays.
  const TTestRunChain& RunChain() const { return *RunChain_; }
  TAuFileIn* PreviewReader() const { return PreviewReader_.get(); }

  // ---- State, for the handlers' callers and for tests
  TCompositionStore& Store() { return Store_; }
  PGyElem Gyoker() const { return Store_.Gyoker(); }
  int32_t AktIndex = 0;   // position of the composition the play hotkey plays next
  PElem AktElem = nullptr;  // test cursor: first item of TesztGyoker when idle
  // The task-bar caption: "VR - " + E_Akt's text (also the window's icon text).
  QString ApplicationTitle() const { return ApplicationTitle_; }
  TDialogs& Dialogs() { return *Dialogs_; }

  // Windows-1250 store bytes <-> control text.
  static QString Text(const std::string& cp1250);
  static std::string Bytes(const QString& text);

  // ---- Controls (named with setObjectName as listed, found by tests)
  TOwnPageControl* PageControl = nullptr;
  QWidget* Sheet_Osszesit = nullptr;
  QWidget* Sheet_GyorsBill = nullptr;
  QWidget* Sheet_Lejatszas = nullptr;

  QGroupBox* GB_Osszeallitas = nullptr;
  QComboBox* CB_RogzOsszeall = nullptr;
  TFlatButton* B_Opciok = nullptr;
  QTreeView* VST = nullptr;
  TItemListModel* VSTModel = nullptr;
  TFlatButton* B_Fel = nullptr;
  TFlatButton* B_Torol = nullptr;
  TFlatButton* B_Le = nullptr;

  QGroupBox* GB_Rogzit = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLineEdit* E_FajlNev = nullptr;
  TFlatButton* E_Talloz = nullptr;
  TFlatButton* B_FileStart = nullptr;
  TFlatButton* B_FilePause = nullptr;
  TFlatButton* B_FileStop = nullptr;
  QLabel* Panel_RogzStatus = nullptr;
  QLineEdit* E_RogzHossz = nullptr;
  QLineEdit* E_RogzSzunet = nullptr;
  TFlatButton* B_RogzRendben = nullptr;

  QGroupBox* GB_Teszt = nullptr;
  QComboBox* CB_TestOsszeall = nullptr;
  TFlatButton* B_OsszeallRun = nullptr;
  TFlatButton* B_OsszeallPause = nullptr;
  TFlatButton* B_OsszeallStop = nullptr;
  QLabel* Label7 = nullptr;
  QLineEdit* E_TestHossz = nullptr;
  QLabel* Label8 = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QLabel* L_Perc = nullptr;

  QGroupBox* GB_HotKey = nullptr;
  QLabel* Label10 = nullptr;
  QLabel* Label11 = nullptr;
  QLabel* Label14 = nullptr;
  QLabel* Label15 = nullptr;
  QLabel* Label16 = nullptr;
  QLabel* Label17 = nullptr;
  QLabel* Label18 = nullptr;
  QLabel* Label19 = nullptr;
  QLineEdit* E_HotPrev = nullptr;
  QLineEdit* E_HotPlay = nullptr;
  QLineEdit* E_HotPause = nullptr;
  QLineEdit* E_HotNext = nullptr;
  TFlatButton* B_HotPrev = nullptr;
  TFlatButton* B_HotPlay = nullptr;
  TFlatButton* B_HotPause = nullptr;
  TFlatButton* B_HotNext = nullptr;
  QLabel* Panel_HotPrev = nullptr;
  QLabel* Panel_HotPlay = nullptr;
  QLabel* Panel_HotPause = nullptr;
  QLabel* Panel_HotNext = nullptr;

  QGroupBox* GB_PlayStatus = nullptr;
  QLabel* Label12 = nullptr;
  QLabel* Label13 = nullptr;
  QLineEdit* E_Akt = nullptr;
  QLineEdit* E_Next = nullptr;
  TFlatButton* B_First = nullptr;
  TFlatButton* B_Prev = nullptr;
  TFlatButton* B_Next = nullptr;
  QLabel* L_OnAir = nullptr;  // below the buttons: what plays now, elapsed, remaining, paused

  QMenu* MMI_File = nullptr;
  QAction* Pop_Open = nullptr;
  QAction* Pop_Save = nullptr;
  QAction* N2 = nullptr;
  QAction* MMI_Exit = nullptr;

  QMenu* MMI_Device = nullptr;  // "Hangkártya": one checkable item per device
  QLabel* L_Device = nullptr;    // the menu bar's right corner: the device's name

  QMenu* Popup_Opciok = nullptr;
  QAction* Pop_Uj = nullptr;
  QAction* Pop_Atnevez = nullptr;
  QAction* Pop_Torol = nullptr;
  QAction* N1 = nullptr;
  QAction* Pop_Fel = nullptr;
  QAction* Pop_Le = nullptr;

  QTimer* Timer = nullptr;
  TFileDialogSpec OpenDialog;
  TFileDialogSpec OpenDialog_Open;
  TFileDialogSpec SaveDialog;

  // ---- Non-visual audio components, owned by Components_
  TDXAudioOut* DXOut = nullptr;
  TInputList* InputList = nullptr;
  TWaveIn* WaveIn = nullptr;
  TMP3In* MP3In = nullptr;

 protected:
  // Closing the window: a run stops, then unsaved edits are asked about.
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();       // TFrm_MainLayout.cpp
  void CreateMenus();          // TFrm_MainLayout.cpp
  void SetTabOrder();          // TFrm_MainLayout.cpp
  void SetAccessibility();     // TFrm_MainLayout.cpp
  void ConnectEvents();        // TFrm_MainLayout.cpp
  void CreateAudioComponents();
  void CreateDeviceMenu();  // TFrm_MainDevices.cpp, once DXOut exists
  // A handler as a slot that catches what it throws, so that no exception
  // unwinds through Qt's signal code (which is not exception safe): it is
  // shown in an error box and the action ends.
  template <class F>
  static auto Guarded(F handler) {
    return [handler] { RunGuarded(handler); };
  }
  static void RunGuarded(const std::function<void()>& handler);
  void SetRogzStatus(bool ok);
  void SelectBothRows(int row);  // the same row (or none for -1) in both selectors
  int ListSelectedCount() const;
  int ListFocusedRow() const;
  void SetApplicationTitle(const QString& title);
  // The test group's "Hossz": the length of the composition it plays.
  void ShowTestLength();
  // After a script load, from the menu or at start: the first composition
  // on both sides and on the live page.
  void ShowLoadedScript();
  // TFrm_MainScript.cpp: the save dialog, the question before replacing a file
  // and the save itself (true when saved); the question before closing
  // (true when the window may close); the clip folder's base.
  [[nodiscard]] bool SaveWithDialog();
  [[nodiscard]] bool ConfirmClose();
  void SetClipBase(const std::filesystem::path& base);
  // TFrm_MainPlayback.cpp: the output's events and the hand-off wake hook; the
  // test run (false when it ended with an error box); freeing what the runs
  // and previews made, once the output is stopped.
  void ConnectAudioEvents();
  [[nodiscard]] bool StartTestRun();
  // The run's display: started with a run, ended with it (or when a preview
  // or a stop takes the output).
  void StartOnAir();
  void EndOnAir();
  void ShowOnAirText(bool paused);
  void ReleasePlayback();
  // TFrm_MainHotkeys.cpp
  void ToggleHotkey(int row);
  void ReleaseHotkeys();
  // TFrm_MainRemote.cpp: remote control, and what it is told of the
  // window's state (a run started, paused or ended; the live page changed).
  void CreateRemoteControl(bool on, const QString& connection);
  void RemoteStateChanged(bool runStarted = false);
  // TRemoteTarget: the hotkeys' actions, and what the window shows.
  [[nodiscard]] bool RunRemoteAction(TRemoteAction action) override;
  TRemoteSnapshot RemoteSnapshot() const override;
  void ReportRemoteException(const QString& message) override;

  TCompositionStore Store_;
  TUnsavedChanges Unsaved_;
  std::filesystem::path ClipBase_;
  bool ClipsBesideScript_ = false;
  bool WaylandHintShown_ = false;  // the Wayland limit of hotkeys was told this run
  bool LastLoadListedDrops_ = false;  // the last ScriptBetolt showed dropped lines
  std::unique_ptr<TDialogs> Dialogs_;
  std::shared_ptr<TSoundSystem> SoundSystem_;
  std::string FirstArgument_;
  std::string Device_;
  bool DeviceFellBack_ = false;  // the last run played on the default, not the chosen device
  std::function<void()> ExitProcess_;
  TAnchors* Anchors_ = nullptr;
  QString ApplicationTitle_;
  // Owner of the window's audio components; freed (after the output has
  // stopped) when the window goes.
  TComponentPtr<TComponent> Components_;
  std::unique_ptr<TTestRunChain> RunChain_;
  TComponentPtr<TAuFileIn> PreviewReader_;
  std::unique_ptr<THotkeyService> Hotkeys_;
  uint16_t HotkeyIds_[4] = {};
  std::unique_ptr<TMprisService> Mpris_;
  // The output's message just before the last Run, which clears it: the
  // reason of a failed pass whose report had not reached the window yet.
  std::string SupersededPassError_;
  // Texts of the error boxes open now (each box waits in its own loop).
  QStringList OpenErrorBoxes_;
  TRunProgress RunProgress_;
  QString OnAirName_;  // the composition the run on air plays
  bool Destroyed_ = false;
};
