// The download against the simulated logger, an independent coding of the wire format.
#include <gtest/gtest.h>
#include <unistd.h>

#include "export/csvexport.h"
#include "flight/download.h"
#include "flight_support.h"
#include "serial/comport.h"
#include "serial/rxring.h"
#include "tools/sim/loggersim.h"

namespace {

class SimDownload : public ::testing::Test {
 protected:
  void Start(loggersim::SimFlight flight, loggersim::SimFaults faults = {}) {
    ::alarm(120);
    loggersim::SimOptions o;
    o.baud = 0;                  // as fast as the line takes it
    o.powerOnDelayMs = 600000;   // no announce: the download request comes first
    o.faults = faults;
    sim = std::make_unique<loggersim::LoggerSim>(o, loggersim::ConfigForFlight(flight), flight);
    sim->Start();
    ApplyComPort1Design(port);
    port.SetPort(sim->SlavePath());
    port.SetEvents(TComEvents());
    port.Open();
    expected = flight;
  }
  void TearDown() override {
    port.Close();
    if (sim) sim->Stop();
    ::alarm(0);
  }
  void Run() { Datenlesen(port, ring, io, view, *fd, 64, 1, bitmap); }
  void ExpectRecord(int i, const loggersim::SimRecord& s) {
    const uint8_t* b = fd->SampleTable[i].b;
    EXPECT_EQ(Word(fd->SampleTable[i], 0), s.adc16) << i;
    EXPECT_EQ((b[2] & 3) * 256 + b[3], s.adc[0]) << i;
    EXPECT_EQ(((b[2] >> 6) & 3) * 256 + b[6], s.adc[3]) << i;
    EXPECT_EQ(b[7], s.adc4) << i;
    EXPECT_EQ(Word(fd->SampleTable[i], 8), s.freq) << i;
    EXPECT_EQ(Word(fd->SampleTable[i], 10), s.rpm) << i;
    EXPECT_EQ(b[14], s.rc[2]) << i;
    EXPECT_EQ(b[16], s.tempExt) << i;
    EXPECT_EQ(Word(fd->SampleTable[i], 17), s.latMin) << i;
    EXPECT_EQ(Word(fd->SampleTable[i], 19), s.lonMin) << i;
    EXPECT_EQ(Word(fd->SampleTable[i], 21), s.gps3) << i;
  }

  TComPort port;
  ReceiveRing ring{port, [](const std::string&) {}};
  FakeIO io;
  FakeView view;
  RasterCanvas bitmap{473, 137};
  std::unique_ptr<FlightData> fd = NewFlight();
  std::unique_ptr<loggersim::LoggerSim> sim;
  loggersim::SimFlight expected;
};

}  // namespace

TEST_F(SimDownload, SampleFlightArrivesRecordForRecord) {
  Start(loggersim::SampleFlight());
  Run();
  const auto& recs = expected.records;
  ASSERT_EQ(fd->LastSampleIndex, static_cast<int32_t>(recs.size()) - 1);
  for (size_t i = 0; i < recs.size(); ++i) ExpectRecord(static_cast<int>(i), recs[i]);
  EXPECT_EQ(fd->RecordFlags1, expected.recordFlags1);
  EXPECT_EQ(fd->RecordFlags2, expected.recordFlags2);
  EXPECT_EQ(fd->LatDegrees, expected.latDegrees);
  EXPECT_EQ(fd->LonDegrees, expected.lonDegrees);
  EXPECT_EQ(io.panels[0], std::to_string(recs.size()));
  EXPECT_EQ(view.calls.back(), "final graph");
  // The file has a line per record plus two.
  const std::string csv = CsvText(*fd);
  size_t lines = 0;
  for (size_t p = csv.find("\r\n"); p != std::string::npos; p = csv.find("\r\n", p + 2)) ++lines;
  EXPECT_EQ(lines, recs.size() + 2);
}

TEST_F(SimDownload, StreamStoppedMidRecordAndAllHighBits) {
  loggersim::SimFlight f = loggersim::SampleFlight();
  f.recordFlags1 = 0x03;  // 16-bit ADC and ADC 0 only: 4 bytes per record
  f.recordFlags2 = 0x00;
  f.dataLength = 0;       // no count: the logger's silence ends it
  for (auto& r : f.records) r.adc[1] = r.adc[2] = r.adc[3] = 0x3FF;
  loggersim::SimFaults faults;
  faults.recordsStopAfter = 4 * 10 + 1;
  faults.allHighBits = true;  // the unrecorded ADCs' high bits must be cleared
  Start(f, faults);
  Run();
  ASSERT_EQ(fd->LastSampleIndex, 10);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(Word(fd->SampleTable[i], 0), f.records[i].adc16) << i;
    EXPECT_EQ(fd->SampleTable[i].b[2], f.records[i].adc[0] >> 8) << i;
    EXPECT_EQ(fd->SampleTable[i].b[3], f.records[i].adc[0] & 0xFF) << i;
  }
  EXPECT_EQ(fd->SampleTable[10].b[0], f.records[10].adc16 >> 8);
  EXPECT_EQ(fd->SampleTable[10].b[1], 0);
  EXPECT_EQ(io.panel1History.back(), "10 Datenblöcke gelesen - Datei nun speichern");
}
