// A TForm1 against the simulated logger: a temporary settings folder with "logger3.ini"
// naming the simulator's port, an answering UserIO for every box and file dialog, and a
// watcher of the status bar that acts on the waiting marks as the user sees them.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/flugdaten.h"
#include "app/application.h"
#include "tests/support/window_userio.h"
#include "app/widgets.h"
#include "serial/ui/comsetupfrm.h"
#include "tools/sim/loggersim.h"

namespace wt {

inline std::string ReadFile(const std::string& path) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll().toStdString();
}

inline std::vector<std::string> Split(const std::string& text, const std::string& sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t p = text.find(sep, start);
    if (p == std::string::npos) {
      out.push_back(text.substr(start));
      return out;
    }
    out.push_back(text.substr(start, p - start));
    start = p + sep.size();
  }
}

inline int CountMarks(const QString& text) { return static_cast<int>(text.count(QLatin1Char('<'))); }

// Sees every repaint of the status bar; the reads repaint it after each "<".
class StatusWatcher : public QObject {
 public:
  explicit StatusWatcher(StatusBar* bar) : bar_(bar) { bar_->installEventFilter(this); }
  ~StatusWatcher() override { bar_->removeEventFilter(this); }
  // Called once when panel 1 first shows this many "<".
  void At(int marks, std::function<void()> action) { actions_.push_back({marks, std::move(action), false}); }
  // Called for every new count of "<" with the count.
  std::function<void(int)> onMark;
  int maxMarks = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) {
      const int n = CountMarks(bar_->PanelText(1));
      if (n > maxMarks) {
        maxMarks = n;
        if (onMark) onMark(n);
      }
      for (auto& a : actions_)
        if (!a.done && n >= a.marks) {
          a.done = true;
          a.action();
        }
    }
    return false;
  }

 private:
  struct Action {
    int marks;
    std::function<void()> action;
    bool done;
  };
  StatusBar* bar_;
  std::vector<Action> actions_;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::alarm(60);  // no test may hang
    ASSERT_TRUE(dir.isValid());
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    static_cast<MorvalaApplication*>(QCoreApplication::instance())->SetUserIO(&io);
  }
  void TearDown() override {
    form.reset();
    if (sim) sim->Stop();
    sim.reset();
    TComSetupFrm::ExecHook() = nullptr;
    static_cast<MorvalaApplication*>(QCoreApplication::instance())->SetUserIO(nullptr);
    ::alarm(0);
  }

  std::string IniPath() const { return dir.path().toStdString() + "/morvala/logger3.ini"; }
  std::string TempPath(const std::string& name) const { return dir.path().toStdString() + "/" + name; }

  void WriteIni(const std::string& port) {
    QDir().mkpath(dir.path() + "/morvala");
    QFile f(QString::fromStdString(IniPath()));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const std::string text = "[ComPort1]\r\nPort=" + port +
                             "\r\nBaudRate=38400\r\nStopBits=2\r\nDataBits=8\r\nParity=None\r\n"
                             "FlowControl=None\r\n";
    f.write(text.data(), static_cast<qint64>(text.size()));
  }

  // A simulator with short delays. Its first announce comes right after the start, long
  // before the user presses a button, and is dropped by the read as stale; PowerOn then
  // plays the logger being switched on while the read waits.
  static loggersim::SimOptions QuickOptions() {
    loggersim::SimOptions o;
    o.powerOnDelayMs = 100;  // lands inside the 200 ms sleep of a poll
    o.reannounceDelayMs = 100;
    o.deleteMs = 1000;
    return o;
  }

  void StartSim(loggersim::SimOptions o, loggersim::SimConfig c = {}, loggersim::SimFlight f = {}) {
    sim = std::make_unique<loggersim::LoggerSim>(o, c, f);
    sim->Start();
    WriteIni(sim->SlavePath());
    // The first announce is out before the window exists, so that every read finds it
    // stale and waits for the logger to be switched on.
    if (o.mode == loggersim::SimMode::Normal && !o.faults.babble) {
      for (int i = 0; i < 300 && sim->Announces() < 1; ++i) QTest::qSleep(10);
      ASSERT_GE(sim->Announces(), 1);
      QTest::qSleep(20);
    }
  }

  void CreateWindow() {
    form = std::make_unique<TForm1>(io);
    form->show();
    QApplication::processEvents();
  }

  // The logger is switched on when the read asks for it: after the first "<".
  void PowerOnAtFirstMark(StatusWatcher& w) {
    w.At(1, [this] { sim->PowerOn(); });
  }

  // A logger with this flight that sends as fast as the line takes it, and the window.
  void StartFullSpeed(const loggersim::SimFlight& f) {
    loggersim::SimOptions o = QuickOptions();
    o.baud = 0;
    StartSim(o, loggersim::ConfigForFlight(f), f);
    CreateWindow();
  }

  // "Daten einlesen" as the user starts it, with the logger switched on meanwhile.
  void DownloadData() {
    StatusWatcher w(form->StatusBar1);
    PowerOnAtFirstMark(w);
    QTest::mouseClick(form->LoggerButton, Qt::LeftButton);
  }

  // Lets the event loop run for a while (queued work of the serial thread).
  static void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
      QApplication::processEvents(QEventLoop::AllEvents, 10);
      QTest::qSleep(5);
    }
  }

  // A configuration read as the user starts it, with the logger switched on meanwhile.
  void ReadConfiguration() {
    StatusWatcher w(form->StatusBar1);
    PowerOnAtFirstMark(w);
    QTest::mouseClick(form->Startbutton, Qt::LeftButton);
  }

  // Waits, with the event loop running, until the condition holds or the time is up.
  static bool WaitFor(const std::function<bool()>& condition, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
      if (t.elapsed() > ms) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 10);
      QTest::qSleep(5);
    }
    return true;
  }

  int CountBoxes(BoxKind kind, const std::string& text) const {
    return static_cast<int>(std::count_if(ui.boxes.begin(), ui.boxes.end(), [&](const auto& b) {
      return b.kind == kind && b.text == text;
    }));
  }

  std::string Panel(int i) const { return form->StatusBar1->PanelText(i).toStdString(); }

  QTemporaryDir dir;
  UiTestAnswers ui;
  AnsweringWindowIO io{ui};  // the window's and the error boxes' UserIO
  std::unique_ptr<loggersim::LoggerSim> sim;
  std::unique_ptr<TForm1> form;
};

}  // namespace wt
