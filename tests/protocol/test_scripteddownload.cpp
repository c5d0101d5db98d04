// The download over a scripted line: pauses on the line cost no real time, so the silence
// limit can be tried on both sides of it, and a port that fails on the way is played
// without a device.
#include <gtest/gtest.h>

#include "protocol/download.h"
#include "download_support.h"
#include "serial/comerrors.h"
#include "serial/scriptedline.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Sync bytes, the start marker and a header for 3-byte records (16-bit ADC and ADC 4)
// without a byte budget.
Bytes Lead() {
  return {0x55, 0x55, 0x01, 0x00, 0x21, 0x00, 49, 0, 0, 6, 7, 8, 0x01,
          0x02, 'N',  4,    8,    0,    'E',  0,  1, 1, 0, 1, 2, 3};
}

// Records i = from .. from + count - 1: ADC word 1000 + 10 i, ADC 4 = i.
Bytes Records(int from, int count) {
  Bytes out;
  for (int i = from; i < from + count; ++i) {
    const int v = 1000 + i * 10;
    out.insert(out.end(), {uint8_t(v >> 8), uint8_t(v & 0xFF), uint8_t(i)});
  }
  return out;
}

int Word(const SampleRecord& r) { return r.b[0] * 256 + r.b[1]; }

class ScriptedDownload : public ::testing::Test {
 protected:
  // The logger answers the request with the lead, four records and the first byte of
  // the fifth, then pauses pauseMs and sends the rest of the fifth and two more.
  void AnswerWithPause(int pauseMs) {
    line.onWrite = [this, pauseMs](const Bytes& written) {
      if (written != Bytes{0x53}) return;
      Bytes first = Lead();
      const Bytes records = Records(0, 7);
      first.insert(first.end(), records.begin(), records.begin() + 4 * 3 + 1);
      line.Send(first);
      line.SendAfter(pauseMs, Bytes(records.begin() + 4 * 3 + 1, records.end()));
    };
  }
  void Run() { view.Finish(Datenlesen(line, view, *fd, 32), *fd); }

  ScriptedLine line;
  RecordingUserIO io;
  RasterCanvas bitmap{473, 137};
  FakeView view{io, bitmap};
  std::unique_ptr<FlightData> fd = NewFlight();
};

TEST_F(ScriptedDownload, PauseOfTheSilenceLimitInsideARecordIsWaitedOut) {
  AnswerWithPause(kLineSilenceMs);
  Run();
  EXPECT_EQ(line.Written(), Bytes{0x53});
  ASSERT_EQ(fd->LastSampleIndex, 6);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(Word(fd->SampleTable[i]), 1000 + 10 * i) << i;
    EXPECT_EQ(fd->SampleTable[i].b[7], i) << i;
  }
  EXPECT_TRUE(view.saveEnabled);
  EXPECT_EQ(line.Unread(), 0u);
}

TEST_F(ScriptedDownload, LongerPauseInsideARecordEndsTheDownloadThere) {
  AnswerWithPause(kLineSilenceMs + 10);
  Run();
  // The fifth record keeps its first byte and zeros; the late bytes are not read into it.
  ASSERT_EQ(fd->LastSampleIndex, 4);
  EXPECT_EQ(Word(fd->SampleTable[3]), 1030);
  EXPECT_EQ(fd->SampleTable[4].b[0], 1040 >> 8);
  EXPECT_EQ(fd->SampleTable[4].b[1], 0);
  EXPECT_EQ(fd->SampleTable[4].b[7], 0);
  EXPECT_EQ(io.panel1History.back(), "4 Datenblöcke gelesen - Datei nun speichern");
  EXPECT_EQ(line.Unread(), 2u + 2 * 3);  // left on the line for whoever reads next
}

TEST_F(ScriptedDownload, LineThatBabblesWithoutAStartMarkerIsGivenUp) {
  // A byte every 100 ms, never the start marker: the line is never silent, the wait for
  // the marker ends by its own bound.
  line.onWrite = [this](const Bytes&) {
    for (int i = 0; i < 200; ++i) line.SendAfter(100, {0x55});
  };
  fd->LastSampleIndex = 3;
  Run();
  EXPECT_EQ(fd->LastSampleIndex, 3);  // kept
  EXPECT_FALSE(view.saveEnabled);
  ASSERT_EQ(io.ui.boxes.size(), 1u);
  EXPECT_EQ(io.ui.boxes[0].text, kTextNoData);
  EXPECT_GT(line.Unread(), 0u);  // ended by the bound, not by the end of the babble
}

TEST_F(ScriptedDownload, DeviceGoneKeepsTheRecordsAndThrowsAfterwards) {
  line.onWrite = [this](const Bytes&) {
    Bytes stream = Lead();
    const Bytes records = Records(0, 6);
    stream.insert(stream.end(), records.begin(), records.end());
    line.Send(stream);
    line.HangUp();
  };
  EXPECT_THROW(Run(), EComPort);
  EXPECT_EQ(fd->LastSampleIndex, 5);
  EXPECT_EQ(Word(fd->SampleTable[5]), 1050);
  EXPECT_TRUE(view.saveEnabled);
  EXPECT_TRUE(io.ui.boxes.empty());  // the port's error speaks for itself
}

}  // namespace
