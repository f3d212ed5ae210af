// The four hotkey rows of the second page and their key presses.

#include "app/TFrm_Main.h"

void TFrm_Main::B_HotPrevClick() {}
void TFrm_Main::B_HotPlayClick() {}
void TFrm_Main::B_HotPauseClick() {}
void TFrm_Main::B_HotNextClick() {}
void TFrm_Main::WMHotKey(int) {}
