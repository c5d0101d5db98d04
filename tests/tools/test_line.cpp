// The simulated logger on a real pseudo-terminal: the test plays the program
// and opens the slave side with plain POSIX calls.
#include <gtest/gtest.h>
#include <unistd.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "formats/rawdumpfile.h"
#include "tests/tools/decoder.h"
#include "tests/support/clock.h"
#include "tests/support/files.h"
#include "tests/support/pty.h"
#include "tools/sim/loggersim.h"

using namespace loggersim;
using Bytes = std::vector<uint8_t>;

namespace {

SimOptions FastOptions() {
  SimOptions o;
  o.baud = 0;
  o.powerOnDelayMs = 50;
  o.reannounceDelayMs = 100;
  o.deleteMs = 500;
  return o;
}

SimFlight SmallFlight() {
  SimFlight f;
  f.recordFlags1 = 0x13;  // 16-bit ADC, ADC 0, ADC 3
  f.recordFlags2 = 0x41;  // RC 1, GPS
  f.sampleRateCode = 12;
  f.latDegrees = 52;
  f.lonDegrees = 8;
  f.gpsHeaderNone = true;
  for (int i = 0; i < 20; ++i) {
    SimRecord r;
    r.adc16 = uint16_t(9000 + 13 * i);
    r.adc[0] = uint16_t(1023 - i);
    r.adc[1] = 0x3FF;  // not recorded
    r.adc[3] = uint16_t(256 * (i % 4) + i);
    r.rc[0] = uint8_t(i);
    r.latMin = uint16_t(59990 + i);
    r.lonMin = uint16_t(i * 3000);
    r.gps3 = uint16_t(0x0F53);
    f.records.push_back(r);
  }
  return f;
}

// Reads the first announce and acknowledges it.
// A started simulator and the program's end of its line.
struct SimOnLine {
  SimOnLine(const SimOptions& o, const SimConfig& c, const SimFlight& f) : sim(o, c, f) {
    sim.Start();
    line = LineEnd(sim.SlavePath());
  }
  LoggerSim sim;
  LineEnd line;
};

void ReadAnnounceAndAck(LineEnd& line, const SimConfig& config) {
  Bytes expected = BuildAnnounce(config);
  ASSERT_EQ(line.Read(expected.size(), 2000), expected);
  ASSERT_TRUE(line.Write(Bytes(31, 0x0F)));
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

TEST(SimLine, AnnouncesUntilThirtyOneAcknowledgementBytes) {
  SimOptions o = FastOptions();
  o.announceEveryMs = 200;
  SimConfig config;
  config.flightNumber = 4711;
  config.dataCount = 300;
  SimOnLine started(o, config, SampleFlight());
  LoggerSim& sim = started.sim;
  LineEnd& line = started.line;
  ASSERT_TRUE(line.Ok());

  Bytes announce = BuildAnnounce(config);
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(line.Read(announce.size(), 2000), announce);
  auto first =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
          .count();
  EXPECT_LT(first, 1500);
  // Again and again while nobody acknowledges.
  Bytes more = line.Read(2 * announce.size(), 2000);
  EXPECT_EQ(more, Bytes() + announce + announce);

  // 30 bytes are not yet an acknowledgement ...
  ASSERT_TRUE(line.Write(Bytes(30, 0x0F)));
  EXPECT_EQ(line.Read(announce.size(), 1500), announce);
  EXPECT_EQ(sim.Acks(), 0);
  // ... the 31st is.
  ASSERT_TRUE(line.Write(Bytes{0x0F}));
  ASSERT_TRUE(WaitUntil([&] { return sim.Acks() == 1; }, 1000));
  line.ReadFor(50);  // an announce that was already on its way
  EXPECT_TRUE(line.ReadFor(600).empty());
  EXPECT_EQ(sim.Received(), Bytes(31, 0x0F));
}

TEST(SimLine, WriteMessageChangesTheConfigurationAndDeleteClearsTheFlight) {
  SimConfig config = ConfigForFlight(SmallFlight());
  config.flightNumber = 99;
  SimOnLine started(FastOptions(), config, SmallFlight());
  LoggerSim& sim = started.sim;
  LineEnd& line = started.line;
  ASSERT_TRUE(line.Ok());
  ReadAnnounceAndAck(line, config);
  ASSERT_TRUE(WaitUntil([&] { return sim.Acks() == 1; }, 1000));

  // Values 0x0F and 0x53 inside the message are data, not commands.
  Bytes write = {0x63, 0x01, 0x80, 49, 0, 0, 0x53, 0x80, 0x0F, 12, 0};
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(line.Write(write));
  SimConfig now = config;
  now.recordFlags1 = 0x01;
  now.recordFlags2 = 0x80;
  now.sampleRateCode = 49;
  now.teleFlags1 = 0x53;
  now.teleFlags2 = 0x80;
  now.adc3Offset = 0x0F;
  now.serialSensor = 12;
  Bytes announce = BuildAnnounce(now);
  EXPECT_EQ(line.Read(announce.size(), 2000), announce);  // flight number and data count kept
  auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
          .count();
  EXPECT_GE(ms, 80);
  EXPECT_LT(ms, 1500);
  EXPECT_EQ(sim.WriteMessages(), std::vector<Bytes>{write});
  EXPECT_EQ(sim.Downloads(), 0);
  EXPECT_EQ(sim.Deletes(), 0);

  // A delete mode other than 1 and 255 deletes nothing.
  ASSERT_TRUE(line.Write(Bytes(31, 0x0F)));
  write.back() = 7;
  ASSERT_TRUE(line.Write(write));
  EXPECT_EQ(line.Read(announce.size(), 2000), announce);

  for (uint8_t mode : {uint8_t(255), uint8_t(1)}) {
    ASSERT_TRUE(line.Write(Bytes(31, 0x0F)));
    write.back() = mode;
    t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(line.Write(write));
    EXPECT_TRUE(line.ReadFor(300).empty()) << "the delete takes its time";
    now.dataCount = 0;
    announce = BuildAnnounce(now);
    EXPECT_EQ(line.Read(announce.size(), 3000), announce);
    ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
            .count();
    EXPECT_GE(ms, 400);
  }
  EXPECT_EQ(sim.Deletes(), 2);

  // Nothing left to download: a header announcing 0 bytes and silence.
  ASSERT_TRUE(line.Write(Bytes(31, 0x0F)));
  ASSERT_TRUE(line.Write(Bytes{0x53}));
  Bytes s = line.ReadUntilSilent(300, 3000);
  auto d = DecodeDownload(s);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->dataLength, 0);
  EXPECT_TRUE(d->records.empty());
  EXPECT_EQ(s.size(), 8u + 1u + 23u);
}

TEST(SimLine, DownloadOfTheSampleFlightDecodesToTheStoredRecords) {
  SimFlight flight = SampleFlight();
  SimConfig config = ConfigForFlight(flight);
  SimOnLine started(FastOptions(), config, flight);
  LoggerSim& sim = started.sim;
  LineEnd& line = started.line;
  ASSERT_TRUE(line.Ok());
  ReadAnnounceAndAck(line, config);
  ASSERT_TRUE(line.Write(Bytes{0x53}));
  Bytes s = line.ReadUntilSilent(300, 10000);
  auto d = DecodeDownload(s);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->syncBytes, 8u);
  EXPECT_EQ(d->flags1, 0xFF);
  EXPECT_EQ(d->flags2, 0x77);
  EXPECT_EQ(d->rate, 49);
  EXPECT_EQ(d->dataLength, 1200 * 23);
  EXPECT_EQ(d->latHem, 'N');
  EXPECT_EQ(d->latDeg, 47);
  EXPECT_EQ(d->lonHem, 'E');
  EXPECT_EQ(d->lonDeg, 11);
  EXPECT_EQ(d->gps, 113012u);
  EXPECT_EQ(d->word9, 1130);
  ASSERT_EQ(d->records.size(), 1200u);
  EXPECT_EQ(d->leftover, 0u);
  EXPECT_EQ(d->records, flight.records);
  EXPECT_EQ(sim.Downloads(), 1);
  // The logger is silent now, as if switched off: a second request gets nothing.
  ASSERT_TRUE(line.Write(Bytes{0x53}));
  EXPECT_TRUE(line.ReadFor(300).empty());
  // Switched on again it announces and answers.
  sim.PowerOn();
  ReadAnnounceAndAck(line, config);
  ASSERT_TRUE(line.Write(Bytes{0x53}));
  EXPECT_EQ(line.ReadUntilSilent(300, 10000), s);
}

TEST(SimLine, DownloadLayoutsAndDataLength) {
  SimFlight flight = SmallFlight();
  SimConfig config = ConfigForFlight(flight);
  {
    SimOnLine started(FastOptions(), config, flight);
    LineEnd& line = started.line;
    ReadAnnounceAndAck(line, config);
    ASSERT_TRUE(line.Write(Bytes{0x53}));
    auto d = DecodeDownload(line.ReadUntilSilent(300, 5000));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->gps, 0u);
    EXPECT_EQ(d->latDeg, 52);
    EXPECT_EQ(d->lonDeg, 8);
    EXPECT_EQ(d->dataLength, 20 * 12);
    ASSERT_EQ(d->records.size(), 20u);
    for (size_t i = 0; i < 20; ++i)
      EXPECT_EQ(d->records[i], Masked(flight.records[i], 0x13, 0x41)) << i;
  }
  // DataLength announced smaller than what is sent, and the logger that stops there.
  for (bool truncate : {false, true}) {
    flight.dataLength = 30;
    flight.truncateToDataLength = truncate;
    SimOnLine started(FastOptions(), config, flight);
    LineEnd& line = started.line;
    ReadAnnounceAndAck(line, config);
    ASSERT_TRUE(line.Write(Bytes{0x53}));
    Bytes s = line.ReadUntilSilent(300, 5000);
    auto d = DecodeDownload(s);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->dataLength, 30);
    EXPECT_EQ(s.size(), 8u + 1u + 23u + (truncate ? 30u : 240u)) << truncate;
  }
}

TEST(SimLine, BootloaderProgramsTheShippedFirmware) {
  SimOptions o = FastOptions();
  o.mode = SimMode::Bootloader;
  SimOnLine started(o, SimConfig{}, SimFlight{});
  LoggerSim& sim = started.sim;
  LineEnd& line = started.line;
  ASSERT_TRUE(line.Ok());
  EXPECT_TRUE(line.ReadFor(300).empty()) << "a bootloader does not announce";
  ASSERT_TRUE(line.Write(Bytes{0x21}));
  ASSERT_EQ(line.Read(1, 1000), Bytes{'r'});

  std::string path = MORVALA_SOURCE_DIR "/data/sample_firmware.hex";
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_GT(lines.size(), 10u);
  for (size_t i = 0; i < lines.size(); ++i) {
    ASSERT_TRUE(line.Write(lines[i]));
    Bytes a = line.Read(1, 1000);
    ASSERT_EQ(a, Bytes{uint8_t(i + 1 == lines.size() ? 'S' : '.')}) << "line " << i + 1;
  }
  EXPECT_TRUE(sim.Finished());
  EXPECT_EQ(sim.ProgrammedRecords(), lines);
  HexImage fromFile;
  ASSERT_TRUE(ParseHexFile(path, fromFile));
  EXPECT_EQ(sim.ProgrammedImage(), fromFile);
  std::string out = ProgramTempDir() / "programmed.hex";
  ASSERT_TRUE(sim.WriteImageHex(out));
  HexImage back;
  ASSERT_TRUE(ParseHexFile(out, back));
  EXPECT_EQ(back, fromFile);
}

TEST(SimLine, BootloaderChecksEveryRecord) {
  SimOptions o = FastOptions();
  o.mode = SimMode::Bootloader;
  SimOnLine started(o, SimConfig{}, SimFlight{});
  LoggerSim& sim = started.sim;
  LineEnd& line = started.line;
  ASSERT_TRUE(line.Write(Bytes{0x21}));
  ASSERT_EQ(line.Read(1, 1000), Bytes{'r'});
  // Records in one piece with line ends between them: one answer each.
  ASSERT_TRUE(line.Write(":0400000001020304F2\n:020000040001F9\r\n:02000200AABB97"));
  EXPECT_EQ(line.Read(3, 1000), (Bytes{'.', '.', '.'}));
  HexImage image = sim.ProgrammedImage();
  EXPECT_EQ(image, (HexImage{{0, 1}, {1, 2}, {2, 3}, {3, 4}, {0x10002, 0xAA}, {0x10003, 0xBB}}));
  // Bad checksum, bad digit, bad length field, unknown type.
  ASSERT_TRUE(line.Write(":0400000001020304F3"));
  EXPECT_EQ(line.Read(1, 1000), Bytes{'E'});
  ASSERT_TRUE(line.Write(":04000000010G0304F2"));
  EXPECT_EQ(line.Read(1, 1000), Bytes{'E'});
  ASSERT_TRUE(line.Write(":0Z"));
  EXPECT_EQ(line.Read(1, 1000), Bytes{'E'});
  ASSERT_TRUE(line.Write(":00000007F9"));
  EXPECT_EQ(line.Read(1, 1000), Bytes{'E'});
  EXPECT_EQ(sim.BadRecords().size(), 4u);
  EXPECT_EQ(sim.ProgrammedImage(), image);
  // A record cut short by the next one is bad; the next one counts.
  ASSERT_TRUE(line.Write(":040000:00000001FF"));
  EXPECT_EQ(line.Read(2, 1000), (Bytes{'E', 'S'}));
  EXPECT_TRUE(sim.Finished());
  EXPECT_TRUE(line.ReadFor(200).empty());
}

TEST(SimLine, BootloaderFaults) {
  auto run = [](const char* fault, auto body) {
    SimOptions o = FastOptions();
    o.mode = SimMode::Bootloader;
    ASSERT_TRUE(ParseFault(fault, o.faults)) << fault;
    SimOnLine started(o, SimConfig{}, SimFlight{});
    LoggerSim& sim = started.sim;
    LineEnd& line = started.line;
    ASSERT_TRUE(line.Ok());
    body(sim, line);
  };
  const std::string rec1 = ":0400000001020304F2", rec2 = ":0400040005060708DE", eof = ":00000001FF";
  run("boot-silent", [&](LoggerSim& sim, LineEnd& line) {
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(line.Write(Bytes{0x21}));
      EXPECT_TRUE(line.ReadFor(250).empty());
    }
    EXPECT_EQ(sim.Triggers(), 3);
  });
  run("boot-ready-on=2", [&](LoggerSim&, LineEnd& line) {
    ASSERT_TRUE(line.Write(Bytes{0x21}));
    EXPECT_TRUE(line.ReadFor(250).empty());
    ASSERT_TRUE(line.Write(Bytes{0x21}));
    EXPECT_EQ(line.Read(1, 1000), Bytes{'r'});
  });
  run("boot-ready-on=3", [&](LoggerSim& sim, LineEnd& line) {
    (void)sim;
    ASSERT_TRUE(line.Write(Bytes{0x21}));
    EXPECT_TRUE(line.ReadFor(200).empty());
    // Records before the "r" are not taken.
    ASSERT_TRUE(line.Write(rec1));
    EXPECT_TRUE(line.ReadFor(200).empty());
  });
  run("boot-bad-answer-at=2:X", [&](LoggerSim& sim, LineEnd& line) {
    ASSERT_TRUE(line.Write(Bytes{0x21}));
    ASSERT_EQ(line.Read(1, 1000), Bytes{'r'});
    ASSERT_TRUE(line.Write(rec1));
    EXPECT_EQ(line.Read(1, 1000), Bytes{'.'});
    ASSERT_TRUE(line.Write(rec2));
    EXPECT_EQ(line.Read(1, 1000), Bytes{'X'});
    ASSERT_TRUE(line.Write(eof));
    EXPECT_EQ(line.Read(1, 1000), Bytes{'S'});
    EXPECT_EQ(sim.ProgrammedImage().size(), 8u);
  });
  run("boot-no-answer-at=2", [&](LoggerSim&, LineEnd& line) {
    ASSERT_TRUE(line.Write(Bytes{0x21}));
    ASSERT_EQ(line.Read(1, 1000), Bytes{'r'});
    ASSERT_TRUE(line.Write(rec1));
    EXPECT_EQ(line.Read(1, 1000), Bytes{'.'});
    ASSERT_TRUE(line.Write(rec2));
    EXPECT_TRUE(line.ReadFor(400).empty());
  });
  run("boot-no-s", [&](LoggerSim& sim, LineEnd& line) {
    ASSERT_TRUE(line.Write(Bytes{0x21}));
    ASSERT_EQ(line.Read(1, 1000), Bytes{'r'});
    ASSERT_TRUE(line.Write(rec1 + eof));
    EXPECT_EQ(line.Read(2, 1000), (Bytes{'.', '.'}));
    EXPECT_TRUE(sim.Finished());
  });
}

TEST(SimLine, BootloaderWrongReadyAnswerAndNormalModeIgnoresTheTrigger) {
  SimOptions o = FastOptions();
  o.mode = SimMode::Bootloader;
  o.faults.bootReadyOnTrigger = 3;
  o.faults.bootWrongReady = '?';
  {
    SimOnLine started(o, SimConfig{}, SimFlight{});
    LineEnd& line = started.line;
    std::string answers;
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(line.Write(Bytes{0x21}));
      Bytes a = line.Read(1, 1000);
      answers += std::string(a.begin(), a.end());
    }
    EXPECT_EQ(answers, "??r");
  }
  SimOptions n = FastOptions();
  n.powerOnDelayMs = 10000;  // no announce in the way
  SimOnLine started(n, SimConfig{}, SimFlight{});
  LineEnd& line = started.line;
  ASSERT_TRUE(line.Write(Bytes{0x21}));
  EXPECT_TRUE(line.ReadFor(300).empty());
}

class SimPacing : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(SimPacing, BytesArriveAtTheLineRate) {
  auto [baud, bits] = GetParam();
  SimOptions o = FastOptions();
  o.baud = baud;
  o.bitsPerByte = bits;
  o.powerOnDelayMs = 0;
  ASSERT_TRUE(ParseFault("babble", o.faults));  // a stream without end
  SimOnLine started(o, SimConfig{}, SimFlight{});
  LineEnd& line = started.line;
  ASSERT_TRUE(line.Ok());
  ASSERT_EQ(line.Read(1, 2000).size(), 1u);
  // Skip a short lead-in, then count the bytes of about one second.
  line.ReadFor(100);
  auto t0 = std::chrono::steady_clock::now();
  size_t n = line.ReadFor(1000).size();
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  double rate = double(n) / secs;
  double expected = double(baud) / bits;
  EXPECT_NEAR(rate, expected, expected * 0.05) << n << " bytes in " << secs << " s";
}

INSTANTIATE_TEST_SUITE_P(Rates, SimPacing,
                         ::testing::Values(std::make_pair(38400, 11), std::make_pair(9600, 10)));

TEST(SimPacingFast, FastModeOutrunsTheLineRate) {
  SimOptions o = FastOptions();
  o.powerOnDelayMs = 0;
  o.faults.babble = true;
  SimOnLine started(o, SimConfig{}, SimFlight{});
  LineEnd& line = started.line;
  ASSERT_EQ(line.Read(1, 2000).size(), 1u);
  size_t n = line.ReadFor(500).size();
  EXPECT_GT(n, 4u * 3491u);  // more than four times 38400 baud 8N2
}

TEST(SimFaultsOnLine, CutsAndGarbage) {
  SimConfig config;
  Bytes announce = BuildAnnounce(config);
  {
    SimOptions o = FastOptions();
    o.faults.configStopAfter = 7;
    SimOnLine started(o, config, SimFlight{});
    LineEnd& line = started.line;
    EXPECT_EQ(line.ReadUntilSilent(400, 3000), Bytes(announce.begin(), announce.begin() + 7));
  }
  {
    SimOptions o = FastOptions();
    o.faults.garbageBefore = 40;
    SimOnLine started(o, config, SimFlight{});
    LineEnd& line = started.line;
    Bytes s = line.ReadUntilSilent(300, 3000);
    ASSERT_EQ(s.size(), 40 + announce.size());
    for (size_t i = 0; i < 40; ++i) {
      EXPECT_NE(s[i], 0x55);
      EXPECT_NE(s[i], 0x01);
    }
    EXPECT_EQ(Bytes(s.begin() + 40, s.end()), announce);
  }
  {
    SimOptions o = FastOptions();
    ASSERT_TRUE(ParseFault("garbage-inside=5:3", o.faults));
    SimOnLine started(o, config, SimFlight{});
    LineEnd& line = started.line;
    Bytes s = line.ReadUntilSilent(300, 3000);
    ASSERT_EQ(s.size(), announce.size() + 3);
    EXPECT_EQ(Bytes(s.begin(), s.begin() + 5), Bytes(announce.begin(), announce.begin() + 5));
    EXPECT_EQ(Bytes(s.begin() + 8, s.end()), Bytes(announce.begin() + 5, announce.end()));
  }
  SimFlight flight = SmallFlight();  // 12 bytes a record
  SimConfig fc = ConfigForFlight(flight);
  for (const char* fault : {"records-stop-after=18", "download-stop-after=20"}) {
    SimOptions o = FastOptions();
    ASSERT_TRUE(ParseFault(fault, o.faults));
    SimOnLine started(o, fc, flight);
    LineEnd& line = started.line;
    ReadAnnounceAndAck(line, fc);
    ASSERT_TRUE(line.Write(Bytes{0x53}));
    Bytes s = line.ReadUntilSilent(400, 3000);
    Bytes full = BuildDownload(flight);
    size_t n = std::string(fault).rfind("records", 0) == 0 ? 8 + 1 + 23 + 18 : 20;
    EXPECT_EQ(s, Bytes(full.begin(), full.begin() + long(n))) << fault;
    if (n > 32) {
      auto d = DecodeDownload(s);
      ASSERT_TRUE(d);
      EXPECT_EQ(d->records.size(), 1u);
      EXPECT_EQ(d->leftover, 6u);  // silence in the middle of the second record
    }
  }
}

TEST(SimFaultsOnLine, EndlessStreamAndBabble) {
  SimFlight flight = SmallFlight();
  SimConfig fc = ConfigForFlight(flight);
  {
    SimOptions o = FastOptions();
    o.faults.endless = true;
    SimOnLine started(o, fc, flight);
    LineEnd& line = started.line;
    ReadAnnounceAndAck(line, fc);
    ASSERT_TRUE(line.Write(Bytes{0x53}));
    Bytes s = line.Read(size_t(20 * flight.RecordBytes()), 5000);
    ASSERT_EQ(s.size(), size_t(20 * flight.RecordBytes()));
    // The records go round and round.
    auto d = DecodeDownload(s);
    ASSERT_TRUE(d);
    ASSERT_GE(d->records.size(), 40u);
    EXPECT_EQ(d->records[20], d->records[0]);
    EXPECT_EQ(d->records[39], d->records[19]);
    EXPECT_FALSE(line.ReadFor(100).empty());
  }
  {
    SimOptions o = FastOptions();
    o.baud = 38400;
    o.faults.babble = true;
    SimOnLine started(o, fc, flight);
    LineEnd& line = started.line;
    for (int i = 0; i < 3; ++i) {
      Bytes s = line.ReadFor(150);
      EXPECT_GT(s.size(), 100u);
      EXPECT_EQ(std::count(s.begin(), s.end(), uint8_t(0x55)), 0);
    }
  }
}

TEST(SimFaultsOnLine, HangUpAtAByte) {
  SimConfig config;
  {
    SimOptions o = FastOptions();
    o.faults.hangupAt = 6;
    SimOnLine started(o, config, SimFlight{});
    LoggerSim& sim = started.sim;
    LineEnd& line = started.line;
    Bytes s = line.ReadUntilSilent(1000, 3000);
    Bytes announce = BuildAnnounce(config);
    EXPECT_EQ(s, Bytes(announce.begin(), announce.begin() + 6));
    EXPECT_TRUE(line.HungUp());
    EXPECT_TRUE(WaitUntil([&] { return sim.HungUp() && !sim.Running(); }, 1000));
    EXPECT_EQ(sim.BytesSent(), 6);
  }
  {
    SimFlight flight = SmallFlight();
    SimConfig fc = ConfigForFlight(flight);
    SimOptions o = FastOptions();
    o.faults.hangupInDownloadAt = 50;
    SimOnLine started(o, fc, flight);
    LineEnd& line = started.line;
    ReadAnnounceAndAck(line, fc);
    ASSERT_TRUE(line.Write(Bytes{0x53}));
    Bytes s = line.ReadUntilSilent(1000, 3000);
    Bytes full = BuildDownload(flight);
    EXPECT_EQ(s, Bytes(full.begin(), full.begin() + 50));
    EXPECT_TRUE(line.HungUp());
  }
}

TEST(SimFaultsOnLine, DownloadAnswerDelay) {
  SimFlight flight = SmallFlight();
  SimConfig fc = ConfigForFlight(flight);
  SimOptions o = FastOptions();
  o.faults.downloadDelayMs = 150;
  SimOnLine started(o, fc, flight);
  LineEnd& line = started.line;
  ReadAnnounceAndAck(line, fc);
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(line.Write(Bytes{0x53}));
  ASSERT_EQ(line.Read(1, 2000), Bytes{0x55});
  auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
          .count();
  EXPECT_GE(ms, 120);
  EXPECT_LT(ms, 1500);
}

TEST(SimFaultsOnLine, PausesHoldTheLineAfterTheirOffsetAndLoseNothing) {
  SimFlight flight = SmallFlight();
  SimConfig fc = ConfigForFlight(flight);
  SimOptions o = FastOptions();
  o.faults.configPauses = {{2, 1000}};
  o.faults.downloadPauses = {{40, 1000}, {12, 1000}};  // in any order
  SimOnLine started(o, fc, flight);
  LineEnd& line = started.line;
  const Bytes announce = BuildAnnounce(fc);
  ASSERT_EQ(line.Read(2, 2000), Bytes(announce.begin(), announce.begin() + 2));
  EXPECT_TRUE(line.Read(1, 100).empty());  // held after byte 2
  ASSERT_EQ(line.Read(announce.size() - 2, 3000), Bytes(announce.begin() + 2, announce.end()));
  ASSERT_TRUE(line.Write(Bytes(31, 0x0F)));

  ASSERT_TRUE(line.Write(Bytes{0x53}));
  const Bytes full = BuildDownload(flight);
  Bytes got = line.Read(12, 2000);
  EXPECT_TRUE(line.Read(1, 100).empty());
  got = got + line.Read(40 - 12, 3000);
  EXPECT_TRUE(line.Read(1, 100).empty());
  got = got + line.ReadUntilSilent(1500, 5000);
  EXPECT_EQ(got, full);
}

TEST(SimLine, SurvivesTheProgramClosingAndReopeningAndLogsWhatItReceived) {
  SimOptions o = FastOptions();
  o.logPath = ProgramTempDir() / "sim.log";
  o.linkPath = ProgramTempDir() / "logger-link";
  SimConfig config;
  LoggerSim sim(o, config, SimFlight{});
  sim.Start();
  {
    LineEnd line(o.linkPath);  // through the link
    ASSERT_TRUE(line.Ok());
    ReadAnnounceAndAck(line, config);
  }
  ASSERT_TRUE(WaitUntil([&] { return sim.Acks() == 1; }, 1000));
  LineEnd again(sim.SlavePath());
  ASSERT_TRUE(again.Ok());
  sim.PowerOn();
  EXPECT_EQ(again.Read(BuildAnnounce(config).size(), 2000), BuildAnnounce(config));
  EXPECT_FALSE(again.HungUp());
  EXPECT_TRUE(sim.Running());
  ASSERT_TRUE(again.Write(Bytes{0x42, 0x0F}));
  ASSERT_TRUE(WaitUntil([&] { return sim.Received().size() == 33; }, 1000));
  sim.Stop();
  struct stat st;
  EXPECT_NE(::lstat(o.linkPath.c_str(), &st), 0) << "the link is removed at the end";

  std::ifstream in(o.logPath);
  int rx = 0, rx0f = 0;
  double last = -1;
  bool ordered = true;
  for (std::string l; std::getline(in, l);) {
    std::istringstream ls(l);
    double t;
    std::string kind, value;
    ls >> t >> kind >> value;
    if (kind != "RX") continue;
    ++rx;
    rx0f += value == "0F";
    ordered = ordered && t >= last;
    last = t;
  }
  EXPECT_EQ(rx, 33);
  EXPECT_EQ(rx0f, 32);
  EXPECT_TRUE(ordered);
  std::vector<RxEvent> ev = sim.ReceivedEvents();
  ASSERT_EQ(ev.size(), 33u);
  EXPECT_EQ(ev[31].byte, 0x42);
}

TEST(SimProgram, RunsAsAProgramUntilSigterm) {
  std::string exe = MORVALA_BINARY_DIR "/loggersim";
  if (::access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << "build/loggersim not built";
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  const char* argv[] = {exe.c_str(),        "--fast",
                        "--announce-every", "0",
                        "--power-on-delay", "100",
                        "--lifetime",       "20",
                        "--pause",          "config:3:50",
                        "--pause",          "9:10",
                        "--config",         "flightNumber=321",
                        "leadByte=7",       nullptr};
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &fa, nullptr, const_cast<char**>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  std::string path;
  {
    pollfd p{out[0], POLLIN, 0};
    char c;
    while (::poll(&p, 1, 3000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') path += c;
  }
  ::close(out[0]);
  EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  {
    LineEnd line(path);
    ASSERT_TRUE(line.Ok());
    SimConfig c = ConfigForFlight(SampleFlight());
    c.flightNumber = 321;
    c.leadByte = 7;
    EXPECT_EQ(line.Read(BuildAnnounce(c).size(), 3000), BuildAnnounce(c));
  }
  ::kill(pid, SIGTERM);
  int status = 0;
  bool ended = WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 3000);
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  EXPECT_TRUE(ended);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(SimProgram, ReplaysADumpFileByteForByte) {
  std::string exe = MORVALA_BINARY_DIR "/loggersim";
  if (::access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << "build/loggersim not built";
  // A dump cut inside its last record, as a download of a logger switched off mid-record
  // consumes it: the replay must not complete or pad it.
  RawDump dump;
  dump.eepromKByte = 128;
  dump.bytes = BuildDownload(SmallFlight(), 0);
  dump.bytes.resize(dump.bytes.size() - 3);
  TempDir dir;
  WriteRawDumpFile(dir / "flug.dump", dump);
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  const std::string file = dir / "flug.dump";
  const char* argv[] = {
      exe.c_str(), "--fast",   "--announce-every", "0",          "--power-on-delay",
      "100",       "--replay", file.c_str(),       "--lifetime", "20",
      nullptr};
  pid_t pid;
  ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &fa, nullptr, const_cast<char**>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  std::string path;
  {
    pollfd p{out[0], POLLIN, 0};
    char c;
    while (::poll(&p, 1, 3000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') path += c;
  }
  ::close(out[0]);
  {
    LineEnd line(path);
    ASSERT_TRUE(line.Ok());
    SimConfig c = ConfigForReplay(dump.bytes, dump.eepromKByte);
    EXPECT_EQ(c.recordFlags1, 0x13);
    EXPECT_EQ(c.recordFlags2, 0x41);
    EXPECT_EQ(c.eepromSize, 4);
    ReadAnnounceAndAck(line, c);
    ASSERT_TRUE(line.Write(Bytes{0x53}));
    EXPECT_EQ(line.ReadUntilSilent(300, 10000), Bytes(8, 0x55) + dump.bytes);
  }
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
