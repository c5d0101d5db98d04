#include "analysis/decimate.h"

#include <algorithm>
#include <cmath>

namespace analysis {

namespace {
double RecordsPerColumn(double v0, double v1, int width) {
  return (v1 - v0) / std::max(width - 1, 1);
}
}  // namespace

double ColumnOfRecord(double r, double v0, double v1, int width) {
  return (r - v0) / RecordsPerColumn(v0, v1, width);
}

void MinMaxPerColumn(const double* values, size_t count, double v0, double v1, int width,
                     std::vector<ColumnRange>& out) {
  out.assign(width > 0 ? static_cast<size_t>(width) : 0, ColumnRange{});
  if (count == 0 || width <= 0 || !(v1 > v0)) return;
  const double rpc = RecordsPerColumn(v0, v1, width);
  const long long n = static_cast<long long>(count);
  for (int c = 0; c < width; ++c) {
    // Records i with c − ½ <= (i − v0) / rpc < c + ½, plus the one before the first.
    const long long own = std::max(static_cast<long long>(std::ceil(v0 + (c - 0.5) * rpc)), 0LL);
    const long long to =
        std::min(static_cast<long long>(std::ceil(v0 + (c + 0.5) * rpc)) - 1, n - 1);
    const long long before = own - 1;
    if (to < 0 || before > to) continue;
    ColumnRange r;
    auto take = [&](double v) {
      if (std::isnan(v)) return;
      r.min = r.any ? std::min(r.min, v) : v;
      r.max = r.any ? std::max(r.max, v) : v;
      r.any = true;
    };
    for (long long i = own; i <= to; ++i) take(values[i]);
    // A column whose own records have no value stays empty: the trace breaks there.
    if (own <= to && !r.any) continue;
    if (before >= 0) take(values[before]);
    out[static_cast<size_t>(c)] = r;
  }
}

}  // namespace analysis
