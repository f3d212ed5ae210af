// Clip preview and test playback through the window's one sound output.

#include <QProgressBar>

#include "app/TFrm_Main.h"
#include "audio/output/TDXAudioOut.h"
#include "widgets/TFlatButton.h"

void TFrm_Main::B_FileStartClick() {}

void TFrm_Main::B_FilePauseClick() {
  if (DXOut->Status() == osPlaying)
    DXOut->Pause();
  else
    DXOut->Resume();
}

void TFrm_Main::B_FileStopClick() {
  DXOut->Stop(false);
  B_OsszeallRun->setEnabled(true);
  B_FileStart->setEnabled(true);
}

void TFrm_Main::B_OsszeallRunClick() {}

void TFrm_Main::TimerTimer() { ProgressBar->setValue(ProgressBar->value() + ProgressStep); }

void TFrm_Main::DXOutDone() {
  B_OsszeallRun->setEnabled(true);
  B_FileStart->setEnabled(true);
}
