// Byte layouts of the logger's messages: the configuration announce, the
// download header and the packed records.
#include "tools/sim/loggersim.h"

namespace loggersim {

std::vector<uint8_t> SimConfig::Bytes() const {
  std::vector<uint8_t> b = {
      recordFlags1,
      recordFlags2,
      sampleRateCode,
      uint8_t(dataCount >> 8),
      uint8_t(dataCount & 0xFF),
      teleFlags1,
      teleFlags2,
      adc3Offset,
      serialSensor,
      uint8_t(flightNumber >> 8),
      uint8_t(flightNumber & 0xFF),
      eepromSize,
  };
  for (uint8_t x : extraBytes) b.push_back(x);
  if (countOverride >= 0) b.resize(size_t(countOverride), 0);
  return b;
}

std::vector<uint8_t> BuildAnnounce(const SimConfig& config, int syncCount) {
  std::vector<uint8_t> m(size_t(syncCount < 1 ? 1 : syncCount), 0x55);
  m.push_back(config.leadByte == 0x55 ? 0x00 : config.leadByte);
  std::vector<uint8_t> bytes = config.Bytes();
  m.push_back(uint8_t(bytes.size()));
  m.insert(m.end(), bytes.begin(), bytes.end());
  return m;
}

static void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v & 0xFF));
}

std::vector<uint8_t> PackRecord(const SimRecord& r, uint8_t f1, uint8_t f2, bool allHighBits) {
  std::vector<uint8_t> out;
  out.reserve(23);
  if (f1 & 0x01) Put16(out, r.adc16);
  if (f1 & 0x1E) {
    uint8_t high = 0;
    for (int ch = 0; ch < 4; ++ch) {
      bool recorded = f1 & (0x02 << ch);
      if (recorded || allHighBits) high |= uint8_t(((r.adc[ch] >> 8) & 0x03) << (2 * ch));
    }
    out.push_back(high);
  }
  for (int ch = 0; ch < 4; ++ch)
    if (f1 & (0x02 << ch)) out.push_back(uint8_t(r.adc[ch] & 0xFF));
  if (f1 & 0x20) out.push_back(r.adc4);
  if (f1 & 0x40) Put16(out, r.freq);
  if (f1 & 0x80) Put16(out, r.rpm);
  for (int ch = 0; ch < 3; ++ch)
    if (f2 & (0x01 << ch)) out.push_back(r.rc[ch]);
  if (f2 & 0x10) out.push_back(r.tempInt);
  if (f2 & 0x20) out.push_back(r.tempExt);
  if (f2 & 0x40) {
    Put16(out, r.latMin);
    Put16(out, r.lonMin);
    Put16(out, r.gps3);
  }
  return out;
}

int SimFlight::RecordSize() const {
  return int(PackRecord(SimRecord{}, recordFlags1, recordFlags2).size());
}

int SimFlight::RecordBytes() const { return RecordSize() * int(records.size()); }

uint16_t SimFlight::AnnouncedDataLength() const {
  if (dataLength >= 0) return uint16_t(dataLength);
  int n = RecordBytes();
  return uint16_t(n > 0xFFFF ? 0xFFFF : n);
}

std::vector<uint8_t> PackHeader(const SimFlight& f) {
  std::vector<uint8_t> h;
  h.push_back(f.headerByte0);
  h.push_back(f.recordFlags1);
  h.push_back(f.recordFlags2);
  h.push_back(f.sampleRateCode);
  Put16(h, f.AnnouncedDataLength());
  h.push_back(f.headerByte6);
  h.push_back(f.headerByte7);
  h.push_back(f.headerByte8);
  Put16(h, f.headerWord9);
  h.push_back(uint8_t(f.latHemisphere));
  h.push_back(uint8_t((f.latDegrees / 10) % 10));
  h.push_back(uint8_t(f.latDegrees % 10));
  h.push_back(f.headerByte14);
  h.push_back(uint8_t(f.lonHemisphere));
  h.push_back(uint8_t((f.lonDegrees / 100) % 10));
  h.push_back(uint8_t((f.lonDegrees / 10) % 10));
  h.push_back(uint8_t(f.lonDegrees % 10));
  if (f.gpsHeaderNone) {
    h.push_back(0xFE);
    h.push_back(0xFE);
    h.push_back(0xFE);
    h.push_back(f.gpsHeaderLast);
  } else {
    h.push_back(uint8_t(f.gpsHeaderValue >> 24));
    h.push_back(uint8_t(f.gpsHeaderValue >> 16));
    h.push_back(uint8_t(f.gpsHeaderValue >> 8));
    h.push_back(uint8_t(f.gpsHeaderValue));
  }
  return h;
}

std::vector<uint8_t> BuildDownload(const SimFlight& f, int syncCount, bool allHighBits) {
  std::vector<uint8_t> out(size_t(syncCount < 0 ? 0 : syncCount), 0x55);
  out.push_back(0x01);
  std::vector<uint8_t> h = PackHeader(f);
  out.insert(out.end(), h.begin(), h.end());
  size_t recordStart = out.size();
  for (const SimRecord& r : f.records) {
    std::vector<uint8_t> b = PackRecord(r, f.recordFlags1, f.recordFlags2, allHighBits);
    out.insert(out.end(), b.begin(), b.end());
  }
  if (f.truncateToDataLength && f.dataLength >= 0 &&
      out.size() - recordStart > size_t(f.dataLength))
    out.resize(recordStart + size_t(f.dataLength));
  return out;
}

}  // namespace loggersim
