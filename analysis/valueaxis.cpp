#include "analysis/valueaxis.h"

#include <algorithm>
#include <cmath>

#include "analysis/stats.h"

namespace analysis {

namespace {
// The smallest of 1, 2, 5 × 10^k that is at least x.
double NiceStep(double x) {
  const double power = std::pow(10.0, std::floor(std::log10(x)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * power >= x * (1 - 1e-9)) return m * power;
  return 10 * power;
}
}  // namespace

ValueAxis NiceValueAxis(double dataMin, double dataMax, double resolution) {
  ValueAxis axis;
  if (!std::isfinite(dataMin) || !std::isfinite(dataMax)) return axis;
  if (dataMax < dataMin) std::swap(dataMin, dataMax);
  const double minSpan = resolution > 0 ? 10 * resolution : 0;
  double span = dataMax - dataMin;
  const double mid = (dataMin + dataMax) / 2;
  if (span < minSpan) span = minSpan;
  if (!(span > 0)) span = std::max(std::abs(mid) * 1e-3, 1e-9);
  const double pad = span * 0.05;
  double lo = std::min(dataMin, mid - span / 2) - pad;
  // Values that cannot be negative (counts, speeds) get no negative room below them.
  if (dataMin >= 0 && lo < 0) lo = 0;
  const double hi = std::max(dataMax, mid + span / 2) + pad;
  // lo and hi on a round step of about a tenth of the lane.
  axis.step = NiceStep((hi - lo) / 10);
  axis.lo = std::floor(lo / axis.step + 1e-9) * axis.step;
  axis.hi = std::ceil(hi / axis.step - 1e-9) * axis.step;
  axis.decimals = std::clamp(static_cast<int>(-std::floor(std::log10(axis.step) + 1e-9)), 0, 9);
  return axis;
}

std::string AxisLabel(const ValueAxis& axis, double value) {
  return GermanNumber(value, axis.decimals);
}

}  // namespace analysis
