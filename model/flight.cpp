#include "model/flight.h"

#include <algorithm>
#include <limits>

#include "model/coords.h"

namespace analysis {

const std::array<LaneInfo, kColumnCount>& AllLanes() {
  static const std::array<LaneInfo, kColumnCount> lanes = {{
      {kAdc16, "16-Bit-ADC"},
      {kAdc0, "ADC 0"},
      {kAdc1, "ADC 1"},
      {kAdc2, "ADC 2"},
      {kAdc3, "ADC 3"},
      {kAdc4, "ADC4"},
      {kFrequency, "Frequenz"},
      {kRpm, "Drehzahl"},
      {kRc1, "RC 1"},
      {kRc2, "RC 2"},
      {kRc3, "RC 3"},
      {kTempInt, "Temp. int."},
      {kTempExt, "Temp. ext."},
      {kLatitude, "Breite"},
      {kLongitude, "Länge"},
      {kGps3, "GPS 3"},
  }};
  return lanes;
}

bool Flight::HasChannel(Column c) const {
  // The channel flags of the download header: flags 1 bits 0..7 are the 16-bit ADC,
  // ADC 0..3, ADC4, Frequenz, Drehzahl; flags 2 bits 0..2 RC 1..3, bit 4 Temp. int.,
  // bit 5 Temp. ext., bit 6 GPS (three columns).
  static constexpr int kFlags2Bit[] = {0, 1, 2, 4, 5, 6, 6, 6};
  if (c < kRc1) return (recordFlags1 >> c) & 1;
  return (recordFlags2 >> kFlags2Bit[c - kRc1]) & 1;
}

std::vector<LaneInfo> Flight::RecordedLanes() const {
  std::vector<LaneInfo> out;
  for (const LaneInfo& l : AllLanes())
    if (HasChannel(l.column)) out.push_back(l);
  return out;
}

double Flight::LaneValue(Column c, int32_t i) const {
  const int64_t v = columns[c][static_cast<size_t>(i)];
  if (c == kLatitude || c == kLongitude)
    return FixAt(i) ? DecimalDegrees(v) : std::numeric_limits<double>::quiet_NaN();
  return static_cast<double>(v);
}

bool Flight::FixAt(int32_t i) const {
  const size_t k = static_cast<size_t>(i);
  return HasFix(columns[kLatitude][k], columns[kLongitude][k]);
}

int Flight::AltitudeColumn() const {
  if (HasChannel(kAdc16)) return kAdc16;
  if (HasChannel(kAdc0)) return kAdc0;
  return -1;
}

namespace {

bool IsHemisphere(char h, char lower) { return h == lower || h == lower - 'a' + 'A'; }

// The number a coordinate column spells: the sign of the hemisphere times the sign of the
// degrees in front of |degrees| and the five minute digits.
int64_t CoordinateValue(bool southOrWest, int64_t degrees, uint32_t minutes) {
  const bool negative = southOrWest != (degrees < 0);
  const int64_t magnitude = (degrees < 0 ? -degrees : degrees) * 100000 + minutes;
  return negative ? -magnitude : magnitude;
}

}  // namespace

Flight FlightFromDownload(const FlightData& fd, int serialNumber) {
  Flight f;
  f.source = FlightSource::Download;
  f.serialNumber = serialNumber;
  f.recordFlags1 = fd.RecordFlags1;
  f.recordFlags2 = fd.RecordFlags2;
  f.sampleRateCode = fd.SampleRateCode;
  f.downloadCount = static_cast<int64_t>(fd.LastSampleIndex) + 1;
  f.headerByte6 = fd.HeaderByte6;
  f.headerByte7 = fd.HeaderByte7;
  f.headerByte8 = fd.HeaderByte8;
  f.headerWord9 = fd.HeaderWord9;
  const bool south = IsHemisphere(fd.LatHemisphere, 's');
  const bool west = IsHemisphere(fd.LonHemisphere, 'w');
  f.latDegrees = south ? -static_cast<int64_t>(fd.LatDegrees) : fd.LatDegrees;
  f.lonDegrees = west ? -static_cast<int64_t>(fd.LonDegrees) : fd.LonDegrees;
  f.gpsHeaderValue = fd.GpsHeaderValue;

  const int32_t last = std::min(fd.LastSampleIndex, kSampleTableSize - 1);
  const size_t n = last >= 0 ? static_cast<size_t>(last) + 1 : 0;
  for (auto& col : f.columns) col.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* b = fd.SampleTable[i].b;
    f.columns[kAdc16][i] = b[0] * 256 + b[1];
    f.columns[kAdc0][i] = (b[2] & 3) * 256 + b[3];
    f.columns[kAdc1][i] = ((b[2] >> 2) & 3) * 256 + b[4];
    f.columns[kAdc2][i] = ((b[2] >> 4) & 3) * 256 + b[5];
    f.columns[kAdc3][i] = ((b[2] >> 6) & 3) * 256 + b[6];
    f.columns[kAdc4][i] = b[7];
    f.columns[kFrequency][i] = b[8] * 256 + b[9];
    f.columns[kRpm][i] = b[10] * 256 + b[11];
    f.columns[kRc1][i] = b[12];
    f.columns[kRc2][i] = b[13];
    f.columns[kRc3][i] = b[14];
    f.columns[kTempInt][i] = b[15];
    f.columns[kTempExt][i] = b[16];
    f.columns[kLatitude][i] = CoordinateValue(
        south, static_cast<int64_t>(fd.LatDegrees) + b[23] - 100, b[17] * 256u + b[18]);
    f.columns[kLongitude][i] = CoordinateValue(
        west, static_cast<int64_t>(fd.LonDegrees) + b[24] - 100, b[19] * 256u + b[20]);
    f.columns[kGps3][i] = b[21] * 256 + b[22];
  }
  // The export range within the copy; an empty or reversed range shades nothing and the
  // cursors start at the ends.
  const int32_t count = static_cast<int32_t>(n);
  f.rangeFirst = std::clamp(fd.ExportFirstIndex, 0, std::max(count - 1, 0));
  f.rangeLast = std::clamp(fd.ExportLastIndex, 0, std::max(count - 1, 0));
  if (f.rangeLast < f.rangeFirst) {
    f.rangeFirst = 0;
    f.rangeLast = std::max(count - 1, 0);
  }
  return f;
}

}  // namespace analysis
