// The program's line over a real pseudo-terminal: bytes come from the ring first, a pause
// is waited out only up to the silence limit, and the direct read keeps its own time-out
// without touching the port's.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "pty_support.h"
#include "serial/portline.h"
#include "serial/rxring.h"

namespace {

class PortLineTest : public PortOnPtyTest<> {
 protected:
  void SetUp() override {
    PortOnPtyTest::SetUp();
    port.SetEvents(TComEvents());  // bytes come through the line's own reads
    port.Open();
  }
  // Sends bytes from another thread after delayMs.
  void SendLater(std::string bytes, int delayMs) {
    sender = std::thread([this, bytes, delayMs] {
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
      pty.Send(bytes);
    });
  }
  void TearDown() override {
    if (sender.joinable()) sender.join();
    port.Close();
  }

  ReceiveRing ring{port, [](const std::string&) {}};
  PortLine line{port, ring};
  std::thread sender;
};

TEST_F(PortLineTest, BytesInTheRingComeFirstAndSurviveAPurge) {
  const uint8_t inRing[] = {1, 2};
  ring.Append(inRing, 2);
  pty.Send("\x03");
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 1; }));
  line.Purge(true, true);  // the driver's byte goes, the ring keeps its own
  EXPECT_EQ(port.PendingInput(), 0);
  EXPECT_EQ(line.TakeReceived(), std::optional<uint8_t>(1));
  EXPECT_EQ(line.Receive(), std::optional<uint8_t>(2));
  EXPECT_EQ(line.Receive(), std::nullopt);
  EXPECT_EQ(line.TakeReceived(), std::nullopt);
}

TEST_F(PortLineTest, PauseShorterThanTheSilenceLimitIsWaitedOut) {
  SendLater("A", 100);
  EXPECT_EQ(line.ReceiveWithin(kLineSilenceMs + 500), std::optional<uint8_t>('A'));
}

TEST_F(PortLineTest, SilenceLimitZeroIsOneReadTimeOut) {
  SendLater("A", 1000);
  EXPECT_EQ(line.ReceiveWithin(0), std::nullopt);
  sender.join();
  EXPECT_EQ(line.ReceiveWithin(kLineSilenceMs), std::optional<uint8_t>('A'));
}

TEST_F(PortLineTest, DirectReadKeepsItsOwnTimeOutAndLeavesThePortsAlone) {
  SendLater("r", 150);
  char c = 0;
  // The port's read time-out is 20 ms; the direct read waits for the late answer.
  ASSERT_EQ(line.ReadDirect(&c, 1, 2000), 1);
  EXPECT_EQ(c, 'r');
  EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 20);
  EXPECT_EQ(line.ReadDirect(&c, 1, 50), 0);
  EXPECT_EQ(ring.Unread(), 0);  // past the ring
}

TEST_F(PortLineTest, WriteTimeOutFollowsThePortsSettings) {
  port.Timeouts().SetWriteTotalMultiplier(7);
  port.Timeouts().SetWriteTotalConstant(300);
  EXPECT_EQ(line.WriteTimeoutMs(11), 7 * 11 + 300);
  port.Timeouts().SetWriteTotalMultiplier(-1);  // the all-ones value counts as 0
  EXPECT_EQ(line.WriteTimeoutMs(11), 300);
}

}  // namespace
