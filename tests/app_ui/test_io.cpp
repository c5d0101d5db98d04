// Message boxes, the error handler, the hand-over to the window thread, printing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <thread>

#include "app/application.h"
#include "app/form1base.h"
#include "app/printing.h"
#include "app/qtuserio.h"
#include "tests/support/modal.h"
#include "tests/support/window_session.h"
#include "tests/support/window_userio.h"
#include "serial/comport.h"
#include "serial/mainsync.h"

namespace {

class Hooked : public testing::Test {
 protected:
  void SetUp() override {
    static_cast<MorvalaApplication*>(QCoreApplication::instance())->SetUserIO(&io);
  }
  void TearDown() override {
    static_cast<MorvalaApplication*>(QCoreApplication::instance())->SetUserIO(nullptr);
  }
  UiTestAnswers answers;
  AnsweringWindowIO io{answers};
};

// Throws from its event handler, as a window handler does when a port operation fails.
class Thrower : public QObject {
 public:
  std::function<void()> fn;
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) fn();
    return QObject::event(e);
  }
};

void SendUserEvent(QObject* o) {
  QEvent e(QEvent::User);
  QApplication::sendEvent(o, &e);
}

}  // namespace

TEST_F(Hooked, BoxesAndDialogsAreRecordedAndAnswered) {
  StatusBar bar;
  QWidget window;
  io.Attach(&bar, &window);
  io.ShowMessage(BoxKind::Warning, "eins\rzwei");
  EXPECT_FALSE(io.Confirm("weiter?"));  // nothing queued: Abbrechen
  answers.confirmAnswers = {true, false};
  EXPECT_TRUE(io.Confirm("a"));
  EXPECT_FALSE(io.Confirm("b"));
  ASSERT_EQ(answers.boxes.size(), 4u);
  EXPECT_EQ(answers.boxes[0].kind, BoxKind::Warning);
  EXPECT_EQ(answers.boxes[0].text, "eins\rzwei");
  EXPECT_FALSE(answers.boxes[0].confirm);
  EXPECT_EQ(answers.boxes[1].kind, BoxKind::Confirmation);
  EXPECT_TRUE(answers.boxes[1].confirm);

  answers.fileAnswers = {std::string("/tmp/x.csv"), std::nullopt};
  EXPECT_EQ(io.SaveFileName("*.csv", "flug.csv"), std::optional<std::string>("/tmp/x.csv"));
  EXPECT_EQ(io.OpenFileName("*.hex", "*.hex"), std::nullopt);
  EXPECT_EQ(io.OpenFileName("*.hex", ""), std::nullopt);
  ASSERT_EQ(answers.fileRequests.size(), 3u);
  EXPECT_TRUE(answers.fileRequests[0].save);
  EXPECT_EQ(answers.fileRequests[0].filter, "*.csv");
  EXPECT_EQ(answers.fileRequests[0].initialName, "flug.csv");
  EXPECT_FALSE(answers.fileRequests[1].save);

  io.SetStatusText(1, "Daten einlesen läuft");
  EXPECT_EQ(io.StatusText(1), "Daten einlesen läuft");
  EXPECT_EQ(bar.PanelText(1), QString("Daten einlesen läuft"));
  io.SetStatusColor(StatusColorFailure);
  EXPECT_EQ(bar.Color(), StatusColorFailure);
  io.Beep();
  EXPECT_EQ(answers.beeps, 1);

  const auto t0 = std::chrono::steady_clock::now();
  io.SleepMs(20);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
          .count();
  EXPECT_GE(ms, 15);
  EXPECT_LT(ms, 500);
}

TEST(BoxTextTest, LoneCarriageReturnBreaksTheLine) {
  EXPECT_EQ(QtUserIO::BoxText("Morvala  \r\r       Version 3.7      "),
            QString("Morvala  \n\n       Version 3.7      "));
  EXPECT_EQ(QtUserIO::BoxText("a\r\nb"), QString("a\nb"));
  EXPECT_EQ(QtUserIO::BoxText("Bestätigung"), QString("Bestätigung"));
}

// Without the hook a real modal box appears; it is read and answered as it comes up.
TEST(RealBoxTest, ConfirmShowsGermanTitleAndButtons) {
  QString title, text;
  QStringList buttons;
  {
    modal::Answerer answer([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (!box) return;
      title = box->windowTitle();
      text = box->text();
      QAbstractButton* no = nullptr;
      for (QAbstractButton* b : box->buttons()) {
        buttons << b->text();
        if (b->text() == "&Abbrechen") no = b;
      }
      if (no)
        no->click();
      else
        box->reject();
    });
    EXPECT_FALSE(QtUserIO::ConfirmBox(nullptr, "Logger einschalten\rund OK"));
  }
  EXPECT_EQ(title, QString("Bestätigung"));
  EXPECT_EQ(text, QString("Logger einschalten\nund OK"));
  EXPECT_TRUE(buttons.contains("&Ja"));
  EXPECT_TRUE(buttons.contains("&Abbrechen"));
  EXPECT_EQ(buttons.size(), 2);

  buttons.clear();
  modal::Answerer answer([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box) return;
    title = box->windowTitle();
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    box->buttons().first()->click();
  });
  QtUserIO::ShowBox(nullptr, BoxKind::Warning, "kein Logger");
  EXPECT_EQ(title, QString("Warnung"));
  EXPECT_EQ(buttons, QStringList{"OK"});
}

TEST_F(Hooked, EscapedExceptionsAreShownAndTheProgramGoesOn) {
  Thrower t;
  t.fn = [] { throw std::runtime_error("Datei nicht gefunden"); };
  SendUserEvent(&t);
  ASSERT_EQ(answers.boxes.size(), 1u);
  EXPECT_EQ(answers.boxes[0].kind, BoxKind::Error);
  EXPECT_EQ(answers.boxes[0].text, "Datei nicht gefunden");

  t.fn = [] { throw EComPort(ceOpen, EACCES, "/dev/ttyUSB0"); };  // Open refused
  SendUserEvent(&t);
  ASSERT_EQ(answers.boxes.size(), 2u);
  const std::string plain = EComPort(ceOpen, EACCES).what();
  EXPECT_EQ(answers.boxes[1].text,
            plain +
                "\rKeine Berechtigung für /dev/ttyUSB0. Benutzer zur Gruppe dialout "
                "hinzufügen und neu anmelden.");

  t.fn = [] { throw EComPort(ceOpen, ENOENT, "/dev/ttyUSB0"); };
  SendUserEvent(&t);
  ASSERT_EQ(answers.boxes.size(), 3u);
  EXPECT_EQ(answers.boxes[2].text, std::string(EComPort(ceOpen, ENOENT).what()) +
                                       "\rDas Gerät /dev/ttyUSB0 gibt es nicht. Bitte unter "
                                       "\"COM-Schnittstellen-Setup\" eine Schnittstelle wählen.");

  // The hints on opening belong to Open's failures; other errors keep their message alone.
  EXPECT_EQ(ErrorText(EComPort(ceWrite, EACCES)), std::string(EComPort(ceWrite, EACCES).what()));
  EXPECT_EQ(ErrorText(EComPort(ceWrite, EBUSY)), std::string(EComPort(ceWrite, EBUSY).what()));
  EXPECT_NE(ErrorText(EComPort(ceOpen, EBUSY)), std::string(EComPort(ceOpen, EBUSY).what()));
  EXPECT_EQ(ErrorText(EComPort(ceOpen)), std::string(EComPort(ceOpen).what()));
  // The device named in a hint is the one the error carries.
  EXPECT_NE(
      ErrorText(EComPort(ceOpen, EBUSY, "/dev/ttyACM1")).find("Die Schnittstelle /dev/ttyACM1 ist"),
      std::string::npos);
  EXPECT_NE(ErrorText(EComPort(ceRead, EIO, "/dev/ttyACM1")).find("zum Logger an /dev/ttyACM1 ist"),
            std::string::npos);
  EXPECT_NE(ErrorText(EComPort(ceRead, EIO)).find("zum Logger ist abgebrochen"), std::string::npos);

  // Settings the port refused: the hint names the port, or none when none is known,
  // and says nothing of the settings folder.
  EXPECT_EQ(ErrorText(EComPort::ForDevice(ceLoadSettings, "/dev/ttyUSB0")),
            std::string(EComPort(ceLoadSettings).what()) +
                "\rDie Schnittstelle /dev/ttyUSB0 lässt sich mit den gespeicherten Einstellungen "
                "nicht öffnen oder einstellen. Bitte Kabel und Logger prüfen oder unter "
                "\"COM-Schnittstellen-Setup\" eine andere Schnittstelle wählen.");
  EXPECT_EQ(ErrorText(EComPort(ceLoadSettings)).find("Schnittstelle lässt sich"),
            std::string(EComPort(ceLoadSettings).what()).size() + 5);
  EXPECT_EQ(ErrorText(EComPort(ceLoadSettings)).find("Ordner"), std::string::npos);
  EXPECT_NE(ErrorText(EComPort(ceStoreSettings)).find("Ordner"), std::string::npos);

  t.fn = [] {};
  SendUserEvent(&t);
  EXPECT_EQ(answers.boxes.size(), 3u);
}

TEST(MainThreadWakeTest, WorkOfAnotherThreadRunsInTheEventLoop) {
  InstallMainThreadWake();
  std::atomic<bool> ran{false};
  std::atomic<bool> onMain{false};
  std::atomic<bool> finished{false};
  const auto mainId = std::this_thread::get_id();
  std::thread worker([&] {
    MainThreadSync::Instance().Synchronize([&] {
      ran = true;
      onMain = std::this_thread::get_id() == mainId;
    });
    finished = true;
  });
  if (!WaitFor([&] { return finished.load(); }, 5000)) MainThreadSync::Instance().CancelAll();
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(onMain);
}

TEST(PrintTest, CancelledDialogPrintsNothingConfirmedPrintsOnePage) {
  TForm1Base form;
  form.show();
  QApplication::processEvents();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString pdf = dir.filePath("fenster.pdf");

  QPrinter printer(QPrinter::HighResolution);
  SetPrintDialogStandIn([&](QPrinter& p) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(pdf);
    return false;
  });
  EXPECT_FALSE(PrintWindow(&form, printer));
  EXPECT_FALSE(QFile::exists(pdf));

  SetPrintDialogStandIn([&](QPrinter& p) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(pdf);
    return true;
  });
  EXPECT_TRUE(PrintWindow(&form, printer));
  SetPrintDialogStandIn({});
  QFile f(pdf);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.read(4) == "%PDF");
  EXPECT_GT(f.size(), 1000);
}

TEST(PrintTest, PageImageIsScaledByResolutionOver96) {
  TForm1Base form;
  form.StatusBar1->SetColor(StatusColorSuccess);
  form.show();
  QApplication::processEvents();
  QImage page(2000, 1400, QImage::Format_RGB32);
  page.setDotsPerMeterX(qRound(192 / 0.0254));
  page.setDotsPerMeterY(qRound(192 / 0.0254));
  ASSERT_EQ(page.logicalDpiX(), 192);
  page.fill(QColor(255, 0, 255));
  ASSERT_TRUE(RenderWindowOnPage(&form, page));
  const QColor magenta(255, 0, 255);
  // The window covers 641 x 428 screen pixels (more on a screen with a scale factor,
  // where the test runs a second time); at 192 DPI each pixel takes 2 x 2 on the page,
  // from the top-left corner.
  const double ratio = form.devicePixelRatioF();
  const int w = static_cast<int>(std::lround(641 * ratio)) * 2;
  const int h = static_cast<int>(std::lround(428 * ratio)) * 2;
  ASSERT_LT(w + 2, page.width());
  ASSERT_LT(h + 2, page.height());
  EXPECT_NE(QColor(page.pixel(0, 0)), magenta);
  EXPECT_NE(QColor(page.pixel(w - 1, h - 1)), magenta);
  EXPECT_EQ(QColor(page.pixel(w + 1, 100)), magenta);
  EXPECT_EQ(QColor(page.pixel(100, h + 1)), magenta);
  // The status bar (y 400..427 on screen) lands at y 800..855 on the page at ratio 1.
  const int barMiddle = static_cast<int>(414 * ratio * 2);
  const int aboveBar = static_cast<int>(395 * ratio * 2);
  EXPECT_EQ(QColor(page.pixel(w - 80, barMiddle)), QColor(172, 252, 178));
  EXPECT_NE(QColor(page.pixel(w - 80, aboveBar)), QColor(172, 252, 178));
}
