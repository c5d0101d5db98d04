// The download on a pseudo-terminal: a small peer thread plays the logger with exactly
// the bytes each case needs.
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <cstring>

#include "protocol/download.h"
#include "model/recorddecoder.h"
#include "download_support.h"
#include "tests/support/clock.h"
#include "tests/support/pty.h"
#include "serial/comport.h"
#include "serial/rxring.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The 23 header bytes after the start marker.
Bytes Header(uint8_t f1, uint8_t f2, uint8_t code, uint16_t dataLength) {
  // clang-format off
  return {0x00, f1, f2, code, uint8_t(dataLength >> 8), uint8_t(dataLength & 0xFF),
          6,    7,  8,  0x01, 0x02, 'N', 4, 8, 0, 'E', 0, 1, 1, 0x00, 0x01, 0x02, 0x03};
  // clang-format on
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// 3-byte records (16-bit ADC and ADC 4): value i*10+1000, ADC 4 = i.
Bytes ThreeByteRecords(int from, int count) {
  Bytes out;
  for (int i = from; i < from + count; ++i) {
    const int v = 1000 + i * 10;
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v & 0xFF));
    out.push_back(uint8_t(i));
  }
  return out;
}

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Ok());
    ApplyComPort1Design(port);
    port.SetPort(pty.path);
    port.SetEvents(TComEvents());  // bytes come through Empfang's own reads
    port.Open();
  }
  void TearDown() override {
    if (peer.joinable()) peer.join();
    port.Close();
  }
  // The logger: waits for the request, sends `answer`, then stays silent or hangs up.
  void Peer(Bytes answer, bool hangUp = false, int pauseAt = -1, int pauseMs = 0) {
    peer = std::thread([this, answer, hangUp, pauseAt, pauseMs] {
      const int64_t end = NowMs() + 5000;
      while (!requested && NowMs() < end) {
        const Bytes got = pty.master.Read(1, 50);
        requested = got.size() == 1 && got[0] == 0x53;
      }
      if (!requested) return;
      if (pauseAt >= 0 && size_t(pauseAt) < answer.size()) {
        pty.Send(Bytes(answer.begin(), answer.begin() + pauseAt));
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        pty.Send(Bytes(answer.begin() + pauseAt, answer.end()));
      } else {
        pty.Send(answer);
      }
      if (hangUp) {
        // A hang-up drops input not yet read (by the terminal and by the port): wait
        // until the download has taken every byte into its ring, then pull the plug.
        int pending = 1;
        while (NowMs() < end && ::ioctl(pty.slave, FIONREAD, &pending) == 0 && pending > 0)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        while (NowMs() < end && port.PendingInput() > 0)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pty.CloseMaster();
      }
    });
  }
  void Run() {
    view.graphStep = graphStep;
    view.Finish(Datenlesen(port, ring, view, *fd, 32), *fd);
  }

  PtyPair pty;
  TComPort port;
  ReceiveRing ring{port, [this](const std::string& t) { ringMessages.push_back(t); }};
  std::vector<std::string> ringMessages;
  RecordingUserIO io;
  RasterCanvas bitmap{473, 137};
  FakeView view{io, bitmap};
  std::unique_ptr<FlightData> fd = NewFlight();
  int32_t graphStep = 1;
  std::thread peer;
  std::atomic<bool> requested{false};
};

}  // namespace

TEST_F(DownloadTest, FullFlightWithEveryChannel) {
  Bytes records;
  for (int r = 0; r < 3; ++r)
    for (int i = 0; i < 23; ++i) records.push_back(uint8_t(r * 23 + i + 1));
  records[2] = 0xFF;  // byte 2 of record 0: all four ADCs recorded, all bits kept
  Peer(Cat({{0x55, 0x55, 0x55, 0x01}, Header(0xFF, 0x77, 49, 69), records}));
  Run();
  EXPECT_TRUE(requested);
  EXPECT_EQ(fd->LastSampleIndex, 2);
  EXPECT_EQ(fd->ExportFirstIndex, 0);
  EXPECT_EQ(fd->ExportLastIndex, 2);
  EXPECT_EQ(fd->SampleTable[0].b[2], 0xFF);
  for (int r = 0; r < 3; ++r)
    for (int i = 0; i < 23; ++i)
      if (r || i != 2) {
        EXPECT_EQ(fd->SampleTable[r].b[i], r * 23 + i + 1) << r << "/" << i;
      }
  EXPECT_EQ(fd->SampleTable[1].b[23], 100);  // GradFilter ran
  EXPECT_EQ(fd->RecordFlags1, 0xFF);
  EXPECT_EQ(fd->RecordFlags2, 0x77);
  EXPECT_EQ(fd->SampleRateCode, 49);
  EXPECT_EQ(fd->HeaderWord9, 0x0102);
  EXPECT_EQ(fd->LatDegrees, 48u);
  EXPECT_EQ(fd->LonDegrees, 11u);
  EXPECT_EQ(fd->GpsHeaderValue, 66051u);
  EXPECT_EQ(io.panel1History,
            (std::vector<std::string>{"synchronisiert",
                                      "Beenden der Datenübertragung durch Ausschalten des Loggers",
                                      "2 Datenblöcke gelesen - Datei nun speichern"}));
  EXPECT_EQ(io.panel[0], "3");
  EXPECT_EQ(io.color, StatusColorSuccess);
  EXPECT_EQ(view.liveShows, 1 + 3);  // the prepared graph, then each record
  EXPECT_EQ(view.calls, (std::vector<std::string>{"hide groups", "show paint box", "enable save",
                                                  "hide buttons"}));
  ASSERT_EQ(io.ui.boxes.size(), 1u);  // fewer than 6 records
  EXPECT_EQ(io.ui.boxes[0].kind, BoxKind::Information);
  EXPECT_EQ(io.ui.boxes[0].text, "keine Daten empfangen !!!");
  EXPECT_EQ(bitmap.texts.at(0).s, "Höhe");  // the live graph was prepared
}

TEST_F(DownloadTest, BudgetEndsTheLoopAndFinalGraphIsDrawn) {
  // DataLength 10 with 3-byte records: 10, 7, 4, 1, -2 -> four records; six are sent.
  Peer(Cat({{0x01}, Header(0x21, 0x00, 49, 10), ThreeByteRecords(0, 6)}));
  Run();
  EXPECT_EQ(fd->LastSampleIndex, 3);
  EXPECT_EQ(io.panel[0], "4");
  EXPECT_EQ(fd->SampleTable[3].b[2], 0);  // not byte 2 of the ADC high bits: ADC 4 is byte 7
  EXPECT_EQ(fd->SampleTable[3].b[7], 3);
  EXPECT_EQ(Word(fd->SampleTable[3], 0), 1030u);
  // The rest of the stream stays for whoever reads next.
  ring.Empfang();
  EXPECT_FALSE(ring.RxTimedOut);
  EXPECT_EQ(ring.RxByte, (1040 >> 8));
}

TEST_F(DownloadTest, SilenceAtARecordBoundaryAddsNoRecord) {
  std::memset(fd->SampleTable[7].b, 0x77, 25);
  Peer(Cat({{0x55, 0x01}, Header(0x21, 0x00, 49, 0), ThreeByteRecords(0, 7)}));
  const int64_t t0 = NowMs();
  Run();
  EXPECT_LT(NowMs() - t0, 3000);
  EXPECT_EQ(fd->LastSampleIndex, 6);
  EXPECT_EQ(io.panel[0], "7");
  EXPECT_EQ(io.panel1History.back(), "6 Datenblöcke gelesen - Datei nun speichern");
  EXPECT_EQ(fd->SampleTable[7].b[0], 0x77);  // not touched: no eighth record
  EXPECT_EQ(view.liveShows, 1 + 7);
  EXPECT_TRUE(io.ui.boxes.empty());
  EXPECT_EQ(view.calls.back(), "final graph");
  EXPECT_GT(view.box.flushes, 0);
}

TEST_F(DownloadTest, RecordCutShortIsKeptWithZeros) {
  Bytes stream = Cat({{0x01}, Header(0x21, 0x00, 49, 0), ThreeByteRecords(0, 6), {0x04}});
  Peer(stream);
  Run();
  EXPECT_EQ(fd->LastSampleIndex, 6);
  EXPECT_EQ(io.panel[0], "7");
  EXPECT_EQ(fd->SampleTable[6].b[0], 0x04);
  EXPECT_EQ(fd->SampleTable[6].b[1], 0);
  EXPECT_EQ(fd->SampleTable[6].b[7], 0);
  EXPECT_EQ(fd->SampleTable[6].b[23], 100);
}

TEST_F(DownloadTest, PauseInsideTheHeaderIsNoTimeOutOfTheWholeLine) {
  // Bytes that come late but within one read time-out still count.
  const Bytes stream = Cat({{0x01}, Header(0x21, 0x00, 49, 9), ThreeByteRecords(0, 3)});
  Peer(stream, false, 5, 5);
  Run();
  EXPECT_EQ(fd->LastSampleIndex, 2);
  EXPECT_EQ(Word(fd->SampleTable[2], 0), 1020u);
}

TEST_F(DownloadTest, SynchronisationSkipsToTheStartMarker) {
  Peer(Cat({{0x55, 0x55, 0x17, 0x00, 0x01}, Header(0x21, 0x00, 0, 3), ThreeByteRecords(5, 1)}));
  Run();
  EXPECT_EQ(fd->LastSampleIndex, 0);
  EXPECT_EQ(fd->SampleTable[0].b[7], 5);
  EXPECT_EQ(fd->SampleRateCode, 0);
  EXPECT_EQ(io.panel1History.front(), "synchronisiert");
}

TEST_F(DownloadTest, NoStartMarkerEndsInATimeOut) {
  fd->LastSampleIndex = 3;
  Peer({0x55, 0x55, 0x55, 0x02});
  Run();
  EXPECT_TRUE(requested);
  EXPECT_EQ(fd->LastSampleIndex, 3);  // kept
  EXPECT_TRUE(io.panel1History.empty());
  EXPECT_EQ(view.calls, (std::vector<std::string>{"hide groups", "hide buttons"}));
  ASSERT_EQ(io.ui.boxes.size(), 1u);
  EXPECT_EQ(io.ui.boxes[0].text, "keine Daten empfangen !!!");
  EXPECT_FALSE(view.saveEnabled);
}

TEST_F(DownloadTest, RecordsWithoutBytesStopAtTheEndOfTheTable) {
  Peer(Cat({{0x01}, Header(0x00, 0x88, 49, 0)}));
  graphStep = 7;
  Run();
  EXPECT_EQ(fd->LastSampleIndex, 65535);
  EXPECT_EQ(io.panel[0], "65536");
  EXPECT_EQ(view.liveShows, 1 + 65536);
  EXPECT_EQ(fd->SampleTable[65535].b[23], 100);
  EXPECT_EQ(view.calls.back(), "final graph");
}

TEST_F(DownloadTest, HangUpKeepsTheRecordsAndReportsAfterwards) {
  // A long read time-out, so that the hang-up, not a pause, ends the line.
  port.Timeouts().SetReadTotalConstant(3000);
  Peer(Cat({{0x01}, Header(0x21, 0x00, 49, 0), ThreeByteRecords(0, 8), {0x09}}), true);
  bool threw = false;
  try {
    Run();
  } catch (const EComPort& e) {
    threw = true;
    EXPECT_GT(std::string(e.what()).size(), 0u);
  }
  EXPECT_TRUE(threw);
  EXPECT_EQ(fd->LastSampleIndex, 8);  // the record cut short by the hang-up is kept
  EXPECT_EQ(fd->SampleTable[8].b[0], 0x09);
  EXPECT_EQ(fd->ExportLastIndex, 8);
  EXPECT_EQ(fd->SampleTable[8].b[23], 100);
  EXPECT_TRUE(view.saveEnabled);
  EXPECT_EQ(io.panel1History.back(), "8 Datenblöcke gelesen - Datei nun speichern");
  EXPECT_EQ(view.calls.back(), "final graph");
  EXPECT_TRUE(io.ui.boxes.empty());  // the port error is the report
  port.Close();                      // still closes
  EXPECT_FALSE(port.Connected());
}
