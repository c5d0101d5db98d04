#include "app/flightchart.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/stats.h"
#include "analysis/ticks.h"
#include "analysis/valueaxis.h"

using namespace analysis;

namespace {

constexpr int kLabelWidth = 150;  // lane names, units and value scales left of the plot
constexpr int kAxisHeight = 24;
constexpr int kTop = 18;  // room for the cursor flags
constexpr int kLaneGap = 4;
constexpr int kAltitudeWeight = 3;  // the altitude lane is this many times as high
constexpr int kCursorReach = 5;     // pixels within which a press grabs a cursor
constexpr int kClickSlop = 3;       // pixels a press may move and still be a click

const QColor kCursorColor[2] = {QColor(0, 90, 210), QColor(205, 30, 30)};
const QColor kRangeShade(255, 246, 196);
const QColor kGrid(225, 225, 225);
const QColor kTrace(20, 20, 20);

// The lane labels' font: smaller than the window's, so two lines fit a lane.
QFont LabelFont(const QFont& base) {
  QFont f = base;
  f.setPointSizeF(std::max(base.pointSizeF() * 0.85, 7.0));
  return f;
}

}  // namespace

QString FlightChart::UnitOf(ChannelId id) const {
  const AnalysisChannel* c = FindChannel(channels_, id);
  return c ? QString::fromStdString(c->unit) : QString();
}

FlightChart::FlightChart(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);  // the readout follows the mouse
  setMinimumSize(320, 200);
  setAccessibleName(QStringLiteral("Diagramm"));
  setAccessibleDescription(QStringLiteral(
      "Kanäle über der Zeit mit den Cursorn A und B. Klick setzt den näheren Cursor, Ziehen "
      "verschiebt, Strg+Ziehen zoomt, Mausrad zoomt die Zeitachse, Pos1 zeigt alles, Pfeil links "
      "und rechts bewegen den aktiven Cursor, Tab wechselt zwischen A und B, Strg+Tab verlässt "
      "das Diagramm."));
  setToolTip(
      QStringLiteral("Klick: Cursor setzen · Ziehen: verschieben · Strg+Ziehen: Zoom · "
                     "Mausrad: Zoom · Pos1: alles · ←/→: Cursor · Tab: A/B"));
}

void FlightChart::SetFlight(std::shared_ptr<const Flight> flight, const FlightOptions& options) {
  flight_ = std::move(flight);
  channels_.clear();
  visible_.fill(false);
  if (flight_) {
    channels_ = AnalysisChannels(*flight_, options);
    for (const AnalysisChannel& c : channels_) visible_[static_cast<size_t>(c.id)] = true;
    cursor_ = {flight_->rangeFirst, flight_->rangeLast};
  } else {
    cursor_ = {0, 0};
  }
  active_ = A;
  drag_ = Drag::None;
  UpdateMinimumHeight();
  ShowAll();
  // A flight of the same length leaves the view as it was: repaint all the same.
  update();
  emit ViewChanged();
  emit CursorsChanged();
}

void FlightChart::SetOptions(const FlightOptions& options) {
  if (!flight_) return;
  // The channels anew (a calibration, the altitude's reference, the climb window); a
  // channel that was there keeps its visibility, a new one is shown.
  std::array<bool, kChannelIdCount> had{};
  for (const AnalysisChannel& c : channels_) had[static_cast<size_t>(c.id)] = true;
  channels_ = AnalysisChannels(*flight_, options);
  for (const AnalysisChannel& c : channels_)
    if (!had[static_cast<size_t>(c.id)]) visible_[static_cast<size_t>(c.id)] = true;
  UpdateMinimumHeight();
  update();
  emit CursorsChanged();
}

const AnalysisChannel* FlightChart::Channel(ChannelId id) const {
  return FindChannel(channels_, id);
}

int FlightChart::LaneWeight(ChannelId c) const {
  return flight_ && c == flight_->AltitudeColumn() ? kAltitudeWeight : 1;
}

int FlightChart::MinimumLaneHeight() const {
  return 2 * QFontMetrics(LabelFont(font())).height() + 4;
}

void FlightChart::SetLaneHeight(int px) {
  if (px == laneHeight_) return;
  laneHeight_ = px;
  UpdateMinimumHeight();
  update();
}

void FlightChart::UpdateMinimumHeight() {
  int weights = 0;
  const std::vector<ChannelId> lanes = ShownLanes();
  for (ChannelId c : lanes) weights += LaneWeight(c);
  // Every unit of weight brings a gap, so the lightest lane gets at least the minimum;
  // one pixel more per lane for the rounding of the lane edges.
  const int lanesHeight = weights * (LaneHeight() + kLaneGap) + static_cast<int>(lanes.size());
  setMinimumHeight(std::max(200, kTop + (axisBelow_ ? 4 : kAxisHeight) + lanesHeight));
}

void FlightChart::SetLaneVisible(ChannelId c, bool visible) {
  if (!Channel(c) || visible_[static_cast<size_t>(c)] == visible) return;
  visible_[static_cast<size_t>(c)] = visible;
  UpdateMinimumHeight();
  update();
  emit CursorsChanged();
}

std::vector<ChannelId> FlightChart::ShownLanes() const {
  std::vector<ChannelId> out;
  for (const AnalysisChannel& c : channels_)
    if (visible_[static_cast<size_t>(c.id)]) out.push_back(c.id);
  return out;
}

void FlightChart::SetActiveCursor(Cursor c) {
  if (active_ == c) return;
  active_ = c;
  update();
  emit CursorsChanged();
}

void FlightChart::SetCursorRecord(Cursor c, int32_t record) {
  if (!flight_ || flight_->Empty()) return;
  record = std::clamp(record, 0, flight_->Count() - 1);
  if (cursor_[c] == record) return;
  cursor_[c] = record;
  update();
  emit CursorsChanged();
}

void FlightChart::SetView(double v0, double v1) {
  const double n = flight_ ? flight_->Count() : 0;
  const double full = std::max(n - 1, 1.0);
  double span = std::clamp(v1 - v0, std::min(4.0, full), full);
  v0 = std::clamp(v0, 0.0, std::max(full - span, 0.0));
  if (n <= 1) v0 = -0.5, span = 1;
  if (v0 == v0_ && v0 + span == v1_) return;
  v0_ = v0;
  v1_ = v0 + span;
  update();
  emit ViewChanged();
}

void FlightChart::ShowAll() {
  const double n = flight_ ? flight_->Count() : 0;
  SetView(0, std::max(n - 1, 1.0));
}

double FlightChart::RecordsPerPixel(const QSize& size) const {
  return (v1_ - v0_) / std::max(PlotRect(size).width() - 1, 1);
}

void FlightChart::ZoomAround(double factor, double x) {
  const QRect plot = PlotRect();
  const double fx = std::clamp((x - plot.left() - 0.5) / std::max(plot.width() - 1, 1), 0.0, 1.0);
  const double at = v0_ + fx * (v1_ - v0_);
  const double span = (v1_ - v0_) * factor;
  SetView(at - fx * span, at - fx * span + span);
}

void FlightChart::PanByPixels(double dx) {
  const double perPixel = RecordsPerPixel(size());
  SetView(v0_ - dx * perPixel, v1_ - dx * perPixel);
}

QRect FlightChart::PlotRect(const QSize& size) const {
  const int bottom = withAxis_ ? kAxisHeight : 4;
  return QRect(kLabelWidth, kTop, std::max(size.width() - kLabelWidth - 8, 1),
               std::max(size.height() - kTop - bottom, 1));
}

double FlightChart::XOfRecord(double record, const QSize& size) const {
  const QRect plot = PlotRect(size);
  return plot.left() + 0.5 + ColumnOfRecord(record, v0_, v1_, plot.width());
}

int32_t FlightChart::RecordAtX(double x, const QSize& size) const {
  if (!flight_ || flight_->Empty()) return 0;
  const QRect plot = PlotRect(size);
  const double r = v0_ + (x - plot.left() - 0.5) * RecordsPerPixel(size);
  return static_cast<int32_t>(
      std::clamp(std::lround(r), 0L, static_cast<long>(flight_->Count() - 1)));
}

QRect FlightChart::LaneRect(int lane, int laneCount, const QSize& size) const {
  const QRect plot = PlotRect(size);
  if (laneCount <= 0) return plot;
  // The shown lanes share the height by their weights; any other count shares it evenly.
  const std::vector<ChannelId> shown = ShownLanes();
  const bool weighted = static_cast<int>(shown.size()) == laneCount;
  auto weight = [&](int k) { return weighted ? LaneWeight(shown[static_cast<size_t>(k)]) : 1; };
  int total = 0, before = 0;
  for (int k = 0; k < laneCount; ++k) {
    total += weight(k);
    if (k < lane) before += weight(k);
  }
  const double unit = (plot.height() + kLaneGap) / static_cast<double>(total);
  const int top = plot.top() + static_cast<int>(std::lround(before * unit));
  const int bottom =
      plot.top() + static_cast<int>(std::lround((before + weight(lane)) * unit)) - kLaneGap;
  return QRect(plot.left(), top, plot.width(), std::max(bottom - top, 2));
}

bool FlightChart::ViewExtent(const AnalysisChannel& c, int width, double& lo, double& hi) const {
  const std::vector<double>& v = c.values;
  lo = std::numeric_limits<double>::infinity();
  hi = -lo;
  if (v.empty()) return false;
  const long long n = static_cast<long long>(v.size());
  if ((v1_ - v0_) / std::max(width - 1, 1) < 1.5) {
    const long long from = std::clamp(static_cast<long long>(std::ceil(v0_)), 0LL, n - 1);
    const long long to = std::clamp(static_cast<long long>(std::floor(v1_)), 0LL, n - 1);
    for (long long i = from; i <= to; ++i) {
      const double x = v[static_cast<size_t>(i)];
      if (std::isnan(x)) continue;
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
  } else {
    MinMaxPerColumn(v.data(), v.size(), v0_, v1_, width, columns_);
    for (const ColumnRange& cr : columns_) {
      if (!cr.any) continue;
      lo = std::min(lo, cr.min);
      hi = std::max(hi, cr.max);
    }
  }
  return lo <= hi;
}

ValueAxis FlightChart::LaneAxis(ChannelId id, const QSize& size) const {
  const AnalysisChannel* c = Channel(id);
  double lo, hi;
  if (!c || !ViewExtent(*c, PlotRect(size).width(), lo, hi)) return ValueAxis{};
  return NiceValueAxis(lo, hi, c->resolution);
}

void FlightChart::DrawLane(QPainter& p, const AnalysisChannel& c, const QRect& r,
                           const QSize& size) const {
  const std::vector<double>& v = c.values;
  if (v.empty()) return;
  const ValueAxis axis = LaneAxis(c.id, size);
  // The raw altitude reading is drawn as the final graph draws it: smaller readings higher.
  const bool inverted = c.inverted;
  const double top = r.top() + 1, height = r.height() - 2;
  auto yOf = [&](double value) {
    double f = (value - axis.lo) / (axis.hi - axis.lo);
    if (inverted) f = 1 - f;
    return top + (1 - f) * height;
  };

  // Left of the lane: name and unit, and the values at its top and bottom edge.
  p.save();
  const QFont labelFont = LabelFont(p.font());
  QFont bold = labelFont;
  bold.setBold(true);
  const QFontMetrics fm(labelFont);
  const int labelRight = r.left() - 6;
  const QRect upper(4, r.top(), labelRight - 4, fm.height());
  const QRect lower(4, std::max(r.bottom() - fm.height() + 1, r.top() + fm.height()),
                    labelRight - 4, fm.height());
  p.setFont(bold);
  p.setPen(Qt::black);
  p.drawText(upper, Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(c.name));
  p.setFont(labelFont);
  p.setPen(QColor(70, 70, 70));
  p.drawText(lower, Qt::AlignLeft | Qt::AlignBottom, QString::fromStdString(c.unit));
  const QString topValue = QString::fromStdString(AxisLabel(axis, inverted ? axis.lo : axis.hi));
  const QString bottomValue = QString::fromStdString(AxisLabel(axis, inverted ? axis.hi : axis.lo));
  p.drawText(upper, Qt::AlignRight | Qt::AlignTop, topValue);
  p.drawText(lower, Qt::AlignRight | Qt::AlignBottom, bottomValue);
  p.restore();
  p.setPen(QColor(160, 160, 160));
  p.drawRect(r.adjusted(0, 0, -1, -1));

  p.save();
  p.setClipRect(r);
  p.setPen(QPen(kTrace, 1));
  const double recordsPerPixel = RecordsPerPixel(size);
  const long long n = static_cast<long long>(v.size());
  if (recordsPerPixel < 1.5) {
    // Zoomed in: a line through every record in view, broken where a record has no value.
    const long long from = std::max(0LL, static_cast<long long>(std::floor(v0_)) - 1);
    const long long to = std::min(n - 1, static_cast<long long>(std::ceil(v1_)) + 1);
    QPolygonF line;
    std::vector<QPointF> dots;
    auto flush = [&] {
      if (line.size() > 1) p.drawPolyline(line);
      if (line.size() == 1) p.drawPoint(line.front());
      line.clear();
    };
    for (long long i = from; i <= to; ++i) {
      const double value = v[static_cast<size_t>(i)];
      if (std::isnan(value)) {
        flush();
        continue;
      }
      line << QPointF(XOfRecord(static_cast<double>(i), size), yOf(value));
      dots.push_back(line.back());
    }
    flush();
    if (recordsPerPixel < 0.1) {
      p.setBrush(kTrace);
      for (const QPointF& pt : dots) p.drawEllipse(pt, 1.5, 1.5);
    }
  } else {
    // Zoomed out: per pixel column one stroke from its smallest to its largest value
    // (the columns LaneAxis has just computed for this width).
    std::vector<QLineF> strokes;
    strokes.reserve(columns_.size());
    for (size_t col = 0; col < columns_.size(); ++col) {
      const ColumnRange& cr = columns_[col];
      if (!cr.any) continue;
      const double x = r.left() + col + 0.5;
      double y1 = yOf(cr.min), y2 = yOf(cr.max);
      if (std::abs(y1 - y2) < 1) y2 = y1 + 1;  // at least one pixel
      strokes.emplace_back(x, y1, x, y2);
    }
    p.drawLines(strokes.data(), static_cast<int>(strokes.size()));
  }
  p.restore();
}

void FlightChart::Render(QPainter& p, const QSize& size) const { Render(p, size, !axisBelow_); }

void FlightChart::Render(QPainter& p, const QSize& size, bool withTimeAxis) const {
  // PlotRect and LaneRect follow the choice while this picture is drawn.
  const bool was = withAxis_;
  withAxis_ = withTimeAxis;
  RenderAll(p, size);
  withAxis_ = was;
}

void FlightChart::SetTimeAxisBelow(bool below) {
  axisBelow_ = below;
  withAxis_ = !below;
  UpdateMinimumHeight();
  update();
}

void FlightChart::RenderTimeAxis(QPainter& p, const QRect& strip, const QSize& chartSize) const {
  if (!flight_ || flight_->Empty()) return;
  const double dt = flight_->SampleInterval();
  const QRect plot = PlotRect(chartSize);
  const QFontMetrics fm = p.fontMetrics();
  const double spacing = fm.horizontalAdvance(QStringLiteral("00:00:00,00")) + 16;
  const auto ticks = TimeTicks(v0_ * dt, v1_ * dt, plot.width() - 1, spacing);
  const double x0 = plot.left() + 0.5;
  const int top = strip.top();
  p.setPen(Qt::black);
  p.drawLine(plot.left(), top + 1, plot.right(), top + 1);
  for (const Tick& t : ticks) {
    const double x = x0 + t.x;
    p.drawLine(QPointF(x, top + 1), QPointF(x, top + 5));
    const QString label = QString::fromStdString(t.label);
    const int w = fm.horizontalAdvance(label);
    p.drawText(
        QPointF(std::clamp(x - w / 2.0, 0.0, strip.right() - w - 1.0), top + 6 + fm.ascent()),
        label);
  }
  p.drawText(QRect(4, top + 6, kLabelWidth - 10, fm.height()), Qt::AlignLeft,
             QString::fromStdString(TimeAxisCaption(v1_ * dt)));
}

void FlightChart::RenderAll(QPainter& p, const QSize& size) const {
  p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  const QRect plot = PlotRect(size);
  if (!flight_ || flight_->Empty()) {
    p.setPen(Qt::black);
    p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, QStringLiteral("Kein Flug zur Hand"));
    return;
  }
  const double dt = flight_->SampleInterval();

  // The export range the main window's markers chose, shaded behind everything (not
  // when it is the whole flight, which would only tint the whole diagram).
  if (flight_->source == FlightSource::Download &&
      (flight_->rangeFirst > 0 || flight_->rangeLast < flight_->Count() - 1)) {
    const double x1 = std::max<double>(XOfRecord(flight_->rangeFirst, size), plot.left());
    const double x2 = std::min<double>(XOfRecord(flight_->rangeLast, size), plot.right() + 1);
    if (x2 >= x1)
      p.fillRect(QRectF(x1, plot.top(), std::max(x2 - x1, 1.0), plot.height()), kRangeShade);
  }

  // Time grid, and the axis below the lanes unless a strip below the window draws it.
  const QFontMetrics fm = p.fontMetrics();
  const double spacing = fm.horizontalAdvance(QStringLiteral("00:00:00,00")) + 16;
  const auto ticks = TimeTicks(v0_ * dt, v1_ * dt, plot.width() - 1, spacing);
  const double x0 = plot.left() + 0.5;  // the view's first record lies on this column's centre
  p.setPen(kGrid);
  for (const Tick& t : ticks)
    p.drawLine(QPointF(x0 + t.x, plot.top()), QPointF(x0 + t.x, plot.bottom()));
  if (withAxis_) RenderTimeAxis(p, QRect(0, plot.bottom(), size.width(), kAxisHeight), size);

  // The lanes.
  const std::vector<ChannelId> lanes = ShownLanes();
  for (size_t i = 0; i < lanes.size(); ++i)
    DrawLane(p, *Channel(lanes[i]),
             LaneRect(static_cast<int>(i), static_cast<int>(lanes.size()), size), size);
  if (lanes.empty()) {
    p.setPen(Qt::black);
    p.drawText(plot, Qt::AlignCenter, QStringLiteral("Kein Kanal gewählt"));
  }

  // The cursors, the active one wider, each with its flag.
  for (int c : {A, B}) {
    const double x = XOfRecord(cursor_[c], size);
    if (x < plot.left() - 1 || x > plot.right() + 1) continue;
    p.setPen(QPen(kCursorColor[c], c == active_ ? 2 : 1));
    p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    const QRectF flag(x - 8, 1, 16, kTop - 3);
    p.fillRect(flag, kCursorColor[c]);
    p.setPen(Qt::white);
    p.drawText(flag, Qt::AlignCenter, c == A ? QStringLiteral("A") : QStringLiteral("B"));
  }

  // The zoom box while it is drawn.
  if (drag_ == Drag::ZoomBox) {
    const QRect box = QRect(pressPos_, lastPos_).normalized();
    p.setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
    p.setBrush(QColor(0, 0, 0, 30));
    p.drawRect(QRect(box.left(), plot.top(), box.width(), plot.height()));
    p.setBrush(Qt::NoBrush);
  }
}

void FlightChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  Render(p, size());
  DrawHover(p, size());
  if (hasFocus()) {
    p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

int FlightChart::CursorNear(int x) const {
  if (!flight_) return -1;
  int best = -1;
  double bestDist = kCursorReach + 0.5;
  for (int c : {active_ == A ? A : B, active_ == A ? B : A}) {
    const double d = std::abs(XOfRecord(cursor_[c], size()) - x);
    if (d < bestDist) {
      best = c;
      bestDist = d;
    }
  }
  return best;
}

void FlightChart::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !flight_) return;
  setFocus(Qt::MouseFocusReason);
  pressPos_ = lastPos_ = e->position().toPoint();
  const int near = CursorNear(pressPos_.x());
  dragLane_ = SeparatorAt(pressPos_);
  if (dragLane_ >= 0) {
    drag_ = Drag::LaneEdge;
  } else if (e->modifiers() & Qt::ControlModifier) {
    drag_ = Drag::ZoomBox;
  } else if (near >= 0) {
    drag_ = Drag::Cursor;
    dragCursor_ = static_cast<Cursor>(near);
    SetActiveCursor(dragCursor_);
  } else {
    drag_ = Drag::Pending;
  }
}

void FlightChart::mouseMoveEvent(QMouseEvent* e) {
  const QPoint pos = e->position().toPoint();
  switch (drag_) {
    case Drag::Cursor: SetCursorRecord(dragCursor_, RecordAtX(pos.x(), size())); break;
    case Drag::ZoomBox:
      lastPos_ = pos;
      update();
      break;
    case Drag::Pending:
      if ((pos - pressPos_).manhattanLength() <= kClickSlop) break;
      drag_ = Drag::Pan;
      [[fallthrough]];
    case Drag::Pan:
      PanByPixels(pos.x() - lastPos_.x());
      lastPos_ = pos;
      break;
    case Drag::LaneEdge: {
      // The lane's lower edge follows the mouse; every lane takes the same unit height.
      const std::vector<ChannelId> lanes = ShownLanes();
      const QRect lane = LaneRect(dragLane_, static_cast<int>(lanes.size()), size());
      const int weight = LaneWeight(lanes[static_cast<size_t>(dragLane_)]);
      const int wanted = std::max(pos.y() - lane.top(), 1);
      SetLaneHeight((wanted + kLaneGap) / weight - kLaneGap);
      emit LaneHeightChanged(LaneHeight());
      break;
    }
    case Drag::None:
      setCursor(SeparatorAt(pos) >= 0 ? Qt::SplitVCursor : Qt::ArrowCursor);
      SetHover(PlotRect().contains(pos) ? RecordAtX(pos.x(), size()) : -1);
      break;
  }
}

void FlightChart::leaveEvent(QEvent*) { SetHover(-1); }

int FlightChart::SeparatorAt(const QPoint& p) const {
  // In the label column, on a lane's lower edge or the gap below it.
  if (p.x() >= PlotRect().left()) return -1;
  const int count = static_cast<int>(ShownLanes().size());
  for (int k = 0; k < count; ++k) {
    const QRect lane = LaneRect(k, count, size());
    if (p.y() >= lane.bottom() - 1 && p.y() <= lane.bottom() + kLaneGap) return k;
  }
  return -1;
}

void FlightChart::resizeEvent(QResizeEvent*) {
  // A new width puts the ticks elsewhere: the axis below follows.
  emit ViewChanged();
}

void FlightChart::SetHover(int32_t record) {
  if (!flight_ || flight_->Empty()) record = -1;
  if (record == hover_) return;
  hover_ = record;
  update();
  emit HoverChanged(hover_);
}

QStringList FlightChart::ReadoutLines(int32_t record) const {
  QStringList lines;
  if (!flight_ || record < 0 || record >= flight_->Count()) return lines;
  lines << QStringLiteral("Zeit %1 (Datensatz %2)")
               .arg(QString::fromStdString(FormatHms(record * flight_->SampleInterval())))
               .arg(record);
  for (ChannelId id : ShownLanes()) {
    const AnalysisChannel& c = *Channel(id);
    lines << QStringLiteral("%1: %2 %3")
                 .arg(QString::fromStdString(c.name),
                      QString::fromStdString(FormatValue(c, c.values[static_cast<size_t>(record)])),
                      QString::fromStdString(c.unit));
  }
  return lines;
}

void FlightChart::DrawHover(QPainter& p, const QSize& size) const {
  if (hover_ < 0 || drag_ != Drag::None) return;
  const QRect plot = PlotRect(size);
  const double x = XOfRecord(hover_, size);
  p.save();
  p.setPen(QPen(QColor(90, 90, 90), 1, Qt::DashLine));
  p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
  // The values in a box beside the line, on the side with more room.
  const QStringList lines = ReadoutLines(hover_);
  const QFont font = LabelFont(p.font());
  p.setFont(font);
  const QFontMetrics fm(font);
  int w = 0;
  for (const QString& l : lines) w = std::max(w, fm.horizontalAdvance(l));
  const QSize box(w + 12, static_cast<int>(lines.size()) * fm.height() + 8);
  const int left = x + 10 + box.width() <= plot.right() ? static_cast<int>(x) + 10
                                                        : static_cast<int>(x) - 10 - box.width();
  const QRect r(QPoint(std::max(left, 0), plot.top() + 4), box);
  p.setPen(QColor(120, 120, 120));
  p.setBrush(QColor(255, 255, 240, 235));
  p.drawRect(r);
  p.setPen(Qt::black);
  for (int i = 0; i < lines.size(); ++i)
    p.drawText(QRect(r.left() + 6, r.top() + 4 + i * fm.height(), w, fm.height()),
               Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
  p.restore();
}

void FlightChart::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const QPoint pos = e->position().toPoint();
  const Drag was = drag_;
  drag_ = Drag::None;
  if (was == Drag::Pending && flight_) {
    // A click: the nearer cursor goes to the record under the mouse.
    const int32_t r = RecordAtX(pos.x(), size());
    const double da = std::abs(XOfRecord(cursor_[A], size()) - pos.x());
    const double db = std::abs(XOfRecord(cursor_[B], size()) - pos.x());
    const Cursor which = da < db ? A : (db < da ? B : active_);
    SetActiveCursor(which);
    SetCursorRecord(which, r);
  } else if (was == Drag::ZoomBox) {
    const int x1 = std::min(pressPos_.x(), pos.x()), x2 = std::max(pressPos_.x(), pos.x());
    if (x2 - x1 > kClickSlop) {
      const QRect plot = PlotRect();
      const double per = RecordsPerPixel(size());
      SetView(v0_ + (x1 - plot.left() - 0.5) * per, v0_ + (x2 - plot.left() - 0.5) * per);
    }
    update();
  }
}

void FlightChart::wheelEvent(QWheelEvent* e) {
  const int delta = e->angleDelta().y();
  if (delta == 0 || !flight_) return;
  ZoomAround(std::pow(0.8, delta / 120.0), e->position().x());
  e->accept();
}

void FlightChart::KeepCursorInView(Cursor c) {
  const double r = cursor_[c];
  const double span = v1_ - v0_;
  if (r < v0_)
    SetView(r, r + span);
  else if (r > v1_)
    SetView(r - span, r);
}

bool FlightChart::event(QEvent* e) {
  // Tab and Shift+Tab switch the cursor here instead of moving the focus on; Ctrl+Tab and
  // Ctrl+Shift+Tab move the focus.
  if (e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
      if (k->modifiers() & Qt::ControlModifier)
        focusNextPrevChild(k->key() == Qt::Key_Tab && !(k->modifiers() & Qt::ShiftModifier));
      else
        SetActiveCursor(active_ == A ? B : A);
      return true;
    }
  }
  return QWidget::event(e);
}

void FlightChart::keyPressEvent(QKeyEvent* e) {
  if (!flight_) return QWidget::keyPressEvent(e);
  switch (e->key()) {
    case Qt::Key_Home: ShowAll(); break;
    case Qt::Key_Left:
    case Qt::Key_Right:
      SetCursorRecord(active_, cursor_[active_] + (e->key() == Qt::Key_Left ? -1 : 1));
      KeepCursorInView(active_);
      break;
    case Qt::Key_Plus:
    case Qt::Key_Minus:
      ZoomAround(e->key() == Qt::Key_Plus ? 0.5 : 2.0, XOfRecord(cursor_[active_], size()));
      break;
    default: QWidget::keyPressEvent(e);
  }
}
