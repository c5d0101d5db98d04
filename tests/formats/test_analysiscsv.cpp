// "Auswertung als CSV…": the file a German spreadsheet opens as it is.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/stats.h"
#include "formats/analysiscsv.h"

using namespace analysis;

namespace {
std::vector<std::string> Split(const std::string& s, const std::string& sep) {
  std::vector<std::string> out;
  size_t at = 0;
  for (size_t next; (next = s.find(sep, at)) != std::string::npos; at = next + sep.size())
    out.push_back(s.substr(at, next - at));
  out.push_back(s.substr(at));
  return out;
}
}  // namespace

TEST(AnalysisCsv, NamesAndUnitsSemicolonsDecimalCommasCrLfAndAByteOrderMark) {
  Flight f;
  f.recordFlags1 = 0x21;  // the 16-bit ADC and ADC4
  f.recordFlags2 = 0x40;  // GPS
  f.sampleRateCode = 4;   // 0,1 s
  const int n = 30;
  for (auto& col : f.columns) col.assign(n, 0);
  for (int i = 0; i < n; ++i) {
    f.columns[kAdc16][i] = 50000 - 7 * i;
    f.columns[kAdc4][i] = 100 + i;
    if (i == 12) continue;  // no fix
    f.columns[kLatitude][i] = 4712000 + i;
    f.columns[kLongitude][i] = 812000;
  }
  FlightOptions o;
  o.profile.altitude = AltitudeMethod::Metres;
  o.profile.channels[kAdc16].calibrated = true;
  o.profile.channels[kAdc16].linear = {-0.1, 5500};  // raw 50000 → 500 m
  o.profile.channels[kAdc4].calibrated = true;
  o.profile.channels[kAdc4].name = "Akku";
  o.profile.channels[kAdc4].unit = "V";
  o.profile.channels[kAdc4].decimals = 2;
  o.profile.channels[kAdc4].linear = {0.05, 0};
  const std::string text = AnalysisCsvText(f, o, 15, 10);
  ASSERT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u);
  // Lines end with CR LF, and there is no LF without its CR.
  ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') {
      ASSERT_EQ(text[i - 1], '\r') << i;
    }
  const std::vector<std::string> lines = Split(text.substr(3, text.size() - 5), "\r\n");
  ASSERT_EQ(lines.size(), 7u);  // the header and records 10..15
  EXPECT_EQ(
      lines[0],
      "Zeit (s);Höhe (m);Akku (V);Breite (°);Länge (°);GPS 3 (roh);Steigen (m/s);Geschwindigkeit "
      "(km/h);Entfernung (km);Strecke (km)");
  const std::vector<std::string> r10 = Split(lines[1], ";");
  ASSERT_EQ(r10.size(), 10u);
  EXPECT_EQ(r10[0], "1,00");  // time from the first record, not from A
  EXPECT_EQ(r10[1], GermanNumber(-0.1 * (50000 - 70) + 5500, 1));
  EXPECT_EQ(r10[2], "5,50");  // 110 × 0,05 V
  EXPECT_EQ(r10[3], GermanNumber(47 + 12010 / 60000.0, 6));
  EXPECT_EQ(r10[5], "0");
  EXPECT_EQ(r10[6], "7,00");  // 0,7 m per 0,1 s
  // Record 12 has no fix: its coordinates and GPS values are empty cells.
  const std::vector<std::string> r12 = Split(lines[3], ";");
  ASSERT_EQ(r12.size(), 10u);
  EXPECT_EQ(r12[3], "");
  EXPECT_EQ(r12[4], "");
  EXPECT_EQ(r12[9], "");
  EXPECT_NE(r12[1], "");
}
