#include "analysis/ticks.h"

#include <cmath>

namespace analysis {

namespace {
constexpr double kSteps[] = {0.02, 0.05, 0.1, 0.2, 0.5,  1,    2,    5,     10,    15,    30,   60,
                             120,  300,  600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
}  // namespace

double TickStepSeconds(double secondsPerPixel, double minSpacingPx) {
  if (!(secondsPerPixel > 0) || !std::isfinite(secondsPerPixel)) return kSteps[0];
  const double needed = secondsPerPixel * minSpacingPx;
  for (double s : kSteps)
    if (s >= needed * (1 - 1e-9)) return s;
  return std::ceil(needed / 86400) * 86400;
}

bool AxisNeedsHours(double t1) { return t1 >= 3600 - 0.005; }

std::string TimeAxisCaption(double t1) {
  return AxisNeedsHours(t1) ? "Zeit (h:min:s)" : "Zeit (min:s)";
}

std::string ClockLabel(double seconds, double step, bool withHours) {
  const bool negative = seconds < 0;
  const long long cs = std::llround(std::fabs(seconds) * 100);
  const long long h = cs / 360000, m = cs / 6000 % 60, s = cs / 100 % 60, frac = cs % 100;
  auto two = [](long long v) { return (v < 10 ? "0" : "") + std::to_string(v); };
  std::string out = negative ? "-" : "";
  if (h > 0 || withHours)
    out += std::to_string(h) + ":" + two(m);
  else
    out += std::to_string(m);
  out += ":" + two(s);
  // Hundredths when the step needs them, tenths when the step is a tenth's multiple.
  const long long stepCs = std::llround(step * 100);
  if (stepCs < 100) {
    if (stepCs % 10 == 0)
      out += "," + std::to_string(frac / 10);
    else
      out += "," + two(frac);
  }
  return out;
}

std::vector<Tick> TimeTicks(double t0, double t1, double widthPx, double minSpacingPx) {
  std::vector<Tick> ticks;
  if (!(t1 > t0) || !(widthPx > 0)) return ticks;
  const double step = TickStepSeconds((t1 - t0) / widthPx, minSpacingPx);
  const long long first = static_cast<long long>(std::ceil(t0 / step - 1e-9));
  const long long last = static_cast<long long>(std::floor(t1 / step + 1e-9));
  const bool hours = AxisNeedsHours(t1);
  for (long long k = first; k <= last; ++k) {
    const double t = k * step;
    ticks.push_back({t, (t - t0) / (t1 - t0) * widthPx, ClockLabel(t, step, hours)});
  }
  return ticks;
}

}  // namespace analysis
