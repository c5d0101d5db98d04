// The line-settings push against a terminal that plays a serial driver: one that bends a
// rate, refuses a setting or fails half way. A pseudo-terminal takes every request, so
// these cases need a driver of their own; the port still opens a real pseudo-terminal.
#include <gtest/gtest.h>
#include <termios.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "pty_support.h"
#include "serial/terminal_settings.h"

namespace {

struct RateCode {
  speed_t code;
  speed_t rate;
};
constexpr RateCode kRateCodes[] = {{B9600, 9600},    {B19200, 19200},   {B38400, 38400},
                                   {B57600, 57600},  {B115200, 115200}, {B230400, 230400},
                                   {B460800, 460800}};

speed_t RateOfCode(speed_t code) {
  for (const RateCode& r : kRateCodes)
    if (r.code == code) return r.rate;
  return 0;
}

// The settings a driver keeps, in the kernel's own form: flags and the rate as a number.
class DriverTerminal : public TerminalSettingsIo {
 public:
  KernelTermios2 k{};
  int lines = 0;
  // What the driver makes of each request before it keeps it.
  std::function<void(KernelTermios2&)> driver;
  int setError = 0;
  int setKernelError = 0;
  int dropLinesFailures = 0;  // the next so many drops fail with EIO

  DriverTerminal() {
    k.c_cflag = B9600 | CS8 | CREAD | CLOCAL;
    k.c_ispeed = k.c_ospeed = 9600;
  }
  static void SetRate(KernelTermios2& t, speed_t rate) {
    speed_t code = kBother;
    for (const RateCode& r : kRateCodes)
      if (r.rate == rate) code = r.code;
    t.c_cflag &= ~(CBAUD | (CBAUD << kIbShift));
    t.c_cflag |= code;
    t.c_ispeed = t.c_ospeed = rate;
  }
  speed_t Rate() const { return k.c_ospeed; }
  bool RateAsNumber() const { return (k.c_cflag & CBAUD) == kBother; }

  int Get(int, struct termios& t) override {
    std::memset(&t, 0, sizeof t);
    t.c_iflag = k.c_iflag;
    t.c_oflag = k.c_oflag;
    t.c_cflag = k.c_cflag;
    t.c_lflag = k.c_lflag;
    t.c_line = k.c_line;
    std::memcpy(t.c_cc, k.c_cc, sizeof k.c_cc);
    return 0;
  }
  int Set(int, const struct termios& t) override {
    if (setError) return setError;
    KernelTermios2 next = k;
    next.c_iflag = t.c_iflag;
    next.c_oflag = t.c_oflag;
    next.c_cflag = t.c_cflag;
    next.c_lflag = t.c_lflag;
    next.c_line = t.c_line;
    std::memcpy(next.c_cc, t.c_cc, sizeof next.c_cc);
    // A rate code gives its number; the number code keeps the number set before.
    if ((t.c_cflag & CBAUD) != kBother)
      next.c_ispeed = next.c_ospeed = RateOfCode(t.c_cflag & CBAUD);
    Keep(next);
    return 0;
  }
  int GetKernel(int, KernelTermios2& t) override {
    t = k;
    return 0;
  }
  int SetKernel(int, const KernelTermios2& t) override {
    if (setKernelError) return setKernelError;
    KernelTermios2 next = t;
    if ((t.c_cflag & CBAUD) != kBother)
      next.c_ispeed = next.c_ospeed = RateOfCode(t.c_cflag & CBAUD);
    Keep(next);
    return 0;
  }
  int ModemLines(int, int& bits) override {
    bits = lines;
    return 0;
  }
  int RaiseModemLines(int, int bits) override {
    lines |= bits;
    return 0;
  }
  int DropModemLines(int, int bits) override {
    if (dropLinesFailures > 0) {
      --dropLinesFailures;
      return EIO;
    }
    lines &= ~bits;
    return 0;
  }
  bool IsPseudoTerminal(int) override { return false; }

 private:
  void Keep(KernelTermios2 next) {
    if (driver) driver(next);
    k = next;
  }
};

class PortOnDriver : public TComPort {
 public:
  explicit PortOnDriver(DriverTerminal& terminal) : terminal_(terminal) {}

 protected:
  TerminalSettingsIo* TerminalSettings() override { return &terminal_; }

 private:
  DriverTerminal& terminal_;
};

class LineSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Ok());
    SetUpPort(port, pty, sync);
  }
  // The number of the line-settings error of a call, 0 when it raised none.
  static int LineError(const std::function<void()>& fn) {
    try {
      fn();
    } catch (const EComPort& e) {
      EXPECT_EQ(e.ErrorNumber(), ceLineSettings) << e.what();
      return e.SystemErrorCode();
    }
    return 0;
  }
  // ComPort1's line: 38400 baud, 8 data bits, two stop bits.
  void ExpectDesignLine() {
    EXPECT_EQ(terminal.Rate(), 38400u);
    EXPECT_FALSE(terminal.RateAsNumber());
    EXPECT_EQ(terminal.k.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(terminal.k.c_cflag & CSTOPB);
  }
  PtyPair pty;
  MainThreadSync sync;
  DriverTerminal terminal;
  PortOnDriver port{terminal};
};

}  // namespace

TEST_F(LineSettingsTest, RatesReachTheDriverAsCodesOrAsNumbers) {
  port.Open();
  ExpectDesignLine();
  EXPECT_EQ(terminal.lines, 0);  // DTR and RTS held off
  port.SetBaudRate(br14400);
  EXPECT_EQ(terminal.Rate(), 14400u);
  EXPECT_TRUE(terminal.RateAsNumber());
  EXPECT_TRUE(terminal.k.c_cflag & CSTOPB);
  port.SetBaudRate(br115200);
  EXPECT_EQ(terminal.Rate(), 115200u);
  EXPECT_FALSE(terminal.RateAsNumber());
  port.SetCustomBaudRate(250000);
  port.SetBaudRate(brCustom);
  EXPECT_EQ(terminal.Rate(), 250000u);
  port.Close();
  EXPECT_EQ(terminal.Rate(), 9600u);  // the terminal's own settings again
}

TEST_F(LineSettingsTest, ARateTheDriverDoesNotTakeFailsAndTheOldRateStays) {
  // Above 115200 this driver falls back to its default of 9600 and reports success;
  // 56000 it runs as 57600, near enough for an asynchronous line.
  terminal.driver = [](KernelTermios2& t) {
    if (t.c_ospeed > 115200) DriverTerminal::SetRate(t, 9600);
    if (t.c_ospeed == 56000) DriverTerminal::SetRate(t, 57600);
  };
  port.Open();
  EXPECT_EQ(LineError([&] { port.SetBaudRate(br256000); }), EINVAL);
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(port.BaudRate(), br256000);  // the property keeps what was set
  ExpectDesignLine();

  EXPECT_EQ(LineError([&] { port.SetBaudRate(br56000); }), 0);
  EXPECT_EQ(terminal.Rate(), 57600u);
  // A standard rate through termios is read back just the same.
  port.SetCustomBaudRate(460800);
  EXPECT_EQ(LineError([&] { port.SetBaudRate(brCustom); }), EINVAL);
  EXPECT_EQ(terminal.Rate(), 57600u);
  EXPECT_EQ(LineError([&] { port.SetBaudRate(br128000); }), EINVAL);
  EXPECT_EQ(terminal.Rate(), 57600u);
}

TEST_F(LineSettingsTest, ARefusedSettingLeavesNothingOfThePushInForce) {
  // This driver knows no 5 data bits and keeps 8 instead, taking the rest of the request.
  terminal.driver = [](KernelTermios2& t) {
    if ((t.c_cflag & CSIZE) == CS5) t.c_cflag = (t.c_cflag & ~CSIZE) | CS8;
  };
  port.Open();
  port.LockSettings();
  port.SetBaudRate(br19200);
  port.SetStopBits(sbOneStopBit);
  port.SetDataBits(dbFive);
  EXPECT_EQ(LineError([&] { port.UnlockSettings(); }), EINVAL);
  ExpectDesignLine();  // neither the new rate nor one stop bit
  EXPECT_TRUE(port.Connected());
  EXPECT_EQ(port.BaudRate(), br19200);
  EXPECT_EQ(port.DataBits(), dbFive);

  port.SetDataBits(dbEight);  // the next push takes all that is set
  EXPECT_EQ(terminal.Rate(), 19200u);
  EXPECT_FALSE(terminal.k.c_cflag & CSTOPB);

  // At Open the refused push closes the port again, with the terminal as it was.
  port.Close();
  const KernelTermios2 before = terminal.k;
  port.SetDataBits(dbFive);
  EXPECT_EQ(LineError([&] { port.Open(); }), EINVAL);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(std::memcmp(&terminal.k, &before, sizeof before), 0);
}

TEST_F(LineSettingsTest, AFailedRateRequestPutsBackWhatWentBeforeIt) {
  port.Open();
  terminal.setKernelError = ENOTTY;  // termios2 refused: no rate as a number here
  port.LockSettings();
  port.SetStopBits(sbOneStopBit);
  port.SetBaudRate(br14400);
  EXPECT_EQ(LineError([&] { port.UnlockSettings(); }), ENOTTY);
  ExpectDesignLine();  // one stop bit went in with the first request and is gone again
  terminal.setKernelError = 0;

  terminal.setError = EIO;
  EXPECT_EQ(LineError([&] { port.SetBaudRate(br19200); }), EIO);
  terminal.setError = 0;
  ExpectDesignLine();
}

TEST_F(LineSettingsTest, AFailedModemLineRequestRestoresTheLinesAndTheSettings) {
  port.Open();
  port.FlowControl().SetControlDTR(dtrEnable);
  EXPECT_EQ(terminal.lines, TIOCM_DTR);
  terminal.dropLinesFailures = 1;
  port.LockSettings();
  port.SetStopBits(sbOneStopBit);
  port.FlowControl().SetControlDTR(dtrDisable);
  port.FlowControl().SetControlRTS(rtsEnable);
  EXPECT_EQ(LineError([&] { port.UnlockSettings(); }), EIO);
  EXPECT_EQ(terminal.lines, TIOCM_DTR);  // RTS, raised before the failure, is down again
  ExpectDesignLine();
}
