// The logger's byte stream of one download: the 23-byte header after the start marker
// and the records that follow, each packed field by field in record byte order, a field
// present only when its channel flag is set. Both decoders take one byte at a time, so
// the download loop and a fuzz target drive them the same way.
//
// Record bytes and the flag that brings them:
//   0-1   RecordFlags1 bit 0  16-bit ADC, high byte first
//   2     RecordFlags1 bits 1-4  high bits of ADC 0..3 (masked to the recorded ones)
//   3..6  RecordFlags1 bits 1..4  low bytes of ADC 0..3
//   7     RecordFlags1 bit 5  ADC 4
//   8-9   RecordFlags1 bit 6  frequency
//   10-11 RecordFlags1 bit 7  rpm
//   12-14 RecordFlags2 bits 0-2  RC 1..3
//   15    RecordFlags2 bit 4  internal temperature
//   16    RecordFlags2 bit 5  external temperature
//   17-22 RecordFlags2 bit 6  GPS latitude minutes, longitude minutes, third GPS word
//   23-24 never on the line: degree offsets written after the download
// RecordFlags2 bit 3 ("frei") and bit 7 (telemetry) bring no bytes.
#pragma once

#include <cstdint>

#include "model/sampletable.h"

constexpr uint8_t StartMarker = 0x01;
constexpr uint8_t DownloadRequest = 0x53;
constexpr int kDownloadHeaderSize = 23;
constexpr int kMaxRecordLength = 23;

// True when record byte `index` (0..24) is sent for these flags.
bool RecordBytePresent(int index, uint8_t flags1, uint8_t flags2);
// Bytes per record on the line (0..23).
int RecordLength(uint8_t flags1, uint8_t flags2);
// The bits of byte 2 that belong to recorded ADCs: 0x03 ADC 0, 0x0C ADC 1, 0x30 ADC 2,
// 0xC0 ADC 3 (RecordFlags1 bits 1..4).
uint8_t Byte2Mask(uint8_t flags1);

// The record bytes present for a pair of flags, in line order.
struct RecordLayout {
  uint8_t flags1 = 0;
  uint8_t flags2 = 0;
  uint8_t byte2Mask = 0;
  int length = 0;
  uint8_t bytes[kMaxRecordLength] = {};
  RecordLayout() = default;
  RecordLayout(uint8_t f1, uint8_t f2);
};

// Fills one record from the line, byte by byte.
class RecordDecoder {
 public:
  explicit RecordDecoder(const RecordLayout& layout) : layout_(layout) {}
  // Zeroes the record and starts at its first field.
  void Begin(SampleRecord& record);
  // Stores the next field byte; true when the record has all its bytes.
  bool Feed(uint8_t byte);
  bool Complete() const { return pos_ >= layout_.length; }
  int BytesRead() const { return pos_; }
  const RecordLayout& Layout() const { return layout_; }

 private:
  RecordLayout layout_;
  SampleRecord* record_ = nullptr;
  int pos_ = 0;
};

struct DownloadHeader {
  uint8_t RecordFlags1 = 0;
  uint8_t RecordFlags2 = 0;
  uint8_t SampleRateCode = 0;
  uint16_t DataLength = 0;
  uint8_t HeaderByte6 = 0;
  uint8_t HeaderByte7 = 0;
  uint8_t HeaderByte8 = 0;
  int32_t HeaderWord9 = 0;
  char LatHemisphere = 0;
  uint32_t LatDegrees = 0;
  char LonHemisphere = 0;
  uint32_t LonDegrees = 0;
  uint32_t GpsHeaderValue = 0;

  // The record byte budget: DataLength, or the whole EEPROM when it is 0.
  int32_t ByteBudget(int eepromKByte) const {
    return DataLength != 0 ? DataLength : eepromKByte * 1024;
  }
  // Copies the values that outlive the download into the summary.
  void StoreSummary(FlightData& fd) const;
};

// Takes the header bytes after the start marker, positions 0..22.
class HeaderDecoder {
 public:
  void Feed(uint8_t byte);
  int Position() const { return pos_; }  // bytes taken so far
  bool Complete() const { return pos_ >= kDownloadHeaderSize; }
  const DownloadHeader& Header() const { return h_; }

 private:
  DownloadHeader h_;
  int pos_ = 0;
  bool noGps_ = false;
};

DownloadHeader ParseDownloadHeader(const uint8_t (&bytes)[kDownloadHeaderSize]);
