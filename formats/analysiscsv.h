// "Auswertung als CSV…": the records between the cursors with their physical and derived
// values, for a German spreadsheet — a header line of names and units, a time column in
// seconds from the first record, values separated by semicolons with a decimal comma,
// CR LF line ends, UTF-8 with a byte-order mark. The raw CSV export is another file.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/calibration.h"
#include "model/flight.h"

namespace analysis {

// Records a to b (any order, clamped); a value a record lacks is an empty cell.
std::string AnalysisCsvText(const Flight& f, const FlightOptions& o, int32_t a, int32_t b);
void WriteAnalysisCsvFile(const std::string& path, const Flight& f, const FlightOptions& o,
                          int32_t a, int32_t b);

}  // namespace analysis
