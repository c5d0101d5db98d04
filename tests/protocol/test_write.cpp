// Reading and writing the configuration against the simulated logger, and the write's
// read-back when it goes wrong.
#include <gtest/gtest.h>

#include "protocol/configread.h"
#include "protocol/configwrite.h"
#include "exchange_support.h"
#include "tests/support/pty.h"
#include "serial/comport.h"
#include "serial/mainsync.h"
#include "serial/rxring.h"
#include "tools/sim/loggersim.h"

namespace {

loggersim::SimOptions SimOptionsForTest() {
  loggersim::SimOptions o;
  o.powerOnDelayMs = 300;
  o.reannounceDelayMs = 200;
  o.deleteMs = 600;
  return o;
}

loggersim::SimConfig SimConfigForTest() {
  loggersim::SimConfig c;
  c.recordFlags1 = 0x43;  // 16-bit ADC, ADC 0, Frequenz
  c.recordFlags2 = 0x91;  // RC 1, Temp. int., Telemetrie
  c.sampleRateCode = 24;
  c.teleFlags1 = 0x01;
  c.teleFlags2 = 0x80;
  c.adc3Offset = 120;
  c.serialSensor = 0x80 | 12;
  c.flightNumber = 4321;
  c.dataCount = 300;
  c.eepromSize = 8;
  c.leadByte = 3;
  return c;
}

class SimulatedLogger : public ::testing::Test, public ConfigExchange {
 protected:
  void SetUp() override {
    sim.Start();
    Connect(sim.SlavePath());
  }
  void TearDown() override {
    port.Close();
    sim.Stop();
  }

  loggersim::LoggerSim sim{SimOptionsForTest(), SimConfigForTest(), loggersim::SimFlight()};
};

TEST_F(SimulatedLogger, ReadsAndAcknowledgesTheAnnouncedConfiguration) {
  Read();
  ASSERT_TRUE(flags.ConfigRead) << io.panel[1];
  EXPECT_TRUE(WaitUntil([&] { return sim.Acks() == 1; }));
  EXPECT_EQ(cfg.LeadByte, 3);
  EXPECT_EQ(cfg.ByteCount, 12);
  EXPECT_EQ(cfg.RecordFlags1, 0x43);
  EXPECT_EQ(cfg.RecordFlags2, 0x91);
  EXPECT_EQ(cfg.SampleRateCode, 24);
  EXPECT_EQ(cfg.DataCount, 300);
  EXPECT_EQ(cfg.Adc3Offset, 120);
  EXPECT_EQ(cfg.SerialSensor, 0x8C);
  EXPECT_EQ(cfg.FlightNumber(), 4321);
  EXPECT_EQ(cfg.EepromKByte, 256);
  EXPECT_EQ(io.color, StatusColorSuccess);
  EXPECT_EQ(io.panel[1], ConfigReceivedText(3, loggersim::SimConfig(SimConfigForTest()).Bytes()));

  const ConfigControls c = ControlsFromConfig(cfg);
  EXPECT_TRUE(c.record[chAD16] && c.record[chAD0] && c.record[chSpeed]);
  EXPECT_TRUE(c.record[chRC1] && c.record[chE1] && c.record[chTele]);
  EXPECT_FALSE(c.record[chFrq] || c.record[chGps]);
  EXPECT_TRUE(c.tele[chAD16]);
  EXPECT_FALSE(c.tele[chT4800]);
  EXPECT_EQ(c.rateItem, 3);
  EXPECT_EQ(c.offsetText, "120");
  EXPECT_EQ(c.serialText, "012");
  EXPECT_EQ(c.sensorItem, 1);
  EXPECT_EQ(FlightNumberText(cfg.FlightNumber()), "Flugnummer: 04321");
}

TEST_F(SimulatedLogger, WriteWithSingleLogDeletesAndReadsBack) {
  Read();
  ASSERT_TRUE(flags.ConfigRead) << io.panel[1];
  ASSERT_TRUE(WaitUntil([&] { return sim.Acks() == 1; }));

  ConfigControls c = ControlsFromConfig(cfg);
  c.record = {};
  c.record[chAD16] = true;
  c.record[chTele] = true;
  c.tele = {};
  c.rateItem = 4;
  c.offsetText = "000";
  c.serialText = "012";
  c.sensorItem = 0;
  c.deleteItem = 2;
  io.sleeps.clear();
  io.ui.beeps = 0;
  io.panel1History.clear();
  view.calls.clear();
  view.loaded.clear();
  bool warteDuringWait = false;
  OnPoll(io, [&](int n) {
    if (n == 1) warteDuringWait = view.warteVisible;
  });

  ConfigExchange::Write(c);

  ASSERT_EQ(sim.WriteMessages().size(), 1u);
  const std::vector<uint8_t> expected = {0x63, 0x01, 0x80, 49, 0, 0, 0x00, 0x80, 0, 12, 255};
  EXPECT_EQ(sim.WriteMessages()[0], expected);
  EXPECT_TRUE(WaitUntil([&] { return sim.Deletes() == 1; }));

  // The read-back waited with the long polls, showed the notice and beeped.
  ASSERT_FALSE(io.sleeps.empty());
  EXPECT_EQ(io.sleeps, std::vector<int>(io.sleeps.size(), 800));
  EXPECT_GE(io.sleeps.size(), 2u);  // the delete takes 600 ms, a poll a tenth of 800 + 20
  EXPECT_EQ(io.ui.beeps, 1);
  EXPECT_TRUE(warteDuringWait);
  EXPECT_FALSE(view.warteVisible);
  EXPECT_FALSE(flags.DeleteInProgress);
  EXPECT_FALSE(flags.SkipDrain);
  EXPECT_TRUE(flags.ConfigRead);
  EXPECT_FALSE(io.PanelShowed("Logger einschalten "));

  // It shows what the logger now reports, with the delete selection back at "kein".
  ASSERT_EQ(view.loaded.size(), 1u);
  const LoggerConfig& back = view.loaded[0];
  EXPECT_EQ(back.RecordFlags1, 0x01);
  EXPECT_EQ(back.RecordFlags2, 0x80);
  EXPECT_EQ(back.SampleRateCode, 49);
  EXPECT_EQ(back.SerialSensor, 12);
  EXPECT_EQ(back.DataCount, 0);  // deleted
  ConfigControls shown = ControlsFromConfig(back);
  EXPECT_EQ(shown.deleteItem, 0);
  ConfigControls written = c;
  written.deleteItem = 0;
  EXPECT_EQ(shown, written);

  ASSERT_GE(view.calls.size(), 2u);
  EXPECT_EQ(view.calls.front(), "hideSchreib");
  EXPECT_EQ(view.calls.back(), "hideButtons");
}

TEST_F(SimulatedLogger, WriteWithoutDeleteUsesTheShortPolls) {
  Read();
  ASSERT_TRUE(flags.ConfigRead) << io.panel[1];
  ConfigControls c = ControlsFromConfig(cfg);
  c.record[chGps] = true;
  c.tele[chT4800] = true;
  c.deleteItem = 0;
  io.sleeps.clear();
  io.ui.beeps = 0;
  ConfigExchange::Write(c);
  ASSERT_EQ(sim.WriteMessages().size(), 1u);
  const auto msg = WriteMessageFor(SettingsFromControls(c));
  EXPECT_EQ(sim.WriteMessages()[0], std::vector<uint8_t>(msg.begin(), msg.end()));
  EXPECT_EQ(sim.Deletes(), 0);
  EXPECT_EQ(io.sleeps, std::vector<int>(io.sleeps.size(), 200));
  EXPECT_EQ(io.ui.beeps, 0);
  EXPECT_EQ(view.loaded.back().RecordFlags2, 0x91 | 0x40);
  EXPECT_EQ(view.loaded.back().TeleFlags2, 0x00);
  EXPECT_EQ(view.loaded.back().FlightNumber(), 4321);
}

// The write's read-back on a hand-played line.
class WriteReadBack : public ::testing::Test, public ConfigExchange {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line.Ok());
    Connect(line.path);
    port.Open();
    controls.record[chAD16] = true;
    controls.rateItem = 0;
    controls.sensorItem = 0;
    controls.deleteItem = 1;
    OnPoll(io, nullptr, 40);
  }
  void Write() { ConfigExchange::Write(controls); }

  PtyPair line;
  ConfigControls controls;
};

TEST_F(WriteReadBack, SilenceAfterTheWriteStillHidesTheButtons) {
  // Bytes that were waiting before the write are purged, not taken for the answer.
  line.Send(Announce(0, {1, 2, 3}));
  WaitUntil([&] { return port.PendingInput() > 0; });
  Write();
  EXPECT_EQ(line.Received(), std::vector<uint8_t>({0x63, 0x01, 0x00, 0, 0, 0, 0, 0x80, 0, 0, 1}));
  EXPECT_EQ(io.sleeps, std::vector<int>(41, 800));
  EXPECT_EQ(io.ui.beeps, 1);
  EXPECT_EQ(io.panel[1], kTextNoLogger);
  EXPECT_TRUE(flags.NoLoggerFound);
  EXPECT_FALSE(flags.DeleteInProgress);
  EXPECT_FALSE(flags.SkipDrain);
  EXPECT_EQ(view.calls.front(), "hideSchreib");
  EXPECT_EQ(view.calls.back(), "hideButtons");
  EXPECT_FALSE(view.Called("load"));
}

TEST_F(WriteReadBack, AFailingReadBackStillHidesTheButtons) {
  view.throwOnLoad = true;
  controls.deleteItem = 0;
  OnPoll(
      io,
      [&](int n) {
        if (n == 1) line.Send(Announce(0, {1, 0, 0}));
      },
      40);
  EXPECT_THROW(Write(), std::runtime_error);
  EXPECT_EQ(view.calls.back(), "hideButtons");
  EXPECT_TRUE(view.Called("load"));
}

TEST_F(WriteReadBack, ClosedPortEndsTheWriteWithoutWaiting) {
  port.Close();
  EXPECT_THROW(Write(), EComPort);
  EXPECT_FALSE(flags.DeleteInProgress);
  EXPECT_FALSE(view.Called("hideSchreib"));
  EXPECT_TRUE(io.sleeps.empty());
}

}  // namespace
