// A TForm1 against the simulated logger for the fault tests: a settings folder of its
// own, an answering UserIO for every box and file dialog, helpers for the user's steps
// and for what the user can check afterwards (status bar, boxes, saved files).
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QAbstractButton>
#include <QThread>
#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/flugdaten.h"
#include "app/application.h"
#include "tests/support/window_userio.h"
#include "app/widgets.h"
#include "serial/ui/comsetupfrm.h"
#include "tools/sim/loggersim.h"

namespace faults {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    const size_t p = text.find("\r\n", start);
    if (p == std::string::npos) {
      out.push_back(text.substr(start));
      break;
    }
    out.push_back(text.substr(start, p - start));
    start = p + 2;
  }
  return out;
}

// First value of a CSV record line: the 16-bit ADC.
inline long FirstValue(const std::string& line) { return std::stol(line.substr(0, line.find(';'))); }

// The sample flight cut to its first n records (all channels, 1 s).
inline loggersim::SimFlight ShortFlight(size_t n) {
  loggersim::SimFlight f = loggersim::SampleFlight();
  if (f.records.size() > n) f.records.resize(n);
  return f;
}

// A small file system of its own (tmpfs), for full disks and read-only folders. Not
// every machine lets a test mount; then Ok() is false and the caller skips.
class TmpMount {
 public:
  TmpMount(const std::string& path, const std::string& options) : path_(path) {
    QDir().mkpath(QString::fromStdString(path));
    ok_ = ::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~TmpMount() {
    if (ok_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool Ok() const { return ok_; }
  bool RemountReadOnly() {
    return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string path_;
  bool ok_ = false;
};

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::alarm(240);  // no test may hang
    ASSERT_TRUE(dir.isValid());
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    static_cast<MorvalaApplication*>(QCoreApplication::instance())->SetUserIO(&io);
  }
  void TearDown() override {
    form.reset();
    sims.clear();
    TComSetupFrm::ExecHook() = nullptr;
    static_cast<MorvalaApplication*>(QCoreApplication::instance())->SetUserIO(nullptr);
    ::alarm(0);
  }

  std::string IniPath() const { return dir.path().toStdString() + "/morvala/logger3.ini"; }
  std::string TempPath(const std::string& name) const { return dir.path().toStdString() + "/" + name; }

  void WriteIni(const std::string& port) {
    QDir().mkpath(dir.path() + "/morvala");
    WriteFile(IniPath(), "[ComPort1]\r\nPort=" + port +
                             "\r\nBaudRate=38400\r\nStopBits=2\r\nDataBits=8\r\nParity=None\r\n"
                             "FlowControl=None\r\n");
  }

  // A logger that announces shortly after the start and again every second until it is
  // acknowledged, so that a read finds it within its polls. (The read answers an
  // announce about 200 ms after its first byte; a repeat that came sooner would still be
  // in the line when the download starts, which the download does not clear.)
  static loggersim::SimOptions Options() {
    loggersim::SimOptions o;
    o.powerOnDelayMs = 30;
    o.announceEveryMs = 1000;
    o.reannounceDelayMs = 100;
    o.deleteMs = 500;
    o.baud = 0;  // as fast as the pseudo-terminal takes it
    return o;
  }

  // Starts a simulator and points the settings file at it (a window created later, or
  // the next reset, reads it).
  loggersim::LoggerSim& StartSim(loggersim::SimOptions o, loggersim::SimFlight f = ShortFlight(300),
                                 int eepromSize = -1) {
    loggersim::SimConfig c = loggersim::ConfigForFlight(f);
    if (eepromSize >= 0) c.eepromSize = static_cast<uint8_t>(eepromSize);
    sims.push_back(std::make_unique<loggersim::LoggerSim>(o, c, f));
    sims.back()->Start();
    WriteIni(sims.back()->SlavePath());
    return *sims.back();
  }
  loggersim::LoggerSim& Sim() { return *sims.back(); }

  void CreateWindow() {
    form = std::make_unique<TForm1>(io);
    form->show();
    QApplication::processEvents();
  }

  static void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
      QApplication::processEvents(QEventLoop::AllEvents, 10);
      QThread::msleep(5);
    }
  }

  void Click(QAbstractButton* b) {
    b->click();
    Pump(20);
  }

  // Saves the CSV under path; true when no error box came up.
  bool Save(const std::string& path) {
    const size_t before = ui.boxes.size();
    ui.fileAnswers.push_back(path);
    Click(form->SaveButton);
    for (size_t i = before; i < ui.boxes.size(); ++i)
      if (ui.boxes[i].kind == BoxKind::Error) return false;
    return true;
  }

  // "zum Anfang" as the user reaches it: back to the first page, then the button.
  void BackToStart() {
    if (form->PageControl1->currentIndex() != 0) form->PageControl1->setCurrentIndex(0);
    if (form->ResetButton1->isVisible()) Click(form->ResetButton1);
  }

  // A clean configuration read against a new, fault-free simulator: the proof that the
  // window still answers after a fault.
  void ExpectACleanReadWorks() {
    if (form->PageControl1->currentIndex() != 0) form->PageControl1->setCurrentIndex(0);
    StartSim(Options());
    // "zum Anfang" closes the port and reads the settings again; where the button is
    // hidden the same reset is reached through its handler.
    if (form->ResetButton1->isVisible())
      Click(form->ResetButton1);
    else
      form->ResetButton1Click();
    ASSERT_TRUE(form->Startbutton->isVisible());
    Click(form->Startbutton);
    EXPECT_TRUE(form->Flags.ConfigRead) << Panel(1);
    EXPECT_EQ(form->StatusBar1->Color(), StatusColorSuccess) << Panel(1);
    EXPECT_EQ(Sim().Acks(), 1);
  }

  std::string Panel(int i) const { return form->StatusBar1->PanelText(i).toStdString(); }

  std::string LastBoxText() const { return ui.boxes.empty() ? std::string() : ui.boxes.back().text; }

  // Every box text and the status text are German sentences of the program, never a
  // bare system message: they contain at least one of the program's words.
  static bool LooksGerman(const std::string& text) {
    for (const char* w : {"nicht", "kein", "Fehler", "Zu wenig", "verweigert", "Ungültig", "Datei",
                          "Schnittstelle", "BRENNFEHLER", "gelesen", "Berechtigung", "abgebrochen",
                          "unvollständig", "belegt"})
      if (text.find(w) != std::string::npos) return true;
    return false;
  }

  // The user learns of the failure in German: a red status bar with the program's text,
  // or an error box; and every box shown is German.
  void ExpectGermanReport() {
    bool reported = form->StatusBar1->Color() == StatusColorFailure && LooksGerman(Panel(1));
    for (const auto& b : ui.boxes) {
      if (b.confirm) continue;
      EXPECT_TRUE(LooksGerman(b.text)) << b.text;
      if (b.kind == BoxKind::Error && LooksGerman(b.text)) reported = true;
    }
    EXPECT_TRUE(reported) << "status \"" << Panel(1) << "\", " << ui.boxes.size() << " boxes";
  }

  QTemporaryDir dir;
  UiTestAnswers ui;
  AnsweringWindowIO io{ui};  // the window's and the error boxes' UserIO
  std::vector<std::unique_ptr<loggersim::LoggerSim>> sims;
  std::unique_ptr<TForm1> form;
};

}  // namespace faults
