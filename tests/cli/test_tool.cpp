// morvala-cli as a real process against the simulated logger on a pseudo-terminal: what
// it prints, the files it writes, its exit status, and how it ends on a signal.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "formats/rawdumpfile.h"
#include "model/rawdump.h"
#include "model/sampletable.h"
#include "protocol/configread.h"
#include "protocol/download.h"
#include "serial/comport.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"
#include "tools/sim/expected.h"
#include "tools/sim/loggersim.h"

namespace {

const std::string kCli = std::string(MORVALA_BINARY_DIR) + "/morvala-cli";

class CliTest : public ::testing::Test {
 protected:
  // A logger that announces soon and again every second until acknowledged.
  loggersim::LoggerSim& StartSim(const loggersim::SimConfig& config,
                                 const loggersim::SimFlight& flight = {}, int baud = 0,
                                 loggersim::SimMode mode = loggersim::SimMode::Normal) {
    loggersim::SimOptions o;
    o.mode = mode;
    o.powerOnDelayMs = 30;
    o.announceEveryMs = 1000;
    o.reannounceDelayMs = 100;
    o.deleteMs = 500;
    o.baud = baud;
    sim = std::make_unique<loggersim::LoggerSim>(o, config, flight);
    sim->Start();
    return *sim;
  }
  std::vector<std::string> Env() const {
    return {"XDG_CONFIG_HOME=" + (dir / "config"), "XDG_DATA_HOME=" + (dir / "data"), "LC_ALL=C"};
  }
  ProcessResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), kCli);
    return RunProcess(args, Env(), 120000);
  }
  ProcessResult CliOnSim(std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"--port", sim->SlavePath()});
    return Cli(args);
  }

  TempDir dir;
  std::unique_ptr<loggersim::LoggerSim> sim;
};

loggersim::SimFlight SmallFlight(int n) {
  loggersim::SimFlight f = loggersim::SampleFlight();
  f.records.resize(static_cast<size_t>(n));
  return f;
}

}  // namespace

// The block as received, the 31 acknowledgements, and the window's view after its rules.
TEST_F(CliTest, ConfigJsonHasTheLoggersBlock) {
  loggersim::SimConfig c;
  c.recordFlags1 = 0x41;         // 16-bit ADC, frequency
  c.recordFlags2 = 0x40 | 0x80;  // GPS, telemetry
  c.sampleRateCode = 0;          // "0,02 s", which the frequency does not allow
  c.teleFlags1 = 0x01;           // 16-bit ADC
  c.teleFlags2 = 0x40;           // GPS, 4800 baud (the inverted bit clear)
  c.adc3Offset = 17;
  c.serialSensor = 5;  // MPX4100
  c.flightNumber = 321;
  c.dataCount = 99;
  c.eepromSize = 8;  // 256 kByte
  StartSim(c);
  const ProcessResult r = CliOnSim({"config", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* field :
       {"\"serialNumber\": 5", "\"sensor\": \"MPX4100\"", "\"flightNumber\": 321",
        "\"storedData\": 99", "\"eepromKByte\": 256", "\"sampleRateCode\": 0",
        "\"sampleInterval\": 0.02", "\"recordedChannels\": [\"16-Bit-ADC\", \"Frequenz\", \"GPS\"]",
        "\"telemetry\": true", "\"telemetry4800\": true",
        "\"telemetryChannels\": [\"16-Bit-ADC\", \"GPS\"]", "\"offset\": 17",
        "\"sampleRateItem\": 1", "\"recordingTime\": \"max. "})
    EXPECT_NE(r.out.find(field), std::string::npos) << field << "\n" << r.out;
  EXPECT_EQ(sim->Acks(), 1);
  EXPECT_NE(r.err.find("Konfiguration empfangen"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(kTextPressRead), std::string::npos);  // the window's own prompt
}

// The CSV holds the whole download as the window's export writes it; the dump is the
// bytes the download consumed and decodes to the same table; progress goes to standard
// error, one line per second at most when it is no terminal, and -q silences it.
TEST_F(CliTest, DownloadWritesTheFlightByteForByte) {
  const loggersim::SimFlight flight = SmallFlight(600);
  StartSim(loggersim::ConfigForFlight(flight), flight);
  const std::string csv = dir / "flug.csv", dump = dir / "flug.dump";
  const ProcessResult r = CliOnSim({"download", "-o", csv, "--dump", dump});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ReadFile(csv) == loggersim::ExpectedCsv(flight)) << "the CSV differs";
  EXPECT_NE(r.err.find("600 Datensätze"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("599 Datenblöcke gelesen"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty()) << r.out;
  const RawDump kept = ReadRawDumpFile(dump);
  auto fd = std::make_unique<FlightData>();
  ASSERT_TRUE(DecodeRawDump(kept, *fd));
  EXPECT_EQ(fd->LastSampleIndex, 599);
  EXPECT_EQ(kept.eepromKByte, 64);
  EXPECT_EQ(kept.bytes.size(), 1u + 23u + 600u * static_cast<size_t>(flight.RecordSize()));

  // To standard output, quietly (the logger switched on again for each run).
  sim->PowerOn();
  const ProcessResult out = CliOnSim({"download", "-q", "-o", "-"});
  ASSERT_EQ(out.status, 0) << out.err;
  EXPECT_TRUE(out.out == loggersim::ExpectedCsv(flight));
  EXPECT_TRUE(out.err.empty()) << out.err;
  // Without an output: one line.
  sim->PowerOn();
  const ProcessResult summary = CliOnSim({"download", "-q"});
  ASSERT_EQ(summary.status, 0) << summary.err;
  EXPECT_EQ(summary.out.find("600 Datensätze"), 0u) << summary.out;
  EXPECT_EQ(std::count(summary.out.begin(), summary.out.end(), '\n'), 1);
}

// A logger without a flight: "keine Daten empfangen !!!" and exit 4; what came (the header)
// is still not a flight to write.
TEST_F(CliTest, EmptyLoggerIsNoDataAndWritesNothing) {
  StartSim(loggersim::SimConfig{});
  const std::string csv = dir / "leer.csv";
  const ProcessResult r = CliOnSim({"download", "-o", csv});
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_NE(r.err.find(kTextNoData), std::string::npos) << r.err;
}

TEST_F(CliTest, NoLoggerIsExitThreeWithTheWindowsText) {
  PtyPair silent;  // a port on which nobody answers
  const ProcessResult r = Cli({"config", "--port", silent.path});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find(kTextNoLogger), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());
}

TEST_F(CliTest, PortHeldByAnotherProgramIsExitThreeAtOnce) {
  StartSim(loggersim::SimConfig{});
  TComPort holder;
  ApplyComPort1Design(holder);
  holder.SetPort(sim->SlavePath());
  holder.Open();
  const ProcessResult r = CliOnSim({"config"});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find(kTextOpenFailed), std::string::npos) << r.err;
  holder.Close();
}

// Without --port the window's settings file names the port; the tool never writes it.
TEST_F(CliTest, SettingsFileOfTheWindowNamesThePort) {
  EXPECT_EQ(Cli({"config"}).status, 1);  // neither settings nor --port
  StartSim(loggersim::SimConfig{});
  const std::string ini = "[ComPort1]\nPort=" + sim->SlavePath() +
                          "\nBaudRate=38400\nStopBits=2\nDataBits=8\nParity=None\n"
                          "FlowControl=None\n";
  std::filesystem::create_directories(dir / "config/morvala");
  const std::string path = dir.Write("config/morvala/logger3.ini", ini);
  const ProcessResult r = Cli({"config", "--json"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"serialNumber\": 12"), std::string::npos) << r.out;
  EXPECT_EQ(ReadFile(path), ini);
}

// Unknown names and values are refused before anything is sent.
TEST_F(CliTest, BadSettingIsRefusedBeforeTheLineIsTouched) {
  StartSim(loggersim::SimConfig{});
  const ProcessResult r = CliOnSim({"config", "--set", "serialNumber=300"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("serialNumber: 300"), std::string::npos) << r.err;
  EXPECT_TRUE(sim->Received().empty());
  // Deleting without --yes, and no terminal to ask: refused, nothing written.
  const ProcessResult d = CliOnSim({"config", "--delete", "singlelog"});
  EXPECT_EQ(d.status, 1) << d.err;
  EXPECT_TRUE(sim->WriteMessages().empty());
}

TEST_F(CliTest, SetWritesTheMessageAndReadsBack) {
  StartSim(loggersim::SimConfig{});
  const ProcessResult r = CliOnSim(
      {"config", "--set", "serialNumber=42", "--set", "offset=7", "--delete", "multilog", "--yes"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(sim->WriteMessages().size(), 1u);
  const std::vector<uint8_t> m = sim->WriteMessages()[0];
  EXPECT_EQ(m[8], 7);
  EXPECT_EQ(m[9] & 0x7F, 42);
  EXPECT_EQ(m[10], 1);
  EXPECT_EQ(sim->Deletes(), 1);
  EXPECT_NE(r.out.find("Logger-Serialnummer: 042"), std::string::npos) << r.out;
}

TEST_F(CliTest, FlashBurnsTheFileThroughTheBootloader) {
  const std::string hex = std::string(MORVALA_SOURCE_DIR) + "/data/sample_firmware_crlf.hex";
  StartSim({}, {}, 0, loggersim::SimMode::Bootloader);
  const ProcessResult r = CliOnSim({"flash", hex, "--yes"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("neue Firmware erfolgreich gebrannt"), std::string::npos);
  EXPECT_TRUE(sim->Finished());
  loggersim::HexImage want;
  ASSERT_TRUE(loggersim::ParseHexFile(hex, want));
  EXPECT_TRUE(sim->ProgrammedImage() == want);
}

TEST_F(CliTest, HexFileWithABadChecksumIsExitTwoAndNothingIsSent) {
  std::string text = ReadFile(std::string(MORVALA_SOURCE_DIR) + "/data/sample_firmware_crlf.hex");
  // The third line's checksum off by one.
  size_t line3 = text.find('\n', text.find('\n') + 1) + 1;
  size_t end = text.find('\r', line3);
  char& last = text[end - 1];
  last = last == '0' ? '1' : '0';
  const std::string hex = dir.Write("kaputt.hex", text);
  StartSim({}, {}, 0, loggersim::SimMode::Bootloader);
  const ProcessResult r = CliOnSim({"flash", hex, "--yes"});
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("Zeile 3 ist kein gültiger HEX-Datensatz"), std::string::npos) << r.err;
  EXPECT_TRUE(sim->Received().empty());
  EXPECT_EQ(sim->Triggers(), 0);
}

// Ctrl-C or SIGTERM in mid-download: the exchange ends, the port is released, no file.
TEST_F(CliTest, SignalInMidDownloadEndsWithoutAFile) {
  const loggersim::SimFlight flight = loggersim::SampleFlight();  // 27600 bytes, ~8 s at 38400
  for (int sig : {SIGINT, SIGTERM}) {
    StartSim(loggersim::ConfigForFlight(flight), flight, 38400);
    const std::string csv = dir / ("flug" + std::to_string(sig) + ".csv");
    ChildProcess p({kCli, "download", "--port", sim->SlavePath(), "-o", csv}, Env());
    ASSERT_TRUE(p.WaitForError("Datensätze", 60000)) << "no progress";
    p.Signal(sig);
    const ProcessResult r = p.Wait(10000);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, sig == SIGINT ? 130 : 143) << r.err;
    EXPECT_FALSE(std::filesystem::exists(csv));
    EXPECT_EQ(Cli({"log", "list"}).out, "");  // nothing kept of it
    // The port is free again: another program opens it.
    TComPort next;
    ApplyComPort1Design(next);
    next.SetPort(sim->SlavePath());
    EXPECT_NO_THROW(next.Open());
    next.Close();
    sim->Stop();
  }
}

TEST_F(CliTest, ConvertWritesTheTrackOfASavedFlight) {
  const loggersim::SimFlight flight = SmallFlight(50);
  const std::string csv = dir.Write("flug.csv", loggersim::ExpectedCsv(flight));
  const std::string gpx = dir / "flug.gpx";
  const ProcessResult r = Cli({"convert", csv, "--gpx", gpx});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(ReadFile(gpx).find("<trkpt"), std::string::npos);
  const ProcessResult bad =
      Cli({"convert", dir.Write("x.csv", "kein Flug\r\n"), "--kml", dir / "x.kml"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("x.csv: "), std::string::npos) << bad.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "x.kml"));
}

// Every download goes into the logbook (unless --no-log), the same download once; the
// log commands give it back as the download wrote it.
TEST_F(CliTest, DownloadsAreKeptInTheLogbookAndComeBackOut) {
  const loggersim::SimFlight flight = SmallFlight(300);
  StartSim(loggersim::ConfigForFlight(flight), flight);
  const std::string csv = dir / "flug.csv", dump = dir / "flug.dump";
  ProcessResult r = CliOnSim({"download", "-o", csv, "--dump", dump});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("im Flugbuch als Nr. 1"), std::string::npos) << r.err;
  sim->PowerOn();
  r = CliOnSim({"download", "-q"});
  ASSERT_EQ(r.status, 0) << r.err;
  sim->PowerOn();
  r = CliOnSim({"download", "--no-log"});
  ASSERT_EQ(r.status, 0) << r.err;

  const ProcessResult list = Cli({"log", "list", "--json"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '{'), 1) << list.out;
  for (const char* field :
       {"\"id\": 1", "\"source\": \"download\"", "\"records\": 300", "\"durationS\": 299.00",
        "\"serialNumber\": 12", "\"flightNumber\": 7", "\"model\": \"\"", "\"downloaded\": \"20"})
    EXPECT_NE(list.out.find(field), std::string::npos) << field << "\n" << list.out;

  ASSERT_EQ(Cli({"log", "export", "1", "-o", dir / "wieder.csv"}).status, 0);
  EXPECT_TRUE(ReadFile(dir / "wieder.csv") == ReadFile(csv));
  ASSERT_EQ(Cli({"log", "dump", "1", "-o", dir / "wieder.dump"}).status, 0);
  EXPECT_TRUE(ReadFile(dir / "wieder.dump") == ReadFile(dump));
  // The saved CSV is that flight: taken as a duplicate, not twice.
  const ProcessResult imp = Cli({"log", "import", csv});
  EXPECT_EQ(imp.status, 0) << imp.err;
  EXPECT_NE(imp.out.find("bereits im Flugbuch"), std::string::npos) << imp.out;
  EXPECT_EQ(Cli({"log", "export", "7", "-o", dir / "x.csv"}).status, 1);
}
