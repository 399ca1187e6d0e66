// The time a move takes by the physics of its profile, written out
// independently of the library and the simulator: speeds in pulses/s,
// ramp times in seconds.
#pragma once

#include <cmath>

namespace kpx::test {

// A move of n pulses whose ramps fit: ramp up, run at the maximum speed,
// ramp down.
inline double PointMoveTime(double n, double fl, double fh, double t_up, double t_down) {
  const double ramps = (fl + fh) / 2.0 * (t_up + t_down);
  return t_up + t_down + (n - ramps) / fh;
}

// A symmetric move too short for its ramps: it turns where they meet. The
// acceleration is a = (fh - fl) / t_ramp, the peak v^2 = fl^2 + a n.
inline double PeakedMoveTime(double n, double fl, double fh, double t_ramp) {
  const double a = (fh - fl) / t_ramp;
  return 2.0 * (std::sqrt(fl * fl + a * n) - fl) / a;
}

}  // namespace kpx::test
