// The receive ring and the byte reader on a real pseudo-terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "pty_support.h"
#include "serial/rxring.h"

namespace {

class RingTest : public PortOnPtyTest<> {
 protected:
  void SetUp() override {
    PortOnPtyTest::SetUp();
    port.SetEvents(TComEvents());  // the ring is filled by Empfang's own reads here
    port.Open();
  }
  void SendAndWait(const std::string& bytes) {
    const int32_t before = port.PendingInput();
    pty.Send(bytes);
    ASSERT_TRUE(WaitUntil(
        [&] { return port.PendingInput() == before + static_cast<int32_t>(bytes.size()); }));
  }
  std::vector<std::string> shown;
  ReceiveRing ring{port, [this](const std::string& text) { shown.push_back(text); }};
};

}  // namespace

TEST_F(RingTest, SilentLineTimesOutAfterOneReadTimeOut) {
  ring.RxByte = 7;
  int64_t t0 = NowMs();
  ring.Empfang();
  int64_t took = NowMs() - t0;
  EXPECT_TRUE(ring.RxTimedOut);
  EXPECT_EQ(ring.RxByte, 0);
  EXPECT_GE(took, 15);
  EXPECT_LT(took, 500);
}

TEST_F(RingTest, AZeroByteIsAByte) {
  SendAndWait(std::string("\0\x41", 2));
  ring.Empfang();
  EXPECT_FALSE(ring.RxTimedOut);
  EXPECT_EQ(ring.RxByte, 0);
  ring.Empfang();
  EXPECT_FALSE(ring.RxTimedOut);
  EXPECT_EQ(ring.RxByte, 0x41);
  ring.Empfang();
  EXPECT_TRUE(ring.RxTimedOut);
}

TEST_F(RingTest, ThreeHundredBytesComeAs256Then44) {
  std::string bytes;
  for (int i = 0; i < 300; ++i) bytes.push_back(static_cast<char>(i * 7));
  SendAndWait(bytes);
  ring.Empfang();
  EXPECT_EQ(ring.Unread(), 255);
  EXPECT_EQ(port.PendingInput(), 44);
  std::string got(1, static_cast<char>(ring.RxByte));
  for (int i = 1; i < 256; ++i) {
    ring.Empfang();
    got.push_back(static_cast<char>(ring.RxByte));
  }
  EXPECT_EQ(port.PendingInput(), 44);  // the ring served these without a port read
  ring.Empfang();
  EXPECT_EQ(port.PendingInput(), 0);
  EXPECT_EQ(ring.Unread(), 43);
  got.push_back(static_cast<char>(ring.RxByte));
  while (ring.Unread() > 0) {
    ring.Empfang();
    got.push_back(static_cast<char>(ring.RxByte));
  }
  EXPECT_EQ(got, bytes);
  EXPECT_TRUE(shown.empty());
}

TEST_F(RingTest, IndexesWrapWithoutLoss) {
  ring.RxHead = ring.RxTail = 65530;
  std::string bytes;
  for (int i = 0; i < 20; ++i) bytes.push_back(static_cast<char>(100 + i));
  SendAndWait(bytes);
  ring.Empfang();
  EXPECT_EQ(ring.RxHead, 14);
  std::string got(1, static_cast<char>(ring.RxByte));
  for (int i = 1; i < 20; ++i) {
    ring.Empfang();
    ASSERT_FALSE(ring.RxTimedOut);
    got.push_back(static_cast<char>(ring.RxByte));
  }
  EXPECT_EQ(got, bytes);
  EXPECT_EQ(ring.RxTail, 14);
}

TEST_F(RingTest, OverflowKeepsTheUnreadBytesAndDropsOnlyWhatDoesNotFit) {
  std::vector<uint8_t> old(ReceiveRing::kSize - 1 - 100);
  for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>(i % 251);
  ASSERT_EQ(ring.Append(old.data(), static_cast<int32_t>(old.size())),
            static_cast<int32_t>(old.size()));
  std::string fresh;
  for (int i = 0; i < 256; ++i) fresh.push_back(static_cast<char>(0xA0 + i % 16));
  SendAndWait(fresh);
  ring.ComPort1RxChar(1);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "FiFo-Puffer der COM-Schnittstelle übergelaufen!");
  EXPECT_EQ(ring.Unread(), 65535);
  for (size_t i = 0; i < old.size(); ++i) {
    ring.Empfang();
    ASSERT_EQ(ring.RxByte, old[i]) << "at " << i;
  }
  for (int i = 0; i < 100; ++i) {
    ring.Empfang();
    ASSERT_EQ(ring.RxByte, static_cast<uint8_t>(fresh[i]));
  }
  EXPECT_EQ(ring.Unread(), 0);
  EXPECT_EQ(port.PendingInput(), 0);  // the 156 that did not fit are gone
}

TEST_F(RingTest, CapacityAndMessages) {
  std::vector<uint8_t> block(65535, 0x5A);
  EXPECT_EQ(ring.Append(block.data(), 65535), 65535);  // the 65535th unread byte fits
  uint8_t one = 1;
  EXPECT_EQ(ring.Append(&one, 1), 0);
  EXPECT_EQ(ring.Unread(), 65535);
  // A read into the full ring: the message once, the ring unchanged.
  SendAndWait("xy");
  ring.ComPort1RxChar(1);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(ring.Unread(), 65535);
  ring.ComPort1Rx80Full();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1], "Puffer der COM-Schnittstelle 80% übergelaufen!");
}

TEST(RingOnClosedPort, EmptyRingOnAClosedPortRaisesTheReadError) {
  TComPort closed;
  ReceiveRing ring(closed, nullptr);
  try {
    ring.Empfang();
    FAIL();
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceRead);
    EXPECT_EQ(e.SystemErrorCode(), EBADF);
  }
  uint8_t b = 9;
  ring.Append(&b, 1);
  ring.Empfang();  // a byte in the ring needs no port
  EXPECT_EQ(ring.RxByte, 9);
}

TEST(RingWarnings, AWarningOnScreenDoesNotStackAnother) {
  TComPort port;  // closed: the warnings need no line
  int boxes = 0;
  ReceiveRing* self = nullptr;
  ReceiveRing ring{port, [&](const std::string&) {
                     ++boxes;
                     // The modal box runs the next notifications, which warn again.
                     self->ComPort1Rx80Full();
                     self->ComPort1Rx80Full();
                   }};
  self = &ring;
  ring.ComPort1Rx80Full();
  EXPECT_EQ(boxes, 1);
  ring.ComPort1Rx80Full();  // once the box is closed, the next warning shows again
  EXPECT_EQ(boxes, 2);
}
