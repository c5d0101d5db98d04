#include "model/recorddecoder.h"

#include <cstring>

namespace {
// Which flag bit brings record byte i: {flag byte (1 or 2), bit}; byte 2 is special.
struct FieldFlag {
  uint8_t which;
  uint8_t bit;
};
// clang-format off
constexpr FieldFlag kFieldFlags[kMaxRecordLength] = {
    {1, 0}, {1, 0},          // 16-bit ADC
    {0, 0},                  // ADC high bits: any of RecordFlags1 bits 1..4
    {1, 1}, {1, 2}, {1, 3}, {1, 4},  // ADC 0..3 low bytes
    {1, 5},                  // ADC 4
    {1, 6}, {1, 6},          // frequency
    {1, 7}, {1, 7},          // rpm
    {2, 0}, {2, 1}, {2, 2},  // RC 1..3
    {2, 4}, {2, 5},          // temperatures
    {2, 6}, {2, 6}, {2, 6}, {2, 6}, {2, 6}, {2, 6},  // GPS
};
// clang-format on
}  // namespace

bool RecordBytePresent(int index, uint8_t flags1, uint8_t flags2) {
  if (index < 0 || index >= kMaxRecordLength) return false;
  const FieldFlag f = kFieldFlags[index];
  if (f.which == 0) return (flags1 & 0x1E) != 0;
  const uint8_t flags = f.which == 1 ? flags1 : flags2;
  return (flags >> f.bit) & 1u;
}

int RecordLength(uint8_t flags1, uint8_t flags2) {
  int n = 0;
  for (int i = 0; i < kMaxRecordLength; ++i) n += RecordBytePresent(i, flags1, flags2);
  return n;
}

uint8_t Byte2Mask(uint8_t flags1) {
  uint8_t m = 0;
  if (flags1 & 0x02) m |= 0x03;
  if (flags1 & 0x04) m |= 0x0C;
  if (flags1 & 0x08) m |= 0x30;
  if (flags1 & 0x10) m |= 0xC0;
  return m;
}

RecordLayout::RecordLayout(uint8_t f1, uint8_t f2)
    : flags1(f1), flags2(f2), byte2Mask(Byte2Mask(f1)) {
  for (int i = 0; i < kMaxRecordLength; ++i)
    if (RecordBytePresent(i, f1, f2)) bytes[length++] = static_cast<uint8_t>(i);
}

void RecordDecoder::Begin(SampleRecord& record) {
  std::memset(&record, 0, sizeof record);
  record_ = &record;
  pos_ = 0;
}

bool RecordDecoder::Feed(uint8_t byte) {
  if (record_ == nullptr || Complete()) return true;
  const int index = layout_.bytes[pos_++];
  record_->b[index] = index == 2 ? static_cast<uint8_t>(byte & layout_.byte2Mask) : byte;
  return Complete();
}

void HeaderDecoder::Feed(uint8_t b) {
  if (Complete()) return;
  switch (pos_) {
    case 0: break;  // not used
    case 1: h_.RecordFlags1 = b; break;
    case 2: h_.RecordFlags2 = b; break;
    case 3: h_.SampleRateCode = b; break;
    case 4: h_.DataLength = static_cast<uint16_t>(b << 8); break;
    case 5: h_.DataLength = static_cast<uint16_t>(h_.DataLength | b); break;
    case 6: h_.HeaderByte6 = b; break;
    case 7: h_.HeaderByte7 = b; break;
    case 8: h_.HeaderByte8 = b; break;
    case 9: h_.HeaderWord9 = b * 256; break;
    case 10: h_.HeaderWord9 += b; break;
    case 11: h_.LatHemisphere = static_cast<char>(b); break;
    case 12: h_.LatDegrees = b * 10u; break;
    case 13: h_.LatDegrees += b; break;
    case 14: break;  // not used
    case 15: h_.LonHemisphere = static_cast<char>(b); break;
    case 16: h_.LonDegrees = b * 100u; break;
    case 17: h_.LonDegrees += b * 10u; break;
    case 18: h_.LonDegrees += b; break;
    case 19:
    case 20: h_.GpsHeaderValue = h_.GpsHeaderValue * 256u + b; break;
    case 21:
      h_.GpsHeaderValue = h_.GpsHeaderValue * 256u + b;
      // Three bytes 0xFE: the logger has no GPS value; the fourth byte is read only.
      if (h_.GpsHeaderValue == 0xFEFEFEu) h_.GpsHeaderValue = 0, noGps_ = true;
      break;
    case 22:
      if (!noGps_) h_.GpsHeaderValue = h_.GpsHeaderValue * 256u + b;
      break;
  }
  ++pos_;
}

void DownloadHeader::StoreSummary(FlightData& fd) const {
  fd.RecordFlags1 = RecordFlags1;
  fd.RecordFlags2 = RecordFlags2;
  fd.SampleRateCode = SampleRateCode;
  fd.HeaderByte6 = HeaderByte6;
  fd.HeaderByte7 = HeaderByte7;
  fd.HeaderByte8 = HeaderByte8;
  fd.HeaderWord9 = HeaderWord9;
  fd.LatHemisphere = LatHemisphere;
  fd.LatDegrees = LatDegrees;
  fd.LonHemisphere = LonHemisphere;
  fd.LonDegrees = LonDegrees;
  fd.GpsHeaderValue = GpsHeaderValue;
}

DownloadHeader ParseDownloadHeader(const uint8_t (&bytes)[kDownloadHeaderSize]) {
  HeaderDecoder d;
  for (uint8_t b : bytes) d.Feed(b);
  return d.Header();
}
