// Window tests run on Qt's offscreen platform with the program's own
// application object (so an exception in a handler is caught as in the
// program).

#include <cstdlib>

#include <gtest/gtest.h>

#include "ui/TVomrellaApplication.h"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  TVomrellaApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
