// Record layout, header decoding and the degree counters.
#include <gtest/gtest.h>

#include <cstring>

#include "model/recorddecoder.h"
#include "tests/support/flight_support.h"

namespace {

void SetLat(SampleRecord& r, uint16_t v) { r.b[17] = v >> 8, r.b[18] = v & 0xFF; }
void SetLon(SampleRecord& r, uint16_t v) { r.b[19] = v >> 8, r.b[20] = v & 0xFF; }

}  // namespace

TEST(RecordLayout, BytesPerFlagInLineOrder) {
  EXPECT_EQ(RecordLength(0xFF, 0x77), 23);
  EXPECT_EQ(RecordLength(0x00, 0x88), 0);  // "frei" and telemetry carry nothing
  EXPECT_EQ(RecordLength(0x01, 0x00), 2);
  EXPECT_EQ(RecordLength(0x02, 0x00), 2);  // byte 2 and byte 3
  EXPECT_EQ(RecordLength(0x1E, 0x00), 5);  // one byte 2 for four ADCs
  EXPECT_EQ(RecordLength(0x20, 0x00), 1);
  EXPECT_EQ(RecordLength(0xC0, 0x00), 4);
  EXPECT_EQ(RecordLength(0x00, 0x07), 3);
  EXPECT_EQ(RecordLength(0x00, 0x30), 2);
  EXPECT_EQ(RecordLength(0x00, 0x40), 6);

  const RecordLayout l(0x44, 0x41);  // ADC 1, frequency, RC 1, GPS
  const std::vector<int> want = {2, 4, 8, 9, 12, 17, 18, 19, 20, 21, 22};
  ASSERT_EQ(l.length, static_cast<int>(want.size()));
  for (int i = 0; i < l.length; ++i) EXPECT_EQ(l.bytes[i], want[i]) << i;
  EXPECT_FALSE(RecordBytePresent(23, 0xFF, 0xFF));
  EXPECT_FALSE(RecordBytePresent(24, 0xFF, 0xFF));
}

TEST(RecordLayout, Byte2KeepsOnlyTheRecordedAdcBits) {
  EXPECT_EQ(Byte2Mask(0x02), 0x03);
  EXPECT_EQ(Byte2Mask(0x04), 0x0C);
  EXPECT_EQ(Byte2Mask(0x08), 0x30);
  EXPECT_EQ(Byte2Mask(0x10), 0xC0);
  EXPECT_EQ(Byte2Mask(0x12), 0xC3);
  EXPECT_EQ(Byte2Mask(0xE1), 0x00);

  const RecordLayout l(0x02, 0x00);
  RecordDecoder d(l);
  SampleRecord r;
  std::memset(&r, 0xAA, sizeof r);
  d.Begin(r);
  EXPECT_FALSE(d.Feed(0xFF));
  EXPECT_TRUE(d.Feed(0x12));
  EXPECT_EQ(r.b[2], 0x03);
  EXPECT_EQ(r.b[3], 0x12);
  for (int i : {0, 1, 4, 5, 16, 23, 24}) EXPECT_EQ(r.b[i], 0) << i;  // zeroed first
}

TEST(RecordLayout, EveryChannelLandsInItsBytes) {
  const RecordLayout l(0xFF, 0x77);
  RecordDecoder d(l);
  SampleRecord r;
  d.Begin(r);
  for (int i = 0; i < 23; ++i) d.Feed(static_cast<uint8_t>(0x40 + i));
  EXPECT_TRUE(d.Complete());
  for (int i = 0; i < 23; ++i) EXPECT_EQ(r.b[i], 0x40 + i) << i;  // byte 2 all four ADCs
  EXPECT_EQ(r.b[23], 0);
  d.Feed(0x99);  // a complete record takes nothing more
  EXPECT_EQ(r.b[23], 0);
}

TEST(DownloadHeader, FieldsFromTheTwentyThreeBytes) {
  const uint8_t bytes[23] = {0x77, 0xFF, 0x77, 49,  0x01, 0x02, 6, 7, 8, 0x02, 0x01, 'S',
                             4,    8,    0x33, 'w', 0,    1,    1, 0, 1, 2,    3};
  const DownloadHeader h = ParseDownloadHeader(bytes);
  EXPECT_EQ(h.RecordFlags1, 0xFF);
  EXPECT_EQ(h.RecordFlags2, 0x77);
  EXPECT_EQ(h.SampleRateCode, 49);
  EXPECT_EQ(h.DataLength, 258);
  EXPECT_EQ(h.HeaderByte6, 6);
  EXPECT_EQ(h.HeaderByte7, 7);
  EXPECT_EQ(h.HeaderByte8, 8);
  EXPECT_EQ(h.HeaderWord9, 513);
  EXPECT_EQ(h.LatHemisphere, 'S');
  EXPECT_EQ(h.LatDegrees, 48u);
  EXPECT_EQ(h.LonHemisphere, 'w');
  EXPECT_EQ(h.LonDegrees, 11u);
  EXPECT_EQ(h.GpsHeaderValue, 66051u);
  EXPECT_EQ(h.ByteBudget(32), 258);
}

TEST(DownloadHeader, GpsValueAndBudgetRules) {
  uint8_t bytes[23] = {};
  bytes[19] = 0xFE, bytes[20] = 0xFE, bytes[21] = 0xFE, bytes[22] = 0x12;
  EXPECT_EQ(ParseDownloadHeader(bytes).GpsHeaderValue, 0u);
  bytes[21] = 0xFD;  // only all three 0xFE mean "none"
  EXPECT_EQ(ParseDownloadHeader(bytes).GpsHeaderValue, 0xFEFEFD12u);
  bytes[19] = 0xFF, bytes[20] = 0xFF, bytes[21] = 0xFF, bytes[22] = 0xFF;
  EXPECT_EQ(ParseDownloadHeader(bytes).GpsHeaderValue, 0xFFFFFFFFu);

  const DownloadHeader h = ParseDownloadHeader(bytes);
  EXPECT_EQ(h.DataLength, 0);
  EXPECT_EQ(h.ByteBudget(32), 32768);
  EXPECT_EQ(h.ByteBudget(64), 65536);
  // Digits beyond 9 are taken as the values they are.
  bytes[12] = 12, bytes[13] = 3, bytes[16] = 2, bytes[17] = 15, bytes[18] = 255;
  EXPECT_EQ(ParseDownloadHeader(bytes).LatDegrees, 123u);
  EXPECT_EQ(ParseDownloadHeader(bytes).LonDegrees, 200u + 150u + 255u);
}

class GradFilterTest : public ::testing::Test {
 protected:
  std::unique_ptr<FlightData> fd = NewFlight();
};

TEST_F(GradFilterTest, CrossingsBothWays) {
  const uint16_t lat[] = {59990, 5, 30000, 5, 59990, 50000, 10000, 50001, 9999};
  const int want[] = {100, 101, 101, 101, 100, 100, 100, 100, 101};
  for (int i = 0; i < 9; ++i) SetLat(fd->SampleTable[i], lat[i]);
  for (int i = 0; i < 9; ++i) SetLon(fd->SampleTable[i], lat[8 - i]);
  fd->LastSampleIndex = 8;
  fd->SampleTable[9].b[23] = 77;  // beyond the download: untouched
  fd->GradFilter();
  for (int i = 0; i < 9; ++i) EXPECT_EQ(fd->SampleTable[i].b[23], want[i]) << i;
  // Longitude runs the same minutes backwards: 9999, 50001 goes down a degree first.
  const int wantLon[] = {100, 99, 99, 99, 99, 100, 100, 100, 99};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(fd->SampleTable[i].b[24], wantLon[i]) << i;
  EXPECT_EQ(fd->SampleTable[9].b[23], 77);
}

TEST_F(GradFilterTest, OneRecordAndNoRecord) {
  fd->SampleTable[0].b[23] = 3, fd->SampleTable[0].b[24] = 4;
  fd->LastSampleIndex = 0;
  fd->GradFilter();
  EXPECT_EQ(fd->SampleTable[0].b[23], 100);
  EXPECT_EQ(fd->SampleTable[0].b[24], 100);
  fd->SampleTable[0].b[23] = 3;
  fd->LastSampleIndex = -1;
  fd->GradFilter();
  EXPECT_EQ(fd->SampleTable[0].b[23], 3);
}

TEST_F(GradFilterTest, CountersStopAtTheByteLimits) {
  // 400 upward latitude wraps and 400 downward longitude wraps, one every 3 records.
  const uint16_t up[3] = {59990, 5, 30000};
  const uint16_t down[3] = {5, 59990, 30000};
  const int n = 1200;
  for (int i = 0; i < n; ++i) {
    SetLat(fd->SampleTable[i], up[i % 3]);
    SetLon(fd->SampleTable[i], down[i % 3]);
  }
  fd->LastSampleIndex = n - 1;
  fd->GradFilter();
  EXPECT_EQ(fd->SampleTable[1].b[23], 101);
  EXPECT_EQ(fd->SampleTable[460].b[23], 254);
  EXPECT_EQ(fd->SampleTable[463].b[23], 255);  // 155 wraps up
  EXPECT_EQ(fd->SampleTable[n - 1].b[23], 255);
  EXPECT_EQ(fd->SampleTable[1].b[24], 99);
  EXPECT_EQ(fd->SampleTable[295].b[24], 1);
  EXPECT_EQ(fd->SampleTable[298].b[24], 0);  // 100 wraps down
  EXPECT_EQ(fd->SampleTable[n - 1].b[24], 0);
  // A stopped counter counts again from its limit: one wrap back down gives 254.
  SetLat(fd->SampleTable[n], 5);
  SetLat(fd->SampleTable[n + 1], 59990);
  fd->LastSampleIndex = n + 1;
  fd->GradFilter();
  EXPECT_EQ(fd->SampleTable[n].b[23], 255);
  EXPECT_EQ(fd->SampleTable[n + 1].b[23], 254);
}

TEST_F(GradFilterTest, ZeroFirstRecordsLeavesTheRest) {
  std::memset(fd->SampleTable, 0x5A, sizeof fd->SampleTable);
  fd->ZeroFirstRecords();
  EXPECT_EQ(fd->SampleTable[16383].b[24], 0);
  EXPECT_EQ(fd->SampleTable[0].b[0], 0);
  EXPECT_EQ(fd->SampleTable[16384].b[0], 0x5A);
  EXPECT_EQ(fd->SampleTable[65535].b[24], 0x5A);
  fd->SampleRateCode = 0;
  EXPECT_DOUBLE_EQ(fd->SampleInterval(), 0.02);
  fd->SampleRateCode = 49;
  EXPECT_DOUBLE_EQ(fd->SampleInterval(), 1.0);
}
