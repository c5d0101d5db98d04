#include "model/coords.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace analysis {

namespace {
constexpr double kEarthRadius = 6371008.8;  // mean radius, metres
constexpr double kRad = std::numbers::pi / 180.0;
}  // namespace

int64_t MinutesPart(int64_t v) {
  const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  return static_cast<int64_t>(mag % 100000);
}

double DecimalDegrees(int64_t v) {
  const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  const double d = static_cast<double>(mag / 100000) + static_cast<double>(mag % 100000) / 60000.0;
  return v < 0 ? -d : d;
}

double LocalProjection::ToX(double lon) const {
  return (lon - lon0) * kRad * kEarthRadius * std::cos(lat0 * kRad);
}

double LocalProjection::ToY(double lat) const { return (lat - lat0) * kRad * kEarthRadius; }

double ScaleBarMetres(double maxMetres) {
  if (!(maxMetres > 0) || !std::isfinite(maxMetres)) return 0;
  double power = std::pow(10.0, std::floor(std::log10(maxMetres)));
  for (;;) {
    for (double m : {5.0, 2.0, 1.0})
      if (m * power <= maxMetres * (1 + 1e-12)) return m * power;
    power /= 10;
  }
}

std::string ScaleBarLabel(double metres) {
  if (metres < 1000) {
    if (metres >= 1) return std::to_string(static_cast<long long>(std::lround(metres))) + " m";
    std::string s = FixedPoint(metres, 2);
    for (char& c : s)
      if (c == '.') c = ',';
    return s + " m";
  }
  const double km = metres / 1000;
  std::string s =
      km == std::floor(km) ? std::to_string(static_cast<long long>(km)) : FixedPoint(km, 1);
  for (char& c : s)
    if (c == '.') c = ',';
  return s + " km";
}

std::string FixedPoint(double v, int decimals) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  return std::string(buf, r.ptr);
}

}  // namespace analysis
