// Morvala: reads, configures and downloads a flight data logger on a serial port.
#include "app/application.h"
#include "app/flugdaten.h"
#include "serial/ui/comsetupfrm.h"

int main(int argc, char** argv) {
  MorvalaApplication app(argc, argv);
  InstallMainThreadWake();
  InstallSetupDialog();
  TForm1 form;
  form.show();
  return app.exec();
}
