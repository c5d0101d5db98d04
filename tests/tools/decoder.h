// A small decoder of the logger's download stream, written from the record
// table independently of the simulator's packer.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tools/sim/loggersim.h"

struct DecodedDownload {
  uint8_t flags1 = 0, flags2 = 0, rate = 0;
  int dataLength = 0;
  uint8_t b6 = 0, b7 = 0, b8 = 0;
  int word9 = 0;
  char latHem = 0, lonHem = 0;
  int latDeg = 0, lonDeg = 0;
  uint32_t gps = 0;
  size_t syncBytes = 0;
  std::vector<loggersim::SimRecord> records;
  size_t leftover = 0;  // bytes of an incomplete last record
};

inline std::optional<DecodedDownload> DecodeDownload(const std::vector<uint8_t>& s,
                                                     int maxRecordBytes = -1) {
  DecodedDownload d;
  size_t i = 0;
  while (i < s.size() && s[i] == 0x55) ++i;
  d.syncBytes = i;
  if (i >= s.size() || s[i] != 0x01 || s.size() < i + 24) return std::nullopt;
  const uint8_t* h = &s[i + 1];
  d.flags1 = h[1];
  d.flags2 = h[2];
  d.rate = h[3];
  d.dataLength = h[4] * 256 + h[5];
  d.b6 = h[6];
  d.b7 = h[7];
  d.b8 = h[8];
  d.word9 = h[9] * 256 + h[10];
  d.latHem = char(h[11]);
  d.latDeg = h[12] * 10 + h[13];
  d.lonHem = char(h[15]);
  d.lonDeg = h[16] * 100 + h[17] * 10 + h[18];
  if (h[19] == 0xFE && h[20] == 0xFE && h[21] == 0xFE)
    d.gps = 0;
  else
    d.gps = uint32_t(h[19]) << 24 | uint32_t(h[20]) << 16 | uint32_t(h[21]) << 8 | h[22];
  size_t p = i + 24;
  size_t end = s.size();
  if (maxRecordBytes >= 0 && p + size_t(maxRecordBytes) < end) end = p + size_t(maxRecordBytes);
  for (;;) {
    size_t start = p;
    bool ok = true;
    auto get = [&]() -> int {
      if (p >= end) {
        ok = false;
        return 0;
      }
      return s[p++];
    };
    auto get16 = [&]() {
      int hi = get();
      return hi * 256 + get();
    };
    loggersim::SimRecord r;
    if (d.flags1 & 1) r.adc16 = uint16_t(get16());
    int high = (d.flags1 & 0x1E) ? get() : 0;
    if (d.flags1 & 0x02) r.adc[0] = uint16_t((high & 0x03) * 256 + get());
    if (d.flags1 & 0x04) r.adc[1] = uint16_t((high & 0x0C) * 64 + get());
    if (d.flags1 & 0x08) r.adc[2] = uint16_t((high & 0x30) * 16 + get());
    if (d.flags1 & 0x10) r.adc[3] = uint16_t((high & 0xC0) * 4 + get());
    if (d.flags1 & 0x20) r.adc4 = uint8_t(get());
    if (d.flags1 & 0x40) r.freq = uint16_t(get16());
    if (d.flags1 & 0x80) r.rpm = uint16_t(get16());
    if (d.flags2 & 0x01) r.rc[0] = uint8_t(get());
    if (d.flags2 & 0x02) r.rc[1] = uint8_t(get());
    if (d.flags2 & 0x04) r.rc[2] = uint8_t(get());
    if (d.flags2 & 0x10) r.tempInt = uint8_t(get());
    if (d.flags2 & 0x20) r.tempExt = uint8_t(get());
    if (d.flags2 & 0x40) {
      r.latMin = uint16_t(get16());
      r.lonMin = uint16_t(get16());
      r.gps3 = uint16_t(get16());
    }
    if (!ok) {
      d.leftover = end - start;
      break;
    }
    if (p == start)  // records without bytes
      break;
    d.records.push_back(r);
  }
  return d;
}

// The record as the logger can send it: only the recorded channels.
inline loggersim::SimRecord Masked(loggersim::SimRecord r, uint8_t f1, uint8_t f2) {
  loggersim::SimRecord m;
  if (f1 & 0x01) m.adc16 = r.adc16;
  for (int i = 0; i < 4; ++i)
    if (f1 & (0x02 << i)) m.adc[i] = r.adc[i];
  if (f1 & 0x20) m.adc4 = r.adc4;
  if (f1 & 0x40) m.freq = r.freq;
  if (f1 & 0x80) m.rpm = r.rpm;
  for (int i = 0; i < 3; ++i)
    if (f2 & (0x01 << i)) m.rc[i] = r.rc[i];
  if (f2 & 0x10) m.tempInt = r.tempInt;
  if (f2 & 0x20) m.tempExt = r.tempExt;
  if (f2 & 0x40) {
    m.latMin = r.latMin;
    m.lonMin = r.lonMin;
    m.gps3 = r.gps3;
  }
  return m;
}
