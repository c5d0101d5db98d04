// Physical values from the logger's counts: a linear calibration per channel, kept in the
// logger's channel profile, and the altitude from the pressure sensor by the standard
// atmosphere. What belongs to one flight rather than to the logger (QNH, the field
// elevation at take-off, the take-off time) is in FlightOptions. Plain C++: the window,
// the command-line tool and the logbook share it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "model/flight.h"

namespace analysis {

// value = factor × raw + offset.
struct LinearCalibration {
  double factor = 1, offset = 0;
  double Apply(double raw) const { return factor * raw + offset; }
};
// The calibration through two reference points raw → value; nullopt when both points
// have the same raw value (no line goes through them).
std::optional<LinearCalibration> FromTwoPoints(double raw1, double value1, double raw2,
                                               double value2);

struct ChannelSetting {
  std::string name;  // empty: the channel's own name ("16-Bit-ADC")
  std::string unit;  // for a calibrated channel
  int decimals = 0;
  bool calibrated = false;  // uncalibrated: the raw value with the unit "roh"
  LinearCalibration linear;
};

// How the altitude channel (the 16-bit ADC) becomes metres.
enum class AltitudeMethod {
  None,      // as any channel: raw, or its linear calibration in its own unit
  Pressure,  // the linear calibration gives hPa; the standard atmosphere gives metres
  Metres,    // the linear calibration gives metres directly
};

// One logger's channels, found by its serial number ("" for a logger without one: serial
// number 000, or a flight from a CSV file, which holds none).
struct ChannelProfile {
  std::string serial;
  std::array<ChannelSetting, kColumnCount> channels;
  AltitudeMethod altitude = AltitudeMethod::None;
};
// The name a profile goes by: "Logger 123", or "ohne Seriennummer".
std::string ProfileTitle(const ChannelProfile& p);
// The serial number a configuration gives, as the profile key: "" for 0 (unconfigured).
std::string SerialKey(int serialNumber);

// Where the altitude is measured from.
enum class AltitudeReference { Qnh, FieldElevation };

// Everything the analysis and the exports need beyond the records.
struct FlightOptions {
  ChannelProfile profile;
  AltitudeReference reference = AltitudeReference::Qnh;
  double qnhHpa = 1013.25;
  double fieldElevationM = 0;         // at the first record
  bool aboveStart = false;            // "Höhe über Start": the first record's altitude is 0
  std::optional<int64_t> takeOffUtc;  // seconds since 1970 (UTC) of the first record
  double climbWindowS = 1;            // the climb rate's window, 1 … 10 s
};

// Pressure altitude of the standard atmosphere (valid up to 11 km):
// h = 44330,77 m × (1 − (p / p0)^0,190263).
double PressureAltitude(double hPa, double p0Hpa);
// The reference pressure p0 at which pressure hPa lies at the given altitude.
double ReferencePressure(double hPa, double altitudeM);

// The altitude channel in metres for every record, or empty when the profile gives none.
std::vector<double> AltitudeMetres(const Flight& f, const FlightOptions& o);
// The altitudes are metres above sea level (the <ele> of a GPX file): a pressure altitude
// against QNH or a field elevation, or metres set to a field elevation — not "über Start".
bool AltitudeIsAboveSeaLevel(const FlightOptions& o);

}  // namespace analysis
