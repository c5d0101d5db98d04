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

// Where record r lies in a view of width pixel columns whose left edge is record v0 and
// whose right edge is record v1: v0 at the centre of column 0, v1 at the centre of
// column width − 1, so both edge records fall inside the plot.
double ColumnOfRecord(double r, double v0, double v1, int width);

// The columns 0..width-1 of that view: column c holds the records whose position rounds
// to c, and the last record before them, so the columns join into one trace. A value that
// is not a number (a record without a measurement) is left out and breaks the trace.
void MinMaxPerColumn(const double* values, size_t count, double v0, double v1, int width,
                     std::vector<ColumnRange>& out);

}  // namespace analysis
