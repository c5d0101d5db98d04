#include "app/trackview.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/stats.h"

#include "model/coords.h"

using namespace analysis;

namespace {
const QColor kCursorColor[2] = {QColor(0, 90, 210), QColor(205, 30, 30)};
constexpr int kMargin = 16;
}  // namespace

TrackView::TrackView(QWidget* parent) : QWidget(parent) {
  setMinimumSize(200, 200);
  setAccessibleName(QStringLiteral("GPS-Spur"));
  setAccessibleDescription(QStringLiteral(
      "Flugweg aus Breite und Länge mit Maßstab, Start, Ende und den Cursorn A und B"));
}

void TrackView::SetFlight(std::shared_ptr<const Flight> flight) {
  flight_ = std::move(flight);
  colourValues_.clear();
  fixIndex_.clear();
  xs_.clear();
  ys_.clear();
  if (flight_ && flight_->HasGps()) {
    const auto& lat = flight_->columns[kLatitude];
    const auto& lon = flight_->columns[kLongitude];
    double sumLat = 0, sumLon = 0;
    for (int32_t i = 0; i < flight_->Count(); ++i) {
      if (!HasFix(lat[i], lon[i])) continue;
      fixIndex_.push_back(i);
      sumLat += DecimalDegrees(lat[i]);
      sumLon += DecimalDegrees(lon[i]);
    }
    if (!fixIndex_.empty()) {
      const LocalProjection proj{sumLat / fixIndex_.size(), sumLon / fixIndex_.size()};
      for (int32_t i : fixIndex_) {
        xs_.push_back(proj.ToX(DecimalDegrees(lon[i])));
        ys_.push_back(proj.ToY(DecimalDegrees(lat[i])));
      }
      const auto [x0, x1] = std::minmax_element(xs_.begin(), xs_.end());
      const auto [y0, y1] = std::minmax_element(ys_.begin(), ys_.end());
      minX_ = *x0, maxX_ = *x1, minY_ = *y0, maxY_ = *y1;
    }
  }
  update();
}

void TrackView::SetCursors(int32_t a, int32_t b) {
  if (a == a_ && b == b_) return;
  a_ = a;
  b_ = b;
  update();
}

TrackView::Fitted TrackView::Fit(const QRect& r) const {
  Fitted f;
  const double w = std::max(maxX_ - minX_, 1.0), h = std::max(maxY_ - minY_, 1.0);
  const double room = std::max(r.width() - 2 * kMargin, 10),
               roomH = std::max(r.height() - 2 * kMargin - 24, 10);
  f.scale = std::min(room / w, roomH / h);
  f.cx = (minX_ + maxX_) / 2;
  f.cy = (minY_ + maxY_) / 2;
  f.centre = QPointF(r.left() + r.width() / 2.0, r.top() + (r.height() - 24) / 2.0);
  return f;
}

QPointF TrackView::ToPixel(const Fitted& f, double x, double y) const {
  return QPointF(f.centre.x() + (x - f.cx) * f.scale, f.centre.y() - (y - f.cy) * f.scale);
}

bool TrackView::PositionOf(int32_t record, const QRect& r, QPointF& at) const {
  if (fixIndex_.empty()) return false;
  // The fix nearest to the record.
  auto it = std::lower_bound(fixIndex_.begin(), fixIndex_.end(), record);
  size_t k = static_cast<size_t>(it - fixIndex_.begin());
  if (k == fixIndex_.size() || (k > 0 && record - fixIndex_[k - 1] < fixIndex_[k] - record)) --k;
  at = ToPixel(Fit(r), xs_[k], ys_[k]);
  return true;
}

void TrackView::Render(QPainter& p, const QRect& r) const {
  p.fillRect(r, QColor(250, 250, 246));
  p.setPen(QColor(160, 160, 160));
  p.drawRect(r.adjusted(0, 0, -1, -1));
  p.setPen(Qt::black);
  p.drawText(r.adjusted(6, 4, -6, 0), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("GPS-Spur"));
  if (!flight_ || !flight_->HasGps()) {
    p.drawText(r, Qt::AlignCenter, QStringLiteral("GPS nicht aufgezeichnet"));
    return;
  }
  if (fixIndex_.empty()) {
    p.drawText(r, Qt::AlignCenter, QStringLiteral("keine GPS-Position"));
    return;
  }
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  const Fitted f = Fit(r);
  // The track piece by piece, leaving out points closer than half a pixel to the last one
  // drawn.
  p.setPen(QPen(QColor(60, 60, 60), 1.5));
  const bool coloured = !colourValues_.empty();
  QPolygonF line;
  QPointF last(-1e9, -1e9);
  for (size_t k = 0; k < xs_.size(); ++k) {
    if (coloured) {
      // A stroke per step in the colour of its value; steps under half a pixel are joined.
      const QPointF pt = ToPixel(f, xs_[k], ys_[k]);
      const bool joined = k > 0 && fixIndex_[k] == fixIndex_[k - 1] + 1;
      if (joined && std::abs(pt.x() - last.x()) < 0.5 && std::abs(pt.y() - last.y()) < 0.5 &&
          k + 1 < xs_.size())
        continue;
      if (joined) {
        p.setPen(QPen(RampColour(colourValues_[k], colourLo_, colourHi_), 2.5, Qt::SolidLine,
                      Qt::RoundCap));
        p.drawLine(last, pt);
      }
      last = pt;
      continue;
    }
    const bool pieceEnds = k + 1 == xs_.size() || fixIndex_[k + 1] != fixIndex_[k] + 1;
    const QPointF pt = ToPixel(f, xs_[k], ys_[k]);
    if (!pieceEnds && !line.isEmpty() && std::abs(pt.x() - last.x()) < 0.5 &&
        std::abs(pt.y() - last.y()) < 0.5)
      continue;
    line << pt;
    last = pt;
    if (pieceEnds) {
      if (line.size() > 1)
        p.drawPolyline(line);
      else
        p.drawPoint(line.front());
      line.clear();
    }
  }

  // Start and end.
  const QPointF start = ToPixel(f, xs_.front(), ys_.front());
  const QPointF end = ToPixel(f, xs_.back(), ys_.back());
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(40, 170, 60));
  p.drawEllipse(start, 5, 5);
  p.setBrush(QColor(230, 140, 0));
  p.drawRect(QRectF(end.x() - 4.5, end.y() - 4.5, 9, 9));
  p.setBrush(Qt::NoBrush);
  // The cursors' marks, then every label where it covers nothing else.
  for (int c = 0; c < 2; ++c) {
    QPointF at;
    if (!PositionOf(c == 0 ? a_ : b_, r, at)) continue;
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(kCursorColor[c]);
    p.drawEllipse(at, 6, 6);
  }
  p.setBrush(Qt::NoBrush);
  QFont bold = p.font();
  bold.setBold(true);
  p.setFont(bold);
  for (const Label& l : Labels(r, QFontMetrics(bold))) {
    const bool cursor = l.text == QStringLiteral("A") || l.text == QStringLiteral("B");
    p.setPen(cursor ? kCursorColor[l.text == QStringLiteral("A") ? 0 : 1] : QColor(Qt::black));
    p.drawText(l.box, Qt::AlignCenter, l.text);
  }
  bold.setBold(false);
  p.setFont(bold);

  if (coloured) DrawLegend(p, r);

  // The scale bar, at most 40 % of the width.
  const double metres = ScaleBarMetres(0.4 * (r.width() - 2 * kMargin) / f.scale);
  if (metres > 0) {
    const double px = metres * f.scale;
    const double x0 = r.left() + kMargin, y0 = r.bottom() - 12;
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(QPointF(x0, y0), QPointF(x0 + px, y0));
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(QPointF(x0, y0 - 4), QPointF(x0, y0 + 3));
    p.drawLine(QPointF(x0 + px, y0 - 4), QPointF(x0 + px, y0 + 3));
    p.drawText(QPointF(x0 + px + 6, y0 + 4), QString::fromStdString(ScaleBarLabel(metres)));
  }
  p.restore();
}

QColor TrackView::RampColour(double value, double lo, double hi) {
  if (std::isnan(value)) return QColor(160, 160, 160);
  const double f = hi > lo ? std::clamp((value - lo) / (hi - lo), 0.0, 1.0) : 0.5;
  // Hue from blue (240°) to red (0°).
  return QColor::fromHsvF(static_cast<float>((1 - f) * 240.0 / 360.0), 0.9f, 0.85f);
}

void TrackView::SetColouring(const AnalysisChannel* channel) {
  colourValues_.clear();
  colourCaption_.clear();
  if (channel) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (int32_t i : fixIndex_) {
      const double v = channel->values[static_cast<size_t>(i)];
      colourValues_.push_back(v);
      if (!std::isnan(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    }
    colourLo_ = lo <= hi ? lo : 0;
    colourHi_ = lo <= hi ? hi : 1;
    colourCaption_ = QString::fromStdString(channel->name + " (" + channel->unit + ")");
    colourDecimals_ = channel->decimals;
  }
  update();
}

void TrackView::DrawLegend(QPainter& p, const QRect& r) const {
  // A colour bar in the top right corner, low at the bottom, with its ends labelled.
  const QFontMetrics fm = p.fontMetrics();
  const int barW = 10, barH = std::min(100, r.height() / 3);
  const int x = r.right() - 8 - barW, y = r.top() + 8 + fm.height();
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  for (int i = 0; i < barH; ++i) {
    p.setPen(RampColour(barH - 1 - i, 0, barH - 1));
    p.drawLine(x, y + i, x + barW - 1, y + i);
  }
  p.setPen(Qt::black);
  p.drawRect(x - 1, y - 1, barW + 1, barH + 1);
  const QString hi = QString::fromStdString(GermanNumber(colourHi_, colourDecimals_));
  const QString lo = QString::fromStdString(GermanNumber(colourLo_, colourDecimals_));
  p.drawText(QPointF(x - 4 - fm.horizontalAdvance(hi), y + fm.ascent() - 2), hi);
  p.drawText(QPointF(x - 4 - fm.horizontalAdvance(lo), y + barH), lo);
  p.drawText(
      QPointF(r.right() - 6 - fm.horizontalAdvance(colourCaption_), r.top() + 4 + fm.ascent()),
      colourCaption_);
  p.restore();
}

size_t TrackView::PieceCount() const {
  size_t pieces = fixIndex_.empty() ? 0 : 1;
  for (size_t k = 1; k < fixIndex_.size(); ++k) pieces += fixIndex_[k] != fixIndex_[k - 1] + 1;
  return pieces;
}

std::vector<TrackView::Label> TrackView::Labels(const QRect& r, const QFontMetrics& fm) const {
  std::vector<Label> labels;
  if (fixIndex_.empty()) return labels;
  const Fitted f = Fit(r);
  labels.push_back({QStringLiteral("Start"), ToPixel(f, xs_.front(), ys_.front()), {}});
  labels.push_back({QStringLiteral("Ende"), ToPixel(f, xs_.back(), ys_.back()), {}});
  for (int c = 0; c < 2; ++c) {
    QPointF at;
    if (PositionOf(c == 0 ? a_ : b_, r, at))
      labels.push_back({c == 0 ? QStringLiteral("A") : QStringLiteral("B"), at, {}});
  }
  // Every mark is kept free, and every label placed before.
  std::vector<QRectF> taken;
  for (const Label& l : labels) taken.emplace_back(l.mark - QPointF(6, 6), QSizeF(12, 12));
  const QRectF inside = QRectF(r).adjusted(2, 2, -2, -2);
  for (Label& l : labels) {
    const QSizeF size(fm.horizontalAdvance(l.text) + 4, fm.height());
    // Beside the mark first, then above and below it, then ever further out.
    const double w = size.width(), h = size.height();
    bool placed = false;
    QRectF first;
    for (int ring = 0; ring < 6 && !placed; ++ring) {
      const double d = 8 + ring * h;
      const QPointF offsets[] = {{d, -h / 2},          {-d - w, -h / 2},   {-w / 2, -d - h},
                                 {-w / 2, d},          {d, -d - h / 2},    {d, d - h / 2},
                                 {-d - w, -d - h / 2}, {-d - w, d - h / 2}};
      for (const QPointF& o : offsets) {
        const QRectF box(l.mark + o, size);
        if (first.isNull()) first = box;
        if (!inside.contains(box)) continue;
        if (std::any_of(taken.begin(), taken.end(),
                        [&](const QRectF& t) { return t.intersects(box); }))
          continue;
        l.box = box;
        placed = true;
        break;
      }
    }
    if (!placed) l.box = first;
    taken.push_back(l.box);
  }
  return labels;
}

void TrackView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  Render(p, rect());
}
