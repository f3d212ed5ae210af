// The sound output the window plays on: the "Hangkártya" menu that chooses
// it for the session, and the label that names it.

#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>

#include "audio/output/TDXAudioOut.h"
#include "ui/TFrm_Main.h"

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// Device names come from the sound system as UTF-8.
QString DeviceText(const std::string& name) { return QString::fromStdString(name); }

}  // namespace

void TFrm_Main::CreateDeviceMenu() {
  MMI_Device = menuBar()->addMenu(U("&Hangkártya"));
  MMI_Device->setObjectName(QStringLiteral("MMI_Device"));
  auto* group = new QActionGroup(MMI_Device);
  group->setExclusive(true);
  for (int32_t i = 0; i < DXOut->DeviceCount(); ++i) {
    QAction* item = MMI_Device->addAction(DeviceText(DXOut->Devices(i).Name.data()));
    item->setObjectName(QStringLiteral("MMI_Device%1").arg(i));
    item->setCheckable(true);
    item->setChecked(i == DXOut->DeviceNumber());
    group->addAction(item);
    connect(item, &QAction::triggered, this, Guarded([this, i] { MMI_DeviceClick(i); }));
  }
  if (DXOut->DeviceCount() == 0) MMI_Device->addAction(U("Nincs hangkimenet"))->setEnabled(false);

  // In the menu bar's free corner, so the pages keep their size.
  L_Device = new QLabel(menuBar());
  L_Device->setObjectName(QStringLiteral("L_Device"));
  L_Device->setContentsMargins(4, 0, 6, 0);
  L_Device->setMaximumWidth(260);
  menuBar()->setCornerWidget(L_Device, Qt::TopRightCorner);
  DXOut->OnDeviceNote = [this](TComponent*) {
    QMetaObject::invokeMethod(this, [this] { DXOutDeviceNote(); }, Qt::QueuedConnection);
  };
  ShowPlaybackDevice();
}

void TFrm_Main::MMI_DeviceClick(int number) {
  if (number < 0 || number >= DXOut->DeviceCount()) return;
  DXOut->SetDeviceNumber(number);
  DeviceFellBack_ = false;
  ShowPlaybackDevice();
}

void TFrm_Main::ShowPlaybackDevice() {
  if (!L_Device) return;
  const int32_t chosen = DXOut->DeviceNumber();
  for (QAction* item : MMI_Device->actions())
    if (item->isCheckable()) item->setChecked(item->objectName() == QStringLiteral("MMI_Device%1").arg(chosen));
  const QString chosenName = chosen < DXOut->DeviceCount() ? DeviceText(DXOut->Devices(chosen).Name.data()) : QString();
  const int32_t playing = DXOut->PlayingDeviceNumber();
  const QString playingName = DeviceText(DXOut->PlayingDeviceName());
  // A new pass clears the note, so a fall-back shows until the chosen
  // device plays again (or another is chosen).
  DeviceFellBack_ = DeviceFellBack_ && !DXOut->DeviceNote().empty();
  QString name = chosenName;
  QString tip = U("Ezen a hangkártyán szól: ") + chosenName;
  if (DeviceFellBack_) {
    // The last run played elsewhere than chosen: say where, and why.
    name = U("⚠ ") + playingName;
    tip = QString::fromStdString(DXOut->DeviceNote());
  } else if (DXOut->Busy() && playing >= 0 && playing != chosen) {
    // Chosen during a run: the run goes on where it started.
    name = playingName;
    tip = U("Most ezen szól: ") + playingName + U("; a következő indítástól ezen: ") + chosenName;
  }
  L_Device->setToolTip(tip);
  L_Device->setAccessibleName(name);  // whole, where the text is cut short
  L_Device->setText(L_Device->fontMetrics().elidedText(name, Qt::ElideRight, L_Device->maximumWidth() - 10));
}

void TFrm_Main::DXOutDeviceNote() {
  const std::string note = DXOut->DeviceNote();
  DeviceFellBack_ = !note.empty();
  ShowPlaybackDevice();
  if (!note.empty()) Dialogs_->InfoBox(QString::fromStdString(note));
}
