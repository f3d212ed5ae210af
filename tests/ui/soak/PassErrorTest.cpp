// Found by the soak: a pass that fails on the worker reports its reason
// after the event reaches the window, and a run started before that (a
// quick second press) had already cleared the output's message.

#include <QComboBox>
#include <QLineEdit>

#include <chrono>
#include <thread>

#include "audio/output/TDXAudioOut.h"
#include "audio/output/TSoundClock.h"
#include "show/OperatorText.h"
#include "ui/WindowTestSupport.h"
#include "widgets/TFlatButton.h"

namespace {

class PassErrorTest : public WindowTest {};

TEST_F(PassErrorTest, AFailedPassKeepsItsReasonWhenTheNextRunStartsBeforeTheBox) {
  WriteWav("hang.wav", 2.0, 2, 44100);
  OpenWindowOnSimulatedClock();
  // "Ures" has no items: nothing in its run can be played. "Hang" plays.
  AddComposition(QStringLiteral("Ures"));
  AddComposition(QStringLiteral("Hang"));
  AddItem(QStringLiteral("hang.wav"), QStringLiteral("0"));
  Window->CB_TestOsszeall->setCurrentIndex(0);
  Window->CB_TestOsszeallSelect();
  Window->B_OsszeallRunClick();
  // The pass fails on the worker; its events wait in the hand-off queue.
  for (int i = 0; i < 5000 && Window->DXOut->Busy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_FALSE(Window->DXOut->Busy());
  const std::string reason = Window->DXOut->ExceptionMessage();
  ASSERT_FALSE(reason.empty());
  // The next run starts before the window has seen the failure, and keeps
  // playing (the clock is held), so its own message stays empty.
  Clock->Hold();
  Window->CB_TestOsszeall->setCurrentIndex(1);
  Window->CB_TestOsszeallSelect();
  Window->B_OsszeallRunClick();
  ASSERT_TRUE(WaitUntil([&] { return !Dialogs->Texts("error").empty(); }));
  EXPECT_EQ(Dialogs->Texts("error").front().toStdString(), "Hiba a lejátszás során!\n" + HungarianMessage(reason));
  Window->B_FileStopClick();
}

}  // namespace
