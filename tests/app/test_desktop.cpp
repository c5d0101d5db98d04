// The window where it meets the desktop, against the simulated logger: the firmware log
// behind a real error box, the screen after a download without records and after a
// failed delete, the messages of a port that refuses its settings and of a print that
// cannot start, and the results as a screen reader reads them.
#include <QAccessible>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinter>
#include <QTabBar>
#include <cmath>

#include "app/accessibility.h"
#include "app/printing.h"
#include "tests/support/modal.h"
#include "tests/support/text.h"
#include "tests/support/window_fixture.h"

namespace {

loggersim::SimFlight AltitudeFlight(int count) {
  loggersim::SimFlight f;
  f.recordFlags1 = 0x01;  // the 16-bit ADC only: two bytes a record
  f.recordFlags2 = 0x00;
  f.sampleRateCode = 0;
  for (int i = 0; i < count; ++i) {
    loggersim::SimRecord r;
    r.adc16 = static_cast<uint16_t>(10000 + (i % 500) * 7);
    f.records.push_back(r);
  }
  return f;
}

}  // namespace

// A port error during the update: the error box comes while the log and the progress
// bar still show how far it went; they go when the user has closed the box.
TEST_F(WindowTest, FirmwareLogStaysVisibleBehindARealErrorBox) {
  WriteIni(TempPath("kein-geraet"));
  CreateWindow();
  form->PageControl1->setCurrentIndex(1);
  io.UseRealDialogs();  // every dialog is the real one

  bool logUnderBox = false, progressUnderBox = false;
  QString errorText, errorTitle, confirmText;
  modal::Answerer answer([&](QWidget* w) {
    if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
      dialog->setDirectory(QString::fromUtf8(MORVALA_SOURCE_DIR "/data"));
      dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
          ->setText(QStringLiteral("sample_firmware.hex"));
      QAbstractButton* open = modal::Button(dialog, QStringLiteral("Öffnen"));
      ASSERT_NE(open, nullptr) << modal::ButtonTexts(dialog).join("|").toStdString();
      open->click();
    } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
      if (box->windowTitle() == QStringLiteral("Bestätigung")) {
        confirmText = box->text();
        modal::Button(box, QStringLiteral("Ja"))->click();
        return;
      }
      errorTitle = box->windowTitle();
      errorText = box->text();
      logUnderBox = form->Memo1->isVisible();
      progressUnderBox = form->ProgressBar1->isVisible();
      modal::Button(box, QStringLiteral("OK"))->click();
    }
  });
  QTest::mouseClick(form->Button1, Qt::LeftButton);

  ASSERT_EQ(answer.seen.size(), 3u);
  EXPECT_EQ(confirmText,
            QString("soll sample_firmware.hex wirklich in den Logger gebrannt werden?"));
  EXPECT_EQ(errorTitle, QString("Fehler"));
  EXPECT_TRUE(errorText.startsWith("Unable to open com port")) << errorText.toStdString();
  EXPECT_TRUE(logUnderBox);
  EXPECT_TRUE(progressUnderBox);
  EXPECT_TRUE(form->Memo1->toPlainText().startsWith("Firmwareupdate für Logger mit Bootloader"));
  // Closed box: log and progress bar gone, the read time-out back.
  EXPECT_FALSE(form->Memo1->isVisible());
  EXPECT_FALSE(form->ProgressBar1->isVisible());
  EXPECT_EQ(form->ComPort1.Timeouts().ReadTotalConstant(), 20);
}

// A download that brings the header but no record shows the prepared graph, not what
// the paint box held before (the start-up speed measurement's curve).
TEST_F(WindowTest, DownloadWithoutRecordsShowsThePreparedGraph) {
  loggersim::SimFlight f = AltitudeFlight(50);
  loggersim::SimOptions o = QuickOptions();
  o.baud = 0;
  o.faults.recordsStopAfter = 0;
  StartSim(o, f);
  CreateWindow();
  const QImage before = form->PaintBox1->Surface().copy();
  DownloadData();
  ASSERT_EQ(CountBoxes(BoxKind::Information, "keine Daten empfangen !!!"), 1);
  EXPECT_EQ(Panel(1), "-1 Datenblöcke gelesen - Datei nun speichern");
  EXPECT_TRUE(form->PaintBox1->isVisible());
  const QImage shown = form->PaintBox1->Surface().convertToFormat(QImage::Format_RGB32);
  const QImage prepared = form->GraphBitmap().Image().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shown, prepared);
  EXPECT_NE(shown, before.convertToFormat(QImage::Format_RGB32));
  // The prepared graph is white with a grid.
  EXPECT_EQ(QColor(shown.pixel(shown.width() - 3, 3)), QColor(Qt::white));
}

// The line goes dead while the logger deletes its data: the notice goes, and nothing
// waits for the delete any more, also after "zum Anfang".
TEST_F(WindowTest, PortFailureInTheDeleteWaitClearsTheNotice) {
  loggersim::SimConfig c;
  c.recordFlags1 = 0x01;
  c.recordFlags2 = 0x80;
  c.sampleRateCode = 49;
  c.serialSensor = 12;
  loggersim::SimOptions o = QuickOptions();
  o.deleteMs = 20000;  // the logger never answers within the test
  ReadNewLogger(o, c);
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  form->LRadioGroup->button(2)->click();  // "löschen SingleLog"
  ASSERT_TRUE(form->SchreibButton1->isVisible());

  bool noticeDuringWait = false;
  StatusWatcher w(form->StatusBar1);
  w.At(1, [&] {
    noticeDuringWait = form->WarteLabel->isVisible() && form->Flags.DeleteInProgress;
    Sim().Stop();  // cable pulled
  });
  QTest::mouseClick(form->SchreibButton1, Qt::LeftButton);

  EXPECT_TRUE(noticeDuringWait);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, BoxKind::Error);
  EXPECT_FALSE(form->WarteLabel->isVisible());
  EXPECT_FALSE(form->Flags.DeleteInProgress);
  EXPECT_FALSE(form->Flags.SkipDrain);
  QTest::mouseClick(form->ResetButton1, Qt::LeftButton);
  EXPECT_FALSE(form->WarteLabel->isVisible());
  EXPECT_FALSE(form->Flags.DeleteInProgress);
}

// The settings read from the file cannot be put on the port (the file now names a port
// that does not exist while the old one is open): the hint names that port and does not
// send the user to the settings folder.
TEST_F(WindowTest, SettingsThePortRefusesAreReportedWithThePort) {
  ReadNewLogger(QuickOptions());
  ASSERT_TRUE(form->ComPort1.Connected());
  const std::string missing = TempPath("kein-geraet");
  WriteIni(missing);
  form->PageControl1->setCurrentIndex(1);
  form->PageControl1->setCurrentIndex(0);  // the reset reads the settings again
  ASSERT_EQ(ui.boxes.size(), 1u);
  const auto lines = Split(ui.boxes[0].text, "\r");
  ASSERT_EQ(lines.size(), 2u) << ui.boxes[0].text;
  EXPECT_EQ(lines[0], "Failed to load settings");
  EXPECT_NE(lines[1].find("Schnittstelle " + missing + " "), std::string::npos) << lines[1];
  EXPECT_EQ(lines[1].find("Ordner"), std::string::npos) << lines[1];
}

// "Fenster ausdrucken": one printer for the program's life, a print that cannot start
// reported in a German error box.
TEST_F(WindowTest, PrintKeepsThePrinterAndReportsAPrintThatCannotStart) {
  WriteIni(TempPath("tty"));
  CreateWindow();
  std::vector<QPrinter*> printers;
  int copiesSeen = 0;
  const QString pdf = QString::fromStdString(TempPath("fenster.pdf"));
  SetPrintDialogStandIn([&](QPrinter& p) {
    printers.push_back(&p);
    copiesSeen = p.copyCount();
    p.setCopyCount(2);  // the user's choice in the dialog
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(
        printers.size() == 1 ? pdf : QString::fromStdString(TempPath("fehlt/fenster.pdf")));
    return true;
  });
  QTest::mouseClick(form->ToolButton1, Qt::LeftButton);
  EXPECT_TRUE(QFile::exists(pdf));
  EXPECT_TRUE(ui.boxes.empty());
  QTest::mouseClick(form->ToolButton1, Qt::LeftButton);
  SetPrintDialogStandIn({});
  ASSERT_EQ(printers.size(), 2u);
  EXPECT_EQ(printers[0], printers[1]);
  EXPECT_EQ(copiesSeen, 2);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, BoxKind::Error);
  EXPECT_EQ(ui.boxes[0].text, "Die Datei " + TempPath("fehlt/fenster.pdf") +
                                  " kann nicht geschrieben werden.\rDrucken nicht möglich");
}

// A screen reader reads every result in the status bar, hears each result at once and
// the running count of a download only a few times a second.
TEST_F(WindowTest, ScreenReaderReadsAndHearsTheStatusBar) {
  StartFullSpeed(AltitudeFlight(3000));
  QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(form->StatusBar1);
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(bar->childCount(), 2);

  ReadConfiguration();
  ASSERT_TRUE(form->Flags.ConfigRead) << Panel(1);
  EXPECT_EQ(bar->child(0)->text(QAccessible::Name).toStdString(), "verbunden");
  EXPECT_EQ(bar->child(1)->text(QAccessible::Name).toStdString(), Panel(1));
  EXPECT_EQ(bar->text(QAccessible::Description), QString("Erfolg"));

  struct Heard {
    int panel;
    std::string text;
  };
  std::vector<Heard> heard;
  SetAnnouncementObserver([&](QAccessibleEvent& e) {
    QAccessibleInterface* iface = e.accessibleInterface();
    if (e.type() != QAccessible::NameChanged || !iface || iface->parent() != bar) return;
    heard.push_back({bar->indexOfChild(iface), iface->text(QAccessible::Name).toStdString()});
  });
  QElapsedTimer t;
  t.start();
  QTest::mouseClick(form->LoggerButton, Qt::LeftButton);
  const qint64 elapsed = t.elapsed();
  SetAnnouncementObserver({});

  ASSERT_EQ(form->Flight.LastSampleIndex, 2999);
  const std::string result = "2999 Datenblöcke gelesen - Datei nun speichern";
  EXPECT_EQ(bar->child(1)->text(QAccessible::Name).toStdString(), result);
  int counts = 0;
  std::vector<std::string> results;
  for (const Heard& h : heard) {
    if (h.panel == 0)
      ++counts;
    else
      results.push_back(h.text);
  }
  EXPECT_LE(counts, elapsed / StatusBar::kCountAnnounceInterval.count() + 2) << elapsed << " ms";
  EXPECT_EQ(results, (std::vector<std::string>{
                         "synchronisiert",
                         "Beenden der Datenübertragung durch Ausschalten des Loggers", result}));
  // The last count is heard before the result.
  ASSERT_GE(heard.size(), 2u);
  EXPECT_EQ(heard[heard.size() - 2].panel, 0);
  EXPECT_EQ(heard[heard.size() - 2].text, "3000");
}

// The graph's markers without a mouse: Tab reaches the graph, the arrows move the left
// marker, with Shift the right one, with Ctrl ten pixels at a time, by the click's rules.
TEST_F(WindowTest, MarkersMoveWithTheKeyboard) {
  StartFullSpeed(AltitudeFlight(100));
  DownloadData();
  ASSERT_EQ(form->Flight.LastSampleIndex, 99);
  ASSERT_TRUE(form->PaintBox1->isVisible());
  QApplication::setActiveWindow(form.get());
  form->ResetButton1->setFocus(Qt::TabFocusReason);
  QTest::keyClick(form->ResetButton1, Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), form->PaintBox1);

  const int width = form->PaintBox1->width();
  auto index = [&](int x) { return static_cast<int>(std::nearbyint(double(x * 99) / width)); };
  QTest::keyClick(form->PaintBox1, Qt::Key_Right, Qt::ControlModifier);
  QTest::keyClick(form->PaintBox1, Qt::Key_Right, Qt::ControlModifier);
  QTest::keyClick(form->PaintBox1, Qt::Key_Right);
  QTest::keyClick(form->PaintBox1, Qt::Key_Left, Qt::NoModifier);
  QTest::keyClick(form->PaintBox1, Qt::Key_Right, Qt::NoModifier);
  EXPECT_EQ(form->Markers.LeftMarkerX, 21);
  EXPECT_EQ(form->Flight.ExportFirstIndex, index(21));
  for (int i = 0; i < 20; ++i)
    QTest::keyClick(form->PaintBox1, Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_EQ(form->Markers.RightMarkerX, width - 200);
  EXPECT_EQ(form->Flight.ExportLastIndex, index(width - 200));
  // The left marker stops short of the right one; the left edge holds it.
  for (int i = 0; i < 60; ++i) QTest::keyClick(form->PaintBox1, Qt::Key_Right, Qt::ControlModifier);
  EXPECT_LT(form->Markers.LeftMarkerX, form->Markers.RightMarkerX);
  EXPECT_GE(form->Markers.LeftMarkerX, width - 210);
  for (int i = 0; i < 60; ++i) QTest::keyClick(form->PaintBox1, Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(form->Markers.LeftMarkerX, 0);
  EXPECT_EQ(form->Flight.ExportFirstIndex, 0);
  // The band left of the left marker is shown as after a click.
  QTest::keyClick(form->PaintBox1, Qt::Key_Right, Qt::ControlModifier);
  const QImage& img = form->PaintBox1->Surface();
  EXPECT_NE(img.pixel(5, 130), img.pixel(200, 130));
}

// The keyboard starts on the page's first button, and the tool bar is one Tab back.
TEST_F(WindowTest, KeyboardStartsAtTheFirstButtonOfThePage) {
  WriteIni(TempPath("tty"));
  CreateWindow();
  EXPECT_EQ(form->focusWidget(), form->Startbutton);
  QApplication::setActiveWindow(form.get());
  form->Startbutton->setFocus(Qt::TabFocusReason);
  QTest::keyClick(form->Startbutton, Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), form->PageControl1->tabBar());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), form->ExitButton);
}
