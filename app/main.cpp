// Morvala: reads, configures and downloads a flight data logger on a serial port.
#include "app/application.h"
#include "app/flugdaten.h"
#include "app/qtuserio.h"
#include "serial/ui/comsetupfrm.h"

#include <QStyleFactory>

#include <cstdlib>
#include <cstring>

namespace {

// The window is laid out pixel by pixel for the classic look, whose group boxes carry
// their caption in the frame line; a style chosen by the user still wins.
bool StyleChosenByUser(int argc, char** argv) {
  if (std::getenv("QT_STYLE_OVERRIDE")) return true;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "-style", 6) == 0 || std::strncmp(argv[i], "--style", 7) == 0)
      return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const bool userStyle = StyleChosenByUser(argc, argv);
  MorvalaApplication app(argc, argv);
  if (!userStyle) {
    if (QStyle* classic = QStyleFactory::create("Windows")) QApplication::setStyle(classic);
  }
  InstallMainThreadWake();
  InstallSetupDialog();
  QtUserIO io;
  app.SetUserIO(&io);
  TForm1 form(io);
  form.show();
  return app.exec();
}
