// The channels the analysis shows: every recorded channel in its profile's unit (or raw),
// the altitude in metres when the profile gives it, and the derived channels — climb
// rate from the altitude, ground speed, distance from the start and track length from
// the GPS fixes. The lanes, the cursor table and the analysis CSV all read these.
#pragma once

#include <string>
#include <vector>

#include "analysis/calibration.h"
#include "model/flight.h"

namespace analysis {

// Recorded channels keep their column number; the derived ones follow.
using ChannelId = int;
constexpr ChannelId kClimbRate = kColumnCount;
constexpr ChannelId kGroundSpeed = kColumnCount + 1;
constexpr ChannelId kDistance = kColumnCount + 2;
constexpr ChannelId kTrackLength = kColumnCount + 3;
constexpr ChannelId kChannelIdCount = kColumnCount + 4;

struct AnalysisChannel {
  ChannelId id = 0;
  std::string name;  // "16-Bit-ADC", "Höhe", "Steigen", …
  std::string unit;  // "roh", "hPa", "m", "m/s", "km/h", "km", "°"
  int decimals = 0;
  double resolution = 1;       // the smallest step the values take, for the value axis
  bool inverted = false;       // drawn upside down (the raw altitude reading, as the graph does)
  std::vector<double> values;  // one per record; NaN where a record has none
};

// In drawing order: the recorded channels, then "Steigen", "Geschwindigkeit",
// "Entfernung", "Strecke" (each when its source is there).
std::vector<AnalysisChannel> AnalysisChannels(const Flight& f, const FlightOptions& o);

// The channel with this id, or nullptr.
const AnalysisChannel* FindChannel(const std::vector<AnalysisChannel>& channels, ChannelId id);

// A value as the table and the files give it: German digits with the channel's decimals,
// "–" where there is none.
std::string FormatValue(const AnalysisChannel& c, double v, int extraDecimals = 0);

}  // namespace analysis
