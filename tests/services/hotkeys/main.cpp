// The X11 hotkey tests: Qt itself runs offscreen; the hotkey service talks to
// the Xvfb each test starts.

#include <cstdlib>

#include <gtest/gtest.h>

#include "ui/TVomrellaApplication.h"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  TVomrellaApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
