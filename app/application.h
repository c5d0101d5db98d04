// The application object: an exception that escapes an event handler is shown in an
// error box and the program goes on. Also wires the hand-over of the serial event
// thread's work into the window thread's event loop.
#pragma once

#include <QApplication>
#include <exception>
#include <memory>
#include <string>

class UserIO;

class MorvalaApplication : public QApplication {
  Q_OBJECT
 public:
  MorvalaApplication(int& argc, char** argv);
  ~MorvalaApplication() override;
  bool notify(QObject* receiver, QEvent* event) override;

  // The UserIO that shows the error boxes: the window's. nullptr goes back to plain boxes
  // over the active window.
  void SetUserIO(UserIO* io);
  UserIO& Io();

 private:
  std::unique_ptr<UserIO> plain_;
  UserIO* io_ = nullptr;
};

// Installs the toolkit's German translation (qtbase_de.qm); false when it is not
// installed, and the toolkit's dialogs stay English.
bool LoadToolkitTranslation(QCoreApplication& app);

// Lets MainThreadSync wake the window's thread: each wake posts a queued call that runs
// the pending work on the thread of the application object.
void InstallMainThreadWake();

// The text of the error box for an exception: its message, and for a port that could not
// be opened for lack of rights or because it does not exist, a line with the remedy that
// names the device the error carries.
std::string ErrorText(const std::exception& e);
// Shows ErrorText(e) in an error box ("Fehler", OK) through the application's UserIO.
void ShowError(const std::exception& e);
