// The window tests run the program's own application object on the offscreen platform,
// set up as the program sets itself up: the serial event thread handed over to the event
// loop, the port setup dialog installed.
#include <csignal>
#include <cstdlib>

#include "app/application.h"
#include "serial/ui/comsetupfrm.h"
#include "tests/support/files.h"
#include "tests/support/testmain.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // A page that opens the logbook finds one of this run's own, never the user's.
  setenv("XDG_DATA_HOME", ProgramTempDir().Path().c_str(), 1);
  std::signal(SIGXFSZ, SIG_IGN);  // a file size limit gives EFBIG, not the end of the run
  MorvalaApplication app(argc, argv);
  InstallMainThreadWake();
  InstallSetupDialog();
  return RunAllTests(argc, argv);
}
