// The command line and the changes of `config --set`, checked before anything is sent.
#include <gtest/gtest.h>

#include "cli/args.h"
#include "cli/configjson.h"

using cli::ParseArgs;
using cli::UsageError;

namespace {

LoggerConfig Received(uint8_t flags1, uint8_t flags2, uint8_t rate, uint8_t tele1, uint8_t tele2,
                      uint8_t serialSensor) {
  LoggerConfig cfg;
  const uint8_t bytes[] = {flags1, flags2, rate, 0, 0, tele1, tele2, 0, serialSensor, 0, 7, 2};
  for (size_t i = 0; i < sizeof bytes; ++i) cfg.Bytes[i + 1] = bytes[i];
  cfg.CopyNamedFields();
  return cfg;
}

}  // namespace

TEST(CliArgs, WrongUseIsRefusedWithItsReason) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
      {{}, "kein Befehl"},
      {{"lesen"}, "unbekannter Befehl: lesen"},
      {{"config", "--gpx", "a.gpx"}, "--gpx gibt es für config nicht"},
      {{"download", "-o"}, "-o braucht einen Wert"},
      {{"flash"}, "flash braucht eine HEX-Datei"},
      {{"convert", "f.csv"}, "--gpx DATEI oder --kml DATEI"},
      {{"config", "--delete", "alles"}, "nur multilog und singlelog"},
      {{"config", "--set", "offset"}, "NAME=WERT"},
      {{"config", "--baud", "fast"}, "ungültige Baudrate"},
      {{"ports", "extra"}, "unerwartetes Argument: extra"},
  };
  for (const auto& [argv, reason] : wrong) {
    try {
      ParseArgs(argv);
      ADD_FAILURE() << "accepted: " << (argv.empty() ? "" : argv[0]);
    } catch (const UsageError& e) {
      EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
    }
  }
  const cli::Args a = ParseArgs({"download", "--port", "/dev/ttyUSB0", "-o", "-", "--dump",
                                 "f.dump", "-q", "--baud", "19200"});
  EXPECT_EQ(a.command, "download");
  EXPECT_EQ(*a.port, "/dev/ttyUSB0");
  EXPECT_EQ(*a.baud, 19200);
  EXPECT_EQ(a.out, "-");
  EXPECT_EQ(a.dump, "f.dump");
  EXPECT_TRUE(a.quiet);
}

// The window's rules between the settings, in the documented order.
TEST(CliChanges, FollowTheWindowsRules) {
  // Frequency and GPS recorded, telemetry on with the 16-bit ADC, GPS and the internal
  // temperature; sensor MS5534A, serial number 12.
  const LoggerConfig cfg = Received(0x41, 0x40 | 0x80 | 0x10, 49, 0x01, 0x40 | 0x10, 0x80 | 12);
  const ConfigControls read = ControlsAfterFirstRead(cfg);
  EXPECT_TRUE(read.record[chE1]);  // the window starts with MS5534A: no change, kept
  EXPECT_TRUE(read.tele[chE1]);
  // A logger with MPX4100 changes the sensor choice, which unticks it in both groups.
  const ConfigControls mpx = ControlsAfterFirstRead(Received(0x01, 0x10, 49, 0, 0x10, 12));
  EXPECT_FALSE(mpx.record[chE1]);
  EXPECT_FALSE(mpx.tele[chE1]);

  // The fastest interval is not kept with the frequency recorded.
  ConfigControls c = cli::ApplyChanges(read, {{"sampleInterval", "0,02"}}, 0);
  EXPECT_EQ(c.rateItem, 1);
  // Nor with GPS sent by telemetry: only with telemetry off does "0,02 s" stay.
  c = cli::ApplyChanges(read, {{"recordedChannels", "16-Bit-ADC"}, {"sampleInterval", "0.02 s"}},
                        0);
  EXPECT_EQ(c.rateItem, 1);
  EXPECT_FALSE(c.record[chGps]);
  EXPECT_TRUE(c.record[chTele]);  // the switch is its own setting
  c = cli::ApplyChanges(
      read,
      {{"recordedChannels", "16-Bit-ADC"}, {"telemetry", "false"}, {"sampleInterval", "0.02 s"}},
      0);
  EXPECT_EQ(c.rateItem, 0);
  // Telemetry off unticks three boxes of its group, the rest are packed as they stand.
  ConfigControls teleOn = read;
  EXPECT_TRUE(teleOn.tele[chE1]);
  teleOn.tele[chFrq] = true;
  c = cli::ApplyChanges(teleOn, {{"telemetry", "false"}}, 2);
  EXPECT_FALSE(c.tele[chAD16]);
  EXPECT_FALSE(c.tele[chE1]);
  EXPECT_FALSE(c.tele[chGps]);
  EXPECT_TRUE(c.tele[chFrq]);
  EXPECT_EQ(c.deleteItem, 2);
  EXPECT_EQ(WriteMessageFor(SettingsFromControls(c))[10], 255);
  // The internal temperature only with the sensor that has it.
  EXPECT_THROW(
      cli::ApplyChanges(read, {{"sensor", "MPX4100"}, {"recordedChannels", "Temp. int."}}, 0),
      UsageError);
  c = cli::ApplyChanges(mpx, {{"sensor", "MS5534A"}, {"recordedChannels", "Temp. int., GPS"}}, 0);
  EXPECT_TRUE(c.record[chE1]);
  EXPECT_EQ(WriteMessageFor(SettingsFromControls(c))[9], 0x80 | 12);
  // Out of range, unknown, read-only, twice: refused.
  for (const auto& bad :
       std::vector<std::pair<std::string, std::string>>{{"serialNumber", "128"},
                                                        {"offset", "-1"},
                                                        {"offset", "12a"},
                                                        {"sampleInterval", "2"},
                                                        {"flightNumber", "3"},
                                                        {"colour", "red"},
                                                        {"telemetryChannels", "Manchester,Funk"},
                                                        {"telemetry", "vielleicht"}})
    EXPECT_THROW(cli::ApplyChanges(read, {bad}, 0), UsageError) << bad.first << "=" << bad.second;
  EXPECT_THROW(cli::ApplyChanges(read, {{"offset", "1"}, {"offset", "2"}}, 0), UsageError);
  // Telemetry boxes only while telemetry is on.
  EXPECT_THROW(cli::ApplyChanges(read, {{"telemetry", "false"}, {"telemetry4800", "true"}}, 0),
               UsageError);
  c = cli::ApplyChanges(read, {{"serialNumber", "127"}, {"offset", "255"}}, 0);
  const auto msg = WriteMessageFor(SettingsFromControls(c));
  EXPECT_EQ(msg[8], 255);
  EXPECT_EQ(msg[9], 0x80 | 127);
}
