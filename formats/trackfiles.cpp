#include "formats/trackfiles.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

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
      case '\t':
      case '\n':
      case '\r': out += c; break;
      default:
        // XML 1.0 has no place for the other control characters, not even as entities.
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
          out += ' ';
        else
          out += c;
    }
  }
  return out;
}

std::string IsoTime(int64_t seconds, int centiseconds) {
  // The calendar date of the day by the proleptic Gregorian rules, as every system counts
  // UTC, without the system's time functions.
  const auto days = std::chrono::floor<std::chrono::days>(
      std::chrono::sys_seconds{std::chrono::seconds{seconds}});
  const std::chrono::year_month_day date{days};
  const int64_t inDay = seconds - std::chrono::sys_seconds{days}.time_since_epoch().count();
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02d", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(inDay / 3600),
                int(inDay / 60 % 60), int(inDay % 60));
  std::string out = buf;
  if (centiseconds > 0) {
    out += '.';
    out += static_cast<char>('0' + centiseconds / 10);
    if (centiseconds % 10) out += static_cast<char>('0' + centiseconds % 10);
  }
  return out + "Z";
}

namespace {
// The altitudes above sea level the options give, or none.
std::vector<double> Elevations(const Flight& f, const FlightOptions& o) {
  return AltitudeIsAboveSeaLevel(o) ? AltitudeMetres(f, o) : std::vector<double>{};
}

std::string PointTime(const Flight& f, const FlightOptions& o, int32_t index) {
  const long long cs = std::llround(index * f.SampleInterval() * 100);
  return IsoTime(*o.takeOffUtc + cs / 100, static_cast<int>(cs % 100));
}
}  // namespace

std::string GpxText(const Flight& f, int32_t a, int32_t b, const std::string& name,
                    const FlightOptions& options) {
  const std::vector<double> ele = Elevations(f, options);
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"Morvala\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
      "  <trk>\n    <name>" +
      XmlEscape(name) + "</name>\n    <trkseg>\n";
  const std::vector<TrackPoint> points = TrackPoints(f, a, b);
  for (size_t k = 0; k < points.size(); ++k) {
    // A gap in the fixes starts a new segment.
    if (k > 0 && points[k].index != points[k - 1].index + 1) out += "    </trkseg>\n    <trkseg>\n";
    const TrackPoint& p = points[k];
    out += "      <trkpt lat=\"" + FixedPoint(p.lat, kDecimals) + "\" lon=\"" +
           FixedPoint(p.lon, kDecimals) + "\">";
    if (!ele.empty()) out += "<ele>" + FixedPoint(ele[static_cast<size_t>(p.index)], 1) + "</ele>";
    if (options.takeOffUtc) out += "<time>" + PointTime(f, options, p.index) + "</time>";
    out += "</trkpt>\n";
  }
  out += "    </trkseg>\n  </trk>\n</gpx>\n";
  return out;
}

namespace {
std::string KmlCoordinate(const TrackPoint& p) {
  return FixedPoint(p.lon, kDecimals) + "," + FixedPoint(p.lat, kDecimals);
}

std::string KmlCoordinate(const TrackPoint& p, const std::vector<double>& ele) {
  if (ele.empty()) return KmlCoordinate(p);
  return KmlCoordinate(p) + "," + FixedPoint(ele[static_cast<size_t>(p.index)], 1);
}

std::string Placemark(const std::string& name, const TrackPoint& p) {
  return "    <Placemark>\n      <name>" + name + "</name>\n      <Point><coordinates>" +
         KmlCoordinate(p) + "</coordinates></Point>\n    </Placemark>\n";
}
}  // namespace

std::string KmlText(const Flight& f, int32_t a, int32_t b, const std::string& name,
                    const FlightOptions& options) {
  const std::vector<TrackPoint> points = TrackPoints(f, a, b);
  const std::vector<double> ele = Elevations(f, options);
  // At its altitude with a wall down to the ground, or on the ground.
  const std::string mode = ele.empty() ? "        <tessellate>1</tessellate>\n"
                                         "        <altitudeMode>clampToGround</altitudeMode>\n"
                                       : "        <extrude>1</extrude>\n"
                                         "        <altitudeMode>absolute</altitudeMode>\n";
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n  <Document>\n    <name>" +
      XmlEscape(name) + "</name>\n";
  if (!points.empty()) {
    out += Placemark("Start", points.front());
    out += Placemark("Ende", points.back());
    // One line per run of fixes: no line across a gap.
    for (size_t k = 0; k < points.size(); ++k) {
      if (k == 0 || points[k].index != points[k - 1].index + 1) {
        if (k > 0) out += "        </coordinates>\n      </LineString>\n    </Placemark>\n";
        out += "    <Placemark>\n      <name>" + XmlEscape(name) + "</name>\n      <LineString>\n" +
               mode + "        <coordinates>\n";
      }
      out += "          " + KmlCoordinate(points[k], ele) + "\n";
    }
    out += "        </coordinates>\n      </LineString>\n    </Placemark>\n";
  }
  out += "  </Document>\n</kml>\n";
  return out;
}

void WriteGpxFile(const std::string& path, const Flight& f, int32_t a, int32_t b,
                  const std::string& name, const FlightOptions& options) {
  AtomicFile::WriteWhole(path, GpxText(f, a, b, name, options));
}

void WriteKmlFile(const std::string& path, const Flight& f, int32_t a, int32_t b,
                  const std::string& name, const FlightOptions& options) {
  AtomicFile::WriteWhole(path, KmlText(f, a, b, name, options));
}

}  // namespace analysis
