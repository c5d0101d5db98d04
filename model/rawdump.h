// The raw dump of one download: the bytes the download consumed, exactly as they came
// (the start marker, the 23 header bytes and every record byte read, up to the last one
// read), with the EEPROM size that bounded the records. Whatever keeps or replays a
// download keeps this: decoding it again gives the same table as the download did.
#pragma once

#include <cstdint>
#include <vector>

struct FlightData;

struct RawDump {
  std::vector<uint8_t> bytes;
  int32_t eepromKByte = 32;
  bool operator==(const RawDump&) const = default;
};

// Decodes the dump into fd with the download's own decoder: the header summary, the
// records, LastSampleIndex, the export range over all records and the degree offsets.
// The end of the bytes counts as the silent line. False when the dump does not begin with
// the start marker and a whole header (fd is left as it was then).
bool DecodeRawDump(const RawDump& dump, FlightData& fd);
