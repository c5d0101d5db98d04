// Decimation: every column keeps the smallest and largest value of its records, so a
// one-record spike shows at every zoom.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "analysis/decimate.h"

using namespace analysis;

TEST(Decimation, ColumnsHoldTheExtremesOfTheirRecords) {
  std::mt19937 rng(11);
  std::vector<double> v(10007);
  for (double& x : v) x = static_cast<double>(rng() % 1000);
  std::vector<ColumnRange> cols;
  const double v0 = 123.4, v1 = 9876.5;
  const int width = 777;
  MinMaxPerColumn(v.data(), v.size(), v0, v1, width, cols);
  ASSERT_EQ(cols.size(), static_cast<size_t>(width));
  const double rpp = (v1 - v0) / width;
  for (int c = 0; c < width; ++c) {
    double mn = 1e9, mx = -1e9;
    for (size_t i = 0; i < v.size(); ++i) {
      const double x = (i - v0) / rpp;
      if (x >= c && x < c + 1) {
        mn = std::min(mn, v[i]);
        mx = std::max(mx, v[i]);
      }
    }
    ASSERT_TRUE(cols[c].any);
    EXPECT_LE(cols[c].min, mn) << c;
    EXPECT_GE(cols[c].max, mx) << c;
  }
}

TEST(Decimation, AOneRecordSpikeReachesItsColumnAtEveryZoom) {
  std::vector<double> v(65536, 100.0);
  const size_t spike = 40000;
  v[spike] = 5000;
  for (double span = 10; span <= 70000; span *= 1.7) {
    for (int width : {300, 1280}) {
      // The spike inside a column, not on its edge.
      const double v0 = spike - span * 0.3137;
      std::vector<ColumnRange> cols;
      MinMaxPerColumn(v.data(), v.size(), v0, v0 + span, width, cols);
      const int col = static_cast<int>(std::floor((spike - v0) * width / span));
      ASSERT_TRUE(col >= 0 && col < width);
      EXPECT_EQ(cols[col].max, 5000) << span << " " << width;
      // And nowhere far from it (columns past the last record hold nothing).
      for (int c = 0; c < width; ++c) {
        if (cols[c].any && std::abs(c - col) > 1 + width / span) {
          EXPECT_EQ(cols[c].max, 100) << c;
        }
      }
    }
  }
}

TEST(Decimation, ColumnsOutsideTheFlightAreEmpty) {
  std::vector<double> v = {1, 2, 3, 4};
  std::vector<ColumnRange> cols;
  MinMaxPerColumn(v.data(), v.size(), -10, 20, 30, cols);
  EXPECT_FALSE(cols[0].any);
  EXPECT_FALSE(cols[8].any);
  EXPECT_TRUE(cols[10].any);
  EXPECT_TRUE(cols[13].any);
  EXPECT_FALSE(cols[20].any);
  MinMaxPerColumn(v.data(), 0, 0, 4, 30, cols);
  for (const auto& c : cols) EXPECT_FALSE(c.any);
}
