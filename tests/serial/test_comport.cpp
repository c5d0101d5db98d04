// The port component on real pseudo-terminals: opening, exclusive use, transfers and
// their time-outs, the queues, the setting pushes and their limits.
#include <gtest/gtest.h>
#include <termios.h>

#include <cerrno>
#include <vector>

#include "pty_support.h"

namespace {

using ComPortTest = PortOnPtyTest<>;

// Counts the pushes of all settings and of the line settings while connected.
class CountingPort : public TComPort {
 public:
  int linePushes = 0;
  int fullPushes = 0;
  void PushSettings() override {
    if (Connected()) ++fullPushes;
    TComPort::PushSettings();
  }
  void PushLineSettings() override {
    if (Connected()) ++linePushes;
    TComPort::PushLineSettings();
  }
};

speed_t TerminalSpeed(int fd) {
  struct termios tio;
  if (::tcgetattr(fd, &tio) != 0) return B0;
  return ::cfgetospeed(&tio);
}

}  // namespace

TEST(ComPortTables, ErrorTextsMasksAndRates) {
  EXPECT_STREQ(ComErrorText(1), "Unable to open com port");
  EXPECT_STREQ(ComErrorText(14), "Cannot set property while connected");
  EXPECT_STREQ(ComErrorText(23), "Registry error");
  EComPort withCode(ceRead, 5);
  EXPECT_STREQ(withCode.what(), "ReadFile function failed (win error code: 5)");
  EXPECT_EQ(withCode.SystemErrorCode(), 5);
  EComPort plain(ceSetWhileConnected);
  EXPECT_EQ(plain.SystemErrorCode(), -1);
  EXPECT_STREQ(plain.what(), "Cannot set property while connected");
  EXPECT_EQ(plain.DevicePath(), "");
  EXPECT_EQ(EComPort(ceOpen, 13, "/dev/ttyUSB0").DevicePath(), "/dev/ttyUSB0");
  // The names keep the numbers of the table.
  EXPECT_STREQ(ComErrorText(ceLineSettings), "SetCommState function failed");
  EXPECT_STREQ(ComErrorText(ceQueueCounts), "ClearCommError function failed");
  EXPECT_STREQ(ComErrorText(ceLoadSettings), "Failed to load settings");
  EXPECT_STREQ(ComErrorText(cePortList), "Registry error");

  EXPECT_EQ(EventsToMask(TComEvents::All()), 0x05FFu);
  EXPECT_EQ(EventsToMask({evRxChar, evRx80Full}), 0x0401u);
  EXPECT_EQ(EventsToMask({evRxFlag}), 0x0002u);
  EXPECT_TRUE(MaskToEvents(0x05FF | 0x0800 | 0x0200) == TComEvents::All());
  EXPECT_TRUE(MaskToEvents(0x0004) == TComEvents({evTxEmpty}));
  EXPECT_EQ(BaudRateValue(br38400), 38400);
  EXPECT_EQ(BaudRateValue(br256000), 256000);
  EXPECT_EQ(BaudRateValue(brCustom), 0);
}

TEST(ComPortTables, DevicePaths) {
  EXPECT_EQ(TCustomComPort::DevicePath("COM2"), "/dev/ttyS1");
  EXPECT_EQ(TCustomComPort::DevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(TCustomComPort::DevicePath("COM12"), "/dev/ttyS11");
  EXPECT_EQ(TCustomComPort::DevicePath("/dev/pts/7"), "/dev/pts/7");
  EXPECT_EQ(TCustomComPort::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(TCustomComPort::DevicePath("COMX"), "/dev/COMX");
}

TEST(ComPortDefaults, ConstructorAndDesignValues) {
  TComPort plain;
  EXPECT_EQ(plain.Port(), "COM1");
  EXPECT_EQ(plain.BaudRate(), br9600);
  EXPECT_EQ(plain.Timeouts().ReadTotalConstant(), 0);
  EXPECT_EQ(plain.Buffer().InputSize(), 1024);
  EXPECT_TRUE(plain.Events() == TComEvents::All());
  EXPECT_EQ(plain.MainSync(), &MainThreadSync::Instance());
  EXPECT_FALSE(plain.Connected());

  TComPort p;
  ApplyComPort1Design(p);
  EXPECT_EQ(p.Name(), "ComPort1");
  EXPECT_EQ(p.Port(), "COM2");
  EXPECT_EQ(p.BaudRate(), br38400);
  EXPECT_EQ(p.DataBits(), dbEight);
  EXPECT_EQ(p.StopBits(), sbTwoStopBits);
  EXPECT_EQ(p.Parity().Bits(), prNone);
  EXPECT_EQ(p.FlowControl().FlowControl(), fcNone);
  EXPECT_EQ(p.FlowControl().ControlDTR(), dtrDisable);
  EXPECT_EQ(p.Buffer().InputSize(), 65536);
  EXPECT_EQ(p.Buffer().OutputSize(), 1024);
  EXPECT_EQ(p.XonLim(), 16384);
  EXPECT_EQ(p.Timeouts().ReadInterval(), -1);
  EXPECT_EQ(p.Timeouts().ReadTotalConstant(), 20);
  EXPECT_EQ(p.Timeouts().WriteTotalMultiplier(), 100);
  EXPECT_EQ(p.Timeouts().WriteTotalConstant(), 1000);
  EXPECT_EQ(p.SyncMethod(), smThreadSync);
}

TEST_F(ComPortTest, MissingDeviceRaisesOpenErrorWithEnoent) {
  port.SetPort("/tmp/morvala-no-such-serial-device");
  try {
    port.Open();
    FAIL() << "Open succeeded";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceOpen);
    EXPECT_EQ(e.SystemErrorCode(), ENOENT);
    EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    EXPECT_EQ(e.DevicePath(), "/tmp/morvala-no-such-serial-device");
    EXPECT_EQ(ClassifySystemError(e.SystemErrorCode()), PortFault::kNoSuchDevice);
  }
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(port.EventThreadRunning());
}

TEST_F(ComPortTest, OpenTwiceCloseTwiceAndReopen) {
  int opens = 0;
  std::vector<bool> lines;
  port.OnAfterOpen = [&](TCustomComPort*) { ++opens; };
  // A pseudo-terminal has no modem lines: the status read at the end of Open is no error.
  port.OnCTSChange = [&](TCustomComPort*, bool on) { lines.push_back(on); };
  port.Open();
  ASSERT_TRUE(port.Connected());
  EXPECT_TRUE(port.EventThreadRunning());
  EXPECT_TRUE(lines.empty());
  port.Open();
  EXPECT_EQ(opens, 1);
  port.Close();
  EXPECT_FALSE(port.Connected());
  EXPECT_FALSE(port.EventThreadRunning());
  EXPECT_EQ(lines, std::vector<bool>{false});  // reported off at Close
  port.Close();
  EXPECT_EQ(lines.size(), 1u);
  port.Open();
  EXPECT_EQ(opens, 2);
  pty.Send("abc");
  std::string text;
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 3; }));
  EXPECT_EQ(port.ReceiveText(text, 10), 3);
  EXPECT_EQ(text, "abc");
  port.Close();  // the handlers refer to this test's locals
  port.OnCTSChange = nullptr;
}

TEST_F(ComPortTest, SecondPortObjectCannotTakeAPortInUse) {
  port.Open();
  TComPort other;
  SetUpPort(other, pty, sync);
  try {
    other.Open();
    FAIL() << "second Open succeeded";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceOpen);
    EXPECT_TRUE(e.SystemErrorCode() == EWOULDBLOCK || e.SystemErrorCode() == EBUSY) << e.what();
    EXPECT_EQ(ClassifySystemError(e.SystemErrorCode()), PortFault::kBusy);
  }
  EXPECT_FALSE(other.Connected());
  // The first one is untouched, and the port is free again after its Close.
  EXPECT_EQ(port.SendText("x"), 1);
  EXPECT_EQ(pty.ReceivedText(), "x");
  port.Close();
  EXPECT_NO_THROW(other.Open());
}

TEST_F(ComPortTest, RawLineBothWaysAndTerminalRestoredOnClose) {
  struct termios before;
  ASSERT_EQ(::tcgetattr(pty.slave, &before), 0);
  ASSERT_TRUE(before.c_lflag & ICANON);
  port.Open();
  const std::string bytes("\r\n\x03\x00\x11\x13\x7f\xff", 8);
  pty.Send(bytes);
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 8; }));
  std::string text;
  port.ReceiveText(text, 100);
  EXPECT_EQ(text, bytes);  // no echo, no translation, no signals, no flow control
  EXPECT_EQ(port.SendText("a\nb"), 3);
  EXPECT_EQ(pty.ReceivedText(), "a\nb");  // no output processing
  port.Close();
  struct termios after;
  ASSERT_EQ(::tcgetattr(pty.slave, &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
}

TEST_F(ComPortTest, ReadTimeOuts) {
  port.Open();
  uint8_t buf[256];
  int64_t t0 = NowMs();
  EXPECT_EQ(port.Read(buf, 256), 0);
  int64_t took = NowMs() - t0;
  EXPECT_GE(took, 15);
  EXPECT_LT(took, 500);

  pty.Send("0123456789");
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 10; }));
  t0 = NowMs();
  EXPECT_EQ(port.Read(buf, 256), 10);
  EXPECT_LT(NowMs() - t0, 500);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 10), "0123456789");

  // A byte that arrives during the wait ends it early.
  port.Timeouts().SetReadTotalConstant(1000);
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.Send("Z");
  });
  t0 = NowMs();
  int32_t got = port.Read(buf, 256);
  took = NowMs() - t0;
  late.join();
  EXPECT_EQ(got, 1);
  EXPECT_GE(took, 50);
  EXPECT_LT(took, 900);

  std::string text = "junk";
  t0 = NowMs();
  EXPECT_EQ(port.ReceiveText(text, 1), 0);
  took = NowMs() - t0;
  EXPECT_TRUE(text.empty());
  EXPECT_GE(took, 900);
  EXPECT_LT(took, 3000);

  // Both totals 0: at once.
  port.Timeouts().SetReadTotalConstant(0);
  t0 = NowMs();
  EXPECT_EQ(port.Read(buf, 256), 0);
  EXPECT_LT(NowMs() - t0, 15);
  EXPECT_EQ(port.ReceiveText(text, 0), 0);
  EXPECT_TRUE(text.empty());
}

TEST_F(ComPortTest, WritesAndTheirDeadline) {
  port.Open();
  EXPECT_EQ(port.SendText(""), 0);
  EXPECT_EQ(pty.ReceivedText(50), "");
  EXPECT_EQ(port.SendText("hello"), 5);
  EXPECT_EQ(pty.ReceivedText(), "hello");
  EXPECT_GE(port.PendingOutput(), 0);

  // Nobody reads the other end: the write gives up at its deadline with what went out.
  port.Timeouts().SetWriteTotalMultiplier(0);
  port.Timeouts().SetWriteTotalConstant(200);
  std::string big(4 << 20, 'w');
  int64_t t0 = NowMs();
  int32_t sent = port.SendText(big);
  int64_t took = NowMs() - t0;
  EXPECT_GT(sent, 0);
  EXPECT_LT(sent, static_cast<int32_t>(big.size()));
  EXPECT_GE(took, 150);
  EXPECT_LT(took, 3000);
  t0 = NowMs();
  port.Close();  // pending output must not hold up the close
  EXPECT_LT(NowMs() - t0, 2000);
}

TEST_F(ComPortTest, PurgeAndTheOwnInputQueue) {
  port.Open();
  pty.Send(std::string(50, 'p'));
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 50; }));
  port.PurgeQueues(true, false);
  EXPECT_EQ(port.PendingInput(), 0);
  uint8_t buf[64];
  EXPECT_EQ(port.Read(buf, 64), 0);
  EXPECT_NO_THROW(port.PurgeQueues(true, true));

  // The queue holds Buffer.InputSize bytes; what comes beyond waits in the terminal.
  port.Buffer().SetInputSize(1000);
  std::string stream;
  for (int i = 0; i < 3000; ++i) stream.push_back(static_cast<char>('A' + i % 26));
  pty.Send(stream);
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 1000; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(port.PendingInput(), 1000);
  std::string text;
  port.ReceiveText(text, 2000);
  EXPECT_EQ(text, stream.substr(0, 1000));
  // A purge of the full queue discards the terminal's rest too.
  port.PurgeQueues(true, false);
  EXPECT_EQ(port.Read(buf, 64), 0);
}

TEST_F(ComPortTest, OperationsOnAClosedPortRaiseTheirNumbers) {
  uint8_t b = 0;
  auto number = [](auto fn) -> int {
    try {
      fn();
    } catch (const EComPort& e) {
      EXPECT_EQ(e.SystemErrorCode(), EBADF);
      EXPECT_EQ(e.DevicePath(), "/dev/ttyS0");  // the device Port names
      return e.ErrorNumber();
    }
    return 0;
  };
  port.SetPort("COM1");
  EXPECT_EQ(number([&] { port.Read(&b, 1); }), ceRead);
  EXPECT_EQ(number([&] { port.Write(&b, 1); }), ceWrite);
  EXPECT_EQ(number([&] { port.PendingInput(); }), ceQueueCounts);
  EXPECT_EQ(number([&] { port.PendingOutput(); }), ceQueueCounts);
  EXPECT_EQ(number([&] { port.PurgeQueues(true, true); }), cePurge);
}

TEST_F(ComPortTest, LockedSettingsArePushedOnceAtUnlock) {
  CountingPort counting;
  SetUpPort(counting, pty, sync);
  counting.Open();
  EXPECT_EQ(counting.fullPushes, 1);
  EXPECT_EQ(counting.linePushes, 1);
  counting.SetBaudRate(br38400);  // unchanged: nothing
  EXPECT_EQ(counting.linePushes, 1);
  counting.LockSettings();
  counting.LockSettings();
  counting.SetBaudRate(br19200);
  counting.SetStopBits(sbOneStopBit);
  counting.Parity().SetBits(prEven);
  EXPECT_EQ(TerminalSpeed(pty.slave), static_cast<speed_t>(B38400));  // stored, not pushed
  counting.UnlockSettings();
  EXPECT_EQ(TerminalSpeed(pty.slave), static_cast<speed_t>(B38400));
  const int before = counting.linePushes;
  counting.UnlockSettings();
  EXPECT_EQ(counting.fullPushes, 2);
  EXPECT_EQ(counting.linePushes, before + 1);
  counting.UnlockSettings();  // counter already 0
  EXPECT_EQ(counting.fullPushes, 2);
  struct termios tio;
  ASSERT_EQ(::tcgetattr(pty.slave, &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B19200));
  EXPECT_FALSE(tio.c_cflag & CSTOPB);  // (a pseudo-terminal keeps no parity setting)

  // Whole objects and the summary push once, even without a change.
  TComPort donor;
  counting.FlowControl().Assign(donor.FlowControl());
  EXPECT_EQ(counting.linePushes, before + 2);
  counting.FlowControl().SetFlowControl(fcNone);
  EXPECT_EQ(counting.linePushes, before + 3);
  counting.Parity().Assign(donor.Parity());
  EXPECT_EQ(counting.linePushes, before + 4);
}

TEST_F(ComPortTest, DesignSettingsReachTheTerminal) {
  port.Open();
  struct termios tio;
  ASSERT_EQ(::tcgetattr(pty.slave, &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B38400));
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_TRUE(tio.c_cflag & CSTOPB);
  EXPECT_FALSE(tio.c_cflag & PARENB);
  EXPECT_FALSE(tio.c_cflag & CRTSCTS);
  EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF));
  port.FlowControl().SetFlowControl(fcSoftware);
  ASSERT_EQ(::tcgetattr(pty.slave, &tio), 0);
  EXPECT_TRUE(tio.c_iflag & IXON);
  EXPECT_TRUE(tio.c_iflag & IXOFF);
  // Rates termios has no constant for, and custom ones, do not fail on a pseudo-terminal.
  EXPECT_NO_THROW(port.SetBaudRate(br14400));
  EXPECT_NO_THROW(port.SetBaudRate(br256000));
  EXPECT_NO_THROW(port.SetCustomBaudRate(12345));
  EXPECT_NO_THROW(port.SetBaudRate(brCustom));
  EXPECT_TRUE(port.Connected());
}

TEST_F(ComPortTest, PortRename) {
  int opens = 0;
  port.OnAfterOpen = [&](TCustomComPort*) { ++opens; };
  port.Open();
  port.SetPort(pty.path);
  EXPECT_EQ(opens, 1);

  PtyPair second;
  ASSERT_TRUE(second.Ok());
  port.SetPort(second.path);
  EXPECT_EQ(opens, 2);
  EXPECT_TRUE(port.Connected());
  second.Send("B");
  ASSERT_TRUE(WaitUntil([&] { return port.PendingInput() == 1; }));
  // The first line is free again.
  TComPort other;
  SetUpPort(other, pty, sync);
  EXPECT_NO_THROW(other.Open());
  other.Close();

  try {
    port.SetPort("/tmp/morvala-no-such-serial-device");
    FAIL() << "rename to a missing device succeeded";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceOpen);
    EXPECT_EQ(e.SystemErrorCode(), ENOENT);
  }
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Port(), "/tmp/morvala-no-such-serial-device");
}

TEST_F(ComPortTest, SyncMethodIsFixedWhileConnected) {
  port.Open();
  try {
    port.SetSyncMethod(smNone);
    FAIL();
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceSetWhileConnected);
    EXPECT_EQ(e.SystemErrorCode(), -1);
    EXPECT_STREQ(e.what(), "Cannot set property while connected");
  }
  EXPECT_EQ(port.SyncMethod(), smThreadSync);
  port.Close();
  port.SetSyncMethod(smNone);
  EXPECT_EQ(port.SyncMethod(), smNone);
}

TEST(ComPortSettings, BufferSizesAndFlowControlSummary) {
  TComPort p;
  p.Buffer().SetInputSize(65537);
  EXPECT_EQ(p.Buffer().InputSize(), 65536);
  EXPECT_EQ(p.XonLim(), 16384);
  EXPECT_EQ(p.XoffLim(), 16384);
  p.Buffer().SetOutputSize(1025);
  EXPECT_EQ(p.Buffer().OutputSize(), 1024);

  auto& fc = p.FlowControl();
  EXPECT_EQ(fc.FlowControl(), fcNone);
  fc.SetFlowControl(fcHardware);
  EXPECT_EQ(fc.ControlRTS(), rtsHandshake);
  EXPECT_TRUE(fc.OutCTSFlow());
  EXPECT_EQ(fc.FlowControl(), fcHardware);
  fc.SetControlDTR(dtrHandshake);
  fc.SetOutDSRFlow(true);
  EXPECT_EQ(fc.FlowControl(), fcHardware);
  fc.SetFlowControl(fcSoftware);
  EXPECT_EQ(fc.ControlRTS(), rtsDisable);
  EXPECT_FALSE(fc.OutCTSFlow());
  EXPECT_TRUE(fc.XonXoffIn() && fc.XonXoffOut());
  EXPECT_EQ(fc.FlowControl(), fcSoftware);
  fc.SetXonXoffIn(false);
  EXPECT_EQ(fc.FlowControl(), fcCustom);
  fc.SetFlowControl(fcCustom);  // changes no field
  EXPECT_FALSE(fc.XonXoffIn());
  EXPECT_TRUE(fc.XonXoffOut());
  fc.SetFlowControl(fcNone);
  EXPECT_EQ(fc.FlowControl(), fcNone);
  EXPECT_EQ(fc.ControlDTR(), dtrHandshake);  // untouched by the summary
  fc.SetControlRTS(rtsEnable);
  EXPECT_EQ(fc.FlowControl(), fcCustom);
}

TEST_F(ComPortTest, LimitsFailThePushThatUsesThem) {
  // Too large an input queue: the line settings cannot derive XonLim from it.
  port.Buffer().SetInputSize(300000);
  try {
    port.Open();
    FAIL();
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceLineSettings);
    EXPECT_NE(std::string(e.what()).find("262143"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(port.Connected());
  port.Buffer().SetInputSize(65536);
  port.Open();

  auto number = [](auto fn) -> int {
    try {
      fn();
    } catch (const EComPort& e) {
      EXPECT_GT(std::string(e.what()).size(), 10u);
      return e.ErrorNumber();
    }
    return 0;
  };
  EXPECT_EQ(number([&] { port.Buffer().SetOutputSize(-2); }), ceQueueSizes);
  EXPECT_EQ(port.Buffer().OutputSize(), -2);  // stored, not pushed
  port.Buffer().SetOutputSize(1024);
  EXPECT_EQ(number([&] { port.Timeouts().SetReadTotalConstant(-2); }), ceTimeouts);
  port.Timeouts().SetReadTotalConstant(-1);  // all ones is allowed
  port.Timeouts().SetReadTotalConstant(20);
  EXPECT_EQ(number([&] { port.SetCustomBaudRate(-5); }), ceLineSettings);
  EXPECT_TRUE(port.Connected());
  // The failed pushes left the device as it was: reads still time out after ~20 ms.
  port.SetCustomBaudRate(9600);
  uint8_t buf[8];
  int64_t t0 = NowMs();
  EXPECT_EQ(port.Read(buf, 8), 0);
  EXPECT_GE(NowMs() - t0, 15);
}
