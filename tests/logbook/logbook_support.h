// What the logbook tests share: a logbook folder of their own (XDG_DATA_HOME), flights
// of the simulated logger and their raw dumps, and a look at the database file with
// SQLite itself.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "logbook/logbook.h"
#include "model/rawdump.h"
#include "tests/support/files.h"
#include "tools/sim/loggersim.h"

namespace logbooktest {

// A flight of n records, every channel recorded; the GPS minutes cross whole degrees
// north- and westwards, so that the degree bytes vary. seed makes flights differ.
inline loggersim::SimFlight Flight(int n, uint32_t seed = 1) {
  loggersim::SimFlight f;
  f.recordFlags1 = 0xFF;
  f.recordFlags2 = 0x77;
  f.sampleRateCode = 49;
  f.latHemisphere = 'N';
  f.latDegrees = 47;
  f.lonHemisphere = 'W';
  f.lonDegrees = 8;
  f.gpsHeaderValue = 123456;
  f.headerByte6 = static_cast<uint8_t>(seed);
  uint32_t lat = 59000, lon = 1000, x = seed * 2654435761u;
  for (int i = 0; i < n; ++i) {
    loggersim::SimRecord r;
    x = x * 1103515245u + 12345u;
    r.adc16 = static_cast<uint16_t>(30000 - i * 3 + (x >> 28));
    for (int k = 0; k < 4; ++k) r.adc[k] = static_cast<uint16_t>((x >> (k * 3)) & 1023);
    r.adc4 = static_cast<uint8_t>(x >> 8);
    r.freq = static_cast<uint16_t>(x >> 4);
    r.rpm = static_cast<uint16_t>(x >> 12);
    r.rc[0] = static_cast<uint8_t>(i);
    r.rc[1] = static_cast<uint8_t>(x >> 20);
    r.rc[2] = 7;
    r.tempInt = 20;
    r.tempExt = static_cast<uint8_t>(x >> 24);
    lat = (lat + 397) % 60000;
    lon = (lon + 60000 - 211) % 60000;
    r.latMin = static_cast<uint16_t>(lat);
    r.lonMin = static_cast<uint16_t>(lon);
    r.gps3 = static_cast<uint16_t>(x);
    f.records.push_back(r);
  }
  return f;
}

// The bytes a download of the flight consumes: start marker, header, records.
inline RawDump DumpOf(const loggersim::SimFlight& f, int eepromKByte = 64) {
  RawDump d;
  d.bytes = loggersim::BuildDownload(f, 0);
  d.eepromKByte = eepromKByte;
  return d;
}

inline logbook::LoggerIdentity Logger(int serial = 12, int flightNumber = 7) {
  logbook::LoggerIdentity who;
  who.serialNumber = serial;
  who.sensor = "MS5534A";
  who.flightNumber = flightNumber;
  return who;
}

// 2026-12-09 04:30:00 +01:00 plus minutes.
inline logbook::LocalTime At(int minutes = 0) { return {1796787000 + minutes * 60LL, 3600}; }

// One text value of a statement run on the file by SQLite itself ("" when it fails).
inline std::string SqlValue(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string out;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW && sqlite3_column_text(s, 0))
      out = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
  }
  sqlite3_close_v2(db);
  return out;
}

}  // namespace logbooktest
