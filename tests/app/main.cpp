// The window tests run the program's own application object on the offscreen platform,
// set up as the program sets itself up: the serial event thread handed over to the
// event loop, the port setup dialog installed.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/application.h"
#include "serial/ui/comsetupfrm.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  MorvalaApplication app(argc, argv);
  InstallMainThreadWake();
  InstallSetupDialog();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
