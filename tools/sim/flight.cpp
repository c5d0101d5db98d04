// Flights of the simulated logger: the built-in sample flight and the text
// file format.
//
// Flight file format (text, one item a line, "#" starts a comment line):
//   key = value        header fields: headerByte0, recordFlags1, recordFlags2,
//                      sampleRateCode, dataLength (auto or 0..65535),
//                      headerByte6, headerByte7, headerByte8, headerWord9,
//                      latHemisphere, latDegrees, headerByte14, lonHemisphere,
//                      lonDegrees, gpsHeaderValue (a number, or "none" or
//                      "none,X" for 0xFE 0xFE 0xFE X), truncateToDataLength (0/1)
//   16 numbers         one record: adc16 adc0 adc1 adc2 adc3 adc4 freq rpm
//                      rc1 rc2 rc3 tempInt tempExt latMin lonMin gps3
// Numbers are decimal or hexadecimal with "0x". Values are the channel
// values; which of them are sent is decided by the record flags.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/sim/loggersim.h"
#include "tools/sim/simutil.h"

namespace loggersim {

namespace {

struct Noise {
  uint32_t state = 12345;
  int operator()(int amplitude)  // -amplitude..amplitude
  {
    state = state * 1103515245u + 12345u;
    int r = int((state >> 16) & 0x7FFF);
    return amplitude == 0 ? 0 : r % (2 * amplitude + 1) - amplitude;
  }
};

double Clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

SimFlight SampleFlight() {
  SimFlight f;
  f.recordFlags1 = 0xFF;
  f.recordFlags2 = 0x77;
  f.sampleRateCode = 49;
  f.headerByte0 = 0x00;
  f.headerByte6 = 14;
  f.headerByte7 = 6;
  f.headerByte8 = 24;
  f.headerWord9 = 1130;
  f.latHemisphere = 'N';
  f.latDegrees = 47;
  f.lonHemisphere = 'E';
  f.lonDegrees = 11;
  f.gpsHeaderValue = 113012;  // time of the fix, hhmmss

  Noise noise;
  double alt = 8200;  // height above the field in ADC counts, from 8200
  double lon = 800;   // thousandths of a minute east of 11 degrees; negative = west of it
  double lat = 31500;
  const double pi = 3.14159265358979;
  for (int t = 0; t < 1200; ++t) {
    bool motor = t >= 60 && t < 300;
    bool airborne = t >= 62 && t < 1112;
    double climb = 0;     // altitude counts per second
    double circling = 0;  // thermal circles: small altitude and position wobble
    if (t < 60)
      climb = 0;
    else if (t < 300)
      climb = 10;  // motor climb
    else if (t < 480)
      climb = -1.5;  // glide
    else if (t < 620)
      climb = 3.0, circling = 1;  // thermal 1
    else if (t < 800)
      climb = -2.0;  // glide
    else if (t < 900)
      climb = 3.5, circling = 1;  // thermal 2
    else if (t < 1100)
      climb = -12.5;  // final glide and approach
    else if (t < 1112)
      climb = (8200 - alt) / 4;  // flare and touch-down
    // The graph shows about 480 counts above the ground reference; the flight keeps
    // within that, so the whole of it is on the screen.
    if (t < 1100) climb *= 0.17;
    alt += climb;
    alt = Clamp(alt, 8190, 10990);

    // Track: westwards across the degree line while climbing and
    // thermalling, back east from the second glide on.
    if (airborne) {
      if (t < 600)
        lon -= 8.2;
      else
        lon += 8.8;
      lat += 1.5 * std::sin(t / 90.0);
    }
    if (t >= 1112) lon += (800 - lon) / 8;  // rolling out
    double wobble = circling * 120 * std::sin(2 * pi * t / 25.0);
    double lonNow = lon + wobble;
    double latNow = lat + circling * 80 * std::cos(2 * pi * t / 25.0);
    long lonMin = std::lround(lonNow) % 60000;
    if (lonMin < 0) lonMin += 60000;

    SimRecord r;
    // The 16-bit ADC reads the static pressure: it falls as the glider climbs, from
    // 10800 on the ground.
    r.adc16 = uint16_t(
        std::lround(10800 - (alt - 8200) + noise(3) + circling * 2 * std::sin(2 * pi * t / 25.0)));
    r.adc[0] = uint16_t(Clamp(820 - t / 60.0 - (motor ? 45 : 0) + noise(2), 0, 1023));  // battery
    r.adc[1] = uint16_t(Clamp(512 + climb * 12 + noise(4), 0, 1023));                   // vario
    r.adc[2] =
        uint16_t(Clamp((motor ? 610 : 4) + noise(motor ? 15 : 2), 0, 1023));  // motor current
    r.adc[3] =
        uint16_t(Clamp((airborne ? 300 + 40 * (climb < 0) : 260) + noise(5), 0, 1023));  // pitot
    r.adc4 = uint8_t(Clamp(128 + noise(6), 0, 255));
    r.freq = uint16_t(airborne ? 1180 + (climb < -5 ? 150 : 0) + noise(20) : 0);
    r.rpm = uint16_t(motor ? 5800 + noise(60) : 0);
    r.rc[0] = uint8_t(motor ? 200 : 100);                                    // throttle
    r.rc[1] = uint8_t(Clamp(150 + (circling ? 12 : 0) + noise(3), 0, 255));  // elevator
    r.rc[2] = uint8_t(t >= 1080 && t < 1140 ? 185 : 120);                    // flaps
    r.tempInt = uint8_t(Clamp(29 - (alt - 8200) / 300.0 + noise(1) * 0.4, 0, 255));
    r.tempExt = uint8_t(Clamp(21 - (alt - 8200) / 250.0, 0, 255));
    r.latMin = uint16_t(Clamp(std::lround(latNow), 0, 59999));
    r.lonMin = uint16_t(lonMin);
    r.gps3 = uint16_t(airborne ? 780 + noise(40) : 0);  // ground speed, 0.1 km/h
    f.records.push_back(r);
  }
  return f;
}

SimConfig ConfigForFlight(const SimFlight& f) {
  SimConfig c;
  c.recordFlags1 = f.recordFlags1;
  c.recordFlags2 = f.recordFlags2;
  c.sampleRateCode = f.sampleRateCode;
  c.dataCount = uint16_t(f.records.size() > 0xFFFF ? 0xFFFF : f.records.size());
  return c;
}

SimConfig ConfigForReplay(const std::vector<uint8_t>& dump, int eepromKByte) {
  SimConfig c;
  if (dump.size() > 4) {
    c.recordFlags1 = dump[2];
    c.recordFlags2 = dump[3];
    c.sampleRateCode = dump[4];
  }
  c.eepromSize = uint8_t(Clamp(eepromKByte / 32.0, 1, 255));
  return c;
}

SimFlight LoadFlight(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open flight file " + path);
  SimFlight f;
  std::string line;
  int lineNo = 0;
  auto fail = [&](const std::string& what) {
    throw std::runtime_error(path + ":" + std::to_string(lineNo) + ": " + what);
  };
  while (std::getline(in, line)) {
    ++lineNo;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq != std::string::npos) {
      std::string key = Trim(line.substr(0, eq));
      std::string value = Trim(line.substr(eq + 1));
      long v = 0;
      auto num = [&](long lo, long hi) {
        if (!ParseNumber(value, v) || v < lo || v > hi) fail("bad value for " + key + ": " + value);
        return v;
      };
      auto letter = [&]() {
        if (value.size() != 1) fail("one character expected for " + key);
        return value[0];
      };
      if (key == "headerByte0")
        f.headerByte0 = uint8_t(num(0, 255));
      else if (key == "recordFlags1")
        f.recordFlags1 = uint8_t(num(0, 255));
      else if (key == "recordFlags2")
        f.recordFlags2 = uint8_t(num(0, 255));
      else if (key == "sampleRateCode")
        f.sampleRateCode = uint8_t(num(0, 255));
      else if (key == "dataLength")
        f.dataLength = value == "auto" ? -1 : int(num(0, 65535));
      else if (key == "headerByte6")
        f.headerByte6 = uint8_t(num(0, 255));
      else if (key == "headerByte7")
        f.headerByte7 = uint8_t(num(0, 255));
      else if (key == "headerByte8")
        f.headerByte8 = uint8_t(num(0, 255));
      else if (key == "headerWord9")
        f.headerWord9 = uint16_t(num(0, 65535));
      else if (key == "latHemisphere")
        f.latHemisphere = letter();
      else if (key == "latDegrees")
        f.latDegrees = uint8_t(num(0, 99));
      else if (key == "headerByte14")
        f.headerByte14 = uint8_t(num(0, 255));
      else if (key == "lonHemisphere")
        f.lonHemisphere = letter();
      else if (key == "lonDegrees")
        f.lonDegrees = uint16_t(num(0, 999));
      else if (key == "truncateToDataLength")
        f.truncateToDataLength = num(0, 1) != 0;
      else if (key == "gpsHeaderValue") {
        if (value.rfind("none", 0) == 0) {
          f.gpsHeaderNone = true;
          f.gpsHeaderLast = 0;
          if (value.size() > 4) {
            if (value[4] != ',') fail("bad value for gpsHeaderValue: " + value);
            value = Trim(value.substr(5));
            f.gpsHeaderLast = uint8_t(num(0, 255));
          }
        } else {
          f.gpsHeaderNone = false;
          f.gpsHeaderValue = uint32_t(num(0, 0xFFFFFFFFL));
        }
      } else
        fail("unknown key " + key);
      continue;
    }
    std::istringstream fields(line);
    std::string tok;
    long v[16];
    int n = 0;
    while (fields >> tok) {
      if (n == 16 || !ParseNumber(tok, v[n]) || v[n] < 0 || v[n] > 65535)
        fail("a record is 16 numbers 0..65535");
      ++n;
    }
    if (n != 16) fail("a record is 16 numbers 0..65535");
    SimRecord r;
    r.adc16 = uint16_t(v[0]);
    for (int i = 0; i < 4; ++i) r.adc[i] = uint16_t(v[1 + i] & 0x3FF);
    r.adc4 = uint8_t(v[5]);
    r.freq = uint16_t(v[6]);
    r.rpm = uint16_t(v[7]);
    for (int i = 0; i < 3; ++i) r.rc[i] = uint8_t(v[8 + i]);
    r.tempInt = uint8_t(v[11]);
    r.tempExt = uint8_t(v[12]);
    r.latMin = uint16_t(v[13]);
    r.lonMin = uint16_t(v[14]);
    r.gps3 = uint16_t(v[15]);
    f.records.push_back(r);
  }
  return f;
}

void SaveFlight(const SimFlight& f, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  if (!out) throw std::runtime_error("cannot write flight file " + path);
  auto hex = [](unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "0x%02X", v);
    return std::string(b);
  };
  out << "# Flight of the simulated logger (tools/sim/flight.cpp describes the format).\n"
      << "# Header: key = value. Records: adc16 adc0 adc1 adc2 adc3 adc4 freq rpm\n"
      << "#   rc1 rc2 rc3 tempInt tempExt latMin lonMin gps3\n";
  out << "headerByte0 = " << hex(f.headerByte0) << "\n"
      << "recordFlags1 = " << hex(f.recordFlags1) << "\n"
      << "recordFlags2 = " << hex(f.recordFlags2) << "\n"
      << "sampleRateCode = " << int(f.sampleRateCode) << "\n"
      << "dataLength = " << (f.dataLength < 0 ? std::string("auto") : std::to_string(f.dataLength))
      << "\n"
      << "truncateToDataLength = " << (f.truncateToDataLength ? 1 : 0) << "\n"
      << "headerByte6 = " << int(f.headerByte6) << "\n"
      << "headerByte7 = " << int(f.headerByte7) << "\n"
      << "headerByte8 = " << int(f.headerByte8) << "\n"
      << "headerWord9 = " << f.headerWord9 << "\n"
      << "latHemisphere = " << f.latHemisphere << "\n"
      << "latDegrees = " << int(f.latDegrees) << "\n"
      << "headerByte14 = " << int(f.headerByte14) << "\n"
      << "lonHemisphere = " << f.lonHemisphere << "\n"
      << "lonDegrees = " << f.lonDegrees << "\n";
  if (f.gpsHeaderNone)
    out << "gpsHeaderValue = none," << int(f.gpsHeaderLast) << "\n";
  else
    out << "gpsHeaderValue = " << f.gpsHeaderValue << "\n";
  for (const SimRecord& r : f.records) {
    out << r.adc16 << ' ' << r.adc[0] << ' ' << r.adc[1] << ' ' << r.adc[2] << ' ' << r.adc[3]
        << ' ' << int(r.adc4) << ' ' << r.freq << ' ' << r.rpm << ' ' << int(r.rc[0]) << ' '
        << int(r.rc[1]) << ' ' << int(r.rc[2]) << ' ' << int(r.tempInt) << ' ' << int(r.tempExt)
        << ' ' << r.latMin << ' ' << r.lonMin << ' ' << r.gps3 << "\n";
  }
  if (!out) throw std::runtime_error("cannot write flight file " + path);
}

}  // namespace loggersim
