#include "app/application.h"

#include <QMetaObject>
#include <cerrno>

#include "app/qtuserio.h"
#include "serial/comport.h"
#include "serial/mainsync.h"
#include "serial/settingspath.h"

MorvalaApplication::MorvalaApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool MorvalaApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowError(e);
  } catch (...) {
    QtUserIO::ShowBox(activeWindow(), BoxKind::Error, "Unbekannter Fehler");
  }
  return false;
}

void InstallMainThreadWake() {
  MainThreadSync::Instance().SetWake([] {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(app, [] { MainThreadSync::Instance().RunPending(); },
                              Qt::QueuedConnection);
  });
}

std::string ErrorText(const std::exception& e) {
  std::string text = e.what();
  if (const auto* com = dynamic_cast<const EComPort*>(&e)) {
    const int code = com->SystemErrorCode();
    const std::string& device = com->DevicePath();
    if (com->ErrorNumber() == ceStoreSettings || com->ErrorNumber() == ceLoadSettings) {
      // The settings file "logger3.ini" in the program's configuration folder.
      text += std::string("\rDie Schnittstellen-Einstellungen konnten nicht ") +
              (com->ErrorNumber() == ceStoreSettings ? "gespeichert" : "gelesen") + " werden (" +
              SettingsFilePath("logger3.ini") + "). Bitte prüfen, ob der Ordner " + SettingsDirectory() +
              " ein beschreibbarer Ordner ist.";
      return text;
    }
    const bool opening = com->ErrorNumber() == ceOpen;
    if (opening && (code == EACCES || code == EPERM)) {
      text += "\rKeine Berechtigung für " + device +
              ". Benutzer zur Gruppe dialout hinzufügen und neu anmelden.";
    } else if (opening && code == ENOENT) {
      text += "\rDas Gerät " + device +
              " gibt es nicht. Bitte unter \"COM-Schnittstellen-Setup\" eine Schnittstelle "
              "wählen.";
    } else if (opening && (code == EAGAIN || code == EWOULDBLOCK || code == EBUSY)) {
      // The lock or TIOCEXCL of another program holds the device.
      text += "\rDie Schnittstelle" +
              (device.empty() ? std::string() : " " + device) +
              " ist von einem anderen Programm belegt. Bitte das andere Programm beenden und "
              "noch mal versuchen.";
    } else if (code == EIO || code == ENXIO || code == ENODEV || code == EPIPE) {
      // The line went dead during a transfer: logger switched off, cable or adapter pulled.
      text += "\rDie Verbindung zum Logger" +
              (device.empty() ? std::string() : " an " + device) +
              " ist abgebrochen. Bitte Kabel und Logger prüfen, \"zum Anfang\" drücken und noch "
              "mal versuchen.";
    }
  }
  return text;
}

void ShowError(const std::exception& e) {
  QtUserIO::ShowBox(QApplication::activeWindow(), BoxKind::Error, ErrorText(e));
}
