#include "analysis/stats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "model/coords.h"

namespace analysis {

CursorStats StatsBetween(const Flight& f, Column c, int32_t a, int32_t b) {
  CursorStats s;
  if (f.Empty()) return s;
  const int32_t last = f.Count() - 1;
  a = std::clamp(a, 0, last);
  b = std::clamp(b, 0, last);
  s.atA = f.LaneValue(c, a);
  s.atB = f.LaneValue(c, b);
  s.difference = s.atB - s.atA;
  const int32_t from = std::min(a, b), to = std::max(a, b);
  double sum = 0;
  s.min = std::numeric_limits<double>::infinity();
  s.max = -s.min;
  for (int32_t i = from; i <= to; ++i) {
    const double v = f.LaneValue(c, i);
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
