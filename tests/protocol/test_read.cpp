// The configuration read on a real pseudo-terminal, the logger played by hand from the
// master side: what is dropped, when the wait for the logger succeeds, and how cut-short,
// oversized, endless and missing answers end.
#include <gtest/gtest.h>

#include <numeric>

#include "protocol/configread.h"
#include "exchange_support.h"
#include "tests/support/pty.h"
#include "serial/comport.h"
#include "serial/mainsync.h"
#include "serial/rxring.h"
#include "tools/sim/loggersim.h"

namespace {

std::vector<uint8_t> Range(int first, int count) {
  std::vector<uint8_t> v(static_cast<size_t>(count));
  std::iota(v.begin(), v.end(), static_cast<uint8_t>(first));
  return v;
}

class ReadExchange : public ::testing::Test, public ConfigExchange {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line.Ok());
    Connect(line.path);
  }

  void ExpectFailure(const char* text) {
    EXPECT_EQ(io.panel[1], text);
    EXPECT_EQ(io.color, StatusColorFailure);
    EXPECT_TRUE(flags.NoLoggerFound);
    EXPECT_FALSE(flags.ConfigRead);
    EXPECT_FALSE(view.Called("show"));
    EXPECT_FALSE(view.Called("load"));
    EXPECT_FALSE(view.Called("finish"));
  }

  PtyPair line;
};

TEST_F(ReadExchange, SilentLoggerAfterConnecting) {
  cfg.Bytes[5] = 9;
  cfg.LeadByte = 4;
  const int64_t t0 = NowMs();
  Read();
  const int64_t took = NowMs() - t0;

  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(io.panel[0], "verbunden");
  ASSERT_GE(io.panel1History.size(), 3u);
  EXPECT_EQ(io.panel1History[0], "starte init.");
  EXPECT_EQ(io.panel1History[1], "KONFIGURATION LESEN-Taste drücken");
  EXPECT_EQ(io.panel1History[2], "Logger einschalten ");
  EXPECT_TRUE(io.PanelShowed("Logger einschalten " + std::string(41, '<')));
  EXPECT_FALSE(io.PanelShowed("Logger einschalten " + std::string(42, '<')));
  EXPECT_EQ(io.sleeps, std::vector<int>(41, 200));
  ExpectFailure(kTextNoLogger);
  EXPECT_EQ(cfg.Bytes[5], 0);  // cleared before the wait
  EXPECT_EQ(cfg.LeadByte, 4);  // nothing taken over
  EXPECT_EQ(io.ui.beeps, 0);
  ASSERT_GE(view.calls.size(), 3u);
  EXPECT_EQ(view.calls[0], "zero");
  EXPECT_EQ(view.calls[1], "start");
  EXPECT_EQ(view.calls[2], "reset");
  EXPECT_TRUE(line.Received(50).empty());  // no acknowledgement
  // 41 polls of one read time-out (20 ms) and a tenth of 200 ms.
  EXPECT_GE(took, 41 * 20);
  EXPECT_LT(took, 15000);
}

TEST_F(ReadExchange, EmptyMessageRightAfterAWrite) {
  port.Open();
  cfg.EepromKByte = 64;
  cfg.Bytes[3] = 5;
  flags.SkipDrain = true;
  line.Send(Announce(7, {}));
  Read();

  EXPECT_EQ(io.sleeps.size(), 1u);  // the first poll brought the answer
  EXPECT_FALSE(io.PanelShowed("Logger einschalten "));
  EXPECT_EQ(io.panel[1], "Konfiguration empfangen : 7 ");
  EXPECT_EQ(io.color, StatusColorSuccess);
  EXPECT_TRUE(flags.ConfigRead);
  EXPECT_FALSE(flags.NoLoggerFound);
  EXPECT_FALSE(flags.SkipDrain);
  EXPECT_EQ(cfg.ByteCount, 0);
  for (int i = 1; i <= 30; ++i) EXPECT_EQ(cfg.Bytes[static_cast<size_t>(i)], 0) << i;
  EXPECT_EQ(cfg.EepromKByte, 64);
  EXPECT_EQ(view.Joined(), "reset,warte-,EEPROM: 64kByte,show,load,finish,");
  ASSERT_EQ(view.loaded.size(), 1u);
  EXPECT_EQ(ControlsFromConfig(view.loaded[0]), ControlsFromConfig(LoggerConfig()));
  EXPECT_EQ(line.Received(), std::vector<uint8_t>(31, 0x0F));
}

TEST_F(ReadExchange, PendingBytesAreDroppedFirst) {
  port.Open();
  const auto stale = Announce(9, {0xFF, 0xFF, 249, 0, 0, 0, 0, 1, 1, 0, 1, 4});
  line.Send(stale);
  WaitUntil([&] { return port.PendingInput() >= static_cast<int32_t>(stale.size()); }, 3000);
  ASSERT_EQ(port.PendingInput(), static_cast<int32_t>(stale.size()));
  const uint8_t inRing[] = {0x55, 0x55, 3, 12};
  ring.Append(inRing, 4);

  const std::vector<uint8_t> fresh = {0x01, 0x80, 49, 0x01, 0x2C, 0, 0x80, 105, 12, 0x30, 0x39, 8};
  OnPoll(io, [&](int n) {
    if (n == 2) line.Send(Announce(1, fresh));
  });
  Read();

  EXPECT_EQ(io.sleeps.size(), 3u);
  EXPECT_TRUE(flags.ConfigRead);
  EXPECT_EQ(cfg.LeadByte, 1);
  EXPECT_EQ(cfg.ByteCount, 12);
  for (size_t i = 0; i < fresh.size(); ++i) EXPECT_EQ(cfg.Bytes[i + 1], fresh[i]) << i;
  EXPECT_EQ(cfg.RecordFlags1, 0x01);
  EXPECT_EQ(cfg.Adc3Offset, 105);
  EXPECT_EQ(cfg.DataCount, 300);
  EXPECT_EQ(cfg.FlightNumber(), 12345);
  EXPECT_EQ(cfg.EepromKByte, 256);
  EXPECT_TRUE(view.Called("EEPROM: 256kByte"));
  EXPECT_EQ(io.panel[1], ConfigReceivedText(1, fresh));
  EXPECT_EQ(ring.Unread(), 0);
}

class WaitBoundary : public ReadExchange, public ::testing::WithParamInterface<int> {};

// The answer starts in poll n + 1 when it is sent during the sleep of poll n.
TEST_P(WaitBoundary, OnlyTheFirstFortyPollsCount) {
  const int sentInSleep = GetParam();
  OnPoll(
      io,
      [&](int n) {
        if (n == sentInSleep) line.Send(Announce(0, {3, 7}));
      },
      20);
  Read();
  EXPECT_EQ(io.sleeps.size(), static_cast<size_t>(sentInSleep + 1));
  if (sentInSleep + 1 <= 40) {
    EXPECT_TRUE(flags.ConfigRead);
    EXPECT_EQ(io.panel[1], "Konfiguration empfangen : 0 3 7 ");
    EXPECT_EQ(cfg.Bytes[1], 3);
    EXPECT_EQ(cfg.Bytes[2], 7);
  } else {
    ExpectFailure(kTextNoLogger);
    EXPECT_EQ(cfg.Bytes[1], 0);
  }
}
INSTANTIATE_TEST_SUITE_P(Polls, WaitBoundary, ::testing::Values(39, 40));

class CutShort : public ReadExchange, public ::testing::WithParamInterface<std::vector<uint8_t>> {};

TEST_P(CutShort, IsNotASuccess) {
  cfg.LeadByte = 77;
  OnPoll(io, [&](int n) {
    if (n == 1) line.Send(GetParam());
  });
  Read();
  ExpectFailure(kTextIncomplete);
  EXPECT_EQ(cfg.LeadByte, 77);
  for (int i = 1; i <= 30; ++i) EXPECT_EQ(cfg.Bytes[static_cast<size_t>(i)], 0) << i;
  EXPECT_TRUE(line.Received(50).empty());  // not acknowledged
}
INSTANTIATE_TEST_SUITE_P(
    Messages, CutShort,
    // The byte that ends the wait for the logger is the first 0x55; it is not seen again.
    ::testing::Values(std::vector<uint8_t>{0x55, 0x55},           // no lead byte
                      std::vector<uint8_t>{0x55, 0x55, 0x55, 0},  // no count
                      std::vector<uint8_t>{0x55, 0x55, 0x55, 0, 12, 1, 2, 3, 4, 5},
                      std::vector<uint8_t>{0x55, 0x55, 0, 40, 1}));

TEST_F(ReadExchange, SurplusBeyondThirtyBytesIsReadAndDropped) {
  const auto bytes = Range(1, 40);
  OnPoll(io, [&](int n) {
    if (n == 1) line.Send(Announce(5, bytes));
  });
  Read();
  EXPECT_TRUE(flags.ConfigRead);
  EXPECT_EQ(cfg.ByteCount, 40);
  for (int i = 1; i <= 30; ++i) EXPECT_EQ(cfg.Bytes[static_cast<size_t>(i)], i);
  EXPECT_EQ(io.panel[1], ConfigReceivedText(5, Range(1, 30)));
  EXPECT_EQ(cfg.EepromKByte, 12 * 32);
  EXPECT_EQ(line.Received(), std::vector<uint8_t>(31, 0x0F));
  // The ten surplus bytes were taken from the line: nothing is left over.
  EXPECT_EQ(ring.Unread(), 0);
  EXPECT_EQ(port.PendingInput(), 0);
}

TEST_F(ReadExchange, EndlessRunOfSyncBytesIsBounded) {
  Babbler babbler(line.master.Fd(), 0x55);
  OnPoll(io, [&](int n) {
    if (n == 1) babbler.Start();
  });
  const int64_t t0 = NowMs();
  Read();
  const int64_t took = NowMs() - t0;
  babbler.Stop();
  ExpectFailure(kTextNoLogger);
  EXPECT_GT(babbler.Sent(), 0);
  EXPECT_LT(took, 15000);
  EXPECT_TRUE(line.Received(50).empty());
}

TEST_F(ReadExchange, LineThatNeverFallsQuietIsBounded) {
  port.Open();
  Babbler babbler(line.master.Fd(), 0xAA);
  babbler.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const int64_t t0 = NowMs();
  Read();
  const int64_t took = NowMs() - t0;
  babbler.Stop();
  // The drop of pending bytes ended (the prompt came), the first poll found bytes, and
  // two seconds without a 0x55 ended the read.
  EXPECT_TRUE(io.PanelShowed("Logger einschalten "));
  EXPECT_EQ(io.sleeps.size(), 1u);
  ExpectFailure(kTextNoLogger);
  EXPECT_GE(took, 1900);
  EXPECT_LT(took, 20000);
}

TEST_F(ReadExchange, PortThatCannotBeOpened) {
  port.SetPort("/nonexistent/ttyMorvala");
  EXPECT_THROW(Read(), EComPort);
  EXPECT_EQ(io.color, StatusColorFailure);
  EXPECT_EQ(io.panel[1], kTextOpenFailed);
  EXPECT_GE(io.statusRepaints, 2);
  EXPECT_TRUE(view.calls.empty());
  EXPECT_FALSE(port.Connected());
}

TEST_F(ReadExchange, DeleteWaitStretchesThePollsAndBeeps) {
  port.Open();
  flags.SkipDrain = true;
  flags.DeleteInProgress = true;
  bool warteDuringWait = false;
  OnPoll(
      io,
      [&](int n) {
        if (n == 1) warteDuringWait = view.warteVisible;
        if (n == 5) line.Send(Announce(0, {1, 0, 49}));
      },
      40);
  Read();
  EXPECT_TRUE(warteDuringWait);
  EXPECT_FALSE(view.warteVisible);
  EXPECT_EQ(io.sleeps, std::vector<int>(6, 800));
  EXPECT_EQ(io.ui.beeps, 1);
  EXPECT_FALSE(flags.DeleteInProgress);
  EXPECT_TRUE(flags.ConfigRead);
  EXPECT_EQ(view.calls.front(), "reset");
  EXPECT_EQ(view.calls[1], "warte+");
}

}  // namespace

// The simulated logger pauses inside the run of 0x55 bytes and after the count byte,
// as a logger behind a USB adapter on a busy computer may seem to: nothing is lost.
TEST(ReadWithPauses, MessageWithPausesIsReadAndAcknowledged) {
  loggersim::SimOptions o;
  o.powerOnDelayMs = 300;
  o.syncCount = 3;
  ASSERT_TRUE(loggersim::ParsePause("config:2:100", o.faults));  // inside the 0x55 run
  ASSERT_TRUE(loggersim::ParsePause("config:5:100", o.faults));  // after the count byte
  const loggersim::SimConfig sent = loggersim::ConfigForFlight(loggersim::SampleFlight());
  loggersim::LoggerSim sim(o, sent, loggersim::SampleFlight());
  sim.Start();
  ConfigExchange x;
  x.Connect(sim.SlavePath());
  x.flags.SkipDrain = true;  // the message that comes is the one to read
  x.Read();
  EXPECT_TRUE(x.flags.ConfigRead);
  EXPECT_FALSE(x.flags.NoLoggerFound);
  const std::vector<uint8_t> bytes = sent.Bytes();
  EXPECT_EQ(x.cfg.LeadByte, sent.leadByte);
  ASSERT_EQ(x.cfg.ByteCount, bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) EXPECT_EQ(x.cfg.Bytes[i + 1], bytes[i]) << i + 1;
  WaitUntil([&] { return sim.Acks() >= 1; }, 5000);
  EXPECT_EQ(sim.Acks(), 1);
  x.port.Close();
  sim.Stop();
}
