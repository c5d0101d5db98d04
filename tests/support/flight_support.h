// Test doubles of the flight tests: a pixel canvas for the graph, and a sample table of
// its own for each test.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/sampletable.h"
#include "graph/graphcanvas.h"

// A canvas on a plain pixel array; lines clip at the edges, the end point is left out.
class RasterCanvas : public GraphCanvas {
 public:
  RasterCanvas(int w, int h, uint32_t fill = 0x123456) : w_(w), h_(h), px_(w * h, fill) {}
  int Width() const override { return w_; }
  int Height() const override { return h_; }
  void FillRect(int l, int t, int r, int b, uint32_t c) override {
    for (int y = std::max(t, 0); y < std::min(b, h_); ++y)
      for (int x = std::max(l, 0); x < std::min(r, w_); ++x) px_[y * w_ + x] = c;
  }
  void SetPenColor(uint32_t c) override { pen_ = c; }
  void SetPenInvert(bool inv) override { invert_ = inv; }
  void MoveTo(int x, int y) override { x_ = x, y_ = y; }
  void LineTo(int x, int y) override {
    int dx = std::abs(x - x_), sx = x_ < x ? 1 : -1;
    int dy = -std::abs(y - y_), sy = y_ < y ? 1 : -1;
    int err = dx + dy, cx = x_, cy = y_;
    while (!(cx == x && cy == y)) {
      Plot(cx, cy);
      int e2 = 2 * err;
      if (e2 >= dy) err += dy, cx += sx;
      if (e2 <= dx) err += dx, cy += sy;
    }
    segments.push_back({x, y});
    x_ = x, y_ = y;
  }
  void TextOut(int x, int y, const std::string& s) override { texts.push_back({x, y, s}); }
  void Flush() override { ++flushes; }

  uint32_t At(int x, int y) const { return px_[y * w_ + x]; }
  std::pair<int, int> Pen() const { return {x_, y_}; }

  struct Text {
    int x, y;
    std::string s;
  };
  std::vector<Text> texts;
  std::vector<std::pair<int, int>> segments;  // end points of every LineTo
  int flushes = 0;

 private:
  void Plot(int x, int y) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    uint32_t& p = px_[y * w_ + x];
    p = invert_ ? (~p & 0xFFFFFF) : pen_;
  }
  int w_, h_;
  std::vector<uint32_t> px_;
  uint32_t pen_ = 0;
  bool invert_ = false;
  int x_ = 0, y_ = 0;
};

inline std::unique_ptr<FlightData> NewFlight() { return std::make_unique<FlightData>(); }
