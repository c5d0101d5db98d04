// Decimation for drawing: of the records that fall into one pixel column only the
// smallest and largest value are kept, so a lane of 65536 records costs a few points per
// column and a one-record spike still reaches its column at every zoom.
#pragma once

#include <cstddef>
#include <vector>

namespace analysis {

struct ColumnRange {
  double min = 0, max = 0;
  bool any = false;  // false: no record in or before the column
};

// The columns 0..width-1 of a view whose left edge is record v0 and whose right edge is
// record v1 (record i lies at x = (i − v0) × width / (v1 − v0)). Each column's range holds
// its own records and the last record before it, so the columns join into one trace.
void MinMaxPerColumn(const double* values, size_t count, double v0, double v1, int width,
                     std::vector<ColumnRange>& out);

}  // namespace analysis
