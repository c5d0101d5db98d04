#include "analysis/stats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "model/coords.h"

namespace analysis {

namespace {
// The statistics of value(i) for the records a..b, already clamped to 0..last.
template <typename Value>
CursorStats Measure(int32_t last, int32_t a, int32_t b, Value value) {
  CursorStats s;
  a = std::clamp(a, 0, last);
  b = std::clamp(b, 0, last);
  s.atA = value(a);
  s.atB = value(b);
  s.difference = s.atB - s.atA;
  const int32_t from = std::min(a, b), to = std::max(a, b);
  double sum = 0;
  s.min = std::numeric_limits<double>::infinity();
  s.max = -s.min;
  for (int32_t i = from; i <= to; ++i) {
    const double v = value(i);
    if (std::isnan(v)) continue;
    s.min = std::min(s.min, v);
    s.max = std::max(s.max, v);
    sum += v;
    ++s.counted;
  }
  if (s.counted == 0) s.min = s.max = std::numeric_limits<double>::quiet_NaN();
  s.mean = s.counted ? sum / s.counted : std::numeric_limits<double>::quiet_NaN();
  return s;
}
}  // namespace

CursorStats StatsBetween(const Flight& f, Column c, int32_t a, int32_t b) {
  if (f.Empty()) return CursorStats{};
  return Measure(f.Count() - 1, a, b, [&](int32_t i) { return f.LaneValue(c, i); });
}

CursorStats StatsOf(const std::vector<double>& values, int32_t a, int32_t b) {
  if (values.empty()) return CursorStats{};
  return Measure(static_cast<int32_t>(values.size()) - 1, a, b,
                 [&](int32_t i) { return values[static_cast<size_t>(i)]; });
}

double SecondsBetween(int32_t a, int32_t b, double sampleInterval) {
  return std::abs(static_cast<double>(b) - a) * sampleInterval;
}

std::string GermanNumber(double v, int decimals) {
  if (std::isnan(v)) return "–";
  std::string s = FixedPoint(v, decimals);
  // No "-0" for a value that rounds to zero.
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  for (char& ch : s)
    if (ch == '.') ch = ',';
  return s;
}

std::string FormatHms(double seconds) {
  const long long cs = std::llround(std::max(seconds, 0.0) * 100);
  const long long h = cs / 360000, m = cs / 6000 % 60, s = cs / 100 % 60, frac = cs % 100;
  std::string sec = std::to_string(s);
  if (frac != 0) {
    sec += ',';
    sec += static_cast<char>('0' + frac / 10);
    if (frac % 10) sec += static_cast<char>('0' + frac % 10);
  }
  std::string out;
  if (h > 0) out += std::to_string(h) + " h ";
  if (h > 0 || m > 0) out += std::to_string(m) + " min ";
  return out + sec + " s";
}

}  // namespace analysis
