// What only the fault tests need beside the shared window test: a file system of their
// own for full disks and read-only folders, short flights, and the checks that the user
// learnt of a fault in German and that the window still answers afterwards.
#pragma once

#include <sys/mount.h>

#include <QDir>
#include <string>

#include "tests/support/files.h"
#include "tests/support/text.h"
#include "tests/support/window_fixture.h"

// First value of a CSV record line: the 16-bit ADC.
inline long FirstValue(const std::string& line) {
  return std::stol(line.substr(0, line.find(';')));
}

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

class FaultTest : public WindowTest {
 protected:
  // The flight of a simulator started without one.
  static loggersim::SimFlight DefaultFlight() { return ShortFlight(300); }

  // A new logger that announces by itself (the arguments of StartSim), the window, and
  // "Konfiguration lesen" clicked once.
  template <typename... SimArgs>
  void ReadAnnouncingLogger(const SimArgs&... simArgs) {
    StartSim(simArgs...);
    CreateWindow();
    Click(form->Startbutton);
  }

  // A clean configuration read against a new, fault-free simulator: the proof that the
  // window still answers after a fault.
  void ExpectACleanReadWorks() {
    if (form->PageControl1->currentIndex() != 0) form->PageControl1->setCurrentIndex(0);
    StartSim(AnnouncingOptions(), DefaultFlight());
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

  // Every box text and the status text are German sentences of the program, never a
  // bare system message: they contain at least one of the program's words.
  static bool LooksGerman(const std::string& text) {
    for (const char* w :
         {"nicht", "kein", "Fehler", "Zu wenig", "verweigert", "Ungültig", "Datei", "Schnittstelle",
          "BRENNFEHLER", "gelesen", "Berechtigung", "abgebrochen", "unvollständig", "belegt"})
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
};
