#include <stdlib.h>

#include <QApplication>

#include "tests/support/testmain.h"

int main(int argc, char** argv) {
  // Test discovery runs the program without the test environment; windows stay off
  // screen in any case.
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  return RunAllTests(argc, argv);
}
