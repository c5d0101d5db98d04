// Downloading a flight through the window, narrowing it with the markers and saving the
// CSV, compared with a file computed here from the flight the simulator was given.
#include <cmath>

#include "tests/support/files.h"
#include "tests/support/text.h"
#include "tests/support/window_fixture.h"

using loggersim::SimFlight;
using loggersim::SimRecord;

namespace {

// Latitude and longitude minutes of a track that crosses whole degrees upwards and
// downwards: 59 990 -> 5 is one degree up, 5 -> 59 990 one down.
SimFlight FullFlight(int count) {
  SimFlight f;
  f.recordFlags1 = 0xFF;
  f.recordFlags2 = 0x7F;  // every recorded channel, telemetry off
  f.sampleRateCode = 49;
  f.headerByte6 = 6;
  f.headerByte7 = 77;
  f.headerByte8 = 250;
  f.headerWord9 = 54321;
  f.latHemisphere = 'S';
  f.latDegrees = 48;
  f.lonHemisphere = 'w';
  f.lonDegrees = 7;
  f.gpsHeaderValue = 66051;
  const uint16_t latTrack[] = {59000, 59990, 5, 900, 20, 59995, 59000, 59999, 1, 30000};
  const uint16_t lonTrack[] = {100, 5, 59990, 59000, 58000, 59999, 3, 4000, 59001, 9999};
  for (int i = 0; i < count; ++i) {
    SimRecord r;
    r.adc16 = static_cast<uint16_t>(8000 + 37 * i);
    for (int k = 0; k < 4; ++k) r.adc[k] = static_cast<uint16_t>((i * 97 + k * 301) % 1024);
    r.adc4 = static_cast<uint8_t>(i * 5);
    r.freq = static_cast<uint16_t>(60000 - i * 11);
    r.rpm = static_cast<uint16_t>(1234 + i * 257);
    r.rc[0] = static_cast<uint8_t>(i);
    r.rc[1] = static_cast<uint8_t>(255 - i);
    r.rc[2] = static_cast<uint8_t>(i * 3);
    r.tempInt = static_cast<uint8_t>(20 + i % 7);
    r.tempExt = static_cast<uint8_t>(200 - i % 9);
    r.latMin = latTrack[i % 10];
    r.lonMin = lonTrack[i % 10];
    r.gps3 = static_cast<uint16_t>(i * 1001);
    f.records.push_back(r);
  }
  return f;
}

std::string Minutes5(unsigned v) {
  std::string s = std::to_string(v);
  return std::string(5 - std::min<size_t>(5, s.size()), '0') + s;
}

// The file a spreadsheet gets for records first..last of the flight, as the logger sent it.
std::string ExpectedCsv(const SimFlight& f, int count, int first, int last) {
  const bool south = f.latHemisphere == 'S' || f.latHemisphere == 's';
  const bool west = f.lonHemisphere == 'W' || f.lonHemisphere == 'w';
  std::string out;
  auto v = [&out](long long x) { out += std::to_string(x) + ";"; };
  v(f.recordFlags1);
  v(f.recordFlags2);
  v(f.sampleRateCode);
  v(count);
  v(f.headerByte6);
  v(f.headerByte7);
  v(f.headerByte8);
  v(f.headerWord9);
  out += "\r\n";
  out += (south ? "-" : "") + std::to_string(f.latDegrees) + ";";
  out += (west ? "-" : "") + std::to_string(f.lonDegrees) + ";";
  v(f.gpsHeaderNone ? 0 : f.gpsHeaderValue);
  out += "\r\n";
  int latDeg = f.latDegrees, lonDeg = f.lonDegrees;
  for (int i = 0; i < count && i <= last; ++i) {
    const SimRecord& r = f.records[static_cast<size_t>(i)];
    if (i > 0) {
      const SimRecord& p = f.records[static_cast<size_t>(i - 1)];
      if (p.latMin > 50000 && r.latMin < 10000) ++latDeg;
      if (p.latMin < 10000 && r.latMin > 50000) --latDeg;
      if (p.lonMin > 50000 && r.lonMin < 10000) ++lonDeg;
      if (p.lonMin < 10000 && r.lonMin > 50000) --lonDeg;
    }
    if (i < first) continue;
    v(r.adc16);
    for (int k = 0; k < 4; ++k) v(r.adc[k]);
    v(r.adc4);
    v(r.freq);
    v(r.rpm);
    v(r.rc[0]);
    v(r.rc[1]);
    v(r.rc[2]);
    v(r.tempInt);
    v(r.tempExt);
    out += (south ? "-" : "") + std::to_string(latDeg) + Minutes5(r.latMin) + ";";
    out += (west ? "-" : "") + std::to_string(lonDeg) + Minutes5(r.lonMin) + ";";
    v(r.gps3);
    out += "\r\n";
  }
  return out;
}

class DownloadTest : public WindowTest {
 protected:
  void Download(const SimFlight& f, loggersim::SimFaults faults = {}) {
    flight = f;
    loggersim::SimOptions o = QuickOptions();
    o.baud = 0;
    o.faults = faults;
    StartSim(o, f);
    CreateWindow();
    // No configuration read yet: the download button reads it first.
    DownloadData();
  }
  // The CSV as saved under this name.
  std::string SavedCsv(const std::string& name) {
    Save(TempPath(name));
    return ReadFile(TempPath(name));
  }
  SimFlight flight;
};

}  // namespace

TEST_F(DownloadTest, FullFlightIsSavedByteForByte) {
  const int n = 40;
  Download(FullFlight(n));
  EXPECT_TRUE(form->Flags.ConfigRead);
  EXPECT_EQ(Sim().Downloads(), 1);
  EXPECT_EQ(Panel(0), std::to_string(n));
  EXPECT_EQ(Panel(1), std::to_string(n - 1) + " Datenblöcke gelesen - Datei nun speichern");
  EXPECT_EQ(form->StatusBar1->Color(), StatusColorSuccess);
  EXPECT_TRUE(form->SaveButton->isEnabled());
  EXPECT_TRUE(form->PaintBox1->isVisible());
  EXPECT_FALSE(form->Startbutton->isVisible());
  EXPECT_FALSE(form->LoggerButton->isVisible());
  EXPECT_FALSE(form->GroupBox1->isVisible());
  EXPECT_TRUE(ui.boxes.empty());

  const std::string csv = SavedCsv("flight.csv");
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_TRUE(ui.fileRequests[0].save);
  EXPECT_EQ(csv, ExpectedCsv(flight, n, 0, n - 1));
}

TEST_F(DownloadTest, MarkersNarrowTheExportAndResetLeavesOneRecord) {
  const int n = 60;
  Download(FullFlight(n));
  ASSERT_EQ(form->Flight.LastSampleIndex, n - 1);
  const int width = form->PaintBox1->width();
  const int last = n - 1;
  auto index = [&](int x) { return static_cast<int>(std::nearbyint(double(x * last) / width)); };

  QTest::mouseClick(form->PaintBox1, Qt::LeftButton, {}, QPoint(100, 60));
  QTest::mouseClick(form->PaintBox1, Qt::RightButton, {}, QPoint(300, 60));
  // Ignored: right marker left of the left one, left marker right of the right one.
  QTest::mouseClick(form->PaintBox1, Qt::RightButton, {}, QPoint(90, 60));
  QTest::mouseClick(form->PaintBox1, Qt::LeftButton, {}, QPoint(310, 60));
  EXPECT_EQ(form->Flight.ExportFirstIndex, index(100));
  EXPECT_EQ(form->Flight.ExportLastIndex, index(300));
  // The band left of the left marker is shown inverted; the middle is not.
  const QImage& img = form->PaintBox1->Surface();
  EXPECT_NE(img.pixel(50, 130), img.pixel(200, 130));

  const std::string narrowed = SavedCsv("part.csv");
  std::string expected = ExpectedCsv(flight, n, index(100), index(300));
  EXPECT_EQ(narrowed, expected);
  EXPECT_EQ(Split(narrowed, "\r\n").size(), static_cast<size_t>(index(300) - index(100) + 1 + 3));

  // "zum Anfang": the graph goes, the export button stays, one record line remains.
  QTest::mouseClick(form->ResetButton1, Qt::LeftButton);
  EXPECT_FALSE(form->PaintBox1->isVisible());
  EXPECT_TRUE(form->Startbutton->isVisible());
  EXPECT_TRUE(form->LoggerButton->isVisible());
  EXPECT_TRUE(form->SaveButton->isEnabled());
  const std::string one = SavedCsv("one.csv");
  EXPECT_EQ(one, ExpectedCsv(flight, 1, 0, 0));
}

TEST_F(DownloadTest, StreamCutShortInsideARecordKeepsItWithZeros) {
  SimFlight f = FullFlight(30);
  const int size = f.RecordSize();
  loggersim::SimFaults faults;
  faults.recordsStopAfter = 10 * size + 5;
  Download(f, faults);
  EXPECT_EQ(form->Flight.LastSampleIndex, 10);
  EXPECT_EQ(Panel(0), "11");
  EXPECT_EQ(Panel(1), "10 Datenblöcke gelesen - Datei nun speichern");
  const SampleRecord& cut = form->Flight.SampleTable[10];
  const SimRecord& sent = f.records[10];
  EXPECT_EQ(cut.b[0] * 256 + cut.b[1], sent.adc16);
  EXPECT_EQ((cut.b[2] & 3) * 256 + cut.b[3], sent.adc[0]);
  EXPECT_EQ(((cut.b[2] >> 2) & 3) * 256 + cut.b[4], sent.adc[1]);
  for (int k = 5; k <= 22; ++k) EXPECT_EQ(cut.b[k], 0) << "byte " << k;
  // The records before it are whole.
  const std::string csv = SavedCsv("cut.csv");
  const auto lines = Split(csv, "\r\n");
  ASSERT_EQ(lines.size(), 2u + 11u + 1u);
  const auto whole = Split(ExpectedCsv(f, 11, 0, 9), "\r\n");
  for (size_t i = 2; i < 12; ++i) EXPECT_EQ(lines[i], whole[i]) << "line " << i;
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DownloadTest, NoStartMarkerMeansNoData) {
  loggersim::SimFaults faults;
  faults.downloadStopAfter = 5;  // sync bytes only
  Download(FullFlight(20), faults);
  EXPECT_EQ(Sim().Downloads(), 1);
  EXPECT_EQ(CountBoxes(BoxKind::Information, "keine Daten empfangen !!!"), 1);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_FALSE(form->Startbutton->isVisible());
  EXPECT_FALSE(form->LoggerButton->isVisible());
  EXPECT_FALSE(form->SaveButton->isEnabled());
  EXPECT_TRUE(form->ResetButton1->isVisible());
}

TEST_F(DownloadTest, FewerThanSixRecordsAreKeptWithoutAGraph) {
  Download(FullFlight(5));
  EXPECT_EQ(form->Flight.LastSampleIndex, 4);
  EXPECT_EQ(Panel(0), "5");
  EXPECT_EQ(Panel(1), "4 Datenblöcke gelesen - Datei nun speichern");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "keine Daten empfangen !!!");
  EXPECT_TRUE(form->SaveButton->isEnabled());
  EXPECT_EQ(SavedCsv("five.csv"), ExpectedCsv(flight, 5, 0, 4));
}
