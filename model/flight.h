// The flight in hand: the analysis's own copy of one flight, either taken from the sample
// table at the end of a download or read from a CSV file this program saved. Nothing
// here refers back to the table, so a reset, a configuration read (which zeroes records)
// or the next download leave the copy as it is.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/sampletable.h"

namespace analysis {

// The sixteen columns of a record line, in the order the CSV writes them.
enum Column : int {
  kAdc16 = 0,
  kAdc0,
  kAdc1,
  kAdc2,
  kAdc3,
  kAdc4,
  kFrequency,
  kRpm,
  kRc1,
  kRc2,
  kRc3,
  kTempInt,
  kTempExt,
  kLatitude,
  kLongitude,
  kGps3,
  kColumnCount
};

// What one lane of the diagram shows. The coordinate lanes show decimal degrees, the
// others the column's value as the CSV writes it.
struct LaneInfo {
  Column column;
  const char* name;  // as the recording check boxes name the channel
};
// Every lane in drawing order: "16-Bit-ADC" … "Temp. ext.", "Breite", "Länge", "GPS 3".
const std::array<LaneInfo, kColumnCount>& AllLanes();

// Logbook: a flight kept in the logbook; its fileName then describes which one.
enum class FlightSource { None, Download, File, Logbook };

struct Flight {
  FlightSource source = FlightSource::None;
  std::string fileName;  // for a flight read from a file: the path's last part; or the
                         // logbook's description
  std::string filePath;  // for a flight read from a file: the path as it was opened

  // The header values as the CSV's lines 1 and 2 hold them.
  int recordFlags1 = 0;
  int recordFlags2 = 0;
  int sampleRateCode = 0;
  int64_t downloadCount = 0;  // LastSampleIndex + 1 of the download
  int headerByte6 = 0, headerByte7 = 0, headerByte8 = 0;
  int64_t headerWord9 = 0;
  int64_t latDegrees = 0;  // negative in the south
  int64_t lonDegrees = 0;  // negative in the west
  int64_t gpsHeaderValue = 0;
  // The logger's serial number from the configuration read before the download; 0 for a
  // flight from a file (the CSV holds none) or an unconfigured logger.
  int serialNumber = 0;

  // columns[c][i]: column c of record i, as the CSV writes it.
  std::array<std::vector<int64_t>, kColumnCount> columns;
  // The range the main window's markers chose (download), or the whole flight (file).
  int32_t rangeFirst = 0;
  int32_t rangeLast = 0;

  int32_t Count() const { return static_cast<int32_t>(columns[0].size()); }
  bool Empty() const { return columns[0].empty(); }
  double SampleInterval() const { return sampleRateCode * 0.02 + 0.02; }
  bool HasChannel(Column c) const;
  bool HasGps() const { return (recordFlags2 & 0x40) != 0; }
  // The lanes of the recorded channels, in drawing order.
  std::vector<LaneInfo> RecordedLanes() const;
  // The value a lane shows for record i: decimal degrees for the coordinates, and not a
  // number (NaN) for a coordinate of a record without a GPS fix, which has no position.
  double LaneValue(Column c, int32_t i) const;
  // Record i has a GPS fix (see HasFix in model/coords.h).
  bool FixAt(int32_t i) const;
  // The flight's duration: the time from the first to the last record.
  double Duration() const { return Count() > 1 ? (Count() - 1) * SampleInterval() : 0; }
  // The altitude channel as the graph takes it: the 16-bit ADC, else ADC 0; -1 for none.
  int AltitudeColumn() const;
};

// The copy at the end of a download: records 0 to LastSampleIndex with the values the CSV
// export writes for them, the header summary and the export range.
Flight FlightFromDownload(const FlightData& fd, int serialNumber = 0);

}  // namespace analysis
