// The configuration read and write over a scripted line: the polls and pauses pass on the
// line's clock, so the silence limit and the write time-out are tried without waiting.
#include <gtest/gtest.h>

#include <stdexcept>

#include "protocol/configread.h"
#include "protocol/configwrite.h"
#include "exchange_support.h"
#include "serial/comerrors.h"
#include "serial/scriptedline.h"

namespace {

using Bytes = std::vector<uint8_t>;

class ScriptedRead : public ::testing::Test {
 protected:
  void SetUp() override {
    io.onSleep = [this](int ms) { line.Advance(ms); };  // on the line's clock only
  }
  // The logger is on when the read starts (right after a write): the first poll takes
  // the wake byte; the message up to its first byte is then on the line, and the rest
  // comes pauseMs after the poll's sleep, while the read waits for it.
  void MessageWithPause(int pauseMs, const Bytes& bytes) {
    flags.SkipDrain = true;
    line.Send({0x55, 0x55, 0x55, 9, static_cast<uint8_t>(bytes.size()), bytes[0]});
    io.onSleep = [this, pauseMs, bytes](int ms) {
      line.Advance(ms);
      if (io.sleeps.size() == 1) line.SendAfter(pauseMs, Bytes(bytes.begin() + 1, bytes.end()));
    };
  }
  void Read() { ReadConfiguration(line, view, cfg, flags); }

  ScriptedLine line;
  RecordingUserIO io;
  RecordingView view{io};
  LoggerConfig cfg;
  ConfigFlags flags;
};

const Bytes kBytes = {0x01, 0x80, 49, 0x01, 0x2C, 0, 0x80, 105, 12, 0x30, 0x39, 8};

TEST_F(ScriptedRead, PauseOfTheSilenceLimitInsideTheMessageIsWaitedOut) {
  MessageWithPause(kLineSilenceMs, kBytes);
  Read();
  ASSERT_TRUE(flags.ConfigRead) << io.panel[1];
  EXPECT_EQ(cfg.LeadByte, 9);
  for (size_t i = 0; i < kBytes.size(); ++i) EXPECT_EQ(cfg.Bytes[i + 1], kBytes[i]) << i;
  EXPECT_EQ(line.Written(), Bytes(31, 0x0F));
  EXPECT_EQ(line.Unread(), 0u);
}

TEST_F(ScriptedRead, LongerPauseInsideTheMessageIsAnIncompleteMessage) {
  MessageWithPause(kLineSilenceMs + 10, kBytes);
  Read();
  EXPECT_FALSE(flags.ConfigRead);
  EXPECT_TRUE(flags.NoLoggerFound);
  EXPECT_EQ(io.panel[1], kTextIncomplete);
  EXPECT_EQ(cfg.Bytes[1], 0);
  EXPECT_TRUE(line.Written().empty());  // not acknowledged
}

TEST_F(ScriptedRead, StaleBytesAreDroppedBeforeTheWait) {
  // An old message is on the line when the read starts; the logger answers in poll 3.
  line.Send({0x55, 0x55, 3, 2, 0xEE, 0xEE});
  io.onSleep = [this](int ms) {
    line.Advance(ms);
    if (io.sleeps.size() == 2) line.Send({0x55, 0x55, 0x55, 1, 2, 7, 8});
  };
  Read();
  ASSERT_TRUE(flags.ConfigRead) << io.panel[1];
  EXPECT_EQ(io.sleeps.size(), 3u);
  EXPECT_EQ(cfg.LeadByte, 1);
  EXPECT_EQ(cfg.Bytes[1], 7);
  EXPECT_EQ(cfg.Bytes[2], 8);
}

TEST_F(ScriptedRead, ClosedLineThatCannotBeOpenedReportsAndThrows) {
  line.SetConnected(false);
  line.FailOpen(true);
  EXPECT_THROW(Read(), EComPort);
  EXPECT_EQ(io.panel[1], kTextOpenFailed);
  EXPECT_EQ(io.color, StatusColorFailure);
  EXPECT_TRUE(view.calls.empty());
}

TEST_F(ScriptedRead, WriteThatDoesNotLeaveThePortEndsWithinItsTimeOut) {
  line.HoldOutput(true);
  line.SetWriteTimeouts(100, 1000);
  ConfigControls controls = ControlsFromConfig(cfg);
  controls.deleteItem = 1;
  EXPECT_THROW(WriteConfiguration(line, view, cfg, flags, SettingsFromControls(controls)),
               std::runtime_error);
  EXPECT_EQ(line.Written().size(), 11u);  // the whole message went to the port
  EXPECT_GE(line.NowMs(), 11 * 100 + 1000);
  EXPECT_FALSE(flags.DeleteInProgress);  // nothing waits for a delete not ordered
  EXPECT_TRUE(io.sleeps.empty());
}

}  // namespace
