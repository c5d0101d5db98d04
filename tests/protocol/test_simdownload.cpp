// The download against the simulated logger, an independent coding of the wire format:
// at full speed, paced at the line rate with pauses on the line, in a burst faster than
// the download decodes, and with every core of the computer busy.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "formats/csvexport.h"
#include "protocol/download.h"
#include "download_support.h"
#include "tests/support/clock.h"
#include "tests/support/files.h"
#include "serial/comport.h"
#include "serial/mainsync.h"
#include "serial/rxring.h"
#include "tools/sim/expected.h"
#include "tools/sim/loggersim.h"

namespace {

// A CPU-bound process on every core for as long as it lives.
class BusyCores {
 public:
  BusyCores() {
    const unsigned n = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < n; ++i) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives the test
        ::alarm(300);
        volatile unsigned long spin = 0;
        for (;;) spin = spin + 1;
      }
      if (pid > 0) pids_.push_back(pid);
    }
  }
  ~BusyCores() {
    for (pid_t pid : pids_) ::kill(pid, SIGKILL);
    for (pid_t pid : pids_) ::waitpid(pid, nullptr, 0);
  }
  size_t Count() const { return pids_.size(); }

 private:
  std::vector<pid_t> pids_;
};

// The live graph of the first record is slow to show, as a window's can be: the logger's
// burst fills the port's input queue meanwhile.
class StallingView : public FakeView {
 public:
  using FakeView::FakeView;
  std::function<void()> onFirstShow;
  void ShowLiveGraph() override {
    FakeView::ShowLiveGraph();
    if (liveShows == 1 && onFirstShow) onFirstShow();
  }
};

// The flight offsets of the download answer: 0x55 run, start marker, header, records.
constexpr long kSync = 8;
constexpr long kHeaderAt = kSync + 1;
constexpr long kRecordsAt = kHeaderAt + 23;

class SimDownload : public ::testing::Test {
 protected:
  void Start(loggersim::SimFlight flight, loggersim::SimFaults faults = {}, int baud = 0) {
    loggersim::SimOptions o;
    o.baud = baud;              // 0: as fast as the line takes it
    o.powerOnDelayMs = 600000;  // no announce: the download request comes first
    o.downloadSyncCount = int(kSync);
    o.faults = faults;
    sim = std::make_unique<loggersim::LoggerSim>(o, loggersim::ConfigForFlight(flight), flight);
    sim->Start();
    ApplyComPort1Design(port);
    port.SetPort(sim->SlavePath());
    if (!withEvents) port.SetEvents(TComEvents());
    port.SetMainThreadSync(&sync);
    port.OnRxChar = [this](TCustomComPort*, int32_t count) { ring.ComPort1RxChar(count); };
    port.OnRx80Full = [this](TCustomComPort*) { ring.ComPort1Rx80Full(); };
    port.Open();
    expected = flight;
  }
  void TearDown() override {
    port.Close();
    if (sim) sim->Stop();
  }
  void Run(int eepromKByte = 64) {
    result = view.Finish(Datenlesen(port, ring, view, *fd, eepromKByte), *fd);
  }

  // Until exactly `bytes` wait unread in the ring and the port.
  bool WaitUntilLeft(long bytes) {
    return WaitUntil([&] { return port.PendingInput() + ring.Unread() == bytes; }, 10000);
  }
  // Plays the window's thread taking its messages.
  bool PumpSync(const std::function<bool()>& pred) {
    return WaitUntil(
        [&] {
          sync.RunPending();
          return pred();
        },
        10000);
  }
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

  // The table, the degree bytes included, and the saved file equal the flight.
  void ExpectWholeFlight() {
    const std::vector<loggersim::TableBytes> want = loggersim::ExpectedTable(expected);
    ASSERT_EQ(fd->LastSampleIndex, static_cast<int32_t>(want.size()) - 1);
    int wrong = 0;
    for (size_t i = 0; i < want.size(); ++i)
      if (!std::equal(want[i].begin(), want[i].end(), fd->SampleTable[i].b) && ++wrong <= 3)
        ADD_FAILURE() << "record " << i << " differs from the flight";
    EXPECT_EQ(wrong, 0);
    // The bytes the download consumed decode, with the same decoder, to the same table and
    // summary: what a kept dump gives back is what the download gave.
    auto again = NewFlight();
    ASSERT_TRUE(DecodeRawDump(result.dump, *again));
    EXPECT_EQ(again->LastSampleIndex, fd->LastSampleIndex);
    EXPECT_EQ(std::memcmp(again->SampleTable, fd->SampleTable,
                          sizeof(SampleRecord) * (fd->LastSampleIndex + 1)),
              0);
    EXPECT_EQ(CsvText(*again), CsvText(*fd));  // header summary and every record
    TempDir dir;
    const std::string path = dir / "flug.csv";
    WriteCsvFile(path, *fd);
    EXPECT_TRUE(ReadFile(path) == loggersim::ExpectedCsv(expected))
        << "the saved CSV differs from the flight";
  }

  MainThreadSync sync;
  bool withEvents = false;
  TComPort port;
  std::vector<std::string> ringMessages;
  ReceiveRing ring{port, [this](const std::string& t) { ringMessages.push_back(t); }};
  RecordingUserIO io;
  RasterCanvas bitmap{473, 137};
  StallingView view{io, bitmap};
  DownloadResult result;
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
  EXPECT_EQ(io.panel[0], std::to_string(recs.size()));
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
  f.dataLength = 0;  // no count: the logger's silence ends it
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

// A subset of the sample flight: short enough to send at the line rate in a test.
loggersim::SimFlight ShortSampleFlight(size_t records = 240) {
  loggersim::SimFlight f = loggersim::SampleFlight();
  f.records.resize(records);
  return f;
}

long InRecord(long record, long byte) { return kRecordsAt + record * 23 + byte; }

TEST_F(SimDownload, PausesOnTheLineLoseAndShiftNothing) {
  loggersim::SimFaults faults;
  faults.downloadPauses = {{kSync, 100},           // before the start marker
                           {kHeaderAt + 5, 100},   // inside the header
                           {InRecord(30, 7), 60},  // inside records
                           {InRecord(100, 15), 180},
                           {InRecord(171, 0), 150}};  // between two records
  Start(ShortSampleFlight(), faults, 38400);
  Run();
  ASSERT_NO_FATAL_FAILURE(ExpectWholeFlight());
  ASSERT_FALSE(io.panel1History.empty());
  EXPECT_EQ(io.panel1History.back(), "239 Datenblöcke gelesen - Datei nun speichern");
  EXPECT_TRUE(io.ui.boxes.empty());
}

TEST_F(SimDownload, LongPauseInsideARecordEndsTheDownloadWithThatRecord) {
  loggersim::SimFaults faults;
  faults.downloadPauses = {{InRecord(40, 5), 1500}};
  Start(ShortSampleFlight(), faults, 115200);
  for (int i = 41; i < 50; ++i) std::memset(fd->SampleTable[i].b, 0x77, 25);
  Run();
  ASSERT_EQ(fd->LastSampleIndex, 40);
  const std::vector<loggersim::TableBytes> want = loggersim::ExpectedTable(expected);
  for (int i = 0; i < 40; ++i)
    EXPECT_TRUE(std::equal(want[i].begin(), want[i].end(), fd->SampleTable[i].b)) << i;
  // Record 40: the five bytes before the pause, zeros in every field after it.
  for (int b = 0; b < 5; ++b) EXPECT_EQ(fd->SampleTable[40].b[b], want[40][b]) << b;
  for (int b = 5; b < 23; ++b) EXPECT_EQ(fd->SampleTable[40].b[b], 0) << b;
  EXPECT_EQ(fd->SampleTable[41].b[0], 0x77);  // nothing after it
  EXPECT_EQ(io.panel[0], "41");
  ASSERT_FALSE(io.panel1History.empty());
  EXPECT_EQ(io.panel1History.back(), "40 Datenblöcke gelesen - Datei nun speichern");
  // What the logger sends after the pause is left on the line, not decoded.
  const long rest = long(expected.records.size()) * 23 - (40 * 23 + 5);
  EXPECT_TRUE(WaitUntilLeft(rest));
}

TEST_F(SimDownload, LongPauseInsideTheHeaderIsNoData) {
  loggersim::SimFaults faults;
  faults.downloadPauses = {{kHeaderAt + 12, 1500}};
  Start(ShortSampleFlight(), faults, 115200);
  fd->LastSampleIndex = -1;
  Run();
  EXPECT_EQ(fd->LastSampleIndex, -1);
  EXPECT_FALSE(view.saveEnabled);
  ASSERT_EQ(io.ui.boxes.size(), 1u);
  EXPECT_EQ(io.ui.boxes[0].text, "keine Daten empfangen !!!");
  EXPECT_EQ(view.calls.back(), "hide buttons");
}

TEST_F(SimDownload, BurstFasterThanTheDownloadArrivesComplete) {
  // 65535 records of two bytes, no count: the EEPROM's 128 KiB bound the stream.
  loggersim::SimFlight f;
  f.recordFlags1 = 0x01;
  f.recordFlags2 = 0x00;
  f.dataLength = 0;
  f.records.resize(65535);
  for (size_t i = 0; i < f.records.size(); ++i) f.records[i].adc16 = uint16_t(i * 7919 + 13);
  withEvents = true;
  Start(f);
  bool filled = false;
  view.onFirstShow = [&] {
    filled = WaitUntil([&] { return port.PendingInput() == 65536; }, 20000);
  };
  Run(128);
  EXPECT_TRUE(filled) << "the burst did not fill the input queue";
  ASSERT_EQ(fd->LastSampleIndex, 65534);
  int wrong = 0;
  for (size_t i = 0; i < f.records.size(); ++i)
    if (Word(fd->SampleTable[i], 0) != f.records[i].adc16) ++wrong;
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(io.panel[0], "65535");
  // The download takes no window messages: the warning comes when the window does.
  EXPECT_TRUE(ringMessages.empty());
  const std::string warning = "Puffer der COM-Schnittstelle 80% übergelaufen!";
  EXPECT_TRUE(PumpSync([&] { return !ringMessages.empty(); }));
  ASSERT_FALSE(ringMessages.empty());
  EXPECT_EQ(ringMessages[0], warning);
  for (const auto& m : ringMessages) EXPECT_EQ(m, warning);
}

TEST_F(SimDownload, SampleFlightWithEveryCoreBusy) {
  BusyCores busy;
  ASSERT_GT(busy.Count(), 0u);
  Start(loggersim::SampleFlight(), {}, 38400);
  Run();
  ExpectWholeFlight();
}
