// The exchanges on Windows through a COM port, against the simulated logger (see
// test_comport.cpp for how the port is mapped). The configuration read and the download
// run against the logger's firmware; the download's CSV is written to MORVALA_TEST_CSV,
// where scripts/test-windows.sh compares it byte for byte with the CSV that an
// independent coding computes from the same flight. The firmware update runs against the
// bootloader, which writes what it was given to its --image-out file for the script.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "exchange_support.h"
#include "firmware_support.h"
#include "formats/csvexport.h"
#include "protocol/bootloader.h"
#include "protocol/download.h"
#include "tests/support/flight_support.h"

namespace {

const char* Com() { return std::getenv("MORVALA_TEST_COM"); }

class ExchangesOnWine : public ::testing::Test, public ConfigExchange {
 protected:
  void SetUp() override { ASSERT_NE(Com(), nullptr) << "MORVALA_TEST_COM names the port"; }
  void TearDown() override { port.Close(); }
};

TEST_F(ExchangesOnWine, ReadsTheConfigurationAndDownloadsTheFlight) {
  const char* csv = std::getenv("MORVALA_TEST_CSV");
  ASSERT_NE(csv, nullptr) << "MORVALA_TEST_CSV names the CSV file to write";
  Connect(Com());
  Read();
  ASSERT_TRUE(flags.ConfigRead) << io.panel[1];
  EXPECT_EQ(io.panel[0], "verbunden");
  // The simulator's --config of the script.
  EXPECT_EQ(cfg.RecordFlags1, 255);
  EXPECT_EQ(cfg.SerialSensor, 140);
  EXPECT_EQ(cfg.FlightNumberLow, 7);

  FakeView downloadView;
  RasterCanvas bitmap(473, 137);
  auto fd = NewFlight();
  Datenlesen(port, ring, io, downloadView, *fd, cfg.EepromKByte, 1, bitmap);
  ASSERT_GT(fd->LastSampleIndex, 10);
  EXPECT_TRUE(downloadView.saveEnabled);
  WriteCsvFile(csv, *fd);
}

TEST_F(ExchangesOnWine, FlashesTheSampleFirmware) {
  Connect(Com());
  RecordingFirmwareView firmwareView;
  io.ui.defaultFileAnswer = SampleHexPath();
  io.ui.defaultConfirm = true;
  std::string exportFileName;
  firmware::RunFirmwareUpdate(port, io, firmwareView, exportFileName);
  EXPECT_EQ(exportFileName, SampleHexPath());
  const std::vector<std::string> lines = FileLines(SampleHexPath());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(firmwareView.position, static_cast<int>(lines.size()));
  ASSERT_FALSE(firmwareView.log.empty());
  EXPECT_EQ(firmwareView.log.back(), "S");  // the bootloader's end of the transfer
  EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 20);
}

}  // namespace
