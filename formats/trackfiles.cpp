#include "formats/trackfiles.h"

#include <algorithm>

#include "model/coords.h"
#include "formats/atomicfile.h"

namespace analysis {

namespace {
// Seven decimals are about a centimetre; the logger's thousandths of a minute are 1.9 m.
constexpr int kDecimals = 7;
}  // namespace

std::vector<TrackPoint> TrackPoints(const Flight& f, int32_t a, int32_t b) {
  std::vector<TrackPoint> out;
  if (f.Empty()) return out;
  const int32_t last = f.Count() - 1;
  a = std::clamp(a, 0, last);
  b = std::clamp(b, 0, last);
  const auto& lat = f.columns[kLatitude];
  const auto& lon = f.columns[kLongitude];
  for (int32_t i = std::min(a, b); i <= std::max(a, b); ++i) {
    const size_t k = static_cast<size_t>(i);
    if (!HasFix(lat[k], lon[k])) continue;
    out.push_back({i, DecimalDegrees(lat[k]), DecimalDegrees(lon[k])});
  }
  return out;
}

std::string XmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string GpxText(const Flight& f, int32_t a, int32_t b, const std::string& name) {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"Morvala\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
      "  <trk>\n    <name>" +
      XmlEscape(name) + "</name>\n    <trkseg>\n";
  for (const TrackPoint& p : TrackPoints(f, a, b))
    out += "      <trkpt lat=\"" + FixedPoint(p.lat, kDecimals) + "\" lon=\"" +
           FixedPoint(p.lon, kDecimals) + "\"></trkpt>\n";
  out += "    </trkseg>\n  </trk>\n</gpx>\n";
  return out;
}

namespace {
std::string KmlCoordinate(const TrackPoint& p) {
  return FixedPoint(p.lon, kDecimals) + "," + FixedPoint(p.lat, kDecimals);
}

std::string Placemark(const std::string& name, const TrackPoint& p) {
  return "    <Placemark>\n      <name>" + name + "</name>\n      <Point><coordinates>" +
         KmlCoordinate(p) + "</coordinates></Point>\n    </Placemark>\n";
}
}  // namespace

std::string KmlText(const Flight& f, int32_t a, int32_t b, const std::string& name) {
  const std::vector<TrackPoint> points = TrackPoints(f, a, b);
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n  <Document>\n    <name>" +
      XmlEscape(name) + "</name>\n";
  if (!points.empty()) {
    out += Placemark("Start", points.front());
    out += Placemark("Ende", points.back());
    out +=
        "    <Placemark>\n      <name>" + XmlEscape(name) +
        "</name>\n      <LineString>\n        <tessellate>1</tessellate>\n        <coordinates>\n";
    for (const TrackPoint& p : points) out += "          " + KmlCoordinate(p) + "\n";
    out += "        </coordinates>\n      </LineString>\n    </Placemark>\n";
  }
  out += "  </Document>\n</kml>\n";
  return out;
}

void WriteGpxFile(const std::string& path, const Flight& f, int32_t a, int32_t b,
                  const std::string& name) {
  AtomicFile::WriteWhole(path, GpxText(f, a, b, name));
}

void WriteKmlFile(const std::string& path, const Flight& f, int32_t a, int32_t b,
                  const std::string& name) {
  AtomicFile::WriteWhole(path, KmlText(f, a, b, name));
}

}  // namespace analysis
