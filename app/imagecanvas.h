// The graph canvas on a QImage: pixel-exact lines of one pixel width (end point left
// out), an inverting pen, rectangle fill and text. Used for the off-screen graph bitmap
// and for the paint box's surface.
#pragma once

#include <QFont>
#include <QImage>
#include <functional>

#include "graph/graphcanvas.h"

QRgb RgbFromBGR(uint32_t value);

class ImageCanvas : public GraphCanvas {
 public:
  // Draws on an image owned elsewhere (the paint box's surface); flush is called by
  // Flush(), for the immediate repaint of what shows the image.
  explicit ImageCanvas(QImage* image, std::function<void()> flush = {});
  // Owns an image of its own (the off-screen bitmap).
  ImageCanvas(int width, int height);

  QImage& Image() { return *image_; }
  const QImage& Image() const { return *image_; }
  // Gives the owned image a new size; the contents are kept where they overlap.
  void SetSize(int width, int height);

  int Width() const override { return image_->width(); }
  int Height() const override { return image_->height(); }
  void FillRect(int left, int top, int right, int bottom, uint32_t color) override;
  void SetPenColor(uint32_t color) override { pen_ = RgbFromBGR(color); }
  void SetPenInvert(bool invert) override { invert_ = invert; }
  void MoveTo(int x, int y) override {
    x_ = x;
    y_ = y;
  }
  void LineTo(int x, int y) override;
  void TextOut(int x, int y, const std::string& utf8) override;
  void Flush() override;

  int PenX() const { return x_; }
  int PenY() const { return y_; }
  void SetFont(const QFont& font) {
    font_ = font;
    hasFont_ = true;
  }
  // Text is written on a white background by default, as the canvas's brush is white.
  void SetTextBackground(bool opaque, uint32_t color = 0xFFFFFF) {
    textOpaque_ = opaque;
    textBack_ = RgbFromBGR(color);
  }

 private:
  void Plot(int x, int y);
  QImage own_;
  QImage* image_;
  std::function<void()> flush_;
  QRgb pen_ = qRgb(0, 0, 0);
  bool invert_ = false;
  int x_ = 0;
  int y_ = 0;
  QFont font_;
  bool hasFont_ = false;
  bool textOpaque_ = true;
  QRgb textBack_ = qRgb(255, 255, 255);
};
