// Coordinates, cursor statistics, durations and the time axis's ticks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <random>

#include "model/coords.h"
#include "analysis/stats.h"
#include "analysis/ticks.h"
#include "analysis/valueaxis.h"

using namespace analysis;

TEST(Coordinates, DecimalDegreesFromTheCsvColumn) {
  EXPECT_DOUBLE_EQ(DecimalDegrees(4807038), 48 + 7038 / 60000.0);
  EXPECT_DOUBLE_EQ(DecimalDegrees(-4807038), -(48 + 7038 / 60000.0));
  EXPECT_DOUBLE_EQ(DecimalDegrees(59999), 59999 / 60000.0);
  EXPECT_DOUBLE_EQ(DecimalDegrees(-100000), -1.0);
  EXPECT_DOUBLE_EQ(DecimalDegrees(0), 0.0);
  EXPECT_DOUBLE_EQ(DecimalDegrees(17912345), 179 + 12345 / 60000.0);
  EXPECT_EQ(MinutesPart(-4807038), 7038);
  EXPECT_FALSE(HasFix(4800000, -800000));  // both minute values 0
  EXPECT_TRUE(HasFix(4800000, -800001));
  EXPECT_TRUE(HasFix(1, 0));
}

TEST(Coordinates, ProjectionHasEqualScaleAtTheFlightsLatitude) {
  LocalProjection p{60.0, 10.0};
  // One degree of latitude is about 111.2 km; of longitude at 60 degrees half of that.
  EXPECT_NEAR(p.ToY(61.0), 111195, 10);
  EXPECT_NEAR(p.ToX(11.0), 111195 / 2.0, 10);
  EXPECT_NEAR(p.ToX(9.0), -111195 / 2.0, 10);
  LocalProjection south{-33.9, 151.2};
  EXPECT_NEAR(south.ToX(152.2) / south.ToY(-32.9), std::cos(33.9 * M_PI / 180), 1e-9);
}

TEST(Coordinates, ScaleBarIsOneTwoOrFiveTimesAPowerOfTen) {
  EXPECT_DOUBLE_EQ(ScaleBarMetres(740), 500);
  EXPECT_DOUBLE_EQ(ScaleBarMetres(500), 500);
  EXPECT_DOUBLE_EQ(ScaleBarMetres(499), 200);
  EXPECT_DOUBLE_EQ(ScaleBarMetres(1999), 1000);
  EXPECT_DOUBLE_EQ(ScaleBarMetres(31000), 20000);
  EXPECT_DOUBLE_EQ(ScaleBarMetres(0.7), 0.5);
  EXPECT_EQ(ScaleBarMetres(0), 0);
  EXPECT_EQ(ScaleBarLabel(500), "500 m");
  EXPECT_EQ(ScaleBarLabel(1000), "1 km");
  EXPECT_EQ(ScaleBarLabel(20000), "20 km");
  EXPECT_EQ(ScaleBarLabel(0.5), "0,50 m");
}

TEST(CursorStatistics, AgreeWithAPlainLoopInEitherOrder) {
  Flight f;
  f.recordFlags1 = 0xFF;
  f.recordFlags2 = 0x77;
  std::mt19937 rng(3);
  const int n = 1000;
  for (auto& col : f.columns) col.resize(n);
  for (int i = 0; i < n; ++i) {
    f.columns[kAdc16][i] = static_cast<int64_t>(rng() % 65536);
    f.columns[kLatitude][i] = -4700000 - static_cast<int64_t>(rng() % 60000);
  }
  for (auto [a, b] : {std::pair{10, 400}, {400, 10}, {0, 999}, {555, 555}, {-20, 5000}}) {
    const int from = std::clamp(std::min(a, b), 0, n - 1),
              to = std::clamp(std::max(a, b), 0, n - 1);
    for (Column c : {kAdc16, kLatitude}) {
      double mn = 1e300, mx = -1e300, sum = 0;
      for (int i = from; i <= to; ++i) {
        double v = static_cast<double>(f.columns[c][i]);
        if (c == kLatitude) v = -(47 + (-f.columns[c][i] - 4700000) / 60000.0);
        mn = std::min(mn, v);
        mx = std::max(mx, v);
        sum += v;
      }
      const CursorStats s = StatsBetween(f, c, a, b);
      const int ia = std::clamp(a, 0, n - 1), ib = std::clamp(b, 0, n - 1);
      EXPECT_DOUBLE_EQ(s.atA, f.LaneValue(c, ia));
      EXPECT_DOUBLE_EQ(s.atB, f.LaneValue(c, ib));
      EXPECT_DOUBLE_EQ(s.difference, s.atB - s.atA);
      EXPECT_NEAR(s.min, mn, 1e-12);
      EXPECT_NEAR(s.max, mx, 1e-12);
      EXPECT_NEAR(s.mean, sum / (to - from + 1), 1e-9);
    }
  }
}

TEST(CursorStatistics, TimeBetweenCursorsForEverySampleInterval) {
  // The six intervals of the configuration (codes 0, 2, 12, 24, 49, 249) and an odd one.
  const struct {
    int code;
    double interval;
  } rates[] = {{0, 0.02}, {2, 0.06}, {12, 0.26}, {24, 0.5}, {49, 1.0}, {249, 5.0}, {255, 5.12}};
  for (const auto& r : rates) {
    Flight f;
    f.sampleRateCode = r.code;
    EXPECT_NEAR(f.SampleInterval(), r.interval, 1e-12);
    EXPECT_NEAR(SecondsBetween(100, 350, f.SampleInterval()), 250 * r.interval, 1e-9);
    EXPECT_NEAR(SecondsBetween(350, 100, f.SampleInterval()), 250 * r.interval, 1e-9);
    EXPECT_EQ(SecondsBetween(7, 7, f.SampleInterval()), 0.0);
  }
  EXPECT_EQ(FormatHms(SecondsBetween(0, 65535, 0.02)), "21 min 50,7 s");
  EXPECT_EQ(FormatHms(SecondsBetween(0, 65535, 5.0)), "91 h 1 min 15 s");
  EXPECT_EQ(FormatHms(SecondsBetween(3, 4, 0.06)), "0,06 s");
  EXPECT_EQ(FormatHms(3600), "1 h 0 min 0 s");
  EXPECT_EQ(FormatHms(59.996), "1 min 0 s");
  EXPECT_EQ(GermanNumber(-0.0001, 2), "0,00");
  EXPECT_EQ(GermanNumber(-47.5, 1), "-47,5");
  EXPECT_EQ(GermanNumber(1234, 0), "1234");
}

TEST(TimeAxis, StepKeepsLabelsApartAtEveryZoom) {
  EXPECT_DOUBLE_EQ(TickStepSeconds(0.001, 60), 0.1);  // 0.06 s needed
  EXPECT_DOUBLE_EQ(TickStepSeconds(0.02 / 60, 60), 0.02);
  EXPECT_DOUBLE_EQ(TickStepSeconds(0.1, 60), 10);  // 6 s needed
  EXPECT_DOUBLE_EQ(TickStepSeconds(0.2, 60), 15);  // 12 s needed
  EXPECT_DOUBLE_EQ(TickStepSeconds(1, 60), 60);
  EXPECT_DOUBLE_EQ(TickStepSeconds(1.01, 60), 120);
  EXPECT_DOUBLE_EQ(TickStepSeconds(300, 60), 21600);  // 5 h needed
  EXPECT_DOUBLE_EQ(TickStepSeconds(5000, 60), 4 * 86400.0);
  // Over every zoom from 0.0001 to 10000 s per pixel: ticks at least the spacing apart,
  // never more than a few hundred, and labels that differ.
  for (double spp = 1e-4; spp < 1e4; spp *= 1.37) {
    const double width = 1200;
    const auto ticks = TimeTicks(12.34, 12.34 + spp * width, width, 70);
    ASSERT_FALSE(ticks.size() > 20) << spp;
    for (size_t i = 1; i < ticks.size(); ++i) {
      EXPECT_GE(ticks[i].x - ticks[i - 1].x, 70 - 1e-6) << spp;
      EXPECT_NE(ticks[i].label, ticks[i - 1].label) << spp;
    }
  }
}

TEST(TimeAxis, TicksAndLabels) {
  // 0..10 min over 600 px at least 50 px apart: a tick every minute.
  const auto t = TimeTicks(0, 600, 600, 50);
  ASSERT_EQ(t.size(), 11u);
  EXPECT_EQ(t[0].label, "0:00");
  EXPECT_DOUBLE_EQ(t[3].x, 180);
  EXPECT_EQ(t[3].label, "3:00");
  EXPECT_EQ(t[10].label, "10:00");
  // A view that starts inside a step: the first tick is the next multiple.
  const auto u = TimeTicks(61.3, 64.1, 280, 60);  // 0.6 s needed: a tick every second
  ASSERT_EQ(u.size(), 3u);
  EXPECT_EQ(u[0].label, "1:02");
  EXPECT_NEAR(u[0].x, 70, 1e-9);
  EXPECT_EQ(u[2].label, "1:04");
  const auto w = TimeTicks(61.3, 62.1, 320, 60);  // 0.15 s needed: every 0.2 s
  ASSERT_EQ(w.size(), 4u);
  EXPECT_EQ(w[0].label, "1:01,4");
  EXPECT_NEAR(w[0].x, 40, 1e-9);
  EXPECT_EQ(w[3].label, "1:02,0");
  EXPECT_EQ(ClockLabel(3725, 5), "1:02:05");
  EXPECT_EQ(ClockLabel(0.04, 0.02), "0:00,04");
  EXPECT_EQ(ClockLabel(59.5, 0.5), "0:59,5");
  EXPECT_TRUE(TimeTicks(5, 5, 100, 50).empty());
}

TEST(CursorStatistics, RecordsWithoutAFixAreNoCoordinates) {
  // Four fixes at 47° 12,345' … and two records without one, one of them zeroed (the
  // degree offset 0 makes it −100°), inside A..B.
  Flight f;
  f.recordFlags2 = 0x40;
  const int64_t lat[] = {4712345, 4700000, 4712445, -10000000, 4712545, 4712645};
  const int64_t lon[] = {812345, 800000, 812445, -10000000, 812545, 812645};
  for (auto& col : f.columns) col.assign(6, 0);
  for (int i = 0; i < 6; ++i) f.columns[kLatitude][i] = lat[i], f.columns[kLongitude][i] = lon[i];
  EXPECT_TRUE(std::isnan(f.LaneValue(kLatitude, 1)));
  EXPECT_TRUE(std::isnan(f.LaneValue(kLongitude, 3)));
  const CursorStats s = StatsBetween(f, kLatitude, 0, 5);
  EXPECT_EQ(s.counted, 4);
  EXPECT_DOUBLE_EQ(s.min, 47 + 12345 / 60000.0);
  EXPECT_DOUBLE_EQ(s.max, 47 + 12645 / 60000.0);
  EXPECT_NEAR(s.mean, 47 + (12345 + 12445 + 12545 + 12645) / 4 / 60000.0, 1e-12);
  // Only records without a fix between A and B: nothing to measure, shown as "–".
  const CursorStats none = StatsBetween(f, kLongitude, 3, 3);
  EXPECT_EQ(none.counted, 0);
  EXPECT_EQ(GermanNumber(none.min, 6), "–");
  EXPECT_EQ(GermanNumber(none.difference, 6), "–");
  // The flight's duration is the time from its first to its last record, as A..B is.
  f.sampleRateCode = 49;
  EXPECT_DOUBLE_EQ(f.Duration(), SecondsBetween(0, 5, f.SampleInterval()));
}

TEST(TimeAxis, AFlightOverAnHourLabelsEveryTickWithHours) {
  const auto ticks = TimeTicks(0, 5400, 1000, 80);
  ASSERT_GT(ticks.size(), 2u);
  for (const Tick& t : ticks)
    EXPECT_EQ(std::count(t.label.begin(), t.label.end(), ':'), 2) << t.label;
  EXPECT_EQ(ticks.front().label, "0:00:00");
  EXPECT_EQ(TimeAxisCaption(5400), "Zeit (h:min:s)");
  // Zoomed into the first minutes of that flight, but still beyond the hour at the end.
  EXPECT_EQ(TimeTicks(3500, 3700, 800, 80).front().label.substr(0, 2), "0:");
  // Below an hour: minutes and seconds, and the caption says so.
  for (const Tick& t : TimeTicks(0, 1200, 1000, 80))
    EXPECT_EQ(std::count(t.label.begin(), t.label.end(), ':'), 1) << t.label;
  EXPECT_EQ(TimeAxisCaption(1200), "Zeit (min:s)");
}

TEST(ValueAxes, RoundEndsRoomAroundTheDataAndNoSwingFromAFlicker) {
  // A one-count flicker spans at least ten counts, so it stays small in the lane.
  const ValueAxis flicker = NiceValueAxis(10363, 10364, 1);
  EXPECT_GE(flicker.hi - flicker.lo, 10);
  EXPECT_LT(flicker.lo, 10363);
  EXPECT_GT(flicker.hi, 10364);
  EXPECT_LE((10364 - 10363) / (flicker.hi - flicker.lo), 0.1);
  // A real swing fills at least half the lane, with room at both ends, on round numbers.
  for (auto [lo, hi, res] : {std::tuple{10363.0, 10803.0, 1.0},
                             {27.0, 29.0, 1.0},
                             {47.2061, 47.2519, 1 / 60000.0},
                             {-3.7, 12.25, 0.01}}) {
    const ValueAxis a = NiceValueAxis(lo, hi, res);
    EXPECT_LT(a.lo, lo);
    EXPECT_GT(a.hi, hi);
    EXPECT_LE(a.hi - a.lo, 2 * std::max(hi - lo, 10 * res)) << lo << " " << hi;
    EXPECT_NEAR(std::remainder(a.lo, a.step), 0, a.step * 1e-6);
    EXPECT_NEAR(std::remainder(a.hi, a.step), 0, a.step * 1e-6);
    // The labels of both ends read back as the ends, with a decimal comma only when the
    // step needs one.
    std::string label = AxisLabel(a, a.hi);
    EXPECT_EQ(label.find(',') != std::string::npos, a.step < 1) << label;
    std::replace(label.begin(), label.end(), ',', '.');
    EXPECT_NEAR(std::stod(label), a.hi, a.step * 1e-3) << label;
  }
}
