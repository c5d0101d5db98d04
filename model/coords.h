// Coordinates as a CSV coordinate column holds them: one signed integer v made of the
// degrees and the minutes in thousandths, v = ±(degrees × 100000 + minutes × 1000).
#pragma once

#include <cstdint>
#include <string>

namespace analysis {

// sign(v) × (|v| div 100000 + (|v| mod 100000) / 60000).
double DecimalDegrees(int64_t v);
// The minutes part in thousandths of a minute, |v| mod 100000.
int64_t MinutesPart(int64_t v);
// A record has a GPS fix unless both minute values are 0.
inline bool HasFix(int64_t lat, int64_t lon) {
  return MinutesPart(lat) != 0 || MinutesPart(lon) != 0;
}

// A projection with equal scale in both directions at a reference latitude: x east and
// y north in metres from the reference point.
struct LocalProjection {
  double lat0 = 0, lon0 = 0;
  double ToX(double lon) const;
  double ToY(double lat) const;
};

// The length of a scale bar no longer than maxMetres: 1, 2 or 5 times a power of ten.
double ScaleBarMetres(double maxMetres);
// "500 m", "2 km", "1,5 km" (below 1 km in metres, from 1 km on in kilometres).
std::string ScaleBarLabel(double metres);

// Decimal degrees with a point and the given number of decimals, for files.
std::string FixedPoint(double v, int decimals);

}  // namespace analysis
