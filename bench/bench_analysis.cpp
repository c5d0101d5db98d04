// The flight analysis: opening a saved CSV of 65536 records with every channel, computing
// the calibrated and derived channels, a redraw of all lanes (derived ones and value axes
// included) at 1280 x 800 after zoom and pan, and a redraw of the coloured track.
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "formats/flightcsv.h"
#include "analysis/channels.h"
#include "app/flightchart.h"
#include "app/trackview.h"
#include "bench/bench.h"
#include "formats/csvexport.h"

namespace bench {

int RunAnalysis(const Args& args) {
  const int n = static_cast<int>(args.Int("records", 65536));
  const int reps = static_cast<int>(args.Int("reps", 7));
  const int width = static_cast<int>(args.Int("width", 1280));
  const int height = static_cast<int>(args.Int("height", 800));

  // A table as a download with every channel leaves it: noisy values on every lane.
  auto fd = std::make_unique<FlightData>();
  fd->RecordFlags1 = 0xFF;
  fd->RecordFlags2 = 0x77;
  fd->SampleRateCode = 0;
  fd->LatHemisphere = 'N';
  fd->LatDegrees = 47;
  fd->LonHemisphere = 'E';
  fd->LonDegrees = 8;
  std::mt19937 rng(1);
  for (int i = 0; i < n; ++i) {
    SampleRecord& r = fd->SampleTable[i];
    for (int k = 0; k < 23; ++k) r.b[k] = static_cast<uint8_t>(rng());
    // A track that wanders as a flight does, a new position about every second.
    // (50 records of 0,02 s).
    const double second = i / 50;
    const int lat = 20000 + static_cast<int>(8000 * std::sin(second / 180.0));
    const int lon = 30000 + static_cast<int>(9000 * std::cos(second / 140.0));
    r.b[17] = static_cast<uint8_t>(lat >> 8), r.b[18] = static_cast<uint8_t>(lat);
    r.b[19] = static_cast<uint8_t>(lon >> 8), r.b[20] = static_cast<uint8_t>(lon);
  }
  fd->LastSampleIndex = n - 1;
  fd->ExportLastIndex = n - 1;
  fd->GradFilter();
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/flight.csv";
  WriteCsvFile(path, *fd);

  std::vector<double> openMs;
  std::shared_ptr<analysis::Flight> flight;
  for (int r = 0; r < reps; ++r) {
    const auto t0 = Clock::now();
    auto f = std::make_shared<analysis::Flight>(analysis::ReadFlightCsvFile(path));
    openMs.push_back(MsSince(t0, Clock::now()));
    flight = std::move(f);
  }
  std::printf(
      "  open a CSV of %d records, all channels (%zu kB): median %.1f ms (min %.1f, max %.1f)\n", n,
      static_cast<size_t>(QFileInfo(QString::fromStdString(path)).size() / 1024), Median(openMs),
      *std::min_element(openMs.begin(), openMs.end()),
      *std::max_element(openMs.begin(), openMs.end()));

  // The altitude as a pressure sensor gives it, so every derived channel is there.
  analysis::FlightOptions options;
  options.profile.altitude = analysis::AltitudeMethod::Pressure;
  options.profile.channels[analysis::kAdc16].calibrated = true;
  options.profile.channels[analysis::kAdc16].linear = {0.002, 900};
  std::vector<double> deriveMs;
  std::vector<analysis::AnalysisChannel> channels;
  for (int r = 0; r < std::max(reps * 3, 10); ++r) {
    const auto t0 = Clock::now();
    channels = analysis::AnalysisChannels(*flight, options);
    deriveMs.push_back(MsSince(t0, Clock::now()));
  }
  std::printf(
      "  every channel calibrated and derived (altitude, climb rate, speed, distance, track) "
      "for %d records: median %.2f ms (min %.2f, max %.2f)\n",
      n, Median(deriveMs), *std::min_element(deriveMs.begin(), deriveMs.end()),
      *std::max_element(deriveMs.begin(), deriveMs.end()));

  FlightChart chart;
  chart.SetFlight(flight, options);
  QImage img(width, height, QImage::Format_RGB32);
  const QSize size(width, height);
  struct View {
    const char* what;
    double v0, v1;
  };
  const View views[] = {
      {"whole flight", 0, n - 1.0},
      {"zoomed to 1/10, panned", n * 0.31, n * 0.41},
      {"zoomed to 2000 records", n * 0.5, n * 0.5 + 2000},
      {"zoomed to 300 records (a line through every record)", n * 0.2, n * 0.2 + 300}};
  std::printf("  redraw of %zu lanes at %d x %d (Render onto an image, as paintEvent draws):\n",
              chart.ShownLanes().size(), width, height);
  for (const View& v : views) {
    std::vector<double> ms;
    for (int r = 0; r < std::max(reps * 3, 10); ++r) {
      // Every redraw after a small pan, as a drag gives.
      chart.SetView(v.v0 + r, v.v1 + r);
      const auto t0 = Clock::now();
      QPainter p(&img);
      chart.Render(p, size);
      p.end();
      ms.push_back(MsSince(t0, Clock::now()));
    }
    std::printf("    %-55s median %6.2f ms  (min %.2f, max %.2f)\n", v.what, Median(ms),
                *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()));
  }

  // The track beside the lanes, coloured by the ground speed with its legend.
  TrackView track;
  track.SetFlight(flight);
  track.SetColouring(analysis::FindChannel(channels, analysis::kGroundSpeed));
  const QRect trackRect(0, 0, 400, 500);
  QImage trackImg(trackRect.size(), QImage::Format_RGB32);
  std::vector<double> trackMs;
  for (int r = 0; r < std::max(reps * 3, 10); ++r) {
    track.SetCursors(r * 100, n - 1 - r * 100);
    const auto t0 = Clock::now();
    QPainter p(&trackImg);
    track.Render(p, trackRect);
    p.end();
    trackMs.push_back(MsSince(t0, Clock::now()));
  }
  std::printf(
      "  redraw of the track coloured by speed, %d x %d: median %.2f ms (min %.2f, max %.2f)\n",
      trackRect.width(), trackRect.height(), Median(trackMs),
      *std::min_element(trackMs.begin(), trackMs.end()),
      *std::max_element(trackMs.begin(), trackMs.end()));
  return 0;
}

}  // namespace bench
