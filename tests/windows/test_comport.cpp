// The serial component on Windows, against a COM port whose far end is the simulated
// logger: scripts/test-windows.sh links $WINEPREFIX/dosdevices/comN to the slave of a
// pseudo-terminal that the Linux build's loggersim drives, and names the port in
// MORVALA_TEST_COM. ComPortOnWine runs against the bootloader (silent until it gets "!",
// then answers "r"), ComPortHangUp against one that hangs up after its first answer.
//
// A pseudo-terminal has no modem lines and ignores the rate, and Wine cannot wait for
// line events on it (see serial/win32_device.cpp): these tests check what Wine can show,
// the bytes, the time-outs, the queues and the two events that carry handlers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "serial/comport.h"
#include "serial/mainsync.h"
#include "serial/portlist.h"
#include "tests/support/clock.h"

namespace {

// Plays the window's thread: runs handed-over batches until pred holds or ms passed.
bool PumpUntil(MainThreadSync& sync, const std::function<bool()>& pred, int ms = 10000) {
  return WaitUntil(
      [&] {
        if (pred()) return true;
        sync.RunPending();
        return false;
      },
      ms);
}

class ComPortOnWine : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* com = std::getenv("MORVALA_TEST_COM");
    ASSERT_NE(com, nullptr) << "MORVALA_TEST_COM names the COM port of the simulator";
    ApplyComPort1Design(port);
    port.SetPort(com);
    port.SetMainThreadSync(&sync);
  }
  void TearDown() override { port.Close(); }

  // One trigger for the bootloader, and its answer within a second.
  std::string Ask() {
    EXPECT_EQ(port.SendText("!"), 1);
    std::string got;
    port.Timeouts().SetReadTotalConstant(1000);
    port.ReceiveText(got, 1);
    port.Timeouts().SetReadTotalConstant(20);
    return got;
  }

  MainThreadSync sync;
  TComPort port;
};

TEST_F(ComPortOnWine, MissingPortFailsWithTheSystemsCode) {
  port.SetPort("COM31");
  try {
    port.Open();
    FAIL() << "COM31 opened";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceOpen);
    EXPECT_EQ(e.SystemErrorCode(), 2);  // ERROR_FILE_NOT_FOUND
    EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    EXPECT_EQ(e.DevicePath(), "\\\\.\\COM31");
    EXPECT_EQ(ClassifySystemError(e.SystemErrorCode()), PortFault::kNoSuchDevice);
  }
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(port.EventThreadRunning());
}

TEST_F(ComPortOnWine, OpensWithTheLoggersSettingsAndTalks) {
  port.Open();
  ASSERT_TRUE(port.Connected());
  EXPECT_TRUE(port.EventThreadRunning());
  EXPECT_EQ(Ask(), "r");
  // The line settings reach SetCommState while the port is open: rate and stop bits are
  // taken.
  port.SetBaudRate(br9600);
  port.SetStopBits(sbOneStopBit);
  port.SetBaudRate(br38400);
  port.SetStopBits(sbTwoStopBits);
  EXPECT_EQ(Ask(), "r");
  // A pseudo-terminal keeps 8 data bits, so Wine refuses 7 with ERROR_INVALID_PARAMETER
  // (a real port takes them; parity and Xon/Xoff are refused too, depending on what
  // else is set): the refusal carries the system's code, and the line goes on.
  try {
    port.SetDataBits(dbSeven);
    ADD_FAILURE() << "7 data bits taken by a pseudo-terminal";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceLineSettings);
    EXPECT_STREQ(e.what(), "SetCommState function failed (win error code: 87)");
  }
  port.SetDataBits(dbEight);
  EXPECT_EQ(Ask(), "r");
  // A second Open changes nothing.
  port.Open();
  EXPECT_EQ(Ask(), "r");
}

TEST_F(ComPortOnWine, ReadOnASilentLineEndsByItsTimeOut) {
  port.Open();
  uint8_t buf[256];
  EXPECT_EQ(port.Read(buf, 256), 0);
  port.Timeouts().SetReadTotalConstant(1000);
  std::string text = "x";
  EXPECT_EQ(port.ReceiveText(text, 1), 0);
  EXPECT_EQ(text, "");
  EXPECT_EQ(port.SendText(""), 0);
}

TEST_F(ComPortOnWine, ReceivedBytesReachRxCharOnTheWindowsThread) {
  int32_t count = 0;
  std::thread::id where;
  port.OnRxChar = [&](TCustomComPort*, int32_t n) {
    count = n;
    where = std::this_thread::get_id();
  };
  port.Open();
  ASSERT_EQ(port.SendText("!"), 1);
  ASSERT_TRUE(PumpUntil(sync, [&] { return count > 0; }));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(where, std::this_thread::get_id());
  uint8_t b = 0;
  EXPECT_EQ(port.Read(&b, 1), 1);
  EXPECT_EQ(b, 'r');
}

TEST_F(ComPortOnWine, QueueEightyPercentFullIsReportedOnce) {
  int full = 0;
  port.OnRx80Full = [&](TCustomComPort*) { ++full; };
  port.Buffer().SetInputSize(10);  // 80 %: 8 bytes
  port.Open();
  ASSERT_EQ(port.SendText("!!!!!!!!!!"), 10);
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 10; }));
  ASSERT_TRUE(PumpUntil(sync, [&] { return full > 0; }));
  PumpUntil(
      sync, [] { return false; }, 200);  // nothing more is to come
  EXPECT_EQ(full, 1);
}

TEST_F(ComPortOnWine, PurgeDiscardsWhatWasReceived) {
  port.Open();
  ASSERT_EQ(port.SendText("!!!"), 3);
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 3; }));
  port.PurgeQueues(true, false);
  EXPECT_EQ(port.PendingInput(), 0);
  uint8_t buf[8];
  EXPECT_EQ(port.Read(buf, 8), 0);
  EXPECT_EQ(Ask(), "r");  // the line goes on
}

TEST_F(ComPortOnWine, CloseEndsTheWaitingEventThreadAndOpensAgain) {
  port.Open();
  ASSERT_TRUE(port.EventThreadRunning());
  port.Close();
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(port.EventThreadRunning());
  uint8_t b;
  try {
    port.Read(&b, 1);
    FAIL() << "read on a closed port";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceRead);
    EXPECT_EQ(e.SystemErrorCode(), 6);  // ERROR_INVALID_HANDLE
  }
  port.Open();
  EXPECT_TRUE(port.EventThreadRunning());
  EXPECT_EQ(Ask(), "r");
}

TEST_F(ComPortOnWine, CloseFromTheRxCharHandler) {
  bool closed = false;
  port.OnRxChar = [&](TCustomComPort* p, int32_t) {
    p->Close();
    closed = true;
  };
  port.Open();
  ASSERT_EQ(port.SendText("!"), 1);
  ASSERT_TRUE(PumpUntil(sync, [&] { return closed; }));
  EXPECT_FALSE(port.Connected());
}

// The setup dialog's list: the registry's serial devices (Wine lists its dosdevices
// links there), and the current port, in the order COM1, COM2, ..., COM10.
TEST_F(ComPortOnWine, PortListOffersTheMappedPortInNumericOrder) {
  const std::vector<std::string> ports = ListSerialPorts(port.Port());
  EXPECT_NE(std::find(ports.begin(), ports.end(), port.Port()), ports.end());
  std::vector<std::string> sorted = ports;
  SortPortNames(sorted);
  EXPECT_EQ(ports, sorted);
}

using ComPortHangUp = ComPortOnWine;

// The far end goes away after its first answer. Reads then fail with the system's code
// (Wine: ERROR_BROKEN_PIPE); from then on Wine fails the port's other calls too
// (ERROR_NOT_READY), the event thread's look at the queue among them, so that the thread
// ends by itself. (Windows fails the event wait itself when an adapter is pulled.) Close
// still ends the port, and nothing waits for ever.
TEST_F(ComPortHangUp, FarEndHangsUpAfterItsAnswer) {
  port.Open();
  EXPECT_EQ(Ask(), "r");
  auto failure = [&](const std::function<void()>& f) {
    try {
      f();
    } catch (const EComPort& e) {
      EXPECT_GT(e.SystemErrorCode(), 0) << e.what();
      EXPECT_EQ(ClassifySystemError(e.SystemErrorCode()), PortFault::kLineDead) << e.what();
      return e.ErrorNumber();
    }
    return TComError(0);
  };
  uint8_t buf[16];
  ASSERT_TRUE(WaitUntil([&] { return failure([&] { port.Read(buf, 16); }) == ceRead; }));
  // The window's thread goes on taking its messages (a batch of the answer may wait).
  EXPECT_TRUE(PumpUntil(sync, [&] { return !port.EventThreadRunning(); }));
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(failure([&] { port.SendText("!"); }), ceWrite);
  EXPECT_EQ(failure([&] { port.PendingInput(); }), ceQueueCounts);
  port.Close();
  EXPECT_FALSE(port.Connected());
}

}  // namespace
