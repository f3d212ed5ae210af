// Found by the soak: a pass that fails on the worker reports its reason
// after the event reaches the window, and a run started before that (a
// quick second press) had already cleared the output's message.

#include <QLineEdit>

#include <chrono>
#include <thread>

#include "WindowTestSupport.h"
#include "audio/output/TDXAudioOut.h"
#include "widgets/TFlatButton.h"

namespace {

class PassErrorTest : public WindowTest {};

TEST_F(PassErrorTest, AFailedPassKeepsItsReasonWhenTheNextRunStartsBeforeTheBox) {
  OpenWindowOnSimulatedClock();
  // A composition without items: nothing in the run can be played.
  AddComposition(QStringLiteral("Ures"));
  Window->B_OsszeallRunClick();
  // The pass fails on the worker; its events wait in the hand-off queue.
  for (int i = 0; i < 5000 && Window->DXOut->Busy(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_FALSE(Window->DXOut->Busy());
  const std::string reason = Window->DXOut->ExceptionMessage();
  ASSERT_FALSE(reason.empty());
  // The second press comes before the window has seen the first failure.
  Window->B_OsszeallRunClick();
  ASSERT_TRUE(WaitUntil([&] { return !Dialogs->Texts("error").empty(); }));
  for (const QString& box : Dialogs->Texts("error"))
    EXPECT_EQ(box.toStdString(), "Hiba a lejátszás során!\n" + reason);
}

}  // namespace
