// The flight graph: the live graph that a download sweeps across the off-screen bitmap,
// the final graph of the whole flight on the paint box, the two markers that choose the
// export range, and the numbers of the display-speed measurement. The geometry is plain
// functions; the drawing works on any GraphCanvas.
//
// Integers: rounding is to the nearest integer with halves to the even neighbour
// (std::nearbyint in the default rounding mode); / truncates toward zero and % keeps the
// sign of the dividend, as C++ does.
#pragma once

#include <cstdint>

#include "graph/graphcanvas.h"
#include "model/sampletable.h"

namespace graph {

constexpr int kBaselineY = 128;
constexpr int kGridTopY = 10;
constexpr int kGridLabelY = 9;
constexpr int kCaptionX = 10;
constexpr int kCaptionY = 20;
constexpr int kLiveWrapX = 470;
constexpr int kMarkerTopY = 22;
constexpr int32_t kLiveReferenceStart = 8000;
constexpr int32_t kAltitudeCeiling = 11000;  // values at or above this never become reference
extern const char* const kCaption;           // "Höhe"

int RoundHalfEven(double v);

// Live graph: one pixel per second, wrapping at 470.
int LiveX(int32_t n, double sampleInterval);
// Altitude point of record n: may raise the reference during the first 10 x graphStep
// records; the result is (120 - d / 4) % 128 with d = reference - v, off the box when
// that is negative.
int LiveAltitudeY(int32_t n, int32_t v, int32_t graphStep, int32_t& reference);
// ADC 0 point: 128 minus the 10-bit value divided by 8.
int Adc0Y(uint8_t b2, uint8_t b3);

// Final graph.
struct FinalScale {
  double recordsPerPixel = 0;
  double pixelsPerMinute = 0;
  int tickStepMinutes = 1;
};
FinalScale FinalGraphScale(int32_t lastSampleIndex, int width, double sampleInterval);
// x of tick k (label k x step minutes).
int TickX(int k, const FinalScale& s, double sampleInterval);
// Calls f(x, label) for every tick with x <= width, from x = 0 on. Returns the count.
template <typename F>
int ForEachTick(const FinalScale& s, double sampleInterval, int width, F&& f) {
  int count = 0;
  // The tick positions grow with k; the cap only guards against a degenerate scale.
  for (int k = 0; k <= 1000000; ++k) {
    const int x = TickX(k, s, sampleInterval);
    if (x > width) break;
    f(x, k * s.tickStepMinutes);
    ++count;
  }
  return count;
}
// The altitude zero of the final graph: the highest value below 11000 among records 2..50.
int32_t FinalReference(const FlightData& fd);
// The record shown at column x.
int32_t FinalRecordIndex(int x, double recordsPerPixel);
int FinalAltitudeY(int32_t reference, int32_t v);

// Markers: the record that column X stands for.
int32_t MarkerIndex(int X, int32_t lastSampleIndex, int width);

// Display-speed measurement.
int BremseX(int i, int width);
int BremseY(int i);
// Milliseconds between two wall-clock readings of which only seconds and milliseconds
// are known (the minute may have turned once).
int BremseElapsed(int startSec, int startMs, int endSec, int endMs);
int32_t GraphStepFromElapsed(int elapsedMs);

}  // namespace graph

// The live graph of one download on the off-screen bitmap; it keeps the altitude
// reference of that download.
class LiveGraph {
 public:
  void PrepareLiveGraph(GraphCanvas& bitmap);
  void PlotLivePoint(GraphCanvas& bitmap, const FlightData& fd, int32_t n, int32_t graphStep);
  int32_t Reference() const { return reference_; }

 private:
  int32_t reference_ = graph::kLiveReferenceStart;
};

// The final graph, drawn directly on the paint box; the white fill takes the bitmap's size.
void DrawFinalGraph(GraphCanvas& paintBox, const FlightData& fd, int bitmapWidth, int bitmapHeight);

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// The two markers of the final graph. The columns left of the left marker and right of
// the right marker are shown inverted; the markers set the export range.
class GraphMarkers {
 public:
  int32_t LeftMarkerX = 0;
  int32_t RightMarkerX = 473;

  // The window reset: left at 0, right at the paint box width.
  void Reset(int paintBoxWidth) {
    LeftMarkerX = 0;
    RightMarkerX = paintBoxWidth;
  }
  // Mouse-down on the paint box.
  void Image1MouseDown(GraphCanvas& paintBox, bool paintBoxVisible, TMouseButton button, int X,
                       FlightData& fd);

 private:
  static void InvertColumns(GraphCanvas& box, int from, int to);
};
