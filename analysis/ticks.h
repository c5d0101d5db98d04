// The time axis: tick steps that keep the labels apart at every zoom, tick positions and
// labels in minutes and seconds.
#pragma once

#include <string>
#include <vector>

namespace analysis {

// The smallest step, from 0.02 s up through 1-2-5 and clock steps (10 s, 15 s, 30 s,
// 1 min, 2 min, 5 min … 1 h, 2 h, 6 h, 12 h, 1 d and whole days beyond), that puts at
// least minSpacingPx pixels between two ticks.
double TickStepSeconds(double secondsPerPixel, double minSpacingPx);

// "m:ss", or "h:mm:ss" when withHours; with the decimals a step below one second needs
// ("0:01,5", "0:00,02").
std::string ClockLabel(double seconds, double step, bool withHours = false);

// An axis that reaches an hour labels every tick with hours, so its labels read alike.
bool AxisNeedsHours(double t1);
// The axis's caption, after the form its labels take: "Zeit (min:s)" or "Zeit (h:min:s)".
std::string TimeAxisCaption(double t1);

struct Tick {
  double seconds;
  double x;  // pixels from the axis's left end
  std::string label;
};

// The ticks of an axis that shows the times t0..t1 over widthPx pixels, at multiples of
// TickStepSeconds, all labelled alike (AxisNeedsHours(t1)).
std::vector<Tick> TimeTicks(double t0, double t1, double widthPx, double minSpacingPx);

}  // namespace analysis
