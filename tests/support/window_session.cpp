#include "tests/support/window_session.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/application.h"
#include "tests/support/clock.h"

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
}

bool WaitFor(const std::function<bool()>& condition, int ms) {
  QElapsedTimer t;
  t.start();
  while (!condition()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
  return true;
}

StatusWatcher::StatusWatcher(StatusBar* bar) : bar_(bar) { bar_->installEventFilter(this); }

StatusWatcher::~StatusWatcher() { bar_->removeEventFilter(this); }

void StatusWatcher::At(int marks, std::function<void()> action) {
  actions_.push_back({marks, std::move(action), false});
}

bool StatusWatcher::eventFilter(QObject*, QEvent* e) {
  if (e->type() != QEvent::Paint) return false;
  ++paints;
  if (onPaint) onPaint();
  const int n = static_cast<int>(bar_->PanelText(1).count(QLatin1Char('<')));
  if (n > maxMarks) {
    maxMarks = n;
    if (onMark) onMark(n);
  }
  for (auto& a : actions_)
    if (!a.done && n >= a.marks) {
      a.done = true;
      a.action();
    }
  return false;
}

namespace {

MorvalaApplication* App() { return static_cast<MorvalaApplication*>(QCoreApplication::instance()); }

}  // namespace

WindowSession::WindowSession() {
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.Path()));
  // The logbook too lives in the session's own folder, never in the user's.
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir / "data"));
  App()->SetUserIO(&io);
}

WindowSession::~WindowSession() { Close(); }

void WindowSession::Close() {
  form.reset();
  sims.clear();
  App()->SetUserIO(nullptr);
}

void WindowSession::Fail(const std::string& what) const {
  if (onFailure)
    onFailure(what);
  else
    std::fprintf(stderr, "%s\n", what.c_str());
}

void WindowSession::WriteIni(const std::string& port) {
  QDir().mkpath(QString::fromStdString(dir / "morvala"));
  if (!WriteFile(IniPath(), "[ComPort1]\r\nPort=" + port +
                                "\r\nBaudRate=38400\r\nStopBits=2\r\nDataBits=8\r\nParity=None\r\n"
                                "FlowControl=None\r\n"))
    Fail("cannot write the settings file " + IniPath());
}

loggersim::SimOptions WindowSession::QuickOptions() {
  loggersim::SimOptions o;
  o.powerOnDelayMs = 100;  // lands inside the 200 ms sleep of a poll
  o.reannounceDelayMs = 100;
  o.deleteMs = 1000;
  return o;
}

// The read answers an announce about 200 ms after its first byte; a repeat that came
// sooner than a second would still be in the line when the download starts, which the
// download does not clear.
loggersim::SimOptions WindowSession::AnnouncingOptions() {
  loggersim::SimOptions o;
  o.powerOnDelayMs = 30;
  o.announceEveryMs = 1000;
  o.reannounceDelayMs = 100;
  o.deleteMs = 500;
  o.baud = 0;  // as fast as the pseudo-terminal takes it
  return o;
}

loggersim::LoggerSim& WindowSession::StartSim(const loggersim::SimOptions& o,
                                              const loggersim::SimConfig& c,
                                              const loggersim::SimFlight& f) {
  sims.push_back(std::make_unique<loggersim::LoggerSim>(o, c, f));
  loggersim::LoggerSim& sim = *sims.back();
  sim.Start();
  WriteIni(sim.SlavePath());
  const bool announcesOnce =
      o.mode == loggersim::SimMode::Normal && !o.faults.babble && o.announceEveryMs == 0;
  if (announcesOnce) {
    if (!WaitUntil([&] { return sim.Announces() >= 1; }, 3000))
      Fail("the simulated logger did not announce itself after its start");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // its last byte is through
  }
  return sim;
}

loggersim::LoggerSim& WindowSession::StartSim(const loggersim::SimOptions& o,
                                              const loggersim::SimFlight& f) {
  return StartSim(o, loggersim::ConfigForFlight(f), f);
}

TForm1& WindowSession::CreateWindow() {
  form = std::make_unique<TForm1>(io);
  form->show();
  QApplication::processEvents();
  return *form;
}

void WindowSession::Click(QAbstractButton* button) {
  button->click();
  Pump(20);
}

bool WindowSession::Save(const std::string& path) {
  const size_t before = ui.boxes.size();
  ui.fileAnswers.push_back(path);
  Click(form->SaveButton);
  for (size_t i = before; i < ui.boxes.size(); ++i)
    if (ui.boxes[i].kind == BoxKind::Error) return false;
  return true;
}

void WindowSession::PowerOnAtFirstMark(StatusWatcher& watcher) {
  if (!sims.empty()) watcher.At(1, [this] { Sim().PowerOn(); });
}

void WindowSession::SwitchOnWhenAsked(const std::function<void()>& start) {
  StatusWatcher watcher(form->StatusBar1);
  PowerOnAtFirstMark(watcher);
  start();
}

void WindowSession::ReadConfiguration() {
  SwitchOnWhenAsked([this] { QTest::mouseClick(form->Startbutton, Qt::LeftButton); });
}

void WindowSession::DownloadData() {
  SwitchOnWhenAsked([this] { QTest::mouseClick(form->LoggerButton, Qt::LeftButton); });
}

std::string WindowSession::Panel(int i) const {
  return form->StatusBar1->PanelText(i).toStdString();
}

int WindowSession::CountBoxes(BoxKind kind, const std::string& text) const {
  return static_cast<int>(std::count_if(ui.boxes.begin(), ui.boxes.end(), [&](const auto& b) {
    return b.kind == kind && b.text == text;
  }));
}

std::string WindowSession::LastBoxText() const {
  return ui.boxes.empty() ? std::string() : ui.boxes.back().text;
}
