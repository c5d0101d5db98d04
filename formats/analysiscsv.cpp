#include "formats/analysiscsv.h"

#include <algorithm>
#include <cmath>

#include "analysis/channels.h"
#include "analysis/stats.h"
#include "formats/atomicfile.h"

namespace analysis {

std::string AnalysisCsvText(const Flight& f, const FlightOptions& o, int32_t a, int32_t b) {
  const std::vector<AnalysisChannel> channels = AnalysisChannels(f, o);
  std::string out = "\xEF\xBB\xBF";
  out += "Zeit (s)";
  for (const AnalysisChannel& c : channels) out += ";" + c.name + " (" + c.unit + ")";
  out += "\r\n";
  if (f.Empty()) return out;
  const int32_t last = f.Count() - 1;
  const int32_t from = std::clamp(std::min(a, b), 0, last),
                to = std::clamp(std::max(a, b), 0, last);
  const double dt = f.SampleInterval();
  for (int32_t i = from; i <= to; ++i) {
    out += GermanNumber(i * dt, 2);
    for (const AnalysisChannel& c : channels) {
      out += ';';
      const double v = c.values[static_cast<size_t>(i)];
      if (!std::isnan(v)) out += FormatValue(c, v);
    }
    out += "\r\n";
  }
  return out;
}

void WriteAnalysisCsvFile(const std::string& path, const Flight& f, const FlightOptions& o,
                          int32_t a, int32_t b) {
  AtomicFile::WriteWhole(path, AnalysisCsvText(f, o, a, b));
}

}  // namespace analysis
