// The program's window against the simulated logger, as the window tests and the
// benchmarks drive it: a settings folder of its own with "logger3.ini" naming the
// simulator's port, an answering UserIO for every box and file dialog, the simulators,
// the window, the user's steps and what the user sees. Plain Qt, without GoogleTest.
#pragma once

#include <QAbstractButton>
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/flugdaten.h"
#include "app/widgets.h"
#include "tests/support/files.h"
#include "tests/support/window_userio.h"
#include "tools/sim/loggersim.h"

// Lets the event loop run for ms (the serial thread's queued work, repaints).
void Pump(int ms);
// Runs the event loop until the condition holds (true) or ms have passed (false). The
// bound is generous: on a busy machine the logger's answer comes late, and the wait ends
// as soon as the condition holds.
bool WaitFor(const std::function<bool()>& condition, int ms = 10000);

// Sees every repaint of the status bar; a read repaints it after each waiting mark "<"
// in panel 1, so the watcher acts on the marks as the user sees them.
class StatusWatcher : public QObject {
 public:
  explicit StatusWatcher(StatusBar* bar);
  ~StatusWatcher() override;
  StatusWatcher(const StatusWatcher&) = delete;
  StatusWatcher& operator=(const StatusWatcher&) = delete;

  // Called once when panel 1 first shows this many "<".
  void At(int marks, std::function<void()> action);
  // Called for every repaint, before the marks are counted.
  std::function<void()> onPaint;
  // Called for every new count of "<" with the count.
  std::function<void(int)> onMark;
  int maxMarks = 0;
  long paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  struct Action {
    int marks;
    std::function<void()> action;
    bool done;
  };
  StatusBar* bar_;
  std::vector<Action> actions_;
};

class WindowSession {
 public:
  // Points XDG_CONFIG_HOME at a folder of its own (XDG_DATA_HOME, the logbook's, at
  // "data" in it) and makes io the application's UserIO.
  WindowSession();
  ~WindowSession();
  WindowSession(const WindowSession&) = delete;
  WindowSession& operator=(const WindowSession&) = delete;

  bool Ok() const { return dir.Ok(); }
  // The window closed, the simulators stopped, the UserIO taken away. The destructor
  // does it too.
  void Close();

  // What went wrong in a step that has no result to return (a settings file that cannot
  // be written, a simulator that never announced). Unset, it is printed.
  std::function<void(const std::string&)> onFailure;

  std::string IniPath() const { return dir / "morvala/logger3.ini"; }
  std::string TempPath(const std::string& name) const { return dir / name; }
  // "logger3.ini" naming the port at 38400 baud, 8N2, no flow control.
  void WriteIni(const std::string& port);

  // A logger with short delays that announces once, shortly after it is switched on.
  static loggersim::SimOptions QuickOptions();
  // A logger that announces shortly after the start and again every second until it is
  // acknowledged, and sends as fast as the pseudo-terminal takes it.
  static loggersim::SimOptions AnnouncingOptions();

  // Starts a simulator and points the settings file at it (a window created later, or
  // the next reset, reads it). A logger that announces only once has done so before the
  // user acts: the start waits for that announce, so that every read finds it stale and
  // waits for the logger to be switched on.
  loggersim::LoggerSim& StartSim(const loggersim::SimOptions& o, const loggersim::SimConfig& c = {},
                                 const loggersim::SimFlight& f = {});
  // The same with the configuration that announces the flight.
  loggersim::LoggerSim& StartSim(const loggersim::SimOptions& o, const loggersim::SimFlight& f);
  // The newest simulator.
  loggersim::LoggerSim& Sim() { return *sims.back(); }

  // The window, shown, after one round of the event loop.
  TForm1& CreateWindow();

  // A button's click, and the event loop's work that follows it.
  void Click(QAbstractButton* button);
  // Saves the CSV under path through the save button; true when no error box came up.
  bool Save(const std::string& path);
  // Runs start (a click, or the handler a click runs) while the newest logger is switched
  // on at the first "<" of the status bar, as the user does when the read asks for it.
  void SwitchOnWhenAsked(const std::function<void()>& start);
  void PowerOnAtFirstMark(StatusWatcher& watcher);
  // "Konfiguration lesen" and "Daten einlesen" as the user clicks them, with the logger
  // switched on when asked.
  void ReadConfiguration();
  void DownloadData();

  std::string Panel(int i) const;
  int CountBoxes(BoxKind kind, const std::string& text) const;
  std::string LastBoxText() const;

  TempDir dir;
  UiTestAnswers ui;
  AnsweringWindowIO io{ui};  // the window's and the error boxes' UserIO
  std::vector<std::unique_ptr<loggersim::LoggerSim>> sims;
  std::unique_ptr<TForm1> form;

 private:
  void Fail(const std::string& what) const;
};
