// Geometry of a two-axis line: the chip's linear interpolator steps the axis
// with the longer distance at the programmed speed and the other in
// proportion, so both axes are given the longer distance as the long-axis
// distance and the speed of the longer axis, which is the path speed times
// long distance / path length.
#pragma once

#include <cstdint>

namespace kpx::interp {

struct LineSplit {
  uint32_t long_axis_distance;  // max(|d1|, |d2|)
  double path_length;           // pulses; 1 for a line of no length
  double long_axis_share;       // long distance / path length: 1 axis-parallel, 0 for no length
};

LineSplit SplitLine(int32_t d1, int32_t d2);

}  // namespace kpx::interp
