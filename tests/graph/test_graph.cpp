// Graph geometry, the drawing on a pixel canvas, and the markers.
#include <gtest/gtest.h>

#include "graph/graph.h"
#include "tests/support/flight_support.h"

using namespace graph;

namespace {
void SetAlt(SampleRecord& r, int v) { r.b[0] = v >> 8, r.b[1] = v & 0xFF; }
}  // namespace

TEST(GraphGeometry, LiveXOnePixelPerSecondWrapsAt470) {
  // Code 0: one pixel every 50 records.
  EXPECT_EQ(LiveX(24, 0.02), 0);  // 0.48
  EXPECT_EQ(LiveX(25, 0.02), 0);  // 0.5 rounds to even
  EXPECT_EQ(LiveX(26, 0.02), 1);
  EXPECT_EQ(LiveX(75, 0.02), 2);  // 1.5 rounds to even
  EXPECT_EQ(LiveX(100, 0.02), 2);
  // Code 49: one pixel per record, wrapping at 470, not at the width.
  EXPECT_EQ(LiveX(469, 1.0), 469);
  EXPECT_EQ(LiveX(470, 1.0), 0);
  EXPECT_EQ(LiveX(1000, 1.0), 60);
}

TEST(GraphGeometry, LiveAltitudeAndReference) {
  int32_t ref = 8000;
  EXPECT_EQ(LiveAltitudeY(0, 8040, 1, ref), 2);    // d = -40: (120 + 10) mod 128
  EXPECT_EQ(ref, 8000);                            // record 0 never sets it
  EXPECT_EQ(LiveAltitudeY(5, 8100, 1, ref), 120);  // raised within 10 x GraphStep
  EXPECT_EQ(ref, 8100);
  EXPECT_EQ(LiveAltitudeY(10, 8200, 1, ref), (120 + 25) % 128);  // too late to raise
  EXPECT_EQ(ref, 8100);
  EXPECT_EQ(LiveAltitudeY(29, 9000, 3, ref), 120);  // GraphStep 3: up to record 29
  EXPECT_EQ(LiveAltitudeY(3, 11000, 3, ref), 108);  // (120 + 500) mod 128
  EXPECT_EQ(ref, 9000);                             // 11000 is never a reference
  // Far below the reference: a negative dividend keeps its sign.
  ref = 8000;
  EXPECT_EQ(LiveAltitudeY(50, 7000, 1, ref), -2);   // (120 - 250) mod 128, off the box
  EXPECT_EQ(LiveAltitudeY(50, 7997, 1, ref), 120);  // 3 div 4 = 0
}

TEST(GraphGeometry, Adc0Point) {
  EXPECT_EQ(Adc0Y(0, 0), 128);
  EXPECT_EQ(Adc0Y(0xFF, 0xFF), 128 - (96 + 31));
  EXPECT_EQ(Adc0Y(0xFC, 0x10), 126);  // only the two low bits of byte 2 count
}

TEST(GraphGeometry, FinalScaleAndTicks) {
  auto ticks = [](int32_t last, double si, int width) {
    const FinalScale s = FinalGraphScale(last, width, si);
    std::vector<std::pair<int, int>> t;
    ForEachTick(s, si, width, [&](int x, int label) { t.push_back({x, label}); });
    return std::make_pair(s, t);
  };
  auto [s1, t1] = ticks(473, 1.0, 473);
  EXPECT_DOUBLE_EQ(s1.recordsPerPixel, 1.0);
  EXPECT_DOUBLE_EQ(s1.pixelsPerMinute, 60.0);
  EXPECT_EQ(s1.tickStepMinutes, 1);
  ASSERT_EQ(t1.size(), 8u);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(t1[k], std::make_pair(60 * k, k));

  auto [s2, t2] = ticks(65535, 0.02, 473);
  EXPECT_NEAR(s2.recordsPerPixel, 138.55, 0.01);
  EXPECT_NEAR(s2.pixelsPerMinute, 21.65, 0.01);
  EXPECT_EQ(s2.tickStepMinutes, 1);
  ASSERT_EQ(t2.size(), 22u);  // 21 x 21.65 = 454.7; 22 x 21.65 > 473
  EXPECT_EQ(t2[1].first, 22);
  EXPECT_EQ(t2[21], std::make_pair(455, 21));

  auto [s3, t3] = ticks(65535, 249 * 0.02 + 0.02, 473);
  EXPECT_NEAR(s3.pixelsPerMinute, 0.087, 0.001);
  EXPECT_EQ(s3.tickStepMinutes, 60);
  ASSERT_EQ(t3.size(), 92u);  // every 5.197 px; tick 91 at 472.9 still fits
  EXPECT_EQ(t3[1], std::make_pair(5, 60));
  EXPECT_EQ(t3[91], std::make_pair(473, 5460));

  auto [s4, t4] = ticks(4730, 1.0, 473);  // 6 px per minute: every 10 minutes
  EXPECT_EQ(s4.tickStepMinutes, 10);
  EXPECT_EQ(t4.size(), 8u);
  EXPECT_EQ(t4[7], std::make_pair(420, 70));
}

TEST(GraphGeometry, FinalReferenceRecordsAndMarkerIndex) {
  auto fd = NewFlight();
  SetAlt(fd->SampleTable[1], 10000);  // before record 2: not looked at
  SetAlt(fd->SampleTable[2], 500);
  SetAlt(fd->SampleTable[30], 10998);
  SetAlt(fd->SampleTable[40], 11000);  // too high
  SetAlt(fd->SampleTable[51], 10999);  // after record 50: not looked at
  EXPECT_EQ(FinalReference(*fd), 10998);
  SetAlt(fd->SampleTable[30], 0);
  EXPECT_EQ(FinalReference(*fd), 500);
  EXPECT_EQ(FinalAltitudeY(500, 100), 20);
  EXPECT_EQ(FinalAltitudeY(500, 503), 120);  // -3 div 4 = 0

  EXPECT_EQ(FinalRecordIndex(1, 0.5), 0);  // 0.5 to even
  EXPECT_EQ(FinalRecordIndex(3, 0.5), 2);  // 1.5 to even
  EXPECT_EQ(FinalRecordIndex(472, 65535.0 / 473), 65396);

  EXPECT_EQ(MarkerIndex(100, 473, 473), 100);
  EXPECT_EQ(MarkerIndex(1, 709, 473), 1);  // 1.499
  EXPECT_EQ(MarkerIndex(1, 710, 473), 2);  // 1.501
  EXPECT_EQ(MarkerIndex(473, 65535, 473), 65535);
  EXPECT_EQ(MarkerIndex(5, 946, 1892), 2);         // 2.5 to even
  EXPECT_EQ(MarkerIndex(7, 1, 2), 4);              // 3.5 to even
  EXPECT_EQ(MarkerIndex(472, 65535, 473), 65396);  // 65396.45
}

TEST(GraphGeometry, BremseNumbers) {
  EXPECT_EQ(BremseX(0, 473), 0);
  EXPECT_EQ(BremseX(1000, 473), 47);  // 47.3
  EXPECT_EQ(BremseX(10000, 473), 3);  // 473 mod 470
  EXPECT_EQ(BremseY(0), 64);
  EXPECT_EQ(BremseY(1000), 22);  // 64 - 42.07
  EXPECT_EQ(BremseY(500), 40);   // 64 - 23.97
  EXPECT_EQ(BremseElapsed(10, 200, 10, 500), 300);
  EXPECT_EQ(BremseElapsed(59, 900, 0, 350), 450);  // over the minute
  EXPECT_EQ(BremseElapsed(5, 900, 6, 100), 200);
  EXPECT_EQ(GraphStepFromElapsed(300), 3);
  EXPECT_EQ(GraphStepFromElapsed(450), 5);
  EXPECT_EQ(GraphStepFromElapsed(20), 1);
  EXPECT_EQ(GraphStepFromElapsed(0), 1);
  EXPECT_EQ(GraphStepFromElapsed(1299), 13);
  EXPECT_EQ(GraphStepFromElapsed(1000), 11);
}

TEST(GraphDrawing, LiveGraphFrameAndPoints) {
  RasterCanvas bmp(473, 137);
  auto fd = NewFlight();
  LiveGraph live;
  live.PrepareLiveGraph(bmp);
  EXPECT_EQ(bmp.At(0, 0), GraphWhite);
  EXPECT_EQ(bmp.At(472, 136), GraphWhite);
  ASSERT_GE(bmp.texts.size(), 8u);
  EXPECT_EQ(bmp.texts[0].s, "Höhe");
  EXPECT_EQ(bmp.texts[0].x, 10);
  EXPECT_EQ(bmp.texts[0].y, 20);
  for (int k = 1; k <= 7; ++k) {
    EXPECT_EQ(bmp.texts[k].s, std::to_string(k));
    EXPECT_EQ(bmp.texts[k].x, 60 * k);
    EXPECT_EQ(bmp.texts[k].y, 9);
    EXPECT_EQ(bmp.At(60 * k, 128), GraphBlue);
    EXPECT_EQ(bmp.At(60 * k, 11), GraphBlue);
    EXPECT_EQ(bmp.At(60 * k, 10), GraphWhite);  // the end point is left out
  }
  EXPECT_EQ(bmp.At(30, 128), GraphBlue);
  EXPECT_EQ(bmp.At(30, 127), GraphWhite);
  EXPECT_EQ(bmp.Pen(), std::make_pair(0, 128));
  EXPECT_EQ(live.Reference(), 8000);

  fd->RecordFlags1 = 0x01;
  fd->SampleRateCode = 49;
  SetAlt(fd->SampleTable[1], 8400);
  live.PlotLivePoint(bmp, *fd, 1, 1);
  EXPECT_EQ(live.Reference(), 8400);
  EXPECT_EQ(bmp.Pen(), std::make_pair(1, 120));
  EXPECT_EQ(bmp.At(0, 128), GraphBlack);  // black curve from the start point

  fd->RecordFlags1 = 0x02;  // no 16-bit ADC: ADC 0
  fd->SampleTable[2].b[2] = 1, fd->SampleTable[2].b[3] = 64;
  live.PlotLivePoint(bmp, *fd, 2, 1);
  EXPECT_EQ(bmp.Pen(), std::make_pair(2, 128 - 40));

  fd->RecordFlags1 = 0xFC;  // neither: nothing drawn
  const size_t before = bmp.segments.size();
  live.PlotLivePoint(bmp, *fd, 3, 1);
  EXPECT_EQ(bmp.segments.size(), before);
  live.PrepareLiveGraph(bmp);  // a new download starts afresh
  EXPECT_EQ(live.Reference(), 8000);
  EXPECT_EQ(bmp.At(1, 121), GraphWhite);
}

TEST(GraphDrawing, FinalGraphOverTheWholeWidth) {
  RasterCanvas box(473, 137);
  auto fd = NewFlight();
  fd->RecordFlags1 = 0x01;
  fd->SampleRateCode = 49;
  fd->LastSampleIndex = 946;  // two records per pixel
  for (int i = 0; i <= 946; ++i) SetAlt(fd->SampleTable[i], 1000 + i);
  DrawFinalGraph(box, *fd, 473, 137);
  EXPECT_EQ(box.flushes, 1);
  // Ticks every 30 px: 2 records per pixel at 1 s.
  std::vector<int> tickX;
  for (const auto& t : box.texts)
    if (t.s != "Höhe") tickX.push_back(t.x);
  ASSERT_EQ(tickX.size(), 16u);
  EXPECT_EQ(tickX[0], 0);
  EXPECT_EQ(tickX[15], 450);
  // Reference = record 50's value; column x shows record 2x.
  const auto& seg = box.segments;
  const int firstCurve = static_cast<int>(seg.size()) - 472;
  ASSERT_GT(firstCurve, 0);
  EXPECT_EQ(seg[firstCurve], std::make_pair(1, 120 - (1050 - 1002) / 4));
  EXPECT_EQ(seg[firstCurve + 24], std::make_pair(25, 120));
  EXPECT_EQ(seg.back(), std::make_pair(472, 120 - (1050 - 1944) / 4));  // no wrap: off the top
  EXPECT_EQ(box.At(0, 128), GraphBlack);                                // curve starts at (0, 128)
}

namespace {
// Shaded = inverted from the white background of the final graph.
bool Shaded(const RasterCanvas& c, int x) {
  for (int y = 22; y < c.Height(); ++y)
    if (c.At(x, y) != (~GraphWhite & 0xFFFFFF)) return false;
  return c.At(x, 21) == GraphWhite;
}
bool Plain(const RasterCanvas& c, int x) {
  for (int y = 22; y < c.Height(); ++y)
    if (c.At(x, y) != GraphWhite) return false;
  return true;
}
}  // namespace

class MarkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box.FillRect(0, 0, 473, 137, GraphWhite);
    fd->LastSampleIndex = 946;
    fd->ExportFirstIndex = 0;
    fd->ExportLastIndex = 946;
    m.Reset(473);
  }
  RasterCanvas box{473, 137};
  std::unique_ptr<FlightData> fd = NewFlight();
  GraphMarkers m;
};

TEST_F(MarkerTest, LeftClicksMoveTheShadedBand) {
  m.Image1MouseDown(box, true, TMouseButton::mbLeft, 100, *fd);
  EXPECT_TRUE(Plain(box, 0));  // toggled twice
  EXPECT_TRUE(Shaded(box, 1));
  EXPECT_TRUE(Shaded(box, 100));
  EXPECT_TRUE(Plain(box, 101));
  EXPECT_EQ(fd->ExportFirstIndex, 200);
  m.Image1MouseDown(box, true, TMouseButton::mbLeft, 50, *fd);
  EXPECT_TRUE(Plain(box, 0));
  for (int x = 1; x <= 50; ++x) EXPECT_TRUE(Shaded(box, x)) << x;
  for (int x = 51; x <= 100; ++x) EXPECT_TRUE(Plain(box, x)) << x;
  EXPECT_EQ(m.LeftMarkerX, 50);
  EXPECT_EQ(fd->ExportFirstIndex, 100);
}

TEST_F(MarkerTest, RightClicksAndRefusedClicks) {
  m.Image1MouseDown(box, true, TMouseButton::mbRight, 400, *fd);
  for (int x = 400; x < 473; ++x) EXPECT_TRUE(Shaded(box, x)) << x;
  EXPECT_TRUE(Plain(box, 399));
  EXPECT_EQ(fd->ExportLastIndex, 800);
  EXPECT_EQ(m.RightMarkerX, 400);
  m.Image1MouseDown(box, true, TMouseButton::mbLeft, 200, *fd);
  EXPECT_EQ(fd->ExportFirstIndex, 400);

  const RasterCanvas before = box;
  auto same = [&] {
    for (int x = 0; x < 473; ++x)
      for (int y = 0; y < 137; ++y)
        if (box.At(x, y) != before.At(x, y)) return false;
    return true;
  };
  m.Image1MouseDown(box, true, TMouseButton::mbRight, 200, *fd);  // not right of the left
  m.Image1MouseDown(box, true, TMouseButton::mbRight, 150, *fd);
  m.Image1MouseDown(box, true, TMouseButton::mbLeft, 400, *fd);  // not left of the right
  m.Image1MouseDown(box, true, TMouseButton::mbMiddle, 300, *fd);
  m.Image1MouseDown(box, false, TMouseButton::mbLeft, 10, *fd);  // paint box hidden
  fd->LastSampleIndex = 0;
  m.Image1MouseDown(box, true, TMouseButton::mbLeft, 10, *fd);  // nothing downloaded
  EXPECT_TRUE(same());
  EXPECT_EQ(m.LeftMarkerX, 200);
  EXPECT_EQ(m.RightMarkerX, 400);
  EXPECT_EQ(fd->ExportFirstIndex, 400);
  EXPECT_EQ(fd->ExportLastIndex, 800);
  EXPECT_LE(fd->ExportFirstIndex, fd->ExportLastIndex);
}
