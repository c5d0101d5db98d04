// The CSV file for a spreadsheet: two header lines with the last download's header
// values, then one line of 16 raw values per record of the export range. Every value is
// followed by ";", every line ends with CR LF, nothing depends on the locale.
#pragma once

#include <string>

#include "model/sampletable.h"

// Appends lines 1 and 2.
void AppendCsvHeader(std::string& out, const FlightData& fd);
// Appends the line of record i.
void AppendCsvRecord(std::string& out, const FlightData& fd, int32_t i);
// One coordinate column without its ";": sign, degrees, minutes in 5 digits.
void AppendCoordinate(std::string& out, bool southOrWest, int64_t degrees, uint32_t minutes);
// The whole file.
std::string CsvText(const FlightData& fd);

// Writes the file under exactly this name. The text goes to a temporary file in the same
// folder, which replaces the target only when all of it is written and on the disk; on
// failure the temporary file is removed, the old file stays as it was, and EInOutError
// (formats/fileerror.h) tells why.
void WriteCsvFile(const std::string& path, const FlightData& fd);
