// The simulator's data: packing, the flight file, the HEX files, the settings
// given as text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>

#include "tests/support/files.h"
#include "tests/tools/decoder.h"
#include "tools/sim/loggersim.h"

using namespace loggersim;

namespace {

SimRecord OddRecord(int i) {
  SimRecord r;
  r.adc16 = uint16_t(0xA000 + i * 7);
  r.adc[0] = uint16_t(0x3FF - i);
  r.adc[1] = uint16_t(0x200 + i);
  r.adc[2] = uint16_t(0x155 + i);
  r.adc[3] = uint16_t(0x2AA + i);
  r.adc4 = uint8_t(0x80 + i);
  r.freq = uint16_t(0x1234 + i);
  r.rpm = uint16_t(0xBEEF - i);
  r.rc[0] = uint8_t(10 + i);
  r.rc[1] = uint8_t(20 + i);
  r.rc[2] = uint8_t(30 + i);
  r.tempInt = uint8_t(40 + i);
  r.tempExt = uint8_t(50 + i);
  r.latMin = uint16_t(59990 + i);
  r.lonMin = uint16_t(5 + i);
  r.gps3 = uint16_t(0x0102 + i);
  return r;
}

}  // namespace

TEST(SimPacking, EveryFlagCombinationDecodesBackToTheRecordedChannels) {
  // All 256 values of the first flag byte with a few of the second, checked
  // against the decoder of the test, record by record.
  const uint8_t flags2[] = {0x00, 0x01, 0x77, 0x7F, 0x48, 0xFF};
  for (int f1 = 0; f1 < 256; ++f1) {
    for (uint8_t f2 : flags2) {
      SimFlight f;
      f.recordFlags1 = uint8_t(f1);
      f.recordFlags2 = f2;
      for (int i = 0; i < 3; ++i) f.records.push_back(OddRecord(i));
      std::vector<uint8_t> s = BuildDownload(f, 2);
      auto d = DecodeDownload(s);
      ASSERT_TRUE(d) << f1;
      if (f.RecordSize() == 0) {
        EXPECT_TRUE(d->records.empty());
        continue;
      }
      ASSERT_EQ(d->records.size(), 3u) << "flags " << f1 << " " << int(f2);
      EXPECT_EQ(d->leftover, 0u);
      for (int i = 0; i < 3; ++i)
        EXPECT_EQ(d->records[size_t(i)], Masked(OddRecord(i), uint8_t(f1), f2))
            << "flags " << f1 << " " << int(f2) << " record " << i;
    }
  }
}

TEST(SimPacking, RecordByteLayout) {
  SimRecord r = OddRecord(0);
  // Only ADC 0 recorded: byte 2 carries only ADC 0's high bits ...
  EXPECT_EQ(PackRecord(r, 0x02, 0), (std::vector<uint8_t>{0x03, 0xFF}));
  // ... unless the stray-bits fault asks for all four.
  EXPECT_EQ(PackRecord(r, 0x02, 0, true), (std::vector<uint8_t>{0x03 | 0x08 | 0x10 | 0x80, 0xFF}));
  // Full record: 23 bytes, big-endian words, GPS last.
  std::vector<uint8_t> all = PackRecord(r, 0xFF, 0x77);
  ASSERT_EQ(all.size(), 23u);
  EXPECT_EQ(all[0], 0xA0);
  EXPECT_EQ(all[1], 0x00);
  EXPECT_EQ(all[8], 0x12);
  EXPECT_EQ(all[9], 0x34);
  EXPECT_EQ(all[17], 59990 >> 8);
  EXPECT_EQ(all[18], 59990 & 0xFF);
  EXPECT_EQ(all[22], 0x02);
  // "frei" and "Telemetrie" carry no bytes.
  EXPECT_TRUE(PackRecord(r, 0x00, 0x88).empty());
}

TEST(SimPacking, HeaderAndAnnounce) {
  SimFlight f;
  f.recordFlags1 = 0x13;
  f.recordFlags2 = 0x41;
  f.sampleRateCode = 12;
  f.latDegrees = 47;
  f.lonDegrees = 112;
  f.lonHemisphere = 'W';
  f.headerWord9 = 0xABCD;
  f.gpsHeaderValue = 66051;
  f.records.assign(4, OddRecord(1));
  std::vector<uint8_t> h = PackHeader(f);
  ASSERT_EQ(h.size(), 23u);
  EXPECT_EQ(h[4] * 256 + h[5], 4 * f.RecordSize());
  EXPECT_EQ(h[12], 4);
  EXPECT_EQ(h[13], 7);
  EXPECT_EQ(h[15], 'W');
  EXPECT_EQ(h[16], 1);
  EXPECT_EQ(h[17], 1);
  EXPECT_EQ(h[18], 2);
  EXPECT_EQ(std::vector<uint8_t>(h.begin() + 19, h.end()), (std::vector<uint8_t>{0, 1, 2, 3}));
  f.gpsHeaderNone = true;
  f.gpsHeaderLast = 0x12;
  h = PackHeader(f);
  EXPECT_EQ(std::vector<uint8_t>(h.begin() + 19, h.end()),
            (std::vector<uint8_t>{0xFE, 0xFE, 0xFE, 0x12}));
  f.dataLength = 10;
  f.truncateToDataLength = true;
  std::vector<uint8_t> s = BuildDownload(f, 0);
  EXPECT_EQ(s.size(), 1u + 23u + 10u);

  SimConfig c;
  c.dataCount = 300;
  c.flightNumber = 12345;
  c.extraBytes = {9, 8};
  std::vector<uint8_t> a = BuildAnnounce(c, 2);
  EXPECT_EQ(a, (std::vector<uint8_t>{0x55, 0x55, 0x00, 14, 0xFF, 0x77, 49, 0x01, 0x2C, 0x01, 0x80,
                                     0, 0x8C, 0x30, 0x39, 2, 9, 8}));
  c.countOverride = 2;
  EXPECT_EQ(BuildAnnounce(c, 1), (std::vector<uint8_t>{0x55, 0x00, 2, 0xFF, 0x77}));
  c.countOverride = 16;
  EXPECT_EQ(BuildAnnounce(c, 1).size(), 3u + 16u);
}

TEST(SimFlightData, SampleFlightIsAPlausibleTwentyMinuteFlight) {
  SimFlight f = SampleFlight();
  ASSERT_EQ(f.records.size(), 1200u);
  EXPECT_EQ(f.sampleRateCode, 49);
  EXPECT_EQ(f.recordFlags1, 0xFF);
  EXPECT_EQ(f.recordFlags2, 0x77);
  EXPECT_LE(f.RecordBytes(), 65535);
  int lo = 65535, hi = 0, peak = 0;
  for (size_t i = 0; i < f.records.size(); ++i) {
    lo = std::min<int>(lo, f.records[i].adc16);
    hi = std::max<int>(hi, f.records[i].adc16);
    if (f.records[i].adc16 <= lo) peak = int(i);  // the lowest pressure is the highest point
  }
  EXPECT_GE(lo, 8000);
  EXPECT_LE(hi, 11000);
  // A real climb, yet within the 480 counts the graph shows above the ground.
  EXPECT_GT(hi - lo, 300);
  EXPECT_LT(hi - lo, 470);
  EXPECT_GT(peak, 60);
  EXPECT_LT(peak, 1100);
  // Ground at both ends.
  EXPECT_LT(std::abs(f.records.front().adc16 - f.records.back().adc16), 30);
  // The motor runs only in the climb.
  EXPECT_EQ(f.records[10].rpm, 0);
  EXPECT_GT(f.records[150].rpm, 5000);
  EXPECT_EQ(f.records[700].rpm, 0);
  // Longitude crosses the degree line westwards and comes back.
  int west = 0, east = 0;
  for (size_t i = 1; i < f.records.size(); ++i) {
    int a = f.records[i - 1].lonMin, b = f.records[i].lonMin;
    if (a < 10000 && b > 50000) ++west;
    if (a > 50000 && b < 10000) ++east;
    EXPECT_LT(std::abs(f.records[i].latMin - f.records[i - 1].latMin), 1000);
  }
  EXPECT_GE(west, 1);
  EXPECT_EQ(west, east);
}

TEST(SimFlightData, FileRoundTripAndTheShippedSample) {
  SimFlight f = SampleFlight();
  f.gpsHeaderNone = true;
  f.gpsHeaderLast = 7;
  f.dataLength = 100;
  f.truncateToDataLength = true;
  f.lonHemisphere = 'w';
  std::string path = ProgramTempDir() / "flight.txt";
  SaveFlight(f, path);
  SimFlight g = LoadFlight(path);
  EXPECT_EQ(BuildDownload(g), BuildDownload(f));
  EXPECT_EQ(g.records, f.records);

  SimFlight shipped = LoadFlight(MORVALA_SOURCE_DIR "/data/sample_flight.txt");
  EXPECT_EQ(BuildDownload(shipped), BuildDownload(SampleFlight()));
}

TEST(SimFlightData, BadFlightFilesAreRefused) {
  const char* bad[] = {
      "recordFlags1 = 0x1FF\n",
      "latHemisphere = NS\n",
      "colour = blue\n",
      "1 2 3\n",
      "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n",
      "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 x\n",
      "gpsHeaderValue = nonesuch\n",
  };
  for (const char* text : bad) {
    std::string path = ProgramTempDir() / "bad_flight.txt";
    std::ofstream(path) << text;
    EXPECT_THROW(LoadFlight(path), std::runtime_error) << text;
  }
  EXPECT_THROW(LoadFlight(ProgramTempDir() / "no_such_flight.txt"), std::runtime_error);
  std::string path = ProgramTempDir() / "good_flight.txt";
  std::ofstream(path)
      << "# two records\nrecordFlags1 = 0x01\nrecordFlags2=0\n"
         "gpsHeaderValue = none,0x12\n"
         "9000 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n0x2328 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n";
  SimFlight f = LoadFlight(path);
  ASSERT_EQ(f.records.size(), 2u);
  EXPECT_EQ(f.records[1].adc16, 9000);
  EXPECT_TRUE(f.gpsHeaderNone);
  EXPECT_EQ(f.gpsHeaderLast, 0x12);
  EXPECT_EQ(BuildDownload(f, 0).size(), 1u + 23u + 4u);
}

TEST(SimHex, ShippedFirmwareIsValidAndMatchesTheGenerator) {
  for (const char* name : {"/data/sample_firmware.hex", "/data/sample_firmware_crlf.hex"}) {
    HexImage image;
    std::string err;
    ASSERT_TRUE(ParseHexFile(std::string(MORVALA_SOURCE_DIR) + name, image, &err)) << err;
    EXPECT_EQ(image, SampleFirmwareImage()) << name;
  }
  std::ifstream in(MORVALA_SOURCE_DIR "/data/sample_firmware.hex", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 12), ":00000001FF\n");
  // PIC16 program words are 14 bits.
  HexImage image = SampleFirmwareImage();
  for (auto& [addr, byte] : image) {
    if (addr % 2 == 1) {
      EXPECT_LE(byte, 0x3F) << addr;
    }
  }
}

TEST(SimHex, WriterAndReaderAgreeAcrossSegmentsAndRejectBadRecords) {
  HexImage image;
  for (uint32_t a = 0xFFF8; a < 0x10010; ++a)  // crosses a 64 KiB boundary
    image[a] = uint8_t(a * 3);
  image[0x23456] = 0x99;
  std::string path = ProgramTempDir() / "seg.hex";
  ASSERT_TRUE(WriteHexFile(image, path, true));
  HexImage back;
  std::string err;
  ASSERT_TRUE(ParseHexFile(path, back, &err)) << err;
  EXPECT_EQ(back, image);

  std::ofstream(path) << ":0400000001020304F1\n:00000001FF\n";  // checksum off by one
  EXPECT_FALSE(ParseHexFile(path, back, &err));
  EXPECT_NE(err.find("checksum"), std::string::npos);
  std::ofstream(path) << ":0400000001020304F2\n";
  EXPECT_FALSE(ParseHexFile(path, back, &err));  // no end record
  std::ofstream(path) << ":020000020400F8\n:0400000001020304F2\n:00000001FF\n";
  ASSERT_TRUE(ParseHexFile(path, back, &err)) << err;
  EXPECT_EQ(back.begin()->first, 0x4000u);  // segment 0x0400 * 16
}

TEST(SimSettings, FaultsAndConfigurationFromText) {
  SimFaults f;
  EXPECT_TRUE(ParseFault("config-stop-after=5", f));
  EXPECT_EQ(f.configStopAfter, 5);
  EXPECT_TRUE(ParseFault("garbage-inside=3:7", f));
  EXPECT_EQ(f.garbageInsideAt, 3);
  EXPECT_EQ(f.garbageInsideCount, 7);
  EXPECT_TRUE(ParseFault("boot-bad-answer-at=4:X", f));
  EXPECT_EQ(f.bootBadAnswerAtLine, 4);
  EXPECT_EQ(f.bootBadAnswer, 'X');
  EXPECT_TRUE(ParseFault("boot-wrong-ready=0x3F", f));
  EXPECT_EQ(f.bootWrongReady, 0x3F);
  EXPECT_TRUE(ParseFault("endless", f));
  EXPECT_TRUE(f.endless);
  std::string err;
  EXPECT_FALSE(ParseFault("config-stop-after", f, &err));
  EXPECT_FALSE(ParseFault("config-stop-after=-1", f, &err));
  EXPECT_FALSE(ParseFault("boot-ready-on=0", f, &err));
  EXPECT_FALSE(ParseFault("garbage-inside=3", f, &err));
  EXPECT_FALSE(ParseFault("no-such-fault", f, &err));
  EXPECT_NE(err.find("no-such-fault"), std::string::npos);

  SimConfig c;
  EXPECT_TRUE(ParseConfigSetting("flightNumber=12345", c));
  EXPECT_EQ(c.flightNumber, 12345);
  EXPECT_TRUE(ParseConfigSetting("serialSensor=0xFF", c));
  EXPECT_EQ(c.serialSensor, 0xFF);
  EXPECT_TRUE(ParseConfigSetting("extra=1,2,0x30", c));
  EXPECT_EQ(c.extraBytes, (std::vector<uint8_t>{1, 2, 0x30}));
  EXPECT_FALSE(ParseConfigSetting("leadByte=0x55", c));
  EXPECT_FALSE(ParseConfigSetting("adc3Offset=256", c));
  EXPECT_FALSE(ParseConfigSetting("colour=3", c));
  EXPECT_FALSE(ParseConfigSetting("eepromSize", c));

  SimFaults p;
  EXPECT_TRUE(ParsePause("100:60", p));
  EXPECT_TRUE(ParsePause("0x20:1500", p));
  EXPECT_TRUE(ParsePause("config:5:100", p));
  ASSERT_EQ(p.downloadPauses.size(), 2u);
  EXPECT_EQ(p.downloadPauses[1].offset, 0x20);
  EXPECT_EQ(p.downloadPauses[1].ms, 1500);
  ASSERT_EQ(p.configPauses.size(), 1u);
  EXPECT_EQ(p.configPauses[0].offset, 5);
  EXPECT_EQ(p.configPauses[0].ms, 100);
  EXPECT_FALSE(ParsePause("100", p, &err));
  EXPECT_FALSE(ParsePause("-1:50", p, &err));
  EXPECT_FALSE(ParsePause("config:5", p, &err));
  EXPECT_FALSE(ParsePause("download:5:100", p, &err));
  EXPECT_EQ(p.downloadPauses.size(), 2u);
}
