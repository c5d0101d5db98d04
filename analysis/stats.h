// Measuring between the two cursors A and B: a channel's value at each, the difference,
// and minimum, maximum and mean over the records from A to B, both included.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/flight.h"

namespace analysis {

struct CursorStats {
  double atA = 0, atB = 0;
  double difference = 0;  // value at B minus value at A
  double min = 0, max = 0, mean = 0;
  int32_t counted = 0;  // the records with a value between A and B
};

// a and b are record indexes in any order; they are clamped to the flight. Records
// without a value (coordinates without a fix) are left out; what has no value is NaN.
CursorStats StatsBetween(const Flight& f, Column c, int32_t a, int32_t b);
// The same for any channel's values, one per record.
CursorStats StatsOf(const std::vector<double>& values, int32_t a, int32_t b);

// The time from record a to record b, always positive: |b − a| × sample interval, the
// same measure as Flight::Duration over the whole flight.
double SecondsBetween(int32_t a, int32_t b, double sampleInterval);

// A duration as hours, minutes and seconds: "1 h 2 min 3 s", "2 min 3,5 s", "0,06 s"
// (hours and minutes only when there are some, hundredths only when not zero).
std::string FormatHms(double seconds);

// A number with a decimal comma and the given number of decimals; "–" for NaN.
std::string GermanNumber(double v, int decimals);

}  // namespace analysis
