// Physical values and derived channels against values computed here independently: the
// standard atmosphere, calibrations, the climb rate by least squares, and ground speed and
// distances on tracks across degree lines in all four hemisphere pairs.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "analysis/calibration.h"
#include "analysis/derived.h"

using namespace analysis;

namespace {

// The least-squares slope of y over the records [lo, hi], summed from scratch.
double SlopeOf(const std::vector<double>& y, long lo, long hi) {
  double mx = 0, my = 0;
  for (long j = lo; j <= hi; ++j) mx += j, my += y[j];
  mx /= (hi - lo + 1), my /= (hi - lo + 1);
  double sxy = 0, sxx = 0;
  for (long j = lo; j <= hi; ++j) sxy += (j - mx) * (y[j] - my), sxx += (j - mx) * (j - mx);
  return sxy / sxx;
}

// A CSV coordinate value for decimal degrees: ±(degrees × 100000 + thousandths of minutes).
int64_t Encode(double deg) {
  const double a = std::fabs(deg);
  int64_t d = static_cast<int64_t>(std::floor(a));
  int64_t m = std::llround((a - d) * 60000);
  if (m == 60000) ++d, m = 0;
  const int64_t v = d * 100000 + m;
  return deg < 0 ? -v : v;
}

// The point reached from (lat, lon) after metres along the initial bearing, on the sphere.
void Destination(double lat, double lon, double bearingDeg, double metres, double& outLat,
                 double& outLon) {
  const double r = 6371008.8, k = std::numbers::pi / 180, d = metres / r, b = bearingDeg * k;
  const double p1 = lat * k, l1 = lon * k;
  const double p2 =
      std::asin(std::sin(p1) * std::cos(d) + std::cos(p1) * std::sin(d) * std::cos(b));
  const double l2 = l1 + std::atan2(std::sin(b) * std::sin(d) * std::cos(p1),
                                    std::cos(d) - std::sin(p1) * std::sin(p2));
  outLat = p2 / k, outLon = l2 / k;
}

}  // namespace

TEST(Altitude, StandardAtmosphereAndCalibrations) {
  EXPECT_NEAR(PressureAltitude(1013.25, 1013.25), 0, 1e-9);
  EXPECT_NEAR(PressureAltitude(898.75, 1013.25), 1000, 0.1);
  EXPECT_NEAR(PressureAltitude(794.95, 1013.25), 2000, 0.1);
  EXPECT_NEAR(PressureAltitude(950, ReferencePressure(950, 420)), 420, 1e-6);
  // Two reference points: raw 1000 → 900 hPa, raw 3000 → 1000 hPa.
  const auto c = FromTwoPoints(1000, 900, 3000, 1000);
  ASSERT_TRUE(c);
  EXPECT_DOUBLE_EQ(c->factor, 0.05);
  EXPECT_DOUBLE_EQ(c->offset, 850);
  EXPECT_DOUBLE_EQ(c->Apply(2000), 950);
  EXPECT_FALSE(FromTwoPoints(1000, 900, 1000, 950));
  EXPECT_EQ(SerialKey(0), "");
  EXPECT_EQ(SerialKey(7), "007");

  // A flight whose reading falls from 898,75 hPa to 794,95 hPa (raw = hPa × 20).
  Flight f;
  f.recordFlags1 = 0x01;
  for (auto& col : f.columns) col.assign(3, 0);
  f.columns[kAdc16] = {17975, 16500, 15899};
  FlightOptions o;
  EXPECT_TRUE(AltitudeMetres(f, o).empty());  // no method: raw counts, no metres
  o.profile.altitude = AltitudeMethod::Pressure;
  o.profile.channels[kAdc16].calibrated = true;
  o.profile.channels[kAdc16].linear = {0.05, 0};
  auto h = AltitudeMetres(f, o);
  ASSERT_EQ(h.size(), 3u);
  EXPECT_NEAR(h[0], 1000, 0.1);
  EXPECT_NEAR(h[2], 2000, 0.1);
  EXPECT_TRUE(AltitudeIsAboveSeaLevel(o));
  // A field elevation at take-off moves the whole flight to it, the climb stays.
  o.reference = AltitudeReference::FieldElevation;
  o.fieldElevationM = 500;
  h = AltitudeMetres(f, o);
  EXPECT_NEAR(h[0], 500, 1e-6);
  EXPECT_NEAR(h[2] - h[0], PressureAltitude(794.95, ReferencePressure(898.75, 500)) - 500, 1e-6);
  EXPECT_TRUE(AltitudeIsAboveSeaLevel(o));
  // "Höhe über Start": 0 at the first record, no sea level.
  o.aboveStart = true;
  h = AltitudeMetres(f, o);
  EXPECT_DOUBLE_EQ(h[0], 0);
  EXPECT_FALSE(AltitudeIsAboveSeaLevel(o));
  // Metres straight from the calibration: above sea level only when set to a field.
  o.aboveStart = false;
  o.profile.altitude = AltitudeMethod::Metres;
  o.profile.channels[kAdc16].linear = {-0.1, 2000};
  h = AltitudeMetres(f, o);
  EXPECT_NEAR(h[0], 500, 1e-9);
  EXPECT_NEAR(h[1] - h[0], -0.1 * (16500 - 17975), 1e-9);
  o.reference = AltitudeReference::Qnh;
  EXPECT_FALSE(AltitudeIsAboveSeaLevel(o));

  // A long flight within a narrow band of counts gives the same altitudes.
  Flight longFlight;
  longFlight.recordFlags1 = 0x01;
  for (auto& col : longFlight.columns) col.assign(4000, 0);
  for (int i = 0; i < 4000; ++i) longFlight.columns[kAdc16][i] = 18000 - (i * 7) % 300;
  FlightOptions p = o;
  p.profile.altitude = AltitudeMethod::Pressure;
  p.profile.channels[kAdc16].linear = {0.05, 0};
  p.qnhHpa = 1000;
  const auto band = AltitudeMetres(longFlight, p);
  for (int i = 0; i < 4000; i += 13)
    ASSERT_NEAR(band[i], PressureAltitude(0.05 * (18000 - (i * 7) % 300), 1000), 1e-9) << i;
}

TEST(ClimbRate, LeastSquaresOverACentredWindowWithoutLag) {
  // A linear climb of 2 m/s: 2 m/s everywhere, the shrunk windows at the ends included.
  for (double dt : {0.02, 0.2, 1.0}) {
    std::vector<double> h(3000);
    for (size_t i = 0; i < h.size(); ++i) h[i] = 400 + 2 * dt * i;
    for (double window : {1.0, 3.0, 10.0}) {
      const auto rate = ClimbRate(h, dt, window);
      for (size_t i = 0; i < h.size(); i += 37) ASSERT_NEAR(rate[i], 2, 1e-7) << dt << " " << i;
    }
  }
  // h = a·t²: a centred window gives the true slope 2·a·t away from the ends (no lag).
  const double dt = 0.02, a = 0.7;
  std::vector<double> h(20000);
  for (size_t i = 0; i < h.size(); ++i) h[i] = a * (i * dt) * (i * dt);
  const auto rate = ClimbRate(h, dt, 1.0);
  for (size_t i = 100; i + 100 < h.size(); i += 101)
    ASSERT_NEAR(rate[i], 2 * a * i * dt, 1e-6) << i;
  // Noisy altitudes over 65536 records: the sliding sums agree with the slope summed from
  // scratch over the same window, at the ends as well; windows never below 3 records.
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0, 3);
  std::vector<double> y(65536);
  for (size_t i = 0; i < y.size(); ++i) y[i] = 1500 + 300 * std::sin(i / 3000.0) + noise(rng);
  for (auto [step, window, half] : {std::tuple{0.02, 1.0, 25L}, {1.0, 1.0, 1L}, {0.5, 10.0, 10L}}) {
    const auto r = ClimbRate(y, step, window);
    for (long i : {0L, 1L, 5L, 24L, 1000L, 1023L, 1024L, 40000L, 65530L, 65535L}) {
      const long lo = std::max(0L, i - half), hi = std::min(65535L, i + half);
      ASSERT_NEAR(r[i], SlopeOf(y, lo, hi) / step, 1e-7) << step << " " << i;
    }
  }
}

TEST(GroundSpeed, KnownSpeedAcrossDegreeLinesInAllFourHemispheres) {
  // 90 km/h for four minutes, a new GPS position every second, records every 0,2 s.
  const double kmh = 90, seconds = 240, dt = 0.2;
  struct Start {
    double lat, lon, bearing;
  };
  for (Start s : {Start{47.99, 8.99, 45},
                  {-33.99, -70.99, 225},
                  {50.99, -0.99, 300},
                  {-40.99, 174.99, 120}}) {
    Flight f;
    f.recordFlags2 = 0x40;
    f.sampleRateCode = 9;  // 0,2 s
    ASSERT_DOUBLE_EQ(f.SampleInterval(), dt);
    const int n = static_cast<int>(seconds / dt) + 1;
    for (auto& col : f.columns) col.assign(n, 0);
    double lat = 0, lon = 0;
    for (int i = 0; i < n; ++i) {
      const double t = std::floor(i * dt + 1e-9);  // the position of the last whole second
      Destination(s.lat, s.lon, s.bearing, kmh / 3.6 * t, lat, lon);
      f.columns[kLatitude][i] = Encode(lat);
      f.columns[kLongitude][i] = Encode(lon);
    }
    // The track crosses a whole degree in both axes.
    EXPECT_NE(std::trunc(s.lat), std::trunc(lat)) << s.lat;
    EXPECT_NE(std::trunc(s.lon), std::trunc(lon)) << s.lon;
    const GpsChannels g = GpsDerived(f);
    const double lastChangeKm = kmh * seconds / 3600;  // the last position, at 240 s
    EXPECT_NEAR(g.trackKm.back(), lastChangeKm, 0.005 * lastChangeKm) << s.lat;
    EXPECT_NEAR(g.distanceKm.back(), lastChangeKm, 0.005 * lastChangeKm) << s.lat;
    double sum = 0;
    int counted = 0;
    for (int i = 0; i < n - 5; ++i) sum += g.speedKmh[i], ++counted;
    EXPECT_NEAR(sum / counted, kmh, 0.005 * kmh) << s.lat;
  }
  EXPECT_NEAR(GreatCircleMetres(47, 8, 48, 8), 111195, 1);
}

TEST(GroundSpeed, RecordsWithoutAFixHaveNoValueAndTheGapIsBridged) {
  Flight f;
  f.recordFlags2 = 0x40;
  f.sampleRateCode = 49;  // 1 s
  for (auto& col : f.columns) col.assign(6, 0);
  // 47° N 8° E, a tenth of a minute north per second; records 2 and 3 without a fix.
  const int64_t lat[] = {4700100, 4700200, 4700000, 4700000, 4700500, 4700600};
  for (int i = 0; i < 6; ++i) {
    f.columns[kLatitude][i] = lat[i];
    f.columns[kLongitude][i] = i == 2 || i == 3 ? 800000 : 800100;
  }
  const GpsChannels g = GpsDerived(f);
  EXPECT_TRUE(std::isnan(g.speedKmh[2]));
  EXPECT_TRUE(std::isnan(g.trackKm[3]));
  const double step = GreatCircleMetres(47 + 100 / 60000.0, 8, 47 + 200 / 60000.0, 8);
  EXPECT_NEAR(g.speedKmh[0], step * 3.6, 1e-9);
  EXPECT_NEAR(g.trackKm[4] * 1000, 4 * step, 1e-6);      // across the gap
  EXPECT_NEAR(g.speedKmh[1], 3 * step / 3 * 3.6, 1e-9);  // 3 steps in 3 s
  EXPECT_DOUBLE_EQ(g.speedKmh[5], 0);                    // after the last change
  EXPECT_NEAR(g.distanceKm[5] * 1000, 5 * step, 1e-6);
}
