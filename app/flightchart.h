// The diagram of the analysis window: one lane per shown channel over a common time axis,
// the export range shaded, and the two measuring cursors A and B.
//
// Mouse and keys, one meaning each: a click places the nearer cursor at that record;
// dragging a cursor moves it; dragging a lane's lower edge beside the lanes sets their
// height; dragging elsewhere pans; Ctrl + drag draws a zoom box; the
// wheel zooms the time axis around the mouse; Home shows everything; ← / → move the
// active cursor by one record; Tab switches between A and B (Ctrl+Tab leaves the diagram);
// + and − zoom around the active cursor.
#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>
#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "analysis/channels.h"
#include "analysis/decimate.h"
#include "analysis/valueaxis.h"
#include "model/flight.h"

class QPainter;

class FlightChart : public QWidget {
  Q_OBJECT
 public:
  explicit FlightChart(QWidget* parent = nullptr);

  enum Cursor { A = 0, B = 1 };

  // A new flight: every channel shown, the whole flight in view, the cursors at the
  // flight's range (the export range of a download, a file's first and last record).
  void SetFlight(std::shared_ptr<const analysis::Flight> flight,
                 const analysis::FlightOptions& options = {});
  // New calibrations or references for the flight shown: its channels computed anew.
  void SetOptions(const analysis::FlightOptions& options);
  // The channels the lanes can show, in drawing order; one of them by its id.
  const std::vector<analysis::AnalysisChannel>& Channels() const { return channels_; }
  const analysis::AnalysisChannel* Channel(analysis::ChannelId id) const;
  const analysis::Flight* FlightShown() const { return flight_.get(); }

  void SetLaneVisible(analysis::ChannelId c, bool visible);
  bool LaneVisible(analysis::ChannelId c) const { return visible_[static_cast<size_t>(c)]; }
  // The channels that are shown, top to bottom.
  std::vector<analysis::ChannelId> ShownLanes() const;

  int32_t CursorRecord(Cursor c) const { return cursor_[c]; }
  Cursor ActiveCursor() const { return active_; }
  void SetActiveCursor(Cursor c);
  void SetCursorRecord(Cursor c, int32_t record);

  // The view in record units: the left edge shows record ViewStart, the right ViewEnd.
  double ViewStart() const { return v0_; }
  double ViewEnd() const { return v1_; }
  void SetView(double v0, double v1);
  void ShowAll();                            // "Alles zeigen"
  void ZoomAround(double factor, double x);  // factor < 1 zooms in; x in widget pixels
  void PanByPixels(double dx);

  // Geometry for a widget of the given size: the area the lanes and cursors use.
  QRect PlotRect(const QSize& size) const;
  QRect PlotRect() const { return PlotRect(size()); }
  double XOfRecord(double record, const QSize& size) const;
  int32_t RecordAtX(double x, const QSize& size) const;
  QRect LaneRect(int lane, int laneCount, const QSize& size) const;
  // The value axis a lane is drawn on: fitted to the records in view, so zooming rescales.
  analysis::ValueAxis LaneAxis(analysis::ChannelId c, const QSize& size) const;
  // The unit a lane's values are given in.
  QString UnitOf(analysis::ChannelId c) const;
  // The height below which a lane's labels would not fit; the chart asks for enough
  // height to give every shown lane at least this.
  int MinimumLaneHeight() const;
  // "Höhe der Spuren": the height the lightest lane gets at least (never below the
  // minimum); the altitude lane gets three times as much. Taller lanes scroll.
  void SetLaneHeight(int px);
  int LaneHeight() const { return std::max(laneHeight_, MinimumLaneHeight()); }

  // Draws the whole diagram for a surface of this size (the screen, PNG, PDF, benchmark);
  // with its time axis at the bottom unless the axis is drawn below the widget.
  void Render(QPainter& p, const QSize& size) const;
  void Render(QPainter& p, const QSize& size, bool withTimeAxis) const;
  // The time axis drawn by a strip below the widget (when the lanes scroll, the axis stays
  // in sight); RenderTimeAxis draws it into that strip for a chart of chartSize.
  void SetTimeAxisBelow(bool below);
  void RenderTimeAxis(QPainter& p, const QRect& strip, const QSize& chartSize) const;
  static constexpr int kTimeAxisHeight = 24;

  // The record under the mouse, -1 when the mouse is not over the lanes.
  int32_t HoverRecord() const { return hover_; }
  void SetHover(int32_t record);
  // What the readout says for a record: its time, then every shown lane's value and unit.
  QStringList ReadoutLines(int32_t record) const;

 signals:
  void CursorsChanged();
  void ViewChanged();
  void HoverChanged(int32_t record);
  // The user dragged a lane's lower edge: the lanes' new height.
  void LaneHeightChanged(int px);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  bool event(QEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  enum class Drag { None, Pending, Pan, Cursor, ZoomBox, LaneEdge };
  void DrawLane(QPainter& p, const analysis::AnalysisChannel& c, const QRect& r,
                const QSize& size) const;
  void KeepCursorInView(Cursor c);
  // The shown lane whose lower edge lies under p in the label column, or -1.
  int SeparatorAt(const QPoint& p) const;
  void RenderAll(QPainter& p, const QSize& size) const;
  void DrawHover(QPainter& p, const QSize& size) const;
  int LaneWeight(analysis::ChannelId c) const;
  void UpdateMinimumHeight();
  double RecordsPerPixel(const QSize& size) const;
  // The smallest and largest value of a lane in view; false when it has none.
  bool ViewExtent(const analysis::AnalysisChannel& c, int width, double& lo, double& hi) const;
  int CursorNear(int x) const;  // -1 when no cursor line is within reach

  std::shared_ptr<const analysis::Flight> flight_;
  std::vector<analysis::AnalysisChannel> channels_;
  std::array<bool, analysis::kChannelIdCount> visible_{};
  std::array<int32_t, 2> cursor_{0, 0};
  Cursor active_ = A;
  double v0_ = 0, v1_ = 1;

  Drag drag_ = Drag::None;
  QPoint pressPos_;
  QPoint lastPos_;
  Cursor dragCursor_ = A;
  int32_t hover_ = -1;
  int dragLane_ = -1;
  int laneHeight_ = 0;
  bool axisBelow_ = false;
  mutable bool withAxis_ = true;
  mutable std::vector<analysis::ColumnRange> columns_;
};
