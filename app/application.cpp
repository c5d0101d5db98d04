#include "app/application.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMetaObject>
#include <QTranslator>

#include "app/qtuserio.h"
#include "serial/comport.h"
#include "serial/mainsync.h"
#include "formats/settingspath.h"

MorvalaApplication::MorvalaApplication(int& argc, char** argv)
    : QApplication(argc, argv), plain_(std::make_unique<QtUserIO>()) {
  LoadToolkitTranslation(*this);
}

MorvalaApplication::~MorvalaApplication() = default;

void MorvalaApplication::SetUserIO(UserIO* io) { io_ = io; }

UserIO& MorvalaApplication::Io() { return io_ ? *io_ : *plain_; }

namespace {

// The error boxes' UserIO: the application's; without one (a plain QApplication) boxes
// over the active window.
UserIO& ErrorIO() {
  if (auto* app = qobject_cast<MorvalaApplication*>(QCoreApplication::instance())) return app->Io();
  static QtUserIO plain;
  return plain;
}

}  // namespace

bool LoadToolkitTranslation(QCoreApplication& app) {
  // The program is German whatever the desktop's locale, and so are the toolkit's own
  // file, print and message dialogs, with their dates and sizes. (The files the program
  // writes format their numbers themselves and never depend on a locale.)
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  auto* translator = new QTranslator(&app);
  if (!translator->load(QStringLiteral("qtbase_de"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  app.installTranslator(translator);
  return true;
}

bool MorvalaApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowError(e);
  } catch (...) {
    Io().ShowMessage(BoxKind::Error, "Unbekannter Fehler");
  }
  return false;
}

void InstallMainThreadWake() {
  MainThreadSync::Instance().SetWake([] {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(
        app, [] { MainThreadSync::Instance().RunPending(); }, Qt::QueuedConnection);
  });
}

std::string ErrorText(const std::exception& e) {
  std::string text = e.what();
  if (const auto* com = dynamic_cast<const EComPort*>(&e)) {
    const int code = com->SystemErrorCode();
    const std::string& device = com->DevicePath();
    if (com->ErrorNumber() == ceStoreSettings) {
      // The settings file "logger3.ini" in the program's configuration folder.
      text += "\rDie Schnittstellen-Einstellungen konnten nicht gespeichert werden (" +
              SettingsFilePath("logger3.ini") + "). Bitte prüfen, ob der Ordner " +
              SettingsDirectory() + " ein beschreibbarer Ordner ist.";
      return text;
    }
    if (com->ErrorNumber() == ceLoadSettings) {
      // The file was read; the port refused the settings read from it (reopened under a
      // changed name, or the new line settings pushed to it).
      text += "\rDie Schnittstelle" + (device.empty() ? std::string() : " " + device) +
              " lässt sich mit den gespeicherten Einstellungen nicht öffnen oder einstellen. "
              "Bitte Kabel und Logger prüfen oder unter \"COM-Schnittstellen-Setup\" eine "
              "andere Schnittstelle wählen.";
      return text;
    }
    const bool opening = com->ErrorNumber() == ceOpen;
    const PortFault fault = ClassifySystemError(code);
    if (opening && fault == PortFault::kNoPermission) {
      text += "\rKeine Berechtigung für " + device +
              ". Benutzer zur Gruppe dialout hinzufügen und neu anmelden.";
    } else if (opening && fault == PortFault::kNoSuchDevice) {
      text += "\rDas Gerät " + device +
              " gibt es nicht. Bitte unter \"COM-Schnittstellen-Setup\" eine Schnittstelle "
              "wählen.";
    } else if (opening && fault == PortFault::kBusy) {
      // The lock or TIOCEXCL of another program holds the device.
      text += "\rDie Schnittstelle" + (device.empty() ? std::string() : " " + device) +
              " ist von einem anderen Programm belegt. Bitte das andere Programm beenden und "
              "noch mal versuchen.";
    } else if (fault == PortFault::kLineDead) {
      // The line went dead during a transfer: logger switched off, cable or adapter pulled.
      text += "\rDie Verbindung zum Logger" + (device.empty() ? std::string() : " an " + device) +
              " ist abgebrochen. Bitte Kabel und Logger prüfen, \"zum Anfang\" drücken und noch "
              "mal versuchen.";
    }
  }
  return text;
}

void ShowError(const std::exception& e) { ErrorIO().ShowMessage(BoxKind::Error, ErrorText(e)); }
