// A small SVG writer for the simulator's motion log: the X-Y path of axes 0
// and 1 of card 0 (same scale on both axes, so a circle stays round) beside
// the present speed of every logged axis over time. No dependency beyond the
// standard library; the log's sample type comes from kpx4160_sim.h.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "kpx4160_sim.h"

namespace kpx::tools::svg {

struct PlotOptions {
  double width = 1100;   // document size in pixels
  double height = 520;
  std::string title = "KPX4160 simulated motion";
};

// A rectangle in document pixels (y grows downwards).
struct Rect {
  double x = 0, y = 0, w = 0, h = 0;
  double Left() const { return x; }
  double Right() const { return x + w; }
  double Top() const { return y; }
  double Bottom() const { return y + h; }
};

// Where the data of each panel is drawn: a sample at the edge of a panel's
// data range lands on the edge of its rectangle.
struct Layout {
  Rect path;   // X-Y path of card 0
  Rect speed;  // speed over time
};
Layout LayoutFor(const PlotOptions &options);

// A linear map of the data interval [lo, hi] onto the pixel interval
// [from, to] (to may be below from, as for a y axis).
struct Scale {
  double lo = 0, hi = 1, from = 0, to = 1;
  double operator()(double v) const;
  // The data value at a pixel.
  double Inverse(double pixel) const;
};

// Round tick values (1, 2 or 5 times a power of ten apart) inside [lo, hi],
// about `count` of them; empty for an empty or non-finite interval.
std::vector<double> Ticks(double lo, double hi, int count);

// A tick value as a label: no more decimals than the tick step needs.
std::string TickLabel(double value, double step);

// The whole document. Samples with a non-finite time or speed are left out;
// with no sample the panels are drawn empty.
std::string RenderSvg(std::span<const kpx4160_sim_sample> samples, const PlotOptions &options = {});

// Writes RenderSvg() to a file; false if it cannot be written.
bool WriteSvg(const std::string &path, std::span<const kpx4160_sim_sample> samples,
              const PlotOptions &options = {});

}  // namespace kpx::tools::svg
