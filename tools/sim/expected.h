// What a download of a simulated flight must give, worked out from the flight itself
// without the program's decoder or exporter: the 25 table bytes of each record and the
// whole CSV text (the same rules as tests/e2e/expected_csv.py). Used by the tests and the
// benchmarks to judge a download.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/sim/loggersim.h"

namespace loggersim {

using TableBytes = std::array<uint8_t, 25>;

// The bytes a downloaded record holds, before the degree bytes are filled.
inline TableBytes TableRecord(const SimRecord& r, uint8_t f1, uint8_t f2) {
  TableBytes b{};
  if (f1 & 0x01) b[0] = uint8_t(r.adc16 >> 8), b[1] = uint8_t(r.adc16 & 0xFF);
  uint8_t high = 0;
  for (int k = 0; k < 4; ++k)
    if (f1 & (0x02 << k)) high = uint8_t(high | (((r.adc[k] >> 8) & 3) << (2 * k)));
  if (f1 & 0x1E) b[2] = high;
  for (int k = 0; k < 4; ++k)
    if (f1 & (0x02 << k)) b[3 + k] = uint8_t(r.adc[k] & 0xFF);
  if (f1 & 0x20) b[7] = r.adc4;
  if (f1 & 0x40) b[8] = uint8_t(r.freq >> 8), b[9] = uint8_t(r.freq & 0xFF);
  if (f1 & 0x80) b[10] = uint8_t(r.rpm >> 8), b[11] = uint8_t(r.rpm & 0xFF);
  for (int k = 0; k < 3; ++k)
    if (f2 & (1 << k)) b[12 + k] = r.rc[k];
  if (f2 & 0x10) b[15] = r.tempInt;
  if (f2 & 0x20) b[16] = r.tempExt;
  if (f2 & 0x40) {
    b[17] = uint8_t(r.latMin >> 8), b[18] = uint8_t(r.latMin & 0xFF);
    b[19] = uint8_t(r.lonMin >> 8), b[20] = uint8_t(r.lonMin & 0xFF);
    b[21] = uint8_t(r.gps3 >> 8), b[22] = uint8_t(r.gps3 & 0xFF);
  }
  return b;
}

// Every record's bytes with the degree offsets counted from the minute wraps.
inline std::vector<TableBytes> ExpectedTable(const SimFlight& f) {
  std::vector<TableBytes> table;
  int latCount = 100, lonCount = 100;
  int prevLat = -1, prevLon = -1;
  for (const auto& r : f.records) {
    TableBytes b = TableRecord(r, f.recordFlags1, f.recordFlags2);
    const int lat = b[17] * 256 + b[18], lon = b[19] * 256 + b[20];
    if (prevLat >= 0) {
      if (prevLat > 50000 && lat < 10000) ++latCount;
      if (prevLat < 10000 && lat > 50000) --latCount;
      if (prevLon > 50000 && lon < 10000) ++lonCount;
      if (prevLon < 10000 && lon > 50000) --lonCount;
    }
    b[23] = uint8_t(latCount), b[24] = uint8_t(lonCount);
    prevLat = lat, prevLon = lon;
    table.push_back(b);
  }
  return table;
}

// The file the program must save after downloading the whole flight.
inline std::string ExpectedCsv(const SimFlight& f) {
  std::string out;
  auto line = [&](const std::vector<std::string>& values) {
    for (const auto& v : values) out += v + ";";
    out += "\r\n";
  };
  auto num = [](long v) { return std::to_string(v); };
  const bool south = f.latHemisphere == 's' || f.latHemisphere == 'S';
  const bool west = f.lonHemisphere == 'w' || f.lonHemisphere == 'W';
  line({num(f.recordFlags1), num(f.recordFlags2), num(f.sampleRateCode),
        num(long(f.records.size())), num(f.headerByte6), num(f.headerByte7), num(f.headerByte8),
        num(f.headerWord9)});
  line({std::string(south ? "-" : "") + num(f.latDegrees),
        std::string(west ? "-" : "") + num(f.lonDegrees),
        num(f.gpsHeaderNone ? 0 : long(f.gpsHeaderValue))});
  auto coordinate = [&](bool negative, long degrees, int minutes) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%05d", minutes);
    return std::string(negative ? "-" : "") + num(degrees) + buf;
  };
  for (const TableBytes& b : ExpectedTable(f)) {
    line({num(b[0] * 256 + b[1]), num((b[2] & 3) * 256 + b[3]), num(((b[2] >> 2) & 3) * 256 + b[4]),
          num(((b[2] >> 4) & 3) * 256 + b[5]), num(((b[2] >> 6) & 3) * 256 + b[6]), num(b[7]),
          num(b[8] * 256 + b[9]), num(b[10] * 256 + b[11]), num(b[12]), num(b[13]), num(b[14]),
          num(b[15]), num(b[16]),
          coordinate(south, f.latDegrees + b[23] - 100, b[17] * 256 + b[18]),
          coordinate(west, f.lonDegrees + b[24] - 100, b[19] * 256 + b[20]),
          num(b[21] * 256 + b[22])});
  }
  return out;
}

}  // namespace loggersim
