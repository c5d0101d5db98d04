#include "analysis/decimate.h"

#include <algorithm>
#include <cmath>

namespace analysis {

void MinMaxPerColumn(const double* values, size_t count, double v0, double v1, int width,
                     std::vector<ColumnRange>& out) {
  out.assign(width > 0 ? static_cast<size_t>(width) : 0, ColumnRange{});
  if (count == 0 || width <= 0 || !(v1 > v0)) return;
  const double recordsPerPixel = (v1 - v0) / width;
  const long long n = static_cast<long long>(count);
  for (int c = 0; c < width; ++c) {
    // Records i with c <= (i - v0) / rpp < c + 1, plus the one before the first of them.
    long long from = static_cast<long long>(std::ceil(v0 + c * recordsPerPixel));
    long long to = static_cast<long long>(std::ceil(v0 + (c + 1) * recordsPerPixel)) - 1;
    from = std::max(from - 1, 0LL);
    to = std::min(to, n - 1);
    if (to < 0 || from > to) continue;
    ColumnRange r;
    r.min = r.max = values[from];
    for (long long i = from + 1; i <= to; ++i) {
      const double v = values[i];
      if (v < r.min) r.min = v;
      if (v > r.max) r.max = v;
    }
    r.any = true;
    out[static_cast<size_t>(c)] = r;
  }
}

}  // namespace analysis
