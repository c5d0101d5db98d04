// The GPS track beside the lanes: latitude and longitude in a projection with equal scale
// in both directions at the flight's latitude, a scale bar, start and end marked, and
// where the cursors A and B are.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "analysis/channels.h"
#include "model/flight.h"

class QFontMetrics;
class QPainter;

class TrackView : public QWidget {
  Q_OBJECT
 public:
  explicit TrackView(QWidget* parent = nullptr);
  void SetFlight(std::shared_ptr<const analysis::Flight> flight);
  void SetCursors(int32_t a, int32_t b);
  // Colours the track by a channel's values (altitude, climb rate, speed) with a legend;
  // nullptr draws it in one colour.
  void SetColouring(const analysis::AnalysisChannel* channel);
  // The colour of a value between lo and hi: blue (low) over green and yellow to red.
  static QColor RampColour(double value, double lo, double hi);
  // Draws the track into r.
  void Render(QPainter& p, const QRect& r) const;

  // The pixel at which record i's position lies when drawn into r (the nearest record
  // with a fix); false without a fix.
  bool PositionOf(int32_t record, const QRect& r, QPointF& at) const;

  // The marks' labels as they are drawn into r: "Start", "Ende", "A", "B" (those shown),
  // each placed beside its mark where it covers no other label and no other mark.
  struct Label {
    QString text;
    QPointF mark;
    QRectF box;
  };
  std::vector<Label> Labels(const QRect& r, const QFontMetrics& fm) const;
  // The pieces of the track: runs of consecutive records with a fix. A gap in the fixes
  // ends a piece; no line is drawn across it.
  size_t PieceCount() const;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  struct Fitted {
    double scale = 1;  // pixels per metre
    double cx = 0, cy = 0;
    QPointF centre;
  };
  Fitted Fit(const QRect& r) const;
  QPointF ToPixel(const Fitted& f, double x, double y) const;

  std::shared_ptr<const analysis::Flight> flight_;
  std::vector<int32_t> fixIndex_;  // records with a fix, ascending
  std::vector<double> xs_, ys_;    // their projected positions in metres
  double minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0;
  int32_t a_ = 0, b_ = 0;
  // The colouring: the channel's values at the fixes, its range, name and unit.
  std::vector<double> colourValues_;
  double colourLo_ = 0, colourHi_ = 1;
  QString colourCaption_;
  int colourDecimals_ = 0;
  void DrawLegend(QPainter& p, const QRect& r) const;
};
