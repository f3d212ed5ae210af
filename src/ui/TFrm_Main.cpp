// Creation and destruction of the window, the store's mirrors in the
// controls, and the user-error convention.

#include "show/OperatorText.h"
#include "ui/TFrm_Main.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QTimer>

#include "audio/core/TInputList.h"
#include "audio/decoders/ClipReader.h"
#include "audio/decoders/TMP3In.h"
#include "audio/decoders/TWaveIn.h"
#include "audio/output/TDXAudioOut.h"
#include "model/Cp1250.h"
#include "services/remote/TMprisService.h"
#include "show/PlaybackSettings.h"
#include "show/TTestRunChain.h"
#include "ui/TItemListModel.h"
#include "ui/TQtDialogs.h"
#include "ui/TVomrellaApplication.h"
#include "widgets/TOwnPageControl.h"

namespace {

// The window whose dialogs show the exceptions no handler took: the one
// created last, until it goes.
TFrm_Main* ExceptionBoxOwner = nullptr;

}  // namespace

TFrm_Main::TFrm_Main(TOptions options)
    : ClipsBesideScript_(options.ClipsBesideScript),
      Dialogs_(std::move(options.Dialogs)),
      SoundSystem_(std::move(options.SoundSystem)),
      FirstArgument_(std::move(options.FirstArgument)),
      Device_(std::move(options.Device)),
      ExitProcess_(std::move(options.ExitProcess)),
      Hotkeys_(std::move(options.Hotkeys)) {
  setObjectName(QStringLiteral("Frm_Main"));
  if (!Dialogs_) Dialogs_ = std::make_unique<TQtDialogs>(this);
  if (!ExitProcess_) ExitProcess_ = [] { QCoreApplication::exit(0); };
  CreateControls();
  CreateMenus();
  SetTabOrder();
  SetAccessibility();
  ConnectEvents();
  CreateAudioComponents();
  ConnectAudioEvents();
  CreateDeviceMenu();

  // The page control's own area is 410 x 508 at start, under the menu bar;
  // the window cannot be made smaller than it starts.
  const QSize start(410, 508 + menuBar()->sizeHint().height());
  resize(start);
  setMinimumSize(start);
  move(585, 221);
  ExceptionBoxOwner = this;
  TVomrellaApplication::SetExceptionHandler([this](const QString& message) { Dialogs_->ErrorBox(message); });
  FormCreate();
  CreateRemoteControl(options.RemoteControl, options.RemoteConnection);
}

TFrm_Main::~TFrm_Main() {
  FormDestroy();
  if (ExceptionBoxOwner != this) return;
  ExceptionBoxOwner = nullptr;
  TVomrellaApplication::SetExceptionHandler(nullptr);
}

void TFrm_Main::CreateAudioComponents() {
  Components_ = MakeComponent<TComponent>();
  // Inputs first and the output last: the owner frees in reverse order of
  // creation, so the output (which stops its pass) goes before its inputs.
  InputList = new TInputList(Components_.get());
  InputList->SetName("InputList");
  InputList->IndicateProgress = true;
  WaveIn = new TWaveIn(Components_.get());
  WaveIn->SetName("WaveIn");
  SetClipReaderSettings(*WaveIn);
  MP3In = new TMP3In(Components_.get());
  MP3In->SetName("MP3In");
  SetClipReaderSettings(*MP3In);
  DXOut = new TDXAudioOut(Components_.get(), SoundSystem_);
  DXOut->SetName("DXOut");
  // A choice that fits no device was refused before the window was made
  // (RunWindowProgram); one made here anyway plays on the default output.
  (void)PlaybackSettings::SetUpOutput(*DXOut, Device_);
  DXOut->SetInput(InputList);
}

void TFrm_Main::FormCreate() {
  // The store's root sentinel exists with the store; the list control needs
  // no per-row data (rows are looked up by position).
  Store_.Uritas();
  Store_.AktGyoker = Store_.Gyoker();
  Store_.TesztGyoker = Store_.Gyoker();
  AktIndex = 0;
  PageControl->setCurrentIndex(0);
  Unsaved_.MarkSaved(Store_);
  // As after a load from the menu: the live page shows what the play key
  // starts.
  if (!FirstArgument_.empty() && ScriptBetolt(QString::fromStdString(FirstArgument_))) ShowLoadedScript();
}

void TFrm_Main::FormDestroy() {
  if (Destroyed_) return;
  Destroyed_ = true;
  Timer->stop();
  // No remote call may reach a window being taken apart.
  Mpris_.reset();
  // Nothing of a run may be freed while the output still pulls from it.
  if (DXOut) DXOut->Stop(false);
  ReleasePlayback();
  ReleaseHotkeys();
  Components_.reset();
  DXOut = nullptr;
  InputList = nullptr;
  WaveIn = nullptr;
  MP3In = nullptr;
  Store_.Uritas();
}

void TFrm_Main::MMI_ExitClick() {
  // The output is stopped first so that no clip is freed under a running
  // pass; with unsaved edits the operator chooses to save, leave or stay.
  if (!ConfirmClose()) return;
  ReleaseHotkeys();
  ExitProcess_();
}

void TFrm_Main::GyokerBejar() {
  CB_RogzOsszeall->clear();
  CB_TestOsszeall->clear();
  QStringList names;
  for (PGyElem c = Store_.Gyoker()->Kov; c; c = c->Kov) names << Text(c->Nev);
  CB_RogzOsszeall->addItems(names);
  CB_TestOsszeall->addItems(names);
  CB_RogzOsszeall->setCurrentIndex(-1);
  CB_TestOsszeall->setCurrentIndex(-1);
  RemoteStateChanged();  // the number of compositions may have changed
}

void TFrm_Main::Listakiir() {
  // Item edits change the length the test group shows when both sides show
  // the same composition.
  ShowTestLength();
  VSTModel->SetRowCount(0);
  if (Store_.Ures()) return;
  VSTModel->SetRowCount(TCompositionStore::ElemSzam(Store_.AktGyoker));
}

void TFrm_Main::HibaKi(QWidget* control, const QString& message) {
  // A remote caller gets its answer before the box waits for the operator.
  if (Mpris_) Mpris_->ErrorShown(message);
  if (!ErrorBoxOnce(message)) return;
  if (control) control->setFocus(Qt::OtherFocusReason);
}

bool TFrm_Main::ErrorBoxOnce(const QString& message) {
  if (OpenErrorBoxes_.contains(message)) return false;
  OpenErrorBoxes_.append(message);
  struct TClosed {
    QStringList& Open;
    ~TClosed() { Open.removeLast(); }
  } closed{OpenErrorBoxes_};
  Dialogs_->ErrorBox(message);
  return true;
}

void TFrm_Main::SelectBothRows(int row) {
  CB_RogzOsszeall->setCurrentIndex(row);
  CB_TestOsszeall->setCurrentIndex(row);
}

void TFrm_Main::SetApplicationTitle(const QString& title) {
  ApplicationTitle_ = title;
  // On X11 the task bar shows a window's icon name.
  setWindowIconText(title);
}

void TFrm_Main::RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    TVomrellaApplication::ReportException(QString::fromLocal8Bit(HungarianMessage(e.what()).c_str()));
  } catch (...) {
    TVomrellaApplication::ReportException(QString::fromUtf8("ismeretlen hiba"));
  }
}

QString TFrm_Main::Text(const std::string& cp1250) { return QString::fromStdString(Cp1250ToUtf8(cp1250)); }

std::string TFrm_Main::Bytes(const QString& text) { return Utf8ToCp1250(text.toStdString()); }
