// WriteSettings and ReadSettings of the port against real files.
#include <gtest/gtest.h>

#include <termios.h>

#include "serial/comport.h"
#include "serial/comsettings.h"
#include "formats/profile.h"
#include <filesystem>

#include "tests/support/files.h"
#include "tests/support/pty.h"

namespace {

class ComSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ApplyComPort1Design(port);
    file = dir / "logger3.ini";
  }
  std::string Key(const char* key) { return GetProfileString("ComPort1", key, "<missing>", file); }

  TempDir dir;
  std::string file;
  TComPort port;
};

}  // namespace

TEST_F(ComSettingsTest, FirstStartWithoutFileThenStoresTheSixKeys) {
  port.SetBaudRate(br110);  // the start-up's marker
  port.ReadSettings(true, file);
  EXPECT_EQ(port.BaudRate(), br110);
  EXPECT_EQ(port.Port(), "COM2");
  EXPECT_EQ(port.StopBits(), sbTwoStopBits);
  EXPECT_FALSE(std::filesystem::exists(file));

  port.SetBaudRate(br38400);
  port.WriteSettings(true, file);
  EXPECT_EQ(ReadFile(file),
            "[ComPort1]\r\nPort=COM2\r\nBaudRate=38400\r\nStopBits=2\r\nDataBits=8\r\n"
            "Parity=None\r\nFlowControl=None\r\n");

  // The file said 110: the marker survives loading.
  ASSERT_TRUE(WriteProfileString("ComPort1", "BaudRate", "110", file));
  port.SetBaudRate(br9600);
  port.ReadSettings(true, file);
  EXPECT_EQ(port.BaudRate(), br110);
}

TEST_F(ComSettingsTest, RoundTripOfEveryValueText) {
  TComPort other("ComPort1");
  for (int b = 0; b <= br256000; ++b) {
    port.SetBaudRate(static_cast<TBaudRate>(b));
    port.SetStopBits(static_cast<TStopBits>(b % 3));
    port.SetDataBits(static_cast<TDataBits>(b % 4));
    port.Parity().SetBits(static_cast<TParityBits>(b % 5));
    port.FlowControl().SetFlowControl(static_cast<TFlowControl>(b % 3));
    port.SetCustomBaudRate(1000 + b);
    port.WriteSettings(true, file);
    other.ReadSettings(true, file);
    EXPECT_EQ(other.BaudRate(), port.BaudRate());
    EXPECT_EQ(other.StopBits(), port.StopBits());
    EXPECT_EQ(other.DataBits(), port.DataBits());
    EXPECT_EQ(other.Parity().Bits(), port.Parity().Bits());
    EXPECT_EQ(other.FlowControl().FlowControl(), port.FlowControl().FlowControl());
    if (b == brCustom) {
      EXPECT_EQ(Key("CustomBaudRate"), "1000");
      EXPECT_EQ(other.CustomBaudRate(), 1000);
    }
  }
  EXPECT_EQ(Key("BaudRate"), "256000");
}

TEST_F(ComSettingsTest, TextsMatchWithoutCaseAndUnknownTextsFallBack) {
  WriteFile(file,
            "[ComPort1]\nPort=/dev/ttyUSB0\nBaudRate=115200\nParity=eVEN\nStopBits=1.5\n"
            "DataBits=7\nFlowControl=hardware\n");
  port.ReadSettings(true, file);
  EXPECT_EQ(port.Port(), "/dev/ttyUSB0");
  EXPECT_EQ(port.BaudRate(), br115200);
  EXPECT_EQ(port.Parity().Bits(), prEven);
  EXPECT_EQ(port.StopBits(), sbOne5StopBits);
  EXPECT_EQ(port.DataBits(), dbSeven);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcHardware);

  for (const char* none : {"none", "NONE", "None"}) {
    port.Parity().SetBits(prOdd);
    ASSERT_TRUE(WriteProfileString("ComPort1", "Parity", none, file));
    port.ReadSettings(true, file);
    EXPECT_EQ(port.Parity().Bits(), prNone) << none;
  }

  WriteFile(file,
            "[ComPort1]\nBaudRate=12345\nStopBits=3\nDataBits=9\nParity=Nix\nFlowControl=Xyz\n");
  port.FlowControl().SetControlRTS(rtsToggle);  // a custom mix of fields
  port.FlowControl().SetXonXoffIn(true);
  port.ReadSettings(true, file);
  EXPECT_EQ(port.BaudRate(), br9600);
  EXPECT_EQ(port.StopBits(), sbOneStopBit);
  EXPECT_EQ(port.DataBits(), dbEight);
  EXPECT_EQ(port.Parity().Bits(), prNone);
  EXPECT_EQ(port.FlowControl().ControlRTS(), rtsToggle);
  EXPECT_TRUE(port.FlowControl().XonXoffIn());
  EXPECT_TRUE(port.FlowControl().OutCTSFlow());  // still from "hardware" above
}

TEST_F(ComSettingsTest, CustomBaudRate) {
  port.SetCustomBaudRate(4711);
  WriteFile(file, "[ComPort1]\nBaudRate=custom\n");
  port.ReadSettings(true, file);
  EXPECT_EQ(port.BaudRate(), brCustom);
  EXPECT_EQ(port.CustomBaudRate(), 9600);  // the default is 9600, not the current value

  const std::pair<const char*, int32_t> cases[] = {
      {"0x4B00", 19200}, {"0X4b00", 19200}, {"250000", 250000},   {"12ab", 9600},
      {"", 9600},        {"0x", 9600},      {"99999999999", 9600}};
  for (const auto& [text, rate] : cases) {
    port.SetCustomBaudRate(1);
    ASSERT_TRUE(WriteProfileString("ComPort1", "CustomBaudRate", text, file));
    port.ReadSettings(true, file);
    EXPECT_EQ(port.CustomBaudRate(), rate) << text;
  }
  // Only read for brCustom.
  WriteFile(file, "[ComPort1]\nBaudRate=9600\nCustomBaudRate=1234\n");
  port.ReadSettings(true, file);
  EXPECT_EQ(port.CustomBaudRate(), 9600);
  EXPECT_EQ(StrToIntDef("-42", 0), -42);
  EXPECT_EQ(StrToIntDef("2147483648", 7), 7);
}

TEST_F(ComSettingsTest, OtherContentKeptAndKeysReplacedInPlace) {
  WriteFile(file,
            "; my notes\n[Window]\nLeft=3\n\n[comport1]\nBaudRate=9600\nMyKey=mine\n"
            "Port=COM1\n\n[Last]\nX=1\n");
  port.WriteSettings(true, file);
  EXPECT_EQ(ReadFile(file),
            "; my notes\r\n[Window]\r\nLeft=3\r\n\r\n[comport1]\r\nBaudRate=38400\r\nMyKey=mine\r\n"
            "Port=COM2\r\nStopBits=2\r\nDataBits=8\r\nParity=None\r\nFlowControl=None\r\n"
            "\r\n[Last]\r\nX=1\r\n");
}

TEST_F(ComSettingsTest, FailuresRaiseSixteenAndSeventeen) {
  // An unwritable place: below a regular file.
  WriteFile(dir / "plain", "x");
  try {
    port.WriteSettings(true, dir / "plain/logger3.ini");
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceStoreSettings);
    EXPECT_EQ(e.SystemErrorCode(), -1);
    EXPECT_STREQ(e.what(), "Failed to store settings");
  }
  EXPECT_THROW(port.WriteSettings(false, "Software\\Morvala"), EComPort);
  EXPECT_THROW(port.ReadSettings(false, "Software\\Morvala"), EComPort);

  // A reopen that fails while loading: 17, and the lock is released all the same, so
  // later changes reach the device again.
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  port.SetPort(pty.path);
  port.Open();
  WriteFile(file, "[ComPort1]\nPort=/tmp/morvala-no-such-device\nBaudRate=19200\n");
  try {
    port.ReadSettings(true, file);
    FAIL() << "no error";
  } catch (const EComPort& e) {
    EXPECT_EQ(e.ErrorNumber(), ceLoadSettings);
    EXPECT_STREQ(e.what(), "Failed to load settings");
  }
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.Port(), "/tmp/morvala-no-such-device");
  EXPECT_EQ(port.BaudRate(), br38400);  // not reached
  port.SetPort(pty.path);
  port.Open();
  port.SetBaudRate(br19200);
  EXPECT_EQ(pty.SlaveSpeed(), B19200) << "settings lock left set";
  port.Close();
}
