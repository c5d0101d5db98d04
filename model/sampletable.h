// The table of decoded sample records, its three indexes and the summary of the last
// download's header. One instance lives for the whole run; it is one static block of
// 65536 fixed-size records, so nothing is allocated while a download fills it.
#pragma once

#include <cstdint>

// One measurement instant, bytes 0..24 (layout in recorddecoder.h).
struct SampleRecord {
  uint8_t b[25];
};
static_assert(sizeof(SampleRecord) == 25, "a sample record is 25 bytes");

constexpr int32_t kSampleTableSize = 65536;
// Opening the port for a configuration read zeroes this many records.
constexpr int32_t kZeroedOnConfigRead = 16384;

// Byte offsets of the GPS fields and the degree offsets.
constexpr int kLatMinutesHigh = 17;
constexpr int kLonMinutesHigh = 19;
constexpr int kLatDegreeOffset = 23;
constexpr int kLonDegreeOffset = 24;

inline uint32_t Word(const SampleRecord& r, int high) {
  return static_cast<uint32_t>(r.b[high]) * 256u + r.b[high + 1];
}

struct FlightData {
  SampleRecord SampleTable[kSampleTableSize] = {};

  // Index (not count) of the last valid record; -1 when a download got no record at all.
  int32_t LastSampleIndex = 0;
  int32_t ExportFirstIndex = 0;
  int32_t ExportLastIndex = 0;

  // Download summary: header values of the last download, kept until the next one.
  uint8_t RecordFlags1 = 0;
  uint8_t RecordFlags2 = 0;
  uint8_t SampleRateCode = 0;
  uint8_t HeaderByte6 = 0;
  uint8_t HeaderByte7 = 0;
  uint8_t HeaderByte8 = 0;
  int32_t HeaderWord9 = 0;
  char LatHemisphere = 0;
  char LonHemisphere = 0;
  uint32_t LatDegrees = 0;
  uint32_t LonDegrees = 0;
  uint32_t GpsHeaderValue = 0;

  // Seconds between two records.
  double SampleInterval() const { return SampleRateCode * 0.02 + 0.02; }

  // Records 0..16383 to zero (the configuration read's part; the rest keeps its bytes).
  void ZeroFirstRecords();
  // The window reset: indexes only, never the records or the summary.
  void ResetIndexes() { LastSampleIndex = ExportFirstIndex = ExportLastIndex = 0; }

  // Gives every record 0..LastSampleIndex its own degree offsets (bytes 23 and 24):
  // 100 plus the net number of whole-degree wraps of the minute values up to that
  // record. The counters stop at 0 and 255 instead of wrapping, so a byte always
  // holds the nearest value it can.
  void GradFilter();
};
