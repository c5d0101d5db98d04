#include "graph/graph.h"

#include <cmath>
#include <string>

namespace graph {

const char* const kCaption = "Höhe";

int RoundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

int LiveX(int32_t n, double sampleInterval) {
  return RoundHalfEven(n * sampleInterval) % kLiveWrapX;
}

int LiveAltitudeY(int32_t n, int32_t v, int32_t graphStep, int32_t& reference) {
  if (n > 0 && n < 10 * graphStep && v > reference && v < kAltitudeCeiling) reference = v;
  const int32_t d = reference - v;
  return (120 - d / 4) % 128;
}

int Adc0Y(uint8_t b2, uint8_t b3) { return 128 - ((b2 & 3) * 32 + b3 / 8); }

FinalScale FinalGraphScale(int32_t lastSampleIndex, int width, double sampleInterval) {
  FinalScale s;
  s.recordsPerPixel = width > 0 ? static_cast<double>(lastSampleIndex) / width : 0.0;
  s.pixelsPerMinute = 60.0 / (sampleInterval * s.recordsPerPixel);
  s.tickStepMinutes = 1;
  if (s.pixelsPerMinute < 10) s.tickStepMinutes = 10;
  if (s.pixelsPerMinute < 1) s.tickStepMinutes = 60;
  return s;
}

int TickX(int k, const FinalScale& s, double sampleInterval) {
  const double label = static_cast<double>(k) * s.tickStepMinutes;
  const double x = label / sampleInterval / s.recordsPerPixel * 60.0;
  if (!(x < 2e9)) return 2000000000;  // no scale (no records): past every width
  return RoundHalfEven(x);
}

int32_t FinalReference(const FlightData& fd) {
  int32_t reference = 0;
  for (int r = 2; r <= 50; ++r) {
    const int32_t v = static_cast<int32_t>(Word(fd.SampleTable[r], 0));
    if (v > reference && v < kAltitudeCeiling) reference = v;
  }
  return reference;
}

int32_t FinalRecordIndex(int x, double recordsPerPixel) {
  const int32_t r = RoundHalfEven(x * recordsPerPixel);
  if (r < 0) return 0;
  return r < kSampleTableSize ? r : kSampleTableSize - 1;
}

int FinalAltitudeY(int32_t reference, int32_t v) { return 120 - (reference - v) / 4; }

int32_t MarkerIndex(int X, int32_t lastSampleIndex, int width) {
  if (width <= 0) return 0;
  const int64_t product = static_cast<int64_t>(X) * lastSampleIndex;
  return RoundHalfEven(static_cast<double>(product) / width);
}

int BremseX(int i, int width) {
  return RoundHalfEven(static_cast<double>(i) * width / 10000.0) % kLiveWrapX;
}

int BremseY(int i) { return RoundHalfEven(64 - std::sin(i / 1000.0) * 50); }

int BremseElapsed(int startSec, int startMs, int endSec, int endMs) {
  int seconds = endSec - startSec;
  if (endSec < startSec) seconds += 60;
  return seconds * 1000 + endMs - startMs;
}

int32_t GraphStepFromElapsed(int elapsedMs) { return (elapsedMs / 100) | 1; }

}  // namespace graph

using namespace graph;

namespace {
void DrawGridFrame(GraphCanvas& c, int fillWidth, int fillHeight) {
  c.FillRect(0, 0, fillWidth, fillHeight, GraphWhite);
  c.TextOut(kCaptionX, kCaptionY, kCaption);
  c.SetPenInvert(false);
  c.SetPenColor(GraphBlue);
}
void DrawTick(GraphCanvas& c, int x, int label) {
  c.MoveTo(x, kBaselineY);
  c.LineTo(x, kGridTopY);
  c.TextOut(x, kGridLabelY, std::to_string(label));
}
void DrawBaselineAndStart(GraphCanvas& c, int width) {
  c.MoveTo(0, kBaselineY);
  c.LineTo(width, kBaselineY);
  c.SetPenColor(GraphBlack);
  c.MoveTo(0, kBaselineY);
}
}  // namespace

void LiveGraph::PrepareLiveGraph(GraphCanvas& bitmap) {
  DrawGridFrame(bitmap, bitmap.Width(), bitmap.Height());
  for (int k = 1; k <= 7; ++k) DrawTick(bitmap, 60 * k, k);
  DrawBaselineAndStart(bitmap, bitmap.Width());
  reference_ = kLiveReferenceStart;
}

void LiveGraph::PlotLivePoint(GraphCanvas& bitmap, const FlightData& fd, int32_t n,
                              int32_t graphStep) {
  if (n < 0 || n >= kSampleTableSize) return;
  const SampleRecord& r = fd.SampleTable[n];
  if (fd.RecordFlags1 & 0x01) {
    const int x = LiveX(n, fd.SampleInterval());
    const int y = LiveAltitudeY(n, static_cast<int32_t>(Word(r, 0)), graphStep, reference_);
    bitmap.LineTo(x, y);
  } else if (fd.RecordFlags1 & 0x02) {
    bitmap.LineTo(LiveX(n, fd.SampleInterval()), Adc0Y(r.b[2], r.b[3]));
  }
}

void DrawFinalGraph(GraphCanvas& box, const FlightData& fd, int bitmapWidth, int bitmapHeight) {
  const int width = box.Width();
  const double si = fd.SampleInterval();
  const FinalScale s = FinalGraphScale(fd.LastSampleIndex, width, si);
  DrawGridFrame(box, bitmapWidth, bitmapHeight);
  ForEachTick(s, si, width, [&](int x, int label) { DrawTick(box, x, label); });
  DrawBaselineAndStart(box, width);
  if (fd.RecordFlags1 & 0x01) {
    const int32_t reference = FinalReference(fd);
    for (int x = 1; x <= width - 1; ++x) {
      const SampleRecord& r = fd.SampleTable[FinalRecordIndex(x, s.recordsPerPixel)];
      box.LineTo(x, FinalAltitudeY(reference, static_cast<int32_t>(Word(r, 0))));
    }
  } else if (fd.RecordFlags1 & 0x02) {
    for (int x = 1; x <= width - 1; ++x) {
      const SampleRecord& r = fd.SampleTable[FinalRecordIndex(x, s.recordsPerPixel)];
      box.LineTo(x, Adc0Y(r.b[2], r.b[3]));
    }
  }
  box.Flush();
}

void GraphMarkers::InvertColumns(GraphCanvas& box, int from, int to) {
  box.SetPenColor(GraphBlack);
  box.SetPenInvert(true);
  for (int c = from; c <= to; ++c) {
    box.MoveTo(c, kMarkerTopY);
    box.LineTo(c, box.Height());
  }
  box.SetPenInvert(false);
}

void GraphMarkers::Image1MouseDown(GraphCanvas& box, bool paintBoxVisible, TMouseButton button,
                                   int X, FlightData& fd) {
  if (!paintBoxVisible || fd.LastSampleIndex <= 0) return;
  const int width = box.Width();
  if (button == TMouseButton::mbLeft) {
    if (X >= RightMarkerX) return;
    InvertColumns(box, 0, LeftMarkerX);  // restores the old band
    LeftMarkerX = X;
    InvertColumns(box, 0, LeftMarkerX);
    fd.ExportFirstIndex = MarkerIndex(LeftMarkerX, fd.LastSampleIndex, width);
  } else if (button == TMouseButton::mbRight) {
    if (X <= LeftMarkerX) return;
    InvertColumns(box, RightMarkerX, width);
    RightMarkerX = X;
    InvertColumns(box, RightMarkerX, width);
    fd.ExportLastIndex = MarkerIndex(RightMarkerX, fd.LastSampleIndex, width);
  }
  box.Flush();
}
