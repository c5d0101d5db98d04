#include "app/imagecanvas.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

#include "app/widgets.h"

QRgb RgbFromBGR(uint32_t value) { return ColorFromBGR(value).rgb(); }

ImageCanvas::ImageCanvas(QImage* image, std::function<void()> flush)
    : image_(image), flush_(std::move(flush)) {}

ImageCanvas::ImageCanvas(int width, int height)
    : own_(std::max(1, width), std::max(1, height), QImage::Format_RGB32), image_(&own_) {
  own_.fill(Qt::white);
}

void ImageCanvas::SetSize(int width, int height) {
  QImage next(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
  next.fill(Qt::white);
  QPainter p(&next);
  p.drawImage(0, 0, *image_);
  p.end();
  *image_ = std::move(next);
}

void ImageCanvas::FillRect(int left, int top, int right, int bottom, uint32_t color) {
  const QRgb c = RgbFromBGR(color);
  left = std::max(0, left);
  top = std::max(0, top);
  right = std::min(Width(), right);
  bottom = std::min(Height(), bottom);
  for (int y = top; y < bottom; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image_->scanLine(y));
    std::fill(line + left, line + std::max(left, right), c);
  }
}

void ImageCanvas::Plot(int x, int y) {
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) return;
  auto* line = reinterpret_cast<QRgb*>(image_->scanLine(y));
  if (invert_)
    line[x] = 0xFF000000u | (~line[x] & 0x00FFFFFFu);
  else
    line[x] = 0xFF000000u | pen_;
}

void ImageCanvas::LineTo(int x1, int y1) {
  // Bresenham from the pen position; the end point itself is not drawn.
  int x = x_, y = y_;
  const int dx = std::abs(x1 - x), dy = -std::abs(y1 - y);
  const int sx = x < x1 ? 1 : -1, sy = y < y1 ? 1 : -1;
  int err = dx + dy;
  while (x != x1 || y != y1) {
    Plot(x, y);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
  x_ = x1;
  y_ = y1;
}

void ImageCanvas::TextOut(int x, int y, const std::string& utf8) {
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  QPainter p(image_);
  const QFont font = hasFont_ ? font_ : QApplication::font();
  p.setFont(font);
  const QFontMetrics fm(font);
  if (textOpaque_) {
    p.fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), QColor(textBack_));
  }
  p.setPen(Qt::black);
  p.drawText(x, y + fm.ascent(), text);
  // As on the classic canvas, the pen ends up behind the text.
  x_ = x + fm.horizontalAdvance(text);
  y_ = y;
}

void ImageCanvas::Flush() {
  if (flush_) flush_();
}
