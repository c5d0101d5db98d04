#include "analysis/channels.h"

#include <cmath>

#include "analysis/derived.h"
#include "analysis/stats.h"

namespace analysis {

namespace {

AnalysisChannel Recorded(const Flight& f, const FlightOptions& o, Column c,
                         const std::vector<double>& altitude) {
  AnalysisChannel ch;
  ch.id = c;
  const ChannelSetting& s = o.profile.channels[c];
  ch.name = s.name.empty() ? AllLanes()[c].name : s.name;
  ch.values.resize(static_cast<size_t>(f.Count()));
  if (c == kAdc16 && !altitude.empty()) {
    if (s.name.empty()) ch.name = "Höhe";
    ch.unit = "m";
    ch.decimals = 1;
    ch.resolution = 0.1;
    ch.values = altitude;
    return ch;
  }
  if (c == kLatitude || c == kLongitude) {
    ch.unit = "°";
    ch.decimals = 6;
    ch.resolution = 1.0 / 60000;
    for (int32_t i = 0; i < f.Count(); ++i) ch.values[static_cast<size_t>(i)] = f.LaneValue(c, i);
    return ch;
  }
  const std::vector<int64_t>& raw = f.columns[c];
  if (s.calibrated) {
    ch.unit = s.unit;
    ch.decimals = s.decimals;
    ch.resolution = std::fabs(s.linear.factor);
    for (size_t i = 0; i < raw.size(); ++i)
      ch.values[i] = s.linear.Apply(static_cast<double>(raw[i]));
    return ch;
  }
  ch.unit = "roh";
  ch.inverted = c == kAdc16;
  for (size_t i = 0; i < raw.size(); ++i) ch.values[i] = static_cast<double>(raw[i]);
  return ch;
}

AnalysisChannel Derived(ChannelId id, const char* name, const char* unit, int decimals,
                        double resolution, std::vector<double> values) {
  AnalysisChannel ch;
  ch.id = id;
  ch.name = name;
  ch.unit = unit;
  ch.decimals = decimals;
  ch.resolution = resolution;
  ch.values = std::move(values);
  return ch;
}

}  // namespace

std::vector<AnalysisChannel> AnalysisChannels(const Flight& f, const FlightOptions& o) {
  std::vector<AnalysisChannel> out;
  const std::vector<double> altitude = AltitudeMetres(f, o);
  for (const LaneInfo& l : f.RecordedLanes()) out.push_back(Recorded(f, o, l.column, altitude));
  if (!altitude.empty())
    out.push_back(Derived(kClimbRate, "Steigen", "m/s", 2, 0.01,
                          ClimbRate(altitude, f.SampleInterval(), o.climbWindowS)));
  if (f.HasGps()) {
    GpsChannels g = GpsDerived(f);
    out.push_back(Derived(kGroundSpeed, "Geschwindigkeit", "km/h", 1, 0.1, std::move(g.speedKmh)));
    out.push_back(Derived(kDistance, "Entfernung", "km", 3, 0.001, std::move(g.distanceKm)));
    out.push_back(Derived(kTrackLength, "Strecke", "km", 3, 0.001, std::move(g.trackKm)));
  }
  return out;
}

const AnalysisChannel* FindChannel(const std::vector<AnalysisChannel>& channels, ChannelId id) {
  for (const AnalysisChannel& c : channels)
    if (c.id == id) return &c;
  return nullptr;
}

std::string FormatValue(const AnalysisChannel& c, double v, int extraDecimals) {
  return GermanNumber(v, c.decimals + extraDecimals);
}

}  // namespace analysis
