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
  // v0 on the centre of column 0, v1 on the centre of the last column.
  const double rpc = (v1 - v0) / (width - 1);
  for (int c = 0; c < width; ++c) {
    double mn = 1e9, mx = -1e9;
    for (size_t i = 0; i < v.size(); ++i) {
      const double x = (i - v0) / rpc;
      if (x >= c - 0.5 && x < c + 0.5) {
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
      const int col = static_cast<int>(std::lround((spike - v0) * (width - 1) / span));
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

TEST(Decimation, TheViewsLastRecordIsInTheLastColumnAtEveryWidth) {
  // A one-record spike on the right edge of the view: the whole flight, and a zoomed view
  // whose edges fall between records and on one.
  std::vector<double> v(65536, 100.0);
  std::vector<ColumnRange> cols;
  for (int width = 50; width <= 2000; ++width) {
    v.back() = 5000;
    MinMaxPerColumn(v.data(), v.size(), 0, 65535, width, cols);
    ASSERT_EQ(cols.back().max, 5000) << width;
    EXPECT_EQ(cols.front().min, 100) << width;
    v.back() = 100;
    v[30000] = 5000;
    MinMaxPerColumn(v.data(), v.size(), 12345.6, 30000, width, cols);
    ASSERT_EQ(cols.back().max, 5000) << width;
    EXPECT_NEAR(ColumnOfRecord(30000, 12345.6, 30000, width), width - 1, 1e-6);
    v[30000] = 100;
  }
}

TEST(Decimation, RecordsWithoutAValueBreakTheTrace) {
  const double gap = std::nan("");
  std::vector<double> v = {1, 2, 3, gap, gap, gap, gap, gap, gap, 7, 8, 9};
  std::vector<ColumnRange> cols;
  MinMaxPerColumn(v.data(), v.size(), 0, 11, 12, cols);  // one record per column
  for (int c : {0, 1, 2}) EXPECT_TRUE(cols[c].any) << c;
  for (int c = 3; c <= 8; ++c) EXPECT_FALSE(cols[c].any) << c;
  // The first column after the gap does not reach back into it.
  EXPECT_EQ(cols[9].min, 7);
  EXPECT_EQ(cols[9].max, 7);
  EXPECT_EQ(cols[10].min, 7);
  EXPECT_EQ(cols[10].max, 8);
}
