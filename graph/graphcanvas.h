// The drawing surface of the flight graph: the off-screen bitmap of the live graph and
// the paint box of the final graph both offer these few canvas operations. Colours are
// 0x00BBGGRR as everywhere in the window. The window implements it on a QImage; tests
// can implement it on a plain pixel array.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t GraphWhite = 0xFFFFFF;
constexpr uint32_t GraphBlue = 0xFF0000;  // 0x00BBGGRR: blue
constexpr uint32_t GraphBlack = 0x000000;

class GraphCanvas {
 public:
  virtual ~GraphCanvas() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Fills the rectangle [left, right) x [top, bottom) with a colour.
  virtual void FillRect(int left, int top, int right, int bottom, uint32_t color) = 0;
  virtual void SetPenColor(uint32_t color) = 0;
  // Inverting pen: each pixel a line touches becomes the inverse of what is there.
  virtual void SetPenInvert(bool invert) = 0;
  virtual void MoveTo(int x, int y) = 0;
  // Draws from the pen position to (x, y), excluding the end point, and moves the pen
  // there (the usual canvas rule, so polylines do not draw shared points twice).
  virtual void LineTo(int x, int y) = 0;
  // Text with its top-left corner at (x, y), in the canvas's default font, black.
  virtual void TextOut(int x, int y, const std::string& utf8) = 0;
  // Shows what was drawn at once (the forced repaint); a no-op for an off-screen bitmap.
  virtual void Flush() {}
};
