// The third tab "Auswertung" and the window "Flugauswertung" through the real widgets:
// the tab's status text and summary, the flight in hand taken after a download and kept
// through "zum Anfang" and a configuration read, files opened and refused, the cursors by
// mouse and keys, the statistics, the track files and the picture.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimeZone>
#include <QListWidget>
#include <QPainter>
#include <QTableWidget>
#include <cmath>
#include <functional>
#include <map>

#include "model/coords.h"
#include "formats/flightcsv.h"
#include "analysis/stats.h"
#include "formats/trackfiles.h"
#include "app/analysispage.h"
#include "app/analysiswindow.h"
#include "app/channeldialog.h"
#include "app/flightchart.h"
#include "app/trackview.h"
#include "formats/channelprofiles.h"
#include "formats/csvexport.h"
#include "tests/support/files.h"
#include "tests/support/modal.h"
#include "tests/support/text.h"
#include "tests/support/window_fixture.h"

using loggersim::SimFlight;
using loggersim::SimRecord;

namespace {

// A flight with every channel, GPS minutes that cross a whole degree.
SimFlight GpsFlight(int count, int rateCode = 49) {
  SimFlight f;
  f.recordFlags1 = 0xFF;
  f.recordFlags2 = 0x77;
  f.sampleRateCode = static_cast<uint8_t>(rateCode);
  f.latHemisphere = 'S';
  f.latDegrees = 33;
  f.lonHemisphere = 'W';
  f.lonDegrees = 70;
  for (int i = 0; i < count; ++i) {
    SimRecord r;
    r.adc16 = static_cast<uint16_t>(9000 + 13 * i - (i % 7) * 40);
    for (int k = 0; k < 4; ++k) r.adc[k] = static_cast<uint16_t>((i * 31 + k * 100) % 1024);
    r.adc4 = static_cast<uint8_t>(i * 3);
    r.freq = static_cast<uint16_t>(500 + i);
    r.rpm = static_cast<uint16_t>(2000 + 7 * i);
    r.rc[0] = static_cast<uint8_t>(i);
    r.rc[1] = 128;
    r.rc[2] = static_cast<uint8_t>(255 - i);
    r.tempInt = 21;
    r.tempExt = static_cast<uint8_t>(10 + i % 4);
    r.latMin = static_cast<uint16_t>((59500 + 50 * i) % 60000);
    r.lonMin = static_cast<uint16_t>((1000 + 60000 - 40 * i) % 60000);
    r.gps3 = static_cast<uint16_t>(i * 11);
    f.records.push_back(r);
  }
  return f;
}

// The CSV text the program writes for a table; used to make files to open.
std::string CsvOf(const FlightData& fd) { return CsvText(fd); }

std::unique_ptr<FlightData> TableWith(int n, uint8_t flags1, uint8_t flags2, uint8_t rate,
                                      const std::function<void(int, SampleRecord&)>& fill) {
  auto fd = std::make_unique<FlightData>();
  fd->RecordFlags1 = flags1;
  fd->RecordFlags2 = flags2;
  fd->SampleRateCode = rate;
  fd->LatHemisphere = 'N';
  fd->LatDegrees = 47;
  fd->LonHemisphere = 'E';
  fd->LonDegrees = 8;
  for (int i = 0; i < n; ++i) fill(i, fd->SampleTable[i]);
  fd->LastSampleIndex = n - 1;
  fd->ExportLastIndex = n - 1;
  fd->GradFilter();
  return fd;
}

class AnalysisTest : public WindowTest {
 protected:
  AnalysisPage* Page() { return form->TabSheet3; }

  void WindowWithoutLogger() {
    WriteIni("/tmp/morvala-no-logger-here");
    CreateWindow();
  }

  void Download(const SimFlight& f) {
    StartFullSpeed(f);
    DownloadData();
  }

  // Opens a file through "Flug öffnen…" with the file dialog answered.
  void Open(const std::string& path) {
    ui.fileAnswers.push_back(path);
    QTest::mouseClick(Page()->OpenButton, Qt::LeftButton);
  }

  AnalysisWindow* Diagram() {
    QTest::mouseClick(Page()->DiagramButton, Qt::LeftButton);
    AnalysisWindow* w = Page()->Window();
    if (w) QApplication::processEvents();
    return w;
  }

  // A click into the chart at the x of a record (the middle of the plot's height).
  static void ClickAtRecord(FlightChart* chart, double record, Qt::KeyboardModifiers mods = {}) {
    const int x = static_cast<int>(std::lround(chart->XOfRecord(record, chart->size())));
    QTest::mouseClick(chart, Qt::LeftButton, mods, QPoint(x, chart->PlotRect().center().y()));
  }

  static void Drag(QWidget* w, QPoint from, QPoint to, Qt::KeyboardModifiers mods = {}) {
    QTest::mousePress(w, Qt::LeftButton, mods, from);
    const int steps = 5;
    for (int i = 1; i <= steps; ++i) {
      const QPoint p = from + (to - from) * i / steps;
      QMouseEvent move(QEvent::MouseMove, QPointF(p), w->mapToGlobal(QPointF(p)), Qt::NoButton,
                       Qt::LeftButton, mods);
      QApplication::sendEvent(w, &move);
    }
    QTest::mouseRelease(w, Qt::LeftButton, mods, to);
  }

  std::string Summary() { return Page()->SummaryLabel->text().toStdString(); }

  // The pixel row at which a lane drawn on this axis shows value v (not inverted).
  static int SpikeY(const analysis::ValueAxis& axis, const QRect& lane, double v) {
    const double f = (v - axis.lo) / (axis.hi - axis.lo);
    return static_cast<int>(std::lround(lane.top() + 1 + (1 - f) * (lane.height() - 2)));
  }

  // Opens a flight of n records of ADC4 only, from a table filled by fill.
  AnalysisWindow* OpenAdc4(int n, const std::function<int(int)>& value, const std::string& name) {
    auto fd = TableWith(n, 0x20, 0x00, 0,
                        [&](int i, SampleRecord& r) { r.b[7] = static_cast<uint8_t>(value(i)); });
    EXPECT_TRUE(WriteFile(TempPath(name), CsvOf(*fd)));
    Open(TempPath(name));
    return Diagram();
  }
};

// Counts the paint events a widget receives.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

}  // namespace

TEST_F(AnalysisTest, ThirdTabHasItsOwnShowHandlerAndLeavesTheOtherTwoAlone) {
  WindowWithoutLogger();
  ASSERT_EQ(form->PageControl1->count(), 4);
  EXPECT_EQ(form->PageControl1->tabText(0).toStdString(), "Logger auslesen und konfigurieren");
  EXPECT_EQ(form->PageControl1->tabText(1).toStdString(), "Firmwareupdate");
  EXPECT_EQ(form->PageControl1->tabText(2).toStdString(), "Auswertung");
  EXPECT_EQ(form->PageControl1->tabText(3).toStdString(), "Flugbuch");

  form->StatusBar1->SetColor(StatusColorSuccess);
  form->PageControl1->setCurrentIndex(2);
  EXPECT_EQ(Panel(1),
            "Auswertung: Flug nach dem Einlesen ansehen oder einen gespeicherten Flug öffnen");
  EXPECT_EQ(form->StatusBar1->Color(), clBtnFace);
  EXPECT_EQ(Panel(0), "offline");
  // Nothing in hand yet: the summary says so and only "Flug öffnen…" works.
  EXPECT_EQ(Summary().rfind("Noch kein Flug zur Hand.", 0), 0u);
  EXPECT_TRUE(Page()->OpenButton->isEnabled());
  EXPECT_FALSE(Page()->DiagramButton->isEnabled());
  EXPECT_FALSE(Page()->GpxButton->isEnabled());
  EXPECT_FALSE(Page()->KmlButton->isEnabled());
  for (QPushButton* b :
       {Page()->OpenButton, Page()->DiagramButton, Page()->GpxButton, Page()->KmlButton})
    EXPECT_FALSE(b->accessibleName().isEmpty());
  EXPECT_EQ(Page()->OpenButton->text().toStdString(), "Flug öffnen…");
  EXPECT_EQ(Page()->DiagramButton->text().toStdString(), "Diagramm…");
  EXPECT_EQ(Page()->GpxButton->text().toStdString(), "GPX speichern…");
  EXPECT_EQ(Page()->KmlButton->text().toStdString(), "KML speichern…");

  // The firmware tab still runs its own handler, the first tab its reset.
  form->PageControl1->setCurrentIndex(1);
  EXPECT_NE(Panel(1),
            "Auswertung: Flug nach dem Einlesen ansehen oder einen gespeicherten Flug öffnen");
  const std::string firmwareText = Panel(1);
  form->PageControl1->setCurrentIndex(2);
  form->PageControl1->setCurrentIndex(1);
  EXPECT_EQ(Panel(1), firmwareText);
  form->PageControl1->setCurrentIndex(0);
  EXPECT_EQ(Panel(1),
            "Logger ausschalten - danach KONFIGURATION LESEN- oder DATEN-EINLESEN-Taste drücken");
}

TEST_F(AnalysisTest, DownloadIsTakenIntoHandAndReadsBackFromItsCsvUnchanged) {
  const int n = 90;
  const SimFlight f = GpsFlight(n);
  Download(f);
  ASSERT_EQ(form->Flight.LastSampleIndex, n - 1);
  const analysis::Flight* inHand = Page()->FlightInHand();
  ASSERT_NE(inHand, nullptr);
  EXPECT_EQ(inHand->source, analysis::FlightSource::Download);
  ASSERT_EQ(inHand->Count(), n);
  // The values are the logger's, as the CSV writes them.
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(inHand->columns[analysis::kAdc16][i], f.records[i].adc16);
    EXPECT_EQ(inHand->columns[analysis::kAdc2][i], f.records[i].adc[2]);
    EXPECT_EQ(inHand->columns[analysis::kRc3][i], f.records[i].rc[2]);
    EXPECT_EQ(analysis::MinutesPart(inHand->columns[analysis::kLatitude][i]), f.records[i].latMin);
  }
  // Summary: origin, records, duration (records x 1 s), rate, channels, altitude, GPS.
  int mn = 65535, mx = 0;
  for (const SimRecord& r : f.records)
    mn = std::min<int>(mn, r.adc16), mx = std::max<int>(mx, r.adc16);
  form->PageControl1->setCurrentIndex(2);
  const std::string s = Summary();
  EXPECT_NE(s.find("Herkunft: letzter Download\n"), std::string::npos) << s;
  EXPECT_NE(s.find("Datensätze: 90\n"), std::string::npos) << s;
  EXPECT_NE(s.find("Dauer: 1 min 29 s\n"), std::string::npos) << s;  // first to last record
  EXPECT_NE(s.find("Abtastrate: 1 s\n"), std::string::npos) << s;
  EXPECT_NE(
      s.find(
          "Kanäle: 16-Bit-ADC, ADC 0, ADC 1, ADC 2, ADC 3, ADC4, Frequenz, Drehzahl, RC 1, RC 2, "
          "RC 3, Temp. int., Temp. ext., GPS\n"),
      std::string::npos)
      << s;
  EXPECT_NE(s.find("Höhe (16-Bit-ADC): kleinster Wert " + std::to_string(mn) + ", größter Wert " +
                   std::to_string(mx)),
            std::string::npos)
      << s;
  // South and west: the minutes of 33° S run across a whole degree to 34° S.
  EXPECT_NE(
      s.find("GPS-Breite: -34,065833° bis -33,991667°\nGPS-Länge: -70,016667° bis -69,957333°\n"
             "GPS-Positionen: 90 von 90"),
      std::string::npos)
      << s;
  EXPECT_TRUE(Page()->GpxButton->isEnabled());

  // Saved as CSV and opened again: the same values in the analysis.
  const std::string csv = TempPath("flug.csv");
  Save(csv);
  const analysis::Flight downloaded = *inHand;
  Open(csv);
  EXPECT_TRUE(ui.boxes.empty());
  inHand = Page()->FlightInHand();
  ASSERT_EQ(inHand->source, analysis::FlightSource::File);
  ASSERT_EQ(inHand->Count(), n);
  for (int c = 0; c < analysis::kColumnCount; ++c)
    EXPECT_EQ(inHand->columns[c], downloaded.columns[c]) << c;
  EXPECT_EQ(inHand->sampleRateCode, downloaded.sampleRateCode);
  EXPECT_EQ(inHand->latDegrees, -33);
  EXPECT_EQ(inHand->lonDegrees, -70);
  EXPECT_NE(Summary().find("Herkunft: Datei „flug.csv“\n"), std::string::npos);
  EXPECT_EQ(Panel(1), "Flug geöffnet: flug.csv, 90 Datensätze");
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorSuccess);
}

TEST_F(AnalysisTest, MarkersOfTheDownloadGraphAreTheRangeWhereTheCursorsStart) {
  Download(GpsFlight(200));
  ASSERT_EQ(Page()->FlightInHand()->rangeLast, 199);
  QTest::mouseClick(form->PaintBox1, Qt::LeftButton, {}, QPoint(100, 60));
  QTest::mouseClick(form->PaintBox1, Qt::RightButton, {}, QPoint(300, 60));
  const int first = form->Flight.ExportFirstIndex, last = form->Flight.ExportLastIndex;
  ASSERT_GT(first, 0);
  ASSERT_LT(last, 199);
  EXPECT_EQ(Page()->FlightInHand()->rangeFirst, first);
  EXPECT_EQ(Page()->FlightInHand()->rangeLast, last);
  AnalysisWindow* w = Diagram();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->Chart->CursorRecord(FlightChart::A), first);
  EXPECT_EQ(w->Chart->CursorRecord(FlightChart::B), last);
  // The range is shaded: a pixel of the lanes' background inside it differs from one
  // outside it.
  const QSize size(800, 400);
  QImage img(size, QImage::Format_RGB32);
  {
    QPainter p(&img);
    w->Chart->Render(p, size);
  }
  const QRect lane = w->Chart->LaneRect(0, static_cast<int>(w->Chart->ShownLanes().size()), size);
  const int inside = static_cast<int>(w->Chart->XOfRecord((first + last) / 2.0 + 0.3, size));
  const int outside = static_cast<int>(w->Chart->XOfRecord(first / 2.0 + 0.3, size));
  EXPECT_NE(img.pixel(inside, lane.bottom() - 1), img.pixel(outside, lane.bottom() - 1));
  // A file opened afterwards is not narrowed by the markers.
  const std::string csv = TempPath("m.csv");
  Save(csv);
  Open(csv);
  const int records = Page()->FlightInHand()->Count();
  QTest::mouseClick(form->PaintBox1, Qt::LeftButton, {}, QPoint(50, 60));
  EXPECT_EQ(Page()->FlightInHand()->rangeFirst, 0);
  EXPECT_EQ(Page()->FlightInHand()->rangeLast, records - 1);
}

TEST_F(AnalysisTest, CopySurvivesResetAndConfigurationReadUntilTheNextDownload) {
  const SimFlight f = GpsFlight(60);
  Download(f);
  AnalysisWindow* w = Diagram();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->NoticeLabel->text().toStdString(), "Flug: letzter Download, 60 Datensätze");
  const analysis::Flight before = *Page()->FlightInHand();
  const std::string summary = Summary();
  w->Chart->SetCursorRecord(FlightChart::A, 10);

  // "zum Anfang" and a new configuration read, which zeroes the table's records.
  QTest::mouseClick(form->ResetButton1, Qt::LeftButton);
  EXPECT_EQ(form->Flight.LastSampleIndex, 0);
  ReadConfiguration();
  ASSERT_TRUE(WaitFor([&] { return form->Flags.ConfigRead; }));
  EXPECT_EQ(form->Flight.SampleTable[5].b[0], 0);
  const analysis::Flight* after = Page()->FlightInHand();
  for (int c = 0; c < analysis::kColumnCount; ++c)
    EXPECT_EQ(after->columns[c], before.columns[c]) << c;
  EXPECT_EQ(Summary(), summary);
  EXPECT_EQ(w->Chart->CursorRecord(FlightChart::A), 10);
  EXPECT_EQ(w->StatsTable->item(0, 1)->text().toStdString(), std::to_string(f.records[10].adc16));

  // The next download is the new flight in hand; the open window shows it and says so.
  QTest::mouseClick(form->LoggerButton, Qt::LeftButton);
  ASSERT_TRUE(
      WaitFor([&] { return form->SaveButton->isEnabled() && form->Flight.LastSampleIndex == 59; }));
  EXPECT_NE(Page()->FlightInHand(), after);
  EXPECT_EQ(w->NoticeLabel->text().toStdString(),
            "Neuer Flug übernommen: letzter Download, 60 Datensätze");
  EXPECT_EQ(w->Chart->CursorRecord(FlightChart::A), 0);
  EXPECT_EQ(w->Chart->CursorRecord(FlightChart::B), 59);
}

TEST_F(AnalysisTest, BrokenOrMissingFilesAreRefusedAndTheFlightInHandStays) {
  WindowWithoutLogger();
  form->PageControl1->setCurrentIndex(2);
  auto fd =
      TableWith(5, 0x01, 0x00, 0, [](int i, SampleRecord& r) { r.b[1] = static_cast<uint8_t>(i); });
  const std::string good = TempPath("gut.csv");
  ASSERT_TRUE(WriteFile(good, CsvOf(*fd)));
  Open(good);
  ASSERT_NE(Page()->FlightInHand(), nullptr);
  const analysis::Flight* kept = Page()->FlightInHand();

  // Line 4 has 15 values.
  std::string text = CsvOf(*fd);
  const auto lines = Split(text, "\r\n");
  std::string broken = lines[0] + "\r\n" + lines[1] + "\r\n" + lines[2] + "\r\n" +
                       lines[3].substr(0, lines[3].size() - 2) + "\r\n";
  ASSERT_TRUE(WriteFile(TempPath("kaputt.csv"), broken));
  Open(TempPath("kaputt.csv"));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].kind, BoxKind::Error);
  EXPECT_EQ(
      ui.boxes[0].text,
      "Die Datei „kaputt.csv“ ist keine CSV-Datei dieses Programms.\rZeile 4: 15 Werte statt 16");
  EXPECT_EQ(Page()->FlightInHand(), kept);

  Open(TempPath("fehlt.csv"));
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].kind, BoxKind::Error);
  EXPECT_EQ(ui.boxes[1].text, "Datei nicht gefunden");
  EXPECT_EQ(Page()->FlightInHand(), kept);
  // A cancelled dialog changes nothing and shows nothing.
  QTest::mouseClick(Page()->OpenButton, Qt::LeftButton);
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(Page()->FlightInHand(), kept);
  // Without GPS no track files.
  EXPECT_TRUE(Page()->DiagramButton->isEnabled());
  EXPECT_FALSE(Page()->GpxButton->isEnabled());
  EXPECT_FALSE(Page()->KmlButton->isEnabled());
  EXPECT_NE(Summary().find("Kanäle: 16-Bit-ADC\n"), std::string::npos) << Summary();
  EXPECT_NE(Summary().find("Dauer: 0,08 s"), std::string::npos) << Summary();  // 4 x 0.02 s
}

TEST_F(AnalysisTest, CursorsFollowMouseAndKeysAndTheTableMeasuresBetweenThem) {
  WindowWithoutLogger();
  const int n = 400;
  auto fd = TableWith(n, 0x03, 0x00, 24, [](int i, SampleRecord& r) {
    const int v = 10000 + ((i * 37) % 101) * 3;
    r.b[0] = static_cast<uint8_t>(v >> 8);
    r.b[1] = static_cast<uint8_t>(v);
    r.b[3] = static_cast<uint8_t>(i);
  });
  ASSERT_TRUE(WriteFile(TempPath("flug.csv"), CsvOf(*fd)));
  Open(TempPath("flug.csv"));
  AnalysisWindow* w = Diagram();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle().toStdString(), "Flugauswertung");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // not modal
  EXPECT_TRUE(form->isEnabled());
  w->resize(1000, 700);
  QApplication::processEvents();
  FlightChart* chart = w->Chart;
  // A file: the cursors start at its first and last record.
  EXPECT_EQ(chart->CursorRecord(FlightChart::A), 0);
  EXPECT_EQ(chart->CursorRecord(FlightChart::B), n - 1);

  // A click places the nearer cursor: near the start A, near the end B.
  ClickAtRecord(chart, 100);
  EXPECT_EQ(chart->CursorRecord(FlightChart::A), 100);
  EXPECT_EQ(chart->ActiveCursor(), FlightChart::A);
  ClickAtRecord(chart, 300);
  EXPECT_EQ(chart->CursorRecord(FlightChart::B), 300);
  EXPECT_EQ(chart->ActiveCursor(), FlightChart::B);
  EXPECT_EQ(chart->CursorRecord(FlightChart::A), 100);

  // Keys: Tab switches to A and keeps the focus, arrows move it by one record; Ctrl+Tab
  // leaves the diagram for the lane list.
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w));
  chart->setFocus();
  QTest::keyClick(chart, Qt::Key_Tab);
  EXPECT_EQ(chart->ActiveCursor(), FlightChart::A);
  EXPECT_TRUE(chart->hasFocus());
  QTest::keyClick(chart, Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_TRUE(w->LaneList->hasFocus());
  EXPECT_EQ(chart->ActiveCursor(), FlightChart::A);
  chart->setFocus();
  QTest::keyClick(chart, Qt::Key_Right);
  QTest::keyClick(chart, Qt::Key_Right);
  QTest::keyClick(chart, Qt::Key_Left);
  EXPECT_EQ(chart->CursorRecord(FlightChart::A), 101);
  QTest::keyClick(chart, Qt::Key_Tab);
  QTest::keyClick(chart, Qt::Key_Left);
  EXPECT_EQ(chart->CursorRecord(FlightChart::B), 299);

  // Dragging cursor A moves it.
  const int ax = static_cast<int>(std::lround(chart->XOfRecord(101, chart->size())));
  const int to = static_cast<int>(std::lround(chart->XOfRecord(150, chart->size())));
  const int y = chart->PlotRect().center().y();
  Drag(chart, QPoint(ax, y), QPoint(to, y));
  EXPECT_EQ(chart->CursorRecord(FlightChart::A), chart->RecordAtX(to, chart->size()));
  EXPECT_EQ(chart->CursorRecord(FlightChart::B), 299);

  // The table: values at A and B, difference, min, max, mean computed here.
  const int a = chart->CursorRecord(FlightChart::A), b = chart->CursorRecord(FlightChart::B);
  const analysis::Flight& f = *Page()->FlightInHand();
  double mn = 1e9, mx = -1e9, sum = 0;
  for (int i = a; i <= b; ++i) {
    const double v = static_cast<double>(f.columns[analysis::kAdc16][i]);
    mn = std::min(mn, v), mx = std::max(mx, v), sum += v;
  }
  QTableWidget* t = w->StatsTable;
  ASSERT_EQ(t->rowCount(), 2);
  EXPECT_EQ(t->item(0, 0)->text().toStdString(), "16-Bit-ADC");
  EXPECT_EQ(t->item(0, 1)->text().toLongLong(), f.columns[analysis::kAdc16][a]);
  EXPECT_EQ(t->item(0, 2)->text().toLongLong(), f.columns[analysis::kAdc16][b]);
  EXPECT_EQ(t->item(0, 3)->text().toLongLong(),
            f.columns[analysis::kAdc16][b] - f.columns[analysis::kAdc16][a]);
  EXPECT_EQ(t->item(0, 4)->text().toDouble(), mn);
  EXPECT_EQ(t->item(0, 5)->text().toDouble(), mx);
  EXPECT_EQ(t->item(0, 6)->text().toStdString(), analysis::GermanNumber(sum / (b - a + 1), 2));
  EXPECT_EQ(t->item(1, 0)->text().toStdString(), "ADC 0");
  EXPECT_EQ(t->item(1, 3)->text().toInt(), (b & 0xFF) - (a & 0xFF));
  // 0.5 s per record.
  EXPECT_NE(w->TimeLabel->text().toStdString().find("Zeit zwischen A und B: " +
                                                    analysis::FormatHms((b - a) * 0.5)),
            std::string::npos)
      << w->TimeLabel->text().toStdString();

  // Wheel zooms around the mouse, dragging elsewhere pans, Home shows everything.
  const QPoint mid(static_cast<int>(std::lround(chart->XOfRecord(200, chart->size()))), y);
  QWheelEvent wheel(QPointF(mid), chart->mapToGlobal(QPointF(mid)), QPoint(), QPoint(0, 360),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(chart, &wheel);
  const double span = chart->ViewEnd() - chart->ViewStart();
  EXPECT_LT(span, 0.6 * (n - 1));
  EXPECT_NEAR(chart->XOfRecord(200, chart->size()), mid.x(),
              1.0);  // the record under the mouse stays
  const double startBefore = chart->ViewStart();
  const int freeX = static_cast<int>(std::lround(chart->XOfRecord(180, chart->size())));
  Drag(chart, QPoint(freeX, y), QPoint(freeX + 100, y));
  EXPECT_LT(chart->ViewStart(), startBefore);
  EXPECT_NEAR(chart->ViewEnd() - chart->ViewStart(), span, 1e-6);
  EXPECT_EQ(chart->CursorRecord(FlightChart::A), a);  // panning moves no cursor
  EXPECT_EQ(chart->CursorRecord(FlightChart::B), b);
  QTest::keyClick(chart, Qt::Key_Home);
  EXPECT_DOUBLE_EQ(chart->ViewStart(), 0);
  EXPECT_DOUBLE_EQ(chart->ViewEnd(), n - 1);

  // Ctrl + drag: a zoom box from record 40 to 80.
  const int x40 = static_cast<int>(std::lround(chart->XOfRecord(40, chart->size())));
  const int x80 = static_cast<int>(std::lround(chart->XOfRecord(80, chart->size())));
  Drag(chart, QPoint(x40, y), QPoint(x80, y), Qt::ControlModifier);
  EXPECT_NEAR(chart->ViewStart(), 40, 1.0);
  EXPECT_NEAR(chart->ViewEnd(), 80, 1.0);
  EXPECT_EQ(chart->CursorRecord(FlightChart::A), a);
  // "Alles zeigen" button.
  QTest::mouseClick(w->ShowAllButton, Qt::LeftButton);
  EXPECT_DOUBLE_EQ(chart->ViewEnd(), n - 1);
  // + and - zoom around the active cursor.
  QTest::keyClick(chart, Qt::Key_Plus);
  EXPECT_NEAR(chart->ViewEnd() - chart->ViewStart(), (n - 1) / 2.0, 1e-6);
  EXPECT_LE(chart->ViewStart(), chart->CursorRecord(chart->ActiveCursor()));
  EXPECT_GE(chart->ViewEnd(), chart->CursorRecord(chart->ActiveCursor()));
  QTest::keyClick(chart, Qt::Key_Minus);
  EXPECT_DOUBLE_EQ(chart->ViewEnd() - chart->ViewStart(), n - 1);

  // The lane list hides a lane: its row leaves the table.
  ASSERT_EQ(w->LaneList->count(), 2);
  w->LaneList->item(1)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(chart->ShownLanes().size(), 1u);
  EXPECT_EQ(t->rowCount(), 1);
  // The space bar toggles the current lane back on.
  w->LaneList->setFocus();
  w->LaneList->setCurrentRow(1);
  QTest::keyClick(w->LaneList, Qt::Key_Space);
  EXPECT_EQ(w->LaneList->item(1)->checkState(), Qt::Checked);
  EXPECT_EQ(t->rowCount(), 2);
  EXPECT_FALSE(chart->accessibleName().isEmpty());
  EXPECT_FALSE(w->LaneList->accessibleName().isEmpty());
  EXPECT_FALSE(w->StatsTable->accessibleName().isEmpty());
}

TEST_F(AnalysisTest, AOneRecordSpikeStaysVisibleAtEveryZoom) {
  WindowWithoutLogger();
  const int n = 65536, spike = 40001;
  auto fd =
      TableWith(n, 0x20, 0x00, 0, [&](int i, SampleRecord& r) { r.b[7] = i == spike ? 250 : 10; });
  ASSERT_TRUE(WriteFile(TempPath("spitze.csv"), CsvOf(*fd)));
  Open(TempPath("spitze.csv"));
  AnalysisWindow* w = Diagram();
  ASSERT_NE(w, nullptr);
  FlightChart* chart = w->Chart;
  for (int width : {400, 1280}) {
    const QSize size(width, 300);
    for (double span : {65535.0, 20000.0, 3000.0, 400.0, 30.0}) {
      chart->SetView(spike - span * 0.4, spike + span * 0.6);
      QImage img(size, QImage::Format_RGB32);
      {
        QPainter p(&img);
        chart->Render(p, size);
      }
      const QRect lane = chart->LaneRect(0, 1, size);
      const int x = static_cast<int>(std::floor(chart->XOfRecord(spike, size)));
      // The trace reaches the spike's height on the lane's axis at the spike's column (the
      // cursors lie far outside this view), and stays low far from it.
      const int y = SpikeY(chart->LaneAxis(analysis::kAdc4, size), lane, 250);
      auto dark = [&](int px, int py) { return qGray(img.pixel(px, py)) < 100; };
      bool top = false;
      for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -2; dy <= 2; ++dy) top = top || dark(x + dx, y + dy);
      EXPECT_TRUE(top) << "width " << width << " span " << span;
      const int far = x > width / 2 ? lane.left() + 5 : lane.right() - 5;
      bool farTop = false;
      for (int dy = -1; dy <= 1; ++dy) farTop = farTop || dark(far, y + dy);
      EXPECT_FALSE(farTop) << "width " << width << " span " << span;
    }
  }
}

TEST_F(AnalysisTest, TrackFilesAndThePictureAreWrittenBetweenTheCursors) {
  const SimFlight f = GpsFlight(50);
  Download(f);
  form->PageControl1->setCurrentIndex(2);
  // Before the window is opened the files cover the export range (the whole download).
  ui.fileAnswers.push_back(TempPath("alles"));  // no extension: ".gpx" is added
  QTest::mouseClick(Page()->GpxButton, Qt::LeftButton);
  ASSERT_EQ(ui.fileRequests.back().filter, "GPX-Dateien (*.gpx)");
  EXPECT_EQ(ui.fileRequests.back().initialName, "flug.gpx");
  const analysis::Flight& inHand = *Page()->FlightInHand();
  EXPECT_EQ(ReadFile(TempPath("alles.gpx")), analysis::GpxText(inHand, 0, 49, "flug"));
  EXPECT_EQ(Panel(1), "GPX-Datei gespeichert: 50 Punkte von Datensatz 0 bis 49");

  AnalysisWindow* w = Diagram();
  ASSERT_NE(w, nullptr);
  w->Chart->SetCursorRecord(FlightChart::A, 30);
  w->Chart->SetCursorRecord(FlightChart::B, 12);
  ui.fileAnswers.push_back(TempPath("teil.kml"));
  QTest::mouseClick(Page()->KmlButton, Qt::LeftButton);
  EXPECT_EQ(ReadFile(TempPath("teil.kml")), analysis::KmlText(inHand, 12, 30, "flug"));
  EXPECT_EQ(Panel(1), "KML-Datei gespeichert: 19 Punkte von Datensatz 12 bis 30");
  // A folder that does not exist: the German error, no file.
  ui.fileAnswers.push_back(TempPath("nix/teil.gpx"));
  QTest::mouseClick(Page()->GpxButton, Qt::LeftButton);
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, "Ungültiger Dateiname");

  // "Bild speichern…": PNG of the diagram and the track, and PDF.
  w->resize(900, 600);
  QApplication::processEvents();
  ui.fileAnswers.push_back(TempPath("bild"));
  QTest::mouseClick(w->SaveImageButton, Qt::LeftButton);
  QImage png;
  ASSERT_TRUE(png.load(QString::fromStdString(TempPath("bild.png")), "PNG"));
  EXPECT_EQ(png.width(), w->Chart->width() + w->Track->width());
  EXPECT_EQ(png.height(), std::max(w->Chart->height(), w->Track->height()));
  EXPECT_EQ(png.pixel(w->Chart->width() + 5, w->Track->height() / 2) != png.pixel(5, 5), true);
  ui.fileAnswers.push_back(TempPath("bild.pdf"));
  QTest::mouseClick(w->SaveImageButton, Qt::LeftButton);
  EXPECT_EQ(ReadFile(TempPath("bild.pdf")).rfind("%PDF", 0), 0u);
  EXPECT_EQ(Panel(1), "Bild gespeichert: " + TempPath("bild.pdf"));

  // The track shows A and B where their records lie.
  QPointF at;
  ASSERT_TRUE(w->Track->PositionOf(30, w->Track->rect(), at));
  EXPECT_TRUE(w->Track->rect().contains(at.toPoint()));

  // Escape closes the window; "Diagramm…" brings it back with the cursors where they were.
  QTest::keyClick(w->Chart, Qt::Key_Escape);
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(Diagram(), w);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->Chart->CursorRecord(FlightChart::A), 30);
}

TEST_F(AnalysisTest, SmallestFlightsAndFlightsWithoutChannelsDrawAndMeasure) {
  WindowWithoutLogger();
  // One record: both cursors on it, every key and click keeps them there.
  auto one = TableWith(1, 0x01, 0x40, 49, [](int, SampleRecord& r) {
    r.b[1] = 77;
    r.b[18] = 5;  // a fix
  });
  ASSERT_TRUE(WriteFile(TempPath("eins.csv"), CsvOf(*one)));
  Open(TempPath("eins.csv"));
  AnalysisWindow* w = Diagram();
  ASSERT_NE(w, nullptr);
  FlightChart* chart = w->Chart;
  EXPECT_EQ(chart->CursorRecord(FlightChart::A), 0);
  EXPECT_EQ(chart->CursorRecord(FlightChart::B), 0);
  ClickAtRecord(chart, 0);
  for (auto key :
       {Qt::Key_Right, Qt::Key_Left, Qt::Key_Tab, Qt::Key_Right, Qt::Key_Plus, Qt::Key_Home})
    QTest::keyClick(chart, key);
  EXPECT_EQ(chart->CursorRecord(FlightChart::A), 0);
  EXPECT_EQ(chart->CursorRecord(FlightChart::B), 0);
  EXPECT_EQ(w->StatsTable->item(0, 1)->text().toStdString(), "77");
  EXPECT_EQ(w->StatsTable->item(0, 6)->text().toStdString(), "77,00");
  EXPECT_NE(w->TimeLabel->text().toStdString().find("Zeit zwischen A und B: 0 s"),
            std::string::npos);
  EXPECT_FALSE(w->DiagramImage().isNull());

  // No channel recorded: no lanes, an empty table, a picture all the same.
  auto none = TableWith(10, 0x00, 0x00, 0, [](int, SampleRecord&) {});
  ASSERT_TRUE(WriteFile(TempPath("leer.csv"), CsvOf(*none)));
  Open(TempPath("leer.csv"));
  EXPECT_EQ(w->NoticeLabel->text().toStdString(),
            "Neuer Flug übernommen: Datei „leer.csv“, 10 Datensätze");
  EXPECT_TRUE(chart->ShownLanes().empty());
  EXPECT_EQ(w->StatsTable->rowCount(), 0);
  EXPECT_EQ(w->LaneList->count(), 0);
  EXPECT_NE(Summary().find("Kanäle: keine\nHöhe: nicht aufgezeichnet"), std::string::npos)
      << Summary();
  EXPECT_FALSE(w->DiagramImage().isNull());
}

TEST_F(AnalysisTest, AFlightOfTheSameLengthTakenIntoHandIsRedrawn) {
  WindowWithoutLogger();
  AnalysisWindow* w = OpenAdc4(
      300, [](int) { return 10; }, "erster.csv");
  ASSERT_NE(w, nullptr);
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
  QApplication::processEvents();
  PaintCounter counter;
  w->Chart->installEventFilter(&counter);
  // The same number of records, other values: the view stays the same, the lanes change.
  OpenAdc4(
      300, [](int i) { return 10 + i % 200; }, "zweiter.csv");
  ASSERT_TRUE(WaitFor([&] { return counter.paints > 0; }));
  EXPECT_EQ(w->Chart->FlightShown(), Page()->FlightInHand());
}

TEST_F(AnalysisTest, ASpikeOnTheRightEdgeOfTheViewShowsAtEveryPlotWidth) {
  WindowWithoutLogger();
  const int n = 6000;
  AnalysisWindow* w = OpenAdc4(
      n, [&](int i) { return i == n - 1 || i == 4000 ? 250 : 10; }, "rand.csv");
  ASSERT_NE(w, nullptr);
  FlightChart* chart = w->Chart;
  const int labels = chart->PlotRect(QSize(1000, 200)).left();
  const int margin = 1000 - chart->PlotRect(QSize(1000, 200)).right() - 1;
  for (int plotWidth = 50; plotWidth <= 2000; ++plotWidth) {
    const QSize size(plotWidth + labels + margin, 140);
    ASSERT_EQ(chart->PlotRect(size).width(), plotWidth);
    // The whole flight (its last record), and a zoomed view that ends on record 4000.
    for (auto [from, to, spike] : {std::tuple{0.0, n - 1.0, n - 1}, {1234.5, 4000.0, 4000}}) {
      chart->SetView(from, to);
      ASSERT_DOUBLE_EQ(chart->ViewEnd(), to);
      QImage img(size, QImage::Format_RGB32);
      {
        QPainter p(&img);
        chart->Render(p, size);
      }
      const QRect lane = chart->LaneRect(0, 1, size);
      const int x = static_cast<int>(std::floor(chart->XOfRecord(spike, size)));
      ASSERT_LE(x, lane.right()) << plotWidth;
      const int y = SpikeY(chart->LaneAxis(analysis::kAdc4, size), lane, 250);
      bool seen = false;
      for (int dy = -2; dy <= 2; ++dy) seen = seen || qGray(img.pixel(x, y + dy)) < 100;
      ASSERT_TRUE(seen) << "plot width " << plotWidth << " view " << from << ".." << to;
    }
  }
}

TEST_F(AnalysisTest, EveryLaneHasAReadableValueScaleThatFollowsTheZoom) {
  WindowWithoutLogger();
  // Every channel; ADC4 flat at 10 for the first half, then 200.
  auto fd = TableWith(2000, 0xFF, 0x77, 0, [](int i, SampleRecord& r) {
    r.b[0] = 0x28;
    r.b[1] = static_cast<uint8_t>(i % 2);  // the altitude reading flickers by one count
    r.b[7] = i < 1000 ? 10 : 200;
    r.b[15] = 27;
    r.b[18] = static_cast<uint8_t>(1 + i % 50);
    r.b[20] = 7;
  });
  ASSERT_TRUE(WriteFile(TempPath("alle.csv"), CsvOf(*fd)));
  Open(TempPath("alle.csv"));
  AnalysisWindow* w = Diagram();
  ASSERT_NE(w, nullptr);
  QApplication::processEvents();
  FlightChart* chart = w->Chart;
  const auto lanes = chart->ShownLanes();
  ASSERT_EQ(lanes.size(), 19u);  // sixteen recorded, speed, distance and track length
  const QSize size = chart->size();
  QImage img(size, QImage::Format_RGB32);
  {
    QPainter p(&img);
    p.setFont(chart->font());
    chart->Render(p, size);
  }
  const int labelRight = chart->PlotRect(size).left() - 6;
  auto inkIn = [&](const QRect& box) {
    for (int y = box.top(); y <= box.bottom(); ++y)
      for (int x = box.left(); x <= box.right(); ++x)
        if (qGray(img.pixel(x, y)) < 160) return true;
    return false;
  };
  for (size_t k = 0; k < lanes.size(); ++k) {
    const int count = static_cast<int>(lanes.size());
    const QRect lane = chart->LaneRect(static_cast<int>(k), count, size);
    // Tall enough for its labels, the altitude lane the tallest.
    EXPECT_GE(lane.height(), chart->MinimumLaneHeight()) << k;
    if (k > 0) {
      EXPECT_GT(chart->LaneRect(0, count, size).height(), lane.height());
    }
    // A value at the top and one at the bottom, right of the name and the unit.
    const int half = lane.height() / 2;
    EXPECT_TRUE(inkIn(QRect(labelRight - 30, lane.top(), 30, half))) << k;
    EXPECT_TRUE(inkIn(QRect(labelRight - 30, lane.top() + half, 30, lane.height() - half))) << k;
  }
  EXPECT_EQ(chart->UnitOf(analysis::kAdc16).toStdString(), "roh");
  EXPECT_EQ(chart->UnitOf(analysis::kLatitude).toStdString(), "°");
  // The one-count flicker of the altitude reading stays small in its lane.
  const analysis::ValueAxis alt = chart->LaneAxis(analysis::kAdc16, size);
  EXPECT_LE(1 / (alt.hi - alt.lo), 0.1);
  // Zoomed into the flat first half, ADC4's scale fits it, not the whole flight.
  const analysis::ValueAxis all = chart->LaneAxis(analysis::kAdc4, size);
  EXPECT_GE(all.hi, 200);
  chart->SetView(100, 900);
  const analysis::ValueAxis zoomed = chart->LaneAxis(analysis::kAdc4, size);
  EXPECT_LT(zoomed.hi, 30);
  EXPECT_GT(zoomed.lo, -10);
}

TEST_F(AnalysisTest, RecordsWithoutAFixLeaveTheCoordinateLanesTheTableAndTheTrack) {
  WindowWithoutLogger();
  // Records 40..59 without a fix, record 70 zeroed (degree offset 0: −100° as a number).
  auto fd = TableWith(100, 0x01, 0x40, 49, [](int i, SampleRecord& r) {
    r.b[1] = static_cast<uint8_t>(i);
    if (i >= 40 && i < 60) return;
    r.b[17] = static_cast<uint8_t>((12000 + 10 * i) >> 8);
    r.b[18] = static_cast<uint8_t>(12000 + 10 * i);
    r.b[19] = static_cast<uint8_t>((30000 + 7 * i) >> 8);
    r.b[20] = static_cast<uint8_t>(30000 + 7 * i);
  });
  fd->SampleTable[70] = SampleRecord{};
  ASSERT_TRUE(WriteFile(TempPath("luecke.csv"), CsvOf(*fd)));
  Open(TempPath("luecke.csv"));
  AnalysisWindow* w = Diagram();
  ASSERT_NE(w, nullptr);
  const double latMin = 47 + 12000 / 60000.0, latMax = 47 + 12990 / 60000.0;
  const analysis::ValueAxis lat = w->Chart->LaneAxis(analysis::kLatitude, w->Chart->size());
  EXPECT_GT(lat.lo, latMin - 0.01);
  EXPECT_LT(lat.hi, latMax + 0.01);
  // The table's row "Breite": minimum and mean of the 79 fixes, not of the gaps.
  QTableWidget* t = w->StatsTable;
  int row = -1;
  for (int r = 0; r < t->rowCount(); ++r)
    if (t->item(r, 0)->text() == QStringLiteral("Breite")) row = r;
  ASSERT_GE(row, 0);
  EXPECT_EQ(t->item(row, 4)->text().toStdString(), analysis::GermanNumber(latMin, 6));
  double sum = 0;
  int fixes = 0;
  for (int i = 0; i < 100; ++i)
    if ((i < 40 || i >= 60) && i != 70) sum += 47 + (12000 + 10 * i) / 60000.0, ++fixes;
  EXPECT_EQ(fixes, 79);
  EXPECT_EQ(t->item(row, 6)->text().toStdString(), analysis::GermanNumber(sum / fixes, 6));
  // A cursor on a record without a fix has no position: "–".
  w->Chart->SetCursorRecord(FlightChart::A, 50);
  EXPECT_EQ(t->item(row, 1)->text().toStdString(), "–");
  // The track falls into three pieces: 0..39, 60..69, 71..99.
  EXPECT_EQ(w->Track->PieceCount(), 3u);
}

TEST_F(AnalysisTest, TrackFilesAndPicturesAskBeforeReplacingAndStartInTheFlightsFolder) {
  WindowWithoutLogger();
  // GPS recorded; records 0..9 without a fix.
  auto fd = TableWith(30, 0x01, 0x40, 49, [](int i, SampleRecord& r) {
    if (i < 10) return;
    r.b[18] = static_cast<uint8_t>(i);
    r.b[20] = static_cast<uint8_t>(i);
  });
  ASSERT_TRUE(WriteFile(TempPath("reise.csv"), CsvOf(*fd)));
  Open(TempPath("reise.csv"));
  AnalysisWindow* w = Diagram();
  ASSERT_NE(w, nullptr);

  // A range without any fix: a box says so, no dialog, no file.
  w->Chart->SetCursorRecord(FlightChart::A, 2);
  w->Chart->SetCursorRecord(FlightChart::B, 8);
  const size_t dialogs = ui.fileRequests.size();
  QTest::mouseClick(Page()->GpxButton, Qt::LeftButton);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text,
            "Zwischen Datensatz 2 und 8 hat kein Datensatz eine GPS-Position.\rEs wurde keine "
            "Datei geschrieben.");
  EXPECT_EQ(ui.fileRequests.size(), dialogs);

  // The dialog starts in the flight's folder; a name with a dot gets its extension.
  w->Chart->SetCursorRecord(FlightChart::B, 29);
  ui.fileAnswers.push_back(TempPath("reise.2024"));
  QTest::mouseClick(Page()->GpxButton, Qt::LeftButton);
  EXPECT_EQ(ui.fileRequests.back().initialName, TempPath("reise.gpx"));
  const std::string gpx = ReadFile(TempPath("reise.2024.gpx"));
  EXPECT_NE(gpx.find("<trkpt"), std::string::npos);
  ui.fileAnswers.push_back(TempPath("reise.2024"));
  QTest::mouseClick(Page()->KmlButton, Qt::LeftButton);
  EXPECT_NE(ReadFile(TempPath("reise.2024.kml")).find("<LineString>"), std::string::npos);

  // The same name again: asked in German; "Abbrechen" keeps the old file, "Ja" replaces it.
  ASSERT_TRUE(WriteFile(TempPath("reise.2024.gpx"), "alt"));
  ui.fileAnswers.push_back(TempPath("reise.2024.gpx"));
  ui.confirmAnswers.push_back(false);
  QTest::mouseClick(Page()->GpxButton, Qt::LeftButton);
  ASSERT_TRUE(ui.boxes.back().confirm);
  EXPECT_EQ(ui.boxes.back().text,
            "Die Datei „reise.2024.gpx“ gibt es schon.\rSoll sie ersetzt werden?");
  EXPECT_EQ(ReadFile(TempPath("reise.2024.gpx")), "alt");
  ui.fileAnswers.push_back(TempPath("reise.2024.gpx"));
  ui.confirmAnswers.push_back(true);
  QTest::mouseClick(Page()->GpxButton, Qt::LeftButton);
  EXPECT_EQ(ReadFile(TempPath("reise.2024.gpx")), gpx);

  // The picture likewise.
  ui.fileAnswers.push_back(TempPath("bild.2024"));
  QTest::mouseClick(w->SaveImageButton, Qt::LeftButton);
  EXPECT_EQ(ui.fileRequests.back().initialName, TempPath("flugauswertung.png"));
  ASSERT_TRUE(WriteFile(TempPath("bild.2024.png"), "alt"));
  const size_t boxes = ui.boxes.size();
  ui.fileAnswers.push_back(TempPath("bild.2024"));
  ui.confirmAnswers.push_back(false);
  QTest::mouseClick(w->SaveImageButton, Qt::LeftButton);
  ASSERT_EQ(ui.boxes.size(), boxes + 1);
  EXPECT_TRUE(ui.boxes.back().confirm);
  EXPECT_EQ(ReadFile(TempPath("bild.2024.png")), "alt");
  // "Flug öffnen…" starts in the folder too.
  QTest::mouseClick(Page()->OpenButton, Qt::LeftButton);
  EXPECT_EQ(ui.fileRequests.back().initialName.rfind(TempPath(""), 0), 0u);
}

TEST_F(AnalysisTest, LabelsOfTheTrackMarksNeverCoverEachOther) {
  WindowWithoutLogger();
  // A round flight that lands where it started, the cursors at both ends.
  auto fd = TableWith(200, 0x01, 0x40, 49, [](int i, SampleRecord& r) {
    const double a = i * 2 * M_PI / 199;
    const int lat = 30000 + static_cast<int>(std::lround(400 * std::sin(a)));
    const int lon = 30000 + static_cast<int>(std::lround(600 * (1 - std::cos(a))));
    r.b[17] = static_cast<uint8_t>(lat >> 8), r.b[18] = static_cast<uint8_t>(lat);
    r.b[19] = static_cast<uint8_t>(lon >> 8), r.b[20] = static_cast<uint8_t>(lon);
  });
  ASSERT_TRUE(WriteFile(TempPath("runde.csv"), CsvOf(*fd)));
  Open(TempPath("runde.csv"));
  AnalysisWindow* w = Diagram();
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->Chart->CursorRecord(FlightChart::A), 0);
  ASSERT_EQ(w->Chart->CursorRecord(FlightChart::B), 199);
  for (QSize s : {QSize(200, 200), QSize(260, 420), QSize(600, 500)}) {
    const QRect r(QPoint(0, 0), s);
    QFont bold = w->Track->font();
    bold.setBold(true);
    const auto labels = w->Track->Labels(r, QFontMetrics(bold));
    ASSERT_EQ(labels.size(), 4u);
    for (size_t i = 0; i < labels.size(); ++i) {
      EXPECT_TRUE(QRectF(r).contains(labels[i].box)) << labels[i].text.toStdString();
      for (size_t j = 0; j < labels.size(); ++j) {
        if (i == j) continue;
        EXPECT_FALSE(labels[i].box.intersects(labels[j].box))
            << labels[i].text.toStdString() << " " << labels[j].text.toStdString();
        // No label on another mark either.
        EXPECT_FALSE(labels[i].box.contains(labels[j].mark)) << labels[i].text.toStdString();
      }
    }
  }
}

TEST_F(AnalysisTest, DurationOnTheTabIsTheTimeBetweenCursorsOverTheWholeFlight) {
  WindowWithoutLogger();
  AnalysisWindow* w = OpenAdc4(
      1200, [](int) { return 5; }, "dauer.csv");  // 0,02 s each
  ASSERT_NE(w, nullptr);
  const std::string dauer = "Dauer: " + analysis::FormatHms(1199 * 0.02);
  EXPECT_NE(Summary().find(dauer + "\n"), std::string::npos) << Summary();
  EXPECT_NE(w->TimeLabel->text().toStdString().find("Zeit zwischen A und B: " +
                                                    analysis::FormatHms(1199 * 0.02)),
            std::string::npos);
}

TEST_F(AnalysisTest, ChannelsDialogCalibratesTheAltitudeAndTheExportsFollow) {
  WindowWithoutLogger();
  // The 16-bit ADC reads the pressure: raw 1000 → 900 hPa, raw 3000 → 1000 hPa (so raw
  // r is 850 + r / 20 hPa); a fix in every record, one record a second.
  auto fd = TableWith(60, 0x01, 0x40, 49, [](int i, SampleRecord& r) {
    const int raw = 2975 - 10 * i;
    r.b[0] = static_cast<uint8_t>(raw >> 8), r.b[1] = static_cast<uint8_t>(raw);
    r.b[18] = static_cast<uint8_t>(1 + i), r.b[20] = static_cast<uint8_t>(1 + i);
  });
  ASSERT_TRUE(WriteFile(TempPath("hoch.csv"), CsvOf(*fd)));
  Open(TempPath("hoch.csv"));
  AnalysisWindow* w = Diagram();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->Chart->UnitOf(analysis::kAdc16).toStdString(), "roh");

  QString refused, computed;
  std::vector<std::string> unnamed;
  const QDateTime takeOff(QDate(2024, 5, 1), QTime(11, 30, 0), Qt::UTC);
  modal::Answerer answer([&](QWidget* dlg) {
    auto* d = qobject_cast<ChannelDialog*>(dlg);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->windowTitle().toStdString(), "Kanäle");
    // Every control has a name for assistive technology.
    for (QWidget* c : d->findChildren<QWidget*>()) {
      if (!c->isVisible() || c->focusPolicy() == Qt::NoFocus || qobject_cast<QLabel*>(c)) continue;
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
      if (a && a->text(QAccessible::Name).isEmpty() && !c->objectName().startsWith("qt_"))
        unnamed.push_back(c->metaObject()->className());
    }
    ASSERT_EQ(d->Table->item(0, ChannelDialog::kChannel)->text().toStdString(), "16-Bit-ADC");
    d->Table->setCurrentCell(0, ChannelDialog::kName);
    // Two equal reference points are refused; the factor stays.
    QTest::keyClicks(d->Raw1, "1000");
    QTest::keyClicks(d->Value1, "900");
    QTest::keyClicks(d->Raw2, "1000");
    QTest::keyClicks(d->Value2, "950");
    QTest::mouseClick(modal::Button(d, "Faktor und Offset berechnen"), Qt::LeftButton);
    refused = d->Message->text();
    EXPECT_EQ(d->Table->item(0, ChannelDialog::kFactor)->text().toStdString(), "1");
    d->Raw2->clear();
    d->Value2->clear();
    QTest::keyClicks(d->Raw2, "3000");
    QTest::keyClicks(d->Value2, "1000");
    QTest::mouseClick(modal::Button(d, "Faktor und Offset berechnen"), Qt::LeftButton);
    computed = d->Table->item(0, ChannelDialog::kFactor)->text() + " " +
               d->Table->item(0, ChannelDialog::kOffset)->text();
    d->Table->item(0, ChannelDialog::kUnit)->setText("hPa");
    d->AltitudeMethod->setCurrentIndex(1);  // hPa, then the standard atmosphere
    d->Qnh->setValue(1013.25);
    d->TakeOffGiven->setChecked(true);
    d->TakeOff->setDateTime(takeOff);
    QTest::mouseClick(modal::Button(d, "OK"), Qt::LeftButton);
  });
  QTest::mouseClick(w->ChannelsButton, Qt::LeftButton);
  EXPECT_TRUE(unnamed.empty()) << unnamed.front();
  EXPECT_EQ(refused.toStdString(),
            "Die beiden Bezugspunkte haben denselben Rohwert: durch sie geht keine Gerade.");
  EXPECT_EQ(computed.toStdString(), "0,05 850");

  // The altitude in metres by the standard atmosphere, computed here; the climb rate lane.
  const analysis::AnalysisChannel* alt = w->Chart->Channel(analysis::kAdc16);
  ASSERT_NE(alt, nullptr);
  EXPECT_EQ(alt->unit, "m");
  for (int i : {0, 30, 59}) {
    const double hPa = 850 + (2975 - 10 * i) / 20.0;
    EXPECT_NEAR(alt->values[i], 44330.77 * (1 - std::pow(hPa / 1013.25, 0.190263)), 0.01) << i;
  }
  ASSERT_NE(w->Chart->Channel(analysis::kClimbRate), nullptr);
  // Between A (record 0) and B (record 59): the altitude difference and the mean climb.
  std::map<std::string, std::string> between;
  for (int r = 0; r < w->StatsTable->rowCount(); ++r)
    between[w->StatsTable->item(r, 0)->text().toStdString()] =
        w->StatsTable->item(r, 3)->text().toStdString();
  auto h = [](int i) {
    return 44330.77 * (1 - std::pow((850 + (2975 - 10 * i) / 20.0) / 1013.25, 0.190263));
  };
  EXPECT_EQ(between["Höhenunterschied"], analysis::GermanNumber(h(59) - h(0), 1));
  EXPECT_EQ(between["mittleres Steigen"], analysis::GermanNumber((h(59) - h(0)) / 59, 2));
  EXPECT_EQ(between["geflogene Strecke"].empty(), false);
  // The profile is in the settings folder; the GPX points carry altitude and time.
  EXPECT_NE(ReadFile(dir / "morvala/kanaele-ohne-seriennummer.ini").find("Faktor=0.05"),
            std::string::npos);
  ui.fileAnswers.push_back(TempPath("hoch.gpx"));
  QTest::mouseClick(Page()->GpxButton, Qt::LeftButton);
  const std::string gpx = ReadFile(TempPath("hoch.gpx"));
  EXPECT_NE(gpx.find("<ele>" + analysis::FixedPoint(alt->values[0], 1) + "</ele>"),
            std::string::npos)
      << gpx.substr(0, 400);
  EXPECT_NE(gpx.find("<time>2024-05-01T11:30:01Z</time>"), std::string::npos);
  // "Auswertung als CSV…" between the cursors.
  ui.fileAnswers.push_back(TempPath("werte"));
  QTest::mouseClick(w->SaveCsvButton, Qt::LeftButton);
  EXPECT_EQ(ui.fileRequests.back().initialName, TempPath("hoch-auswertung.csv"));
  const std::string csv = ReadFile(TempPath("werte.csv"));
  EXPECT_EQ(csv.rfind("\xEF\xBB\xBFZeit (s);Höhe (m);", 0), 0u) << csv.substr(0, 80);

  // The same logger's next flight comes with the profile, but not with this flight's time.
  Open(TempPath("hoch.csv"));
  EXPECT_EQ(w->Chart->UnitOf(analysis::kAdc16).toStdString(), "m");
  EXPECT_FALSE(Page()->OptionsInHand().takeOffUtc.has_value());
  // A damaged profile: put aside, said so in German, the raw view stays.
  ASSERT_TRUE(WriteFile(dir / "morvala/kanaele-ohne-seriennummer.ini",
                        "[Kanalprofil]\r\nFormat=1\r\nHoehenverfahren=Luftdruck\r\n"));
  const size_t boxes = ui.boxes.size();
  Open(TempPath("hoch.csv"));
  ASSERT_EQ(ui.boxes.size(), boxes + 1);
  EXPECT_EQ(ui.boxes.back().kind, BoxKind::Warning);
  EXPECT_EQ(ui.boxes.back().text,
            "Das Kanalprofil „kanaele-ohne-seriennummer.ini“ ist beschädigt (Höhenverfahren "
            "„Luftdruck“ ist unbekannt).\rEs wurde als „kanaele-ohne-seriennummer.ini.defekt“ "
            "beiseitegelegt. Die Kanäle werden roh gezeigt.");
  EXPECT_EQ(w->Chart->UnitOf(analysis::kAdc16).toStdString(), "roh");
}

TEST_F(AnalysisTest, TheReadoutFollowsTheMouseAndTheCursorKeys) {
  WindowWithoutLogger();
  AnalysisWindow* w = OpenAdc4(
      200, [](int i) { return i; }, "lesen.csv");  // 0,02 s each
  ASSERT_NE(w, nullptr);
  FlightChart* chart = w->Chart;
  // The mouse over record 120: the line, the box and the label give its time and value.
  const QPoint at(static_cast<int>(std::lround(chart->XOfRecord(120, chart->size()))),
                  chart->PlotRect().center().y());
  QMouseEvent move(QEvent::MouseMove, QPointF(at), chart->mapToGlobal(QPointF(at)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(chart, &move);
  EXPECT_EQ(chart->HoverRecord(), 120);
  const std::string text = w->ReadoutLabel->text().toStdString();
  EXPECT_EQ(text, "Maus – Zeit 2,4 s (Datensatz 120) · ADC4: 120 roh") << text;
  // Read by assistive technology under its name.
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w->ReadoutLabel);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->text(QAccessible::Name).toStdString(), "Werte: " + text);
  // The mouse leaves: the readout is the active cursor's, and follows the arrow keys.
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(chart, &leave);
  EXPECT_EQ(chart->HoverRecord(), -1);
  chart->setFocus();
  QTest::keyClick(chart, Qt::Key_Right);
  EXPECT_EQ(w->ReadoutLabel->text().toStdString(), "A – Zeit 0,02 s (Datensatz 1) · ADC4: 1 roh");
  EXPECT_EQ(a->text(QAccessible::Name).toStdString(),
            "Werte: A – Zeit 0,02 s (Datensatz 1) · ADC4: 1 roh");
  QTest::keyClick(chart, Qt::Key_Tab);
  QTest::keyClick(chart, Qt::Key_Left);
  EXPECT_EQ(w->ReadoutLabel->text().toStdString(),
            "B – Zeit 3,96 s (Datensatz 198) · ADC4: 198 roh");
}

TEST_F(AnalysisTest, TheTrackIsColouredBySpeedWithALegend) {
  WindowWithoutLogger();
  // Slow in the first half, fast in the second: a tenth of a minute each second, then three.
  auto fd = TableWith(120, 0x01, 0x40, 49, [](int i, SampleRecord& r) {
    const int lat = 20000 + (i < 60 ? 100 * i : 6000 + 300 * (i - 60));
    r.b[17] = static_cast<uint8_t>(lat >> 8), r.b[18] = static_cast<uint8_t>(lat);
    r.b[19] = 0x10, r.b[20] = static_cast<uint8_t>(i);
  });
  ASSERT_TRUE(WriteFile(TempPath("farbe.csv"), CsvOf(*fd)));
  Open(TempPath("farbe.csv"));
  AnalysisWindow* w = Diagram();
  ASSERT_NE(w, nullptr);
  const QRect r(0, 0, 300, 400);
  auto count = [&](auto pred) {
    QImage img(r.size(), QImage::Format_RGB32);
    QPainter p(&img);
    w->Track->Render(p, r);
    p.end();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) n += pred(QColor(img.pixel(x, y)));
    return n;
  };
  auto blue = [](const QColor& c) { return c.blue() > 150 && c.red() < 80 && c.green() < 120; };
  auto red = [](const QColor& c) { return c.red() > 150 && c.blue() < 80 && c.green() < 80; };
  // In one colour only the cursors' marks are red and blue.
  const int redBefore = count(red), blueBefore = count(blue);
  const int index = w->TrackColour->findText(QStringLiteral("Spur nach Geschwindigkeit"));
  ASSERT_GE(index, 0);
  w->TrackColour->setCurrentIndex(index);
  // The slow half blue, the fast half red, and the legend's bar both.
  EXPECT_GT(count(blue), blueBefore + 100);
  EXPECT_GT(count(red), redBefore + 100);
  EXPECT_EQ(TrackView::RampColour(0, 0, 10).hue(), 240);
  EXPECT_EQ(TrackView::RampColour(10, 0, 10).hue(), 0);
}

TEST_F(AnalysisTest, LaneHeightsAreSetByTheUserAndKeptForTheNextSession) {
  WindowWithoutLogger();
  AnalysisWindow* w = OpenAdc4(
      100, [](int i) { return i % 7; }, "spuren.csv");
  ASSERT_NE(w, nullptr);
  FlightChart* chart = w->Chart;
  EXPECT_EQ(w->LaneHeight->value(), chart->MinimumLaneHeight());
  EXPECT_FALSE(w->LaneHeight->accessibleName().isEmpty());
  w->LaneHeight->setFocus();
  w->LaneHeight->selectAll();
  QTest::keyClicks(w->LaneHeight, "120");
  QApplication::processEvents();
  EXPECT_EQ(chart->LaneHeight(), 120);
  EXPECT_GE(chart->minimumHeight(), 120);
  // Never below what the labels need.
  chart->SetLaneHeight(5);
  EXPECT_EQ(chart->LaneHeight(), chart->MinimumLaneHeight());
  // Dragging the lower edge of the lane beside the plot sets the height, and the setting
  // follows.
  chart->SetLaneHeight(40);
  const QRect lane = chart->LaneRect(0, 1, chart->size());
  const QPoint edge(chart->PlotRect().left() - 20, lane.bottom() + 1);
  Drag(chart, edge, edge + QPoint(0, 80));
  EXPECT_NEAR(chart->LaneHeight(), lane.height() + 80, 2);
  EXPECT_EQ(w->LaneHeight->value(), chart->LaneHeight());
  w->LaneHeight->setValue(120);
  w->close();
  // The next window starts with that height.
  AnalysisWindow next(&io);
  EXPECT_EQ(next.LaneHeight->value(), 120);
  EXPECT_EQ(next.Chart->LaneHeight(), 120);
  EXPECT_NE(ReadFile(dir / "morvala/auswertung.ini").find("Spurhoehe=120"), std::string::npos);
}

TEST_F(AnalysisTest, AFlightWithoutSerialNumberCanTakeAnotherLoggersProfile) {
  WindowWithoutLogger();
  analysis::ChannelProfile logger;
  logger.serial = "012";
  logger.channels[analysis::kAdc4] = {"Akku", "V", 2, true, {0.05, 0}};
  analysis::SaveChannelProfile(logger);
  AnalysisWindow* w = OpenAdc4(
      50, [](int i) { return 100 + i; }, "ohne.csv");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->Chart->UnitOf(analysis::kAdc4).toStdString(), "roh");
  QStringList offered;
  modal::Answerer answer([&](QWidget* dlg) {
    auto* d = qobject_cast<ChannelDialog*>(dlg);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < d->ProfileChoice->count(); ++i) offered << d->ProfileChoice->itemText(i);
    d->ProfileChoice->setCurrentIndex(d->ProfileChoice->findText(QStringLiteral("Logger 012")));
    EXPECT_EQ(d->Table->item(0, ChannelDialog::kName)->text().toStdString(), "Akku");
    QTest::mouseClick(modal::Button(d, "OK"), Qt::LeftButton);
  });
  QTest::mouseClick(w->ChannelsButton, Qt::LeftButton);
  EXPECT_EQ(offered.join(",").toStdString(), "ohne Seriennummer,Logger 012");
  const analysis::AnalysisChannel* akku = w->Chart->Channel(analysis::kAdc4);
  ASSERT_NE(akku, nullptr);
  EXPECT_EQ(akku->name, "Akku");
  EXPECT_EQ(akku->unit, "V");
  EXPECT_DOUBLE_EQ(akku->values[10], 110 * 0.05);
}
