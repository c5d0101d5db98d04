// Channels computed from others: the climb rate from the altitude, and from the GPS fixes
// the ground speed, the distance from the start and the track length so far.
#pragma once

#include <vector>

#include "model/flight.h"

namespace analysis {

// The climb rate in m/s at every record: the least-squares slope of the altitude over a
// window centred on the record (so the curve does not lag), of windowS seconds but never
// fewer than 3 records; towards the ends the window shrinks to the records there are.
// Sliding sums make it one pass, whatever the window.
std::vector<double> ClimbRate(const std::vector<double>& altitudeM, double intervalS,
                              double windowS);

// Great-circle distance in metres between two positions in decimal degrees.
double GreatCircleMetres(double lat1, double lon1, double lat2, double lon2);

struct GpsChannels {
  std::vector<double> speedKmh;    // ground speed
  std::vector<double> distanceKm;  // from the first fix, straight
  std::vector<double> trackKm;     // along the fixes so far
};
// For every record; NaN where a record has no fix. Positions come in thousandths of a
// minute (about 1,85 m) about once a second, so the speed is taken between records whose
// position changed, over the time between them, and holds for the records from one change
// to the next; after the last change it is 0. A gap in the fixes is bridged by a straight
// line in the track length.
GpsChannels GpsDerived(const Flight& f);

}  // namespace analysis
