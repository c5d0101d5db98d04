// GPX and KML read back with GPSBabel: the points it reads are the coordinates computed
// here from the CSV columns, in all four hemispheres and across a degree line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "formats/filenames.h"
#include "formats/trackfiles.h"
#include "formats/fileerror.h"

using namespace analysis;

namespace {

struct Dir {
  Dir() {
    char t[] = "/tmp/morvala-track-XXXXXX";
    path = ::mkdtemp(t);
  }
  ~Dir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string path;
};

// GPSBabel's unicsv of a file: the lat and lon columns of every line after the header.
std::vector<std::array<double, 2>> ReadWithGpsBabel(const std::string& format,
                                                    const std::string& file, bool tracks) {
  const std::string cmd = "gpsbabel " + std::string(tracks ? "-t " : "") + "-i " + format +
                          " -f '" + file + "' -o unicsv -F - 2>&1";
  std::FILE* p = ::popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while (p && (n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = p ? ::pclose(p) : -1;
  EXPECT_EQ(rc, 0) << out;
  std::istringstream in(out);
  std::string line, header;
  std::getline(in, header);
  int latCol = -1, lonCol = -1, col = 0;
  std::istringstream hs(header);
  for (std::string h; std::getline(hs, h, ',');) {
    while (!h.empty() && (h.back() == '\r' || h.back() == ' ')) h.pop_back();
    if (h == "Latitude") latCol = col;
    if (h == "Longitude") lonCol = col;
    ++col;
  }
  EXPECT_GE(latCol, 0) << out;
  EXPECT_GE(lonCol, 0) << out;
  std::vector<std::array<double, 2>> points;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream ls(line);
    for (std::string v; std::getline(ls, v, ',');) f.push_back(v);
    if (static_cast<int>(f.size()) <= std::max(latCol, lonCol)) continue;
    points.push_back({std::stod(f[latCol]), std::stod(f[lonCol])});
  }
  return points;
}

// A flight of n records whose coordinate columns are given as the CSV writes them.
Flight TrackFlight(const std::vector<std::array<int64_t, 2>>& coords) {
  Flight f;
  f.recordFlags2 = 0x40;
  for (auto& col : f.columns) col.assign(coords.size(), 0);
  for (size_t i = 0; i < coords.size(); ++i) {
    f.columns[kLatitude][i] = coords[i][0];
    f.columns[kLongitude][i] = coords[i][1];
  }
  return f;
}

// What the test expects: sign(v) × (|v| div 100000 + (|v| mod 100000) / 60000).
double Degrees(int64_t v) {
  const int64_t a = v < 0 ? -v : v;
  const double d = static_cast<double>(a / 100000) + static_cast<double>(a % 100000) / 60000.0;
  return v < 0 ? -d : d;
}

}  // namespace

TEST(TrackFiles, GpsBabelReadsTheCoordinatesInAllFourHemispheres) {
  Dir dir;
  // North-east crossing 47°/48° and 8°/9°; south-west crossing -33°/-34°; north-west
  // crossing 0° of longitude is the sign change of the column; south-east near 179°.
  const std::vector<std::vector<std::array<int64_t, 2>>> tracks = {
      {{4759990, 859995}, {4800005, 900003}, {4800700, 900100}, {4759000, 859000}},
      {{-3359999, -7059998}, {-3400001, -7100002}, {-3400500, -7100400}},
      {{5130000, 2000}, {5130050, 5}, {5130100, -5}, {5130150, -1500}},
      {{-4105000, 17459999}, {-4105001, 17500001}, {-4059999, 17430000}},
  };
  for (size_t t = 0; t < tracks.size(); ++t) {
    const Flight f = TrackFlight(tracks[t]);
    const int32_t last = f.Count() - 1;
    const std::string gpx = dir.path + "/t" + std::to_string(t) + ".gpx";
    const std::string kml = dir.path + "/t" + std::to_string(t) + ".kml";
    WriteGpxFile(gpx, f, 0, last, "Flug <1> & \"2\"");
    WriteKmlFile(kml, f, last, 0, "Flug <1> & \"2\"");
    const auto fromGpx = ReadWithGpsBabel("gpx", gpx, true);
    const auto fromKml = ReadWithGpsBabel("kml", kml, true);
    ASSERT_EQ(fromGpx.size(), tracks[t].size()) << gpx;
    ASSERT_EQ(fromKml.size(), tracks[t].size()) << kml;
    for (size_t i = 0; i < tracks[t].size(); ++i) {
      EXPECT_NEAR(fromGpx[i][0], Degrees(tracks[t][i][0]), 1e-6) << t << " " << i;
      EXPECT_NEAR(fromGpx[i][1], Degrees(tracks[t][i][1]), 1e-6) << t << " " << i;
      EXPECT_NEAR(fromKml[i][0], Degrees(tracks[t][i][0]), 1e-6) << t << " " << i;
      EXPECT_NEAR(fromKml[i][1], Degrees(tracks[t][i][1]), 1e-6) << t << " " << i;
    }
    // Start and end as placemarks (GPSBabel's waypoints).
    const auto marks = ReadWithGpsBabel("kml", kml, false);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_NEAR(marks[0][0], Degrees(tracks[t].front()[0]), 1e-6);
    EXPECT_NEAR(marks[1][1], Degrees(tracks[t].back()[1]), 1e-6);
  }
}

TEST(TrackFiles, OnlyRecordsBetweenTheCursorsWithAFix) {
  // Records 1 and 3 have no fix (both minute values 0); record 5 lies outside A..B.
  const Flight f = TrackFlight({{4712345, 812345},
                                {4700000, -800000},
                                {4712400, 812400},
                                {0, 0},
                                {4712500, 800000},
                                {4712600, 812600}});
  const auto points = TrackPoints(f, 4, 0);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0].index, 0);
  EXPECT_EQ(points[1].index, 2);
  EXPECT_EQ(points[2].index, 4);
  const std::string gpx = GpxText(f, 0, 4, "a&b");
  EXPECT_NE(gpx.find("<name>a&amp;b</name>"), std::string::npos);
  EXPECT_NE(gpx.find("<gpx version=\"1.1\""), std::string::npos);
  EXPECT_NE(gpx.find("lat=\"47.2057500\" lon=\"8.2057500\""), std::string::npos);
  const std::string kml = KmlText(f, 0, 4, "x");
  EXPECT_NE(kml.find("xmlns=\"http://www.opengis.net/kml/2.2\""), std::string::npos);
  EXPECT_NE(kml.find("<name>Start</name>"), std::string::npos);
  EXPECT_NE(kml.find("<name>Ende</name>"), std::string::npos);
  EXPECT_EQ(XmlEscape("<'\">"), "&lt;&apos;&quot;&gt;");
  // No fix at all: a valid file without points.
  EXPECT_TRUE(TrackPoints(TrackFlight({{0, 0}}), 0, 0).empty());
}

TEST(TrackFiles, WrittenCompleteOrNotAtAll) {
  Dir dir;
  const Flight f = TrackFlight({{4712345, 812345}});
  const std::string target = dir.path + "/keep.gpx";
  std::ofstream(target) << "old";
  // A target in a folder that does not exist: the German error, nothing left behind.
  try {
    WriteGpxFile(dir.path + "/missing/x.gpx", f, 0, 0, "x");
    ADD_FAILURE() << "written into a missing folder";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Ungültiger Dateiname");
  }
  // A target that is a folder: the rename fails, the temporary file goes.
  ::mkdir((dir.path + "/folder.kml").c_str(), 0700);
  EXPECT_THROW(WriteKmlFile(dir.path + "/folder.kml", f, 0, 0, "x"), EInOutError);
  WriteGpxFile(target, f, 0, 0, "x");
  std::ifstream in(target);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), GpxText(f, 0, 0, "x"));
  // Only the written file and the folder remain.
  int entries = 0;
  std::FILE* ls = ::popen(("ls -A '" + dir.path + "'").c_str(), "r");
  char line[256];
  while (std::fgets(line, sizeof line, ls)) ++entries;
  ::pclose(ls);
  EXPECT_EQ(entries, 2);
}

TEST(TrackFiles, AGapInTheFixesStartsANewPieceAndEveryNameIsValidXml) {
  Dir dir;
  // Records 2 and 3 have no fix: two pieces of two and three points.
  const Flight f = TrackFlight({{4712345, 812345},
                                {4712400, 812400},
                                {4700000, 800000},
                                {0, 0},
                                {4712500, 812500},
                                {4712600, 812600},
                                {4712700, 812700}});
  // A name with control characters, which XML 1.0 cannot hold even as entities.
  const std::string name = std::string("Flug\x01\x1b[1m\x7f 7\t");
  const std::string gpx = GpxText(f, 0, 6, name);
  const std::string kml = KmlText(f, 0, 6, name);
  for (const std::string* text : {&gpx, &kml})
    for (char c : *text)
      EXPECT_FALSE((static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') || c == 0x7f)
          << static_cast<int>(c);
  size_t segments = 0;
  for (size_t at = gpx.find("<trkseg>"); at != std::string::npos; at = gpx.find("<trkseg>", at + 1))
    ++segments;
  EXPECT_EQ(segments, 2u);
  size_t lines = 0;
  for (size_t at = kml.find("<LineString>"); at != std::string::npos;
       at = kml.find("<LineString>", at + 1))
    ++lines;
  EXPECT_EQ(lines, 2u);
  // GPSBabel's XML parser takes both files and finds all five points.
  WriteGpxFile(dir.path + "/gap.gpx", f, 0, 6, name);
  WriteKmlFile(dir.path + "/gap.kml", f, 0, 6, name);
  EXPECT_EQ(ReadWithGpsBabel("gpx", dir.path + "/gap.gpx", true).size(), 5u);
  EXPECT_EQ(ReadWithGpsBabel("kml", dir.path + "/gap.kml", true).size(), 5u);
}

TEST(FileNames, ExtensionsFoldersAndTheQuestionBeforeReplacing) {
  EXPECT_EQ(WithExtension("/tmp/flug.2024", {".gpx"}), "/tmp/flug.2024.gpx");
  EXPECT_EQ(WithExtension("/tmp/flug", {".kml"}), "/tmp/flug.kml");
  EXPECT_EQ(WithExtension("/tmp/FLUG.GPX", {".gpx"}), "/tmp/FLUG.GPX");
  EXPECT_EQ(WithExtension("/tmp/a.b/bild", {".png", ".pdf"}), "/tmp/a.b/bild.png");
  EXPECT_EQ(WithExtension("bild.Pdf", {".png", ".pdf"}), "bild.Pdf");
  EXPECT_EQ(WithExtension("/tmp/.gpx", {".gpx"}), "/tmp/.gpx.gpx");
  EXPECT_EQ(FolderOf("/home/p/flug.csv"), "/home/p");
  EXPECT_EQ(FolderOf("/flug.csv"), "/");
  EXPECT_EQ(FolderOf("flug.csv"), "");
  EXPECT_EQ(InFolder("/home/p", "flug.gpx"), "/home/p/flug.gpx");
  EXPECT_EQ(InFolder("", "flug.gpx"), "flug.gpx");
  EXPECT_EQ(ReplaceQuestion("/x/flug.gpx"),
            "Die Datei „flug.gpx“ gibt es schon.\rSoll sie ersetzt werden?");
}

namespace {
// GPSBabel's unicsv of a track file as rows of named columns.
std::vector<std::map<std::string, std::string>> GpsBabelRows(const std::string& format,
                                                             const std::string& file) {
  const std::string cmd = "gpsbabel -t -i " + format + " -f '" + file + "' -o unicsv -F - 2>&1";
  std::FILE* p = ::popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while (p && (n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  EXPECT_EQ(p ? ::pclose(p) : -1, 0) << out;
  std::istringstream in(out);
  auto split = [](const std::string& line) {
    std::vector<std::string> f;
    std::istringstream ls(line);
    for (std::string v; std::getline(ls, v, ',');) {
      while (!v.empty() && (v.back() == '\r' || v.back() == ' ')) v.pop_back();
      f.push_back(v);
    }
    return f;
  };
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> names = split(line);
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = split(line);
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < f.size() && i < names.size(); ++i) row[names[i]] = f[i];
    rows.push_back(row);
  }
  return rows;
}

// A flight whose 16-bit ADC reads the pressure in hundredths of a hPa minus 50000 (raw
// 48875 = 988,75 hPa), two records a second, with a fix in every record.
Flight PressureFlight(int n) {
  Flight f = TrackFlight({});
  f.recordFlags1 = 0x01;
  f.sampleRateCode = 24;  // 0,5 s
  for (auto& col : f.columns) col.assign(n, 0);
  for (int i = 0; i < n; ++i) {
    f.columns[kAdc16][i] = 48875 - 40 * i;
    f.columns[kLatitude][i] = 4712000 + 10 * i;
    f.columns[kLongitude][i] = 812000 + 10 * i;
  }
  return f;
}

FlightOptions PressureOptions() {
  FlightOptions o;
  o.profile.altitude = AltitudeMethod::Pressure;
  o.profile.channels[kAdc16].calibrated = true;
  o.profile.channels[kAdc16].unit = "hPa";
  o.profile.channels[kAdc16].linear = {0.01, 500};
  o.qnhHpa = 1020;
  return o;
}
}  // namespace

TEST(TrackFiles, GpsBabelReadsTheAltitudesAndTimesTheOptionsGive) {
  Dir dir;
  const Flight f = PressureFlight(20);
  FlightOptions o = PressureOptions();
  o.takeOffUtc = 1714555800;  // 2024-05-01 09:30:00 UTC
  const std::string gpx = dir.path + "/hoch.gpx";
  WriteGpxFile(gpx, f, 3, 19, "hoch", o);
  const auto rows = GpsBabelRows("gpx", gpx);
  ASSERT_EQ(rows.size(), 17u);
  for (size_t k = 0; k < rows.size(); ++k) {
    const double hPa = (48875 - 40.0 * (k + 3)) / 100 + 500;  // raw × 0,01 + 500
    const double want = 44330.77 * (1 - std::pow(hPa / 1020, 0.190263));
    ASSERT_TRUE(rows[k].count("Altitude")) << "no altitude column";
    EXPECT_NEAR(std::stod(rows[k].at("Altitude")), want, 0.051) << k;
  }
  // Record 3 at 1,5 s after take-off; record 4 at 2 s.
  EXPECT_EQ(rows[0].at("Date"), "2024/05/01");
  EXPECT_EQ(rows[0].at("Time").substr(0, 10), "09:30:01.5");
  EXPECT_EQ(rows[1].at("Time").substr(0, 8), "09:30:02");
  EXPECT_NE(GpxText(f, 3, 19, "hoch", o).find("<time>2024-05-01T09:30:01.5Z</time>"),
            std::string::npos);
  // The KML line at its altitude, extruded; GPSBabel reads the same altitudes.
  const std::string kml = dir.path + "/hoch.kml";
  WriteKmlFile(kml, f, 3, 19, "hoch", o);
  const std::string kmlText = KmlText(f, 3, 19, "hoch", o);
  EXPECT_NE(kmlText.find("<altitudeMode>absolute</altitudeMode>"), std::string::npos);
  EXPECT_NE(kmlText.find("<extrude>1</extrude>"), std::string::npos);
  const auto kmlRows = GpsBabelRows("kml", kml);
  ASSERT_EQ(kmlRows.size(), 17u);
  EXPECT_EQ(kmlRows[5].at("Altitude"), rows[5].at("Altitude"));

  // "Höhe über Start" has no sea level; without a take-off time no times; without
  // options (the command-line tool's default) positions only, on the ground.
  FlightOptions aboveStart = PressureOptions();
  aboveStart.aboveStart = true;
  for (const FlightOptions& plain : {aboveStart, FlightOptions{}}) {
    const std::string text = GpxText(f, 0, 19, "x", plain);
    EXPECT_EQ(text.find("<ele>"), std::string::npos);
    EXPECT_EQ(text.find("<time>"), std::string::npos);
    const std::string k = KmlText(f, 0, 19, "x", plain);
    EXPECT_NE(k.find("<altitudeMode>clampToGround</altitudeMode>"), std::string::npos);
    EXPECT_EQ(k.find("<extrude>"), std::string::npos);
  }
  EXPECT_EQ(GpxText(f, 0, 19, "x"), GpxText(f, 0, 19, "x", FlightOptions{}));
}
