// The GPS track between the cursors as GPX 1.1 (one track, a segment per run of fixes, a
// point per record) and KML 2.2 (a line per run of fixes, start and end as placemarks).
// Records without a fix (both minute values 0) are left out. Written like the CSV:
// complete or not at all, with the German file errors.
//
// The flight's options add what the logger cannot know: with an altitude above sea level
// (calibrated against QNH or a field elevation, not "über Start") every GPX point gets its
// <ele> and the KML line is drawn at its altitude (absolute, extruded to the ground),
// otherwise it lies on the ground (clampToGround); with a take-off time every GPX point
// gets its <time>, start + index × sample interval. Without options (the command-line
// tool's default) the files carry positions only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/calibration.h"
#include "model/flight.h"

namespace analysis {

struct TrackPoint {
  int32_t index;
  double lat, lon;  // decimal degrees
};

// The records from a to b (any order, clamped to the flight) that have a fix.
std::vector<TrackPoint> TrackPoints(const Flight& f, int32_t a, int32_t b);

// name: the track's name in the file (escaped here).
std::string GpxText(const Flight& f, int32_t a, int32_t b, const std::string& name,
                    const FlightOptions& options = {});
std::string KmlText(const Flight& f, int32_t a, int32_t b, const std::string& name,
                    const FlightOptions& options = {});

void WriteGpxFile(const std::string& path, const Flight& f, int32_t a, int32_t b,
                  const std::string& name, const FlightOptions& options = {});
void WriteKmlFile(const std::string& path, const Flight& f, int32_t a, int32_t b,
                  const std::string& name, const FlightOptions& options = {});

// A UTC time as ISO 8601 with hundredths when there are some: "2024-05-01T09:30:00.04Z".
std::string IsoTime(int64_t seconds, int centiseconds);

// Text with &, <, >, " and ' as XML entities.
std::string XmlEscape(const std::string& text);

}  // namespace analysis
