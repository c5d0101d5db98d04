#include "analysis/calibration.h"

#include <algorithm>
#include <cmath>

namespace analysis {

namespace {
constexpr double kScaleHeight = 44330.77;  // metres
constexpr double kExponent = 0.190263;
}  // namespace

std::optional<LinearCalibration> FromTwoPoints(double raw1, double value1, double raw2,
                                               double value2) {
  if (raw1 == raw2 || !std::isfinite(raw1) || !std::isfinite(raw2)) return std::nullopt;
  LinearCalibration c;
  c.factor = (value2 - value1) / (raw2 - raw1);
  c.offset = value1 - c.factor * raw1;
  return c;
}

std::string ProfileTitle(const ChannelProfile& p) {
  return p.serial.empty() ? "ohne Seriennummer" : "Logger " + p.serial;
}

std::string SerialKey(int serialNumber) {
  if (serialNumber <= 0) return "";
  std::string s = std::to_string(serialNumber);
  while (s.size() < 3) s.insert(s.begin(), '0');
  return s;
}

double PressureAltitude(double hPa, double p0Hpa) {
  return kScaleHeight * (1 - std::pow(hPa / p0Hpa, kExponent));
}

double ReferencePressure(double hPa, double altitudeM) {
  return hPa / std::pow(1 - altitudeM / kScaleHeight, 1 / kExponent);
}

std::vector<double> AltitudeMetres(const Flight& f, const FlightOptions& o) {
  std::vector<double> h;
  const ChannelSetting& s = o.profile.channels[kAdc16];
  if (o.profile.altitude == AltitudeMethod::None || !f.HasChannel(kAdc16) || f.Empty()) return h;
  const auto& raw = f.columns[kAdc16];
  h.resize(raw.size());
  const double first = s.linear.Apply(static_cast<double>(raw[0]));
  if (o.profile.altitude == AltitudeMethod::Pressure) {
    const double p0 = o.reference == AltitudeReference::FieldElevation
                          ? ReferencePressure(first, o.fieldElevationM)
                          : o.qnhHpa;
    // A flight's readings span a narrow band of counts: each altitude is computed once.
    const auto [lo, hi] = std::minmax_element(raw.begin(), raw.end());
    const size_t span = static_cast<size_t>(*hi - *lo) + 1;
    if (span <= raw.size() / 4) {
      std::vector<double> byCount(span);
      for (size_t k = 0; k < span; ++k)
        byCount[k] = PressureAltitude(
            s.linear.Apply(static_cast<double>(*lo + static_cast<int64_t>(k))), p0);
      for (size_t i = 0; i < raw.size(); ++i) h[i] = byCount[static_cast<size_t>(raw[i] - *lo)];
    } else {
      for (size_t i = 0; i < raw.size(); ++i)
        h[i] = PressureAltitude(s.linear.Apply(static_cast<double>(raw[i])), p0);
    }
  } else {
    const double shift =
        o.reference == AltitudeReference::FieldElevation ? o.fieldElevationM - first : 0;
    for (size_t i = 0; i < raw.size(); ++i)
      h[i] = s.linear.Apply(static_cast<double>(raw[i])) + shift;
  }
  if (o.aboveStart) {
    const double h0 = h[0];
    for (double& x : h) x -= h0;
  }
  return h;
}

bool AltitudeIsAboveSeaLevel(const FlightOptions& o) {
  if (o.aboveStart) return false;
  switch (o.profile.altitude) {
    case AltitudeMethod::Pressure: return true;
    case AltitudeMethod::Metres: return o.reference == AltitudeReference::FieldElevation;
    case AltitudeMethod::None: return false;
  }
  return false;
}

}  // namespace analysis
