// The window tests need an application object; it is the program's own, so that the
// error handling of escaped exceptions is the one under test.
#include <cstdlib>

#include "app/application.h"
#include "tests/support/files.h"
#include "tests/support/testmain.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // A page that opens the logbook finds one of this run's own, never the user's.
  setenv("XDG_DATA_HOME", ProgramTempDir().Path().c_str(), 1);
  MorvalaApplication app(argc, argv);
  return RunAllTests(argc, argv);
}
