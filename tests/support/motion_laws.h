// The ramp-time laws of the chip, written out independently of the
// simulator, for tests that check the simulated motion against them.
#pragma once

#include <cmath>
#include <cstdint>

namespace kpx::test {

// One speed unit in pulses/s for a magnification code.
inline double SpeedUnit(uint32_t magnification) { return 1200.0 / (magnification + 1.0); }

// Seconds of a trapezoidal ramp over span speed units at rate value r.
inline double TrapezoidRampTime(uint32_t rate, double span) { return (rate + 1.0) * 2.0 * span / 19660800.0; }

// Seconds of an S-curve ramp over span speed units with section s.
inline double SRampTime(uint32_t rate, double span, double section) {
  return (rate + 1.0) * (span + 2.0 * section) / 9830400.0;
}

// Duration of a point move of n pulses whose ramps fit: ramp up, run at
// the maximum speed, ramp down (speeds in pulses/s, ramp times in seconds).
inline double PointMoveTime(double n, double fl, double fh, double t_up, double t_down) {
  const double ramps = (fl + fh) / 2.0 * (t_up + t_down);
  return t_up + t_down + (n - ramps) / fh;
}

}  // namespace kpx::test
