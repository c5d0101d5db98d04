// The value axis of a lane: the values shown run from a round number below the data to a
// round number above it, with a little room at both ends, and never over less than ten
// steps of the channel's resolution, so a flicker of one count stays a flicker.
#pragma once

#include <string>

namespace analysis {

struct ValueAxis {
  double lo = 0, hi = 1;  // the values at the lane's bottom and top
  double step = 1;        // the round step lo and hi are multiples of
  int decimals = 0;       // enough to tell lo and hi apart at that step
};

// dataMin..dataMax: the values in view; resolution: the smallest change the channel can
// show (1 for raw counts), 0 when unknown.
ValueAxis NiceValueAxis(double dataMin, double dataMax, double resolution);

// A value of the axis as the lane labels it: German digits with the axis's decimals.
std::string AxisLabel(const ValueAxis& axis, double value);

}  // namespace analysis
