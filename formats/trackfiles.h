// The GPS track between the cursors as GPX 1.1 (one track, one segment, a point per
// record) and KML 2.2 (the records as one line, start and end as placemarks). Records
// without a fix (both minute values 0) are left out. Written like the CSV: complete or
// not at all, with the German file errors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/flight.h"

namespace analysis {

struct TrackPoint {
  int32_t index;
  double lat, lon;  // decimal degrees
};

// The records from a to b (any order, clamped to the flight) that have a fix.
std::vector<TrackPoint> TrackPoints(const Flight& f, int32_t a, int32_t b);

// name: the track's name in the file (escaped here).
std::string GpxText(const Flight& f, int32_t a, int32_t b, const std::string& name);
std::string KmlText(const Flight& f, int32_t a, int32_t b, const std::string& name);

void WriteGpxFile(const std::string& path, const Flight& f, int32_t a, int32_t b,
                  const std::string& name);
void WriteKmlFile(const std::string& path, const Flight& f, int32_t a, int32_t b,
                  const std::string& name);

// Text with &, <, >, " and ' as XML entities.
std::string XmlEscape(const std::string& text);

}  // namespace analysis
