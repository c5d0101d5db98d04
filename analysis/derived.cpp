#include "analysis/derived.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace analysis {

namespace {
constexpr double kEarthRadius = 6371008.8;  // mean radius, metres
constexpr double kRad = std::numbers::pi / 180.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}  // namespace

std::vector<double> ClimbRate(const std::vector<double>& h, double intervalS, double windowS) {
  const long n = static_cast<long>(h.size());
  std::vector<double> rate(h.size(), 0.0);
  if (n < 2 || !(intervalS > 0)) return rate;
  const long half = std::max(1L, std::lround(std::clamp(windowS, 0.0, 10.0) / intervalS / 2));
  // Sums over the window [lo, hi] of 1, j, j², y and j·y, with j counted from a base near
  // the window and y from the first altitude, so the sums stay small. Every so many
  // records they are summed afresh, so rounding cannot pile up over a long flight.
  constexpr long kFreshEvery = 1024;
  double s0 = 0, s1 = 0, s2 = 0, sy = 0, sjy = 0;
  long lo = 0, hi = -1, base = 0;
  auto add = [&](long j, double sign) {
    const double x = static_cast<double>(j - base), y = h[static_cast<size_t>(j)] - h[0];
    s0 += sign;
    s1 += sign * x;
    s2 += sign * x * x;
    sy += sign * y;
    sjy += sign * x * y;
  };
  for (long i = 0; i < n; ++i) {
    const long wantLo = std::max(0L, i - half), wantHi = std::min(n - 1, i + half);
    if (i % kFreshEvery == 0) {
      s0 = s1 = s2 = sy = sjy = 0;
      base = lo = wantLo;
      for (hi = wantLo - 1; hi < wantHi;) add(++hi, +1);
    }
    while (hi < wantHi) add(++hi, +1);
    while (lo < wantLo) add(lo++, -1);
    // The slope of y over x: (s0·Σxy − Σx·Σy) / (s0·Σx² − (Σx)²).
    const double den = s0 * s2 - s1 * s1;
    rate[static_cast<size_t>(i)] = den > 0 ? (s0 * sjy - s1 * sy) / den / intervalS : 0;
  }
  return rate;
}

double GreatCircleMetres(double lat1, double lon1, double lat2, double lon2) {
  const double p1 = lat1 * kRad, p2 = lat2 * kRad;
  const double dp = p2 - p1, dl = (lon2 - lon1) * kRad;
  const double a = std::sin(dp / 2) * std::sin(dp / 2) +
                   std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
  return 2 * kEarthRadius * std::asin(std::min(1.0, std::sqrt(a)));
}

GpsChannels GpsDerived(const Flight& f) {
  const size_t n = static_cast<size_t>(f.Count());
  GpsChannels g;
  g.speedKmh.assign(n, kNaN);
  g.distanceKm.assign(n, kNaN);
  g.trackKm.assign(n, kNaN);
  if (!f.HasGps() || n == 0) return g;
  const double dt = f.SampleInterval();
  // The records at which the position changed (the first fix counts as one).
  std::vector<size_t> changes;
  // Distances are computed only where the position changed (about once a second).
  double track = 0, distance = 0, lat0 = 0, lon0 = 0, lastLat = 0, lastLon = 0;
  for (size_t i = 0; i < n; ++i) {
    const int32_t k = static_cast<int32_t>(i);
    if (!f.FixAt(k)) continue;
    const double lat = f.LaneValue(kLatitude, k), lon = f.LaneValue(kLongitude, k);
    if (changes.empty()) {
      lat0 = lat, lon0 = lon;
      changes.push_back(i);
    } else if (lat != lastLat || lon != lastLon) {
      track += GreatCircleMetres(lastLat, lastLon, lat, lon);
      distance = GreatCircleMetres(lat0, lon0, lat, lon);
      changes.push_back(i);
    }
    lastLat = lat, lastLon = lon;
    g.trackKm[i] = track / 1000;
    g.distanceKm[i] = distance / 1000;
  }
  // Each stretch from one change to the next moves at the speed between the two.
  for (size_t c = 0; c < changes.size(); ++c) {
    const size_t from = changes[c];
    const size_t to = c + 1 < changes.size() ? changes[c + 1] : n;
    double kmh = 0;
    if (c + 1 < changes.size()) {
      const double metres = (g.trackKm[to] - g.trackKm[from]) * 1000;
      kmh = metres / ((to - from) * dt) * 3.6;
    }
    for (size_t i = from; i < to; ++i)
      if (f.FixAt(static_cast<int32_t>(i))) g.speedKmh[i] = kmh;
  }
  return g;
}

}  // namespace analysis
